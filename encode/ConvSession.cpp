#include "encode/ConvSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <exception>
#include <optional>

#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "encode/MPGTools.h"
#include "encode/TempFiles.h"
#include "encode/WaveNormalize.h"
#include "platform/MessageBox.h"
#include "settings/config.h"

namespace {

// How often the encoders' progress is shown, ms.
constexpr int kDisplayInterval = 100;

// Fails for an index outside its table, so a corrupt setting is reported
// instead of reading past the table.
template <size_t N>
int TableEntry(const int (&table)[N], int32_t index) {
  if (index < 0 || size_t(index) >= N) throw std::out_of_range("encoder setting index");
  return table[index];
}

template <typename TEnum>
TEnum Ordinal(int32_t value, int32_t count) {
  if (value < 0 || value >= count) throw std::out_of_range("encoder setting ordinal");
  return TEnum(value);
}

void ErrorBox(const QString& text) {
  platform::MessageBox(text, QStringLiteral("Error"), platform::MB_OK | platform::MB_ICONERROR);
}

}  // namespace

QString StageName(uint8_t stage) {
  switch (stage) {
    case stInitialization:
      return QStringLiteral("Initialization");
    case stExtracting:
      return QStringLiteral("Extracting Audio Track(s)");
    case stScanPeak:
      return QStringLiteral("Scan Peak Level");
    case stNormalizing:
      return QStringLiteral("Normalizing");
    case stEncoding:
      return QStringLiteral("Encoding");
    case stDone:
      return QStringLiteral("Done");
    default:
      return QString();
  }
}

TConvSession::TConvSession(TCDRIP& cdrip, TLameCoder& coder, TConvSessionView& view)
    : CreateOutputFolder([](const QString& folder) { return QDir().mkpath(folder); }),
      FCDRIP(cdrip),
      FCoder(coder),
      FView(view) {}

void TConvSession::ApplyEncoderSettings() {
  try {
    FCoder.SetSampleRate(uint32_t(TableEntry(kSampleRates, Config->SampleRate)));
    FCoder.SetBitrate(uint32_t(TableEntry(kBitRates, Config->BitRate)));
    FCoder.SetMaxBitrate(uint32_t(TableEntry(kBitRates, Config->MaxBitRate)));
    FCoder.SetMode(Ordinal<TLameMode>(Config->Mode, 4));
    FCoder.SetQuality(Ordinal<MPEG_QUALITY>(Config->Quality, 4));
    FCoder.SetVBRQuality(Config->VBRQuality);
    FCoder.SetEnableVBR(Config->VBR);
    FCoder.SetWriteVBRHeader(Config->WriteVBRHeader);
    FCoder.SetCopyright(Config->Copyright);
    FCoder.SetCRC(Config->CRC);
    FCoder.SetOriginal(Config->Original);
    FCoder.SetPrivate(Config->_Private);
  } catch (const std::exception&) {
    ErrorBox(QStringLiteral("Has error occurred when initialize encoder parameter!"));
  }
}

void TConvSession::Reset(TJobList& jobs) {
  Aborted = false;
  ClosingByTimer = false;
  DeleteRequested = false;
  Attempted = 0;
  Completed = 0;
  ItemCount = int32_t(jobs.size());
  ItemIndex = 0;
  OverwriteAnswer = 0;
  FJobs = &jobs;
  FRuns.assign(jobs.size(), TJobRun());
  FFlushed = 0;
  FWrittenOutputs.clear();
}

bool TConvSession::StartSession(TJobList& jobs) {
  ApplyEncoderSettings();
  Reset(jobs);
  // Only CD extraction exists; any other kind of run converts nothing and
  // still closes its dialog.
  if (Config->ConvertType == 31) {
    // Cleared also by an exception, or the dialog could never close.
    struct TRunningFlag {
      bool& Flag;
      ~TRunningFlag() { Flag = false; }
    } running{FRunning};
    FRunning = true;
    RunTrackLoop();
  }
  return !Aborted;
}

void TConvSession::RunTrackLoop() {
  SetStage(stInitialization);
  // WAV output has nothing to encode.
  QTimer display;
  if (Config->OutputFormat == 1) {
    FPool = std::make_unique<TEncodePool>(Config->EncoderThreads);
    FPool->OnChanged = [this] { PollEncoders(); };
    display.setInterval(kDisplayInterval);
    QObject::connect(&display, &QTimer::timeout, [this] { ShowEncoders(); });
    display.start();
  }
  while (!Aborted && ItemIndex < ItemCount) {
    TFileParam& job = (*FJobs)[size_t(ItemIndex)];
    ++Attempted;
    if (QFileInfo::exists(job.OutputPath) && Config->OverwritePrompt) {
      OverwriteAnswer = AskOverwrite(job.OutputPath);
      if (OverwriteAnswer == orNo || OverwriteAnswer == orNoToAll) {
        FRuns[size_t(ItemIndex)].Settled = true;
        ++ItemIndex;
        continue;
      }
      if (OverwriteAnswer != orYes && OverwriteAnswer != orYesToAll) break;
    }
    ProcessJob(job);
    ++ItemIndex;
  }
  WaitForEncoders();
  FPool.reset();
  FlushMessages(true);
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

  const bool mp3 = Config->OutputFormat == 1;
  // Encoding while ripping leaves no WAV to normalise, so normalisation
  // always rips through a temporary WAV whatever OnTheFly says.
  const bool onTheFly = mp3 && Config->OnTheFly && !Config->NormalizeVolume;
  // The WAV between rip and encode is a file of the session's own: one named
  // after the output could be the user's.
  const QString ripTarget =
      mp3 && !onTheFly ? NewTempFile(folder, QStringLiteral(".wav")) : job.OutputPath;
  run.OnTheFly = onTheFly;
  run.RipTarget = ripTarget;

  // A step that failed ends the job: the later ones would work on a file
  // this session did not produce.
  const bool ok = !Aborted && RipStep(job, ripTarget, onTheFly);
  run.Read = 1;
  // An MP3's WAV is normalised by the encoder's worker.
  if (ok && !Aborted && Config->NormalizeVolume && !mp3) NormalizeStages(ripTarget);
  if (ok && !Aborted && mp3 && !onTheFly) EncodeStep(job, ripTarget);
  // A WAV handed to an encoder goes when the encoder is done with it.
  if (ripTarget != job.OutputPath && !run.Encoding) RemoveTempFile(ripTarget);

  SetStage(stDone);
  run.Processed = true;
  if (!run.Encoding) SettleJob(index);
}

bool TConvSession::RipStep(TFileParam& job, const QString& ripTarget, bool onTheFly) {
  SetStage(stExtracting);
  if (!CanWriteFile(job.OutputPath)) {
    AddMessage(job, " '" + job.OutputPath +
                        "' can not be create, please checks whether the file was open by other "
                        "applications!");
    job.State = jsError;
    return false;
  }
  const int32_t trackNum = job.TrackInfo.TrackIndex + 1;
  try {
    if (ripTarget.isEmpty()) throw std::runtime_error("no temporary file");
    bool ripped = false;
    if (onTheFly) {
      ripped = RipToEncoder(job);
    } else {
      FCDRIP.SetEncode(false);
      FCDRIP.SetWriteWAV(true);
      ripped = FCDRIP.RipTrack(trackNum, ripTarget);
      NoteWrittenOutput(job);
    }
    // A drive that refuses the range returns without a file and without an
    // error; that track was not ripped.
    if (!ripped) throw std::runtime_error("no audio read");
    FRuns[size_t(JobIndex(job))].RipOk = true;
  } catch (...) {
    NoteWrittenOutput(job);
    RipFailed(job);
    return false;
  }
  // The file has the track's length, with silence where the disc could not be
  // read: usable, but not what is on the disc.
  if (FCDRIP.LostSectors() > 0) {
    job.State = jsError;
    AddMessage(job, QString("Track %1 '%2': %3 unreadable sector(s) written as silence.")
                        .arg(trackNum)
                        .arg(job.Title)
                        .arg(FCDRIP.LostSectors()));
  }
  return true;
}

// One line for a failed rip, whether the drive or the encoder fed by it
// failed first.
void TConvSession::RipFailed(TFileParam& job) {
  if (job.State == jsError) return;
  job.State = jsError;
  AddMessage(job, "Can' ripping track '" + job.Title + "', extract cdda error.");
}

bool TConvSession::RipToEncoder(TFileParam& job) {
  const int index = JobIndex(job);
  std::shared_ptr<TPcmQueue> queue;
  const int32_t trackNum = job.TrackInfo.TrackIndex + 1;
  int64_t trackBytes = 0;
  if (trackNum >= 1 && trackNum <= int32_t(FCDRIP.TrackList().size()))
    trackBytes = int64_t(FCDRIP.TrackList()[size_t(trackNum - 1)].Track.LengthBytes);
  // The MP3 is created once the drive delivers audio, as a rip to a file is;
  // the encoder ends with the samples it got, also when the rip fails.
  auto open = [&] {
    if (queue) return;
    queue = FPool->AddStream(index, FCoder, job.OutputPath, trackBytes);
    FWrittenOutputs.insert(job.OutputPath);
    FRuns[size_t(index)].Encoding = true;
  };
  FCDRIP.OnAudio = [&](const uint8_t* data, int32_t bytes) {
    open();
    queue->Write(data, bytes);
  };
  struct TRipEnd {
    TCDRIP& Rip;
    std::shared_ptr<TPcmQueue>& Queue;
    ~TRipEnd() {
      Rip.OnAudio = nullptr;
      if (Queue) Queue->Close();
    }
  } ripEnd{FCDRIP, queue};
  FCDRIP.SetEncode(false);
  FCDRIP.SetWriteWAV(false);
  const bool ripped = FCDRIP.RipTrack(trackNum, job.OutputPath);
  // A track without a sample still gets its (empty) MP3.
  if (ripped) open();
  return ripped;
}

void TConvSession::EncodeStep(TFileParam& job, const QString& ripTarget) {
  SetStage(stEncoding);
  if (!CanWriteFile(job.OutputPath)) {
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
  FWrittenOutputs.insert(job.OutputPath);
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  auto coder = std::make_shared<TLameCoder>();
  coder->Assign(FCoder);
  coder->SetInputFiles({ripTarget});
  coder->SetOutputFiles({job.OutputPath});
  const bool normalize = Config->NormalizeVolume;
  const int32_t factor = Config->NormalizeFactor;
  run.NormalizeBox = std::make_shared<QString>();
  run.Encoding = true;
  FPool->Add(
      JobIndex(job),
      [coder, ripTarget, normalize, factor, box = run.NormalizeBox](TEncodeContext& context) {
        if (normalize) {
          const TNormalizeHooks hooks{[&context] { return context.Stopped(); },
                                      [&context](int percent) { context.SetProgress(percent); }};
          *box = NormalizeFile(ripTarget, factor, hooks,
                               [&context](uint8_t stage) { context.SetStage(stage); });
        }
        if (context.Stopped()) return;
        context.SetStage(stEncoding);
        context.SetProgress(0);
        coder->OnProgress = [&context](TLameCoder* sender, uint16_t percent) {
          context.SetProgress(percent);
          if (context.Stopped()) sender->StopEncoding();
        };
        coder->EncodeFiles();
      },
      QFileInfo(ripTarget).size());
}

void TConvSession::EncodeFinished(const TEncodePool::TResult& result) {
  TFileParam& job = (*FJobs)[size_t(result.Job)];
  TJobRun& run = FRuns[size_t(result.Job)];
  run.Encoding = false;
  run.Encoded = 1;
  if (run.OnTheFly) {
    // The encoder is part of the rip here: its failure is the rip's, even
    // when it fails while the drive is still reading.
    try {
      if (result.Failed) throw std::runtime_error("encoder failed");
      if (run.RipOk && !Aborted && Config->EnableID3Tag) WriteTag(job);
    } catch (...) {
      // An encoder that gave its reason is not a drive's failure.
      if (result.Failed && !result.Error.isEmpty() && job.State != jsError) {
        job.State = jsError;
        AddMessage(job, "Can't encode track '" + job.Title + "': " + result.Error);
      }
      RipFailed(job);
    }
  } else {
    RemoveTempFile(run.RipTarget);
    if (run.NormalizeBox && !run.NormalizeBox->isEmpty()) ErrorBox(*run.NormalizeBox);
    try {
      if (result.Failed) throw std::runtime_error("encoder failed");
      if (!Aborted && Config->EnableID3Tag) WriteTag(job);
    } catch (...) {
      job.State = jsError;
      AddMessage(job, "'" + job.Title + "' convert error.");
    }
  }
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
  FlushMessages(false);
}

int TConvSession::JobIndex(const TFileParam& job) const { return int(&job - FJobs->data()); }

void TConvSession::AddMessage(const TFileParam& job, const QString& line) {
  FRuns[size_t(JobIndex(job))].Messages << line;
}

void TConvSession::FlushMessages(bool all) {
  for (; FFlushed < FRuns.size() && (all || FRuns[FFlushed].Settled); ++FFlushed)
    for (const QString& line : std::exchange(FRuns[FFlushed].Messages, {})) FView.AddMessage(line);
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
  QStringList parts;
  int waiting = 0;
  if (FPool) {
    for (const TEncodePool::TTaskState& task : FPool->Unfinished()) {
      FRuns[size_t(task.Job)].Encoded = task.Percent / 100.0;
      if (!task.Running) {
        ++waiting;
        continue;
      }
      const TFileParam& job = (*FJobs)[size_t(task.Job)];
      // The line is the encoders' own: only the steps before encoding are named.
      const QString step = task.Stage == stEncoding ? QString() : StageName(task.Stage);
      parts << QString::asprintf("Track %.2d ", job.TrackInfo.TrackIndex + 1) +
                   (step.isEmpty() ? QString() : step + ' ') + QString("%1%").arg(task.Percent);
    }
  }
  if (waiting > 0) parts << QString("%1 waiting").arg(waiting);
  FView.ShowEncoders(parts.join(", "), OverallPercent());
}

// Every job weighs as much as its track is long; reading is half of an MP3
// job's work, all of a WAV job's.
int TConvSession::OverallPercent() const {
  const double readShare = Config->OutputFormat == 1 ? 0.5 : 1.0;
  double total = 0, done = 0;
  for (size_t i = 0; i < FRuns.size(); ++i) {
    const int32_t track = (*FJobs)[i].TrackInfo.TrackIndex;
    const double weight = track >= 0 && size_t(track) < FCDRIP.TrackList().size()
                              ? std::max(1, FCDRIP.TrackList()[size_t(track)].Track.LengthBytes)
                              : 1.0;
    const TJobRun& run = FRuns[i];
    total += weight;
    done += weight * (run.Settled ? 1.0 : run.Read * readShare + run.Encoded * (1 - readShare));
  }
  return total > 0 ? int(done * 100 / total) : 0;
}

void TConvSession::NormalizeStages(const QString& wavPath) {
  const TNormalizeHooks hooks{[this] { return Aborted; },
                              [this](int percent) { SetProgress(percent); }};
  const QString box = NormalizeFile(wavPath, Config->NormalizeFactor, hooks,
                                    [this](uint8_t stage) { SetStage(stage); });
  if (!box.isEmpty()) ErrorBox(box);
}

QString TConvSession::NormalizeFile(const QString& wavPath, int32_t factor,
                                    const TNormalizeHooks& hooks,
                                    const std::function<void(uint8_t stage)>& setStage) {
  QString tempPath;
  // The scaled copy is the session's own file; whatever happens it does not stay.
  struct TTempRemover {
    QString& Path;
    ~TTempRemover() {
      if (!Path.isEmpty()) QFile::remove(Path);
    }
  } remover{tempPath};
  try {
    setStage(stScanPeak);
    int16_t peak = 0;
    if (!hooks.Aborted() && !ScanPeak(wavPath, peak, hooks)) return {};
    setStage(stNormalizing);
    const std::optional<double> gain = NormalizeGain(peak, factor);
    if (!gain || hooks.Aborted()) return {};
    // A scaling pass stopped by Abort holds only part of the audio.
    if (!NormalizeWave(wavPath, tempPath, *gain, hooks) || hooks.Aborted()) return {};
    // One rename: the WAV is whole, old or new, at every moment.
    if (!ReplaceFile(tempPath, wavPath)) return QStringLiteral("Normalize wav file fail.");
    tempPath.clear();
    return {};
  } catch (const std::exception&) {
    return QStringLiteral("Normalize wave file fail.");
  }
}

QString TConvSession::NewTempFile(const QString& folder, const QString& suffix) {
  const QString path = CreateTempFile(folder, suffix);
  if (!path.isEmpty()) FTempFiles << path;
  return path;
}

void TConvSession::RemoveTempFile(const QString& path) {
  if (path.isEmpty()) return;
  QFile::remove(path);
  FTempFiles.removeAll(path);
}

void TConvSession::NoteWrittenOutput(const TFileParam& job) {
  if (!job.OutputPath.isEmpty() && FCDRIP.CreatedFile() == job.OutputPath)
    FWrittenOutputs.insert(job.OutputPath);
}

void TConvSession::Abort() {
  Aborted = true;
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
      QStringLiteral("Confirmation"), platform::MB_YESNO | platform::MB_ICONQUESTION);
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
  // Temporary files never outlive the session, whatever the answer.
  for (const QString& path : QStringList(FTempFiles)) RemoveTempFile(path);
  if (!DeleteRequested || !FJobs) return;
  // Only what this session wrote: an earlier file of the same name that the
  // session never reached is the user's.
  for (const TFileParam& job : *FJobs) {
    if (job.State == jsAbortedDeleted && FWrittenOutputs.contains(job.OutputPath) &&
        QFileInfo::exists(job.OutputPath) && !QFile::remove(job.OutputPath))
      FView.AddMessage("Can't delete the converted wave files: " + job.OutputPath);
  }
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

bool TConvSession::CanWriteFile(const QString& path) {
  if (!QFileInfo::exists(path)) return true;
  QFile file(path);
  return file.open(QIODevice::ReadWrite);
}

int TConvSession::AskOverwrite(const QString& path) {
  if (OverwriteAnswer == orYesToAll || OverwriteAnswer == orNoToAll) return OverwriteAnswer;
  bool alwaysOverwrite = false;
  const int answer = FView.ConfirmOverwrite('"' + path + '"', alwaysOverwrite);
  Config->OverwritePrompt = !alwaysOverwrite;
  return answer;
}

bool TConvSession::WriteTag(const TFileParam& job) {
  TMPEGAudio tag;
  tag.ResetData();
  tag.SetFileName(job.OutputPath);
  tag.Track = uint8_t(job.TrackInfo.TrackIndex + 1);
  tag.SetTitle(job.TrackInfo.Title);
  tag.SetArtist(job.TrackInfo.Artist);
  tag.SetAlbum(job.TrackInfo.Album);
  tag.SetYear(job.TrackInfo.Year);
  // The genre byte comes from the disc's category rather than a fixed 1
  // ("Classic Rock") on every file, which would mislabel nearly every album.
  tag.Genre = GenreCode(job.TrackInfo.Category);
  tag.SetComment(job.TrackInfo.Comment);
  return tag.SaveTag() == 0;
}
