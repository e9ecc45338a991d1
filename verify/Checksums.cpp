#include "verify/Checksums.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

void TTrackChecksums::Begin(int64_t samples, bool firstTrack, bool lastTrack) {
  *this = TTrackChecksums();
  FCrc = uint32_t(crc32(0L, Z_NULL, 0));
  FFirstCounted = firstTrack ? kEdgeSamples : 1;
  FLastCounted = lastTrack ? samples - kEdgeSamples : samples;
}

void TTrackChecksums::Add(const uint8_t* data, size_t bytes) {
  // zlib takes a uInt length; chunks are far smaller, but a caller need not know.
  for (size_t done = 0; done < bytes;) {
    const size_t part = std::min<size_t>(bytes - done, 1u << 30);
    FCrc = uint32_t(crc32(FCrc, data + done, uInt(part)));
    done += part;
  }
  size_t at = 0;
  if (FPartialBytes > 0) {
    const size_t take = std::min(bytes, 4 - FPartialBytes);
    std::memcpy(FPartial + FPartialBytes, data, take);
    FPartialBytes += take;
    at = take;
    if (FPartialBytes < 4) return;
    AddSample(uint32_t(FPartial[0]) | uint32_t(FPartial[1]) << 8 | uint32_t(FPartial[2]) << 16 |
              uint32_t(FPartial[3]) << 24);
    FPartialBytes = 0;
  }
  for (; bytes - at >= 4; at += 4)
    AddSample(uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
              uint32_t(data[at + 3]) << 24);
  FPartialBytes = bytes - at;
  std::memcpy(FPartial, data + at, FPartialBytes);
}

void TTrackChecksums::AddSample(uint32_t sample) {
  ++FPosition;
  const int32_t left = std::abs(int32_t(int16_t(sample & 0xFFFF)));
  const int32_t right = std::abs(int32_t(int16_t(sample >> 16)));
  FPeak = std::max({FPeak, left, right});
  if (FPosition < FFirstCounted || FPosition > FLastCounted) return;
  const uint64_t product = uint64_t(sample) * uint64_t(FPosition);
  FSumLow += uint32_t(product);
  FSumHigh += uint32_t(product >> 32);
}
