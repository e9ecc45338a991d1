// The main window's parts as its tests reach them: the window keeps them
// private, and this friend hands out references for one statement.
#pragma once

#include "ui/MainForm.h"

struct TMainFormAccess {
  explicit TMainFormAccess(TMainForm& form)
      : Form(form),
        actExtract(form.actExtract),
        actRefreshCD(form.actRefreshCD),
        actReadPlayINI(form.actReadPlayINI),
        actWrtPlayINI(form.actWrtPlayINI),
        actRenameTrack(form.actRenameTrack),
        actSelectAll(form.actSelectAll),
        actSelectNone(form.actSelectNone),
        actInvertSelect(form.actInvertSelect),
        actUpperCase(form.actUpperCase),
        actLowerCase(form.actLowerCase),
        actCapitalize(form.actCapitalize),
        actLaunchMP3Player(form.actLaunchMP3Player),
        actMusicBrainzLookup(form.actMusicBrainzLookup),
        actSubmitToMusicBrainz(form.actSubmitToMusicBrainz),
        actReadRemoteCDDB(form.actReadRemoteCDDB),
        actGetServerList(form.actGetServerList),
        actGetCategoryList(form.actGetCategoryList),
        actOption(form.actOption),
        actAbout(form.actAbout),
        actPlay(form.actPlay),
        actStop(form.actStop),
        actNextTrack(form.actNextTrack),
        actEjectCD(form.actEjectCD),
        actOpenDiscImage(form.actOpenDiscImage),
        actCloseDiscImage(form.actCloseDiscImage),
        edArtist(form.edArtist),
        edAlbum(form.edAlbum),
        edYear(form.edYear),
        spDiscNumber(form.spDiscNumber),
        spDiscTotal(form.spDiscTotal),
        cbCategory(form.cbCategory),
        lvTrackList(form.lvTrackList),
        pmenuTrackList(form.pmenuTrackList),
        StatusPanels(form.StatusPanels),
        cbCDRom(form.cbCDRom),
        cbSpeed(form.cbSpeed),
        trkbarMasterVolume(form.trkbarMasterVolume),
        trkbarCD(form.trkbarCD),
        HealthStrip(form.HealthStrip),
        VerdictBar(form.VerdictBar),
        Batch(form.Batch),
        StateTimer(form.StateTimer),
        CDRIP(form.CDRIP),
        CDInfo(form.CDInfo),
        SoundPlayer(form.SoundPlayer),
        CDPlayback(form.CDPlayback),
        ConvForm(form.ConvForm),
        DispForm(form.DispForm),
        JobList(form.JobList),
        DriveNames(form.DriveNames),
        WinState(form.WinState),
        LastPoll(form.LastPoll),
        NoDisc(form.NoDisc),
        DiscLoaded(form.DiscLoaded),
        TickCount(form.TickCount) {}

  void StateTimerTimer() { Form.StateTimerTimer(); }
  void TakeEditsIn() { Form.TakeEditsIn(); }
  QStringList ShownNames() const { return Form.ShownNames(); }
  const std::vector<TCDTrackInfo>& RowRecords() const { return Form.RowRecords(); }

  TMainForm& Form;
  QAction*& actExtract;
  QAction*& actRefreshCD;
  QAction*& actReadPlayINI;
  QAction*& actWrtPlayINI;
  QAction*& actRenameTrack;
  QAction*& actSelectAll;
  QAction*& actSelectNone;
  QAction*& actInvertSelect;
  QAction*& actUpperCase;
  QAction*& actLowerCase;
  QAction*& actCapitalize;
  QAction*& actLaunchMP3Player;
  QAction*& actMusicBrainzLookup;
  QAction*& actSubmitToMusicBrainz;
  QAction*& actReadRemoteCDDB;
  QAction*& actGetServerList;
  QAction*& actGetCategoryList;
  QAction*& actOption;
  QAction*& actAbout;
  QAction*& actPlay;
  QAction*& actStop;
  QAction*& actNextTrack;
  QAction*& actEjectCD;
  QAction*& actOpenDiscImage;
  QAction*& actCloseDiscImage;
  QLineEdit*& edArtist;
  QLineEdit*& edAlbum;
  QLineEdit*& edYear;
  QSpinBox*& spDiscNumber;
  QSpinBox*& spDiscTotal;
  QComboBox*& cbCategory;
  TTrackListView*& lvTrackList;
  QMenu*& pmenuTrackList;
  TStatusPanels& StatusPanels;
  QComboBox*& cbCDRom;
  QComboBox*& cbSpeed;
  QSlider*& trkbarMasterVolume;
  TTrackBarEx*& trkbarCD;
  THealthStrip*& HealthStrip;
  TRipVerdictBar*& VerdictBar;
  TBatchPanel*& Batch;
  QTimer*& StateTimer;
  std::unique_ptr<TCDRIP>& CDRIP;
  std::unique_ptr<TMyCDInfo>& CDInfo;
  std::unique_ptr<TSoundPlayer>& SoundPlayer;
  std::unique_ptr<TCDPlayback>& CDPlayback;
  TConvForm*& ConvForm;
  TDispForm*& DispForm;
  TJobList& JobList;
  QStringList& DriveNames;
  int& WinState;
  uint32_t& LastPoll;
  bool& NoDisc;
  bool& DiscLoaded;
  std::function<uint32_t()>& TickCount;
};

inline TMainFormAccess Parts(TMainForm& form) { return TMainFormAccess(form); }
