// What a rip proves against the CTDB entries of its disc: per entry, the
// offset at which column 0 agrees and whether the window's and each track's
// CRC match there; per disc and per track, the verdict for the log and the
// track list, counted apart from AccurateRip's. Plain functions; any thread.
#pragma once

#include <QString>
#include <vector>

#include "verify/AccurateRip.h"
#include "verify/Ctdb.h"
#include "verify/CtdbChecksums.h"

struct TCtdbEntryResult {
  bool Counted = false;             // an entry of this disc's audio length and the known stride
  bool OffsetFound = false;         // column 0 agrees at Offset (an entry without syndromes: never)
  int Offset = 0;                   // samples; 0 when not found
  bool Accurate = false;            // the window's CRC equals the entry's at Offset
  std::vector<bool> TrackAccurate;  // per audio track at Offset; empty without track CRCs
};

// The first offset at which column 0 agrees and the CRC matches wins (of
// the first few, nearest to 0); when none matches, the first at which column
// 0 agrees; an entry without syndromes is tried at offset 0. A rip not read
// whole counts for no entry.
TCtdbEntryResult CtdbCheckEntry(const TCtdbChecksums& rip, const TCtdbEntry& entry);

struct TCtdbVerdict {
  // NotWhole: the database knows the disc, but the rip did not read every
  // audio track whole and in order, so no entry can be compared.
  enum TKind { Accurate, Differs, NotInDatabase, Unreadable, NoAnswer, NotWhole, Pending };
  TKind Kind = Pending;
  int Confidence = 0;  // Accurate: the rips that agree
  int Total = 0;       // the rips of every entry of the disc's length
  int Offset = 0;      // Accurate: of the entry with the most rips that agree

  // The verdict for the log and the console.
  QString Text() const;
  // For the track list's State column: "CTDB (12)", "CTDB differs"; empty
  // when the database says nothing of the rip.
  QString Short() const;
};

// results[i] is entries[i]'s.
TCtdbVerdict CtdbDiscVerdict(TArAnswer answer, const std::vector<TCtdbEntry>& entries,
                             const std::vector<TCtdbEntryResult>& results);
// Audio track `track` (from 0): an entry without track CRCs counts by its
// whole-disc CRC.
TCtdbVerdict CtdbTrackVerdict(TArAnswer answer, const std::vector<TCtdbEntry>& entries,
                              const std::vector<TCtdbEntryResult>& results, size_t track);
