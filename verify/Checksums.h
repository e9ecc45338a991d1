// TTrackChecksums: the checksums of one track's PCM, taken chunk by chunk as
// the drive delivers it: the CRC-32 of the bytes ("Copy CRC") and the
// AccurateRip v1 and v2 sums. Plain value type; any thread, one at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

class TTrackChecksums {
 public:
  // CD audio: 588 stereo samples of four bytes in a sector.
  static constexpr int64_t kSamplesPerSector = 588;
  // AccurateRip leaves out five sectors at the disc's edges, where drives with
  // different read offsets see different audio.
  static constexpr int64_t kEdgeSamples = 5 * kSamplesPerSector;

  // Starts a track of `samples` stereo samples; the disc's first and last
  // audio tracks leave their edges out of the AccurateRip sums.
  void Begin(int64_t samples, bool firstTrack, bool lastTrack);
  // The next bytes of the track, in order; a sample may straddle two calls.
  void Add(const uint8_t* data, size_t bytes);

  uint32_t Crc32() const { return FCrc; }
  uint32_t ArV1() const { return FSumLow; }
  uint32_t ArV2() const { return FSumLow + FSumHigh; }
  // Stereo samples taken in so far.
  int64_t Samples() const { return FPosition; }
  // The largest magnitude of any 16-bit sample, 0..32768.
  int32_t Peak() const { return std::max(FHigh, -FLow); }

 private:
  void AddSamples(const uint8_t* data, size_t count);

  uint32_t FCrc = 0;
  uint32_t FSumLow = 0;
  uint32_t FSumHigh = 0;
  int32_t FLow = 0;  // the smallest and largest 16-bit sample
  int32_t FHigh = 0;
  int64_t FPosition = 0;  // 1-based position of the last whole sample
  int64_t FFirstCounted = 1;
  int64_t FLastCounted = 0;
  uint8_t FPartial[4] = {};
  size_t FPartialBytes = 0;
};
