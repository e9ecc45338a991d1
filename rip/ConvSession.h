// TConvSession: the conversion session without any window. It walks the jobs
// of the rip plan it is handed, asks before overwriting, creates missing
// folders, rips each track through the ripping component (encoding on the
// fly, or into a temporary WAV that it normalises, encodes and deletes), and
// records each job's status and the lines of the error summary. It works
// from the plan alone (the disc, the jobs, the settings' snapshot) and reads
// or writes no setting; the units it calls (the track reader, output files,
// the job's encoder and tags, the cover, the rip report) never call back. It
// shows stages and asks its questions through TConvSessionView. Encoding
// (and the normalisation before it) runs on the workers of a TEncodePool
// while the next track is read; everything else, the statuses and the
// questions included, stays on the user-interface thread. The rip and the normalisation passes run
// pending events after every chunk, and the session waits for the encoders in the event loop, so
// Abort, close requests and the encoders' reports arrive while StartSession
// runs.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "encode/EncodePool.h"
#include "encode/FileParam.h"
#include "encode/Tags.h"
#include "rip/JobRuns.h"
#include "rip/OutputFiles.h"
#include "rip/RipPlan.h"
#include "rip/RipReport.h"
#include "rip/SessionCover.h"
#include "rip/SessionView.h"
#include "rip/TrackReader.h"

class TCDRIP;
class TCtdbVerification;
class TLameCoder;
class TRipVerification;
class TTrackChecksums;
struct TCtdbTrackRepair;
struct TTrackHealth;

class TConvSession {
 public:
  TConvSession(TCDRIP& cdrip, TLameCoder& coder, TConvSessionView& view);
  ~TConvSession();

  // Creates a folder with all missing levels without asking; true on success.
  std::function<bool(const QString& folder)> CreateOutputFolder;
  // When set, the encoders run on these workers, which sessions on other
  // drives share; else on workers of the session's own (EncoderThreads).
  std::shared_ptr<TEncodeWorkers> Encoders;

  // Copies the MP3 settings into the encoder; a failure is shown in a box and
  // the session goes on.
  void ApplyEncoderSettings(const TMp3Settings& settings);
  // Clears the flags and counters of the last session and takes the plan, so
  // a close before the first job asks nothing.
  void Reset(TRipPlan& plan);
  // Resets and runs the track loop over the plan's jobs, updating their
  // State in place. Returns true when the session ended by itself (no
  // abort), which is when its dialog closes without a question. Every output
  // is written under a temporary name and takes its own name only once it is
  // whole; before the first job, the temporary files that dead runs left in
  // the jobs' folders are deleted. The plan must outlive the session's use.
  bool StartSession(TRipPlan& plan);

  // The Abort button: stops the rip or encode in hand after its chunk and
  // ends the loop after the current step.
  void Abort();
  // Every close request; byTimer when the session's own close timer made it.
  // Any other request aborts and, when a job had begun, asks whether to
  // delete the converted files. Call CloseSession afterwards.
  void CloseQuery(bool byTimer);
  // Stops the encoder, deletes every temporary file left and, when the user
  // asked to, the outputs this session wrote of the aborted jobs. The cut
  // output of an aborted job the user keeps is named "<name> (partial)".
  void CloseSession();

  void SetStage(uint8_t stage);
  void SetProgress(int percent);
  // The stored answer when it was Yes to all or No to all, else the question.
  int AskOverwrite(const QString& path);
  // The "Scan Peak Level" and "Normalizing" stages on a ripped WAV, to
  // `factor` percent of full scale; false (the box shown, the cause in
  // *reason) when it failed. *dataCrc: the CRC of the samples written, none
  // when they stayed as they were.
  bool NormalizeStages(const QString& wavPath, int32_t factor, QString* reason = nullptr,
                       std::optional<uint32_t>* dataCrc = nullptr);

  // With the plan's Verify, the rip is proved: checksums of every track as it
  // is read, the disc looked up in the AccurateRip database when the session
  // starts, a verdict per track once the answer is there.
  int AccurateRipTimeoutMs = 30000;
  // A job's track got its verdict (see Verification()).
  std::function<void(const TFileParam& job)> OnTrackVerified;
  // A track's sector picture, on the user-interface thread: while it is read
  // (at most every 100 ms) and once its read ended (Finished).
  std::function<void(const TTrackHealth& health)> OnSectorHealth;
  // The last session's verification; null when it did not verify.
  const TRipVerification* Verification() const {
    return FReader ? FReader->Verification() : nullptr;
  }
  // What the last session's rip report was made of; no tracks when it made
  // none (nothing verified, or aborted).
  const TRipResults& Results() const { return FResults; }
  // The rip log the last session wrote (empty when none), and whether a log
  // or CUE sheet it was to write could not be.
  QString WrittenLog;
  bool ReportFailed = false;
  // Its CTDB verification and repair; null without one.
  const TCtdbVerification* Ctdb() const { return FReader ? FReader->Ctdb() : nullptr; }

  bool Aborted = false;
  bool ClosingByTimer = false;
  bool DeleteRequested = false;
  int32_t ItemCount = 0;
  int32_t ItemIndex = 0;
  int32_t Attempted = 0;
  int32_t Completed = 0;
  int32_t OverwriteAnswer = 0;
  uint8_t Stage = 0;
  bool Running() const { return FRunning; }
  // True when this session created or overwrote the file.
  bool WroteOutput(const QString& path) const { return FFiles.Wrote(path); }
  // The error summary's lines about the job, kept until the next session.
  const QStringList& JobMessages(const TFileParam& job) const {
    return FRuns[size_t(JobIndex(job))].Messages;
  }
  // True when Abort stopped the job's encoder before it finished its file.
  bool OutputCut(const TFileParam& job) const { return FRuns[size_t(JobIndex(job))].Cut; }

 private:
  void RunTrackLoop();
  // The steps of one job after the overwrite question.
  void ProcessJob(TFileParam& job);
  // False when the job has no file to go on with.
  bool RipStep(TFileParam& job, const QString& ripTarget, bool onTheFly);
  // Reports why the read failed; false.
  bool ReadFailed(TFileParam& job, const TTrackReader::TRead& read);
  // Marks the job "Error" with the rip's summary line, once.
  void RipFailed(TFileParam& job);
  // Rips the track into a stream of the encoder pool.
  TTrackReader::TRead RipToEncoder(TFileParam& job);
  void EncodeStep(TFileParam& job, const QString& ripTarget);
  // The encoder of the plan's format for the job, tagging the file and
  // measuring its loudness as the settings ask.
  std::unique_ptr<TEncoder> MakeJobEncoder(const TFileParam& job);
  // What the job's tags say.
  TTrackTags JobTags(const TFileParam& job) const;
  // The album's ReplayGain into every file done in this session.
  void WriteAlbumGain();
  // Measures the plan's audio tracks not in `made` from their files into
  // others; why they cannot all be measured, empty when they are.
  QString MeasureOtherTracks(const std::set<int32_t>& made,
                             std::vector<std::unique_ptr<TLoudness>>& others);
  // When the rip differs from the CTDB database: repairs the files from an
  // entry's recovery data (encoded ones made again from the kept copies) and
  // proves them again; the copies are deleted either way.
  void RepairFromCtdb();
  // The job's file holds the repaired audio: its checksums, verdict, sector
  // picture and state follow.
  void TrackRepaired(size_t index, const TTrackChecksums& sums, const TCtdbTrackRepair& repaired);
  // Encodes the job's file again from its repaired copy; RemakeFinished
  // puts it in the output's place.
  void RemakeFile(size_t index);
  void RemakeFinished(const TEncodePool::TResult& result);
  // A summary line about the job after its lines went out.
  void Tell(const TFileParam& job, const QString& line);
  // Gives the job's whole output its name; the job fails when it cannot.
  void PlaceOutput(TFileParam& job);
  // Marks the job "Error" with a line naming the file and the system's reason, once.
  void WriteFailed(TFileParam& job, const QString& path, const QString& reason);
  // WriteFailed for an exception that carries a file's failure; false for any other.
  bool ReportFileFailure(TFileParam& job, const std::exception& error);
  void NormalizeFailed(TFileParam& job, const QString& reason);
  int JobIndex(const TFileParam& job) const;
  // A summary line of the job; lines go out in job order whatever order the
  // encoders finish in.
  void AddMessage(const TFileParam& job, const QString& line);
  void FlushMessages(bool all);
  // The job's last steps once its rip and its encoding both ended.
  void SettleJob(int index);
  void EncodeFinished(const TEncodePool::TResult& result);
  // Takes the encoders' results and shows their progress.
  void PollEncoders();
  // Runs the event loop until every encoder finished (stopped after their
  // chunk when the session is aborted).
  void WaitForEncoders();
  void ShowEncoders();
  int OverallPercent() const;
  // Puts the audio before track 1 in a job of its own before track 1's when
  // RipHiddenTrack asks for it and it is not digital silence.
  void AddHiddenTrack();
  // Saves the archive's cover beside the tracks done unless a cover is
  // there, and reports why none came.
  void FinishCover();
  // The rip log and the CUE sheet beside the first track, when a track was read.
  void WriteReport();
  // Saves a file of the disc unless it exists and the overwrite rule keeps it;
  // a failure is a summary line.
  void SaveDiscFile(const TReportFile& file);

  TCDRIP& FCDRIP;
  TLameCoder& FCoder;
  TConvSessionView& FView;
  TRipPlan* FPlan = nullptr;
  TJobList* FJobs = nullptr;        // the plan's
  bool FAskBeforeReplacing = true;  // the plan's until "Always overwrite" is ticked
  bool FRunning = false;
  std::vector<TJobRun> FRuns;  // one per job
  size_t FFlushed = 0;         // jobs whose lines went out
  TOutputFiles FFiles;
  std::unique_ptr<TTrackReader> FReader;  // of the last session
  TBeforeTrack1 FBeforeTrack1 = TBeforeTrack1::None;
  TRipResults FResults;
  std::unique_ptr<TEncodePool> FPool;
  // After the pool: a worker waiting for the cover is released before the
  // pool waits for its workers.
  TSessionCover FCover;
};

// Ends a session stopped from outside (a signal, a batch stopped at once):
// aborts it, deletes the outputs the stop left incomplete when this session
// wrote them (the job in hand, a failed job whose encoder it cut) and every
// temporary file, without a question. Returns the finished files it kept.
QStringList EndStoppedSession(TConvSession& session, TJobList& jobs);
