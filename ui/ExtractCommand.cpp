#include "ui/ExtractCommand.h"

#include <QFileDialog>
#include <QFileInfo>

#include "cddb/CDInfo.h"
#include "disc/CDRIP.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "play/SoundPlay.h"
#include "rip/DiscLoad.h"
#include "rip/ExtractJobs.h"
#include "rip/RipPlan.h"
#include "settings/config.h"
#include "ui/ConvProc.h"
#include "ui/HealthStrip.h"
#include "ui/MsgDisp.h"
#include "ui/RipVerdict.h"
#include "ui/TrackListView.h"
#include "ui/WindowState.h"

using namespace platform;

namespace {

// Sets the window state back to idle when a command ends, however it ends.
class TIdleOnExit {
 public:
  explicit TIdleOnExit(int& state) : FState(state) {}
  ~TIdleOnExit() { FState = wsIdle; }

 private:
  int& FState;
};

// Runs the plan into the output folder, then what the settings ask for; the
// window keeps the plan's jobs.
void ExtractJobs(TExtractParts& form, TRipPlan& plan) {
  const QString folder = plan.Settings.OutputFolder;
  if (!QFileInfo(folder).isDir()) {
    if (MessageBox(
            QString("The output folder '%1' not existing, Do you want create it?").arg(folder),
            "Confirmation", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
      return;
    if (!CreateOutputFolder(folder)) {
      MessageBox(QString("The output folder '%1' can't be create! ").arg(folder), "Error",
                 MB_OK | MB_ICONERROR);
      return;
    }
  }
  AssignOutputPaths(plan);
  form.HealthStrip->Clear();
  form.VerdictBar->hide();
  form.ConvForm->Run(plan);
  const TConvSession& session = form.ConvForm->Session();
  // The session knows its jobs where the plan holds them.
  if (session.Attempted > 0)
    for (const TFileParam& job : plan.Jobs)
      form.lvTrackList->ShowTrackState(job, session.Verification(), session.JobMessages(job),
                                       session.Ctdb());
  form.JobList = std::move(plan.Jobs);
  if (session.Attempted <= 0) return;
  if (Config->CreatePlayList && !session.Aborted && session.Completed > 0) {
    QFileDialog dialog(form.Window, "Save playlist", folder,
                       "M3U PlayList (*.M3U *.m3u);;PLS PlayList (*.PLS *.pls)");
    dialog.setObjectName("SavePlaylistDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("m3u");
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      WriteJobsPlaylist(form.JobList, dialog.selectedFiles().first());
  }
  if (Config->PlaySound && !session.Aborted) form.SoundPlayer->Play(Config->SoundFile);
  if (Config->EjectCD && !session.Aborted) form.CDRIP->EjectTray(true);
  form.VerdictBar->Show(
      SummarizeRip(form.JobList, session.Verification(), session.Aborted, session.Ctdb()),
      session.WrittenLog, folder);
  if (Config->ShowErrorMessage && (form.DispForm->ErrorCount > 0 || form.DispForm->NoteCount > 0)) {
    form.DispForm->exec();
    form.DispForm->ClearMessages();
  }
  if (Config->SpecifyOutputFolder && Config->OpenOutputFolder && session.Completed > 0)
    ShellOpen(QFileInfo(folder).isDir() ? folder : QString());
}

}  // namespace

void ExtractCheckedTracks(TExtractParts form) {
  form.WinState = wsExtracting;
  TIdleOnExit idle(form.WinState);
  if (form.CDRIP->IsAudioPlaying()) form.CDRIP->StopPlay();
  if (form.DriveCount == 0 || !form.CDRIP->IsUnitReady()) {
    MessageBox("No disc, please insert one.", "Information", MB_OK | MB_ICONWARNING);
    return;
  }
  form.TakeEditsIn();
  form.JobList.clear();
  TRipPlan plan;
  plan.Disc = NamedDisc(*form.CDInfo);
  plan.Settings = RipSettingsOf(*Config);
  plan.Settings.Verify = true;
  const std::vector<TCDTrackInfo>& records = form.lvTrackList->Records();
  for (int row = 0; row < int(records.size()); ++row) {
    if (!form.lvTrackList->Checked(row)) continue;
    TFileParam job;
    job.TrackInfo = records[size_t(row)];
    job.State = jsQueued;
    job.RowIndex = row;
    plan.Jobs.push_back(job);
  }
  if (plan.Jobs.empty()) {
    MessageBox("No track(s) selected, please select track(s).", "Information",
               MB_OK | MB_ICONWARNING);
    return;
  }
  ExtractJobs(form, plan);
}

bool WriteJobsPlaylist(const TJobList& jobs, const QString& fileName) {
  if (WritePlaylist(fileName, jobs) == TPlaceResult::Placed) return true;
  MessageBox(QString("The playlist '%1' can't be written.").arg(fileName), "Error",
             MB_OK | MB_ICONERROR);
  return false;
}
