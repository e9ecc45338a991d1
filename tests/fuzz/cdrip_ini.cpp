// cdrip.ini as the CD-reading library reads it: the drives it lists, their
// parameters and the fault lines of image drives. After CR_SaveSettings a
// fresh CR_Init must find the same drives with the same parameters. An image
// drive's disc (disc.cue, a small image beside the ini) is then ripped
// through the faults and the simulated drive the lines state: every rip ends
// with each sector handed over once and each lost one counted. The lines'
// delays (ReadErrorDelay, SlowSectors) are renamed away, as they would only
// make the rip wait. So is ReadJitter: with reads that fail or differ,
// jittered reads drive libcdio-paranoia into memory faults of its own (reads
// and writes past its blocks, a bad free); the unit tests rip jittered discs.
#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <vector>

#include "FuzzUtil.h"
#include "libs/cdrip/cdrip.h"

namespace {

constexpr int32_t kSectors = 40;  // two tracks of 20
constexpr int32_t kSectorBytes = 2352;

// disc.cue and disc.bin in the input's folder, once.
void WriteDisc() {
  static const bool written = [] {
    QByteArray pcm(kSectors * kSectorBytes, '\0');
    uint32_t state = 12345;
    for (char& byte : pcm) byte = char((state = state * 1103515245u + 12345u) >> 24);
    fuzz::WriteInput("disc.bin", pcm);
    fuzz::WriteInput("disc.cue",
                     "FILE disc.bin BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                     " TRACK 02 AUDIO\n  INDEX 01 00:00:20\n");
    return true;
  }();
  (void)written;
}

QByteArray WithoutDelaysOrJitter(QByteArray ini) {
  for (const char* key : {"delay", "slowsectors", "readjitter"}) {
    const QByteArray lower = ini.toLower();
    for (qsizetype at = lower.indexOf(key); at >= 0; at = lower.indexOf(key, at + 1)) ini[at] = '_';
  }
  return ini;
}

// Rips the active drive's disc when it holds one.
void RipDisc() {
  int32_t bufferSize = 0;
  if (CR_OpenRipper(&bufferSize, 0, kSectors) != CDRIP_OK) return;
  std::vector<uint8_t> buffer(static_cast<size_t>(bufferSize));
  int32_t abort = 0, handed = 0;
  // A chunk holds at least one sector, so more calls than sectors means no progress.
  for (int32_t calls = 0;; ++calls) {
    FUZZ_CHECK(calls <= kSectors + 1, QString::number(calls));
    int32_t bytes = 0;
    const int32_t result = CR_RipChunk(buffer.data(), &bytes, &abort);
    FUZZ_CHECK(bytes >= 0 && bytes <= bufferSize && bytes % 4 == 0, QString::number(bytes));
    handed += bytes / kSectorBytes;
    if (result == CDRIP_RIPPING_DONE) break;
  }
  int32_t first = 0, count = 0;
  std::vector<uint8_t> status(kSectors);
  FUZZ_CHECK(CR_GetSectorStatus(&first, status.data(), kSectors, &count) == CDRIP_OK &&
                 count >= 0 && count <= kSectors && count == handed,
             QString("%1 sectors, %2 handed over").arg(count).arg(handed));
  const auto end = status.begin() + count;
  FUZZ_CHECK(
      std::count(status.begin(), end, uint8_t(CDRIP_SECTOR_LOST)) == CR_GetNumberOfLostSectors(),
      QString::number(CR_GetNumberOfLostSectors()));
  FUZZ_CHECK(std::count(status.begin(), end, uint8_t(CDRIP_SECTOR_UNREAD)) == 0, QString());
  CR_CloseRipper();
}

std::vector<CdripDriveParams> AllParams() {
  std::vector<CdripDriveParams> params;
  for (int32_t i = 0; i < CR_GetNumCDROM(); ++i) {
    CdripDriveParams p{};
    FUZZ_CHECK(CR_SetActiveCDROM(i) == CDRIP_OK, QString::number(i));
    FUZZ_CHECK(CR_GetCDROMParameters(&p) == CDRIP_OK, QString::number(i));
    params.push_back(p);
  }
  return params;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteDisc();
  const QByteArray path =
      fuzz::WriteInput("cdrip.ini", WithoutDelaysOrJitter(fuzz::Bytes(data, size))).toUtf8();
  FUZZ_CHECK(CR_Init(path.constData()) == CDRIP_OK, QString());
  const int32_t active = CR_GetActiveCDROM();
  const std::vector<CdripDriveParams> before = AllParams();
  if (active >= 0) {
    CR_SetActiveCDROM(active);
    // Reads the image drive's fault lines again.
    CR_IsUnitReady();
    RipDisc();
  }
  FUZZ_CHECK(CR_SaveSettings() == CDRIP_OK, QString());

  FUZZ_CHECK(CR_Init(path.constData()) == CDRIP_OK, QString());
  FUZZ_CHECK(CR_GetActiveCDROM() == active, QString::number(CR_GetActiveCDROM()));
  const std::vector<CdripDriveParams> after = AllParams();
  FUZZ_CHECK(after.size() == before.size(), QString::number(after.size()));
  for (size_t i = 0; i < before.size(); ++i)
    FUZZ_CHECK(std::memcmp(&before[i], &after[i], sizeof(CdripDriveParams)) == 0,
               QString::fromUtf8(before[i].driveName));
  return 0;
}
