#include "ui/MbWindowLookup.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QTreeWidget>

#include "ui/MainForm.h"
#include "cddb/CDInfo.h"
#include "ui/MbChooseForm.h"
#include "platform/AppInfo.h"
#include "platform/MessageBox.h"
#include "settings/config.h"

TMbWindowLookup::TMbWindowLookup(TMainForm& form) : QObject(&form), FForm(form) {}

void TMbWindowLookup::LookUp() {
  if (FForm.CDInfo->TrackCount < 1) {
    platform::MessageBox("No Disc.", "Information", platform::MB_OK | platform::MB_ICONINFORMATION);
    return;
  }
  Start();
}

void TMbWindowLookup::DiscLoaded(bool hadLocalEntry) {
  Stop();
  if (Config->AutoLookup && !hadLocalEntry && FForm.CDInfo->TrackCount > 0) Start();
}

void TMbWindowLookup::Start() {
  // The server may have changed in the options since the last lookup.
  Stop();
  TMbLookup* lookup = FLookup = new TMbLookup(*Config, this);
  FLookup->OnStatus = [this](const QString& text) { Status(text); };
  FLookup->OnFinished = [this, lookup](TMbResult result) {
    // Choosing may open a dialog: not from inside the network's handler. A
    // lookup dropped meanwhile takes its answer with it.
    QMetaObject::invokeMethod(
        lookup, [this, result] { Finished(result); }, Qt::QueuedConnection);
  };
  FNamesAtStart = ShownNames();
  FLookup->Start(*FForm.CDInfo);
  FDiscId = FLookup->DiscId();
}

QStringList TMbWindowLookup::ShownNames() const {
  QStringList names{FForm.edArtist->text(), FForm.edAlbum->text(), FForm.edYear->text(),
                    FForm.cbCategory->currentText()};
  for (int row = 0; row < FForm.lvTrackList->topLevelItemCount(); ++row)
    names << FForm.lvTrackList->topLevelItem(row)->text(0);
  return names;
}

void TMbWindowLookup::Stop() {
  if (!FLookup) return;
  FLookup->Abort();
  FLookup->deleteLater();
  FLookup = nullptr;
}

void TMbWindowLookup::Finished(TMbResult result) {
  TMbLookup* lookup = FLookup;
  if (!lookup || result != TMbResult::Found) return;
  const std::vector<TMbRelease> releases = lookup->Releases();
  const int trackCount = lookup->TrackCount();
  const int chosen = ChooseMbRelease(releases, &FForm);
  if (chosen < 0) return Status("No release chosen; the disc keeps its names");
  // The user's own typing wins, and a disc changed meanwhile is another disc.
  if (lookup != FLookup || FForm.CDInfo->MBDiscID != FDiscId || ShownNames() != FNamesAtStart)
    return Status("The names from MusicBrainz were not used: the names changed meanwhile");
  const TMbRelease& release = releases[size_t(chosen)];
  FForm.TakeEditsIn();
  ApplyMbRelease(*FForm.CDInfo, release, MbMediumOf(release, FDiscId, trackCount));
  FForm.CDInfo->SubmittedVia = QString("%1 %2").arg(kProgramName, kProgramVersion);
  FForm.ShowNames();
  if (!FForm.CDInfo->WriteLocalCDDB())
    Status("The names could not be saved in " + FForm.CDInfo->LocalFolder);
  else
    Status(QString("Names from MusicBrainz: %1").arg(release.Caption()));
}

void TMbWindowLookup::Status(const QString& text) { FForm.statusBar()->showMessage(text); }
