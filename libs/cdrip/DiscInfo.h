// What the disc in a drive states of itself: its table of contents, each
// track's pregap, CD-Text, the catalogue number and ISRCs, and what an image's
// cue sheet says. Read by CR_ReadToc, kept by the library until the next.
#pragma once

#include <cdio/cdio.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "libs/cdrip/Drives.h"
#include "libs/cdrip/cdrip.h"

namespace cdrip {

struct TDiscInfo {
  std::vector<CdripTocEntry> Toc;  // the tracks, then the lead-out
  // Title, performer and code of the disc (index 0) and of each track.
  std::vector<std::array<std::string, 3>> DiscText;
  // What the active drive's cue sheet states: the disc first, then each
  // track; title, performer, catalog or ISRC, genre, date.
  std::vector<std::vector<std::string>> SheetTexts;
  // Each track's pregap in sectors; -1 where a drive's Q sub-channel is
  // still to be asked.
  std::vector<int32_t> Pregaps;

  void Clear() { *this = TDiscInfo{}; }
  // Replaces everything with what the disc in `drive` states; false (and
  // cleared) when there is no disc or it states no TOC a disc can hold.
  bool Read(const TDrives& drives, TDrive& drive);
  // Track `track`'s pregap (from 1), asking the drive's Q sub-channel once
  // when the disc did not state it; -1 for a track the TOC lacks.
  int32_t Pregap(const TDrives& drives, TDrive& drive, int32_t track);
};

// The disc's TOC as its back end (libcdio or the cue image) states it: the
// tracks, then the lead-out. Empty when the disc states no usable TOC.
std::vector<CdripTocEntry> TocOf(CdIo_t* cdio);
std::vector<CdripTocEntry> TocOf(const TCueImage& cue);

// libcdio-paranoia asks a libcdio handle for the TOC, which a cue image our
// own back end reads has not: a handle on a sheet of the same TOC over a
// sparse file of the disc's length stands in, made once per TOC and kept by
// the drive. Its files are gone once it is open; nothing of them is read.
// Null when it cannot be made (no temporary folder).
std::shared_ptr<CdIo_t> TocStandIn(TDrive& drive, const std::vector<CdripTocEntry>& toc);

}  // namespace cdrip
