// Where a track's pregap begins on a drive, whose TOC states only where each
// track starts: every sector's Q sub-channel names its track, and the sectors
// of a pregap already name the track they lead to. Pure; the caller reads Q.
#pragma once

#include <cstdint>

namespace cdrip {

// The first sector of track `track`'s pregap, between the previous track's
// start (exclusive) and the track's own start; `start` when it has none.
// qTrack(sector) is the track the sector's Q names, or -1 when it names none
// (a catalogue or ISRC frame, or a failed read): such a sector goes by the
// next that does, and one where none does within a few counts as the
// previous track's, so a doubtful reading never lengthens a pregap.
template <typename TQTrack>
int32_t FindPregapStart(int32_t previousStart, int32_t start, int track, TQTrack&& qTrack) {
  constexpr int32_t kLookAhead = 8;
  const auto inPregap = [&](int32_t sector) {
    for (int32_t at = sector; at < start && at < sector + kLookAhead; ++at) {
      const int named = qTrack(at);
      if (named >= 0) return named == track;
    }
    return false;
  };
  // The sectors from the pregap's first on name the track: a binary search.
  int32_t low = previousStart + 1, high = start;
  while (low < high) {
    const int32_t middle = low + (high - low) / 2;
    if (inPregap(middle))
      high = middle;
    else
      low = middle + 1;
  }
  return high;
}

}  // namespace cdrip
