#include "ui/ConfigForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "encode/FileFormats.h"
#include "libs/cdrip/cdrip.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "settings/ConfigRules.h"
#include "settings/config.h"
#include "ui/ConfigWidgets.h"
#include "verify/DriveOffsets.h"

using namespace configform;
using namespace platform;

namespace {

// A stored text longer than the edit takes is shown whole, so OK cannot cut it.
void ShowText(QLineEdit* edit, const QString& text) {
  edit->setMaxLength(std::max(edit->maxLength(), int(text.size())));
  edit->setText(text);
}

// A list shows a stored index only when it has that item; otherwise nothing is selected.
void SetIndex(QComboBox* list, int index) {
  list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

}  // namespace

TConfigForm::TConfigForm(const QStringList& driveNames, const QString& encoderVersion,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      OpenHelp(&platform::ShellOpen),
      DriveInquiry([](int index, QString& vendor, QString& product) {
        char vendorText[64] = {}, productText[64] = {};
        if (CR_GetDriveInquiry(index, vendorText, sizeof vendorText, productText,
                               sizeof productText) != CDRIP_OK)
          return false;
        vendor = QString::fromUtf8(vendorText);
        product = QString::fromUtf8(productText);
        return true;
      }),
      FDriveNames(driveNames),
      FEncoderVersion(encoderVersion) {
  setObjectName("ConfigForm");
  setWindowTitle("Configuration");
  // A disabled edit shows the button face, an enabled one the window colour.
  QPalette look = palette();
  look.setColor(QPalette::Disabled, QPalette::Base, look.color(QPalette::Active, QPalette::Button));
  // A disabled slider's filled groove is grey whatever the theme gives.
  look.setColor(QPalette::Disabled, QPalette::Highlight,
                look.color(QPalette::Disabled, QPalette::WindowText));
  setPalette(look);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->addTab(CreateOutputTab(), "Output");
  PageControl1->addTab(CreateEncoderTab(), "Encoder");
  connect(cbOutputFormat, &QComboBox::currentIndexChanged, this, &TConfigForm::ShowFormatOptions);
  PageControl1->addTab(CreateCDROMTab(), "CD-ROM");
  PageControl1->addTab(CreateCDDBTab(), "CDDB");
  PageControl1->addTab(CreateMiscTab(), "Misc");
  PageControl1->addTab(CreatePlayerTab(), "MP3 Player");
  // Wider than the tab row, whose width changes with the tab in front.
  PageControl1->setMinimumWidth(std::max(560, PageControl1->tabBar()->sizeHint().width() + 40));

  btnOK = MakeButton(this, "btnOK", "OK");
  btnOK->setDefault(true);
  btnCancel = MakeButton(this, "btnCancel", "Cancel");
  btnHelp = MakeButton(this, "btnHelp", "&Help");
  connect(btnOK, &QPushButton::clicked, this, &TConfigForm::btnOKClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnHelp, &QPushButton::clicked, this, &TConfigForm::btnHelpClick);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  buttons->addWidget(btnHelp);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PageControl1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  for (QLineEdit* edit : {edStartSector, edEndSector, edProxyPort}) edit->installEventFilter(this);

  // The page turns wherever the focus is, even on a list that would take
  // Page Down for itself or after its popup closed.
  const std::pair<const char*, int> turns[] = {
      {"Ctrl+Tab", 1}, {"Ctrl+PgDown", 1}, {"Ctrl+Shift+Backtab", -1}, {"Ctrl+PgUp", -1}};
  for (const auto& [keys, step] : turns) {
    auto* shortcut = new QShortcut(QKeySequence(keys), this);
    connect(shortcut, &QShortcut::activated, this, [this, step = step] {
      const int count = PageControl1->count();
      PageControl1->setCurrentIndex((PageControl1->currentIndex() + step + count) % count);
    });
  }
}

// ---------------------------------------------------------------- load and apply

TConfigForm::~TConfigForm() = default;

void TConfigForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shown) FormShow();
}

void TConfigForm::FormShow() {
  PageControl1->setCurrentIndex(0);
  LoadControls();
  // Lists filled while their tab was hidden told no layout: size the dialog
  // for every tab now, so it keeps one size whichever tab is in front.
  for (QLayout* layout : findChildren<QLayout*>()) layout->invalidate();
  layout()->activate();
  shown = true;
}

void TConfigForm::LoadControls() {
  const TConfig& c = *Config;
  SetIndex(cbOutputFormat, c.OutputFormat);
  chkbNormalizeVolume->setChecked(c.NormalizeVolume);
  seNormalizeFactor->setValue(c.NormalizeFactor);
  ShowText(edtOutputFolder, c.OutputFolder);
  chkbOpenOutputFolder->setChecked(c.OpenOutputFolder);
  cbNamingRule->setEditText(c.NamingString);
  chkCreatePlayList->setChecked(c.CreatePlayList);
  chkWriteLog->setChecked(c.WriteLog);
  chkWriteCueSheet->setChecked(c.WriteCueSheet);
  chkRipHiddenTrack->setChecked(c.RipHiddenTrack);

  cbEncoder->clear();
  cbEncoder->addItem(QString("Lame MP3 Encoder %1").arg(FEncoderVersion));
  cbEncoder->setCurrentIndex(0);
  chkID3Tag->setChecked(c.EnableID3Tag);
  SetIndex(cbSampleRate, c.SampleRate);
  trkBarBitrate->setValue(c.BitRate);
  if (QAbstractButton* mode = ragrpMode->button(c.Mode)) mode->setChecked(true);
  chkbVBR->setChecked(c.VBR);
  chkbWrtVBRHrd->setChecked(c.WriteVBRHeader);
  trkbarMaxBitrate->setValue(c.MaxBitRate);
  SetIndex(cbQuality, c.Quality);
  trkbarVBRQuality->setValue(9 - c.VBRQuality);
  seEncoderThreads->setValue(c.EncoderThreads);
  chkbCopyright->setChecked(c.Copyright);
  chkbOriginal->setChecked(c.Original);
  chkbCRC->setChecked(c.CRC);
  chkbPrivate->setChecked(c._Private);
  seFlacLevel->setValue(c.FlacLevel);
  seOpusBitRate->setValue(c.OpusBitRate);
  chkWriteID3v2->setChecked(c.WriteID3v2);
  chkReplayGain->setChecked(c.ReplayGain);
  chkEmbedCover->setChecked(c.EmbedCover);
  ShowFormatOptions();
  chkbVBRClick();
  // The labels show their sliders' values even where loading moved nothing.
  trkBarBitrateChange();
  trkbarVBRQualityChange();

  cbActiveCDROM->clear();
  cbActiveCDROM->addItems(FDriveNames);
  SetIndex(cbActiveCDROM, c.nActive);
  SetIndex(cbDriveType, c.DriveParams.driveType & 0xFF);
  chkDeleteSilence->setChecked(c.DeleteSilence);
  edStartSector->setText(QString::number(c.DriveParams.startOffset));
  edEndSector->setText(QString::number(c.DriveParams.endOffset));
  cbSpeed->setCurrentIndex(SpeedIndexOf(c.DriveParams.speed));
  chkSwapChannel->setChecked(c.DriveParams.swapChannels != 0);
  chkJitterCorrect->setChecked(c.DriveParams.jitterCorrection != 0);
  chkEjectCD->setChecked(c.EjectCD);
  chkAutoRip->setChecked(c.AutoRip);
  chkAutoRipEveryDrive->setChecked(c.AutoRipEveryDrive);
  chkAutoRipEveryDrive->setEnabled(c.AutoRip);
  chkLockCD->setChecked(c.DriveParams.lockTray != 0);
  chkSelectAllTrack->setChecked(c.SelectAllTrack);
  chkUseNTSCSILibrary->setChecked(c.nTransportLayer != 0);
  seReadOffset->setValue(c.ReadOffset);
  chkTestAndCopy->setChecked(c.TestAndCopy);
  chkDeleteSilenceClick();

  cbServerName->setEditText(c.ServerName);
  chkProxySrv->setChecked(c.EnableProxy);
  edProxySrv->setText(c.ProxyServer);
  edProxyPort->setText(QString::number(c.ProxyPort));
  edQueryScript->setText(c.QueryScript);
  edEmailAddress->setText(c.EmailAddress);
  edMusicBrainzServer->setText(c.MusicBrainzServer);
  chkAutoLookup->setChecked(c.AutoLookup);
  edAccurateRipServer->setText(c.AccurateRipServer);
  edCtdbServer->setText(c.CtdbServer);
  edCoverArtServer->setText(c.CoverArtServer);
  ShowText(edLocalCDDB, c.LocalCDDBFolder);
  chkProxySrvClick();

  chkAutoLoadCDPlayerINI->setChecked(c.AutoLoadCDPlayerINI);
  chkbOverwritePrompt->setChecked(c.OverwritePrompt);
  chkbPlaySound->setChecked(c.PlaySound);
  edtSoundFile->setText(c.SoundFile);
  edtID3TagComment->setText(c.Id3Comment);
  for (int i = 0; i < std::min<int>(10, int(c.ReplaceStr.size())); ++i)
    edtCharRep[i]->setText(c.ReplaceStr.mid(i, 1));
  chkbPlaySoundClick();

  ShowText(edPlayerExecute, c.PlayerExecute);
  ShowText(edPlayerParameter, c.PlayerParameter);

  const QStringList servers = ServerListFromFile(ProgramFileForReading("server.txt"));
  if (!servers.isEmpty()) {
    cbServerName->clear();
    cbServerName->addItems(servers);
    cbServerName->setEditText(c.ServerName);
  }
}

void TConfigForm::ApplyControls() {
  // OK pressed with Enter from the spin box leaves its text uncorrected.
  seNormalizeFactor->interpretText();
  TConfig& c = *Config;
  c.OutputFormat = std::max(0, cbOutputFormat->currentIndex());
  c.NormalizeVolume = chkbNormalizeVolume->isChecked();
  c.OnTheFly = FileFormat(c.OutputFormat).Encoded && !c.NormalizeVolume;
  c.NormalizeFactor = seNormalizeFactor->value();

  c.OutputFolder = edtOutputFolder->text().trimmed();
  c.OpenOutputFolder = chkbOpenOutputFolder->isChecked();
  c.NamingString = cbNamingRule->currentText();
  c.CreatePlayList = chkCreatePlayList->isChecked();
  c.WriteLog = chkWriteLog->isChecked();
  c.WriteCueSheet = chkWriteCueSheet->isChecked();
  c.RipHiddenTrack = chkRipHiddenTrack->isChecked();

  c.EnableID3Tag = chkID3Tag->isChecked();
  c.SampleRate = std::max(0, cbSampleRate->currentIndex());
  // The sliders' ranges follow the sample rate; the clamps keep what OK
  // stores encodable whatever path set them.
  const int highest = MaxBitRateIndex(c.SampleRate);
  c.BitRate = std::min(trkBarBitrate->value(), highest);
  c.MaxBitRate = std::min(trkbarMaxBitrate->value(), highest);
  if (ragrpMode->checkedId() >= 0) c.Mode = ragrpMode->checkedId();
  c.Quality = std::max(0, cbQuality->currentIndex());
  c.VBRQuality = 9 - trkbarVBRQuality->value();
  c.EncoderThreads = seEncoderThreads->value();
  c.VBR = chkbVBR->isChecked();
  if (c.VBR) c.MaxBitRate = std::max(c.MaxBitRate, c.BitRate);
  c.WriteVBRHeader = chkbWrtVBRHrd->isChecked();
  c.Copyright = chkbCopyright->isChecked();
  c.Original = chkbOriginal->isChecked();
  c.CRC = chkbCRC->isChecked();
  c._Private = chkbPrivate->isChecked();
  c.FlacLevel = seFlacLevel->value();
  c.OpusBitRate = seOpusBitRate->value();
  c.WriteID3v2 = chkWriteID3v2->isChecked();
  c.ReplayGain = chkReplayGain->isChecked();
  c.EmbedCover = chkEmbedCover->isChecked();

  if (cbActiveCDROM->currentIndex() >= 0) c.nActive = cbActiveCDROM->currentIndex();
  if (cbDriveType->currentIndex() >= 0)
    c.DriveParams.driveType = (c.DriveParams.driveType & ~0xFF) | cbDriveType->currentIndex();
  c.DeleteSilence = chkDeleteSilence->isChecked();
  c.DriveParams.startOffset = IntegerOr(edStartSector->text(), 0);
  c.DriveParams.endOffset = IntegerOr(edEndSector->text(), 0);
  c.DriveParams.speed = SpeedOfIndex(cbSpeed->currentIndex());
  c.DriveParams.swapChannels = chkSwapChannel->isChecked() ? -1 : 0;
  c.DriveParams.jitterCorrection = chkJitterCorrect->isChecked() ? -1 : 0;
  c.EjectCD = chkEjectCD->isChecked();
  c.AutoRip = chkAutoRip->isChecked();
  c.AutoRipEveryDrive = chkAutoRipEveryDrive->isChecked();
  c.DriveParams.lockTray = chkLockCD->isChecked() ? -1 : 0;
  c.SelectAllTrack = chkSelectAllTrack->isChecked();
  c.nTransportLayer = chkUseNTSCSILibrary->isChecked() ? 1 : 0;
  c.ReadOffset = seReadOffset->value();
  c.TestAndCopy = chkTestAndCopy->isChecked();

  c.ServerName = cbServerName->currentText().trimmed();
  c.EnableProxy = chkProxySrv->isChecked();
  c.ProxyServer = edProxySrv->text();
  // A number that is no port is stored as the default port.
  const int32_t port = IntegerOr(edProxyPort->text(), 8080);
  c.ProxyPort = port >= 0 && port <= 65535 ? port : 8080;
  c.QueryScript = edQueryScript->text().trimmed();
  c.EmailAddress = edEmailAddress->text().trimmed();
  // An emptied field brings the public service back.
  c.MusicBrainzServer = edMusicBrainzServer->text().trimmed();
  if (c.MusicBrainzServer.isEmpty()) c.MusicBrainzServer = TConfig::PublicMusicBrainzServer;
  c.AutoLookup = chkAutoLookup->isChecked();
  // Emptied, it turns the lookup off.
  c.AccurateRipServer = edAccurateRipServer->text().trimmed();
  c.CtdbServer = edCtdbServer->text().trimmed();
  c.CoverArtServer = edCoverArtServer->text().trimmed();
  c.LocalCDDBFolder = edLocalCDDB->text().trimmed();

  c.AutoLoadCDPlayerINI = chkAutoLoadCDPlayerINI->isChecked();
  c.OverwritePrompt = chkbOverwritePrompt->isChecked();
  c.PlaySound = chkbPlaySound->isChecked();
  c.SoundFile = edtSoundFile->text();
  c.Id3Comment = edtID3TagComment->text();

  c.ReplaceStr.clear();
  for (QLineEdit* edit : edtCharRep) c.ReplaceStr += edit->text();

  c.PlayerExecute = edPlayerExecute->text();
  c.PlayerParameter = edPlayerParameter->text();
}

void TConfigForm::btnOKClick() {
  const QString rule = cbNamingRule->currentText();
  if (!NamingRuleVariesPerTrack(rule) &&
      MessageBox(QString("The naming rule '%1' holds neither <number> nor <title>: every track "
                         "would get the same file name, each one overwriting the last.\n\nKeep "
                         "this rule?")
                     .arg(rule),
                 "Warning", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
    PageControl1->setCurrentIndex(0);
    cbNamingRule->setFocus();
    return;
  }
  QString folder = edtOutputFolder->text().trimmed();
  // "~/Music" means the home folder's, not a folder named "~" beside the program.
  if (folder == "~" || folder.startsWith("~/")) {
    folder = QDir::homePath() + folder.mid(1);
    edtOutputFolder->setText(folder);
  } else if (!folder.isEmpty() && QDir::isRelativePath(folder)) {
    // Kept relative, the folder would move with wherever the program starts.
    folder = QDir::cleanPath(QDir::home().absoluteFilePath(folder));
    edtOutputFolder->setText(folder);
  }
  const auto refuse = [this](const QString& text) {
    MessageBox(text, "Error", MB_OK | MB_ICONERROR);
    PageControl1->setCurrentIndex(0);
    edtOutputFolder->setFocus();
  };
  // Nothing to create: asking first would only lead to the error.
  if (folder.isEmpty()) return refuse("Please choose an output folder.");
  if (!QFileInfo(folder).isDir()) {
    if (MessageBox(
            QString("The output folder '%1' not existing, Do you want create it?").arg(folder),
            "Confirmation", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
      return;
    const QString reason = CreateFolder(folder);
    if (!reason.isEmpty())
      return refuse(QString("The output folder '%1' could not be created: %2. Please choose "
                            "another one.")
                        .arg(folder, reason));
  }
  ApplyControls();
  const QString cdripIni = platform::CdripIniPath();
  if (!WriteTransportLayer(cdripIni, Config->nTransportLayer))
    MessageBox(QString("The drive access setting could not be written to '%1'.").arg(cdripIni),
               "Error", MB_OK | MB_ICONERROR);
  accept();
}

// ---------------------------------------------------------------- reactions

void TConfigForm::SetEnabledWithLabels(QWidget* control, bool enabled) {
  control->setEnabled(enabled);
  // A label naming a disabled control reads as disabled too.
  for (QLabel* label : findChildren<QLabel*>())
    if (label->buddy() == control) label->setEnabled(enabled);
}

bool TConfigForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const QString typed = static_cast<QKeyEvent*>(event)->text();
    if (!std::all_of(typed.begin(), typed.end(), DigitEditAccepts)) return true;
  }
  return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- pickers and help

void TConfigForm::ChooseFolder(QLineEdit* edit) {
  QFileDialog dialog(this, "Select Directory", edit->text().trimmed());
  dialog.setObjectName("SelectDirectoryDialog");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    edit->setText(QDir::toNativeSeparators(dialog.selectedFiles().first()));
}

void TConfigForm::ChooseFile(QLineEdit* edit, const QString& name, const QString& filter,
                             const QString& suffix, bool executables) {
  QFileDialog dialog(this, "Open", Config->LastOpenFolder, filter);
  dialog.setObjectName(name);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(suffix);
  if (executables) dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().first();
  edit->setText(path);
  Config->LastOpenFolder = QFileInfo(path).absolutePath();
}

void TConfigForm::btnHelpClick() {
  if (OpenHelp)
    OpenHelp(HelpTopicUrl(ProgramFolder() + "cadenzo.html", PageControl1->currentIndex()));
}
