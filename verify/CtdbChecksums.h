// TCtdbChecksums: what one pass over a rip's audio keeps for CTDB, fed chunk
// by chunk as the drive delivers it (beside TTrackChecksums): the CRC-32 of
// the window and of each track's share as an entry sees them at any offset
// the search allows, and per column the Horner sums of the words in GF(2^16)
// from which the window's syndromes at any offset follow. Two syndromes per
// column find the offset; a repair keeps as many as it has recovery rows.
// Plain value type; any thread, one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "verify/Ctdb.h"
#include "verify/CtdbParity.h"

class TCtdbChecksums {
 public:
  // Requires: a layout CtdbLayoutOf gave; 1 <= syndromes <= 64.
  explicit TCtdbChecksums(const TCtdbLayout& layout, int syndromes = 2);

  // The next bytes of the audio (16-bit little-endian stereo from the first
  // audio track's start), in order; a word may straddle two calls. Bytes past
  // the layout's end are ignored.
  void Add(const uint8_t* data, size_t bytes);
  bool Complete() const { return FBytes == 2 * FLayout.Words; }

  const TCtdbLayout& Layout() const { return FLayout; }

  // The rest requires Complete() and |offset| <= kCtdbMaxOffset. At offset d
  // an entry's word w is the rip's word w - 2d.

  // CRC-32 of the window, and of audio track i's share of it.
  uint32_t WindowCrc(int offset) const;
  uint32_t TrackCrc(size_t track, int offset) const;
  // Column `column`'s syndromes S_0.. of the window, as many as the constructor kept.
  void ColumnSyndromes(int offset, int column, uint16_t* out) const;
  // The offsets at which column 0's syndromes equal the first of these (as
  // many as kept), nearest to 0 first.
  std::vector<int> Column0Matches(const std::vector<uint16_t>& syndrome) const;

 private:
  // The words around a place the CRCs start or end, as far as an offset
  // moves it, and the CRC of all bytes before them.
  struct TKeptBytes {
    int64_t First = 0;  // bytes
    int64_t End = 0;
    uint32_t CrcBefore = 0;
    std::vector<uint8_t> Bytes;
  };

  void AddCrc(const uint8_t* data, size_t bytes);
  void AddWords(const uint8_t* data, size_t count);
  void AddRow();
  uint32_t CrcBefore(int64_t byte) const;
  uint32_t RangeCrc(int64_t firstWord, int64_t endWord, int offset) const;

  TCtdbLayout FLayout;
  int FCount;
  int64_t FRows;
  int64_t FBytes = 0;
  uint32_t FCrc;
  uint8_t FPendingByte = 0;

  std::vector<TKeptBytes> FKept;  // by First
  size_t FNextKept = 0;           // the first whose CrcBefore is not known yet
  size_t FFirstOpen = 0;          // the first not yet filled

  // FSums[k * kCtdbColumns + c]: Σ w(c + m·stride) · 2^(k·(L+1-m)) over rows
  // m = 0..L+1; FEdgeRows: the words of rows 0, 1, L and L+1, which the
  // window at an offset leaves out or takes in beyond the common ones.
  std::vector<uint16_t> FSums;
  std::vector<uint16_t> FEdgeRows;
  std::vector<gf16::TFactor> FFactors;  // 2^k for k >= 2
  std::vector<uint16_t> FRow;           // the words of the row being filled
  int64_t FRowNumber = 0;
  int64_t FRowFill = 0;
};
