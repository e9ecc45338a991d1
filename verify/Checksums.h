// TTrackChecksums: the checksums of one track's PCM, taken chunk by chunk as
// the drive delivers it: the CRC-32 of the bytes ("Copy CRC") and the
// AccurateRip v1 and v2 sums. It keeps the words around the ends of the
// counted range, from which AccurateRip's v1 follows at other offsets (see
// ArV1AtOffsets). Plain value type; any thread, one at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class TTrackChecksums {
 public:
  // CD audio: 588 stereo samples of four bytes in a sector.
  static constexpr int64_t kSamplesPerSector = 588;
  // AccurateRip leaves out five sectors at the disc's edges, where drives with
  // different read offsets see different audio.
  static constexpr int64_t kEdgeSamples = 5 * kSamplesPerSector;
  // How far another pressing's audio may lie from the rip's, in samples: as
  // far as the disc's first and last tracks stay within their own audio.
  static constexpr int kMaxOffset = int(kEdgeSamples) - 1;

  // Starts a track of `samples` stereo samples; the disc's first and last
  // audio tracks leave their edges out of the AccurateRip sums.
  void Begin(int64_t samples, bool firstTrack, bool lastTrack);
  // The next bytes of the track, in order; a sample may straddle two calls.
  void Add(const uint8_t* data, size_t bytes);

  uint32_t Crc32() const { return FCrc; }
  uint32_t ArV1() const { return FSumLow; }
  uint32_t ArV2() const { return FSumLow + FSumHigh; }
  // Stereo samples taken in so far, and the track's length as begun.
  int64_t Samples() const { return FPosition; }
  int64_t Length() const { return FLength; }
  // The largest magnitude of any 16-bit sample, 0..32768.
  int32_t Peak() const { return std::max(FHigh, -FLow); }

  // The 1-based positions v1 and v2 count, and the sum of their words.
  int64_t FirstCounted() const { return FFirstCounted; }
  int64_t LastCounted() const { return FLastCounted; }
  uint32_t WordSum() const { return FWordSum; }
  // The word (both channels) at a 1-based position within kMaxOffset of
  // either end of the counted range, once taken in; none elsewhere.
  std::optional<uint32_t> KeptWord(int64_t position) const;

 private:
  void AddSamples(const uint8_t* data, size_t count);
  void Keep(const uint8_t* data, int64_t first, int64_t last);

  uint32_t FCrc = 0;
  uint32_t FSumLow = 0;
  uint32_t FSumHigh = 0;
  uint32_t FWordSum = 0;
  int32_t FLow = 0;  // the smallest and largest 16-bit sample
  int32_t FHigh = 0;
  int64_t FLength = 0;
  int64_t FPosition = 0;  // 1-based position of the last whole sample
  int64_t FFirstCounted = 1;
  int64_t FLastCounted = 0;
  std::vector<uint32_t> FHead;  // positions 1.. up to FirstCounted + kMaxOffset - 1
  std::vector<uint32_t> FTail;  // positions LastCounted - kMaxOffset + 1 .. the length
  uint8_t FPartial[4] = {};
  size_t FPartialBytes = 0;
};

// AccurateRip's v1 of a track as a pressing whose audio lies `offset`
// samples later than the rip's would give it, for every offset up to
// kMaxOffset either way that the kept words allow, nearest to 0 first (0
// itself left out). The words beyond the track's ends are those of the
// tracks read before and after it (null when not read whole).
struct TOffsetSum {
  int Offset = 0;
  uint32_t V1 = 0;
};
std::vector<TOffsetSum> ArV1AtOffsets(const TTrackChecksums& track, const TTrackChecksums* before,
                                      const TTrackChecksums* after);
