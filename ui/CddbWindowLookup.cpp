#include "ui/CddbWindowLookup.h"

#include <QComboBox>

#include "ui/MainForm.h"
#include "cddb/CDInfo.h"
#include "cddb/CddbLookup.h"
#include "ui/QryCDDB.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "settings/config.h"

using namespace platform;

void RunCddbDialog(TMainForm& form, int mode) {
  if (mode == TQueryCDDBForm::mdQuery && form.CDInfo->TrackCount < 1) {
    MessageBox("No Disc.", "Information", MB_OK | MB_ICONINFORMATION);
    return;
  }
  const int previous = form.WinState;
  form.WinState = wsCDDBQuery;
  TQueryCDDBForm dialog(*form.CDInfo, *Config, TQueryCDDBForm::TMode(mode), &form);
  const bool saved = dialog.exec() == QDialog::Accepted;
  form.WinState = previous;
  if (!saved) return;
  if (mode == TQueryCDDBForm::mdQuery) {
    form.ShowNames();
  } else if (mode == TQueryCDDBForm::mdServerList ? !dialog.Lookup().SaveServerList()
                                                  : !dialog.Lookup().SaveCategoryList()) {
    MessageBox("The list could not be saved in " + ConfigFolder(), "Error", MB_OK | MB_ICONERROR);
  } else if (mode == TQueryCDDBForm::mdCategoryList) {
    QComboBox* category = form.cbCategory;
    const QString current = category->currentText();
    category->clear();
    category->addItems(dialog.Lookup().CategoryNames());
    category->setCurrentText(current);
  }
}
