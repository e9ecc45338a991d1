#include "rip/RipSummary.h"

#include "verify/CtdbVerification.h"
#include "verify/RipVerification.h"

QString TRipSummary::Text() const {
  const int total = Accurate + NotAccurate + NotVerified + LostAudio + Failed + NotRipped;
  auto tracks = [](int n) { return n == 1 ? QString("1 track") : QString("%1 tracks").arg(n); };
  QString text;
  if (total > 0 && Accurate == total) {
    text = total == 1 ? QString("1 track, accurately ripped")
                      : QString("%1, all accurately ripped").arg(tracks(total));
  } else {
    const std::pair<int, const char*> parts[] = {
        {Accurate, "accurate"},        {NotAccurate, "not accurate"},
        {NotVerified, "not verified"}, {LostAudio, "with lost audio"},
        {Failed, "with errors"},       {NotRipped, "not ripped"}};
    QStringList shown;
    QString alone;  // one kind alone names the tracks: "1 track with lost audio"
    for (const auto& [count, name] : parts) {
      if (count == 0) continue;
      shown << QString("%1 %2").arg(count).arg(name);
      alone = tracks(count) + " " + name;
    }
    text = shown.size() == 1 ? alone : shown.join(", ");
  }
  if (Repaired) text += "; repaired from the CTDB";
  return Aborted ? "Aborted: " + text : text;
}

TRipSummary SummarizeRip(const TJobList& jobs, const TRipVerification* verification, bool aborted,
                         const TCtdbVerification* ctdb) {
  TRipSummary summary;
  summary.Aborted = aborted;
  summary.Repaired = ctdb && ctdb->Repair().Applied;
  for (const TFileParam& job : jobs) {
    const int trackNum = job.TrackInfo.TrackIndex + 1;
    const TTrackVerification* track = verification ? verification->Track(trackNum) : nullptr;
    if (job.State == jsDone) {
      const TArVerdict::TKind kind = track ? track->Verdict.Kind : TArVerdict::Pending;
      const TCtdbVerdict::TKind ctdbKind =
          ctdb ? ctdb->TrackVerdict(trackNum).Kind : TCtdbVerdict::Pending;
      if (kind == TArVerdict::Accurate || ctdbKind == TCtdbVerdict::Accurate)
        ++summary.Accurate;
      else if (kind == TArVerdict::NotAccurate || ctdbKind == TCtdbVerdict::Differs)
        ++summary.NotAccurate;
      else
        ++summary.NotVerified;
    } else if (job.State == jsError) {
      if (track && !track->Complete)
        ++summary.LostAudio;
      else
        ++summary.Failed;
    } else {
      ++summary.NotRipped;
    }
  }
  return summary;
}
