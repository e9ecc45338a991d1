#include "verify/Checksums.h"

#include <zlib.h>

#include <QtEndian>
#include <algorithm>
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
    AddSamples(FPartial, 1);
    FPartialBytes = 0;
  }
  const size_t whole = (bytes - at) / 4;
  AddSamples(data + at, whole);
  at += whole * 4;
  FPartialBytes = bytes - at;
  std::memcpy(FPartial, data + at, FPartialBytes);
}

// Runs on the reading thread for every sample of a rip, so the sums go
// without a test per sample: the counted range is cut out first.
void TTrackChecksums::AddSamples(const uint8_t* data, size_t count) {
  int32_t low = FLow, high = FHigh;
  for (size_t i = 0; i < count * 2; ++i) {
    const int16_t value = qFromLittleEndian<int16_t>(data + 2 * i);
    low = std::min<int32_t>(low, value);
    high = std::max<int32_t>(high, value);
  }
  FLow = low;
  FHigh = high;
  const int64_t first = FPosition + 1;  // position of data's first sample
  FPosition += int64_t(count);
  const int64_t from = std::max(first, FFirstCounted);
  const int64_t to = std::min(FPosition, FLastCounted);
  uint32_t sumLow = FSumLow, sumHigh = FSumHigh;
  for (int64_t position = from; position <= to; ++position) {
    const uint64_t product =
        uint64_t(qFromLittleEndian<uint32_t>(data + 4 * (position - first))) * uint64_t(position);
    sumLow += uint32_t(product);
    sumHigh += uint32_t(product >> 32);
  }
  FSumLow = sumLow;
  FSumHigh = sumHigh;
}
