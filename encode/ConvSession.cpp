#include "encode/ConvSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
  while (!Aborted && ItemIndex < ItemCount) {
    TFileParam& job = (*FJobs)[size_t(ItemIndex)];
    ++Attempted;
    if (QFileInfo::exists(job.OutputPath) && Config->OverwritePrompt) {
      OverwriteAnswer = AskOverwrite(job.OutputPath);
      if (OverwriteAnswer == orNo || OverwriteAnswer == orNoToAll) {
        ++ItemIndex;
        continue;
      }
      if (OverwriteAnswer != orYes && OverwriteAnswer != orYesToAll) break;
    }
    ProcessJob(job);
    ++ItemIndex;
  }
}

void TConvSession::ProcessJob(TFileParam& job) {
  const QString folder = QFileInfo(job.OutputPath).absolutePath();
  if (!QFileInfo(folder).isDir() && !CreateOutputFolder(folder)) {
    job.State = jsError;
    SetStage(stDone);
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

  // A step that failed ends the job: the later ones would work on a file
  // this session did not produce.
  const bool ok = !Aborted && RipStep(job, ripTarget, onTheFly);
  if (ok && !Aborted && Config->NormalizeVolume) NormalizeStages(ripTarget);
  if (ok && !Aborted && mp3 && !onTheFly) EncodeStep(job, ripTarget);
  if (ripTarget != job.OutputPath) RemoveTempFile(ripTarget);

  SetStage(stDone);
  if (!Aborted) {
    ++Completed;
    if (job.State == jsProcessing) job.State = jsDone;
  }
}

bool TConvSession::RipStep(TFileParam& job, const QString& ripTarget, bool onTheFly) {
  SetStage(stExtracting);
  if (!CanWriteFile(job.OutputPath)) {
    FView.AddMessage(" '" + job.OutputPath +
                     "' can not be create, please checks whether the file was open by other "
                     "applications!");
    job.State = jsError;
    return false;
  }
  const int32_t trackNum = job.TrackInfo.TrackIndex + 1;
  try {
    if (ripTarget.isEmpty()) throw std::runtime_error("no temporary file");
    FCDRIP.SetEncode(onTheFly);
    FCDRIP.SetWriteWAV(!onTheFly);
    const bool ripped = FCDRIP.RipTrack(trackNum, ripTarget);
    NoteWrittenOutput(job);
    // A drive that refuses the range returns without a file and without an
    // error; that track was not ripped.
    if (!ripped) throw std::runtime_error("no audio read");
    if (!Aborted && onTheFly && Config->EnableID3Tag) WriteTag(job);
  } catch (...) {
    NoteWrittenOutput(job);
    job.State = jsError;
    FView.AddMessage("Can' ripping track '" + job.Title + "', extract cdda error.");
    return false;
  }
  // The file has the track's length, with silence where the disc could not be
  // read: usable, but not what is on the disc.
  if (FCDRIP.LostSectors() > 0) {
    job.State = jsError;
    FView.AddMessage(QString("Track %1 '%2': %3 unreadable sector(s) written as silence.")
                         .arg(trackNum)
                         .arg(job.Title)
                         .arg(FCDRIP.LostSectors()));
  }
  return true;
}

void TConvSession::EncodeStep(TFileParam& job, const QString& ripTarget) {
  SetStage(stEncoding);
  if (!CanWriteFile(job.OutputPath)) {
    FView.AddMessage(" '" + job.OutputPath +
                     "' can not be create, please checks whether the file in uses by other "
                     "applications!");
    job.State = jsError;
    return;
  }
  try {
    // The encoder opens its input before it truncates the output.
    if (!QFileInfo(ripTarget).isReadable()) throw std::runtime_error("no WAV to encode");
    FCoder.SetInputFiles({ripTarget});
    FCoder.SetOutputFiles({job.OutputPath});
    FWrittenOutputs.insert(job.OutputPath);
    FCoder.EncodeFiles();
    if (!Aborted && Config->EnableID3Tag) WriteTag(job);
  } catch (...) {
    job.State = jsError;
    FView.AddMessage("'" + job.Title + "' convert error.");
  }
}

void TConvSession::NormalizeStages(const QString& wavPath) {
  QString tempPath;
  // The scaled copy is the session's own file; whatever happens it does not stay.
  struct TTempRemover {
    QString& Path;
    ~TTempRemover() {
      if (!Path.isEmpty()) QFile::remove(Path);
    }
  } remover{tempPath};
  try {
    SetStage(stScanPeak);
    const TNormalizeHooks hooks{[this] { return Aborted; },
                                [this](int percent) { SetProgress(percent); }};
    int16_t peak = 0;
    if (!Aborted && !ScanPeak(wavPath, peak, hooks)) return;
    SetStage(stNormalizing);
    const std::optional<double> gain = NormalizeGain(peak, Config->NormalizeFactor);
    if (!gain || Aborted) return;
    // A scaling pass stopped by Abort holds only part of the audio.
    if (!NormalizeWave(wavPath, tempPath, *gain, hooks) || Aborted) return;
    // One rename: the WAV is whole, old or new, at every moment.
    if (!ReplaceFile(tempPath, wavPath)) {
      ErrorBox(QStringLiteral("Normalize wav file fail."));
      return;
    }
    tempPath.clear();
  } catch (const std::exception&) {
    ErrorBox(QStringLiteral("Normalize wave file fail."));
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

void TConvSession::SetProgress(int percent) { FView.ShowProgress(percent); }

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
  tag.Genre = GenreCode(job.TrackInfo.Category);
  tag.SetComment(job.TrackInfo.Comment);
  return tag.SaveTag() == 0;
}
