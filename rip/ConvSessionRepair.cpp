// The conversion session's CTDB repair step: when the rip differs from the
// database, the files the session wrote are repaired from an entry's
// recovery data (encoded ones made again from the copies of the audio as
// read), proven again and reported; the copies go either way.
#include <QFileInfo>
#include <QScopeGuard>
#include <map>

#include "encode/Encoder.h"
#include "rip/ConvSession.h"
#include "rip/JobEncoder.h"
#include "rip/RipRepair.h"
#include "verify/CtdbVerification.h"
#include "verify/RipVerification.h"

void TConvSession::RepairFromCtdb() {
  // The copies go whatever comes of the repair.
  const auto dropCopies = qScopeGuard([this] {
    for (TJobRun& run : FRuns) FFiles.RemoveTemp(std::exchange(run.Pcm, {}));
  });
  TCtdbVerification* ctdb = FReader->Ctdb();
  if (!ctdb || Aborted || ctdb->DiscVerdict().Kind != TCtdbVerdict::Differs) return;
  const TRipSettings& settings = FPlan->Settings;
  // A WAV output is the audio as read; an encoded one is made from its copy.
  const bool inPlace = !settings.Format().Encoded;
  std::vector<TRepairFile> files;
  std::map<int32_t, size_t> jobOf;
  TCtdbRepairRecord refused;
  refused.Tried = true;
  const int first = ctdb->FirstTrack();
  for (int track = first; track < first + int(ctdb->Layout()->TrackStarts.size()); ++track) {
    const auto job = std::find_if(FJobs->begin(), FJobs->end(), [track](const TFileParam& j) {
      return j.TrackInfo.TrackIndex + 1 == track;
    });
    const size_t index = size_t(job - FJobs->begin());
    const QString path = job == FJobs->end() ? QString()
                         : inPlace ? (FFiles.Wrote(FRuns[index].Placed) ? FRuns[index].Placed : "")
                                   : FRuns[index].Pcm;
    if (settings.NormalizeVolume || path.isEmpty()) {
      refused.Detail =
          settings.NormalizeVolume
              ? QStringLiteral("the files are normalised, not the audio as read")
              : QString::asprintf("the audio of track %02d as read was not kept", track);
      return ctdb->Repaired(refused, std::nullopt);
    }
    files.push_back({track, path});
    jobOf[track] = index;
  }
  SetStage(stRepairing);
  TRipRepair repair = RepairRip(*ctdb, files, AccurateRipTimeoutMs, [this] { return Aborted; });
  if (repair.Record.Applied) {
    for (const auto& [track, sums] : repair.TrackSums) {
      if (inPlace)
        TrackRepaired(jobOf[track], sums, repair.Record.Tracks[track]);
      else
        RemakeFile(jobOf[track]);
    }
    WaitForEncoders();
    QStringList failed;
    for (const auto& [track, sums] : repair.TrackSums) {
      if (inPlace) continue;
      if (FRuns[jobOf[track]].Remade)
        TrackRepaired(jobOf[track], sums, repair.Record.Tracks[track]);
      else
        failed << QString::asprintf("%02d", track);
    }
    // The database's verdict holds for the files only when each was made again.
    if (!failed.isEmpty()) {
      repair.Record.Applied = false;
      repair.Record.Detail = "the file of track " + failed.join(", ") + " could not be made again";
    }
  }
  ctdb->Repaired(repair.Record, std::move(repair.After));
  SetStage(stDone);
}

void TConvSession::TrackRepaired(size_t index, const TTrackChecksums& sums,
                                 const TCtdbTrackRepair& repaired) {
  TFileParam& job = (*FJobs)[index];
  TJobRun& run = FRuns[index];
  const int32_t trackNum = job.TrackInfo.TrackIndex + 1;
  if (TRipVerification* verification = FReader->Verification()) {
    verification->BeginTrack(trackNum, sums.Samples()) = sums;
    verification->EndTrack(trackNum, true);
  }
  std::tie(run.Report.SectorMap, run.Report.SectorCounts) =
      FReader->MarkRepaired(trackNum, repaired.Sectors);
  // The sectors the drive lost hold the disc's audio now; any other failure stays.
  if (job.State == jsError && run.Report.LostSectors > 0 && run.Report.LeftOutSectors == 0 &&
      !run.Suspect && !run.WriteFailed)
    job.State = jsDone;
  Tell(job, QString("Track %1 '%2': %3 repaired from the CTDB; the file holds the disc's audio.")
                .arg(trackNum)
                .arg(job.Title, CtdbChangedText(repaired)));
}

void TConvSession::RemakeFile(size_t index) {
  TFileParam& job = (*FJobs)[index];
  TJobRun& run = FRuns[index];
  const QFileInfo output(run.Placed);
  run.Output = FFiles.Wrote(run.Placed)
                   ? FFiles.NewTemp(output.absolutePath(), '.' + output.suffix())
                   : QString();
  if (run.Output.isEmpty()) return;
  run.Remaking = true;
  run.Encoding = true;
  FPool->Add(int(index),
             WaveFileWork(run.Pcm, MakeJobEncoder(job), run.Output, std::nullopt,
                          std::make_shared<TNormalizeOutcome>()),
             QFileInfo(run.Pcm).size());
}

void TConvSession::RemakeFinished(const TEncodePool::TResult& result) {
  TFileParam& job = (*FJobs)[size_t(result.Job)];
  TJobRun& run = FRuns[size_t(result.Job)];
  run.Encoding = false;
  run.Remaking = false;
  QString failure;
  if (result.Failed)
    failure = result.Error.isEmpty() ? QStringLiteral("the encoder failed") : result.Error;
  else if (result.Stopped)
    failure = QStringLiteral("stopped");
  try {
    if (failure.isEmpty() && WritesId3v1(FPlan->Settings)) WriteId3v1Tag(run.Output, JobTags(job));
  } catch (const std::exception& error) {
    failure = QString::fromLocal8Bit(error.what());
  }
  if (failure.isEmpty()) {
    const TOutputFiles::TPlacement placed =
        FFiles.PlaceOutput(std::exchange(run.Output, {}), run.Placed, true, false);
    run.Remade = placed.Result == TPlaceResult::Placed;
    failure = placed.Error;
  } else {
    FFiles.RemoveTemp(std::exchange(run.Output, {}));
  }
  if (!run.Remade)
    Tell(job, QString("Track %1 '%2': the repaired file could not be made: %3.")
                  .arg(job.TrackInfo.TrackIndex + 1)
                  .arg(job.Title, failure));
}

void TConvSession::Tell(const TFileParam& job, const QString& line) {
  FRuns[size_t(JobIndex(job))].Messages << line;
  FView.AddMessage(line);
}
