// The rip report: the rip log and the CUE sheet a session leaves beside the
// tracks, made from the plan's disc and settings and plain results of the
// rip. It decides which of the two are due and where they go; the session
// only saves them. Plain values and functions; any thread.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "disc/Disc.h"
#include "verify/RipVerification.h"

struct TRipSettings;

// One job's track as the rip left it.
struct TReportTrack {
  int32_t TrackNum = 0;             // 0: the audio before track 1
  QString OutputPath;               // where its file went, else where it was to go
  bool Whole = false;               // done, and its file written whole by this session
  QString Status;                   // "Done", "Error", ...
  std::optional<uint32_t> TestCrc;  // of its first read, with test and copy
  int32_t LostSectors = 0;
  int32_t LeftOutSectors = 0;
  int32_t JitterErrors = 0;
  QString SectorMap;  // a mark per sixtieth of the track
  QString SectorCounts;
  std::optional<TTrackVerification> Verification;  // none when it was not read
};

// What the rip did: how the drive read, what was made, and each track it
// went through, in job order.
struct TRipResults {
  QString Drive;
  QString ReadMode;
  int32_t ReadOffset = 0;
  QString Output;       // the format and its settings in words
  QString AccurateRip;  // the database's answer for the disc
  QString Ctdb;         // the log's CTDB block; empty without one
  std::vector<TReportTrack> Tracks;
};

struct TReportFile {
  QString Path;
  QString Text;
  QString What;  // "rip log", "CUE sheet"
};

// The log (when the settings ask for it) and then the sheet (when asked and
// a track was written whole), in the folder of the first track read; none
// when no track was read.
std::vector<TReportFile> ReportFiles(const TDisc& disc, const TRipSettings& settings,
                                     const TRipResults& results);
