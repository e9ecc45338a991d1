#include "rip/ConvSession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

#include "cddb/CDInfo.h"
#include "disc/CDRIP.h"
#include "encode/Encoder.h"
#include "encode/LameCoder.h"
#include "encode/MPGTools.h"
#include "encode/TaggedEncoder.h"
#include "encode/TempFiles.h"
#include "encode/WaveNormalize.h"
#include "musicbrainz/CoverArt.h"
#include "platform/AppInfo.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "settings/Naming.h"
#include "settings/config.h"
#include "verify/CueSheet.h"
#include "verify/RipLog.h"
#include "verify/RipVerification.h"
#include "verify/SectorHealth.h"

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

// Formats written by an encoder rather than by the ripping component.
bool EncodedFormat(int32_t format) {
  return format == ofMP3 || format == ofFLAC || format == ofOpus;
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
    case stRead:
      return QStringLiteral("Read");
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

TConvSession::~TConvSession() {
  // No worker waits for a cover that cannot come any more.
  if (FPendingCover) FPendingCover->Set({}, {});
}

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
  FCoverReported = false;
  FFolderCoverProblem.clear();
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
  AddHiddenTrack();
  FVerification.reset();
  if (Verify) StartVerification();
  StartCoverFetch();
  // WAV output has nothing to encode.
  QTimer display;
  if (EncodedFormat(Config->OutputFormat)) {
    FPool = std::make_unique<TEncodePool>(Config->EncoderThreads);
    FPool->OnChanged = [this] { PollEncoders(); };
    display.setInterval(kDisplayInterval);
    QObject::connect(&display, &QTimer::timeout, [this] { ShowEncoders(); });
    display.start();
  }
  // What a killed run left: its files are no one's any more.
  QSet<QString> folders;
  for (const TFileParam& job : *FJobs) folders.insert(QFileInfo(job.OutputPath).absolutePath());
  for (const QString& folder : folders) RemoveDeadTempFiles(folder);
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
    if (exists && Config->OverwritePrompt) {
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
    run.MayReplace = !Config->OverwritePrompt || OverwriteAnswer == orYesToAll ||
                     (exists && OverwriteAnswer == orYes);
    ProcessJob(job);
    ++ItemIndex;
  }
  WaitForEncoders();
  FPool.reset();
  FinishVerification();
  FlushMessages(true);
  FinishCoverFetch();
  // Known once every track of the album was measured and its encoder is done.
  if (!Aborted && EncodedFormat(Config->OutputFormat)) WriteAlbumGain();
  WriteRipLog();
}

void TConvSession::AddHiddenTrack() {
  if (!Config->RipHiddenTrack || FCDRIP.TrackList().empty()) return;
  const TTrack& first = FCDRIP.TrackList().front().Track;
  const auto isTrack = [](int32_t index) {
    return [index](const TFileParam& job) { return job.TrackInfo.TrackIndex == index; };
  };
  const auto track1 = std::find_if(FJobs->begin(), FJobs->end(), isTrack(0));
  if (first.TrackType != QLatin1String("Audio") || first.StartSector <= 0 ||
      track1 == FJobs->end() || std::any_of(FJobs->begin(), FJobs->end(), isTrack(-1)))
    return;
  TFileParam hidden;
  hidden.RowIndex = -1;  // no row of the track list
  hidden.TrackInfo = track1->TrackInfo;
  TCDTrackInfo& info = hidden.TrackInfo;
  info.TrackIndex = -1;
  info.Title = QStringLiteral("Hidden track");
  info.TrackArtist.clear();
  info.Isrc.clear();
  info.MBRecordingID.clear();
  info.StartSector = 0;
  info.EndSector = info.LengthSectors = first.StartSector;
  info.LengthSeconds = first.StartSector / 75;
  info.LengthBytes = first.StartSector * 2352;
  hidden.Title = info.Title;
  // Named by the rule as every track is, numbered 00.
  hidden.FileName = MakeOutputName(Config->NamingString, PadReplaceChars(Config->ReplaceStr),
                                   info.Artist, info.Album, info.Title, 0);
  const QString folder = AddTrailingBackslash(Config->OutputFolder);
  hidden.OutputPath = BuildOutputPath(folder, hidden.FileName, Config->OutputFormat);
  if (std::any_of(FJobs->begin(), FJobs->end(), [&hidden](const TFileParam& job) {
        return job.OutputPath.compare(hidden.OutputPath, Qt::CaseInsensitive) == 0;
      }))
    hidden.OutputPath = BuildOutputPath(folder, hidden.FileName, Config->OutputFormat, " (0)");
  // Most discs hold only silence there: it is read once to know.
  bool audible = false;
  FCDRIP.OnAudio = [&audible](const uint8_t* data, int32_t bytes) {
    audible = audible || std::any_of(data, data + bytes, [](uint8_t byte) { return byte != 0; });
  };
  try {
    // Sectors there that cannot be read are ripped as a job, which reports
    // them; a jitter report goes beside that job's file.
    if (FCDRIP.RipSection(0, first.StartSector, hidden.OutputPath) && FCDRIP.LostSectors() > 0)
      audible = true;
  } catch (const std::exception&) {
    audible = true;
  }
  FCDRIP.OnAudio = nullptr;
  if (!audible || Aborted) return;

  FRuns.insert(FRuns.begin() + (track1 - FJobs->begin()), TJobRun());
  FJobs->insert(track1, hidden);
  ItemCount = int32_t(FJobs->size());
}

int64_t TConvSession::TrackBytes(int32_t trackNum) const {
  const std::vector<TTrackListItem>& tracks = FCDRIP.TrackList();
  if (trackNum == 0 && !tracks.empty()) return int64_t(tracks.front().Track.StartSector) * 2352;
  if (trackNum < 1 || trackNum > int32_t(tracks.size())) return 0;
  return tracks[size_t(trackNum - 1)].Track.LengthBytes;
}

bool TConvSession::RipDiscTrack(int32_t trackNum, const QString& fileName) {
  if (trackNum != 0 || FCDRIP.TrackList().empty()) return FCDRIP.RipTrack(trackNum, fileName);
  return FCDRIP.RipSection(0, FCDRIP.TrackList().front().Track.StartSector, fileName);
}

void TConvSession::StartVerification() {
  std::vector<TArTocTrack> toc;
  TMyCDInfo disc(nullptr);
  for (const TTrackListItem& item : FCDRIP.TrackList()) {
    toc.push_back({item.Track.StartSector, item.Track.TrackType == "Audio"});
    if (disc.TrackCount >= TMyCDInfo::MaxTracks) continue;
    disc.Tracks[size_t(disc.TrackCount)].StartSector = item.Track.StartSector;
    disc.Tracks[size_t(disc.TrackCount)].EndSector = item.Track.EndSector;
    ++disc.TrackCount;
  }
  const int32_t leadOut = toc.empty() ? 0 : FCDRIP.TrackList().back().Track.EndSector;
  FVerification = std::make_unique<TRipVerification>(
      toc, leadOut, disc.ComputeDiscID(), Config->AccurateRipServer, AccurateRipTimeoutMs);
  FVerification->OnVerdict = [this](const TTrackVerification& track) {
    if (!OnTrackVerified || !FJobs) return;
    for (const TFileParam& job : *FJobs)
      if (job.TrackInfo.TrackIndex + 1 == track.TrackNum) OnTrackVerified(job);
  };
}

void TConvSession::StartCoverFetch() {
  FCoverFetch.reset();
  if (FPendingCover) FPendingCover->Set({}, {});
  FPendingCover.reset();
  if (!Config->EmbedCover || FJobs->empty()) return;
  const QString release = FJobs->front().TrackInfo.MBReleaseID;
  auto fetch = std::make_unique<TCoverArtFetch>(*Config);
  if (!fetch->CanFetch(release)) return;
  FPendingCover = std::make_shared<TPendingCover>();
  fetch->OnDone = [this, fetch = fetch.get()] {
    FPendingCover->Set(fetch->Image(), fetch->Mime());
  };
  fetch->Start(release);
  FCoverFetch = std::move(fetch);
}

void TConvSession::FinishCoverFetch() {
  if (!FCoverFetch) return;
  if (Aborted) FCoverFetch->Abort();
  while (FCoverFetch->Running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  if (!FCoverFetch->Problem().isEmpty()) FView.AddMessage(FCoverFetch->Problem());
  const QByteArray& image = FCoverFetch->Image();
  if (image.isEmpty() && !FFolderCoverProblem.isEmpty()) FView.AddMessage(FFolderCoverProblem);
  if (Aborted || image.isEmpty()) return;
  const QString name =
      FCoverFetch->Mime() == QLatin1String("image/png") ? "cover.png" : "cover.jpg";
  QSet<QString> folders;
  for (const TFileParam& job : *FJobs)
    if (job.State == jsDone) folders.insert(QFileInfo(job.OutputPath).absolutePath());
  for (const QString& folder : folders) {
    const QString path = QDir(folder).filePath(name);
    if (QFileInfo::exists(path)) continue;
    const QString failure = PlaceNewFile(path, image, false);
    if (!failure.isEmpty())
      FView.AddMessage("The cover '" + path + "' can't be written: " + failure);
  }
}

void TConvSession::FinishVerification() {
  if (!FVerification) return;
  if (Aborted) FVerification->AbortLookup();
  while (FVerification->AnswerPending())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
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

  const bool encoded = EncodedFormat(Config->OutputFormat);
  // Encoding while ripping leaves no WAV to normalise, so normalisation
  // always rips through a temporary WAV whatever OnTheFly says.
  const bool onTheFly = encoded && Config->OnTheFly && !Config->NormalizeVolume;
  // The output and the WAV between rip and encode are files of the session's
  // own until they are whole: a file named after the output could be the
  // user's, and a run that dies must leave no cut file under that name.
  QString error;
  run.Output = NewTempFile(folder, '.' + QFileInfo(job.OutputPath).suffix(), &error);
  const QString ripTarget = encoded && !onTheFly && !run.Output.isEmpty()
                                ? NewTempFile(folder, QStringLiteral(".wav"), &error)
                                : run.Output;
  run.OnTheFly = onTheFly;
  run.RipTarget = ripTarget;
  if (ripTarget.isEmpty()) WriteFailed(job, folder, error);

  // A step that failed ends the job: the later ones would work on a file
  // this session did not produce.
  const bool ok = !Aborted && !ripTarget.isEmpty() && RipStep(job, ripTarget, onTheFly);
  // Every sample is in the file unless the rip was stopped.
  const bool ripped = ok && !Aborted;
  run.Read = 1;
  // The WAV of an encoded format is normalised by the encoder's worker.
  QString reason;
  if (ripped && Config->NormalizeVolume && !encoded && !NormalizeStages(ripTarget, &reason))
    NormalizeFailed(job, reason);
  if (ripped && encoded && !onTheFly) EncodeStep(job, ripTarget);
  if (ripped && !encoded) PlaceOutput(job);
  // A WAV handed to an encoder goes when the encoder is done with it; a cut
  // output waits for the user's answer when the session was aborted.
  if (ripTarget != run.Output && !run.Encoding) RemoveTempFile(ripTarget);
  if (!run.Encoding && !Aborted) RemoveTempFile(std::exchange(run.Output, {}));

  // An encoded track is done only once its encoder is; the view hears of
  // that when the job is settled.
  SetStage(ripped && encoded ? stRead : stDone);
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
  FCDRIP.SetReadOffset(Config->ReadOffset);
  std::optional<uint32_t> testCrc;
  if (Config->TestAndCopy && !(testCrc = TestRead(job))) return false;
  // The checksums see the audio as the drive hands it over, whatever is
  // made of it.
  TTrackChecksums* sums = nullptr;
  TTrackChecksums copySums;  // the Copy CRC to test against when nothing verifies
  const int64_t samples = TrackBytes(trackNum) / 4;
  if (FVerification && samples > 0) sums = &FVerification->BeginTrack(trackNum, samples);
  TTrackChecksums* copy = sums ? sums : testCrc ? &copySums : nullptr;
  QElapsedTimer shown;
  shown.start();
  FCDRIP.OnRead = [this, copy, trackNum, &shown](const uint8_t* data, int32_t bytes) {
    if (copy) copy->Add(data, size_t(bytes));
    if (OnSectorHealth && shown.elapsed() >= kDisplayInterval) {
      shown.restart();
      OnSectorHealth({trackNum, FCDRIP.SectorStatus(), false});
    }
  };
  struct TReadEnd {
    TCDRIP& Rip;
    ~TReadEnd() { Rip.OnRead = nullptr; }
  } readEnd{FCDRIP};
  auto endChecksums = [&](bool ripped) {
    if (sums)
      FVerification->EndTrack(trackNum,
                              ripped && FCDRIP.LostSectors() == 0 && sums->Samples() == samples);
  };
  try {
    if (ripTarget.isEmpty()) throw std::runtime_error("no temporary file");
    bool ripped = false;
    if (onTheFly) {
      ripped = RipToEncoder(job);
    } else {
      FCDRIP.SetEncode(false);
      FCDRIP.SetWriteWAV(true);
      ripped = RipDiscTrack(trackNum, ripTarget);
      // The jitter report goes beside the output, as a direct rip puts it.
      const QString report = ChangeFileExt(ripTarget, "jitt");
      if (QFileInfo::exists(report)) PlaceFile(report, ChangeFileExt(job.OutputPath, "jitt"), true);
    }
    // A drive that refuses the range returns without a file and without an
    // error; that track was not ripped.
    if (!ripped) throw std::runtime_error("no audio read");
    FRuns[size_t(JobIndex(job))].RipOk = true;
  } catch (const std::exception& error) {
    if (!ripTarget.isEmpty()) ReadEnded(job, trackNum);
    if (!ReportFileFailure(job, error)) RipFailed(job);
    endChecksums(false);
    return false;
  } catch (...) {
    ReadEnded(job, trackNum);
    RipFailed(job);
    endChecksums(false);
    return false;
  }
  ReadEnded(job, trackNum);
  endChecksums(true);
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  run.LostSectors = FCDRIP.LostSectors();
  run.JitterErrors = FCDRIP.JitterErrors();
  if (testCrc) {
    run.TestCrc = testCrc;
    // Two reads that differ: at least one is not what the disc holds.
    if (*testCrc != copy->Crc32()) {
      job.State = jsError;
      run.Suspect = true;
      AddMessage(job, QString("Track %1 '%2': Test CRC %3 differs from Copy CRC %4; the file is "
                              "kept with '(suspect)' in its name.")
                          .arg(trackNum)
                          .arg(job.Title)
                          .arg(QString::asprintf("%08X", *testCrc))
                          .arg(QString::asprintf("%08X", copy->Crc32())));
    }
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

void TConvSession::ReadEnded(TFileParam& job, int32_t trackNum) {
  FCDRIP.OnRead = nullptr;
  TTrackHealth health{trackNum, FCDRIP.SectorStatus(), true};
  // A range the drive refused was not read: no picture.
  if (health.Status.empty()) return;
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  run.SectorMap = HealthLine(health.Status);
  run.SectorCounts = CountSectors(health.Status).Text();
  if (OnSectorHealth) OnSectorHealth(health);
}

std::optional<uint32_t> TConvSession::TestRead(TFileParam& job) {
  TTrackChecksums test;
  FCDRIP.OnAudio = [&test](const uint8_t* data, int32_t bytes) { test.Add(data, size_t(bytes)); };
  struct TTestEnd {
    TCDRIP& Rip;
    ~TTestEnd() { Rip.OnAudio = nullptr; }
  } testEnd{FCDRIP};
  try {
    if (!RipDiscTrack(job.TrackInfo.TrackIndex + 1, job.OutputPath))
      throw std::runtime_error("no audio read");
  } catch (const std::exception& error) {
    if (!ReportFileFailure(job, error)) RipFailed(job);
    return std::nullopt;
  } catch (...) {
    RipFailed(job);
    return std::nullopt;
  }
  if (Aborted) return std::nullopt;
  return test.Crc32();
}

QString TConvSession::SuspectPath(const QString& outputPath, int number) {
  const QFileInfo output(outputPath);
  const QString mark = number > 1 ? QString(" (suspect %1).").arg(number) : " (suspect).";
  return output.dir().filePath(output.completeBaseName() + mark + output.suffix());
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
  const int64_t trackBytes = TrackBytes(trackNum);
  // The file is created once the drive delivers audio, as a rip to a file is;
  // the encoder ends with the samples it got, also when the rip fails.
  auto open = [&] {
    if (queue) return;
    queue = FPool->AddStream(index, MakeJobEncoder(job), FRuns[size_t(index)].Output, trackBytes);
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
  const bool ripped = RipDiscTrack(trackNum, job.OutputPath);
  // A track without a sample still gets its (empty) file.
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
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  std::shared_ptr<TEncoder> encoder = MakeJobEncoder(job);
  const QString outputPath = run.Output;
  const bool normalize = Config->NormalizeVolume;
  const int32_t factor = Config->NormalizeFactor;
  run.NormalizeBox = std::make_shared<QString>();
  run.NormalizeReason = std::make_shared<QString>();
  run.Encoding = true;
  FPool->Add(
      JobIndex(job),
      [encoder, ripTarget, outputPath, normalize, factor, box = run.NormalizeBox,
       reason = run.NormalizeReason](TEncodeContext& context) {
        if (normalize) {
          const TNormalizeHooks hooks{[&context] { return context.Stopped(); },
                                      [&context](int percent) { context.SetProgress(percent); }};
          *box = NormalizeFile(
              ripTarget, factor, hooks, [&context](uint8_t stage) { context.SetStage(stage); },
              reason.get());
        }
        if (context.Stopped()) return;
        context.SetStage(stEncoding);
        context.SetProgress(0);
        EncodeWaveFile(ripTarget, *encoder, outputPath, context);
      },
      QFileInfo(ripTarget).size());
}

void TConvSession::EncodeWaveFile(const QString& wavPath, TEncoder& encoder,
                                  const QString& outputPath, TEncodeContext& context) {
  constexpr qint64 kHeaderBytes = 44;
  QFile input(wavPath);
  if (!input.open(QIODevice::ReadOnly))
    throw EEncoderError(QString("Cannot open file \"%1\". %2").arg(wavPath, input.errorString()));
  // The WAV is the ripping component's: its one header, then the samples.
  char header[kHeaderBytes];
  if (input.read(header, kHeaderBytes) != kHeaderBytes || std::memcmp(header + 8, "WAVE", 4) != 0)
    throw EEncoderError(QString("\"%1\" is not a WAV file").arg(wavPath));
  // Unbuffered, so that a full disk shows in the write of the chunk at hand.
  QFile output(outputPath);
  if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
    throw EEncoderError(
        QString("Cannot create file \"%1\". %2").arg(outputPath, output.errorString()));
  // A stop ends the file whole with what was read.
  const TPcmSource read = [&](uint8_t* data, int64_t bytes) -> int64_t {
    if (context.Stopped()) return 0;
    const qint64 got = input.read(reinterpret_cast<char*>(data), bytes);
    if (got < 0) throw EEncoderError(QString("Cannot read \"%1\"").arg(wavPath));
    return got;
  };
  RunEncoder(encoder, output, read, input.size() - kHeaderBytes, context);
}

std::unique_ptr<TEncoder> TConvSession::MakeJobEncoder(const TFileParam& job) {
  TEncoderSettings settings;
  settings.Format = Config->OutputFormat;
  settings.FlacLevel = Config->FlacLevel;
  settings.OpusBitRate = Config->OpusBitRate;
  // MP3 keeps its loudness and names in ID3v2 frames, so without that tag it has neither.
  const bool tagged = Config->OutputFormat != ofMP3 || Config->WriteID3v2;
  std::shared_ptr<TLoudness> loudness;
  if (Config->ReplayGain && tagged) loudness = std::make_shared<TLoudness>();
  FRuns[size_t(JobIndex(job))].Loudness = loudness;
  TTrackTags tags = JobTags(job);
  if (Config->EmbedCover) {
    const QString problem =
        ReadFolderCover(QFileInfo(job.OutputPath).absolutePath(), tags.Cover, tags.CoverMime);
    // Once a session: the rip goes on without a cover. While the archive's
    // cover may yet take its place, the line waits for the fetch's end.
    if (!problem.isEmpty() && !FCoverReported) {
      if (FPendingCover)
        FFolderCoverProblem = problem;
      else
        AddMessage(job, problem);
    }
    FCoverReported = FCoverReported || !problem.isEmpty();
  }
  return std::make_unique<TTaggedEncoder>(MakeEncoder(settings, FCoder), Config->OutputFormat,
                                          std::move(tags), tagged && Config->EnableID3Tag, loudness,
                                          FPendingCover);
}

TTrackTags TConvSession::JobTags(const TFileParam& job) const {
  const TCDTrackInfo& track = job.TrackInfo;
  TTrackTags tags;
  tags.Title = track.Title;
  tags.Artist = track.Artist;
  // A track of its own artist carries the name in its title, the xmcd way;
  // formats with an artist field take it apart.
  const QString byline = track.TrackArtist + QStringLiteral(" / ");
  if (!track.TrackArtist.isEmpty()) {
    tags.Artist = track.TrackArtist;
    if (tags.Title.startsWith(byline)) tags.Title.remove(0, byline.size());
  }
  tags.Isrc = track.Isrc;
  tags.MusicBrainzTrackId = track.MBRecordingID;
  tags.MusicBrainzAlbumId = track.MBReleaseID;
  tags.MusicBrainzReleaseGroupId = track.MBReleaseGroupID;
  tags.MusicBrainzAlbumArtistId = track.MBAlbumArtistID;
  tags.Album = track.Album;
  tags.AlbumArtist = track.Artist;
  tags.Date = track.Year;
  tags.Genre = GenreName(track.Category);
  tags.Comment = track.Comment;
  tags.TrackNumber = track.TrackIndex + 1;
  tags.TrackTotal = int(FCDRIP.TrackList().size());
  return tags;
}

void TConvSession::WriteAlbumGain() {
  std::vector<const TLoudness*> tracks;
  std::vector<size_t> jobs;
  for (size_t i = 0; i < FRuns.size(); ++i) {
    if ((*FJobs)[i].State != jsDone || !FRuns[i].Loudness) continue;
    tracks.push_back(FRuns[i].Loudness.get());
    jobs.push_back(i);
  }
  const std::optional<TReplayGain> album = TLoudness::Album(tracks);
  if (!album) return;
  TTrackTags tags;
  tags.AlbumGain = album;
  for (const size_t i : jobs) {
    TFileParam& job = (*FJobs)[i];
    const QString error = WriteTags(job.OutputPath, Config->OutputFormat, tags);
    if (error.isEmpty()) continue;
    job.State = jsError;
    FView.AddMessage(error);
  }
}

void TConvSession::EncodeFinished(const TEncodePool::TResult& result) {
  TFileParam& job = (*FJobs)[size_t(result.Job)];
  TJobRun& run = FRuns[size_t(result.Job)];
  run.Encoding = false;
  run.Encoded = 1;
  run.Cut = result.Stopped;
  if (!run.OnTheFly) {
    RemoveTempFile(run.RipTarget);
    if (run.NormalizeBox && !run.NormalizeBox->isEmpty()) {
      ErrorBox(*run.NormalizeBox);
      NormalizeFailed(job, *run.NormalizeReason);
    }
  }
  // The file is whole when the rip and the encoder both ended by themselves.
  bool whole = !Aborted && (run.RipOk || !run.OnTheFly);
  try {
    if (result.Failed) {
      if (result.Failure) std::rethrow_exception(result.Failure);
      throw std::runtime_error("encoder failed");
    }
    if (whole && WritesId3v1()) WriteTag(job, run.Output);
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
    RemoveTempFile(std::exchange(run.Output, {}));
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
  if (EncodedFormat(Config->OutputFormat)) FView.ShowJobEncoded((*FJobs)[size_t(index)]);
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

// Every job weighs as much as its track is long; reading is half of an
// encoded job's work, all of a WAV job's.
int TConvSession::OverallPercent() const {
  const double readShare = EncodedFormat(Config->OutputFormat) ? 0.5 : 1.0;
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

void TConvSession::WriteRipLog() {
  if (!FVerification || Aborted || !FJobs) return;
  const TFileParam* first = nullptr;
  for (size_t i = 0; i < FJobs->size() && !first; ++i)
    if (FRuns[i].Processed && FVerification->Track((*FJobs)[i].TrackInfo.TrackIndex + 1))
      first = &(*FJobs)[i];
  // Nothing of the disc was read: no log.
  if (!first) return;
  // The sheet names the files the log vouches for, so it comes after it.
  if (!Config->WriteLog) {
    if (Config->WriteCueSheet) WriteCueSheet(*first);
    return;
  }

  TRipLog log;
  log.Program = QString("%1 %2").arg(kProgramName, kProgramVersion);
  log.Date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  log.Drive = FCDRIP.CDRomName();
  log.ReadOffset = FCDRIP.ReadOffset();
  log.ReadMode = QString("jitter correction %1, speed %2")
                     .arg(FCDRIP.Params().jitterCorrection ? "on" : "off")
                     .arg(FCDRIP.Params().speed > 0 ? QString("%1x").arg(FCDRIP.Params().speed)
                                                    : QStringLiteral("maximum"));
  switch (Config->OutputFormat) {
    case ofMP3:
      log.Output =
          QString("MP3, %1 kbit/s%2, quality %3")
              .arg(kBitRates[std::clamp(Config->BitRate, 0, 13)])
              .arg(Config->VBR ? QString(", VBR quality %1").arg(Config->VBRQuality) : QString())
              .arg(Config->Quality);
      break;
    case ofFLAC:
      log.Output = QString("FLAC, level %1, verified").arg(Config->FlacLevel);
      break;
    case ofOpus:
      log.Output = QString("Opus, %1 kbit/s VBR").arg(Config->OpusBitRate);
      break;
    default:
      log.Output = QStringLiteral("WAV, 44100 Hz, 16-bit, stereo");
  }
  log.Artist = first->TrackInfo.Artist;
  log.Album = first->TrackInfo.Album;
  const TArDiscIds& ids = FVerification->Ids();
  log.DiscIds = QString("CDDB %1, AccurateRip %2")
                    .arg(ids.Id3, 8, 16, QChar(u'0'))
                    .arg(DbarFileName(ids).mid(5).chopped(4));
  log.AccurateRip = FVerification->AnswerText();
  for (const TTrackListItem& item : FCDRIP.TrackList())
    log.Toc.push_back({item.Track.TrackNum, item.Track.StartSector,
                       item.Track.AudioEndSector - item.Track.StartSector,
                       FCDRIP.TrackPregap(item.Track.TrackNum), item.Track.TrackType == "Audio"});
  for (size_t i = 0; i < FJobs->size(); ++i) {
    const TFileParam& job = (*FJobs)[i];
    const TTrackVerification* result = FVerification->Track(job.TrackInfo.TrackIndex + 1);
    if (!FRuns[i].Processed || !result) continue;
    TRipLogTrack track;
    track.TrackNum = result->TrackNum;
    track.FileName =
        QFileInfo(FRuns[i].Placed.isEmpty() ? job.OutputPath : FRuns[i].Placed).fileName();
    track.Pregap = FCDRIP.TrackPregap(track.TrackNum);
    track.TestCrc = FRuns[i].TestCrc;
    track.Read = result->Complete;
    track.PeakPercent = result->Peak * 100.0 / 32768;
    track.CopyCrc = result->Crc;
    track.ArV1 = result->ArV1;
    track.ArV2 = result->ArV2;
    track.Verdict = track.TrackNum == 0 ? QStringLiteral("no entry for a hidden track")
                                        : result->Verdict.Text();
    track.Accurate = result->Verdict.Kind == TArVerdict::Accurate;
    track.UnreadableSectors = FRuns[i].LostSectors;
    track.JitterErrors = FRuns[i].JitterErrors;
    track.SectorMap = FRuns[i].SectorMap;
    track.SectorCounts = FRuns[i].SectorCounts;
    track.Status = JobStateText(job.State);
    log.Tracks.push_back(track);
  }

  SaveDiscFile(RipLogPath(QFileInfo(first->OutputPath).absolutePath(), log.Artist, log.Album,
                          Config->ReplaceStr),
               log.Text(), QStringLiteral("rip log"));
  if (Config->WriteCueSheet) WriteCueSheet(*first);
}

void TConvSession::WriteCueSheet(const TFileParam& first) {
  const QString folder = QFileInfo(first.OutputPath).absolutePath();
  TCueSheet sheet;
  sheet.Performer = first.TrackInfo.Artist;
  sheet.Title = first.TrackInfo.Album;
  sheet.Genre = first.TrackInfo.Category;
  sheet.Date = first.TrackInfo.Year;
  sheet.DiscId = QString::asprintf("%08X", FVerification->Ids().Id3);
  sheet.Catalog = DiscText(0, CR_TEXT_CODE);
  // Cue readers take FLAC and Opus files as WAVE, the audio's own kind.
  sheet.FileType = Config->OutputFormat == ofMP3 ? QStringLiteral("MP3") : QStringLiteral("WAVE");
  // The files this session wrote whole, in disc order.
  std::vector<const TFileParam*> written;
  for (const TFileParam& job : *FJobs)
    if (job.State == jsDone && FWrittenOutputs.contains(job.OutputPath)) written.push_back(&job);
  std::sort(written.begin(), written.end(), [](const TFileParam* a, const TFileParam* b) {
    return a->TrackInfo.TrackIndex < b->TrackInfo.TrackIndex;
  });
  for (const TFileParam* job : written) {
    const int32_t trackNum = job->TrackInfo.TrackIndex + 1;
    const QString name = QDir(folder).relativeFilePath(job->OutputPath);
    if (trackNum == 0) {
      sheet.HiddenTrackFile = name;
      continue;
    }
    const TTrackTags tags = JobTags(*job);
    // An ISRC the names left out is still the disc's.
    sheet.Tracks.push_back({trackNum, name, tags.Title,
                            tags.Artist.isEmpty() ? sheet.Performer : tags.Artist,
                            tags.Isrc.isEmpty() ? DiscText(trackNum, CR_TEXT_CODE) : tags.Isrc,
                            FCDRIP.TrackPregap(trackNum), int32_t(TrackBytes(trackNum) / 2352)});
  }
  if (sheet.Tracks.empty()) return;
  SaveDiscFile(CueSheetPath(folder, sheet.Performer, sheet.Title, Config->ReplaceStr), sheet.Text(),
               QStringLiteral("CUE sheet"));
}

void TConvSession::SaveDiscFile(const QString& path, const QString& text, const QString& what) {
  // A file of the same name is the user's like a track would be.
  bool replace = !Config->OverwritePrompt;
  if (QFileInfo::exists(path) && Config->OverwritePrompt) {
    OverwriteAnswer = AskOverwrite(path);
    if (OverwriteAnswer != orYes && OverwriteAnswer != orYesToAll) return;
    replace = true;
  }
  const QString failure = PlaceNewFile(path, text.toUtf8(), replace);
  if (!failure.isEmpty())
    FView.AddMessage("The " + what + " '" + path + "' can't be written: " + failure);
}

QString TConvSession::PlaceNewFile(const QString& path, const QByteArray& bytes, bool replace) {
  // Written whole under a name of the session's own, then placed; a file of
  // the name that appeared meanwhile (another run's) is kept.
  QString failure;
  const QString temp =
      NewTempFile(QFileInfo(path).absolutePath(), QStringLiteral(".tmp"), &failure);
  if (temp.isEmpty()) return failure;
  QFile file(temp);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
    failure = file.errorString();
  file.close();
  if (failure.isEmpty() && PlaceFile(temp, path, replace, &failure) == TPlaceResult::Exists)
    failure.clear();
  RemoveTempFile(temp);
  return failure;
}

bool TConvSession::NormalizeStages(const QString& wavPath, QString* reason) {
  const TNormalizeHooks hooks{[this] { return Aborted; },
                              [this](int percent) { SetProgress(percent); }};
  const QString box = NormalizeFile(
      wavPath, Config->NormalizeFactor, hooks, [this](uint8_t stage) { SetStage(stage); }, reason);
  if (!box.isEmpty()) ErrorBox(box);
  return box.isEmpty();
}

QString TConvSession::NormalizeFile(const QString& wavPath, int32_t factor,
                                    const TNormalizeHooks& hooks,
                                    const std::function<void(uint8_t stage)>& setStage,
                                    QString* reason) {
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
    if (PlaceFile(tempPath, wavPath, true) != TPlaceResult::Placed) {
      if (reason) *reason = QString("cannot replace '%1'").arg(wavPath);
      return QStringLiteral("Normalize wav file fail.");
    }
    tempPath.clear();
    return {};
  } catch (const std::exception& error) {
    if (reason) *reason = QString::fromUtf8(error.what());
    return QStringLiteral("Normalize wave file fail.");
  }
}

void TConvSession::NormalizeFailed(TFileParam& job, const QString& reason) {
  job.State = jsError;
  AddMessage(job, QString("Track %1 '%2' was not normalised: %3.")
                      .arg(job.TrackInfo.TrackIndex + 1)
                      .arg(job.Title, reason));
}

QString TConvSession::NewTempFile(const QString& folder, const QString& suffix, QString* error) {
  const QString path = CreateTempFile(folder, suffix, error);
  if (!path.isEmpty()) FTempFiles << path;
  return path;
}

void TConvSession::PlaceOutput(TFileParam& job) {
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  QString error;
  QString target = run.Suspect ? SuspectPath(job.OutputPath) : job.OutputPath;
  TPlaceResult placed = PlaceFile(run.Output, target, run.MayReplace && !run.Suspect, &error);
  // A suspect copy takes the next free name, never another file's place.
  for (int number = 2; run.Suspect && placed == TPlaceResult::Exists && number <= 99; ++number)
    placed = PlaceFile(run.Output, target = SuspectPath(job.OutputPath, number), false, &error);
  switch (placed) {
    case TPlaceResult::Placed:
      FTempFiles.removeAll(run.Output);
      run.Output.clear();
      run.Placed = target;
      FWrittenOutputs.insert(target);
      return;
    case TPlaceResult::Exists:
      // Another program (or run) made the file meanwhile: it is the user's now.
      job.State = jsError;
      AddMessage(job, QString("'%1' was created by another program while track %2 was converted; "
                              "it was left as it is.")
                          .arg(target)
                          .arg(job.TrackInfo.TrackIndex + 1));
      break;
    case TPlaceResult::Failed:
      WriteFailed(job, target, error);
      break;
  }
  RemoveTempFile(std::exchange(run.Output, {}));
}

void TConvSession::KeepPartialOutput(const TFileParam& job) {
  TJobRun& run = FRuns[size_t(JobIndex(job))];
  if (run.Output.isEmpty() || QFileInfo(run.Output).size() == 0) return;
  const QFileInfo output(job.OutputPath);
  const QString partial =
      output.dir().filePath(output.completeBaseName() + " (partial)." + output.suffix());
  if (PlaceFile(run.Output, partial, false) != TPlaceResult::Placed) return;
  FTempFiles.removeAll(run.Output);
  run.Output.clear();
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

void TConvSession::RemoveTempFile(const QString& path) {
  if (path.isEmpty()) return;
  QFile::remove(path);
  FTempFiles.removeAll(path);
}

void TConvSession::Abort() {
  Aborted = true;
  if (FCoverFetch) FCoverFetch->Abort();
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
  if (FJobs && !DeleteRequested)
    for (const TFileParam& job : *FJobs)
      if (job.State == jsAborted) KeepPartialOutput(job);
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

bool TConvSession::WritesId3v1() { return Config->EnableID3Tag && Config->OutputFormat == ofMP3; }

bool TConvSession::WriteTag(const TFileParam& job, const QString& path) {
  TMPEGAudio tag;
  tag.ResetData();
  tag.SetFileName(path.isEmpty() ? job.OutputPath : path);
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
