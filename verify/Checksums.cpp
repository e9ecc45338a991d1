#include "verify/Checksums.h"

#include <zlib.h>

#include <QtEndian>
#include <algorithm>
#include <cstring>

void TTrackChecksums::Begin(int64_t samples, bool firstTrack, bool lastTrack) {
  *this = TTrackChecksums();
  FCrc = uint32_t(crc32(0L, Z_NULL, 0));
  FLength = samples;
  FFirstCounted = firstTrack ? kEdgeSamples : 1;
  FLastCounted = lastTrack ? samples - kEdgeSamples : samples;
  FHead.reserve(size_t(std::clamp<int64_t>(FFirstCounted + kMaxOffset - 1, 0, samples)));
  FTail.reserve(size_t(std::clamp<int64_t>(samples - FLastCounted + kMaxOffset, 0, samples)));
}

std::optional<uint32_t> TTrackChecksums::KeptWord(int64_t position) const {
  if (position >= 1 && position <= int64_t(FHead.size())) return FHead[size_t(position - 1)];
  const int64_t tail = position - std::max<int64_t>(1, FLastCounted - kMaxOffset + 1);
  if (position >= 1 && tail >= 0 && tail < int64_t(FTail.size())) return FTail[size_t(tail)];
  return std::nullopt;
}

void TTrackChecksums::Keep(const uint8_t* data, int64_t first, int64_t last) {
  const auto append = [&](std::vector<uint32_t>& words, int64_t from, int64_t to) {
    for (int64_t position = std::max(from, first); position <= std::min(to, last); ++position)
      words.push_back(qFromLittleEndian<uint32_t>(data + 4 * (position - first)));
  };
  append(FHead, 1, FFirstCounted + kMaxOffset - 1);
  append(FTail, FLastCounted - kMaxOffset + 1, FLength);
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
  Keep(data, first, FPosition);
  const int64_t from = std::max(first, FFirstCounted);
  const int64_t to = std::min(FPosition, FLastCounted);
  uint32_t sumLow = FSumLow, sumHigh = FSumHigh, words = FWordSum;
  for (int64_t position = from; position <= to; ++position) {
    const uint32_t word = qFromLittleEndian<uint32_t>(data + 4 * (position - first));
    const uint64_t product = uint64_t(word) * uint64_t(position);
    sumLow += uint32_t(product);
    sumHigh += uint32_t(product >> 32);
    words += word;
  }
  FSumLow = sumLow;
  FSumHigh = sumHigh;
  FWordSum = words;
}

// v1 at offset d is Σ p·w(p + d) over the counted positions p in [F, L],
// that is A(d) - d·B(d) with A(d) = Σ j·w(j) and B(d) = Σ w(j) over j in
// [F + d, L + d]: each step of d moves one word out of the range and one in.
// All of it modulo 2^32, as v1 is.
std::vector<TOffsetSum> ArV1AtOffsets(const TTrackChecksums& track, const TTrackChecksums* before,
                                      const TTrackChecksums* after) {
  const int64_t length = track.Length();
  const auto word = [&](int64_t j) -> std::optional<uint32_t> {
    if (j < 1) return before ? before->KeptWord(before->Length() + j) : std::nullopt;
    if (j > length) return after ? after->KeptWord(j - length) : std::nullopt;
    return track.KeptWord(j);
  };
  const int64_t first = track.FirstCounted(), last = track.LastCounted();
  std::vector<TOffsetSum> sums;
  if (last < first) return sums;
  std::vector<TOffsetSum> later, earlier;
  for (const int direction : {1, -1}) {
    std::vector<TOffsetSum>& out = direction > 0 ? later : earlier;
    uint32_t weighted = track.ArV1(), plain = track.WordSum();
    for (int step = 1; step <= TTrackChecksums::kMaxOffset; ++step) {
      const int offset = direction * step;
      // Moving later, the range's first word leaves and the one after its
      // last comes in; moving earlier, the other way round.
      const int64_t leaving = direction > 0 ? first + offset - 1 : last + offset + 1;
      const int64_t coming = direction > 0 ? last + offset : first + offset;
      const std::optional<uint32_t> left = word(leaving), taken = word(coming);
      if (!left || !taken) break;
      weighted += uint32_t(coming) * *taken - uint32_t(leaving) * *left;
      plain += *taken - *left;
      out.push_back({offset, weighted - uint32_t(int64_t(offset)) * plain});
    }
  }
  for (size_t i = 0; i < std::max(later.size(), earlier.size()); ++i) {
    if (i < later.size()) sums.push_back(later[i]);
    if (i < earlier.size()) sums.push_back(earlier[i]);
  }
  return sums;
}
