// A cue sheet and its bin opened as a disc image through the CD-reading
// library, as the program does: the disc information loads the TOC with its
// texts and disc IDs, and the first sectors of the first tracks are ripped
// (a data track must be refused). Input: cue sheet \0 bin bytes; the sheet
// names the bin "disc.bin". Every rip must end, with data or an error.
#include <vector>

#include "FuzzUtil.h"
#include "cddb/CDInfo.h"
#include "disc/CDRIP.h"
#include "libs/cdrip/cdrip.h"
#include "rip/DiscLoad.h"

namespace {

constexpr int32_t kSectorsPerTrack = 30;
constexpr int kMaxTracksRipped = 3;

// False when the range cannot be opened.
bool RipSome(int32_t start, int32_t end) {
  int32_t bufferSize = 0;
  if (CR_OpenRipper(&bufferSize, start, end) != CDRIP_OK) return false;
  FUZZ_CHECK(bufferSize > 0, QString::number(bufferSize));
  std::vector<uint8_t> buffer(static_cast<size_t>(bufferSize));
  int32_t abort = 0;
  // A chunk holds at least one sector, so more calls than sectors means no progress.
  for (int32_t calls = 0;; ++calls) {
    FUZZ_CHECK(calls <= end - start + 1, QString("%1-%2").arg(start).arg(end));
    int32_t bytes = 0;
    const int32_t result = CR_RipChunk(buffer.data(), &bytes, &abort);
    FUZZ_CHECK(bytes >= 0 && bytes <= bufferSize, QString::number(bytes));
    if (result == CDRIP_RIPPING_DONE) break;
  }
  CR_CloseRipper();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QList<QByteArray> fields = fuzz::Fields(fuzz::Bytes(data, size), 2);
  fuzz::WriteInput("disc.cue", fields[0]);
  fuzz::WriteInput("disc.bin", fields[1]);
  const QByteArray ini =
      fuzz::WriteInput("cdrip.ini", "[CD-ROM]\r\n[Images]\r\nImage0=disc.cue\r\n").toUtf8();
  FUZZ_CHECK(CR_Init(ini.constData()) == CDRIP_OK, QString());
  FUZZ_CHECK(CR_SetActiveCDROM(CR_GetNumCDROM() - 1) == CDRIP_OK, QString());
  TCDRIP cdrip;
  cdrip.SetCDRomNum(CR_GetNumCDROM() - 1);
  TMyCDInfo info;
  if (!info.LoadFromTOC(ReadDisc(cdrip))) return 0;
  info.SetDefaultNames();
  info.DiscLengthText();
  for (int i = 0; i < info.TrackCount; ++i) {
    info.TrackLengthText(i);
    info.TrackStartText(i);
  }

  for (int i = 0; i < info.TrackCount && i < kMaxTracksRipped; ++i) {
    const int32_t start = info.TrackStartSector(i);
    const int32_t end = info.TrackEndSector(i);
    if (end <= start) continue;
    const bool opened = RipSome(start, std::min(end, start + kSectorsPerTrack));
    FUZZ_CHECK(!opened || info.IsAudioTrack(i), QString("data track %1 ripped").arg(i));
  }
  return 0;
}
