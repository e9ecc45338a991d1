// TJobRun: what a conversion session knows of a job beyond its status, one
// per job of the plan, and the progress the runs make up: the line of the
// tracks on the encoders and the share of the whole session done. Plain
// values and functions; user-interface thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "encode/EncodePool.h"
#include "encode/FileParam.h"
#include "rip/RipReport.h"

class TLoudness;
struct TNormalizeOutcome;

struct TJobRun {
  double Read = 0;         // share of the track read
  double Encoded = 0;      // share encoded
  bool Encoding = false;   // handed to the encoders and not finished
  bool Processed = false;  // the track loop is done with it
  bool Settled = false;    // every step ended: its summary lines may go out
  bool OnTheFly = false;
  bool RipOk = false;
  bool MayReplace = false;  // an existing file of the output's name may be replaced
  bool WriteFailed = false;
  bool Cut = false;      // its encoder was stopped
  bool Suspect = false;  // its two reads differ
  QString RipTarget;
  QString Output;  // the output under its temporary name, until it is placed
  QString Placed;  // where the output went, once placed
  // A WAV of an encoded track's audio as read, from which a CTDB repair makes
  // the file again; empty when none is kept.
  QString Pcm;
  bool Remaking = false;  // its file is being made again from the repaired copy
  bool Remade = false;    // and took the output's place
  // What its read left for the rip log: test CRC, lost sectors, jitter
  // errors and the sector picture.
  TReportTrack Report;
  std::shared_ptr<TNormalizeOutcome> Normalized;  // written by the worker
  std::shared_ptr<TLoudness> Loudness;            // measured by the worker; null without ReplayGain
  QStringList Messages;
};

// The share of the whole session done, in percent: every job weighs as much
// as its track's audio is long; reading is half of an encoded job's work,
// all of a WAV job's.
int OverallPercent(const TJobList& jobs, const std::vector<TJobRun>& runs, const TDisc& disc,
                   bool encoded);
// "Track 03 Normalizing 40%, Track 04 12%, 2 waiting": the tracks on the
// encoders; takes each task's share encoded into its run.
QString EncodersLine(const std::vector<TEncodePool::TTaskState>& tasks, const TJobList& jobs,
                     std::vector<TJobRun>& runs);
