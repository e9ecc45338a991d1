#include "verify/CtdbChecksums.h"

#include <zlib.h>

#include <QtEndian>
#include <algorithm>

namespace {

// The furthest an offset moves a word, in words.
constexpr int64_t kReach = 2 * kCtdbMaxOffset;

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t bytes) {
  // zlib takes a uInt length.
  for (size_t done = 0; done < bytes;) {
    const size_t part = std::min<size_t>(bytes - done, 1u << 30);
    crc = uint32_t(crc32(crc, data + done, uInt(part)));
    done += part;
  }
  return crc;
}

// Horner steps over a row, sums = sums · 2^k + words, for k = 0, 1 and any
// k: the first two vectorise, and they are all a rip's pass needs.
void AddRow0(uint16_t* __restrict sums, const uint16_t* __restrict words) {
  for (int64_t i = 0; i < kCtdbColumns; ++i) sums[i] ^= words[i];
}

void AddRow1(uint16_t* __restrict sums, const uint16_t* __restrict words) {
  for (int64_t i = 0; i < kCtdbColumns; ++i) sums[i] = gf16::Times2(sums[i]) ^ words[i];
}

void AddRowK(uint16_t* __restrict sums, const uint16_t* __restrict words,
             const gf16::TFactor& times) {
  for (int64_t i = 0; i < kCtdbColumns; ++i) sums[i] = times(sums[i]) ^ words[i];
}

}  // namespace

TCtdbChecksums::TCtdbChecksums(const TCtdbLayout& layout, int syndromes)
    : FLayout(layout),
      FCount(syndromes),
      FRows(layout.Rows()),
      FCrc(uint32_t(crc32(0L, Z_NULL, 0))),
      FSums(size_t(syndromes) * kCtdbColumns),
      FEdgeRows(4 * kCtdbColumns),
      FRow(kCtdbColumns) {
  for (int k = 2; k < syndromes; ++k) FFactors.emplace_back(gf16::Pow(k));
  // Every CRC starts or ends at one of these words; at an offset it moves by
  // up to kReach either way, which stays inside the rip.
  std::vector<int64_t> places = {layout.WindowFirst(), layout.WindowEnd()};
  for (size_t i = 0; i < layout.TrackStarts.size(); ++i) {
    places.push_back(layout.TrackFirst(i));
    places.push_back(layout.TrackEnd(i));
  }
  std::sort(places.begin(), places.end());
  places.erase(std::unique(places.begin(), places.end()), places.end());
  for (const int64_t word : places) {
    TKeptBytes kept;
    kept.First = 2 * (word - kReach);
    kept.End = 2 * (word + kReach);
    kept.Bytes.reserve(size_t(kept.End - kept.First));
    FKept.push_back(std::move(kept));
  }
}

void TCtdbChecksums::Add(const uint8_t* data, size_t bytes) {
  bytes = size_t(std::min<int64_t>(int64_t(bytes), 2 * FLayout.Words - FBytes));
  if (bytes == 0) return;
  AddCrc(data, bytes);
  size_t at = 0;
  if (FBytes % 2 == 1) {
    const uint8_t word[2] = {FPendingByte, data[0]};
    AddWords(word, 1);
    at = 1;
  }
  AddWords(data + at, (bytes - at) / 2);
  if ((bytes - at) % 2 == 1) FPendingByte = data[bytes - 1];
  FBytes += int64_t(bytes);
}

void TCtdbChecksums::AddCrc(const uint8_t* data, size_t bytes) {
  const int64_t end = FBytes + int64_t(bytes);
  size_t done = 0;
  for (; FNextKept < FKept.size() && FKept[FNextKept].First < end; ++FNextKept) {
    const size_t cut = size_t(FKept[FNextKept].First - FBytes);
    FCrc = Crc32(FCrc, data + done, cut - done);
    done = cut;
    FKept[FNextKept].CrcBefore = FCrc;
  }
  FCrc = Crc32(FCrc, data + done, bytes - done);
  for (size_t i = FFirstOpen; i < FKept.size() && FKept[i].First < end; ++i) {
    TKeptBytes& kept = FKept[i];
    const int64_t from = std::max(kept.First, FBytes);
    const int64_t to = std::min(kept.End, end);
    if (from < to)
      kept.Bytes.insert(kept.Bytes.end(), data + (from - FBytes), data + (to - FBytes));
  }
  while (FFirstOpen < FKept.size() && FKept[FFirstOpen].End <= end) ++FFirstOpen;
}

void TCtdbChecksums::AddWords(const uint8_t* data, size_t count) {
  while (count > 0 && FRowNumber <= FRows + 1) {
    const size_t n = std::min(count, size_t(kCtdbColumns - FRowFill));
    qFromLittleEndian<uint16_t>(data, qsizetype(n), FRow.data() + FRowFill);
    FRowFill += int64_t(n);
    data += 2 * n;
    count -= n;
    if (FRowFill == kCtdbColumns) {
      AddRow();
      FRowFill = 0;
      ++FRowNumber;
    }
  }
}

// Runs on the reading thread for every word of a rip: whole rows, one
// syndrome at a time, so the loops have a fixed length.
void TCtdbChecksums::AddRow() {
  const int64_t rows[4] = {0, 1, FRows, FRows + 1};
  for (int slot = 0; slot < 4; ++slot)
    if (FRowNumber == rows[slot])
      std::copy(FRow.begin(), FRow.end(), FEdgeRows.begin() + slot * kCtdbColumns);
  for (int k = 0; k < FCount; ++k) {
    uint16_t* sums = FSums.data() + size_t(k) * kCtdbColumns;
    if (k == 0)
      AddRow0(sums, FRow.data());
    else if (k == 1)
      AddRow1(sums, FRow.data());
    else
      AddRowK(sums, FRow.data(), FFactors[size_t(k - 2)]);
  }
}

uint32_t TCtdbChecksums::CrcBefore(int64_t byte) const {
  for (const TKeptBytes& kept : FKept)
    if (kept.First <= byte && byte <= kept.End)
      return Crc32(kept.CrcBefore, kept.Bytes.data(), size_t(byte - kept.First));
  return 0;  // not reached: every place asked for is kept
}

uint32_t TCtdbChecksums::RangeCrc(int64_t firstWord, int64_t endWord, int offset) const {
  if (endWord <= firstWord) return uint32_t(crc32(0L, Z_NULL, 0));
  const int64_t first = 2 * (firstWord - 2 * int64_t(offset));
  const int64_t end = 2 * (endWord - 2 * int64_t(offset));
  // The CRC of everything before `end`, less that of everything before
  // `first` carried over the range's length.
  return CrcBefore(end) ^ uint32_t(crc32_combine(CrcBefore(first), 0, z_off_t(end - first)));
}

uint32_t TCtdbChecksums::WindowCrc(int offset) const {
  return RangeCrc(FLayout.WindowFirst(), FLayout.WindowEnd(), offset);
}

uint32_t TCtdbChecksums::TrackCrc(size_t track, int offset) const {
  return RangeCrc(FLayout.TrackFirst(track), FLayout.TrackEnd(track), offset);
}

void TCtdbChecksums::ColumnSyndromes(int offset, int column, uint16_t* out) const {
  // The window's row j of the column is the rip's row start + j of column c.
  const int64_t place = kCtdbColumns + column - 2 * int64_t(offset);
  const int64_t c = place % kCtdbColumns;
  const int64_t start = place / kCtdbColumns;  // 0, 1 or 2
  auto edge = [this, c](int slot) { return FEdgeRows[size_t(slot * kCtdbColumns + c)]; };
  for (int k = 0; k < FCount; ++k) {
    // FSums holds rows 0..L+1 with row m weighted 2^(k(L+1-m)); the window
    // takes L of them.
    const uint16_t sum = FSums[size_t(k) * kCtdbColumns + size_t(c)];
    const uint16_t first = gf16::Mul(edge(0), gf16::Pow(int64_t(k) * (FRows + 1)));
    switch (start) {
      case 0:
        out[k] = gf16::Mul(sum ^ gf16::Mul(edge(2), gf16::Pow(k)) ^ edge(3), gf16::Pow(-2 * k));
        break;
      case 1:
        out[k] = gf16::Mul(sum ^ first ^ edge(3), gf16::Pow(-k));
        break;
      default:
        out[k] = sum ^ first ^ gf16::Mul(edge(1), gf16::Pow(int64_t(k) * FRows));
        break;
    }
  }
}

std::vector<int> TCtdbChecksums::Column0Matches(const std::vector<uint16_t>& syndrome) const {
  std::vector<int> offsets;
  const size_t count = std::min(syndrome.size(), size_t(FCount));
  if (count == 0) return offsets;
  std::vector<uint16_t> own(static_cast<size_t>(FCount));
  for (int step = 0; step <= 2 * kCtdbMaxOffset; ++step) {
    const int offset = step % 2 == 1 ? (step + 1) / 2 : -step / 2;  // 0, 1, -1, 2, -2, ...
    ColumnSyndromes(offset, 0, own.data());
    if (std::equal(own.begin(), own.begin() + int64_t(count), syndrome.begin()))
      offsets.push_back(offset);
  }
  return offsets;
}
