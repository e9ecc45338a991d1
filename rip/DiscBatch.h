// TDiscBatch: ripping every disc put in, on one drive or several at once,
// without touching the keyboard: each drive waits for a disc on a thread of
// its own, looks it up (MusicBrainz, then CDDB, then the names stored for
// it), rips it with the settings into a folder of its own (an unknown disc
// under its disc ID), ejects it and waits for the next (TBatchDrive). The
// encoders of every drive share one set of workers, one per core in all. At
// the end a summary is written beside the rips. cadenzo-rip --each-disc and
// the window's rip-on-insert drive it; created, used and destroyed on their
// thread, where its events come.
#pragma once

#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "rip/BatchDrive.h"

class QThread;
class TConfig;

// What a batch did, for its summary.
struct TBatchSummary {
  std::vector<TBatchDisc> Discs;
  bool Stopped = false;  // by the user, before it had its discs

  int Unknown() const;
  int Accurate() const;
  int WithErrors() const;
  int NotVerified() const { return int(Discs.size()) - Accurate() - WithErrors(); }
  // The summary as the file holds it and cadenzo-rip prints it: the counts,
  // then a line per disc, an unknown one's MusicBrainz address below it.
  QString Text() const;
};

class TDiscBatch {
 public:
  // settings: copied, so later changes do not reach the running batch; rip:
  // the settings each disc's plan starts from (OverwritePrompt: existing
  // files are kept, as nobody is asked); drives: the drives to watch.
  TDiscBatch(const TConfig& settings, const TRipSettings& rip, std::vector<int> drives);
  // Stops at once and waits for the drives (a chunk, the lookups' deadlines).
  ~TDiscBatch();
  TDiscBatch(const TDiscBatch&) = delete;
  TDiscBatch& operator=(const TDiscBatch&) = delete;

  // Discs to rip in all before the batch ends; 0 (the default) until stopped.
  void SetMaxDiscs(int discs) { FShared.MaxDiscs = discs; }
  // How long an empty drive waits before it looks again.
  void SetPollInterval(int ms) { FShared.PollMs = ms; }

  void Start();
  // Every drive finishes the disc in hand and takes no other.
  void StopAfterDiscs();
  // Every drive stops its rip within a chunk; the files the stop cut are
  // deleted and the finished tracks kept, as an aborted rip leaves them.
  void StopNow();
  bool Running() const { return FRunning; }

  const TBatchSummary& Summary() const { return FSummary; }
  // The summary file written at the end; empty before, or when it could not be.
  const QString& SummaryPath() const { return FSummaryPath; }
  // The encoder workers the drives share.
  const std::shared_ptr<TEncodeWorkers>& Encoders() const { return FShared.Encoders; }
  // What each drive does now, in the order of the drives.
  std::vector<TDriveProgress> Progress() const;

  // Events, on the batch's thread.
  std::function<void(int drive, const QString& line)> OnLog;
  std::function<void(const TBatchDisc& disc)> OnDiscDone;
  // Every drive's status, at most every 200 ms while one changes.
  std::function<void(const std::vector<TDriveProgress>& drives)> OnProgress;
  // The batch ended and its summary is written (or told why not in OnLog).
  std::function<void()> OnFinished;

 private:
  void DriveEnded();
  void WriteSummary();

  std::unique_ptr<TConfig> FSettings;
  TBatchShared FShared;
  QString FOutputFolder;
  std::vector<std::unique_ptr<TBatchDrive>> FDrives;
  std::vector<std::unique_ptr<QThread>> FThreads;
  int FEnded = 0;
  bool FRunning = false;
  TBatchSummary FSummary;
  QString FSummaryPath;
  QTimer FProgressTimer;
  std::vector<TDriveProgress> FShown;
  // Lives on the batch's thread: the drives' events are queued to it.
  std::unique_ptr<QObject> FContext;
};
