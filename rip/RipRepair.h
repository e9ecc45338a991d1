// The CTDB repair of a session's rip: the WAV copies of the audio as read
// that an encoded rip keeps for it, and the repair itself: the recovery data
// fetched as the repair needs it, the damaged samples found on a worker
// thread, written into the session's own WAV files and read back to check
// the CTDB CRC, or no file changed. The session re-makes encoded files from
// the repaired copies. Reports by return values; user-interface thread
// unless said.
#pragma once

#include <QFile>
#include <QString>
#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "encode/WavEncoder.h"
#include "verify/Checksums.h"
#include "verify/CtdbRepair.h"
#include "verify/CtdbVerification.h"

// A WAV copy of a track's audio as the drive delivers it, into a file the
// session made; a write that fails ends the copy, never the rip.
class TPcmCopy {
 public:
  explicit TPcmCopy(const QString& path);
  void Add(const uint8_t* data, int32_t bytes);
  // Completes the file; false when a write failed.
  bool Finish();

 private:
  QFile FFile;
  TWavEncoder FWav;
  bool FFailed = false;
};

// Whether a copy of a track of trackBytes is worth keeping in the folder: a
// repair may still come of the rip, and the folder has room for the copy
// and for laterBytes of audio besides, so the outputs of the tracks still
// to read (no larger than their audio) never run short of it.
bool KeepsPcmCopy(const TCtdbVerification* ctdb, const QString& folder, int64_t trackBytes,
                  int64_t laterBytes);

// A WAV the session wrote that holds an audio track's audio as read.
struct TRepairFile {
  int32_t TrackNum = 0;
  QString Path;
};

struct TRipRepair {
  TCtdbRepair::TOutcome Outcome = TCtdbRepair::Unrepairable;
  TCtdbRepairRecord Record;
  std::optional<TCtdbChecksums> After;           // of the files, once applied
  std::map<int32_t, TTrackChecksums> TrackSums;  // the AccurateRip sums of each changed track
};

// Any thread. Repairs the rip in the files (every audio track's, in disc
// order; firstTrack is the number of the first) from the recovery rows:
// writes the changes only when their window has the entry's CRC, then reads
// the files back and takes them out again unless the CRC holds there too.
// stop ends the work early with nothing changed.
TRipRepair RepairFiles(const std::vector<TRepairFile>& files, const TCtdbLayout& layout,
                       const TCtdbEntry& entry, const TCtdbRecovery& recovery,
                       const std::atomic<bool>& stop);

// Repairs the rip the verification found different from the database: tries
// its repair candidates in turn, fetching 4, 8, then 16 rows of recovery
// data as a repair needs them within timeoutMs each, and runs RepairFiles on
// a worker while the event loop runs. stopped() (checked after every event)
// ends it with nothing changed.
TRipRepair RepairRip(const TCtdbVerification& ctdb, const std::vector<TRepairFile>& files,
                     int timeoutMs, const std::function<bool()>& stopped);
