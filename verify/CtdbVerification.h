// TCtdbVerification: what a rip of one disc proves against the CTDB
// database, counted apart from AccurateRip. It looks the disc up at once,
// takes the audio of a whole-disc rip (every audio track in disc order from
// the first one's INDEX 01) into TCtdbChecksums as the drive hands it over,
// and gives the disc and each track a verdict once both the rip and the
// answer are there. A repair hands it the sums of the repaired audio and what
// it changed. Owned by the track reader; user-interface thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "verify/CtdbChecksums.h"
#include "verify/CtdbClient.h"
#include "verify/CtdbVerdict.h"

// What a repair changed in one track.
struct TCtdbTrackRepair {
  int64_t Samples = 0;           // stereo samples changed
  int64_t FirstSample = 0;       // the first of them, from the track's start
  std::vector<int32_t> Sectors;  // the track's sectors changed, from 0, ascending
};

// "1,204 samples at 03:12": what the repair changed and where it starts.
QString CtdbChangedText(const TCtdbTrackRepair& track);

// What a repair of the rip did, or why it did not.
struct TCtdbRepairRecord {
  bool Tried = false;
  bool Applied = false;  // every changed file holds the repaired audio, checked after
  uint32_t EntryId = 0;
  int Confidence = 0;
  int Offset = 0;                          // samples
  int Rows = 0;                            // of recovery data used
  std::map<int, TCtdbTrackRepair> Tracks;  // by track number; known also when not applied
  QString Detail;                          // why not, when not applied
};

class TCtdbVerification {
 public:
  // tracks: every track of the disc; leadOut: the disc's lead-out sector.
  // Starts the lookup at once.
  TCtdbVerification(const std::vector<TArTocTrack>& tracks, int32_t leadOut, const QString& server,
                    int timeoutMs = 30000);

  // Track trackNum's audio is about to be read: true when it continues a
  // whole-disc rip, whose audio then goes to Add. Any other audio track read
  // (out of order, a second time) leaves the rip counting for no entry.
  bool BeginTrack(int trackNum);
  void Add(const uint8_t* data, size_t bytes);
  // The track's read ended; whole when the drive delivered every sample
  // (unreadable ones as silence).
  void EndTrack(int trackNum, bool whole);

  const QString& Server() const { return FServer; }
  bool AnswerPending() const { return FClient.Answer() == TArAnswer::Pending; }
  // Runs the event loop until the answer is there: the lookup ends at once
  // when stopped() turns true, and at its deadline at the latest.
  void WaitForAnswer(const std::function<bool()>& stopped);
  // The database's answer for the disc, for the log.
  QString AnswerText() const;

  // Every audio track was read whole, in order.
  bool Whole() const;
  const std::optional<TCtdbLayout>& Layout() const { return FLayout; }
  // The number of the first audio track: layout track i is track FirstTrack() + i.
  int FirstTrack() const { return FFirstTrack; }
  TCtdbVerdict DiscVerdict() const;
  TCtdbVerdict TrackVerdict(int trackNum) const;
  // Whether a repair may still come of this rip: the answer is awaited, or
  // has an entry of the disc's length with recovery data, and the rip is
  // whole so far.
  bool MayRepair() const;
  // The entries a repair tries, best first: of the disc's length with
  // recovery data; those whose column 0 agrees first, then by confidence.
  std::vector<TCtdbEntry> RepairCandidates() const;

  // After a repair: what it did and, when applied, the sums of the audio as
  // the files now hold it, from which the verdicts are taken again.
  void Repaired(const TCtdbRepairRecord& record, std::optional<TCtdbChecksums> after);
  const TCtdbRepairRecord& Repair() const { return FRepair; }

  // A track's verdict with what the repair did to it, for the log and the
  // track list: "Differs in 1,204 samples at 03:12".
  QString TrackText(int trackNum) const;
  // For the track list's State column: "CTDB (5)", "CTDB (5), repaired".
  QString TrackShort(int trackNum) const;
  // What the repair did, or why not; empty when none was tried.
  QString RepairText() const;
  // The log's block: the answer, the disc's and each track's verdict, the repair.
  QString LogBlock() const;

 private:
  void Evaluate();

  QString FServer;
  std::optional<TCtdbLayout> FLayout;
  int FFirstTrack = 0;
  int FTrackCount = 0;  // audio tracks
  std::optional<TCtdbChecksums> FSums;
  int FNextTrack = 0;       // the audio track a whole rip reads next
  int64_t FTrackBytes = 0;  // of the track being read
  bool FBroken = false;
  int FTimeoutMs;
  TCtdbClient FClient;
  std::vector<TCtdbEntryResult> FResults;  // once the rip is whole and the answer is there
  TCtdbRepairRecord FRepair;
};
