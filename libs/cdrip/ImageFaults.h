// Faults an image drive injects, read from the image's section of cdrip.ini
// again on every CR_IsUnitReady, CR_ReadToc, CR_OpenRipper and CR_EjectCD, so
// a running program sees a disc "inserted" or "removed" when they change:
//   NotReady=1                  no disc: not ready, no TOC, no rip
//   UnreadableSectors=a-b[,c-d] these sectors cannot be read: silence, code 1
//   JitterSectors=a-b[,c-d]     a chunk touching these sectors reports a jitter
//                               error (code 3) at the touched sectors; data is kept
//   FlakySectors=a-b[,c-d]      the first read of each of these sectors fails,
//                               the next one delivers it (a re-read)
//   ReadErrorDelay=<ms>         a read that meets an unreadable sector takes this
//                               long to fail, as a drive's own retries do
//   EjectFails=1                CR_EjectCD fails and the tray does not move
//   ChangingSectors=a-b[,c-d]   every second hand-over of these sectors differs
//                               (each sample's low bit flipped), as a drive
//                               that does not read them the same twice
// Ranges are inclusive sector numbers; a single number names one sector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cdrip {

class TIniFile;

struct TSectorRange {
  int32_t First;
  int32_t Last;
};

struct TFaults {
  bool NotReady = false;
  bool EjectFails = false;
  std::vector<TSectorRange> Unreadable;
  std::vector<TSectorRange> Jitter;
  std::vector<TSectorRange> Flaky;
  std::vector<TSectorRange> Changing;
  int32_t ReadErrorDelay = 0;  // ms
};

// The faults the ini's section `key` states.
TFaults ReadFaults(const TIniFile& ini, const std::string& key);

// "a-b, c, d-e": a list of inclusive ranges; items that are no number are skipped.
std::vector<TSectorRange> ParseRanges(const std::string& text);

// The first sector range that overlaps [first, last], clipped to it.
bool Overlap(const std::vector<TSectorRange>& ranges, int32_t first, int32_t last,
             TSectorRange& hit);

}  // namespace cdrip
