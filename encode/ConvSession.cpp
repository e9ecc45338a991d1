#include "encode/ConvSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <exception>
#include <optional>

#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "encode/MPGTools.h"
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
  const QString ripTarget =
      mp3 && !onTheFly ? ChangeFileExt(job.OutputPath, QStringLiteral(".wav")) : job.OutputPath;

  if (!Aborted) RipStep(job, ripTarget, onTheFly);
  if (!Aborted && Config->NormalizeVolume) NormalizeStages(ripTarget);
  if (!Aborted && mp3 && !onTheFly) EncodeStep(job, ripTarget);

  SetStage(stDone);
  if (!Aborted) {
    ++Completed;
    if (job.State == jsProcessing) job.State = jsDone;
  }
}

void TConvSession::RipStep(TFileParam& job, const QString& ripTarget, bool onTheFly) {
  SetStage(stExtracting);
  if (!CanWriteFile(job.OutputPath)) {
    FView.AddMessage(" '" + job.OutputPath +
                     "' can not be create, please checks whether the file was open by other "
                     "applications!");
    job.State = jsError;
    return;
  }
  try {
    FCDRIP.SetEncode(onTheFly);
    FCDRIP.SetWriteWAV(!onTheFly);
    FCDRIP.RipTrack(job.TrackInfo.TrackIndex + 1, ripTarget);
    // A drive that refuses the range returns without a file and without an
    // error; that track was not ripped.
    if (!QFileInfo::exists(ripTarget)) throw std::runtime_error("no audio read");
    if (!Aborted && onTheFly && Config->EnableID3Tag) WriteTag(job);
  } catch (...) {
    job.State = jsError;
    FView.AddMessage("Can' ripping track '" + job.Title + "', extract cdda error.");
  }
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
    FCoder.SetInputFiles({ripTarget});
    FCoder.SetOutputFiles({job.OutputPath});
    FCoder.EncodeFiles();
    QFile::remove(ripTarget);
    if (!Aborted && Config->EnableID3Tag) WriteTag(job);
  } catch (...) {
    job.State = jsError;
    FView.AddMessage("'" + job.Title + "' convert error.");
  }
}

void TConvSession::NormalizeStages(const QString& wavPath) {
  QString tempPath;
  try {
    SetStage(stScanPeak);
    const TNormalizeHooks hooks{[this] { return Aborted; },
                                [this](int percent) { SetProgress(percent); }};
    int16_t peak = 0;
    if (!Aborted && !ScanPeak(wavPath, peak, hooks)) return;
    SetStage(stNormalizing);
    const std::optional<double> gain = NormalizeGain(peak, Config->NormalizeFactor);
    if (!gain || Aborted) return;
    if (!NormalizeWave(wavPath, tempPath, *gain, hooks)) {
      QFile::remove(tempPath);
      return;
    }
    // A scaling pass stopped by Abort holds only part of the audio.
    if (Aborted) {
      QFile::remove(tempPath);
      return;
    }
    if (!QFile::remove(wavPath)) {
      QFile::remove(tempPath);
      ErrorBox(QStringLiteral(
          "Normalize wave file error, can't delete temporarily normalize wave file."));
      return;
    }
    if (!QFile::rename(tempPath, wavPath)) ErrorBox(QStringLiteral("Normalize wav file fail."));
  } catch (const std::exception&) {
    // A half-written temporary file is worthless while the WAV is intact.
    if (!tempPath.isEmpty() && QFileInfo::exists(wavPath)) QFile::remove(tempPath);
    ErrorBox(QStringLiteral("Normalize wave file fail."));
  }
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
  if (!DeleteRequested || !FJobs) return;
  for (const TFileParam& job : *FJobs) {
    if (job.State == jsAbortedDeleted && QFileInfo::exists(job.OutputPath) &&
        !QFile::remove(job.OutputPath))
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
