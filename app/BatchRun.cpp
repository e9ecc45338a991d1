#include "app/BatchRun.h"

#include <QEventLoop>
#include <cstdio>

#include "app/RipSignals.h"
#include "platform/TextDecode.h"
#include "rip/DiscBatch.h"

namespace {

void Print(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

}  // namespace

int RunEachDisc(const TConfig& settings, const TRipSettings& rip, const std::vector<int>& drives,
                int maxDiscs, bool requireAccurate) {
  TDiscBatch batch(settings, rip, drives);
  batch.SetMaxDiscs(maxDiscs);
  QEventLoop loop;
  batch.OnLog = [](int drive, const QString& line) {
    const QString who = drive < 0 ? QString("cadenzo-rip") : QString("Drive %1").arg(drive);
    // Names from the disc and the servers may hold any control character.
    Print(stderr, who + ": " + platform::EscapeControls(line) + "\n");
  };
  batch.OnDiscDone = [](const TBatchDisc& disc) {
    Print(stdout, QString("Disc  %1  %2  %3\n")
                      .arg(platform::EscapeControls(disc.Caption()), disc.Tracks.Text(),
                           platform::EscapeControls(disc.Folder)));
  };
  batch.OnFinished = [&loop] { loop.quit(); };
  // The first signal lets the discs in hand finish; the drives cut their
  // own reads on the second, where each session knows it was stopped.
  const TStopSignals stopSignals(
      [&batch, &stopSignals] {
        if (stopSignals.Count() > 1) {
          batch.StopNow();
          return;
        }
        Print(stderr,
              "cadenzo-rip: stopping once the discs in hand are ripped; again to stop at once\n");
        batch.StopAfterDiscs();
      },
      false);
  batch.Start();
  if (batch.Running()) loop.exec();

  const TBatchSummary& summary = batch.Summary();
  Print(stdout, "\n" + platform::EscapeControls(summary.Text(), true));
  if (!batch.SummaryPath().isEmpty()) Print(stdout, "Summary  " + batch.SummaryPath() + "\n");
  if (stopSignals.Received()) return 128 + stopSignals.Received();
  const bool failed = summary.WithErrors() > 0 ||
                      (requireAccurate && summary.Accurate() < int(summary.Discs.size()));
  return failed ? 1 : 0;
}
