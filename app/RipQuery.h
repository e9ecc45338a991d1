// The CDDB lookup of cadenzo-rip --query: the lookup of the desktop program
// without windows, its log on a stream, the choice among several matches
// asked on a terminal, taken from --match, or the first.
#pragma once

#include <QString>
#include <cstdio>

class TConfig;
class TMyCDInfo;

struct TRipQuery {
  int Match = 0;          // 1-based choice among several matches; 0 = not given
  bool Terminal = false;  // ask on the terminal when several match and no Match
  FILE* In = stdin;
  FILE* Log = stderr;
};

// Looks the loaded disc up on the server of the settings and, when an entry
// was read, fills the disc information with its names and writes it to the
// local CDDB folder. False (with the reason logged) when no entry was read.
bool RunRipQuery(TMyCDInfo& info, const TConfig& settings, const TRipQuery& options);
