// The options dialog's other tabs: Output, CDDB with the online services,
// Misc and MP3 Player, with their reactions.
#include <QHBoxLayout>
#include <QSpinBox>
#include <QToolTip>
#include <QValidator>
#include <algorithm>

#include "encode/FileFormats.h"
#include "settings/config.h"
#include "ui/ConfigForm.h"
#include "ui/ConfigWidgets.h"

using namespace configform;

namespace {

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

}  // namespace

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
      "from the disc is replaced. <disc> stands for the disc's number of a set.");
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

  grid->setColumnStretch(1, 1);

  // The other servers a rip and its names use, apart from CDDB's.
  auto* services = new QGroupBox("Online Services", tab);
  services->setObjectName("gbOnlineServices");
  static_cast<QVBoxLayout*>(tab->layout())->insertWidget(1, services);
  grid = new QGridLayout(services);
  group = services;
  edMusicBrainzServer = MakeEdit(group, "edMusicBrainzServer");
  grid->addWidget(MakeLabel(group, "M&usicBrainz server", edMusicBrainzServer), 0, 0);
  grid->addWidget(edMusicBrainzServer, 0, 1);
  chkAutoLookup = MakeCheck(group, "chkAutoLookup",
                            "Look a new disc up on MusicBrainz when it has no local entry");
  grid->addWidget(chkAutoLookup, 1, 0, 1, 2);
  edAccurateRipServer = MakeEdit(group, "edAccurateRipServer");
  edAccurateRipServer->setToolTip(
      "Where rips are checked against other people's; empty: not at all.");
  grid->addWidget(MakeLabel(group, "&AccurateRip server", edAccurateRipServer), 2, 0);
  grid->addWidget(edAccurateRipServer, 2, 1);
  edCtdbServer = MakeEdit(group, "edCtdbServer");
  edCtdbServer->setToolTip(
      "The CUETools database: a second check of a rip and the data that repairs a damaged one; "
      "empty: not at all.");
  grid->addWidget(MakeLabel(group, "C&TDB server", edCtdbServer), 3, 0);
  grid->addWidget(edCtdbServer, 3, 1);
  edCoverArtServer = MakeEdit(group, "edCoverArtServer");
  edCoverArtServer->setToolTip(
      "Where the front cover of a release named by MusicBrainz is fetched; empty: never.");
  grid->addWidget(MakeLabel(group, "Co&ver art server", edCoverArtServer), 4, 0);
  grid->addWidget(edCoverArtServer, 4, 1);
  grid->setColumnStretch(1, 1);

  connect(chkProxySrv, &QCheckBox::toggled, this, &TConfigForm::chkProxySrvClick);
  return tab;
}

void TConfigForm::chkProxySrvClick() {
  SetEnabledWithLabels(edProxySrv, chkProxySrv->isChecked());
  SetEnabledWithLabels(edProxyPort, chkProxySrv->isChecked());
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

void TConfigForm::chkbPlaySoundClick() {
  edtSoundFile->setEnabled(chkbPlaySound->isChecked());
  btnBrowsSoundFile->setEnabled(chkbPlaySound->isChecked());
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
