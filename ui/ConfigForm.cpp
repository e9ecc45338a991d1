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
#include "verify/DriveOffsets.h"

using namespace platform;

namespace {

// What a user may type into the path edits: any path Linux takes.
constexpr int kMaxPathEdit = 4095;
constexpr int kMaxTextEdit = 255;

// Refuses every character a replacement edit must not hold, typed or pasted.
class TReplaceCharValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    return std::all_of(input.begin(), input.end(), ReplaceEditAccepts) ? Acceptable : Invalid;
  }
};

const QString kReplaceCharRefused = QStringLiteral(
    "This character cannot stand in a file name here: \\ / : * ? < > | = and "
    "control characters are reserved, and emoji and other characters outside "
    "the basic set are not kept.");

QLineEdit* MakeEdit(QWidget* parent, const char* name, int maxLength = 32767) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(maxLength);
  return edit;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* text) {
  auto* check = new QCheckBox(text, parent);
  check->setObjectName(name);
  return check;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items,
                    bool editable = false) {
  auto* list = new QComboBox(parent);
  list->setObjectName(name);
  list->setEditable(editable);
  list->addItems(items);
  return list;
}

QSlider* MakeSlider(QWidget* parent, const char* name, int maximum) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(name);
  slider->setRange(0, maximum);
  slider->setPageStep(1);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(1);
  return slider;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, QWidget* buddy = nullptr) {
  auto* label = new QLabel(text, parent);
  if (buddy) label->setBuddy(buddy);
  return label;
}

// A value label wide enough for its largest text, so the slider beside it
// keeps its length.
QLabel* MakeValueLabel(QWidget* parent, const char* name, const QString& widest) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest) + 4);
  return label;
}

// A tab page holding one titled group at its top; returns the group's grid.
QGridLayout* GroupPage(QWidget* tab, const char* title) {
  auto* layout = new QVBoxLayout(tab);
  auto* group = new QGroupBox(title, tab);
  layout->addWidget(group);
  layout->addStretch(1);
  return new QGridLayout(group);
}

QStringList Texts(const char* const* items, int count) {
  QStringList texts;
  for (int i = 0; i < count; ++i) texts << QString::fromUtf8(items[i]);
  return texts;
}

// A stored text longer than the edit takes is shown whole, so OK cannot cut it.
void ShowText(QLineEdit* edit, const QString& text) {
  edit->setMaxLength(std::max(edit->maxLength(), int(text.size())));
  edit->setText(text);
}

// A list shows a stored index only when it has that item; otherwise nothing is selected.
void SetIndex(QComboBox* list, int index) {
  list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

QStringList BuiltInServers() { return Texts(kBuiltInServers, int(std::size(kBuiltInServers))); }

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
}

QWidget* TConfigForm::CreateOutputTab() {
  auto* tab = new QWidget;
  tab->setObjectName("tsOutput");
  auto* grid = new QGridLayout(tab);

  // In the order of the OutputFormat setting.
  QStringList formats;
  for (const TFileFormat& format : FileFormats()) formats << format.Caption;
  cbOutputFormat = MakeList(tab, "cbOutputFormat", formats);
  grid->addWidget(MakeLabel(tab, "Output &Format", cbOutputFormat), 0, 0);
  grid->addWidget(cbOutputFormat, 0, 1, 1, 2);

  chkbNormalizeVolume = MakeCheck(tab, "chkbNormalizeVolume", "Normalize all output files to ");
  // Typed text beyond the range is corrected to its nearest end when the
  // focus leaves or OK is pressed; the arrows and arrow keys step by 2.
  seNormalizeFactor = new QSpinBox(tab);
  seNormalizeFactor->setObjectName("seNormalizeFactor");
  seNormalizeFactor->setRange(80, 100);
  seNormalizeFactor->setSingleStep(2);
  seNormalizeFactor->setValue(98);
  seNormalizeFactor->setSuffix("%");
  seNormalizeFactor->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  auto* factor = new QHBoxLayout;
  factor->addWidget(chkbNormalizeVolume);
  factor->addWidget(seNormalizeFactor);
  factor->addStretch(1);
  grid->addLayout(factor, 1, 0, 1, 3);

  edtOutputFolder = MakeEdit(tab, "edtOutputFolder", kMaxPathEdit);
  edtOutputFolder->setMinimumWidth(300);
  btnOutFolderBrows = MakeButton(tab, "btnOutFolderBrows", "Choose...");
  connect(btnOutFolderBrows, &QPushButton::clicked, this,
          [this] { ChooseFolder(edtOutputFolder); });
  grid->addWidget(MakeLabel(tab, "&Output Folder", edtOutputFolder), 2, 0);
  grid->addWidget(edtOutputFolder, 2, 1);
  grid->addWidget(btnOutFolderBrows, 2, 2);
  chkbOpenOutputFolder =
      MakeCheck(tab, "chkbOpenOutputFolder", "Open output folder when extracting finished");
  grid->addWidget(chkbOpenOutputFolder, 3, 1, 1, 2);

  cbNamingRule = MakeList(tab, "cbNamingRule", Texts(kNamingRules, 10), true);
  // Inline completion would store a listed rule in place of what was typed.
  cbNamingRule->setCompleter(nullptr);
  cbNamingRule->setToolTip(
      "A '/' or '\\' in the rule makes a sub-folder; one in a name "
      "from the disc is replaced.");
  grid->addWidget(MakeLabel(tab, "File&Name", cbNamingRule), 4, 0);
  grid->addWidget(cbNamingRule, 4, 1, 1, 2);
  auto* note = MakeLabel(tab,
                         "Output file name and sub-folder can be created according to the naming "
                         "rule, in which <artist> stands for artist name and so on.");
  note->setObjectName("Label12");
  note->setTextFormat(Qt::PlainText);
  note->setWordWrap(true);
  grid->addWidget(note, 5, 1, 1, 2);

  chkCreatePlayList =
      MakeCheck(tab, "chkCreatePlayList", "Auto create playlist when extracting finished");
  grid->addWidget(MakeLabel(tab, "&PlayList", chkCreatePlayList), 6, 0);
  grid->addWidget(chkCreatePlayList, 6, 1, 1, 2);

  // What a rip leaves beside its files to prove itself.
  chkWriteLog = MakeCheck(tab, "chkWriteLog", "Write a rip &log");
  chkWriteCueSheet = MakeCheck(tab, "chkWriteCueSheet", "Write a C&UE sheet");
  chkRipHiddenTrack =
      MakeCheck(tab, "chkRipHiddenTrack", "Rip au&dio hidden before track 1 as track 00");
  grid->addWidget(MakeLabel(tab, "Proof"), 7, 0);
  grid->addWidget(chkWriteLog, 7, 1, 1, 2);
  grid->addWidget(chkWriteCueSheet, 8, 1, 1, 2);
  grid->addWidget(chkRipHiddenTrack, 9, 1, 1, 2);
  grid->setRowStretch(10, 1);
  return tab;
}

QWidget* TConfigForm::CreateEncoderTab() {
  auto* tab = new QWidget;
  tab->setObjectName("tsEncoder");
  auto* layout = new QVBoxLayout(tab);

  auto* top = new QHBoxLayout;
  cbEncoder = MakeList(tab, "cbEncoder", {});
  top->addWidget(MakeLabel(tab, "&Encoder", cbEncoder));
  top->addWidget(cbEncoder, 1);
  sbtnLamePresets = new QToolButton(tab);
  sbtnLamePresets->setObjectName("sbtnLamePresets");
  sbtnLamePresets->setText("Encode Presets");
  sbtnLamePresets->setAutoRaise(true);
  sbtnLamePresets->setArrowType(Qt::DownArrow);
  sbtnLamePresets->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  connect(sbtnLamePresets, &QToolButton::clicked, this, &TConfigForm::sbtnLamePresetsClick);
  top->addWidget(sbtnLamePresets);
  layout->addLayout(top);
  chkID3Tag = MakeCheck(tab, "chkID3Tag", "Enable ID3Tag");
  layout->addWidget(chkID3Tag);

  pmLamePresets = new QMenu(this);
  pmLamePresets->setObjectName("pmLamePresets");
  for (int i = 0; i < 4; ++i) {
    QAction* item = pmLamePresets->addAction(kLamePresets[i].Caption);
    item->setObjectName(kLamePresets[i].Name);
    connect(item, &QAction::triggered, this, [this, i] { ApplyPreset(i); });
  }

  auto* group = new QGroupBox("Lame MP3 Encoder Options", tab);
  group->setObjectName("gbLameOptions");
  gbLameOptions = group;
  auto* grid = new QGridLayout(group);
  int row = 0;
  cbSampleRate = MakeList(group, "cbSampleRate", {"48000", "44100", "32000", "22050"});
  grid->addWidget(MakeLabel(group, "&Sample Rate", cbSampleRate), row, 0);
  grid->addWidget(cbSampleRate, row++, 1, Qt::AlignLeft);

  trkBarBitrate = MakeSlider(group, "trkBarBitrate", 13);
  lbMinBitRate = MakeValueLabel(group, "lbMinBitRate", "320KBits");
  grid->addWidget(MakeLabel(group, "&Bit Rate", trkBarBitrate), row, 0);
  grid->addWidget(trkBarBitrate, row, 1);
  grid->addWidget(lbMinBitRate, row++, 2);

  auto* modeBox = new QGroupBox("Mode", group);
  modeBox->setObjectName("ragrpMode");
  auto* modes = new QHBoxLayout(modeBox);
  ragrpMode = new QButtonGroup(modeBox);
  const char* const modeNames[] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono"};
  for (int i = 0; i < 4; ++i) {
    auto* radio = new QRadioButton(modeNames[i], modeBox);
    radio->setObjectName(QString("ragrpMode%1").arg(i));
    ragrpMode->addButton(radio, i);
    modes->addWidget(radio);
  }
  grid->addWidget(modeBox, row++, 0, 1, 4);

  chkbVBR = MakeCheck(group, "chkbVBR", "Enable VBR");
  chkbWrtVBRHrd = MakeCheck(group, "chkbWrtVBRHrd", "Write VBR header");
  grid->addWidget(chkbVBR, row, 0);
  grid->addWidget(chkbWrtVBRHrd, row++, 1);

  trkbarMaxBitrate = MakeSlider(group, "trkbarMaxBitrate", 13);
  lbMaxBitRate = MakeValueLabel(group, "lbMaxBitRate", "320KBits");
  grid->addWidget(MakeLabel(group, "&Max Bit Rate", trkbarMaxBitrate), row, 0);
  grid->addWidget(trkbarMaxBitrate, row, 1);
  grid->addWidget(lbMaxBitRate, row++, 2);

  cbQuality = MakeList(group, "cbQuality", {"Normal", "Low", "High", "Voice"});
  grid->addWidget(MakeLabel(group, "MPEG &Quality", cbQuality), row, 0);
  grid->addWidget(cbQuality, row++, 1, Qt::AlignLeft);

  trkbarVBRQuality = MakeSlider(group, "trkbarVBRQuality", 9);
  lbVBRQuality = MakeValueLabel(group, "lbVBRQuality", "0");
  grid->addWidget(MakeLabel(group, "&VBR Quality", trkbarVBRQuality), row, 0);
  grid->addWidget(trkbarVBRQuality, row, 1);
  grid->addWidget(lbVBRQuality, row, 2);
  auto* scale = MakeLabel(group, "(9 = lowest, 0 = highest)");
  scale->setObjectName("lbVBRQualityScale");
  grid->addWidget(scale, row++, 3);

  auto* flags = new QHBoxLayout;
  chkbCRC = MakeCheck(group, "chkbCRC", "CRC");
  chkbCopyright = MakeCheck(group, "chkbCopyright", "Copyright");
  chkbOriginal = MakeCheck(group, "chkbOriginal", "Original");
  chkbPrivate = MakeCheck(group, "chkbPrivate", "Private");
  for (QCheckBox* flag : {chkbCRC, chkbCopyright, chkbOriginal, chkbPrivate})
    flags->addWidget(flag);
  flags->addStretch(1);
  grid->addLayout(flags, row++, 0, 1, 4);
  grid->setColumnStretch(1, 1);
  layout->addWidget(group);

  gbFlacOptions = new QGroupBox("FLAC Encoder Options", tab);
  gbFlacOptions->setObjectName("gbFlacOptions");
  auto* flac = new QHBoxLayout(gbFlacOptions);
  seFlacLevel = new QSpinBox(gbFlacOptions);
  seFlacLevel->setObjectName("seFlacLevel");
  seFlacLevel->setRange(0, 8);
  seFlacLevel->setToolTip("Higher levels make smaller files and take longer; all are lossless");
  flac->addWidget(MakeLabel(gbFlacOptions, "&Compression level", seFlacLevel));
  flac->addWidget(seFlacLevel);
  flac->addWidget(MakeLabel(gbFlacOptions, "(0 = fastest, 8 = smallest)"));
  flac->addStretch(1);
  layout->addWidget(gbFlacOptions);

  gbOpusOptions = new QGroupBox("Opus Encoder Options", tab);
  gbOpusOptions->setObjectName("gbOpusOptions");
  auto* opus = new QHBoxLayout(gbOpusOptions);
  seOpusBitRate = new QSpinBox(gbOpusOptions);
  seOpusBitRate->setObjectName("seOpusBitRate");
  seOpusBitRate->setRange(32, 512);
  seOpusBitRate->setSingleStep(16);
  seOpusBitRate->setSuffix(" kbit/s");
  opus->addWidget(MakeLabel(gbOpusOptions, "Bit &rate (VBR)", seOpusBitRate));
  opus->addWidget(seOpusBitRate);
  opus->addStretch(1);
  layout->addWidget(gbOpusOptions);

  auto* tags = new QHBoxLayout;
  chkWriteID3v2 = MakeCheck(tab, "chkWriteID3v2", "ID3v2.4 tag in MP3 files");
  chkReplayGain = MakeCheck(tab, "chkReplayGain", "ReplayGain");
  chkReplayGain->setToolTip("Track and album loudness in the tags, for players that level it");
  chkEmbedCover = MakeCheck(tab, "chkEmbedCover", "Embed &cover art");
  for (QCheckBox* check : {chkWriteID3v2, chkReplayGain, chkEmbedCover}) tags->addWidget(check);
  tags->addStretch(1);
  layout->addLayout(tags);

  // Tracks encoded at once while the drive reads on.
  auto* threads = new QHBoxLayout;
  seEncoderThreads = new QSpinBox(tab);
  seEncoderThreads->setObjectName("seEncoderThreads");
  seEncoderThreads->setRange(0, 64);
  seEncoderThreads->setSpecialValueText("One per core");
  seEncoderThreads->setToolTip("How many tracks are encoded at once while the next is read");
  threads->addWidget(MakeLabel(tab, "Encoder &threads", seEncoderThreads));
  threads->addWidget(seEncoderThreads);
  threads->addStretch(1);
  layout->addLayout(threads);
  layout->addStretch(1);

  connect(trkBarBitrate, &QSlider::valueChanged, this, &TConfigForm::trkBarBitrateChange);
  connect(trkbarMaxBitrate, &QSlider::valueChanged, this, &TConfigForm::trkBarBitrateChange);
  connect(trkbarVBRQuality, &QSlider::valueChanged, this, &TConfigForm::trkbarVBRQualityChange);
  connect(chkbVBR, &QCheckBox::toggled, this, &TConfigForm::chkbVBRClick);
  connect(cbSampleRate, &QComboBox::currentIndexChanged, this, &TConfigForm::cbSampleRateChange);
  return tab;
}

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
  grid->addWidget(MakeLabel(group, "&Drive Type", cbDriveType), 1, 0);
  grid->addWidget(cbDriveType, 1, 1);
  grid->addWidget(MakeLabel(group, "&Speed", cbSpeed), 1, 2);
  grid->addWidget(cbSpeed, 1, 3);

  chkDeleteSilence = MakeCheck(group, "chkDeleteSilence", "Auto Delete Silence (By frames)");
  grid->addWidget(chkDeleteSilence, 2, 0, 1, 4);
  edStartSector = MakeEdit(group, "edStartSector", kMaxTextEdit);
  edEndSector = MakeEdit(group, "edEndSector", kMaxTextEdit);
  grid->addWidget(MakeLabel(group, "S&tart Offset", edStartSector), 3, 0);
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
      MakeCheck(group, "chkTestAndCopy", "&Test and copy (read every track twice, compare CRCs)");
  grid->addWidget(chkTestAndCopy, 9, 0, 1, 4);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  connect(btnDetectOffset, &QPushButton::clicked, this, &TConfigForm::btnDetectOffsetClick);

  connect(chkDeleteSilence, &QCheckBox::toggled, this, &TConfigForm::chkDeleteSilenceClick);
  connect(chkUseNTSCSILibrary, &QCheckBox::toggled, this, &TConfigForm::chkUseNTSCSILibraryClick);
  return tab;
}

QWidget* TConfigForm::CreateCDDBTab() {
  auto* tab = new QWidget;
  tab->setObjectName("tsCDDB");
  QGridLayout* grid = GroupPage(tab, "CDDB");
  QWidget* group = grid->parentWidget();

  cbServerName = MakeList(group, "cbServerName", BuiltInServers(), true);
  cbServerName->setCompleter(nullptr);
  grid->addWidget(MakeLabel(group, "&Server", cbServerName), 0, 0);
  grid->addWidget(cbServerName, 0, 1, 1, 3);
  edQueryScript = MakeEdit(group, "edQueryScript");
  grid->addWidget(MakeLabel(group, "&Query Script", edQueryScript), 1, 0);
  grid->addWidget(edQueryScript, 1, 1, 1, 3);

  chkProxySrv = MakeCheck(group, "chkProxySrv", "Use Proxy");
  grid->addWidget(chkProxySrv, 2, 0, 1, 4);
  edProxySrv = MakeEdit(group, "edProxySrv");
  edProxyPort = MakeEdit(group, "edProxyPort");
  edProxyPort->setMaximumWidth(edProxyPort->fontMetrics().horizontalAdvance("0000000") + 12);
  grid->addWidget(MakeLabel(group, "&Proxy Server", edProxySrv), 3, 0);
  grid->addWidget(edProxySrv, 3, 1);
  grid->addWidget(MakeLabel(group, "Proxy P&ort", edProxyPort), 3, 2);
  grid->addWidget(edProxyPort, 3, 3);

  edLocalCDDB = MakeEdit(group, "edLocalCDDB", kMaxPathEdit);
  btnBrsLCDDBPath = MakeButton(group, "btnBrsLCDDBPath", "Choose...");
  connect(btnBrsLCDDBPath, &QPushButton::clicked, this, [this] { ChooseFolder(edLocalCDDB); });
  grid->addWidget(MakeLabel(group, "&Local CDDB Folder", edLocalCDDB), 4, 0);
  auto* folder = new QHBoxLayout;
  folder->addWidget(edLocalCDDB, 1);
  folder->addWidget(btnBrsLCDDBPath);
  grid->addLayout(folder, 4, 1, 1, 3);

  edEmailAddress = MakeEdit(group, "edEmailAddress");
  edEmailAddress->setToolTip(
      "The CDDB server may require a registered e-mail address; it is sent when the program "
      "greets the server.");
  grid->addWidget(MakeLabel(group, "E-&mail address", edEmailAddress), 5, 0);
  grid->addWidget(edEmailAddress, 5, 1, 1, 3);

  edMusicBrainzServer = MakeEdit(group, "edMusicBrainzServer");
  grid->addWidget(MakeLabel(group, "M&usicBrainz server", edMusicBrainzServer), 6, 0);
  grid->addWidget(edMusicBrainzServer, 6, 1, 1, 3);
  chkAutoLookup = MakeCheck(group, "chkAutoLookup",
                            "Look a new disc up on MusicBrainz when it has no local entry");
  grid->addWidget(chkAutoLookup, 7, 0, 1, 4);
  edAccurateRipServer = MakeEdit(group, "edAccurateRipServer");
  edAccurateRipServer->setToolTip(
      "Where rips are checked against other people's; empty: not at all.");
  grid->addWidget(MakeLabel(group, "&AccurateRip server", edAccurateRipServer), 8, 0);
  grid->addWidget(edAccurateRipServer, 8, 1, 1, 3);
  edCoverArtServer = MakeEdit(group, "edCoverArtServer");
  edCoverArtServer->setToolTip(
      "Where the front cover of a release named by MusicBrainz is fetched; empty: never.");
  grid->addWidget(MakeLabel(group, "Co&ver art server", edCoverArtServer), 9, 0);
  grid->addWidget(edCoverArtServer, 9, 1, 1, 3);
  grid->setColumnStretch(1, 1);

  connect(chkProxySrv, &QCheckBox::toggled, this, &TConfigForm::chkProxySrvClick);
  return tab;
}

QWidget* TConfigForm::CreateMiscTab() {
  auto* tab = new QWidget;
  tab->setObjectName("tsMisc");
  auto* grid = new QGridLayout(tab);

  chkAutoLoadCDPlayerINI =
      MakeCheck(tab, "chkAutoLoadCDPlayerINI", "Auto Load Disc Info From CDPLAYER.INI");
  chkbOverwritePrompt =
      MakeCheck(tab, "chkbOverwritePrompt", "Prompt Before Overwrite Existing Files");
  chkbPlaySound = MakeCheck(tab, "chkbPlaySound", "Play A Sound When Extracting Done");
  grid->addWidget(chkAutoLoadCDPlayerINI, 0, 0, 1, 3);
  grid->addWidget(chkbOverwritePrompt, 1, 0, 1, 3);
  grid->addWidget(chkbPlaySound, 2, 0, 1, 3);
  edtSoundFile = MakeEdit(tab, "edtSoundFile");
  btnBrowsSoundFile = MakeButton(tab, "btnBrowsSoundFile", "Brows...");
  connect(btnBrowsSoundFile, &QPushButton::clicked, this, [this] {
    ChooseFile(edtSoundFile, "SoundFileDialog",
               "Sound File (*.Wav *.Wave *.wav *.wave *.WAV *.WAVE);;All files (*)", "Wav", false);
  });
  grid->addWidget(edtSoundFile, 3, 0, 1, 2);
  grid->addWidget(btnBrowsSoundFile, 3, 2);

  edtID3TagComment = MakeEdit(tab, "edtID3TagComment");
  grid->addWidget(MakeLabel(tab, "ID3 Tag &Comment", edtID3TagComment), 4, 0);
  grid->addWidget(edtID3TagComment, 4, 1, 1, 2);

  auto* group = new QGroupBox("Replace illeage characters", tab);
  group->setObjectName("gbReplaceChars");
  auto* chars = new QGridLayout(group);
  auto* note = MakeLabel(group,
                         "Characters \\ / : * ? < > | are reserved by OS and can't be used in "
                         "filename,  please replace illeage characts to legal characters.");
  note->setWordWrap(true);
  chars->addWidget(note, 0, 0, 1, 11);
  const char* const labels[10] = {" * ", " : ", " ? ", " = ", "|", "/", "\\", "<", ">", "S&P"};
  const int width = fontMetrics().horizontalAdvance("WW") + 12;
  for (int i = 0; i < 10; ++i) {
    QLineEdit* edit = MakeEdit(group, qPrintable(QString("edtCharRep%1").arg(i + 1)), 2);
    edit->setText(QString(QLatin1Char(kInitialReplaceChars[i])));
    edit->setAlignment(Qt::AlignCenter);
    edit->setFixedWidth(width);
    edit->setValidator(new TReplaceCharValidator(edit));
    connect(edit, &QLineEdit::inputRejected, this, [edit] {
      QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), kReplaceCharRefused, edit);
    });
    connect(edit, &QLineEdit::textChanged, this, [this, edit] { edtCharRep1Change(edit); });
    edtCharRep[i] = edit;
    auto* label = MakeLabel(group, labels[i], edit);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const int row = 1 + i / 5, column = (i % 5) * 2;
    chars->addWidget(label, row, column);
    chars->addWidget(edit, row, column + 1, Qt::AlignLeft);
  }
  chars->setColumnStretch(10, 1);
  grid->addWidget(group, 5, 0, 1, 3);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(6, 1);

  connect(chkbPlaySound, &QCheckBox::toggled, this, &TConfigForm::chkbPlaySoundClick);
  return tab;
}

QWidget* TConfigForm::CreatePlayerTab() {
  auto* tab = new QWidget;
  tab->setObjectName("tsPlayer");
  QGridLayout* grid = GroupPage(tab, "MP3 Player");
  QWidget* group = grid->parentWidget();
  edPlayerExecute = MakeEdit(group, "edPlayerExecute", kMaxPathEdit);
  Button3 = MakeButton(group, "Button3", "Brows...");
  connect(Button3, &QPushButton::clicked, this, [this] {
    ChooseFile(edPlayerExecute, "PlayerFileDialog", "MP3 Player Program File (*)", QString(), true);
  });
  grid->addWidget(MakeLabel(group, "&Specify mp3 player, blank for default", edPlayerExecute), 0, 0,
                  1, 2);
  grid->addWidget(edPlayerExecute, 1, 0);
  grid->addWidget(Button3, 1, 1);
  edPlayerParameter = MakeEdit(group, "edPlayerParameter", kMaxTextEdit);
  grid->addWidget(MakeLabel(group, "&Parameters for playing files", edPlayerParameter), 2, 0, 1, 2);
  grid->addWidget(edPlayerParameter, 3, 0, 1, 2);
  return tab;
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

void TConfigForm::ApplyPreset(int preset) {
  if (preset < 0 || preset >= 4) return;
  const TLamePreset& p = kLamePresets[preset];
  cbSampleRate->setCurrentIndex(p.SampleRate);
  trkBarBitrate->setValue(p.BitRate);
  ragrpMode->button(p.Mode)->setChecked(true);
  chkbVBR->setChecked(p.VBR);
  // Without the header players guess a VBR file's length from its first frame.
  if (p.VBR) chkbWrtVBRHrd->setChecked(true);
  if (p.MaxBitRate >= 0) trkbarMaxBitrate->setValue(p.MaxBitRate);
  if (p.Quality >= 0) cbQuality->setCurrentIndex(p.Quality);
  if (p.VBRQualityPosition >= 0) trkbarVBRQuality->setValue(p.VBRQualityPosition);
}

void TConfigForm::sbtnLamePresetsClick() {
  pmLamePresets->popup(sbtnLamePresets->mapToGlobal(sbtnLamePresets->rect().bottomLeft()));
}

void TConfigForm::trkBarBitrateChange() {
  lbMinBitRate->setText(QString("%1KBits").arg(kBitRates[trkBarBitrate->value()]));
  lbMaxBitRate->setText(QString("%1KBits").arg(kBitRates[trkbarMaxBitrate->value()]));
  if (chkbVBR->isChecked() && trkbarMaxBitrate->value() < trkBarBitrate->value())
    trkbarMaxBitrate->setValue(trkBarBitrate->value());
}

void TConfigForm::trkbarVBRQualityChange() {
  lbVBRQuality->setText(QString::number(9 - trkbarVBRQuality->value()));
}

void TConfigForm::SetEnabledWithLabels(QWidget* control, bool enabled) {
  control->setEnabled(enabled);
  // A label naming a disabled control reads as disabled too.
  for (QLabel* label : findChildren<QLabel*>())
    if (label->buddy() == control) label->setEnabled(enabled);
}

void TConfigForm::chkbVBRClick() {
  const bool vbr = chkbVBR->isChecked();
  for (QWidget* control : std::initializer_list<QWidget*>{
           chkbWrtVBRHrd, trkbarMaxBitrate, lbMaxBitRate, cbQuality, trkbarVBRQuality, lbVBRQuality,
           findChild<QLabel*>("lbVBRQualityScale")})
    SetEnabledWithLabels(control, vbr);
  // Ticked after the bit rate moved, the maximum may lie below it.
  trkBarBitrateChange();
}

void TConfigForm::cbSampleRateChange() {
  const int highest = MaxBitRateIndex(cbSampleRate->currentIndex());
  // A lower maximum moves a slider beyond it back, which updates its label.
  trkBarBitrate->setMaximum(highest);
  trkbarMaxBitrate->setMaximum(highest);
}

void TConfigForm::chkDeleteSilenceClick() {
  SetEnabledWithLabels(edStartSector, chkDeleteSilence->isChecked());
  SetEnabledWithLabels(edEndSector, chkDeleteSilence->isChecked());
}

void TConfigForm::chkProxySrvClick() {
  SetEnabledWithLabels(edProxySrv, chkProxySrv->isChecked());
  SetEnabledWithLabels(edProxyPort, chkProxySrv->isChecked());
}

void TConfigForm::chkbPlaySoundClick() {
  edtSoundFile->setEnabled(chkbPlaySound->isChecked());
  btnBrowsSoundFile->setEnabled(chkbPlaySound->isChecked());
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
        ShowOffsetStatus(QString("No AccurateRip drive list: %1.").arg(FOffsetLookup->Detail()));
    }
  };
  FOffsetLookup->Start(Config->AccurateRipServer, vendor, product);
}

void TConfigForm::edtCharRep1Change(QLineEdit* edit) {
  const QString text = edit->text();
  if (text.isEmpty()) {
    edit->setText(" ");
  } else if (text.size() > 1) {
    // A character typed beside the one there replaces it.
    const int at = std::clamp(edit->cursorPosition() - 1, 0, int(text.size()) - 1);
    edit->setText(text.mid(at, 1));
  }
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

void TConfigForm::ShowFormatOptions() {
  const TFileFormat& format = FileFormat(cbOutputFormat->currentIndex());
  // Hidden groups keep their room, so the dialog keeps one size.
  for (auto [group, options] : {std::pair{gbLameOptions, TFormatOptions::Lame},
                                std::pair{gbFlacOptions, TFormatOptions::Flac},
                                std::pair{gbOpusOptions, TFormatOptions::Opus}}) {
    const bool shown = format.Options == options;
    QSizePolicy policy = group->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    group->setSizePolicy(policy);
    group->setVisible(shown);
  }
  chkWriteID3v2->setEnabled(format.Tags == TTagKind::Id3);
}
