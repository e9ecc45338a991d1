// TConfigForm: the "Configuration" dialog. Six tabs show the global settings
// (Config); OK validates the output folder and writes the controls back, the
// caller restores its backup on any other close. Created anew for each
// opening; user-interface thread only.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class TDriveOffsetLookup;

class TConfigForm : public QDialog {
  Q_OBJECT
 public:
  // driveNames: the drives the main window listed at start, in order;
  // encoderVersion: the encoder library's version text.
  TConfigForm(const QStringList& driveNames, const QString& encoderVersion,
              QWidget* parent = nullptr);
  ~TConfigForm() override;

  // Opens the help page at a topic; the desktop's handler unless replaced.
  std::function<bool(const QString& url)> OpenHelp;
  // Drive `index`'s INQUIRY vendor and product; false for an image or a
  // drive that does not answer. Asks the CD-reading library unless replaced.
  std::function<bool(int index, QString& vendor, QString& product)> DriveInquiry;

  QTabWidget* PageControl1;
  QPushButton* btnOK;
  QPushButton* btnCancel;
  QPushButton* btnHelp;

  // Output
  QComboBox* cbOutputFormat;
  QCheckBox* chkbNormalizeVolume;
  QSpinBox* seNormalizeFactor;
  QLineEdit* edtOutputFolder;
  QPushButton* btnOutFolderBrows;
  QCheckBox* chkbOpenOutputFolder;
  QComboBox* cbNamingRule;
  QCheckBox* chkCreatePlayList;
  QCheckBox* chkWriteLog;
  QCheckBox* chkWriteCueSheet;
  QCheckBox* chkRipHiddenTrack;
  // Encoder
  QComboBox* cbEncoder;
  QCheckBox* chkID3Tag;
  QComboBox* cbSampleRate;
  QToolButton* sbtnLamePresets;
  QMenu* pmLamePresets;
  QSlider* trkBarBitrate;
  QLabel* lbMinBitRate;
  QButtonGroup* ragrpMode;
  QCheckBox* chkbVBR;
  QCheckBox* chkbWrtVBRHrd;
  QSlider* trkbarMaxBitrate;
  QLabel* lbMaxBitRate;
  QComboBox* cbQuality;
  QSlider* trkbarVBRQuality;
  QSpinBox* seEncoderThreads;
  QLabel* lbVBRQuality;
  QCheckBox* chkbCRC;
  QCheckBox* chkbCopyright;
  QCheckBox* chkbOriginal;
  QCheckBox* chkbPrivate;
  // The output format's own settings: one page per format (WAV, MP3, FLAC,
  // Opus), the one of the format chosen on the Output tab in front.
  QStackedWidget* swFormatOptions;
  QGroupBox* gbLameOptions;
  QGroupBox* gbFlacOptions;
  QSpinBox* seFlacLevel;
  QGroupBox* gbOpusOptions;
  QSpinBox* seOpusBitRate;
  QCheckBox* chkWriteID3v2;
  QCheckBox* chkReplayGain;
  QCheckBox* chkEmbedCover;
  // CD-ROM
  QComboBox* cbActiveCDROM;
  QComboBox* cbDriveType;
  QComboBox* cbSpeed;
  QCheckBox* chkDeleteSilence;
  QLineEdit* edStartSector;
  QLineEdit* edEndSector;
  QCheckBox* chkSwapChannel;
  QCheckBox* chkJitterCorrect;
  QCheckBox* chkEjectCD;
  QCheckBox* chkAutoRip;
  QCheckBox* chkAutoRipEveryDrive;
  QCheckBox* chkLockCD;
  QCheckBox* chkSelectAllTrack;
  QCheckBox* chkUseNTSCSILibrary;
  QSpinBox* seReadOffset;
  QPushButton* btnDetectOffset;
  QLabel* lblOffsetStatus;
  QCheckBox* chkTestAndCopy;
  // CDDB
  QComboBox* cbServerName;
  QLineEdit* edQueryScript;
  QCheckBox* chkProxySrv;
  QLineEdit* edProxySrv;
  QLineEdit* edProxyPort;
  QLineEdit* edLocalCDDB;
  QPushButton* btnBrsLCDDBPath;
  QLineEdit* edEmailAddress;
  QLineEdit* edMusicBrainzServer;
  QCheckBox* chkAutoLookup;
  QLineEdit* edAccurateRipServer;
  QLineEdit* edCtdbServer;
  QLineEdit* edCoverArtServer;
  // Misc
  QCheckBox* chkAutoLoadCDPlayerINI;
  QCheckBox* chkbOverwritePrompt;
  QCheckBox* chkbPlaySound;
  QLineEdit* edtSoundFile;
  QPushButton* btnBrowsSoundFile;
  QLineEdit* edtID3TagComment;
  QLineEdit* edtCharRep[10];
  // MP3 Player
  QLineEdit* edPlayerExecute;
  QPushButton* Button3;
  QLineEdit* edPlayerParameter;

  bool Shown() const { return shown; }

  void LoadControls();
  // Stores every control's value in Config.
  void ApplyControls();
  void ApplyPreset(int preset);

  void btnOKClick();
  void btnHelpClick();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* CreateOutputTab();
  QWidget* CreateEncoderTab();
  QWidget* CreateCDROMTab();
  QWidget* CreateCDDBTab();
  QWidget* CreateMiscTab();
  QWidget* CreatePlayerTab();
  void FormShow();
  void trkBarBitrateChange();
  void trkbarVBRQualityChange();
  void SetEnabledWithLabels(QWidget* control, bool enabled);
  void chkbVBRClick();
  // Shows the Encoder tab's controls of the format chosen on the Output tab.
  void ShowFormatOptions();
  void cbSampleRateChange();
  void chkDeleteSilenceClick();
  void chkProxySrvClick();
  void chkbPlaySoundClick();
  void chkUseNTSCSILibraryClick(bool checked);
  // Looks the chosen drive's read offset up in the AccurateRip list and puts
  // it in the box; the setting changes only with OK.
  void btnDetectOffsetClick();
  void ShowOffsetStatus(const QString& text);
  void sbtnLamePresetsClick();
  void edtCharRep1Change(QLineEdit* edit);
  void ChooseFolder(QLineEdit* edit);
  void ChooseFile(QLineEdit* edit, const QString& name, const QString& filter,
                  const QString& suffix, bool executables);

  QStringList FDriveNames;
  std::unique_ptr<TDriveOffsetLookup> FOffsetLookup;
  QString FEncoderVersion;
  bool shown = false;
};
