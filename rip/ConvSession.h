// TConvSession: the conversion session without any window. It walks the job
// list, asks before overwriting, creates missing folders, rips each track
// through the ripping component (encoding on the fly, or into a temporary
// WAV that it normalises, encodes and deletes), tags the MP3, and records
// each job's status and the lines of the error summary. It shows stages and
// asks its questions through TConvSessionView, which the progress dialog
// implements and tests implement with scripted answers. It reads the global
// Config. MP3 encoding (and the normalisation before it) runs on the
// workers of a TEncodePool while the next track is read; everything else,
// the statuses and the questions included, stays on the user-interface
// thread. The rip and the normalisation passes run pending events after
// every chunk, and the session waits for the encoders in the event loop, so
// Abort, close requests and the encoders' reports arrive while StartSession
// runs.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "encode/EncodePool.h"
#include "encode/FileParam.h"
#include "encode/Tags.h"

class TCDRIP;
class TCoverArtFetch;
class TEncoder;
class TPendingCover;
class TLameCoder;
class TRipVerification;
struct TTrackHealth;
struct TNormalizeHooks;

// Stages and their display names.
enum : uint8_t {
  stInitialization = 1,
  stExtracting = 2,
  stScanPeak = 3,
  stNormalizing = 4,
  stEncoding = 5,
  stRead = 6,  // the track's audio is read; an encoder makes the file
  stDone = 7,
};
QString StageName(uint8_t stage);

// Results of the overwrite question (dialog result codes).
enum : int {
  orCancel = 2,
  orYes = 6,
  orNo = 7,
  orNoToAll = 9,
  orYesToAll = 10,
};

class TConvSessionView {
 public:
  virtual ~TConvSessionView() = default;
  // The stage's display name over the progress bar.
  virtual void ShowStage(const QString& name) = 0;
  virtual void ShowProgress(int percent) = 0;
  // The job in hand: source and destination labels and the window caption.
  virtual void ShowJob(const QString& source, const QString& destination,
                       const QString& caption) = 0;
  // Asks whether to overwrite the file (its path in double quotes); returns
  // the answer and whether "Always overwrite" was ticked.
  virtual int ConfirmOverwrite(const QString& quotedPath, bool& alwaysOverwrite) = 0;
  // One line of the error summary.
  virtual void AddMessage(const QString& line) = 0;
  // The tracks on the encoders with their stages and percentages (empty when
  // none), and the progress of the whole session.
  virtual void ShowEncoders(const QString& /*line*/, int /*overallPercent*/) {}
  // A job of an encoded format is settled, its encoder done: its file is
  // encoded and placed when its State is jsDone.
  virtual void ShowJobEncoded(const TFileParam& /*job*/) {}
};

class TConvSession {
 public:
  TConvSession(TCDRIP& cdrip, TLameCoder& coder, TConvSessionView& view);
  ~TConvSession();

  // Creates a folder with all missing levels without asking; true on success.
  std::function<bool(const QString& folder)> CreateOutputFolder;

  // Copies the encoder settings into the encoder; a failure is shown in a box
  // and the session goes on.
  void ApplyEncoderSettings();
  // Clears the flags and counters of the last session and takes the jobs, so
  // a close before the first job asks nothing.
  void Reset(TJobList& jobs);
  // Resets and runs the track loop over the jobs, updating their State in
  // place. Returns true when the session ended by itself (no abort), which is
  // when its dialog closes without a question. Every output is written under
  // a temporary name and takes its own name only once it is whole; before
  // the first job, the temporary files that dead runs left in the jobs'
  // folders are deleted.
  bool StartSession(TJobList& jobs);

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
  // True when the path does not exist or can be opened for reading and writing.
  static bool CanWriteFile(const QString& path);
  // The stored answer when it was Yes to all or No to all, else the question.
  int AskOverwrite(const QString& path);
  // True when MP3s get the ID3v1.1 tag.
  static bool WritesId3v1();
  // Writes the job's ID3v1.1 tag into the file (its OutputPath when none is
  // given); true when it was saved. Throws EMPEGAudioError when the file
  // fails after it was opened.
  static bool WriteTag(const TFileParam& job, const QString& path = QString());
  // The "Scan Peak Level" and "Normalizing" stages on a ripped WAV; false
  // (the box shown, the cause in *reason) when it failed.
  bool NormalizeStages(const QString& wavPath, QString* reason = nullptr);
  // The same stages on any thread: the stages go to setStage, and the text of
  // the box that reports a failure is returned (empty when none), its cause
  // in *reason.
  static QString NormalizeFile(const QString& wavPath, int32_t factor, const TNormalizeHooks& hooks,
                               const std::function<void(uint8_t stage)>& setStage,
                               QString* reason = nullptr);

  // Proves the rip: checksums of every track as it is read, the disc looked
  // up in the AccurateRip database (AccurateRipServer) when the session
  // starts, a verdict per track once the answer is there.
  bool Verify = false;
  int AccurateRipTimeoutMs = 30000;
  // A job's track got its verdict (see Verification()).
  std::function<void(const TFileParam& job)> OnTrackVerified;
  // A track's sector picture, on the user-interface thread: while it is read
  // (at most every 100 ms) and once its read ended (Finished).
  std::function<void(const TTrackHealth& health)> OnSectorHealth;
  // The last session's verification; null when it did not verify.
  const TRipVerification* Verification() const { return FVerification.get(); }

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
  bool WroteOutput(const QString& path) const { return FWrittenOutputs.contains(path); }
  // The error summary's lines about the job, kept until the next session.
  const QStringList& JobMessages(const TFileParam& job) const {
    return FRuns[size_t(JobIndex(job))].Messages;
  }
  // True when Abort stopped the job's encoder before it finished its file.
  bool OutputCut(const TFileParam& job) const { return FRuns[size_t(JobIndex(job))].Cut; }

 private:
  // What the session knows of a job beyond its status.
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
    bool Cut = false;  // its encoder was stopped
    QString RipTarget;
    QString Output;  // the output under its temporary name, until it is placed
    int32_t LostSectors = 0;  // of its rip, for the log
    std::optional<uint32_t> TestCrc;  // of its first read, with test and copy
    bool Suspect = false;             // the two reads differ
    QString Placed;                   // where the output went, once placed
    int32_t JitterErrors = 0;
    QString SectorMap;  // of its rip, for the log: a mark per sixtieth
    QString SectorCounts;
    std::shared_ptr<QString> NormalizeBox;  // written by the worker
    std::shared_ptr<QString> NormalizeReason;
    std::shared_ptr<TLoudness> Loudness;    // measured by the worker; null without ReplayGain
    QStringList Messages;
  };

  void RunTrackLoop();
  // The steps of one job after the overwrite question.
  void ProcessJob(TFileParam& job);
  // False when the job has no file to go on with.
  bool RipStep(TFileParam& job, const QString& ripTarget, bool onTheFly);
  // The track's sector picture after its read: kept for the log and reported.
  void ReadEnded(TFileParam& job, int32_t trackNum);
  // Test and copy: reads the track once for its CRC alone; none when that
  // read failed (reported) or was stopped.
  std::optional<uint32_t> TestRead(TFileParam& job);
  // "<name> (suspect).<ext>", from 2 on "<name> (suspect 2).<ext>"...: where
  // a track whose two reads differ is kept.
  static QString SuspectPath(const QString& outputPath, int number = 1);
  // Marks the job "Error" with the rip's summary line, once.
  void RipFailed(TFileParam& job);
  // Rips the track into a stream of the encoder pool; false when the drive
  // refused the range.
  bool RipToEncoder(TFileParam& job);
  void EncodeStep(TFileParam& job, const QString& ripTarget);
  // On a worker: encodes the ripped WAV into a new file at outputPath.
  static void EncodeWaveFile(const QString& wavPath, TEncoder& encoder, const QString& outputPath,
                             TEncodeContext& context);
  // The encoder of the configured format for the job, tagging the file and
  // measuring its loudness as the settings ask.
  std::unique_ptr<TEncoder> MakeJobEncoder(const TFileParam& job);
  // What the job's tag says.
  TTrackTags JobTags(const TFileParam& job) const;
  // The album's ReplayGain into every file done in this session.
  void WriteAlbumGain();
  // A new temporary file in the folder, remembered until it is deleted;
  // empty (the reason in *error) when none can be created.
  QString NewTempFile(const QString& folder, const QString& suffix, QString* error = nullptr);
  void RemoveTempFile(const QString& path);
  // Gives the job's whole output its name; the job fails when it cannot.
  void PlaceOutput(TFileParam& job);
  // Keeps the cut output of an aborted job under a name that says so.
  void KeepPartialOutput(const TFileParam& job);
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
  // Bytes of the disc's track trackNum (0: the audio before track 1); 0 when
  // there is no such track.
  int64_t TrackBytes(int32_t trackNum) const;
  // Rips the track (0: the audio before track 1) as TCDRIP::RipTrack does.
  bool RipDiscTrack(int32_t trackNum, const QString& fileName);
  // Asks the Cover Art Archive for the release's front cover when the names
  // came from MusicBrainz; the tracks' files wait for it before they are tagged.
  void StartCoverFetch();
  // Waits for the cover (bounded by its fetch), saves it beside the tracks
  // done unless a cover.jpg is there, and reports why none came.
  void FinishCoverFetch();
  void StartVerification();
  // Waits for the database's answer (bounded by its time-out) unless aborted.
  void FinishVerification();
  // The rip log and the CUE sheet beside the first track, when a track was read.
  void WriteRipLog();
  void WriteCueSheet(const TFileParam& first);
  // Saves a file of the disc unless it exists and the overwrite rule keeps it;
  // a failure is a summary line.
  void SaveDiscFile(const QString& path, const QString& text, const QString& what);
  // Writes the bytes to a new file at path unless one is there (or replace);
  // returns the system's reason when it cannot, empty when placed or kept.
  QString PlaceNewFile(const QString& path, const QByteArray& bytes, bool replace);

  TCDRIP& FCDRIP;
  TLameCoder& FCoder;
  TConvSessionView& FView;
  TJobList* FJobs = nullptr;
  bool FRunning = false;
  std::vector<TJobRun> FRuns;  // one per job
  size_t FFlushed = 0;         // jobs whose lines went out
  std::unique_ptr<TEncodePool> FPool;
  QStringList FTempFiles;         // created by this session and not yet deleted
  QSet<QString> FWrittenOutputs;  // outputs this session created or overwrote
  bool FCoverReported = false;    // the summary told why the folder's cover is not used
  QString FFolderCoverProblem;    // told only when the archive's cover does not replace it
  std::unique_ptr<TRipVerification> FVerification;
  std::unique_ptr<TCoverArtFetch> FCoverFetch;
  std::shared_ptr<TPendingCover> FPendingCover;  // null when no cover is fetched
};
