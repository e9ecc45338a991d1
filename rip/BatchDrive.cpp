#include "rip/BatchDrive.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "cddb/CDInfo.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "musicbrainz/MbDiscId.h"
#include "rip/ConvSession.h"
#include "rip/DiscLoad.h"
#include "rip/ExtractJobs.h"
#include "rip/RipQuery.h"
#include "settings/Naming.h"
#include "settings/config.h"

namespace {

// How soon a stop of the batch reaches a running session.
constexpr int kStopCheckMs = 100;

QString DiscIdText(uint32_t id) { return QString::asprintf("%08x", id); }

}  // namespace

bool TBatchShared::TakeDisc() {
  if (Stopping()) return false;
  const int taken = Taken.fetch_add(1);
  if (MaxDiscs <= 0 || taken < MaxDiscs) return true;
  Taken.fetch_sub(1);
  return false;
}

void TBatchShared::Pause() {
  std::unique_lock<std::mutex> lock(Lock);
  Wake.wait_for(lock, std::chrono::milliseconds(PollMs), [this] { return Stopping(); });
}

QString TBatchDisc::Caption() const {
  return Unknown ? "Unknown disc " + DiscId : Artist + " - " + Album;
}

bool TBatchDisc::AccuratelyRipped() const {
  // The database knows nothing of the audio before track 1: it does not count.
  return !HasErrors() && Tracks.Accurate > 0 && Tracks.NotVerified <= (HiddenTrack ? 1 : 0);
}

bool TBatchDisc::HasErrors() const { return Tracks.Troubled() || Tracks.NotRipped > 0; }

QString TBatchDisc::Verdict() const {
  if (HasErrors()) return "With errors";
  return AccuratelyRipped() ? "Accurately ripped" : "Not verified";
}

TRipPlan BatchPlan(const TMyCDInfo& info, const TRipSettings& settings, bool unknown) {
  TRipPlan plan{NamedDisc(info), {}, settings};
  QString& rule = plan.Settings.NamingString;
  const qsizetype folderEnd = std::max(rule.lastIndexOf(u'/'), rule.lastIndexOf(u'\\'));
  if (unknown) {
    plan.Settings.OutputFolder =
        AddTrailingBackslash(settings.OutputFolder) + DiscIdText(info.DiscID);
    rule = rule.mid(folderEnd + 1);
  } else if (folderEnd < 0) {
    rule = "<artist> - <album>\\" + rule;
  }
  for (int i = 0; i < info.TrackCount; ++i) {
    if (!info.IsAudioTrack(i)) continue;
    TFileParam job;
    job.RowIndex = int32_t(plan.Jobs.size());
    job.TrackInfo = MakeTrackInfo(info, i, settings.Comment);
    plan.Jobs.push_back(job);
  }
  return plan;
}

// The session's view on a drive's thread: the progress for the batch's
// display, the error summary kept, and the overwrite question answered by
// the batch's rule, since nobody is there to ask.
class TBatchDrive::TView : public TConvSessionView {
 public:
  TView(TBatchDrive& drive, QString caption, bool replace)
      : FDrive(drive), FCaption(std::move(caption)), FReplace(replace) {}

  const TConvSession* Session = nullptr;
  QStringList Messages;

  void ShowStage(const QString& name) override {
    FStage = name;
    Show();
  }
  void ShowProgress(int percent) override {
    FPercent = percent;
    Show();
  }
  void ShowJob(const QString&, const QString&, const QString& caption) override {
    FJob = caption;
    Show();
  }
  int ConfirmOverwrite(const QString& quotedPath, bool& alwaysOverwrite) override {
    alwaysOverwrite = false;
    FDrive.Log((FReplace ? "replaced: " : "kept, not ripped again: ") + quotedPath);
    return FReplace ? orYes : orNo;
  }
  void AddMessage(const QString& line) override { Messages << line; }
  void ShowEncoders(const QString&, int overallPercent) override {
    FOverall = overallPercent;
    Show();
  }
  void ShowJobEncoded(const TFileParam& job) override {
    FDrive.Log(QString::asprintf("Track %02d: ", job.TrackInfo.TrackIndex + 1) +
               JobStateText(job.State));
  }

 private:
  void Show() {
    // Without encoders (WAV) the tracks read are the disc's progress.
    int percent = FOverall;
    if (percent < 0 && Session && Session->ItemCount > 0)
      percent = (Session->ItemIndex * 100 + std::clamp(FPercent, 0, 100)) / Session->ItemCount;
    FDrive.SetStatus(FCaption + ": " + FJob + (FStage.isEmpty() ? "" : ", " + FStage),
                     std::clamp(percent, 0, 100));
  }

  TBatchDrive& FDrive;
  const QString FCaption;
  const bool FReplace;
  QString FStage;
  QString FJob;
  int FPercent = 0;
  int FOverall = -1;
};

TBatchDrive::TBatchDrive(int drive, TBatchShared& shared) : FDrive(drive), FShared(shared) {
  FProgress.Drive = drive;
}

TDriveProgress TBatchDrive::Progress() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FProgress;
}

void TBatchDrive::SetStatus(const QString& status, int percent) {
  std::lock_guard<std::mutex> lock(FLock);
  FProgress.Status = status;
  FProgress.Percent = percent;
}

void TBatchDrive::Log(const QString& line) {
  if (OnLog) OnLog(line);
}

void TBatchDrive::Run() {
  const TConfig& settings = *FShared.Settings;
  TLameCoder coder;
  TCDRIP cdrip;
  cdrip.SetCoder(&coder);
  try {
    cdrip.SetCDRomNum(FDrive);
  } catch (const std::exception& error) {
    Log(QString("the drive can't be used: %1").arg(QString::fromUtf8(error.what()).trimmed()));
    SetStatus("Not usable", -1);
    return;
  }
  FName = cdrip.CDRomName();
  // The disc ripped last stays known until the drive was seen empty, so a
  // disc that did not eject is not ripped twice.
  QString lastDisc;
  bool sawEmpty = false;
  bool waiting = false;
  while (!FShared.Stopping() &&
         (FShared.MaxDiscs <= 0 || FShared.Taken.load() < FShared.MaxDiscs)) {
    if (!cdrip.IsUnitReady()) {
      sawEmpty = true;
      if (!std::exchange(waiting, true)) {
        SetStatus("Waiting for a disc", -1);
        Log("waiting for a disc");
      }
      FShared.Pause();
      continue;
    }
    TMyCDInfo info;
    info.LocalFolder = settings.LocalCDDBFolder;
    LoadDisc(cdrip, info, settings.AutoLoadCDPlayerINI);
    const QString disc = info.Disc.Ids.MusicBrainz + DiscIdText(info.DiscID);
    if (!sawEmpty && disc == lastDisc) {
      FShared.Pause();
      continue;
    }
    lastDisc = disc;
    sawEmpty = false;
    if (info.Disc.AudioTrackCount() == 0) {
      Log("the disc holds no audio track; it is not ripped");
      FShared.Pause();
      continue;
    }
    if (!FShared.TakeDisc()) break;
    waiting = false;
    const TBatchDisc done = RipDisc(cdrip, coder, info);
    // A disc stopped at once stays in, as an aborted rip leaves it.
    if (!FShared.StopNow && !cdrip.EjectTray(true))
      Log("the disc could not be ejected; take it out to put in the next");
    if (OnDiscDone) OnDiscDone(done);
  }
  SetStatus("Stopped", -1);
}

TBatchDisc TBatchDrive::RipDisc(TCDRIP& cdrip, TLameCoder& coder, TMyCDInfo& info) {
  TBatchDisc disc;
  disc.Drive = FDrive;
  disc.DriveName = FName;
  disc.DiscId = DiscIdText(info.DiscID);
  SetStatus("Looking up disc " + disc.DiscId, -1);
  Log("disc " + disc.DiscId + " in the drive; looking it up");
  TRipQuery query;
  query.Match = 1;
  query.OnLog = [this](const QString& line) { Log(line); };
  RunRipQuery(info, *FShared.Settings, query);
  disc.Unknown = !info.NamesSomething();
  disc.Artist = info.Artist;
  disc.Album = info.Album;
  if (disc.Unknown) {
    disc.SubmissionUrl = ComputeMbDiscId(MbTocOf(info)).SubmissionUrl;
    Log("unknown disc; add it to MusicBrainz at " + disc.SubmissionUrl);
  }

  TRipPlan plan = BatchPlan(info, FShared.Rip, disc.Unknown);
  AssignOutputPaths(plan);
  if (disc.Unknown) {
    // The files have their names; the tags get no made-up ones.
    plan.Disc.Names.AlbumArtist.clear();
    plan.Disc.Names.Album.clear();
    for (TDiscTrack& track : plan.Disc.Tracks) track.Title.clear();
  }
  disc.Folder = plan.Jobs.empty() ? plan.Settings.OutputFolder
                                  : QFileInfo(plan.Jobs.front().OutputPath).absolutePath();
  Log(QString("ripping %1 into %2").arg(disc.Caption(), disc.Folder));
  TView view(*this, disc.Caption(), !plan.Settings.OverwritePrompt);
  TConvSession session(cdrip, coder, view);
  view.Session = &session;
  session.CreateOutputFolder = CreateOutputFolder;
  session.Encoders = FShared.Encoders;
  cdrip.OnProgress = [&session](TCDRIP*, uint16_t percent) { session.SetProgress(percent); };
  coder.OnProgress = [&session](TLameCoder*, uint16_t percent) { session.SetProgress(percent); };
  const auto detach = qScopeGuard([&] {
    cdrip.OnProgress = nullptr;
    coder.OnProgress = nullptr;
  });
  // Runs in every event loop of the session: its chunks, its waits.
  QTimer stopCheck;
  QObject::connect(&stopCheck, &QTimer::timeout, [this, &session] {
    if (FShared.StopNow && session.Running() && !session.Aborted) session.Abort();
  });
  stopCheck.start(kStopCheckMs);
  session.StartSession(plan);
  stopCheck.stop();
  if (FShared.StopNow || session.Aborted) {
    EndStoppedSession(session, plan.Jobs);
  } else {
    session.CloseQuery(true);
    session.CloseSession();
  }
  disc.Tracks = SummarizeRip(plan.Jobs, session.Verification(), session.Aborted, session.Ctdb());
  disc.HiddenTrack = std::any_of(plan.Jobs.begin(), plan.Jobs.end(), [](const TFileParam& job) {
    return job.TrackInfo.TrackIndex < 0 && job.State == jsDone;
  });
  disc.Messages = view.Messages;
  return disc;
}
