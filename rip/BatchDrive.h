// TBatchDrive: one drive of a batch of discs, on a thread of its own. It
// waits for a disc (polling the drive; an image drive's tray closes over a
// new image), reads it, looks it up, rips it with the batch's settings into a
// folder of its own, ejects it and waits for the next, until the batch stops
// or has its discs. Its encoders run on the workers every drive shares. Made
// by TDiscBatch, which hears of it through the events (called on the drive's
// thread) and reads Progress from its own.
#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "rip/RipPlan.h"
#include "rip/RipSummary.h"

class TConfig;
class TEncodeWorkers;
class TMyCDInfo;

// What the drives of a batch share; the batch owns it and outlives them.
struct TBatchShared {
  const TConfig* Settings = nullptr;  // a copy nobody changes while the batch runs
  TRipSettings Rip;                   // each disc's plan starts from these
  std::shared_ptr<TEncodeWorkers> Encoders;
  int MaxDiscs = 0;  // discs to take in all; 0: until stopped
  int PollMs = 500;  // between two looks at an empty drive
  std::atomic<int> Taken{0};
  std::atomic<bool> StopAfterDiscs{false};  // take no other disc
  std::atomic<bool> StopNow{false};         // and stop the rip in hand
  std::mutex Lock;
  std::condition_variable Wake;  // a stop ends every wait for a disc

  // Takes one of the discs the batch may still rip; false when none is left
  // or the batch stops.
  bool TakeDisc();
  bool Stopping() const { return StopAfterDiscs || StopNow; }
  // Waits the poll interval, or less when the batch stops meanwhile.
  void Pause();
};

// One disc of a batch, as its rip ended.
struct TBatchDisc {
  int Drive = 0;
  QString DriveName;
  QString Artist;
  QString Album;
  QString DiscId;  // the CDDB disc ID, eight hex digits
  bool Unknown = false;
  QString SubmissionUrl;  // where MusicBrainz takes the disc; for unknown discs
  QString Folder;         // where its files went
  TRipSummary Tracks;
  bool HiddenTrack = false;  // the audio before track 1 was ripped too
  QStringList Messages;      // the rip's error summary

  // "Artist - Album", or "Unknown disc <ID>".
  QString Caption() const;
  bool AccuratelyRipped() const;
  bool HasErrors() const;
  // "With errors", "Accurately ripped" or "Not verified", as the summary counts it.
  QString Verdict() const;
};

// What a drive does now, for a display.
struct TDriveProgress {
  int Drive = 0;
  QString Status;    // "Waiting for a disc", "Artist - Album: Track 3 of 12, Read", ...
  int Percent = -1;  // of the disc in hand; -1 while none is ripped

  bool operator==(const TDriveProgress&) const = default;
};

class TBatchDrive {
 public:
  TBatchDrive(int drive, TBatchShared& shared);

  // Runs on the drive's thread until the batch stops or has its discs.
  void Run();

  // A line of the drive's log; called on the drive's thread.
  std::function<void(const QString& line)> OnLog;
  // A disc's rip ended; called on the drive's thread.
  std::function<void(const TBatchDisc& disc)> OnDiscDone;

  int Drive() const { return FDrive; }
  // Any thread.
  TDriveProgress Progress() const;

 private:
  class TView;
  friend class TView;
  void SetStatus(const QString& status, int percent);
  void Log(const QString& line);
  // Looks the loaded disc up, plans it, rips it; the eject follows.
  TBatchDisc RipDisc(class TCDRIP& cdrip, class TLameCoder& coder, TMyCDInfo& info);

  const int FDrive;
  TBatchShared& FShared;
  QString FName;
  mutable std::mutex FLock;
  TDriveProgress FProgress;
};

// The plan of a whole disc for a batch: every audio track, each disc in a
// folder of its own: an unknown disc's under its disc ID (the rule's file
// name inside it), a named one where the rule puts it, below
// "<artist> - <album>" when the rule names no folder.
TRipPlan BatchPlan(const TMyCDInfo& info, const TRipSettings& settings, bool unknown);
