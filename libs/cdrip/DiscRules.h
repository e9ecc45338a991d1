// Rules about discs and drives that the CD-reading library and the ripping
// component share: which TOC values can be trusted, where the audio of a track
// really ends, and what a drive's play status means. Pure functions, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

#include "libs/cdrip/cdrip.h"

namespace cdrip {

inline constexpr uint8_t kAudioTrackFlag = 0x10;
// The highest address a TOC can state (99:59:74); a longer disc cannot exist,
// and every byte count of a track then fits in 32 bits.
inline constexpr int32_t kMaxTocSector = 100 * 4500 - 1;
// Lead-out (6750), lead-in (4500) and pregap (150) between the audio session
// of an Enhanced CD and its data session: the TOC lets the last audio track
// run over them to the data track's start.
inline constexpr int32_t kSessionGapSectors = 11400;
// Play status of a drive that cannot tell (no disc, a failed sub-channel read).
inline constexpr int32_t kAudioStatusNone = 0x15;

// True when the entries (the tracks, then the lead-out) start at 0 or later,
// ascend strictly and end by kMaxTocSector: what a real disc can hold.
inline bool IsValidToc(const CdripTocEntry* entries, size_t count) {
  if (count < 2) return false;
  for (size_t i = 0; i < count; ++i) {
    const int32_t start = entries[i].startSector;
    if (start < 0 || start > kMaxTocSector) return false;
    if (i > 0 && start <= entries[i - 1].startSector) return false;
  }
  return true;
}

// End (exclusive) of the audio of the track that starts at `start` and, by the
// TOC, ends at `nextStart`. Before a data track the audio stops a session gap
// earlier; reading the gap only gives read errors and retries for minutes.
inline int32_t AudioTrackEnd(int32_t start, int32_t nextStart, bool nextIsData) {
  if (nextIsData && nextStart - kSessionGapSectors > start) return nextStart - kSessionGapSectors;
  return nextStart;
}

// The status the library reports for a sub-channel read: a failed read (the
// disc pulled during play) is "no status"; 0 would keep the main window
// waiting for a play that has ended.
inline int32_t AudioStatusOfRead(bool readOk, uint8_t audioStatus) {
  return readOk ? audioStatus : kAudioStatusNone;
}

}  // namespace cdrip
