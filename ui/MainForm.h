// TMainForm: the program's main window. It owns the ripping component, the
// encoder, the disc information, the conversion dialogs and the job list of
// the last extraction; it polls the drive, shows the disc and carries every
// command as one shared QAction. The units beside it hold the track list,
// the status panels, the player controls, the lookups and the Extract command.
// User-interface thread only.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "encode/FileParam.h"
#include "play/CDPlayback.h"
#include "settings/ConfigRules.h"
#include "ui/DiscNamesView.h"
#include "ui/ExtractCommand.h"
#include "ui/PlaybackControls.h"
#include "ui/StatusPanels.h"
#include "ui/TrackListView.h"
#include "ui/WindowState.h"

class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QSlider;
class QSpinBox;
class QTimer;
class QToolBar;
class TCDRIP;
class TConfig;
class TLameCoder;
class TMyCDInfo;
class TSoundPlayer;
class TTrackBarEx;
class TXaudioPlayer;
class TConvForm;
class TConfirmOvwrtForm;
class TDispForm;
class TMbWindowLookup;
class TPlaybackControls;
class THealthStrip;
class TRipVerdictBar;
class TBatchPanel;

// The first LastPoll value: the tick count (1000 within 2000 ms of the 32-bit
// wrap) plus 1200.
uint32_t InitialLastPoll(uint32_t tickCount);
// Whether more than 2000 ms passed since lastPoll, as an unsigned 32-bit
// difference; when so, lastPoll takes the tick count (1000 near the wrap).
bool PollDue(uint32_t tickCount, uint32_t& lastPoll);

class TMainForm : public QMainWindow, private TDiscNamesView {
  Q_OBJECT
 public:
  // Creates the settings and loads them; driveCount is the library's count.
  explicit TMainForm(int driveCount, QWidget* parent = nullptr);
  ~TMainForm() override;

  QString PanelText(int panel) const;
  // Adds the disc image as a drive and selects it; an image that does not
  // open is explained in a message box and not listed. False then.
  bool OpenDiscImage(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // A disc image dropped on the window opens as by File > Open Disc Image.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Tests reach the window's parts through it (tests/ui/MainFormAccess.h).
  friend struct TMainFormAccess;

  // Commands, shared by menus, toolbars and the track list's popup.
  QAction* actExtract;
  QAction* actRefreshCD;
  QAction* actReadPlayINI;
  QAction* actWrtPlayINI;
  QAction* actExit;
  QAction* actRenameTrack;
  QAction* actSelectAll;
  QAction* actSelectNone;
  QAction* actInvertSelect;
  QAction* actUpperCase;
  QAction* actLowerCase;
  QAction* actCapitalize;
  QAction* actOpenOutputFolder;
  QAction* actLaunchMP3Player;
  QAction* actReadRemoteCDDB;
  QAction* actMusicBrainzLookup;
  QAction* actSubmitToMusicBrainz;
  QAction* actGetServerList;
  QAction* actGetCategoryList;
  QAction* actOption;
  QAction* actSoundVolume;
  QAction* actHelp;
  QAction* actHomepage;
  QAction* actCheckVersion;
  QAction* actAbout;
  QAction* actPlay;
  QAction* actPause;
  QAction* actStop;
  QAction* actPreviousTrack;
  QAction* actNextTrack;
  QAction* actEjectCD;
  QAction* actCloseCD;
  QAction* actOpenDiscImage;
  QAction* actCloseDiscImage;

  QLineEdit* edArtist;
  QLineEdit* edAlbum;
  QLineEdit* edYear;  // the year or the full date
  QComboBox* cbCategory;
  QSpinBox* spDiscNumber;  // the disc's number of a set and the set's size; blank: not known
  QSpinBox* spDiscTotal;
  TTrackListView* lvTrackList;
  QMenu* pmenuTrackList;
  TStatusPanels StatusPanels;
  QComboBox* cbCDRom;
  QComboBox* cbSpeed;
  QSlider* trkbarMasterVolume;
  TTrackBarEx* trkbarCD;
  THealthStrip* HealthStrip;   // the last extraction's sector picture
  TRipVerdictBar* VerdictBar;  // how the last extraction went
  TBatchPanel* Batch;          // rip on insert: the drives side by side, the discs done
  QTimer* StateTimer;

  std::unique_ptr<TLameCoder> LameCoder;
  std::unique_ptr<TCDRIP> CDRIP;
  std::unique_ptr<TMyCDInfo> CDInfo;
  std::unique_ptr<TSoundPlayer> SoundPlayer;
  TXaudioPlayer* XaudioPlayer;
  std::unique_ptr<TCDPlayback> CDPlayback;
  std::unique_ptr<TPlayerControl> PlayerControl;
  TPlaybackControls* Playback;
  TConvForm* ConvForm;
  TConfirmOvwrtForm* ConfirmOvwrtForm;
  TDispForm* DispForm;
  TJobList JobList;
  TMbWindowLookup* MbLookup;

  int DriveCount;
  // Name of every drive, filled at first show.
  QStringList DriveNames;
  int WinState = wsStarting;
  uint32_t LastPoll = 0;
  bool NoDisc = true;
  bool DiscLoaded = true;
  bool Initialized = false;
  // The clock of the drive poll; tests replace it.
  std::function<uint32_t()> TickCount;
  // What the close could not write ("path: reason"), told before the end.
  QStringList FUnsaved;
  std::unique_ptr<TConfig> FConfig;

  // The record of each row, by row.
  const std::vector<TCDTrackInfo>& RowRecords() const { return lvTrackList->Records(); }
  void StateTimerTimer();
  // Another task has the drives: an extraction, the options dialog, a CDDB
  // query or a batch of discs.
  bool DrivesTaken() const;
  void ReloadDisc();
  void FillTrackList();
  void SelectDrive(int index);
  void UpdateSelectionSummary();
  void actExtractExecute();
  // The parts the Extract command works on.
  TExtractParts ExtractParts();

  // TDiscNamesView, for the lookups.
  QStringList ShownNames() const override;
  void TakeEditsIn() override;
  void ShowNames() override;
  void ShowGenres(const QStringList& genres) override;
  void ShowLookupStatus(const QString& text, bool running) override;
  QWidget* DialogParent() override { return this; }

  void CreateActions();
  void CreateMenus();
  void CreateToolBars();
  void CreateClientArea();
  void CreateStatusBar();
  void PlaceWindow();
  void FormShow();
  void FillDriveList();
  void ShowDiscFields();
  void ChangeCase(const std::function<QString(const QString&)>& convert);
  void cbCDRomChange(int index);
  void cbSpeedChange(int index);
  void actReadPlayINIExecute();
  void actWrtPlayINIExecute();
  void actOpenOutputFolderExecute();
  void actLaunchMP3PlayerExecute();
  void actHelpExecute();
  void actOptionExecute();
  void actAboutExecute();
  void actOpenDiscImageExecute();
  // Takes the selected image drive out of the list and of cdrip.ini.
  void actCloseDiscImageExecute();
  void CreatePlayback();
};
