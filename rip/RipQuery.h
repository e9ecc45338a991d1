// The lookup of cadenzo-rip --query and of a batch of discs: MusicBrainz
// first, then the CDDB server of the settings, as the desktop program asks
// them, without windows: the log on a stream or to a function, the choice
// among several answers asked on a terminal, taken from --match, or the
// first (which the log then names). Runs its own event loop on the calling
// thread; any thread with its own settings object.
#pragma once

#include <QString>
#include <cstdio>
#include <functional>

class TConfig;
class TMyCDInfo;

enum class TQuerySource { Any, MusicBrainz, Cddb };

struct TRipQuery {
  int Match = 0;          // 1-based choice among several answers; 0 = not given
  bool Terminal = false;  // ask on the terminal when several match and no Match
  TQuerySource Source = TQuerySource::Any;
  bool SaveNames = false;  // replace an existing local entry with the names found
  FILE* In = stdin;
  FILE* Log = stderr;
  // When set, the log's lines go here instead of Log (without line ends).
  std::function<void(const QString& line)> OnLog;
};

// Looks the loaded disc up and, when names were found, fills the disc
// information with them and writes them to the local CDDB folder, unless an
// entry is there already and SaveNames is false. False (with the reason
// logged) when no names were found or a --match beyond the answers was refused.
bool RunRipQuery(TMyCDInfo& info, const TConfig& settings, const TRipQuery& options);
