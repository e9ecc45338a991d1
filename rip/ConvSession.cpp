#include "rip/ConvSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <map>
#include <optional>

#include "disc/CDRIP.h"
#include "encode/Encoder.h"
#include "encode/LameCoder.h"
#include "encode/ReplayGain.h"
#include "encode/WaveNormalize.h"
#include "platform/EventWait.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "rip/ExtractJobs.h"
#include "rip/JobEncoder.h"
#include "rip/RipRepair.h"
#include "rip/RipReport.h"
#include "verify/CtdbVerification.h"
#include "verify/RipVerification.h"

namespace {

// How often the encoders' progress is shown, ms.
constexpr int kDisplayInterval = 100;

void ErrorBox(const QString& text) {
  platform::MessageBox(text, QStringLiteral("Error"), platform::MB_OK | platform::MB_ICONERROR);
}

}  // namespace

TConvSession::TConvSession(TCDRIP& cdrip, TLameCoder& coder, TConvSessionView& view)
    : CreateOutputFolder([](const QString& folder) { return QDir().mkpath(folder); }),
      FCDRIP(cdrip),
      FCoder(coder),
      FView(view) {}

TConvSession::~TConvSession() = default;

void TConvSession::ApplyEncoderSettings(const TMp3Settings& settings) {
  try {
    ApplyMp3Settings(FCoder, settings);
  } catch (const std::exception&) {
    ErrorBox(QStringLiteral("Has error occurred when initialize encoder parameter!"));
  }
}

void TConvSession::Reset(TRipPlan& plan) {
  TJobList& jobs = plan.Jobs;
  Aborted = false;
  ClosingByTimer = false;
  DeleteRequested = false;
  Attempted = 0;
  Completed = 0;
  ItemCount = int32_t(jobs.size());
  ItemIndex = 0;
  OverwriteAnswer = 0;
  FPlan = &plan;
  FJobs = &jobs;
  FAskBeforeReplacing = plan.Settings.OverwritePrompt;
  FRuns.assign(jobs.size(), TJobRun());
  FFlushed = 0;
  FFiles.Reset();
  FResults = TRipResults();
  WrittenLog.clear();
  ReportFailed = false;
}

bool TConvSession::StartSession(TRipPlan& plan) {
  ApplyEncoderSettings(plan.Settings.Mp3);
  Reset(plan);
  // Cleared also by an exception, or the dialog could never close.
  struct TRunningFlag {
    bool& Flag;
    ~TRunningFlag() { Flag = false; }
  } running{FRunning};
  FRunning = true;
  RunTrackLoop();
  return !Aborted;
}

void TConvSession::RunTrackLoop() {
  const TRipSettings& settings = FPlan->Settings;
  SetStage(stInitialization);
  // Every read of the session, the hidden track's check included, takes the
  // audio where the offset puts it.
  FCDRIP.SetReadOffset(settings.ReadOffset);
  FReader = std::make_unique<TTrackReader>(FCDRIP, FPlan->Disc, settings, AccurateRipTimeoutMs);
  FReader->OnSectorHealth = OnSectorHealth;
  FReader->OnVerdict = [this](int32_t trackNum) {
    if (!OnTrackVerified) return;
    for (const TFileParam& job : *FJobs)
      if (job.TrackInfo.TrackIndex + 1 == trackNum) OnTrackVerified(job);
  };
  AddHiddenTrack();
  FCover.Start(settings, FJobs->empty() ? QString() : FPlan->Disc.Names.MBReleaseID);
  // WAV output has nothing to encode.
  QTimer display;
  if (settings.Format().Encoded) {
    FPool = Encoders ? std::make_unique<TEncodePool>(Encoders)
                     : std::make_unique<TEncodePool>(settings.EncoderThreads);
    FPool->OnChanged = [this] { PollEncoders(); };
    display.setInterval(kDisplayInterval);
    QObject::connect(&display, &QTimer::timeout, [this] { ShowEncoders(); });
    display.start();
  }
  QSet<QString> folders;
  for (const TFileParam& job : *FJobs) folders.insert(QFileInfo(job.OutputPath).absolutePath());
  TOutputFiles::RemoveDeadTemps(folders);
  while (!Aborted && ItemIndex < ItemCount) {
    TFileParam& job = (*FJobs)[size_t(ItemIndex)];
    TJobRun& run = FRuns[size_t(ItemIndex)];
    ++Attempted;
    if (job.SharesNameWith > 0)
      AddMessage(job, QString("Track %1 '%2' has the name of track %3: it is saved as '%4'.")
                          .arg(job.TrackInfo.TrackIndex + 1)
                          .arg(job.Title)
                          .arg(job.SharesNameWith)
                          .arg(job.OutputPath));
    const bool exists = QFileInfo::exists(job.OutputPath);
    if (exists && FAskBeforeReplacing) {
      OverwriteAnswer = AskOverwrite(job.OutputPath);
      if (OverwriteAnswer == orNo || OverwriteAnswer == orNoToAll) {
        run.Settled = true;
        ++ItemIndex;
        continue;
      }
      if (OverwriteAnswer != orYes && OverwriteAnswer != orYesToAll) break;
    }
    // A file that appears while the job runs is replaced only as the user
    // would have let an existing one be.
    run.MayReplace = !FAskBeforeReplacing || OverwriteAnswer == orYesToAll ||
                     (exists && OverwriteAnswer == orYes);
    ProcessJob(job);
    ++ItemIndex;
  }
  WaitForEncoders();
  FReader->FinishLookup([this] { return Aborted; });
  FlushMessages(true);
  RepairFromCtdb();
  FPool.reset();
  FinishCover();
  // Known once every track of the album was measured and its encoder is done.
  if (!Aborted && settings.Format().Encoded) WriteAlbumGain();
  WriteReport();
}

void TConvSession::AddHiddenTrack() {
  const TDisc& disc = FPlan->Disc;
  const auto isTrack = [](int32_t index) {
    return [index](const TFileParam& job) { return job.TrackInfo.TrackIndex == index; };
  };
  FBeforeTrack1 = disc.Tracks.empty() || !disc.Tracks.front().IsAudio() || disc.FirstStart() <= 0
                      ? TBeforeTrack1::None
                  : std::any_of(FJobs->begin(), FJobs->end(), isTrack(-1))
                      ? TBeforeTrack1::Ripped
                      : TBeforeTrack1::NotChecked;
  const auto track1 = std::find_if(FJobs->begin(), FJobs->end(), isTrack(0));
  if (FBeforeTrack1 != TBeforeTrack1::NotChecked || !FPlan->Settings.RipHiddenTrack ||
      track1 == FJobs->end())
    return;
  const TFileParam hidden = HiddenTrackJob(*FPlan, *track1);
  // Most discs hold only silence there: it is read once to know.
  const bool sound = FReader->HoldsSound(0, hidden.OutputPath);
  if (Aborted) return;
  FBeforeTrack1 = sound ? TBeforeTrack1::Ripped : TBeforeTrack1::Silent;
  if (!sound) return;

  FRuns.insert(FRuns.begin() + (track1 - FJobs->begin()), TJobRun());
  FJobs->insert(track1, hidden);
  ItemCount = int32_t(FJobs->size());
}

void TConvSession::FinishCover() {
  const TSessionCover::TFinished cover = FCover.Finish(Aborted);
  // The tracks are whole without a cover: its lines are notes, not errors.
  for (const QString& line : cover.Lines) FView.AddNote(line);
  if (cover.Image.isEmpty()) return;
  QSet<QString> folders;
  for (const TFileParam& job : *FJobs)
    if (job.State == jsDone) folders.insert(QFileInfo(job.OutputPath).absolutePath());
  for (const QString& folder : folders) {
    const QString path = QDir(folder).filePath(cover.FileName);
    // A folder that albums share gets no one album's cover.
    if (QFileInfo::exists(path) || !TSessionCover::IsAlbumsFolder(*FPlan, folder)) continue;
    const QString failure = FFiles.PlaceNewFile(path, cover.Image, false);
    if (!failure.isEmpty()) FView.AddNote("The cover '" + path + "' can't be written: " + failure);
  }
}

void TConvSession::ProcessJob(TFileParam& job) {
  const int index = JobIndex(job);
  TJobRun& run = FRuns[size_t(index)];
  const QString folder = QFileInfo(job.OutputPath).absolutePath();
  if (!QFileInfo(folder).isDir() && !CreateOutputFolder(folder)) {
    job.State = jsError;
    SetStage(stDone);
    run.Settled = true;
    FlushMessages(false);
    return;
  }

  job.State = jsProcessing;
  FView.ShowJob(QString::asprintf("%.2d - ", job.TrackInfo.TrackIndex + 1) + job.Title,
                job.OutputPath, QString::asprintf("Track %d of %d", ItemIndex + 1, ItemCount));
  SetProgress(0);

  const TRipSettings& settings = FPlan->Settings;
  const bool encoded = settings.Format().Encoded;
  // Encoding while ripping leaves no WAV to normalise, so normalisation
  // always rips through a temporary WAV whatever OnTheFly says.
  const bool onTheFly = settings.EncodesOnTheFly();
  // The output and the WAV between rip and encode are files of the session's
  // own until they are whole: a file named after the output could be the
  // user's, and a run that dies must leave no cut file under that name.
  QString error;
  run.Output = FFiles.NewTemp(folder, '.' + QFileInfo(job.OutputPath).suffix(), &error);
  const QString ripTarget = encoded && !onTheFly && !run.Output.isEmpty()
                                ? FFiles.NewTemp(folder, QStringLiteral(".wav"), &error)
                                : run.Output;
  run.OnTheFly = onTheFly;
  run.RipTarget = ripTarget;
  if (ripTarget.isEmpty()) WriteFailed(job, folder, error);
  // The audio as read, kept while a CTDB repair may need it to make the
  // file again; the rip's own WAV serves when it has one.
  int64_t later = 0;
  for (size_t i = size_t(index) + 1; i < FJobs->size(); ++i)
    later += FPlan->Disc.AudioBytes((*FJobs)[i].TrackInfo.TrackIndex + 1);
  if (encoded && !settings.NormalizeVolume && !ripTarget.isEmpty() &&
      KeepsPcmCopy(FReader->Ctdb(), folder, FPlan->Disc.AudioBytes(job.TrackInfo.TrackIndex + 1),
                   later))
    run.Pcm = onTheFly ? FFiles.NewTemp(folder, QStringLiteral(".wav")) : ripTarget;

  // A step that failed ends the job: the later ones would work on a file
  // this session did not produce.
  const bool ok = !Aborted && !ripTarget.isEmpty() && RipStep(job, ripTarget, onTheFly);
  // Every sample is in the file unless the rip was stopped.
  const bool ripped = ok && !Aborted;
  run.Read = 1;
  // The WAV of an encoded format is normalised by the encoder's worker.
  if (ripped && settings.NormalizeVolume && !encoded) {
    QString reason;
    if (!NormalizeStages(ripTarget, settings.NormalizeFactor, &reason, &run.Report.FileCrc))
      NormalizeFailed(job, reason);
  }
  if (ripped && encoded && !onTheFly) EncodeStep(job, ripTarget);
  if (ripped && !encoded) PlaceOutput(job);
  // A WAV handed to an encoder goes when the encoder is done with it; a cut
  // output waits for the user's answer when the session was aborted.
  if (ripTarget != run.Output && !run.Encoding) FFiles.RemoveTemp(ripTarget);
  if (!run.Encoding && !Aborted) FFiles.RemoveTemp(std::exchange(run.Output, {}));

  // An encoded track is done only once its encoder is; the view hears of
  // that when the job is settled.
  SetStage(ripped && encoded ? stRead : stDone);
  run.Processed = true;
  if (!run.Encoding) SettleJob(index);
}

bool TConvSession::RipStep(TFileParam& job, const QString& ripTarget, bool onTheFly) {
  SetStage(stExtracting);
  if (!TOutputFiles::CanWrite(job.OutputPath)) {
    AddMessage(job, " '" + job.OutputPath +
                        "' can not be create, please checks whether the file was open by other "
                        "applications!");
    job.State = jsError;
    return false;
  }
  const int32_t trackNum = job.TrackInfo.TrackIndex + 1;
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  if (FPlan->Settings.TestAndCopy) {
    const TTrackReader::TRead test = FReader->TestRead(trackNum, job.OutputPath);
    if (!test.Ripped) return ReadFailed(job, test);
    if (Aborted) return false;
    run.Report.TestCrc = test.Crc;
  }
  const TTrackReader::TRead read =
      onTheFly ? RipToEncoder(job)
               : FReader->Read(trackNum, ripTarget, nullptr, bool(run.Report.TestCrc));
  // The jitter report goes beside the output, as a direct rip puts it.
  const QString report = ChangeFileExt(ripTarget, "jitt");
  if (!onTheFly && QFileInfo::exists(report))
    PlaceFile(report, ChangeFileExt(job.OutputPath, "jitt"), true);
  run.Report.SectorMap = read.SectorMap;
  run.Report.SectorCounts = read.SectorCounts;
  if (!read.Ripped) return ReadFailed(job, read);
  run.RipOk = true;
  run.Report.LostSectors = read.LostSectors;
  run.Report.LeftOutSectors = read.LeftOutSectors;
  run.Report.JitterErrors = read.JitterErrors;
  const std::optional<uint32_t>& testCrc = run.Report.TestCrc;
  // Two reads that differ: at least one is not what the disc holds.
  if (testCrc && testCrc != read.Crc) {
    job.State = jsError;
    run.Suspect = true;
    AddMessage(job, QString("Track %1 '%2': Test CRC %3 differs from Copy CRC %4; the file is "
                            "kept with '(suspect)' in its name.")
                        .arg(trackNum)
                        .arg(job.Title)
                        .arg(QString::asprintf("%08X", *testCrc))
                        .arg(QString::asprintf("%08X", read.Crc.value_or(0))));
  }
  // The file has the track's length, with silence where the disc could not be
  // read: usable, but not what is on the disc.
  if (read.LostSectors > 0) {
    job.State = jsError;
    AddMessage(job, QString("Track %1 '%2': %3 unreadable sector(s) written as silence.")
                        .arg(trackNum)
                        .arg(job.Title)
                        .arg(read.LostSectors));
  }
  // The drive's start and end offsets cut audio the file does not hold.
  if (read.LeftOutSectors > 0) {
    job.State = jsError;
    AddMessage(job, QString("Track %1 '%2': %3 sector(s) of audio left out by the drive's offsets.")
                        .arg(trackNum)
                        .arg(job.Title)
                        .arg(read.LeftOutSectors));
  }
  return true;
}

bool TConvSession::ReadFailed(TFileParam& job, const TTrackReader::TRead& read) {
  try {
    if (read.Failure) std::rethrow_exception(read.Failure);
    RipFailed(job);  // the drive refused the range
  } catch (const std::exception& error) {
    if (!ReportFileFailure(job, error)) RipFailed(job);
  } catch (...) {
    RipFailed(job);
  }
  return false;
}

// One line for a failed rip, whether the drive or the encoder fed by it
// failed first.
void TConvSession::RipFailed(TFileParam& job) {
  if (job.State == jsError) return;
  job.State = jsError;
  AddMessage(job, "Can' ripping track '" + job.Title + "', extract cdda error.");
}

TTrackReader::TRead TConvSession::RipToEncoder(TFileParam& job) {
  const int index = JobIndex(job);
  const int32_t trackNum = job.TrackInfo.TrackIndex + 1;
  TJobRun& run = FRuns[size_t(index)];
  std::shared_ptr<TPcmQueue> queue;
  // The file is created once the drive delivers audio, as a rip to a file is;
  // the encoder ends with the samples it got, also when the rip fails.
  auto open = [&] {
    if (queue) return;
    queue =
        FPool->AddStream(index, MakeJobEncoder(job), run.Output, FPlan->Disc.AudioBytes(trackNum));
    run.Encoding = true;
  };
  struct TStreamEnd {
    std::shared_ptr<TPcmQueue>& Queue;
    ~TStreamEnd() {
      if (Queue) Queue->Close();
    }
  } streamEnd{queue};
  std::optional<TPcmCopy> copy;
  if (!run.Pcm.isEmpty()) copy.emplace(run.Pcm);
  const TTrackReader::TRead read = FReader->Read(
      trackNum, job.OutputPath,
      [&](const uint8_t* data, int32_t bytes) {
        open();
        queue->Write(data, bytes);
        if (copy) copy->Add(data, bytes);
      },
      bool(run.Report.TestCrc));
  if (copy && !copy->Finish()) FFiles.RemoveTemp(std::exchange(run.Pcm, {}));
  // A track without a sample still gets its (empty) file.
  if (read.Ripped) open();
  return read;
}

void TConvSession::EncodeStep(TFileParam& job, const QString& ripTarget) {
  SetStage(stEncoding);
  if (!TOutputFiles::CanWrite(job.OutputPath)) {
    AddMessage(job, " '" + job.OutputPath +
                        "' can not be create, please checks whether the file in uses by other "
                        "applications!");
    job.State = jsError;
    return;
  }
  // The encoder opens its input before it truncates the output.
  if (!QFileInfo(ripTarget).isReadable()) {
    job.State = jsError;
    AddMessage(job, "'" + job.Title + "' convert error.");
    return;
  }
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  const TRipSettings& settings = FPlan->Settings;
  run.Normalized = std::make_shared<TNormalizeOutcome>();
  run.Encoding = true;
  FPool->Add(JobIndex(job),
             WaveFileWork(
                 ripTarget, MakeJobEncoder(job), run.Output,
                 settings.NormalizeVolume ? std::optional(settings.NormalizeFactor) : std::nullopt,
                 run.Normalized),
             QFileInfo(ripTarget).size());
}

std::unique_ptr<TEncoder> TConvSession::MakeJobEncoder(const TFileParam& job) {
  const TRipSettings& settings = FPlan->Settings;
  std::shared_ptr<TLoudness> loudness;
  if (settings.ReplayGain && CarriesTags(settings)) loudness = std::make_shared<TLoudness>();
  FRuns[size_t(JobIndex(job))].Loudness = loudness;
  TTrackTags tags = JobTags(job);
  if (settings.EmbedCover) {
    // Once a session: the rip goes on without a cover.
    const QString problem =
        FCover.TakeFolderCover(*FPlan, QFileInfo(job.OutputPath).absolutePath(), tags);
    if (!problem.isEmpty()) FView.AddNote(problem);
  }
  return MakeTrackEncoder(settings, FCoder, std::move(tags), loudness, FCover.Pending());
}

TTrackTags TConvSession::JobTags(const TFileParam& job) const {
  return TrackTags(FPlan->Disc, FPlan->Settings, job.TrackInfo.TrackIndex + 1, job.TrackInfo.Title);
}

void TConvSession::WriteAlbumGain() {
  std::vector<const TLoudness*> tracks;
  std::vector<size_t> jobs;
  std::set<int32_t> made;
  for (size_t i = 0; i < FRuns.size(); ++i) {
    if ((*FJobs)[i].State != jsDone || !FRuns[i].Loudness) continue;
    tracks.push_back(FRuns[i].Loudness.get());
    jobs.push_back(i);
    made.insert((*FJobs)[i].TrackInfo.TrackIndex + 1);
  }
  if (jobs.empty()) return;
  // The album's value covers every track: those this run did not make are
  // measured from their files, or the files get no album value.
  std::vector<std::unique_ptr<TLoudness>> others;
  const QString missing = MeasureOtherTracks(made, others);
  if (!missing.isEmpty()) {
    if (!Aborted) FView.AddNote("No album gain written: " + missing + ".");
    return;
  }
  for (const auto& other : others) tracks.push_back(other.get());
  const std::optional<TReplayGain> album = TLoudness::Album(tracks);
  if (!album) return;
  TTrackTags tags;
  tags.AlbumGain = album;
  for (const size_t i : jobs) {
    TFileParam& job = (*FJobs)[i];
    const QString error = WriteTags(job.OutputPath, FPlan->Settings.OutputFormat, tags);
    if (error.isEmpty()) continue;
    job.State = jsError;
    FView.AddMessage(error);
  }
}

QString TConvSession::MeasureOtherTracks(const std::set<int32_t>& made,
                                         std::vector<std::unique_ptr<TLoudness>>& others) {
  const std::map<int32_t, QString> paths = PlannedPathsOfOtherTracks(*FPlan, made);
  if (paths.empty()) return {};
  // Decoding an album takes seconds: a worker does it while the window's
  // events are served, and a stop ends it.
  QString why;
  platform::RunBesideEvents(
      [&](const std::atomic<bool>& stop) {
        for (const auto& [number, path] : paths) {
          const QString name = QString("track %1's file '%2'").arg(number).arg(path);
          if (!QFileInfo::exists(path)) {
            why = QString("track %1 is not in this rip and its file '%2' was not found")
                      .arg(number)
                      .arg(path);
            break;
          }
          double seconds = 0;
          QString error;
          auto loudness = MeasureFile(path, seconds, error, [&stop] { return bool(stop); });
          if (!loudness) {
            why = name + " cannot be read: " + error;
            break;
          }
          // Lossy decoders may add or trim a few milliseconds.
          const double expected = FPlan->Disc.AudioBytes(number) / (2352.0 * 75);
          if (std::abs(seconds - expected) > 0.1) {
            why = name + QString::asprintf(" holds %.2f s, the track %.2f s", seconds, expected);
            break;
          }
          others.push_back(std::move(loudness));
        }
      },
      [this] { return Aborted; });
  return Aborted ? QStringLiteral("stopped") : why;
}

void TConvSession::EncodeFinished(const TEncodePool::TResult& result) {
  TFileParam& job = (*FJobs)[size_t(result.Job)];
  TJobRun& run = FRuns[size_t(result.Job)];
  if (run.Remaking) return RemakeFinished(result);
  run.Encoding = false;
  run.Encoded = 1;
  run.Cut = result.Stopped;
  if (!run.OnTheFly) {
    if (run.RipTarget != run.Pcm) FFiles.RemoveTemp(run.RipTarget);
    if (run.Normalized && !run.Normalized->Box.isEmpty()) {
      ErrorBox(run.Normalized->Box);
      NormalizeFailed(job, run.Normalized->Reason);
    }
    if (run.Normalized) run.Report.FileCrc = run.Normalized->DataCrc;
  }
  // The file is whole when the rip and the encoder both ended by themselves.
  bool whole = !Aborted && (run.RipOk || !run.OnTheFly);
  try {
    if (result.Failed) {
      if (result.Failure) std::rethrow_exception(result.Failure);
      throw std::runtime_error("encoder failed");
    }
    if (whole && WritesId3v1(FPlan->Settings)) WriteId3v1Tag(run.Output, JobTags(job));
  } catch (const std::exception& error) {
    whole = false;
    // On the fly the encoder is part of the rip: its failure is the rip's,
    // even when it fails while the drive is still reading.
    if (ReportFileFailure(job, error)) {
      // named the file and the cause
    } else if (result.Failed && !result.Error.isEmpty() && job.State != jsError) {
      // An encoder that gave its reason is not a drive's failure.
      job.State = jsError;
      AddMessage(job, "Can't encode track '" + job.Title + "': " + result.Error);
    } else if (run.OnTheFly) {
      RipFailed(job);
    } else {
      job.State = jsError;
      AddMessage(job, "'" + job.Title + "' convert error.");
    }
  }
  if (whole)
    PlaceOutput(job);
  else if (!Aborted)
    FFiles.RemoveTemp(std::exchange(run.Output, {}));
  // The track loop settles the job it is working on itself.
  if (run.Processed) SettleJob(result.Job);
}

void TConvSession::SettleJob(int index) {
  TJobRun& run = FRuns[size_t(index)];
  if (run.Settled) return;
  run.Settled = true;
  if (!Aborted) {
    ++Completed;
    TFileParam& job = (*FJobs)[size_t(index)];
    if (job.State == jsProcessing) job.State = jsDone;
  }
  if (FPlan->Settings.Format().Encoded) FView.ShowJobEncoded((*FJobs)[size_t(index)]);
  FlushMessages(false);
}

int TConvSession::JobIndex(const TFileParam& job) const { return int(&job - FJobs->data()); }

void TConvSession::AddMessage(const TFileParam& job, const QString& line) {
  FRuns[size_t(JobIndex(job))].Messages << line;
}

void TConvSession::FlushMessages(bool all) {
  for (; FFlushed < FRuns.size() && (all || FRuns[FFlushed].Settled); ++FFlushed)
    for (const QString& line : FRuns[FFlushed].Messages) FView.AddMessage(line);
}

void TConvSession::PollEncoders() {
  if (!FPool) return;
  for (const TEncodePool::TResult& result : FPool->TakeFinished()) EncodeFinished(result);
  ShowEncoders();
}

void TConvSession::WaitForEncoders() {
  if (!FPool) return;
  if (Aborted) FPool->Stop();
  // Shown whether or not the encoders happen to be done already, so the
  // stages do not depend on their pace.
  const bool waiting = !Aborted && FPool->Added() > 0;
  if (waiting) SetStage(stEncoding);
  while (!FPool->Idle()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    PollEncoders();
    if (waiting && !Aborted) FView.ShowProgress(OverallPercent());
  }
  PollEncoders();
  if (waiting) SetStage(stDone);
}

void TConvSession::ShowEncoders() {
  const QString line = FPool ? EncodersLine(FPool->Unfinished(), *FJobs, FRuns) : QString();
  FView.ShowEncoders(line, OverallPercent());
}

int TConvSession::OverallPercent() const {
  return ::OverallPercent(*FJobs, FRuns, FPlan->Disc, FPlan->Settings.Format().Encoded);
}

void TConvSession::WriteReport() {
  const TRipVerification* verification = Verification();
  if (!verification || Aborted || !FJobs) return;
  TRipResults results;
  const CdripDriveParams& drive = FCDRIP.Params();
  results.Drive = FCDRIP.CDRomName();
  results.ReadOffset = FCDRIP.ReadOffset();
  results.ReadMode =
      QString("jitter correction %1, speed %2, %3")
          .arg(drive.jitterCorrection ? "on" : "off")
          .arg(drive.speed > 0 ? QString("%1x").arg(drive.speed) : QStringLiteral("maximum"))
          .arg(FCDRIP.CacheHandling());
  const TRipSettings& settings = FPlan->Settings;
  results.Output = settings.Format().Describe(settings.EncoderSettings(), FCoder);
  results.AccurateRip = verification->AnswerText();
  if (const TCtdbVerification* ctdb = Ctdb()) results.Ctdb = ctdb->LogBlock();
  for (size_t i = 0; i < FJobs->size(); ++i) {
    const TFileParam& job = (*FJobs)[i];
    const TJobRun& run = FRuns[i];
    if (!run.Processed) continue;
    TReportTrack track = run.Report;
    track.TrackNum = job.TrackInfo.TrackIndex + 1;
    track.OutputPath = run.Placed.isEmpty() ? job.OutputPath : run.Placed;
    track.Written = !run.Placed.isEmpty();
    track.Status = JobStateText(job.State);
    if (const TTrackVerification* result = verification->Track(track.TrackNum))
      track.Verification = *result;
    results.Tracks.push_back(track);
  }
  if (verification->Client().Answer() == TArAnswer::Found)
    results.ArBlocks = verification->Client().Blocks();
  results.BeforeTrack1 = FBeforeTrack1;
  for (const TReportFile& file : ReportFiles(FPlan->Disc, settings, results)) SaveDiscFile(file);
  FResults = std::move(results);
}

void TConvSession::SaveDiscFile(const TReportFile& file) {
  const QString& path = file.Path;
  const auto failed = [&](const QString& why) {
    ReportFailed = true;
    FView.AddMessage("The " + file.What + " '" + path + "' can't be written: " + why);
  };
  if (!file.Problem.isEmpty()) return failed(file.Problem);
  if (!file.LeftOut.isEmpty()) return FView.AddNote(file.LeftOut);
  // A file of the same name is the user's like a track would be.
  bool replace = !FAskBeforeReplacing;
  if (QFileInfo::exists(path) && FAskBeforeReplacing) {
    OverwriteAnswer = AskOverwrite(path);
    if (OverwriteAnswer != orYes && OverwriteAnswer != orYesToAll) return;
    replace = true;
  }
  const QString failure = FFiles.PlaceNewFile(path, file.Text.toUtf8(), replace);
  if (!failure.isEmpty()) return failed(failure);
  if (file.Log) WrittenLog = path;
}

bool TConvSession::NormalizeStages(const QString& wavPath, int32_t factor, QString* reason,
                                   std::optional<uint32_t>* dataCrc) {
  const TNormalizeHooks hooks{[this] { return Aborted; },
                              [this](int percent) { SetProgress(percent); }};
  const TNormalizeOutcome outcome =
      NormalizeWaveFile(wavPath, factor, hooks, [this](uint8_t stage) { SetStage(stage); });
  if (reason) *reason = outcome.Reason;
  if (dataCrc) *dataCrc = outcome.DataCrc;
  if (!outcome.Box.isEmpty()) ErrorBox(outcome.Box);
  return outcome.Box.isEmpty();
}

void TConvSession::NormalizeFailed(TFileParam& job, const QString& reason) {
  job.State = jsError;
  AddMessage(job, QString("Track %1 '%2' was not normalised: %3.")
                      .arg(job.TrackInfo.TrackIndex + 1)
                      .arg(job.Title, reason));
}

void TConvSession::PlaceOutput(TFileParam& job) {
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  const TOutputFiles::TPlacement placed = FFiles.PlaceOutput(
      std::exchange(run.Output, {}), job.OutputPath, run.MayReplace, run.Suspect);
  switch (placed.Result) {
    case TPlaceResult::Placed:
      run.Placed = placed.Path;
      break;
    case TPlaceResult::Exists:
      // Another program (or run) made the file meanwhile: it is the user's now.
      job.State = jsError;
      AddMessage(job, QString("'%1' was created by another program while track %2 was converted; "
                              "it was left as it is.")
                          .arg(placed.Path)
                          .arg(job.TrackInfo.TrackIndex + 1));
      break;
    case TPlaceResult::Failed:
      WriteFailed(job, placed.Path, placed.Error);
      break;
  }
}

void TConvSession::WriteFailed(TFileParam& job, const QString& path, const QString& reason) {
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  job.State = jsError;
  if (std::exchange(run.WriteFailed, true)) return;
  AddMessage(job, QString("Track %1 '%2': cannot write '%3': %4.")
                      .arg(job.TrackInfo.TrackIndex + 1)
                      .arg(job.Title, path, reason));
}

bool TConvSession::ReportFileFailure(TFileParam& job, const std::exception& error) {
  const auto* failure = dynamic_cast<const platform::TFileFailure*>(&error);
  if (!failure) return false;
  const TJobRun& run = FRuns[size_t(JobIndex(job))];
  // The session's own files are named by the output they stand for.
  const bool own = failure->Path == run.Output || failure->Path == run.RipTarget;
  WriteFailed(job, own ? job.OutputPath : failure->Path, failure->Reason);
  return true;
}

void TConvSession::Abort() {
  Aborted = true;
  FCover.Abort();
  FCDRIP.AbortRip();
  FCoder.StopEncoding();
  if (FPool) FPool->Stop();
}

void TConvSession::CloseQuery(bool byTimer) {
  ClosingByTimer = byTimer;
  if (ClosingByTimer) return;
  Aborted = true;
  if (Attempted <= 0 || !FJobs) return;
  FCDRIP.AbortRip();
  const int answer = platform::MessageBox(
      QStringLiteral(
          "Conversion has been aborted.\r\nWould you want delete ALL converted audio file(s)?"),
      QStringLiteral("Confirmation"),
      // Esc then Enter must not delete finished, verified tracks.
      platform::MB_YESNO | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2);
  DeleteRequested = answer == platform::IDYES;
  for (TFileParam& job : *FJobs) {
    if (DeleteRequested && (job.State == jsProcessing || job.State == jsDone))
      job.State = jsAbortedDeleted;
    else if (!DeleteRequested && job.State == jsProcessing)
      job.State = jsAborted;
  }
}

void TConvSession::CloseSession() {
  FCoder.StopEncoding();
  if (FJobs && !DeleteRequested)
    for (const TFileParam& job : *FJobs)
      if (job.State == jsAborted)
        FFiles.KeepPartial(std::exchange(FRuns[size_t(JobIndex(job))].Output, {}), job.OutputPath);
  // Temporary files never outlive the session, whatever the answer.
  FFiles.RemoveTemps();
  if (!DeleteRequested || !FJobs) return;
  QStringList deleted;
  for (const TFileParam& job : *FJobs)
    if (job.State == jsAbortedDeleted) deleted << job.OutputPath;
  for (const QString& path : FFiles.DeleteWritten(deleted))
    FView.AddMessage("Can't delete the converted wave files: " + path);
  DeleteRequested = false;
}

void TConvSession::SetStage(uint8_t stage) {
  FView.ShowProgress(0);
  FView.ShowStage(StageName(stage));
  Stage = stage;
}

void TConvSession::SetProgress(int percent) {
  FView.ShowProgress(percent);
  if (Stage != stExtracting || ItemIndex >= ItemCount || size_t(ItemIndex) >= FRuns.size()) return;
  FRuns[size_t(ItemIndex)].Read = percent / 100.0;
}

int TConvSession::AskOverwrite(const QString& path) {
  if (OverwriteAnswer == orYesToAll || OverwriteAnswer == orNoToAll) return OverwriteAnswer;
  bool alwaysOverwrite = false;
  const int answer = FView.ConfirmOverwrite('"' + path + '"', alwaysOverwrite);
  if (alwaysOverwrite) FAskBeforeReplacing = false;
  return answer;
}

QStringList EndStoppedSession(TConvSession& session, TJobList& jobs) {
  session.Abort();
  QStringList kept;
  for (TFileParam& job : jobs) {
    // A failed track's file is whole unless the stop cut its encoder short.
    if (job.State == jsProcessing || (job.State == jsError && session.OutputCut(job))) {
      job.State = jsAbortedDeleted;
      if (session.WroteOutput(job.OutputPath)) QFile::remove(job.OutputPath);
    } else if (job.State == jsDone) {
      kept << job.OutputPath;
    }
  }
  // Without a question: the close of a session that ended by itself.
  session.CloseQuery(true);
  session.CloseSession();
  return kept;
}
