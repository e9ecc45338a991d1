#include "ui/CddbWindowLookup.h"

#include "cddb/CDInfo.h"
#include "cddb/CddbLookup.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "settings/config.h"
#include "ui/DiscNamesView.h"
#include "ui/QryCDDB.h"
#include "ui/WindowState.h"

using namespace platform;

void RunCddbDialog(TDiscNamesView& view, TMyCDInfo& info, int& winState, int mode) {
  if (mode == TQueryCDDBForm::mdQuery && info.TrackCount < 1) {
    MessageBox("No Disc.", "Information", MB_OK | MB_ICONINFORMATION);
    return;
  }
  const int previous = winState;
  winState = wsCDDBQuery;
  TQueryCDDBForm dialog(info, *Config, TQueryCDDBForm::TMode(mode), view.DialogParent());
  const bool saved = dialog.exec() == QDialog::Accepted;
  winState = previous;
  if (!saved) return;
  if (mode == TQueryCDDBForm::mdQuery) {
    view.ShowNames();
  } else if (mode == TQueryCDDBForm::mdServerList ? !dialog.Lookup().SaveServerList()
                                                  : !dialog.Lookup().SaveCategoryList()) {
    MessageBox("The list could not be saved in " + ConfigFolder(), "Error", MB_OK | MB_ICONERROR);
  } else if (mode == TQueryCDDBForm::mdCategoryList) {
    view.ShowGenres(dialog.Lookup().CategoryNames());
  }
}
