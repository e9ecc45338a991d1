#include "rip/DiscBatch.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>

#include "encode/EncodePool.h"
#include "settings/config.h"

namespace {

constexpr int kProgressMs = 200;

int Count(const std::vector<TBatchDisc>& discs, bool (TBatchDisc::*test)() const) {
  return int(std::count_if(discs.begin(), discs.end(),
                           [test](const TBatchDisc& disc) { return (disc.*test)(); }));
}

}  // namespace

int TBatchSummary::Unknown() const {
  return int(std::count_if(Discs.begin(), Discs.end(),
                           [](const TBatchDisc& disc) { return disc.Unknown; }));
}

int TBatchSummary::Accurate() const { return Count(Discs, &TBatchDisc::AccuratelyRipped); }

int TBatchSummary::WithErrors() const { return Count(Discs, &TBatchDisc::HasErrors); }

QString TBatchSummary::Text() const {
  QString text = QString(
                     "Discs ripped: %1\nAccurately ripped: %2\nNot verified: %3\n"
                     "With errors: %4\nUnknown: %5\n")
                     .arg(Discs.size())
                     .arg(Accurate())
                     .arg(NotVerified())
                     .arg(WithErrors())
                     .arg(Unknown());
  if (Stopped) text += "Stopped before the last disc.\n";
  for (const TBatchDisc& disc : Discs) {
    text += QString("\n%1 (drive %2)\n  %3\n  %4\n")
                .arg(disc.Caption())
                .arg(disc.Drive)
                .arg(disc.Folder, disc.Tracks.Text());
    for (const QString& line : disc.Messages) text += "  " + line + "\n";
    if (disc.Unknown) text += "  Not known to MusicBrainz; add it at " + disc.SubmissionUrl + "\n";
  }
  return text;
}

TDiscBatch::TDiscBatch(const TConfig& settings, const TRipSettings& rip, std::vector<int> drives)
    : FSettings(std::make_unique<TConfig>()), FContext(std::make_unique<QObject>()) {
  FSettings->Assign(settings);
  FShared.Settings = FSettings.get();
  FShared.Rip = rip;
  FShared.Encoders = std::make_shared<TEncodeWorkers>(rip.EncoderThreads);
  FOutputFolder = rip.OutputFolder;
  for (const int drive : drives) FDrives.push_back(std::make_unique<TBatchDrive>(drive, FShared));
  FProgressTimer.setInterval(kProgressMs);
  QObject::connect(&FProgressTimer, &QTimer::timeout, [this] {
    std::vector<TDriveProgress> now = Progress();
    if (now == FShown) return;
    FShown = std::move(now);
    if (OnProgress) OnProgress(FShown);
  });
}

TDiscBatch::~TDiscBatch() {
  StopNow();
  for (const auto& thread : FThreads) thread->wait();
}

void TDiscBatch::Start() {
  if (FRunning || !FThreads.empty()) return;
  FRunning = true;
  QObject* context = FContext.get();
  for (const auto& drive : FDrives) {
    TBatchDrive* worker = drive.get();
    const int index = worker->Drive();
    worker->OnLog = [this, context, index](const QString& line) {
      QMetaObject::invokeMethod(
          context,
          [this, index, line] {
            if (OnLog) OnLog(index, line);
          },
          Qt::QueuedConnection);
    };
    worker->OnDiscDone = [this, context](const TBatchDisc& disc) {
      QMetaObject::invokeMethod(
          context,
          [this, disc] {
            FSummary.Discs.push_back(disc);
            if (OnDiscDone) OnDiscDone(disc);
          },
          Qt::QueuedConnection);
    };
    FThreads.emplace_back(QThread::create([worker] { worker->Run(); }));
    QThread* thread = FThreads.back().get();
    // Queued behind every event the drive sent before it ended.
    QObject::connect(
        thread, &QThread::finished, context, [this] { DriveEnded(); }, Qt::QueuedConnection);
    thread->start();
  }
  FProgressTimer.start();
  if (FDrives.empty()) DriveEnded();
}

void TDiscBatch::StopAfterDiscs() {
  {
    std::lock_guard<std::mutex> lock(FShared.Lock);
    FShared.StopAfterDiscs = true;
  }
  FShared.Wake.notify_all();
}

void TDiscBatch::StopNow() {
  {
    std::lock_guard<std::mutex> lock(FShared.Lock);
    FShared.StopNow = true;
  }
  FShared.Wake.notify_all();
}

std::vector<TDriveProgress> TDiscBatch::Progress() const {
  std::vector<TDriveProgress> progress;
  for (const auto& drive : FDrives) progress.push_back(drive->Progress());
  return progress;
}

void TDiscBatch::DriveEnded() {
  if (++FEnded < int(FDrives.size()) && !FDrives.empty()) return;
  FProgressTimer.stop();
  FShown = Progress();
  if (OnProgress) OnProgress(FShown);
  FSummary.Stopped = FShared.Stopping() &&
                     (FShared.MaxDiscs <= 0 || int(FSummary.Discs.size()) < FShared.MaxDiscs);
  WriteSummary();
  FRunning = false;
  if (OnFinished) OnFinished();
}

// Beside the rips, under a name of its own: an existing file is never replaced.
void TDiscBatch::WriteSummary() {
  if (FSummary.Discs.empty()) return;
  const QString base = QDir(FOutputFolder)
                           .filePath("Cadenzo batch " +
                                     QDateTime::currentDateTime().toString("yyyy-MM-dd hh.mm.ss"));
  const QByteArray text = FSummary.Text().toUtf8();
  for (int n = 1; n < 100; ++n) {
    QFile file(n == 1 ? base + ".txt" : QString("%1 (%2).txt").arg(base).arg(n));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      if (file.exists()) continue;
      break;
    }
    if (file.write(text) == text.size() && file.flush()) {
      FSummaryPath = file.fileName();
      return;
    }
    const QString reason = file.errorString();
    file.remove();
    if (OnLog) OnLog(-1, "the summary can't be written to " + file.fileName() + ": " + reason);
    return;
  }
  if (OnLog) OnLog(-1, "the summary can't be written in " + FOutputFolder);
}
