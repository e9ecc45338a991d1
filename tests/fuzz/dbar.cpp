// dBAR files as the AccurateRip server might send them: the reader accepts
// only whole blocks of the disc asked for, and every verdict on an accepted
// file stays within what the file holds. The input's first byte is the
// track count asked for; the disc IDs are fixed.
#include "FuzzUtil.h"
#include "verify/AccurateRip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const TArDiscIds ids{data[0], 0x0001e240, 0x000f1206, 0x1e0e9e03};
  const QByteArray file = fuzz::Bytes(data + 1, size - 1);
  const auto blocks = ParseDbar(file, ids);
  if (!blocks) return 0;
  qsizetype bytes = 0;
  int rips = 0;
  for (const TDbarBlock& block : *blocks) {
    FUZZ_CHECK(block.Ids == ids, QString());
    FUZZ_CHECK(int(block.Tracks.size()) == ids.AudioTracks, QString::number(block.Tracks.size()));
    bytes += 13 + 9 * qsizetype(block.Tracks.size());
    if (!block.Tracks.empty()) rips += block.Tracks[0].Confidence;
  }
  FUZZ_CHECK(bytes == file.size(), QString("%1 of %2").arg(bytes).arg(file.size()));
  const uint32_t crc = blocks->front().Tracks.empty() ? 0 : blocks->front().Tracks[0].Crc;
  const TArVerdict verdict = ArTrackVerdict(TArAnswer::Found, *blocks, 0, crc, crc);
  FUZZ_CHECK(verdict.Confidence() <= rips && verdict.Submissions == rips, verdict.Text());
  FUZZ_CHECK(verdict.Verified() == (rips > 0), verdict.Text());
  return 0;
}
