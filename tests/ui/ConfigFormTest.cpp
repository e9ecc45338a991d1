// The options dialog offscreen over the global settings: loading, applying
// every control, the encoder reactions and presets, the input filters and
// corrections, the output folder check, server.txt, the pickers and help.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <tuple>

#include "common/ModalDriver.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "settings/ConfigRules.h"
#include "settings/config.h"
#include "ui/ConfigForm.h"
#include "verify/DriveOffsets.h"

using namespace testutil;
using platform::TScriptedMessageBoxes;

namespace {

class ConfigFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetProgramFolder(FTemp.Path());
    FConfig = std::make_unique<TConfig>();
    Config = FConfig.get();
    Config->OutputFolder = FTemp.Path();
  }
  void TearDown() override {
    FForm.reset();
    Config = nullptr;
    platform::SetProgramFolder(QString());
  }

  TConfigForm& Open(const QStringList& drives = {"Drive A", "Drive B"}) {
    FForm = std::make_unique<TConfigForm>(drives, "Version 1.32,  Engine 3.100");
    FForm->show();
    return *FForm;
  }
  // Types as a user would, through the edit's key handling.
  static void Type(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
  }
  // The focus leaves the edit.
  static void Leave(QWidget* edit) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit, &out);
  }

  TTempFolder FTemp;
  std::unique_ptr<TConfig> FConfig;
  std::unique_ptr<TConfigForm> FForm;
};

TEST_F(ConfigFormTest, OpensOnTheOutputTabWithEverySettingShown) {
  Config->OutputFormat = 0;
  Config->NormalizeFactor = 86;
  Config->NamingString = "<artist> - <title>";
  Config->BitRate = 4;
  Config->MaxBitRate = 11;
  Config->VBRQuality = 0;
  Config->EncoderThreads = 3;
  Config->Mode = 2;
  Config->nActive = 1;
  Config->DriveParams.driveType = 0x1203;  // the type is the low byte
  Config->DriveParams.speed = 8;
  Config->DriveParams.startOffset = -5;
  Config->ServerName = "my.server";
  Config->ReplaceStr = "ab";
  Config->Id3Comment = "rips";
  Config->WriteCueSheet = false;
  Config->AccurateRipServer = "http://ar.example.org";
  Config->CtdbServer = "http://ctdb.example.org";
  Config->CoverArtServer = "http://covers.example.org";
  TConfigForm& form = Open();

  EXPECT_TRUE(form.Shown());
  EXPECT_EQ(form.windowTitle(), "Configuration");
  EXPECT_EQ(form.PageControl1->currentIndex(), 0);
  QStringList tabs;
  for (int i = 0; i < form.PageControl1->count(); ++i) tabs << form.PageControl1->tabText(i);
  EXPECT_EQ(tabs, (QStringList{"Output", "Encoder", "CD-ROM", "CDDB", "Misc", "MP3 Player"}));
  EXPECT_TRUE(form.btnOK->isDefault());
  EXPECT_EQ(form.cbOutputFormat->currentText(), "WAVE Files(PCM WAV, *.wav)");
  EXPECT_EQ(form.seNormalizeFactor->value(), 86);
  EXPECT_EQ(form.cbNamingRule->count(), 10);
  EXPECT_EQ(form.cbNamingRule->currentText(), "<artist> - <title>");
  EXPECT_EQ(form.cbEncoder->count(), 1);
  EXPECT_EQ(form.cbEncoder->currentText(), "Lame MP3 Encoder Version 1.32,  Engine 3.100");
  // The value labels show their sliders from the start.
  EXPECT_EQ(form.lbMinBitRate->text(), "64KBits");
  EXPECT_EQ(form.lbMaxBitRate->text(), "224KBits");
  EXPECT_EQ(form.trkbarVBRQuality->value(), 9);
  EXPECT_EQ(form.lbVBRQuality->text(), "0");
  EXPECT_EQ(form.seEncoderThreads->value(), 3);
  EXPECT_EQ(form.ragrpMode->checkedId(), 2);
  EXPECT_EQ(form.cbActiveCDROM->count(), 2);
  EXPECT_EQ(form.cbActiveCDROM->currentText(), "Drive B");
  EXPECT_EQ(form.cbDriveType->currentText(), "IBM");
  EXPECT_EQ(form.cbSpeed->currentText(), "8x");
  EXPECT_EQ(form.edStartSector->text(), "-5");
  EXPECT_EQ(form.cbServerName->currentText(), "my.server");
  EXPECT_EQ(form.cbServerName->count(), 11);
  EXPECT_EQ(form.edtID3TagComment->text(), "rips");
  EXPECT_TRUE(form.chkWriteLog->isChecked());
  EXPECT_FALSE(form.chkWriteCueSheet->isChecked());
  EXPECT_TRUE(form.chkRipHiddenTrack->isChecked());
  EXPECT_EQ(form.edAccurateRipServer->text(), "http://ar.example.org");
  EXPECT_EQ(form.edCtdbServer->text(), "http://ctdb.example.org");
  EXPECT_EQ(form.edCoverArtServer->text(), "http://covers.example.org");
  QString shown;
  for (QLineEdit* edit : form.edtCharRep) shown += edit->text();
  EXPECT_EQ(shown, "ab-----() ");
  // Disabled: everything that depends on VBR, silence, proxy and sound.
  for (QWidget* w : std::initializer_list<QWidget*>{
           form.chkbWrtVBRHrd, form.trkbarMaxBitrate, form.cbQuality, form.trkbarVBRQuality,
           form.edStartSector, form.edEndSector, form.chkAutoRipEveryDrive, form.edProxySrv,
           form.edProxyPort, form.edtSoundFile, form.btnBrowsSoundFile})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_FALSE(form.edEmailAddress->isHidden());
  EXPECT_FALSE(form.edEmailAddress->toolTip().isEmpty());
}

TEST_F(ConfigFormTest, TheEncoderTabShowsTheControlsOfTheChosenFormat) {
  Config->OutputFormat = 2;
  Config->FlacLevel = 7;
  Config->OpusBitRate = 96;
  TConfigForm& form = Open();
  ASSERT_EQ(form.cbOutputFormat->count(), 4);
  EXPECT_EQ(form.cbOutputFormat->currentText(), "FLAC Files(Free Lossless Audio Codec, *.flac)");
  EXPECT_EQ(form.seFlacLevel->value(), 7);
  EXPECT_EQ(form.seOpusBitRate->value(), 96);
  // Each format's own settings stand where the MP3 encoder's do, and only they.
  form.PageControl1->setCurrentIndex(1);
  const QWidget* mp3Only[] = {form.cbEncoder, form.sbtnLamePresets, form.chkID3Tag,
                              form.gbLameOptions, form.chkWriteID3v2};
  const struct {
    int Format;
    QWidget* Own;
  } formats[] = {
      {2, form.gbFlacOptions}, {3, form.gbOpusOptions}, {0, nullptr}, {1, form.cbEncoder}};
  const int top = form.cbEncoder->mapTo(form.swFormatOptions, QPoint()).y();
  for (const auto& f : formats) {
    form.cbOutputFormat->setCurrentIndex(f.Format);
    QCoreApplication::processEvents();
    for (const QWidget* w : mp3Only) EXPECT_EQ(w->isVisible(), f.Format == 1) << f.Format;
    if (f.Own) {
      EXPECT_TRUE(f.Own->isVisible()) << f.Format;
      EXPECT_LE(f.Own->mapTo(form.swFormatOptions, QPoint()).y(), top + 20) << f.Format;
    }
  }
  form.cbOutputFormat->setCurrentIndex(3);
  form.seOpusBitRate->setValue(256);
  form.seFlacLevel->setValue(0);
  form.chkReplayGain->setChecked(false);
  form.chkWriteID3v2->setChecked(false);
  form.btnOK->click();
  EXPECT_EQ(Config->OutputFormat, 3);
  EXPECT_TRUE(Config->OnTheFly);
  EXPECT_EQ(Config->OpusBitRate, 256);
  EXPECT_EQ(Config->FlacLevel, 0);
  EXPECT_FALSE(Config->ReplayGain);
  EXPECT_FALSE(Config->WriteID3v2);
}

TEST_F(ConfigFormTest, OkStoresEveryChangedControl) {
  const QString folder = FTemp.File("new/and/deeper");
  TConfigForm& form = Open();
  form.cbOutputFormat->setCurrentIndex(0);
  form.chkbNormalizeVolume->setChecked(true);
  form.seNormalizeFactor->setValue(90);
  form.edtOutputFolder->setText("  " + folder + " ");
  form.chkbOpenOutputFolder->setChecked(false);
  form.cbNamingRule->setEditText(" <number> - <title>");
  form.chkCreatePlayList->setChecked(true);
  form.chkWriteLog->setChecked(false);
  form.chkRipHiddenTrack->setChecked(false);

  form.chkID3Tag->setChecked(false);
  form.cbSampleRate->setCurrentIndex(2);
  form.trkBarBitrate->setValue(5);
  form.ragrpMode->button(3)->click();
  form.chkbVBR->setChecked(true);
  form.chkbWrtVBRHrd->setChecked(true);
  form.trkbarMaxBitrate->setValue(12);
  form.cbQuality->setCurrentIndex(2);
  form.trkbarVBRQuality->setValue(2);
  form.seEncoderThreads->setValue(2);
  form.chkbCRC->setChecked(false);
  form.chkbCopyright->setChecked(true);
  form.chkbOriginal->setChecked(true);
  form.chkbPrivate->setChecked(true);

  form.cbActiveCDROM->setCurrentIndex(1);
  form.cbDriveType->setCurrentIndex(14);
  form.chkDeleteSilence->setChecked(true);
  Type(form.edStartSector, "12");
  Type(form.edEndSector, "34");
  form.cbSpeed->setCurrentIndex(5);
  form.chkSwapChannel->setChecked(true);
  form.chkJitterCorrect->setChecked(true);
  form.chkEjectCD->setChecked(true);
  form.chkAutoRip->setChecked(true);
  form.chkAutoRipEveryDrive->setChecked(true);
  form.chkLockCD->setChecked(true);
  form.chkSelectAllTrack->setChecked(false);
  TScriptedMessageBoxes boxes;
  boxes.Answer(platform::IDOK);
  boxes.Answer(platform::IDOK);
  form.chkUseNTSCSILibrary->setChecked(true);

  form.cbServerName->setEditText("  cddb.example.org ");
  form.edQueryScript->setText(" /cgi ");
  form.chkProxySrv->setChecked(true);
  form.edProxySrv->setText(" proxy ");
  Type(form.edProxyPort, "3128");
  form.edLocalCDDB->setText(" /var/cddb ");
  form.edEmailAddress->setText(" me@example.org ");
  form.edAccurateRipServer->setText(" ");  // no lookup
  form.edCtdbServer->setText(" ");
  form.edCoverArtServer->setText(" http://covers.example.org/ ");

  form.chkAutoLoadCDPlayerINI->setChecked(true);
  form.chkbOverwritePrompt->setChecked(false);
  form.chkbPlaySound->setChecked(true);
  form.edtSoundFile->setText("/s.wav ");
  form.edtID3TagComment->setText(" My rips");
  for (int i = 0; i < 10; ++i) form.edtCharRep[i]->setText(QString(QChar('a' + i)));
  form.edPlayerExecute->setText(" /usr/bin/player");
  form.edPlayerParameter->setText("--x ");

  form.btnOK->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  ASSERT_EQ(
      boxes.Texts(),
      (QStringList{"You have to restart Cadenzo before this setting takes into effect.",
                   "The output folder '" + folder + "' not existing, Do you want create it?"}));
  EXPECT_EQ(boxes.Asked()[0].Caption, "Information");
  EXPECT_EQ(boxes.Asked()[0].Flags, unsigned(platform::MB_OK | platform::MB_ICONINFORMATION));
  EXPECT_EQ(boxes.Asked()[1].Flags, unsigned(platform::MB_OKCANCEL | platform::MB_ICONQUESTION));
  EXPECT_TRUE(QFileInfo(folder).isDir());

  const TConfig& c = *Config;
  EXPECT_EQ(c.OutputFormat, 0);
  EXPECT_TRUE(c.NormalizeVolume);
  EXPECT_FALSE(c.OnTheFly);
  EXPECT_EQ(c.NormalizeFactor, 90);
  EXPECT_EQ(c.OutputFolder, folder);
  EXPECT_FALSE(c.OpenOutputFolder);
  EXPECT_EQ(c.NamingString, " <number> - <title>");
  EXPECT_TRUE(c.CreatePlayList);
  EXPECT_FALSE(c.EnableID3Tag);
  EXPECT_EQ(c.SampleRate, 2);
  EXPECT_EQ(c.BitRate, 5);
  EXPECT_EQ(c.Mode, 3);
  EXPECT_TRUE(c.VBR);
  EXPECT_TRUE(c.WriteVBRHeader);
  EXPECT_EQ(c.MaxBitRate, 12);
  EXPECT_EQ(c.Quality, 2);
  EXPECT_EQ(c.VBRQuality, 7);
  EXPECT_EQ(c.EncoderThreads, 2);
  EXPECT_FALSE(c.CRC);
  EXPECT_TRUE(c.Copyright);
  EXPECT_TRUE(c.Original);
  EXPECT_TRUE(c._Private);
  EXPECT_EQ(c.nActive, 1);
  EXPECT_EQ(c.DriveParams.driveType, 14);
  EXPECT_TRUE(c.DeleteSilence);
  EXPECT_EQ(c.DriveParams.startOffset, 12);
  EXPECT_EQ(c.DriveParams.endOffset, 34);
  EXPECT_EQ(c.DriveParams.speed, 12);
  EXPECT_EQ(c.DriveParams.swapChannels, -1);
  EXPECT_EQ(c.DriveParams.jitterCorrection, -1);
  EXPECT_EQ(c.DriveParams.lockTray, -1);
  EXPECT_TRUE(c.EjectCD);
  EXPECT_EQ(std::pair(c.AutoRip, c.AutoRipEveryDrive), std::pair(true, true));
  EXPECT_FALSE(c.SelectAllTrack);
  EXPECT_EQ(c.nTransportLayer, 1);
  EXPECT_EQ(c.ServerName, "cddb.example.org");
  EXPECT_EQ(c.QueryScript, "/cgi");
  EXPECT_TRUE(c.EnableProxy);
  EXPECT_EQ(c.ProxyServer, " proxy ");
  EXPECT_EQ(c.ProxyPort, 3128);
  EXPECT_EQ(c.LocalCDDBFolder, "/var/cddb");
  EXPECT_EQ(c.EmailAddress, "me@example.org");
  EXPECT_TRUE(c.AutoLoadCDPlayerINI);
  EXPECT_FALSE(c.OverwritePrompt);
  EXPECT_TRUE(c.PlaySound);
  EXPECT_EQ(c.SoundFile, "/s.wav ");
  EXPECT_EQ(c.Id3Comment, " My rips");
  EXPECT_EQ(c.ReplaceStr, "abcdefghij");
  EXPECT_EQ(c.PlayerExecute, " /usr/bin/player");
  EXPECT_EQ(c.PlayerParameter, "--x ");
  // The drive access reaches the CD library's file for its next start.
  EXPECT_EQ(platform::GetProfileInt(platform::CdripIniPath(), "CD-ROM", "nTransportLayer", 0), 1);
  TConfig reloaded;
  reloaded.Load();
  EXPECT_EQ(reloaded.nTransportLayer, 1);
  EXPECT_EQ(std::tuple(c.WriteLog, c.WriteCueSheet, c.RipHiddenTrack),
            std::tuple(false, true, false));
  EXPECT_EQ(c.AccurateRipServer, "");
  EXPECT_EQ(c.CtdbServer, "");
  EXPECT_EQ(c.CoverArtServer, "http://covers.example.org/");
}

TEST_F(ConfigFormTest, AnEmptyReplaceStrShowsTheInitialCharactersAndOkStoresThem) {
  TConfigForm& form = Open();
  form.btnOK->click();
  EXPECT_EQ(Config->ReplaceStr, "-------() ");
  EXPECT_TRUE(Config->OnTheFly);  // MP3 without normalising

  Config->ReplaceStr = "0123456789XY";  // only ten characters have an edit
  TConfigForm again({}, "");
  again.show();
  QString shown;
  for (QLineEdit* edit : again.edtCharRep) shown += edit->text();
  EXPECT_EQ(shown, "0123456789");
}

TEST_F(ConfigFormTest, ReplacementEditsRefuseReservedCharactersAndNeverStayEmpty) {
  TConfigForm& form = Open();
  QLineEdit* edit = form.edtCharRep[0];
  edit->setText("x");
  for (const char* typed : {"?", "*", "/", ":", "<", "=", ">", "\\", "|"}) {
    QTest::keyClicks(edit, typed);
    EXPECT_EQ(edit->text(), "x") << typed;
  }
  edit->insert("/");  // pasted
  EXPECT_EQ(edit->text(), "x");
  // Half an emoji would end up as a broken character in names.
  edit->insert(QString::fromUtf8("\xF0\x9F\x8E\xB5"));
  EXPECT_EQ(edit->text(), "x");
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(edit->text(), " ");
  // A character typed beside the one there takes its place.
  edit->setCursorPosition(1);
  QTest::keyClicks(edit, "_");
  EXPECT_EQ(edit->text(), "_");
  edit->clear();
  EXPECT_EQ(edit->text(), " ");
  form.btnOK->click();
  EXPECT_EQ(Config->ReplaceStr, " ------() ");
}

TEST_F(ConfigFormTest, BitRateSlidersKeepTheMaximumAtOrAboveTheMinimumWithVBR) {
  Config->BitRate = 8;
  Config->MaxBitRate = 8;
  TConfigForm& form = Open();
  form.trkBarBitrate->setValue(10);
  EXPECT_EQ(form.trkbarMaxBitrate->value(), 8);  // VBR off: stays
  EXPECT_EQ(form.lbMinBitRate->text(), "192KBits");
  EXPECT_EQ(form.lbMaxBitRate->text(), "128KBits");

  form.trkBarBitrate->setValue(8);
  form.chkbVBR->setChecked(true);
  form.trkBarBitrate->setValue(10);
  EXPECT_EQ(form.trkbarMaxBitrate->value(), 10);
  EXPECT_EQ(form.lbMaxBitRate->text(), "192KBits");
  form.trkbarMaxBitrate->setValue(3);  // dragged left of the bit rate
  EXPECT_EQ(form.trkbarMaxBitrate->value(), 10);

  form.trkbarVBRQuality->setValue(6);
  EXPECT_EQ(form.lbVBRQuality->text(), "3");
}

TEST_F(ConfigFormTest, OnlyBitRatesTheSampleRateHasReachTheSettings) {
  Config->SampleRate = 3;  // 22050 Hz: MPEG-2 stops at 160 kbit/s
  Config->BitRate = 13;
  Config->MaxBitRate = 12;
  TConfigForm& form = Open();
  for (QSlider* slider : {form.trkBarBitrate, form.trkbarMaxBitrate}) {
    EXPECT_EQ(slider->maximum(), 9);
    EXPECT_EQ(slider->value(), 9);
  }
  EXPECT_EQ(form.lbMinBitRate->text(), "160KBits");
  form.cbSampleRate->setCurrentIndex(1);
  EXPECT_EQ(form.trkBarBitrate->maximum(), 13);
  form.trkBarBitrate->setValue(12);
  form.trkbarMaxBitrate->setValue(4);
  // VBR ticked after the bit rate moved lifts the maximum to it.
  form.chkbVBR->setChecked(true);
  EXPECT_EQ(form.trkbarMaxBitrate->value(), 12);
  form.cbSampleRate->setCurrentIndex(3);
  EXPECT_EQ(form.lbMinBitRate->text(), "160KBits");
  EXPECT_EQ(form.lbMaxBitRate->text(), "160KBits");
  form.btnOK->click();
  EXPECT_EQ(Config->SampleRate, 3);
  EXPECT_EQ(Config->BitRate, 9);
  EXPECT_EQ(Config->MaxBitRate, 9);
}

TEST_F(ConfigFormTest, ARuleThatNamesNoTrackApartIsKeptOnlyWhenConfirmed) {
  TConfigForm& form = Open();
  form.PageControl1->setCurrentIndex(3);
  // Typed as it stands: no listed rule completes it.
  form.cbNamingRule->lineEdit()->clear();
  QTest::keyClicks(form.cbNamingRule->lineEdit(), "<artist>");
  EXPECT_EQ(form.cbNamingRule->currentText(), "<artist>");
  {
    TScriptedMessageBoxes boxes;
    boxes.Answer(platform::IDNO);
    form.btnOK->click();
    ASSERT_EQ(boxes.Asked().size(), 1u);
    EXPECT_TRUE(boxes.Asked()[0].Text.startsWith(
        "The naming rule '<artist>' holds neither <number> nor <title>"));
    EXPECT_EQ(boxes.Asked()[0].Flags,
              unsigned(platform::MB_YESNO | platform::MB_ICONWARNING | platform::MB_DEFBUTTON2));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.PageControl1->currentIndex(), 0);
    EXPECT_EQ(Config->NamingString, TConfig().NamingString) << "nothing applied";
  }
  {
    TScriptedMessageBoxes boxes;
    boxes.Answer(platform::IDYES);
    form.btnOK->click();
    EXPECT_EQ(boxes.Asked().size(), 1u);
    EXPECT_EQ(Config->NamingString, "<artist>");
  }
  TScriptedMessageBoxes boxes;
  form.cbNamingRule->setEditText("<artist>\\<NUMBER>");
  form.btnOK->click();
  EXPECT_TRUE(boxes.Asked().empty());
  EXPECT_EQ(Config->NamingString, "<artist>\\<NUMBER>");
}

TEST_F(ConfigFormTest, DisabledSlidersAreGreyUnderAThemeWithOneHighlight) {
  // Dark themes often give every colour group the same highlight.
  const QPalette original = QApplication::palette();
  QPalette dark(QColor(53, 53, 53));
  dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
  QApplication::setPalette(dark);
  const auto restore = qScopeGuard([&original] { QApplication::setPalette(original); });
  TConfigForm& form = Open();
  const QPalette look = form.trkbarMaxBitrate->palette();
  EXPECT_NE(look.color(QPalette::Disabled, QPalette::Highlight),
            look.color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(look.color(QPalette::Disabled, QPalette::Highlight),
            look.color(QPalette::Disabled, QPalette::WindowText));
}

TEST_F(ConfigFormTest, VBRSwitchesItsFourControls) {
  TConfigForm& form = Open();
  const std::initializer_list<QWidget*> vbrControls = {form.chkbWrtVBRHrd, form.trkbarMaxBitrate,
                                                       form.cbQuality, form.trkbarVBRQuality};
  for (bool on : {true, false, true}) {
    form.chkbVBR->click();
    ASSERT_EQ(form.chkbVBR->isChecked(), on);
    for (QWidget* w : vbrControls) EXPECT_EQ(w->isEnabled(), on) << w->objectName().toStdString();
    // Their labels read as disabled with them.
    for (QLabel* label : form.findChildren<QLabel*>())
      if (label->buddy() == form.trkbarMaxBitrate) {
        EXPECT_EQ(label->isEnabled(), on);
      }
    EXPECT_EQ(form.findChild<QLabel*>("lbVBRQualityScale")->isEnabled(), on);
  }
  // The other reactions.
  form.chkDeleteSilence->click();
  EXPECT_TRUE(form.edStartSector->isEnabled());
  EXPECT_TRUE(form.edEndSector->isEnabled());
  form.chkProxySrv->click();
  EXPECT_TRUE(form.edProxySrv->isEnabled());
  EXPECT_TRUE(form.edProxyPort->isEnabled());
  form.chkbPlaySound->click();
  EXPECT_TRUE(form.edtSoundFile->isEnabled());
  EXPECT_TRUE(form.btnBrowsSoundFile->isEnabled());
}

struct TPresetCase {
  int SampleRate, BitRate, Mode;
  bool VBR;
  int Max, Quality, VBRQualityPosition;
};

TEST_F(ConfigFormTest, PresetsSetTheirControlsAndOkAppliesThem) {
  Config->SampleRate = 3;
  Config->BitRate = 2;
  Config->Mode = 1;
  Config->MaxBitRate = 5;
  Config->Quality = 3;
  Config->VBRQuality = 0;
  const QStringList captions = {"Near CD-Quality (44100Hz, 128Kbps, Stereo)",
                                "CD-Quality (44100Hz, 192Kbps, Stereo)",
                                "Near CD-Quality - VBR (44100Hz, 128Kbps, Stereo)",
                                "CD-Quality - VBR (44100Hz, 192Kbps, Stereo)"};
  // Unchanged controls keep what was loaded: max 5, quality "Voice", VBR slider 9.
  const TPresetCase expected[4] = {{1, 8, 0, false, 5, 3, 9},
                                   {1, 10, 0, false, 5, 3, 9},
                                   {1, 8, 0, true, 13, 0, 4},
                                   {1, 10, 0, true, 13, 2, 8}};
  for (int i = 0; i < 4; ++i) {
    TConfigForm& form = Open();
    const QList<QAction*> items = form.pmLamePresets->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[i]->text(), captions[i]);
    items[i]->trigger();
    const TPresetCase& e = expected[i];
    EXPECT_EQ(form.cbSampleRate->currentText(), "44100") << i;
    EXPECT_EQ(form.trkBarBitrate->value(), e.BitRate) << i;
    EXPECT_EQ(form.ragrpMode->checkedId(), e.Mode) << i;
    EXPECT_EQ(form.chkbVBR->isChecked(), e.VBR) << i;
    EXPECT_EQ(form.trkbarMaxBitrate->isEnabled(), e.VBR) << i;
    EXPECT_EQ(form.trkbarMaxBitrate->value(), e.Max) << i;
    EXPECT_EQ(form.cbQuality->currentIndex(), e.Quality) << i;
    EXPECT_EQ(form.trkbarVBRQuality->value(), e.VBRQualityPosition) << i;
    // Without the header players guess a VBR file's length.
    if (e.VBR) {
      EXPECT_TRUE(form.chkbWrtVBRHrd->isChecked()) << i;
    }
    EXPECT_EQ(Config->BitRate, 2) << "presets set controls only";
    form.btnOK->click();
    EXPECT_EQ(Config->SampleRate, e.SampleRate) << i;
    EXPECT_EQ(Config->BitRate, e.BitRate) << i;
    EXPECT_EQ(Config->VBRQuality, 9 - e.VBRQualityPosition) << i;
    EXPECT_EQ(Config->VBR, e.VBR) << i;
    Config->SampleRate = 3, Config->BitRate = 2, Config->Mode = 1, Config->VBR = false;
    Config->MaxBitRate = 5, Config->Quality = 3, Config->VBRQuality = 0;
  }
}

TEST_F(ConfigFormTest, NumberEditsTakeDigitsAndTheFactorIsCorrectedWhenLeft) {
  TConfigForm& form = Open();
  QSpinBox* factor = form.seNormalizeFactor;
  auto* factorText = factor->findChild<QLineEdit*>();
  for (auto [typed, shown] : {std::pair{"120", "80%"}, {"50", "80%"}, {"9x1", "91%"}}) {
    factorText->selectAll();
    QTest::keyClicks(factor, typed);
    Leave(factor);
    EXPECT_EQ(factor->text(), shown) << typed;
  }
  form.chkDeleteSilence->setChecked(true);
  form.chkProxySrv->setChecked(true);
  Type(form.edStartSector, "1a2-3 ");
  EXPECT_EQ(form.edStartSector->text(), "123");
  QTest::keyClick(form.edStartSector, Qt::Key_Backspace);
  EXPECT_EQ(form.edStartSector->text(), "12");
  Type(form.edProxyPort, "80.80");
  EXPECT_EQ(form.edProxyPort->text(), "8080");

  // The arrow keys step the factor by 2 within 80 to 100.
  factor->setValue(98);
  for (int value : {100, 100}) {
    QTest::keyClick(factor, Qt::Key_Up);
    EXPECT_EQ(factor->value(), value);
  }
  factor->setValue(81);
  for (int value : {80, 80}) {
    QTest::keyClick(factor, Qt::Key_Down);
    EXPECT_EQ(factor->value(), value);
  }
}

TEST_F(ConfigFormTest, EveryLabelOfAControlHasAMnemonicOfItsOwnOnItsTab) {
  TConfigForm& form = Open();
  // Labels, buttons and boxes alike: Alt+letter reaches one control per tab.
  for (int tab = 0; tab < form.PageControl1->count(); ++tab) {
    QSet<QChar> keys{u'h'};  // the Help button's
    for (const QObject* child : form.PageControl1->widget(tab)->findChildren<QObject*>()) {
      QString text;
      const auto* label = qobject_cast<const QLabel*>(child);
      if (label) text = label->text();
      if (auto* button = qobject_cast<const QAbstractButton*>(child)) text = button->text();
      if (auto* group = qobject_cast<const QGroupBox*>(child)) text = group->title();
      const qsizetype at = text.indexOf(u'&');
      if (label && label->buddy() &&
          std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); }))
        ASSERT_TRUE(at >= 0 && at + 1 < text.size() && text[at + 1].isLetter())
            << text.toStdString();
      if (at < 0 || at + 1 >= text.size()) continue;
      EXPECT_FALSE(keys.contains(text[at + 1].toLower()))
          << form.PageControl1->tabText(tab).toStdString() << ": " << text.toStdString();
      keys.insert(text[at + 1].toLower());
    }
  }
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(&form, Qt::Key_O, Qt::AltModifier);
  EXPECT_TRUE(form.edtOutputFolder->hasFocus());

  // On the format list Ctrl+PgDn turns the page and leaves the format; so
  // does Ctrl+Tab after the list's popup was closed with Esc.
  form.cbOutputFormat->setCurrentIndex(2);
  form.cbOutputFormat->setFocus();
  QTest::keyClick(form.cbOutputFormat, Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(form.PageControl1->currentIndex(), 1);
  EXPECT_EQ(form.cbOutputFormat->currentIndex(), 2);
  form.PageControl1->setCurrentIndex(0);
  form.cbOutputFormat->setFocus();
  form.cbOutputFormat->showPopup();
  QWidget* popup = QApplication::activePopupWidget();
  ASSERT_TRUE(popup);
  QTest::keyClick(popup, Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([] { return !QApplication::activePopupWidget(); }));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(form.PageControl1->currentIndex(), 1);
  EXPECT_EQ(form.cbOutputFormat->currentIndex(), 2);
}

TEST_F(ConfigFormTest, PastedTextThatIsNoNumber) {
  Config->NormalizeFactor = 92;
  TConfigForm& form = Open();
  form.chkbNormalizeVolume->setChecked(true);
  auto* factorText = form.seNormalizeFactor->findChild<QLineEdit*>();
  factorText->selectAll();
  factorText->insert("9five");  // pasted: refused whole
  EXPECT_EQ(form.seNormalizeFactor->text(), "92%");

  // Below 80 with OK pressed from the spin box is kept in range; offsets and
  // port fall back.
  TScriptedMessageBoxes boxes;
  factorText->selectAll();
  QTest::keyClicks(form.seNormalizeFactor, "5");
  ASSERT_EQ(form.seNormalizeFactor->text(), "5%");
  form.edStartSector->setText("x");
  form.edEndSector->setText("");
  form.edProxyPort->setText("99999");
  form.btnOK->click();
  EXPECT_TRUE(boxes.Texts().isEmpty());
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(Config->NormalizeFactor, 80);
  EXPECT_EQ(Config->DriveParams.startOffset, 0);
  EXPECT_EQ(Config->DriveParams.endOffset, 0);
  EXPECT_EQ(Config->ProxyPort, 8080);
}

TEST_F(ConfigFormTest, AnOutputFolderThatCannotBeCreatedKeepsTheDialogOpen) {
  WriteFile(FTemp.File("file"), "not a folder");
  const QString folder = FTemp.File("file/music");
  TConfigForm& form = Open();
  form.activateWindow();
  form.edtOutputFolder->setText(folder);
  form.chkCreatePlayList->setChecked(true);
  form.PageControl1->setCurrentIndex(4);
  {
    TScriptedMessageBoxes boxes;
    boxes.Answer(platform::IDCANCEL);
    form.btnOK->click();
    EXPECT_EQ(boxes.Asked().size(), 1u);
    EXPECT_TRUE(form.isVisible());
  }
  TScriptedMessageBoxes boxes;
  boxes.Answer(platform::IDOK);
  boxes.Answer(platform::IDOK);
  form.btnOK->click();
  ASSERT_EQ(boxes.Asked().size(), 2u);
  EXPECT_EQ(boxes.Asked()[1].Text, "The output folder '" + folder +
                                       "' could not be created: Not a directory. Please choose "
                                       "another one.");
  EXPECT_EQ(boxes.Asked()[1].Caption, "Error");
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.PageControl1->currentIndex(), 0);
  EXPECT_FALSE(Config->CreatePlayList);
  EXPECT_EQ(Config->OutputFolder, FTemp.Path());
}

TEST_F(ConfigFormTest, LongStoredTextsAndAHomeFolderSurviveOk) {
  Config->PlayerParameter = QString(300, 'p');
  Config->LocalCDDBFolder = "/" + QString(400, 'c');
  ASSERT_TRUE(QDir().mkpath(QDir::homePath() + "/Music"));
  TConfigForm& form = Open();
  form.edtOutputFolder->setText(" ~/Music");
  form.btnOK->click();
  EXPECT_EQ(Config->PlayerParameter, QString(300, 'p'));
  EXPECT_EQ(Config->LocalCDDBFolder, "/" + QString(400, 'c'));
  EXPECT_EQ(Config->OutputFolder, QDir::homePath() + "/Music");

  // A relative folder counts from home, not from where the program started.
  TConfigForm& again = Open();
  again.edtOutputFolder->setText("Music/rips");
  TScriptedMessageBoxes boxes;
  boxes.Answer(platform::IDOK);
  again.btnOK->click();
  EXPECT_EQ(Config->OutputFolder, QDir::homePath() + "/Music/rips");
  EXPECT_TRUE(QFileInfo(QDir::homePath() + "/Music/rips").isDir());
}

TEST_F(ConfigFormTest, ServerTxtReplacesTheBuiltInServersOnlyWithMoreThanFiveUsableLines) {
  const QByteArray five = "a.org http 80 /cgi\r\nb.org http 80 /cgi\r\nc\r\nd\r\ne\r\n";
  WriteFile(FTemp.File("server.txt"), five);
  Config->ServerName = "kept.org";
  EXPECT_EQ(Open().cbServerName->count(), 11);

  WriteFile(FTemp.File("server.txt"), five + "  f.org   http 80 /x\nhttp 80 at the start\n");
  TConfigForm& form = Open();
  QStringList servers;
  for (int i = 0; i < form.cbServerName->count(); ++i) servers << form.cbServerName->itemText(i);
  EXPECT_EQ(servers, (QStringList{"a.org", "b.org", "f.org"}));
  EXPECT_EQ(form.cbServerName->currentText(), "kept.org");

  WriteFile(FTemp.File("server.txt"), "garbage\n\x01\x02\n<html>\n\n\nno host here\n");
  EXPECT_EQ(Open().cbServerName->itemText(0), "gnudb.gnudb.org");
  EXPECT_EQ(FForm->cbServerName->count(), 11);
}

TEST_F(ConfigFormTest, OnlyTickingTheDriveAccessBoxAsksForARestart) {
  Config->nTransportLayer = 1;
  TScriptedMessageBoxes boxes;
  TConfigForm& form = Open();
  EXPECT_TRUE(form.chkUseNTSCSILibrary->isChecked());
  form.chkUseNTSCSILibrary->click();
  EXPECT_TRUE(boxes.Asked().empty());
  form.chkUseNTSCSILibrary->click();
  EXPECT_EQ(boxes.Asked().size(), 1u);
  form.chkUseNTSCSILibrary->click();
  form.btnOK->click();
  EXPECT_EQ(Config->nTransportLayer, 0);
  EXPECT_EQ(platform::GetProfileString(platform::CdripIniPath(), "CD-ROM", "nTransportLayer", "-"),
            "0");
}

TEST_F(ConfigFormTest, HelpOpensTheTopicOfTheTabInFront) {
  TConfigForm& form = Open();
  QStringList opened;
  form.OpenHelp = [&opened](const QString& url) {
    opened << url;
    return true;
  };
  for (int tab = 0; tab < 6; ++tab) {
    form.PageControl1->setCurrentIndex(tab);
    form.btnHelp->click();
  }
  const QString page = QUrl::fromLocalFile(FTemp.File("cadenzo.html")).toString();
  const QStringList anchors = {"options-output", "options-encoder", "options-cdrom",
                               "options-cddb",   "options-misc",    "options-player"};
  ASSERT_EQ(opened.size(), 6);
  const QByteArray help = ReadFile(ProgramDir() + "/cadenzo.html");
  for (int tab = 0; tab < 6; ++tab) {
    EXPECT_EQ(opened[tab], page + "#" + anchors[tab]);
    EXPECT_TRUE(help.contains(("id=\"" + anchors[tab] + "\"").toUtf8()))
        << anchors[tab].toStdString();
  }
}

TEST_F(ConfigFormTest, PickersFillTheirEditsAndTheFilePickerRemembersItsFolder) {
  const QString music = FTemp.File("music");
  ASSERT_TRUE(QDir().mkpath(music + "/sounds"));
  WriteFile(music + "/sounds/done.wav", "RIFF");
  TConfigForm& form = Open();
  {
    TModalDriver driver;
    driver.Then("SelectDirectoryDialog", [music](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      EXPECT_EQ(dialog->windowTitle(), "Select Directory");
      EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(music);
      static_cast<QDialog*>(dialog)->accept();
    });
    form.btnOutFolderBrows->click();
    EXPECT_TRUE(driver.AllSeen());
  }
  EXPECT_EQ(form.edtOutputFolder->text(), music);

  Config->LastOpenFolder = music + "/sounds";
  form.chkbPlaySound->setChecked(true);
  {
    TModalDriver driver;
    driver.Then("SoundFileDialog", [music](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      EXPECT_EQ(QDir(dialog->directory()).absolutePath(), music + "/sounds");
      EXPECT_TRUE(dialog->nameFilters().first().startsWith("Sound File ("));
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText("done.wav");
      static_cast<QDialog*>(dialog)->accept();
    });
    form.btnBrowsSoundFile->click();
    EXPECT_TRUE(driver.AllSeen());
  }
  EXPECT_EQ(form.edtSoundFile->text(), music + "/sounds/done.wav");
  EXPECT_EQ(Config->LastOpenFolder, music + "/sounds");
  EXPECT_EQ(Config->SoundFile, "");  // until OK

  // Any executable file serves as the player.
  const QString player = FTemp.File("bin/player");
  ASSERT_TRUE(QDir().mkpath(FTemp.File("bin")));
  WriteFile(player, "#!/bin/sh\n");
  QFile::setPermissions(player, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  {
    TModalDriver driver;
    driver.Then("PlayerFileDialog", [player](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      EXPECT_TRUE(dialog->filter().testFlag(QDir::Executable));
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(player);
      static_cast<QDialog*>(dialog)->accept();
    });
    form.Button3->click();
    EXPECT_TRUE(driver.AllSeen());
  }
  EXPECT_EQ(form.edPlayerExecute->text(), player);
  EXPECT_EQ(Config->LastOpenFolder, FTemp.File("bin"));
}

}  // namespace

namespace {

// Detect looks the chosen drive up in the list a loopback server gives and
// only offers the value: the setting changes with OK, a failure says why,
// and an image is not looked up at all.
TEST_F(ConfigFormTest, DetectOffersTheDrivesListedOffsetAndOnlyOkStoresIt) {
  QFile::remove(DriveOffsetsCachePath());
  QByteArray record("\x9b\x02PIONEER  - BD-RW   BDR-209D", 29);
  record = record.leftJustified(69, '\0');
  testutil::TTestServer server(testutil::TTestServer::Body(record));
  Config->AccurateRipServer = server.Url("/");
  Config->ReadOffset = -12;
  TConfigForm& form = Open();
  EXPECT_EQ(form.seReadOffset->value(), -12);
  QStringList asked;
  form.DriveInquiry = [&asked](int index, QString& vendor, QString& product) {
    asked << QString::number(index);
    vendor = "PIONEER";
    product = "BD-RW   BDR-209D";
    return index == 0;
  };
  form.cbActiveCDROM->setCurrentIndex(1);
  form.btnDetectOffset->click();
  EXPECT_TRUE(form.lblOffsetStatus->text().contains("does not name itself"));
  EXPECT_EQ(server.Requests.size(), 0);

  form.cbActiveCDROM->setCurrentIndex(0);
  form.btnDetectOffset->click();
  EXPECT_FALSE(form.btnDetectOffset->isEnabled()) << "the window waits for no answer";
  ASSERT_TRUE(WaitFor([&form] { return form.btnDetectOffset->isEnabled(); }));
  EXPECT_EQ(asked, (QStringList{"1", "0"}));
  EXPECT_EQ(form.seReadOffset->value(), 667);
  EXPECT_TRUE(form.lblOffsetStatus->text().contains("667"))
      << form.lblOffsetStatus->text().toStdString();
  EXPECT_EQ(Config->ReadOffset, -12) << "nothing is applied before OK";
  form.chkTestAndCopy->setChecked(true);
  form.btnOKClick();
  EXPECT_EQ(Config->ReadOffset, 667);
  EXPECT_TRUE(Config->TestAndCopy);
  QFile::remove(DriveOffsetsCachePath());

  // A server that refuses is told in the system's words, without a Windows number.
  Config->AccurateRipServer = "http://127.0.0.1:1/";
  const auto inquiry = form.DriveInquiry;
  TConfigForm& again = Open();
  again.DriveInquiry = inquiry;
  again.btnDetectOffset->click();
  ASSERT_TRUE(WaitFor([&again] { return again.btnDetectOffset->isEnabled(); }));
  EXPECT_TRUE(again.lblOffsetStatus->text().endsWith("Connection refused."))
      << again.lblOffsetStatus->text().toStdString();
}

}  // namespace
