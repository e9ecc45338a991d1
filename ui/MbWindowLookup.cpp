#include "ui/MbWindowLookup.h"

#include <QAction>
#include <QDesktopServices>
#include <QUrl>

#include "cddb/CDInfo.h"
#include "platform/AppInfo.h"
#include "platform/MessageBox.h"
#include "settings/config.h"
#include "ui/DiscNamesView.h"
#include "ui/MbChooseForm.h"

TMbWindowLookup::TMbWindowLookup(TMyCDInfo& info, TDiscNamesView& view, QAction* submit,
                                 QObject* parent)
    : QObject(parent), FInfo(info), FView(view), FSubmit(submit) {
  FSubmit->setEnabled(false);
  connect(FSubmit, &QAction::triggered, this, [this] {
    if (!FSubmission.isEmpty()) QDesktopServices::openUrl(QUrl(FSubmission));
  });
}

void TMbWindowLookup::LookUp() {
  if (FInfo.TrackCount < 1) {
    platform::MessageBox("No Disc.", "Information", platform::MB_OK | platform::MB_ICONINFORMATION);
    return;
  }
  Start();
}

void TMbWindowLookup::DiscLoaded(bool hadLocalEntry) {
  Stop();
  if (Config->AutoLookup && !hadLocalEntry && FInfo.TrackCount > 0) Start();
}

void TMbWindowLookup::Start() {
  // The server may have changed in the options since the last lookup.
  Stop();
  TMbLookup* lookup = FLookup = new TMbLookup(*Config, this);
  FLookup->OnStatus = [this](const QString& text) { FView.ShowLookupStatus(FStatus = text, true); };
  FLookup->OnFinished = [this, lookup](TMbResult result) {
    // The last status was the outcome.
    FView.ShowLookupStatus(FStatus, false);
    // Choosing may open a dialog: not from inside the network's handler. A
    // lookup dropped meanwhile takes its answer with it.
    QMetaObject::invokeMethod(
        lookup, [this, result] { Finished(result); }, Qt::QueuedConnection);
  };
  FNamesAtStart = FView.ShownNames();
  FLookup->Start(FInfo);
  FDiscId = FLookup->DiscId();
}

void TMbWindowLookup::Stop() {
  FSubmission.clear();
  FSubmit->setEnabled(false);
  if (!FLookup) return;
  if (FLookup->Running()) FView.ShowLookupStatus(QString(), false);
  FLookup->Abort();
  FLookup->deleteLater();
  FLookup = nullptr;
}

void TMbWindowLookup::Finished(TMbResult result) {
  TMbLookup* lookup = FLookup;
  if (lookup && result == TMbResult::NoRelease && !lookup->SubmissionUrl().isEmpty()) {
    FSubmission = lookup->SubmissionUrl();
    FSubmit->setEnabled(true);
    return Status(FStatus + "; CDDB > Submit to MusicBrainz... adds it");
  }
  if (!lookup || result != TMbResult::Found) return;
  const std::vector<TMbRelease> releases = lookup->Releases();
  const int trackCount = lookup->TrackCount();
  const int chosen = ChooseMbRelease(releases, FView.DialogParent());
  if (chosen < 0) return Status("No release chosen; the disc keeps its names");
  // The user's own typing wins, and a disc changed meanwhile is another disc.
  if (lookup != FLookup || FInfo.MBDiscID != FDiscId || FView.ShownNames() != FNamesAtStart)
    return Status("The names from MusicBrainz were not used: the names changed meanwhile");
  const TMbRelease& release = releases[size_t(chosen)];
  FView.TakeEditsIn();
  ApplyMbRelease(FInfo, release, MbMediumOf(release, FDiscId, trackCount));
  FInfo.SubmittedVia = QString("%1 %2").arg(kProgramName, kProgramVersion);
  FView.ShowNames();
  if (!FInfo.WriteLocalCDDB())
    Status("The names could not be saved in " + FInfo.LocalFolder);
  else
    Status(QString("Names from MusicBrainz: %1").arg(release.Caption()));
}

void TMbWindowLookup::Status(const QString& text) { FView.ShowLookupStatus(text, false); }
