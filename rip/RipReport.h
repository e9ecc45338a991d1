// The rip report: the rip log and the CUE sheet a session leaves beside the
// tracks, made from the plan's disc and settings and plain results of the
// rip, and the verdicts counted for a front end's summary. It decides which
// of the two are due and where they go; the session only saves them. Plain
// values and functions; any thread (ReportFiles looks at the folder).
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
  bool Written = false;             // its file is in place as this session wrote it, done or not
  QString Status;                   // "Done", "Error", ...
  std::optional<uint32_t> TestCrc;  // of its first read, with test and copy
  // Of the audio the file holds, when that is not the audio read (normalised).
  std::optional<uint32_t> FileCrc;
  int32_t LostSectors = 0;
  int32_t LeftOutSectors = 0;
  int32_t JitterErrors = 0;
  QString SectorMap;  // a mark per sixtieth of the track
  QString SectorCounts;
  std::optional<TTrackVerification> Verification;  // none when it was not read
};

// What became of the audio before track 1.
enum class TBeforeTrack1 {
  None,        // track 1 starts the disc
  NotChecked,  // the setting is off, or track 1 was not ripped
  Silent,      // read, and digital silence: nothing to rip
  Ripped,      // sound: ripped as track 00
};

// What the rip did: how the drive read, what was made, and each track it
// went through, in job order.
struct TRipResults {
  QString Drive;
  QString ReadMode;
  int32_t ReadOffset = 0;
  QString Output;                    // the format and its settings in words
  QString AccurateRip;               // the database's answer for the disc
  std::vector<TDbarBlock> ArBlocks;  // its pressings, when found
  TBeforeTrack1 BeforeTrack1 = TBeforeTrack1::None;
  QString Ctdb;  // the log's CTDB block; empty without one
  std::vector<TReportTrack> Tracks;
};

struct TReportFile {
  QString Path;
  QString Text;
  QString What;  // "rip log", "CUE sheet"
  bool Log = false;
  QString Problem;  // why it cannot be written; the text is empty then
  QString LeftOut;  // why it is rightly not written (a note, not a failure)
};

// The log (when the settings ask for it) and then the sheet (when asked and
// the files written form a run of the disc's tracks), in the folder of the
// first track read; none when no track was read. A rip that leaves tracks
// of the disc out keeps the album's log and sheet of an earlier rip: its
// own are named after its tracks, "<artist> - <album> (tracks 2-3).log".
std::vector<TReportFile> ReportFiles(const TDisc& disc, const TRipSettings& settings,
                                     const TRipResults& results);

// The verdicts of the tracks read counted apart; the audio before track 1
// has no entry in the database and is not counted.
TArTally TallyOf(const TRipResults& results);
// The track's verdict in words, saying when the file's audio is not the audio
// the verdict is about.
QString VerdictText(const TReportTrack& track);
// The file holds other audio than the read delivered (normalised).
bool FileDiffers(const TReportTrack& track);
// The database confirms the audio the track's file holds.
bool ProvenAccurate(const TReportTrack& track);
