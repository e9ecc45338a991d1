// A cue sheet opened by the cue back end of the CD-reading library, with the
// files it may name beside it: disc.bin and disc.wav hold the input's second
// field, ok.wav is twelve sectors of CD audio. Input: cue sheet \0 file bytes.
// An open image must lay out a disc a TOC can state and read every sector of
// it; a refused one must say why, naming the sheet.
#include <QtEndian>
#include <vector>

#include "FuzzUtil.h"
#include "libs/cdrip/CueImage.h"

namespace {

constexpr int kSectorBytes = 2352;
constexpr int kMaxSectorsRead = 200;

QByteArray CdWav(int sectors) {
  QByteArray wav(44 + sectors * kSectorBytes, '\0');
  auto put32 = [&](int at, quint32 value) { qToLittleEndian(value, wav.data() + at); };
  auto put16 = [&](int at, quint16 value) { qToLittleEndian(value, wav.data() + at); };
  wav.replace(0, 4, "RIFF").replace(8, 8, "WAVEfmt ").replace(36, 4, "data");
  put32(4, quint32(wav.size() - 8));
  put32(16, 16);
  put16(20, 1);
  put16(22, 2);
  put32(24, 44100);
  put32(28, 44100 * 4);
  put16(32, 4);
  put16(34, 16);
  put32(40, quint32(sectors * kSectorBytes));
  for (int i = 44; i < wav.size(); ++i) wav[i] = char(i * 7);
  return wav;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = (fuzz::WriteInput("ok.wav", CdWav(12)), true);
  (void)once;
  const QList<QByteArray> fields = fuzz::Fields(fuzz::Bytes(data, size), 2);
  fuzz::WriteInput("disc.bin", fields[1]);
  fuzz::WriteInput("disc.wav", fields[1]);
  const std::string sheet = fuzz::WriteInput("disc.cue", fields[0]).toStdString();

  cdrip::TCueImage image;
  std::string error;
  if (!image.Open(sheet, error)) {
    FUZZ_CHECK(error.rfind("disc.cue", 0) == 0, QString::fromStdString(error));
    return 0;
  }
  const int32_t leadOut = image.LeadOut();
  FUZZ_CHECK(!image.Tracks().empty() && leadOut >= 0, QString::number(leadOut));
  int32_t previous = 0;
  for (const cdrip::TCueTrack& track : image.Tracks()) {
    FUZZ_CHECK(track.Start >= previous && track.Start < leadOut,
               QString("%1 after %2, lead-out %3").arg(track.Start).arg(previous).arg(leadOut));
    previous = track.Start;
  }
  std::vector<uint8_t> sectors(size_t(kMaxSectorsRead) * kSectorBytes);
  const int32_t count = std::min(leadOut, kMaxSectorsRead);
  if (count > 0) image.Read(leadOut - count, count, sectors.data());
  FUZZ_CHECK(!image.Read(leadOut, 1, sectors.data()), "read past the lead-out");
  return 0;
}
