#include "ui/MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "cddb/CDInfo.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "platform/AppInfo.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "platform/TextDecode.h"
#include "play/CDPlayback.h"
#include "play/Mp3Player.h"
#include "play/SoundPlay.h"
#include "play/XaudioPlayer.h"
#include "rip/DiscLoad.h"
#include "rip/ExtractJobs.h"
#include "settings/config.h"
#include "ui/About.h"
#include "ui/BatchPanel.h"
#include "ui/ConfigForm.h"
#include "ui/ConvProc.h"
#include "ui/ExtractCommand.h"
#include "ui/HealthStrip.h"
#include "ui/Icons.h"
#include "ui/MbWindowLookup.h"
#include "ui/MsgDisp.h"
#include "ui/OverwriteConfirm.h"
#include "ui/PlaybackControls.h"
#include "ui/RipVerdict.h"
#include "ui/StatusBarEx.h"
#include "ui/StatusPanels.h"
#include "ui/TrackBarEx.h"
#include "ui/TrackListView.h"
#include "ui/splash.h"

using namespace platform;

namespace {

constexpr uint32_t kNearWrap = 4294965296u;
// How long a close waits for the drives of a batch: a chunk and a lookup's deadline.
constexpr int kBatchStopMs = 30000;
const char* const kBuiltInGenres[] = {"Blues", "Classical", "Data",   "Folk",   "Jazz",      "Misc",
                                      "Rock",  "Country",   "Newage", "Reggae", "Soundtrack"};

QByteArray ReadWholeFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

uint32_t InitialLastPoll(uint32_t tickCount) {
  return (tickCount >= kNearWrap ? 1000u : tickCount) + 1200u;
}

bool PollDue(uint32_t tickCount, uint32_t& lastPoll) {
  if (uint32_t(tickCount - lastPoll) <= 2000u) return false;
  lastPoll = tickCount >= kNearWrap ? 1000u : tickCount;
  return true;
}

TMainForm::TMainForm(int driveCount, QWidget* parent)
    : QMainWindow(parent), DriveCount(driveCount), TickCount(&platform::TickCount) {
  setObjectName("MainForm");
  setWindowIcon(ProgramIcon());
  CreateActions();
  SetUpIconTheme(palette());
  ApplyThemeIcons(this);
  CreateMenus();
  CreateToolBars();
  CreateClientArea();
  CreateStatusBar();
  setAcceptDrops(true);

  FConfig = std::make_unique<TConfig>();
  Config = FConfig.get();
  Config->Load();
  PlaceWindow();

  LameCoder = std::make_unique<TLameCoder>();
  CDRIP = std::make_unique<TCDRIP>();
  CDRIP->SetCoder(LameCoder.get());
  CDInfo = std::make_unique<TMyCDInfo>();
  MbLookup = new TMbWindowLookup(*CDInfo, *this, actSubmitToMusicBrainz, this);
  CreatePlayback();
  SoundPlayer = std::make_unique<TSoundPlayer>();
  ConfirmOvwrtForm = new TConfirmOvwrtForm(this);
  DispForm = new TDispForm(this);
  ConvForm = new TConvForm(*CDRIP, *LameCoder, *ConfirmOvwrtForm, *DispForm, this);
  ConvForm->Session().CreateOutputFolder = CreateOutputFolder;
  ConvForm->Session().OnSectorHealth = [this](const TTrackHealth& health) {
    HealthStrip->ShowTrack(health);
  };
  CDRIP->OnProgress = [this](TCDRIP*, uint16_t percent) { ConvForm->SetProgress(percent); };
  LameCoder->OnProgress = [this](TLameCoder*, uint16_t percent) { ConvForm->SetProgress(percent); };

  WinState = wsStarting;
  LastPoll = InitialLastPoll(TickCount());
  NoDisc = true;
  DiscLoaded = true;
  StateTimer = new QTimer(this);
  StateTimer->setObjectName("StateTimer");
  StateTimer->setInterval(1000);
  connect(StateTimer, &QTimer::timeout, this, &TMainForm::StateTimerTimer);
  StateTimer->start();
}

TMainForm::~TMainForm() {
  StateTimer->stop();
  PlayerControl->Finish();
  TakeEditsIn();
  // With no disc in the view the fields are empty: saving them would hide the
  // names stored for the last disc.
  if (lvTrackList->topLevelItemCount() > 0 && !CDInfo->WriteLocalCDDB())
    FUnsaved << LastWriteError();
  if (!Config->Save()) FUnsaved << LastWriteError();
  // A settings folder that cannot be written must not lose them unnoticed.
  if (!FUnsaved.isEmpty())
    MessageBox("These could not be saved:\r\n" + FUnsaved.join("\r\n"), "Error!",
               MB_OK | MB_ICONERROR);
  if (Config == FConfig.get()) Config = nullptr;
}

// ---------------------------------------------------------------- layout

void TMainForm::CreateClientArea() {
  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(4, 4, 4, 4);

  auto* fields = new QHBoxLayout;
  auto addField = [client, fields](const char* caption, QWidget* field, int stretch) {
    auto* label = new QLabel(caption, client);
    label->setBuddy(field);
    fields->addWidget(label);
    fields->addWidget(field, stretch);
  };
  edArtist = new QLineEdit(client);
  edArtist->setObjectName("edArtist");
  edAlbum = new QLineEdit(client);
  edAlbum->setObjectName("edAlbum");
  cbCategory = new QComboBox(client);
  cbCategory->setObjectName("cbCategory");
  cbCategory->setEditable(true);
  for (const char* genre : kBuiltInGenres) cbCategory->addItem(genre);
  cbCategory->setCurrentIndex(-1);
  // Sized by a short genre, not the longest: at 640 pixels the names need the room.
  cbCategory->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbCategory->setMinimumContentsLength(8);
  edYear = new QLineEdit(client);
  edYear->setObjectName("edYear");
  edYear->setToolTip("The year, or the full date: 1999-04-21");
  edYear->setMaximumWidth(fontMetrics().horizontalAdvance("0000-00-00") + 12);
  edArtist->setToolTip("The album artist; a track's own artist is in its row");
  const auto discBox = [client](const char* name) {
    auto* box = new QSpinBox(client);
    box->setObjectName(name);
    box->setRange(0, 99);
    box->setSpecialValueText(" ");  // 0: not known
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setMaximumWidth(box->fontMetrics().horizontalAdvance("000") + 12);
    return box;
  };
  spDiscNumber = discBox("spDiscNumber");
  spDiscTotal = discBox("spDiscTotal");
  addField("Artist", edArtist, 3);
  addField("Album", edAlbum, 3);
  addField("Genre", cbCategory, 1);
  addField("Year", edYear, 0);
  addField("Disc", spDiscNumber, 0);
  addField("of", spDiscTotal, 0);
  layout->addLayout(fields);

  lvTrackList = new TTrackListView(client);
  lvTrackList->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lvTrackList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    pmenuTrackList->popup(lvTrackList->viewport()->mapToGlobal(pos));
  });
  lvTrackList->OnChanged = [this] { UpdateSelectionSummary(); };
  layout->addWidget(lvTrackList, 1);
  VerdictBar = new TRipVerdictBar(client);
  layout->addWidget(VerdictBar);
  HealthStrip = new THealthStrip(client);
  layout->addWidget(HealthStrip);

  auto* bottom = new QHBoxLayout;
  auto* speaker = new QLabel(client);
  speaker->setObjectName("Image1");
  speaker->setPixmap(
      QIcon::fromTheme("audio-volume-high", style()->standardIcon(QStyle::SP_MediaVolume))
          .pixmap(20, 20));
  speaker->setToolTip("Double click to adjust sound volume");
  speaker->installEventFilter(this);
  trkbarMasterVolume = new QSlider(Qt::Horizontal, client);
  trkbarMasterVolume->setObjectName("trkbarMasterVolume");
  trkbarMasterVolume->setRange(0, 100);
  trkbarMasterVolume->setMaximumWidth(100);
  trkbarMasterVolume->setEnabled(false);
  trkbarCD = new TTrackBarEx(client);
  trkbarCD->setObjectName("trkbarCD");
  trkbarCD->setRange(0, 255);
  trkbarCD->setEnabled(false);
  bottom->addWidget(speaker);
  bottom->addWidget(trkbarMasterVolume);
  bottom->addWidget(trkbarCD, 1);
  layout->addLayout(bottom);
  Batch = new TBatchPanel(
      {{actExtract, actRefreshCD, actPlay, actPause, actStop, actPreviousTrack, actNextTrack,
        actEjectCD, actCloseCD, actOpenDiscImage, actCloseDiscImage, cbCDRom, cbSpeed, trkbarCD},
       [this] {
         CDPlayback->StopForCommand();
         MbLookup->Stop();
       },
       [this] { NoDisc = DiscLoaded = true; },  // the next poll shows it
       [this](const QString& text) { ShowLookupStatus(text, false); }},
      client);
  layout->insertWidget(2, Batch);
  setCentralWidget(client);
}

void TMainForm::CreateStatusBar() {
  auto* bar = new TStatusBarEx(this);
  setStatusBar(bar);
  StatusPanels.Create(bar);
}

QString TMainForm::PanelText(int panel) const { return StatusPanels[panel]->text(); }

void TMainForm::PlaceWindow() {
  if (Config->WindowWidth < 640 || Config->WindowHeight < 480)
    resize(640, 480);
  else
    resize(Config->WindowWidth, Config->WindowHeight);
  if (Config->WindowLeft == 65535 || Config->WindowTop == 65535) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
  } else {
    move(Config->WindowLeft, Config->WindowTop);
  }
}

// ---------------------------------------------------------------- life cycle

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (Initialized) return;
  Initialized = true;
  try {
    FormShow();
  } catch (const std::exception& e) {
    MessageBox(QString::fromStdString(e.what()), kProgramName, MB_OK | MB_ICONERROR);
  }
}

void TMainForm::FormShow() {
  QApplication::setApplicationDisplayName(kProgramName);
  const QString startupSound = ProgramFolder() + "metal.mp3";
  PlayerControl->Start(QFileInfo::exists(startupSound) ? startupSound : QString("cdrip.ini"));
  const QString genreFile = ProgramFileForReading("Genre.txt");
  if (QFileInfo::exists(genreFile)) {
    QStringList genres;
    for (const QString& line : SplitLines(DecodeLines(ReadWholeFile(genreFile))))
      if (!line.trimmed().isEmpty()) genres << line.trimmed();
    cbCategory->clear();
    cbCategory->addItems(genres);
    cbCategory->setCurrentIndex(-1);
  }
  setWindowTitle(kProgramName);
  CDInfo->LocalFolder = Config->LocalCDDBFolder;

  FillDriveList();
  if (Config->nActive >= DriveCount || Config->nActive < 0) Config->nActive = 0;
  SelectDrive(Config->nActive);
  CDRIP->SetInit(true);
  Batch->Follow(*Config, Config->nActive, DriveNames);
}

void TMainForm::FillDriveList() {
  cbCDRom->clear();
  DriveNames = CDRIP->DriveNames();
  cbCDRom->addItems(DriveNames);
}

bool TMainForm::OpenDiscImage(const QString& path) {
  if (DrivesTaken()) return false;
  char message[1024] = "";
  const int index = CR_AddImage(path.toLocal8Bit().constData(), message, sizeof message);
  if (index < 0) {
    MessageBox(QString::fromUtf8(message), kProgramName, MB_OK | MB_ICONERROR);
    return false;
  }
  DriveCount = CR_GetNumCDROM();
  FillDriveList();
  Config->nActive = index;
  // As a choice in the drive list.
  try {
    SelectDrive(index);
  } catch (const ECDRIPError& e) {
    MessageBox(e.Message(), kProgramName, MB_OK | MB_ICONERROR);
    return false;
  }
  ReloadDisc();
  return true;
}

void TMainForm::actCloseDiscImageExecute() {
  if (DrivesTaken()) return;
  // The library keeps a drive that plays; closing it ends the play.
  CDPlayback->StopForCommand();
  QString error;
  if (!CDRIP->RemoveImage(cbCDRom->currentIndex(), error)) {
    MessageBox(error, kProgramName, MB_OK | MB_ICONERROR);
    return;
  }
  DriveCount = CR_GetNumCDROM();
  FillDriveList();
  Config->nActive = std::max(CR_GetActiveCDROM(), 0);
  actCloseDiscImage->setEnabled(false);
  try {
    if (DriveCount > 0) SelectDrive(Config->nActive);
  } catch (const ECDRIPError& e) {
    MessageBox(e.Message(), kProgramName, MB_OK | MB_ICONERROR);
  }
  ReloadDisc();
}

// A local disc image among the dragged files, or empty.
static QString DroppedImage(const QMimeData* data) {
  for (const QUrl& url : data->urls()) {
    const QString path = url.toLocalFile();
    for (const char* extension : {".cue", ".toc", ".nrg"})
      if (path.endsWith(extension, Qt::CaseInsensitive)) return path;
  }
  return QString();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedImage(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  const QString image = DroppedImage(event->mimeData());
  if (image.isEmpty()) return;
  event->acceptProposedAction();
  // Not inside the drag source's event: the message box of a broken image
  // would hold the file manager's drag.
  QTimer::singleShot(0, this, [this, image] { OpenDiscImage(image); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
  Batch->StopForClose(kBatchStopMs);
  Config->WindowLeft = x();
  Config->WindowTop = y();
  Config->WindowWidth = width();
  Config->WindowHeight = height();
  CDPlayback->StopForCommand();
  try {
    if (CDRIP->ApplyParameters() && !CDRIP->SaveSettings())
      FUnsaved << CdripIniPath() + ": the drive settings cannot be written";
  } catch (const ECDRIPError&) {
    // Parameters the library refuses are simply not stored.
  }
  event->accept();
}

// ---------------------------------------------------------------- drive and disc

void TMainForm::SelectDrive(int index) {
  CDPlayback->StopForCommand();
  CDRIP->SetCDRomNum(index);
  CDRIP->ReadParameters();
  Config->DriveParams = CDRIP->Params();
  cbCDRom->setCurrentIndex(index);
  cbSpeed->setCurrentIndex(SpeedIndexOf(Config->DriveParams.speed));
  actCloseDiscImage->setEnabled(CDRIP->IsImageDrive(index));
}

void TMainForm::cbCDRomChange(int index) {
  if (index == Config->nActive) return;
  Config->nActive = index;
  try {
    SelectDrive(index);
  } catch (const ECDRIPError& e) {
    MessageBox(e.Message(), kProgramName, MB_OK | MB_ICONERROR);
    return;
  }
  ReloadDisc();
}

void TMainForm::cbSpeedChange(int index) {
  if (index != SpeedIndexOf(Config->DriveParams.speed))
    Config->DriveParams.speed = SpeedOfIndex(index);
}

bool TMainForm::DrivesTaken() const {
  return WinState == wsExtracting || WinState == wsOptions || WinState == wsCDDBQuery ||
         Batch->HoldsDrives();
}

void TMainForm::StateTimerTimer() {
  if (DrivesTaken()) return;
  if (WinState == wsPlaying) Playback->Show(CDPlayback->Update());
  if (!PollDue(TickCount(), LastPoll)) return;
  if (CDRIP->IsUnitReady()) {
    if (NoDisc) {
      WinState = wsIdle;
      NoDisc = false;
      StatusPanels[0]->setText("Disc Inserted");
      ReloadDisc();
      DiscLoaded = true;
    }
  } else {
    if (DiscLoaded) {
      ReloadDisc();
      DiscLoaded = false;
    }
    StatusPanels[0]->setText("No Disc");
    NoDisc = true;
  }
}

void TMainForm::ReloadDisc() {
  edArtist->clear();
  edAlbum->clear();
  cbCategory->setCurrentText(QString());
  edYear->clear();
  spDiscNumber->setValue(0);
  spDiscTotal->setValue(0);
  lvTrackList->Clear();
  StatusPanels.ClearDisc();
  HealthStrip->Clear();
  VerdictBar->hide();
  MbLookup->Stop();
  if (!CDRIP->IsUnitReady()) {
    StatusPanels[0]->setText("No Disc");
    return;
  }
  StatusPanels[0]->setText("Disc Inserted");
  LoadDisc(*CDRIP, *CDInfo, Config->AutoLoadCDPlayerINI);
  const bool hadLocalEntry = CDInfo->HasLocalEntry();
  FillTrackList();
  if (Config->SelectAllTrack) lvTrackList->SetAllChecks([](bool) { return true; });
  MbLookup->DiscLoaded(hadLocalEntry);
}

void TMainForm::FillTrackList() {
  ShowDiscFields();
  lvTrackList->Fill(*CDInfo);
  StatusPanels.ShowDisc(*CDInfo);
  UpdateSelectionSummary();
}

void TMainForm::UpdateSelectionSummary() { StatusPanels.ShowSelection(*lvTrackList); }

void TMainForm::TakeEditsIn() {
  CommitOpenEditor(lvTrackList);
  CDInfo->Artist = edArtist->text();
  CDInfo->Album = edAlbum->text();
  CDInfo->Category = cbCategory->currentText();
  CDInfo->SetDate(edYear->text());
  CDInfo->DiscNumber = spDiscNumber->value();
  CDInfo->DiscTotal = spDiscTotal->value();
  lvTrackList->TakeTitlesIn(*CDInfo);
}

void TMainForm::ShowDiscFields() {
  // The start of a long name says more than its end.
  edArtist->setText(CDInfo->Artist);
  edArtist->setCursorPosition(0);
  edAlbum->setText(CDInfo->Album);
  edAlbum->setCursorPosition(0);
  cbCategory->setCurrentText(CDInfo->Category);
  edYear->setText(CDInfo->FullDate());
  spDiscNumber->setValue(CDInfo->DiscNumber);
  spDiscTotal->setValue(CDInfo->DiscTotal);
}

void TMainForm::ShowNames() {
  ShowDiscFields();
  lvTrackList->ShowTitles(*CDInfo);
}

QStringList TMainForm::ShownNames() const {
  QStringList names{edArtist->text(),          edAlbum->text(),      edYear->text(),
                    cbCategory->currentText(), spDiscNumber->text(), spDiscTotal->text()};
  for (int row = 0; row < lvTrackList->topLevelItemCount(); ++row)
    for (const int column : {TTrackListView::colTitle, TTrackListView::colArtist})
      names << lvTrackList->topLevelItem(row)->text(column);
  return names;
}

void TMainForm::ShowGenres(const QStringList& genres) {
  const QString current = cbCategory->currentText();
  cbCategory->clear();
  cbCategory->addItems(genres);
  cbCategory->setCurrentText(current);
}

void TMainForm::ShowLookupStatus(const QString& text, bool running) {
  auto* bar = static_cast<TStatusBarEx*>(statusBar());
  bar->SetBusy(running);
  if (text.isEmpty())
    bar->clearMessage();
  else
    bar->showMessage(text);
}

void TMainForm::ChangeCase(const std::function<QString(const QString&)>& convert) {
  TakeEditsIn();
  for (int i = 0; i < CDInfo->TrackCount; ++i)
    CDInfo->SetTrackTitle(i, convert(CDInfo->GetTrackTitle(i)));
  lvTrackList->ShowTitles(*CDInfo);
}

// ---------------------------------------------------------------- commands

void TMainForm::actReadPlayINIExecute() {
  CDInfo->ReadCDPlayerIni();
  FillTrackList();
}

void TMainForm::actWrtPlayINIExecute() {
  TakeEditsIn();
  if (!CDInfo->WriteCDPlayerIni())
    MessageBox("An unknown error occurred, \r\nSave CD information to CDPlayer.INI failed.",
               "Error!", MB_OK | MB_ICONERROR);
}

void TMainForm::actOpenOutputFolderExecute() {
  const QString folder = Config->OutputFolder;
  ShellOpen(QFileInfo(folder).isDir() ? folder : QString());
}

void TMainForm::actLaunchMP3PlayerExecute() {
  if (!LaunchMp3Player(Config->PlayerExecute, Config->PlayerParameter))
    MessageBox("No default MP3 Player installed.", "Error!", MB_OK | MB_ICONERROR);
}

void TMainForm::actHelpExecute() { ShellOpen(ProgramFolder() + "cadenzo.html"); }

void TMainForm::actOptionExecute() {
  Config->DriveParams = CDRIP->Params();
  Config->DriveParams.speed = SpeedOfIndex(cbSpeed->currentIndex());
  const int state = WinState;
  WinState = wsOptions;
  TConfig backup;
  backup.Assign(*Config);
  TConfigForm form(DriveNames, ConvForm->EncoderVersion(), this);
  if (form.exec() == QDialog::Accepted) {
    // Saved now: a crash or a kill must not take the user's choices with it.
    if (!Config->Save())
      MessageBox("The settings could not be saved:\r\n" + LastWriteError(), "Error",
                 MB_OK | MB_ICONERROR);
    CDInfo->LocalFolder = Config->LocalCDDBFolder;
    CDRIP->Params() = Config->DriveParams;
    // The drive keeps what was set for it when another one is chosen.
    CDRIP->ApplyParameters();
    cbSpeed->setCurrentIndex(SpeedIndexOf(Config->DriveParams.speed));
    if (Config->nActive != cbCDRom->currentIndex()) {
      try {
        SelectDrive(Config->nActive);
        // The list must show the disc that an extraction would now read (a
        // batch's drives are read when it gives them back).
        if (!Batch->HoldsDrives()) ReloadDisc();
      } catch (const ECDRIPError& e) {
        MessageBox(e.Message(), kProgramName, MB_OK | MB_ICONERROR);
      }
    }
  } else {
    Config->Assign(backup);
  }
  WinState = state;
  Batch->Follow(*Config, Config->nActive, DriveNames);
}

void TMainForm::actAboutExecute() {
  TAboutBox about(this);
  about.exec();
}

void TMainForm::actExtractExecute() { ExtractCheckedTracks(ExtractParts()); }

TExtractParts TMainForm::ExtractParts() {
  return {this,
          WinState,
          DriveCount,
          CDRIP.get(),
          CDInfo.get(),
          JobList,
          lvTrackList,
          HealthStrip,
          VerdictBar,
          ConvForm,
          DispForm,
          SoundPlayer.get(),
          [this] { TakeEditsIn(); }};
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched->objectName() == "Image1" && event->type() == QEvent::MouseButtonDblClick)
    actSoundVolume->trigger();
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- playback

void TMainForm::CreatePlayback() {
  CDPlayback = std::make_unique<TCDPlayback>(*CDRIP, *CDInfo, WinState);
  XaudioPlayer = new TXaudioPlayer(this);
  XaudioPlayer->setObjectName("XaudioPlayer");
  PlayerControl = std::make_unique<TPlayerControl>(*XaudioPlayer);
  Playback =
      new TPlaybackControls(*CDPlayback, *PlayerControl,
                            {actPlay, actPause, actStop, actPreviousTrack, actNextTrack, actEjectCD,
                             actCloseCD, actSoundVolume},
                            {lvTrackList, trkbarCD, trkbarMasterVolume, StatusPanels[0]}, this);
}
