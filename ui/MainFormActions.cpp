// The main window's actions, its menus and its tool bars.
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include "disc/CDRIP.h"
#include "platform/AppInfo.h"
#include "platform/Folders.h"
#include "platform/Platform.h"
#include "settings/config.h"
#include "ui/CddbWindowLookup.h"
#include "ui/MainForm.h"
#include "ui/MbWindowLookup.h"
#include "ui/QryCDDB.h"

using namespace platform;

void TMainForm::CreateActions() {
  QStyle* style = this->style();
  auto make = [this, style](QAction*& action, const char* name, const QString& caption,
                            const QString& hint, const QKeySequence& shortcut,
                            QStyle::StandardPixmap image, void (TMainForm::*handler)()) {
    action = new QAction(caption, this);
    action->setObjectName(name);
    action->setToolTip(hint.isEmpty() ? caption.trimmed() : hint);
    action->setStatusTip(hint);
    action->setShortcut(shortcut);
    action->setIcon(style->standardIcon(image));
    if (handler) connect(action, &QAction::triggered, this, handler);
  };
  const QKeySequence none;
  make(actExtract, "actExtract", "Extract Track(s)...           ", "Extract audio track(s) from CD",
       Qt::Key_F9, QStyle::SP_DialogSaveButton, &TMainForm::actExtractExecute);
  make(actRefreshCD, "actRefreshCD", "Refresh", "Refresh track list", Qt::Key_F5,
       QStyle::SP_BrowserReload, nullptr);
  connect(actRefreshCD, &QAction::triggered, this, [this] {
    CDPlayback->StopForCommand();
    ReloadDisc();
  });
  make(actReadPlayINI, "actReadPlayINI", "Read from CDPlayer.ini",
       "Read disc information from CDPlayer.ini", none, QStyle::SP_DialogOpenButton,
       &TMainForm::actReadPlayINIExecute);
  make(actWrtPlayINI, "actWrtPlayINI", "Save to CDPlayer.ini",
       "Save disc information to CDPlayer.ini", none, QStyle::SP_DialogSaveButton,
       &TMainForm::actWrtPlayINIExecute);
  make(actExit, "actExit", "Exit", "Exit program", none, QStyle::SP_DialogCloseButton, nullptr);
  connect(actExit, &QAction::triggered, this, &QWidget::close);
  make(actRenameTrack, "actRenameTrack", "Edit Track Title              ", "Rename track",
       Qt::Key_F2, QStyle::SP_FileDialogDetailedView, nullptr);
  connect(actRenameTrack, &QAction::triggered, this, [this] { lvTrackList->EditCurrentTitle(); });
  make(actSelectAll, "actSelectAll", "Select All", "Select all tracks", QKeySequence("Ctrl+A"),
       QStyle::SP_DialogApplyButton, nullptr);
  connect(actSelectAll, &QAction::triggered, this,
          [this] { lvTrackList->SetAllChecks([](bool) { return true; }); });
  make(actSelectNone, "actSelectNone", "Select None", "Unselect all tracks", none,
       QStyle::SP_DialogDiscardButton, nullptr);
  connect(actSelectNone, &QAction::triggered, this,
          [this] { lvTrackList->SetAllChecks([](bool) { return false; }); });
  make(actInvertSelect, "actInvertSelect", "Invert Selection", "Invert selection",
       QKeySequence("Ctrl+I"), QStyle::SP_BrowserReload, nullptr);
  connect(actInvertSelect, &QAction::triggered, this,
          [this] { lvTrackList->SetAllChecks([](bool checked) { return !checked; }); });
  make(actUpperCase, "actUpperCase", "Upper Case", "Modify tracks title to uppercase", none,
       QStyle::SP_ArrowUp, nullptr);
  connect(actUpperCase, &QAction::triggered, this, [this] { ChangeCase(ToUpperAscii); });
  make(actLowerCase, "actLowerCase", "Lower Case", "Modify track title to lowercase", none,
       QStyle::SP_ArrowDown, nullptr);
  connect(actLowerCase, &QAction::triggered, this, [this] { ChangeCase(ToLowerAscii); });
  make(actCapitalize, "actCapitalize", "Capitalize", "Capitalize track title", none,
       QStyle::SP_ArrowRight, nullptr);
  connect(actCapitalize, &QAction::triggered, this, [this] { ChangeCase(CapitalizeAscii); });
  make(actOpenOutputFolder, "actOpenOutputFolder", "Open Output Folder", "Open Output Folder", none,
       QStyle::SP_DirOpenIcon, &TMainForm::actOpenOutputFolderExecute);
  make(actLaunchMP3Player, "actLaunchMP3Player", "Launch Default MP3 Player",
       "Launch the default mp3 player", none, QStyle::SP_MediaVolume,
       &TMainForm::actLaunchMP3PlayerExecute);
  make(actReadRemoteCDDB, "actReadRemoteCDDB", "Query Disc Information",
       "Query disc information from CDDB", Qt::Key_F8, QStyle::SP_DriveNetIcon, nullptr);
  connect(actReadRemoteCDDB, &QAction::triggered, this,
          [this] { RunCddbDialog(*this, *CDInfo, WinState, TQueryCDDBForm::mdQuery); });
  make(actMusicBrainzLookup, "actMusicBrainzLookup", "Look Up on MusicBrainz",
       "Look up disc information on MusicBrainz", QKeySequence("Ctrl+F8"), QStyle::SP_DriveNetIcon,
       nullptr);
  connect(actMusicBrainzLookup, &QAction::triggered, this, [this] { MbLookup->LookUp(); });
  make(actSubmitToMusicBrainz, "actSubmitToMusicBrainz", "Submit to MusicBrainz...",
       "Add the disc MusicBrainz does not know, in the browser", none, QStyle::SP_DriveNetIcon,
       nullptr);
  make(actGetServerList, "actGetServerList", "Get CDDB Server List", "Get CDDB server list", none,
       QStyle::SP_DriveNetIcon, nullptr);
  make(actGetCategoryList, "actGetCategoryList", "Get CDDB Category List", "Get CDDB category list",
       none, QStyle::SP_DriveNetIcon, nullptr);
  make(actOption, "actOption", "Configuration", "Configration", Qt::Key_F4,
       QStyle::SP_FileDialogListView, &TMainForm::actOptionExecute);
  make(actSoundVolume, "actSoundVolume", "Sound Volume Adjustment", "", none,
       QStyle::SP_MediaVolume, nullptr);
  make(actHelp, "actHelp", "Online Help", "Online help", Qt::Key_F1, QStyle::SP_DialogHelpButton,
       &TMainForm::actHelpExecute);
  make(actHomepage, "actHomepage", "Homepage", "", none, QStyle::SP_DirHomeIcon, nullptr);
  connect(actHomepage, &QAction::triggered, this, [] { ShellOpen(kHomepageUrl); });
  make(actCheckVersion, "actCheckVersion", "Check new version", "Check new version from our sites",
       none, QStyle::SP_BrowserReload, nullptr);
  connect(actCheckVersion, &QAction::triggered, this, [] { ShellOpen(kDownloadUrl); });
  make(actAbout, "actAbout", "About", "", none, QStyle::SP_MessageBoxInformation,
       &TMainForm::actAboutExecute);
  make(actPlay, "actPlay", "Play", "Play", none, QStyle::SP_MediaPlay, nullptr);
  make(actPause, "actPause", "Pause/Resume", "Pause/Resume", none, QStyle::SP_MediaPause, nullptr);
  make(actStop, "actStop", "Stop", "Stop", none, QStyle::SP_MediaStop, nullptr);
  make(actPreviousTrack, "actPreviousTrack", "Previous Track", "Previous Track", none,
       QStyle::SP_MediaSkipBackward, nullptr);
  make(actNextTrack, "actNextTrack", "Next Track", "Next Track", none, QStyle::SP_MediaSkipForward,
       nullptr);
  make(actEjectCD, "actEjectCD", "Eject CD", "Eject CD", none, QStyle::SP_ArrowUp, nullptr);
  make(actCloseCD, "actCloseCD", "Close CD", "Close CD", none, QStyle::SP_ArrowDown, nullptr);
  make(actOpenDiscImage, "actOpenDiscImage", "Open Disc Image...",
       "Open a disc image (.cue, .toc, .nrg) as a drive", QKeySequence("Ctrl+O"),
       QStyle::SP_DriveCDIcon, nullptr);
  connect(actOpenDiscImage, &QAction::triggered, this, [this] {
    // Where the last image or file was taken from, else the music folder.
    const QString start =
        QFileInfo(Config->LastOpenFolder).isDir() ? Config->LastOpenFolder : MusicFolder();
    const QString path = QFileDialog::getOpenFileName(
        this, "Open Disc Image", start, "Disc images (*.cue *.toc *.nrg);;All files (*)");
    if (path.isEmpty()) return;
    Config->LastOpenFolder = QFileInfo(path).absolutePath();
    OpenDiscImage(path);
  });
  make(actCloseDiscImage, "actCloseDiscImage", "Close Disc Image",
       "Take the selected disc image out of the drive list", none, QStyle::SP_DialogCloseButton,
       &TMainForm::actCloseDiscImageExecute);
  actCloseDiscImage->setEnabled(false);  // until an image drive is selected
  connect(actGetServerList, &QAction::triggered, this,
          [this] { RunCddbDialog(*this, *CDInfo, WinState, TQueryCDDBForm::mdServerList); });
  connect(actGetCategoryList, &QAction::triggered, this,
          [this] { RunCddbDialog(*this, *CDInfo, WinState, TQueryCDDBForm::mdCategoryList); });
}

void TMainForm::CreateMenus() {
  auto fill = [](QMenu* menu, std::initializer_list<QAction*> actions) {
    for (QAction* action : actions)
      if (action)
        menu->addAction(action);
      else
        menu->addSeparator();
  };
  QMenuBar* bar = menuBar();
  fill(bar->addMenu("&File"), {actOpenDiscImage, actCloseDiscImage, nullptr, actReadPlayINI,
                               actWrtPlayINI, nullptr, actExit});
  fill(bar->addMenu("&Edit"),
       {actRenameTrack, nullptr, actSelectAll, actSelectNone, actInvertSelect, nullptr,
        actUpperCase, actLowerCase, actCapitalize});
  fill(bar->addMenu("&Action"), {actExtract, nullptr, actRefreshCD, nullptr, actPlay, actPause,
                                 actStop, actPreviousTrack, actNextTrack, actCloseCD, actEjectCD,
                                 nullptr, actLaunchMP3Player, nullptr, actOpenOutputFolder});
  fill(bar->addMenu("&CDDB"), {actReadRemoteCDDB, actMusicBrainzLookup, actSubmitToMusicBrainz,
                               nullptr, actGetServerList, actGetCategoryList});
  fill(bar->addMenu("&Options"), {actOption, nullptr, actSoundVolume});
  fill(bar->addMenu("&Help"), {actHelp, nullptr, actHomepage, actCheckVersion, nullptr, actAbout});

  pmenuTrackList = new QMenu(this);
  pmenuTrackList->setObjectName("pmenuTrackList");
  fill(pmenuTrackList, {actPlay, actPause, actStop, nullptr, actExtract, actRenameTrack, nullptr,
                        actSelectAll, actSelectNone, actInvertSelect, nullptr, actRefreshCD});
  // The hints show as tooltips in menus too, not only on toolbar buttons.
  for (QMenu* menu : findChildren<QMenu*>()) menu->setToolTipsVisible(true);
}

void TMainForm::CreateToolBars() {
  QToolBar* main = addToolBar("Main");
  main->setObjectName("ToolBar1");
  main->setToolButtonStyle(Qt::ToolButtonIconOnly);
  for (QAction* action : {actExtract, static_cast<QAction*>(nullptr), actRefreshCD,
                          actReadRemoteCDDB, actMusicBrainzLookup, actLaunchMP3Player,
                          actOpenOutputFolder, static_cast<QAction*>(nullptr), actRenameTrack,
                          actUpperCase, static_cast<QAction*>(nullptr), actOption, actHelp})
    if (action)
      main->addAction(action);
    else
      main->addSeparator();
  actExtract->setIconText("Extract");
  qobject_cast<QToolButton*>(main->widgetForAction(actExtract))
      ->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

  addToolBarBreak();
  QToolBar* player = addToolBar("Player");
  player->setObjectName("ToolBar2");
  player->addActions(
      {actPreviousTrack, actPlay, actPause, actStop, actNextTrack, actEjectCD, actCloseCD});
  player->addSeparator();
  player->addWidget(new QLabel(" Device ", player));
  cbCDRom = new QComboBox(player);
  cbCDRom->setObjectName("cbCDRom");
  cbCDRom->setMinimumWidth(180);  // the player toolbar fits a 640-pixel window
  player->addWidget(cbCDRom);
  connect(cbCDRom, &QComboBox::activated, this, &TMainForm::cbCDRomChange);
  cbCDRom->setContextMenuPolicy(Qt::ActionsContextMenu);
  cbCDRom->addAction(actCloseDiscImage);
  player->addWidget(new QLabel(" Speed ", player));
  cbSpeed = new QComboBox(player);
  cbSpeed->setObjectName("cbSpeed");
  for (const char* name : kSpeedNames) cbSpeed->addItem(name);
  player->addWidget(cbSpeed);
  connect(cbSpeed, &QComboBox::activated, this, &TMainForm::cbSpeedChange);
}
