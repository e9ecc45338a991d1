// The options dialog's CD-ROM tab: the drive's settings, its read offset
// looked up on request, and the reactions of its check boxes.
#include <QRegularExpression>
#include <QSpinBox>

#include "platform/MessageBox.h"
#include "settings/config.h"
#include "ui/ConfigForm.h"
#include "ui/ConfigWidgets.h"
#include "verify/DriveOffsets.h"

using namespace configform;
using namespace platform;

namespace {

// The socket layer's text as the system words it, without the Windows error
// number the HTTP client appends ("Connection refused (Error #10061)").
QString WithoutSocketCode(QString text) {
  return text.remove(QRegularExpression(" \\(Error #\\d+\\)$"));
}

}  // namespace

QWidget* TConfigForm::CreateCDROMTab() {
  auto* tab = new QWidget;
  tab->setObjectName("tsCDROM");
  QGridLayout* grid = GroupPage(tab, "CD-ROM");
  QWidget* group = grid->parentWidget();

  cbActiveCDROM = MakeList(group, "cbActiveCDROM", {});
  grid->addWidget(MakeLabel(group, "&CD-ROM", cbActiveCDROM), 0, 0);
  grid->addWidget(cbActiveCDROM, 0, 1, 1, 3);
  cbDriveType = MakeList(group, "cbDriveType", Texts(kDriveTypes, 20));
  cbSpeed = MakeList(group, "cbSpeed", Texts(kSpeedNames, kSpeedCount));
  grid->addWidget(MakeLabel(group, "Drive T&ype", cbDriveType), 1, 0);
  grid->addWidget(cbDriveType, 1, 1);
  grid->addWidget(MakeLabel(group, "&Speed", cbSpeed), 1, 2);
  grid->addWidget(cbSpeed, 1, 3);

  chkDeleteSilence = MakeCheck(group, "chkDeleteSilence", "Auto Delete Silence (By frames)");
  grid->addWidget(chkDeleteSilence, 2, 0, 1, 4);
  edStartSector = MakeEdit(group, "edStartSector", kMaxTextEdit);
  edEndSector = MakeEdit(group, "edEndSector", kMaxTextEdit);
  grid->addWidget(MakeLabel(group, "St&art Offset", edStartSector), 3, 0);
  grid->addWidget(edStartSector, 3, 1);
  grid->addWidget(MakeLabel(group, "&End Offset", edEndSector), 3, 2);
  grid->addWidget(edEndSector, 3, 3);

  chkSwapChannel = MakeCheck(group, "chkSwapChannel", "Swap Left Right Channel");
  chkJitterCorrect = MakeCheck(group, "chkJitterCorrect", "Enable Jitter Correction");
  chkEjectCD = MakeCheck(group, "chkEjectCD", "Eject CD When Ripping Done");
  chkLockCD = MakeCheck(group, "chkLockCD", "Lock CD When Ripping Tracks");
  chkSelectAllTrack = MakeCheck(group, "chkSelectAllTrack", "Select All Tracks");
  chkUseNTSCSILibrary = MakeCheck(group, "chkUseNTSCSILibrary", "Use Native NT SCSI Library");
  chkUseNTSCSILibrary->setToolTip(
      "Read the drive with SCSI MMC commands through the generic SCSI interface instead of the "
      "kernel's CD-ROM calls");
  const QCheckBox* const checks[] = {chkSwapChannel, chkJitterCorrect,  chkEjectCD,
                                     chkLockCD,      chkSelectAllTrack, chkUseNTSCSILibrary};
  for (int i = 0; i < 6; ++i)
    grid->addWidget(const_cast<QCheckBox*>(checks[i]), 4 + i / 2, (i % 2) * 2, 1, 2);

  seReadOffset = new QSpinBox(group);
  seReadOffset->setObjectName("seReadOffset");
  seReadOffset->setRange(-3000, 3000);
  seReadOffset->setToolTip(
      "Samples the drive's audio is taken later, to undo the drive's read offset; disc images "
      "are read with it too");
  btnDetectOffset = MakeButton(group, "btnDetectOffset", "&Detect");
  btnDetectOffset->setToolTip("Look the drive up in the AccurateRip drive offset list");
  grid->addWidget(MakeLabel(group, "Read &offset (samples)", seReadOffset), 7, 0);
  grid->addWidget(seReadOffset, 7, 1);
  grid->addWidget(btnDetectOffset, 7, 2);
  lblOffsetStatus = MakeLabel(group, QString());
  lblOffsetStatus->setObjectName("lblOffsetStatus");
  lblOffsetStatus->setWordWrap(true);
  // Shown once Detect has something to say.
  lblOffsetStatus->hide();
  grid->addWidget(lblOffsetStatus, 8, 0, 1, 4);
  chkTestAndCopy =
      MakeCheck(group, "chkTestAndCopy", "Test and co&py (read every track twice, compare CRCs)");
  grid->addWidget(chkTestAndCopy, 9, 0, 1, 4);
  chkAutoRip = MakeCheck(group, "chkAutoRip", "Rip every disc put &in, then eject it");
  chkAutoRip->setToolTip(
      "Each disc put in the drive is looked up, ripped with these settings into a folder of its "
      "own and ejected, until this is turned off");
  chkAutoRipEveryDrive = MakeCheck(group, "chkAutoRipEveryDrive", "On e&very drive at once");
  grid->addWidget(chkAutoRip, 10, 0, 1, 2);
  grid->addWidget(chkAutoRipEveryDrive, 10, 2, 1, 2);
  connect(chkAutoRip, &QCheckBox::toggled, chkAutoRipEveryDrive, &QWidget::setEnabled);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  connect(btnDetectOffset, &QPushButton::clicked, this, &TConfigForm::btnDetectOffsetClick);

  connect(chkDeleteSilence, &QCheckBox::toggled, this, &TConfigForm::chkDeleteSilenceClick);
  connect(chkUseNTSCSILibrary, &QCheckBox::toggled, this, &TConfigForm::chkUseNTSCSILibraryClick);
  return tab;
}

void TConfigForm::chkDeleteSilenceClick() {
  SetEnabledWithLabels(edStartSector, chkDeleteSilence->isChecked());
  SetEnabledWithLabels(edEndSector, chkDeleteSilence->isChecked());
}

void TConfigForm::chkUseNTSCSILibraryClick(bool checked) {
  if (shown && checked)
    MessageBox("You have to restart Cadenzo before this setting takes into effect.", "Information",
               MB_OK | MB_ICONINFORMATION);
}

void TConfigForm::ShowOffsetStatus(const QString& text) {
  lblOffsetStatus->setText(text);
  lblOffsetStatus->show();
}

void TConfigForm::btnDetectOffsetClick() {
  QString vendor, product;
  if (!DriveInquiry || !DriveInquiry(cbActiveCDROM->currentIndex(), vendor, product)) {
    ShowOffsetStatus(
        "This drive does not name itself (a disc image is read with the "
        "offset set here, 0 unless set).");
    return;
  }
  const QString drive = (vendor + ' ' + product).simplified();
  ShowOffsetStatus(QString("Looking up %1...").arg(drive));
  btnDetectOffset->setEnabled(false);
  FOffsetLookup = std::make_unique<TDriveOffsetLookup>();
  FOffsetLookup->OnDone = [this, drive] {
    btnDetectOffset->setEnabled(true);
    switch (FOffsetLookup->Result()) {
      case TDriveOffsetLookup::Found:
        seReadOffset->setValue(FOffsetLookup->Offset());
        ShowOffsetStatus(
            QString("AccurateRip lists %1 with a read offset of %2 samples; OK keeps it.")
                .arg(drive)
                .arg(FOffsetLookup->Offset()));
        break;
      case TDriveOffsetLookup::NotListed:
        ShowOffsetStatus(QString("%1 is not in the AccurateRip drive list.").arg(drive));
        break;
      default:
        ShowOffsetStatus(QString("No AccurateRip drive list: %1.")
                             .arg(WithoutSocketCode(FOffsetLookup->Detail())));
    }
  };
  FOffsetLookup->Start(Config->AccurateRipServer, vendor, product);
}
