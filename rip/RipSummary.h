// How a rip of one disc went, counted from the states the session left in
// its jobs and the AccurateRip verdicts it reached: the window's verdict and
// a batch's summary. Plain values; any thread.
#pragma once

#include <QString>

#include "encode/FileParam.h"

class TCtdbVerification;
class TRipVerification;

struct TRipSummary {
  int Accurate = 0;     // done, and the database agrees
  int NotAccurate = 0;  // done, and the database knows other rips
  int NotVerified = 0;  // done, with no verdict to give
  int LostAudio = 0;    // not every sample could be read
  int Failed = 0;       // another error
  int NotRipped = 0;    // aborted or never reached
  bool Aborted = false;
  bool Repaired = false;  // a CTDB repair changed files

  // "8 tracks, all accurately ripped", "7 accurate, 1 not verified", ...
  QString Text() const;
  // Something the user should look at: errors or a disagreeing database.
  bool Troubled() const { return NotAccurate + LostAudio + Failed > 0 || Aborted; }
};

// A track counts as accurate when either database confirms it, as not
// accurate when either knows other rips and neither confirms it.
TRipSummary SummarizeRip(const TJobList& jobs, const TRipVerification* verification, bool aborted,
                         const TCtdbVerification* ctdb = nullptr);
