#include "rip/JobRuns.h"

#include <algorithm>

#include "disc/Disc.h"
#include "rip/SessionView.h"

int OverallPercent(const TJobList& jobs, const std::vector<TJobRun>& runs, const TDisc& disc,
                   bool encoded) {
  const double readShare = encoded ? 0.5 : 1.0;
  double total = 0, done = 0;
  for (size_t i = 0; i < runs.size() && i < jobs.size(); ++i) {
    const int32_t track = jobs[i].TrackInfo.TrackIndex + 1;
    const double weight = track > 0 ? double(std::max<int64_t>(1, disc.AudioBytes(track))) : 1.0;
    const TJobRun& run = runs[i];
    total += weight;
    done += weight * (run.Settled ? 1.0 : run.Read * readShare + run.Encoded * (1 - readShare));
  }
  return total > 0 ? int(done * 100 / total) : 0;
}

QString EncodersLine(const std::vector<TEncodePool::TTaskState>& tasks, const TJobList& jobs,
                     std::vector<TJobRun>& runs) {
  QStringList parts;
  int waiting = 0;
  for (const TEncodePool::TTaskState& task : tasks) {
    runs[size_t(task.Job)].Encoded = task.Percent / 100.0;
    if (!task.Running) {
      ++waiting;
      continue;
    }
    const TFileParam& job = jobs[size_t(task.Job)];
    // The line is the encoders' own: only the steps before encoding are named.
    const QString step = task.Stage == stEncoding ? QString() : StageName(task.Stage);
    parts << QString::asprintf("Track %.2d ", job.TrackInfo.TrackIndex + 1) +
                 (step.isEmpty() ? QString() : step + ' ') + QString("%1%").arg(task.Percent);
  }
  if (waiting > 0) parts << QString("%1 waiting").arg(waiting);
  return parts.join(", ");
}
