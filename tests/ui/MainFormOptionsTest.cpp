// The options command of the main window offscreen, over the real CD-reading
// library with two generated disc images as its drives: the dialog opened by
// F4 with the drive polling paused, Cancel restoring every setting, OK
// handing the drive parameters back and switching the drive, and settings
// chosen in the dialog reaching the next extraction. Also renders each tab.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include "MainFormAccess.h"
#include "Screenshot.h"
#include "WindowTest.h"
#include "cddb/CDInfo.h"
#include "common/DiscImage.h"
#include "common/ModalDriver.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "libs/cdrip/cdrip.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "settings/config.h"
#include "ui/ConfigForm.h"

using namespace testutil;
using platform::TScriptedMessageBoxes;

namespace {

class OptionsTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    FFirst = MakeDiscImage(FTemp.File("disc"), "rip", {150, 225, 300});
    const TDiscImage second = MakeDiscImage(FTemp.File("disc2"), "other", {300, 300});
    WriteCdripIni(FTemp.File("cdrip.ini"), {FFirst.CuePath, second.CuePath});
    FOut = FTemp.File("out");
    ASSERT_TRUE(QDir().mkpath(FOut));
    TConfig saved;
    saved.OutputFolder = FOut;
    saved.OpenOutputFolder = false;
    saved.AccurateRipServer.clear();  // no test reaches the public server
    // The disc's log and sheet would ask to be replaced when a test rips twice.
    saved.WriteLog = false;
    saved.WriteCueSheet = false;
    ASSERT_TRUE(saved.Save());

    ASSERT_NE(CR_Init(FTemp.File("cdrip.ini").toLocal8Bit().constData()), CDRIP_ERROR);
    FForm = std::make_unique<TMainForm>(CR_GetNumCDROM());
    Parts(*FForm).StateTimer->stop();  // the test polls by itself
    Parts(*FForm).TickCount = [this] { return FTick; };
    Parts(*FForm).LastPoll = InitialLastPoll(FTick);
    FForm->show();
    Poll();
  }
  void Poll() {
    FTick = Parts(*FForm).LastPoll + 2001;
    Parts(*FForm).StateTimerTimer();
  }

  // Opens the dialog with F4's action and lets the handler act on it.
  void Configure(const std::function<void(TConfigForm&)>& handler) {
    TModalDriver driver;
    driver.Then("ConfigForm", [handler](QWidget* w) { handler(*qobject_cast<TConfigForm*>(w)); });
    Parts(*FForm).actOption->trigger();
    EXPECT_TRUE(driver.AllSeen());
    EXPECT_EQ(driver.Unexpected(), 0);
  }

  void Extract() {
    TModalDriver driver;
    driver.Then("ConvForm", [](QWidget*) {});
    Parts(*FForm).actExtract->trigger();
    EXPECT_TRUE(driver.AllSeen());
  }

  // Every setting as bytes: the registry values and those kept in memory only.
  QByteArray Snapshot() const {
    const QString path = FTemp.File("snapshot.reg");
    QFile::remove(path);
    platform::TRegistryStore store(path);
    TConfig copy(&store);
    copy.Assign(*Config);
    copy.Save();
    return ReadFile(path) + Config->SoundFile.toUtf8() + QByteArray::number(Config->nActive) +
           QByteArray::number(Config->nTransportLayer) +
           QByteArray(reinterpret_cast<const char*>(&Config->DriveParams),
                      sizeof Config->DriveParams);
  }

  TDiscImage FFirst;
  QString FOut;
};

TEST_F(OptionsTest, F4OpensTheDialogOnItsFirstTabWhilePollingPauses) {
  ASSERT_EQ(Parts(*FForm).lvTrackList->topLevelItemCount(), 3);
  for (int opening = 0; opening < 2; ++opening) {
    Configure([this](TConfigForm& form) {
      EXPECT_EQ(form.PageControl1->currentIndex(), 0);
      EXPECT_EQ(Parts(*FForm).WinState, wsOptions);
      EXPECT_EQ(form.cbActiveCDROM->count(), 2);
      EXPECT_EQ(form.cbActiveCDROM->itemText(1), "other.cue (image)");
      form.PageControl1->setCurrentIndex(3);
      form.reject();
    });
    EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
  }
}

TEST_F(OptionsTest, CancelRestoresEverySettingIncludingThePickersFolder) {
  const QString sounds = FTemp.File("sounds");
  ASSERT_TRUE(QDir().mkpath(sounds));
  WriteFile(sounds + "/done.wav", "RIFF");
  Config->LastOpenFolder = FTemp.Path();
  // The command takes the drive's parameters and the speed list in first.
  Config->DriveParams = Parts(*FForm).CDRIP->Params();
  Config->DriveParams.speed = SpeedOfIndex(Parts(*FForm).cbSpeed->currentIndex());
  const QByteArray before = Snapshot();
  const QByteArray cdripIni = ReadFile(FTemp.File("cdrip.ini"));

  TScriptedMessageBoxes boxes;
  TModalDriver driver;
  driver.Then("ConfigForm", [&](QWidget* w) {
    auto& form = *qobject_cast<TConfigForm*>(w);
    form.cbOutputFormat->setCurrentIndex(0);
    form.trkBarBitrate->setValue(3);
    form.edtOutputFolder->setText(FTemp.File("elsewhere"));
    form.cbSpeed->setCurrentIndex(7);
    form.cbActiveCDROM->setCurrentIndex(1);
    form.edtCharRep[2]->setText("_");
    form.chkUseNTSCSILibrary->setChecked(true);
    form.chkbPlaySound->setChecked(true);
    // Runs in the dialog's own loop: the picker, then Cancel.
    QTimer::singleShot(0, &form, [&form, sounds] {
      form.btnBrowsSoundFile->click();
      EXPECT_EQ(Config->LastOpenFolder, sounds);
      form.btnCancel->click();
    });
  });
  driver.Then("SoundFileDialog", [sounds](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(sounds + "/done.wav");
    static_cast<QDialog*>(dialog)->accept();
  });
  Parts(*FForm).actOption->trigger();
  EXPECT_TRUE(driver.AllSeen());
  EXPECT_EQ(boxes.Asked().size(), 1u);  // the restart note

  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(Config->LastOpenFolder, FTemp.Path());
  EXPECT_EQ(ReadFile(FTemp.File("cdrip.ini")), cdripIni);
  EXPECT_EQ(Parts(*FForm).cbCDRom->currentIndex(), 0);
  EXPECT_EQ(Parts(*FForm).CDRIP->CDRomNum(), 0);
  EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
}

TEST_F(OptionsTest, OkHandsTheDriveParametersBackAndSwitchesTheDrive) {
  Parts(*FForm).lvTrackList->topLevelItem(0)->setText(0, "Edited");
  Configure([](TConfigForm& form) {
    EXPECT_EQ(form.cbSpeed->currentIndex(), 0);
    form.cbSpeed->setCurrentIndex(6);  // 8x
    form.chkSwapChannel->setChecked(true);
    form.edLocalCDDB->setText("/srv/cddb");
    form.btnOK->click();
  });
  EXPECT_EQ(Parts(*FForm).CDInfo->LocalFolder, "/srv/cddb");
  EXPECT_EQ(Parts(*FForm).CDRIP->Params().speed, 8);
  EXPECT_EQ(Parts(*FForm).CDRIP->Params().swapChannels, -1);
  EXPECT_EQ(Parts(*FForm).cbSpeed->currentIndex(), 6);
  // The same drive: the list is left as it was.
  EXPECT_EQ(Parts(*FForm).lvTrackList->topLevelItem(0)->text(0), "Edited");

  Configure([](TConfigForm& form) {
    EXPECT_EQ(form.cbSpeed->currentIndex(), 6);
    form.chkDeleteSilence->setChecked(true);
    form.edStartSector->setText("3");
    form.cbActiveCDROM->setCurrentIndex(1);
    form.btnOK->click();
  });
  EXPECT_EQ(Config->nActive, 1);
  EXPECT_EQ(Parts(*FForm).cbCDRom->currentIndex(), 1);
  EXPECT_EQ(Parts(*FForm).CDRIP->CDRomNum(), 1);
  EXPECT_STREQ(Config->DriveParams.driveName, "other.cue (image)");
  EXPECT_EQ(Parts(*FForm).lvTrackList->topLevelItemCount(), 2);  // the new drive's disc

  // The first drive kept what was set for it.
  emit Parts(*FForm).cbCDRom->activated(0);
  EXPECT_EQ(Config->DriveParams.speed, 8);
  EXPECT_EQ(Config->DriveParams.startOffset, 3);
  EXPECT_EQ(Parts(*FForm).cbSpeed->currentIndex(), 6);
}

// The bytes of the ID3v2 tag at the front, 0 without one.
int Id3v2Size(const QByteArray& mp3) {
  if (!mp3.startsWith("ID3") || mp3.size() < 10) return 0;
  return 10 +
         ((mp3[6] & 0x7F) << 21 | (mp3[7] & 0x7F) << 14 | (mp3[8] & 0x7F) << 7 | (mp3[9] & 0x7F));
}

// The bit rate of an MPEG-1 layer III frame header at the start of the data,
// after an ID3v2 tag when there is one.
int FirstFrameBitRate(QByteArray mp3) {
  mp3.remove(0, Id3v2Size(mp3));
  if (mp3.size() < 4 || uint8_t(mp3[0]) != 0xFF || (uint8_t(mp3[1]) & 0xFE) != 0xFA) return -1;
  const int table[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  return table[uint8_t(mp3[2]) >> 4];
}

TEST_F(OptionsTest, FormatBitRateAndNamingChosenInTheDialogReachTheFiles) {
  Configure([](TConfigForm& form) {
    form.cbOutputFormat->setCurrentIndex(1);
    form.trkBarBitrate->setValue(8);  // 128 kbit/s
    form.chkbVBR->setChecked(false);
    form.cbNamingRule->setEditText("<number> - <title>");
    form.btnOK->click();
  });
  EXPECT_TRUE(Config->OnTheFly);
  // In the settings file at once, not only at exit: a crash keeps them.
  TConfig stored;
  stored.Load();
  EXPECT_EQ(stored.OutputFormat, 1);
  EXPECT_EQ(stored.NamingString, "<number> - <title>");
  Extract();
  const QByteArray mp3 = ReadFile(FOut + "/01 - Track01.mp3");
  EXPECT_EQ(FirstFrameBitRate(mp3), 128);
  // 4 s at 128 kbit/s, give or take a frame and the tag.
  const QByteArray third = ReadFile(FOut + "/03 - Track03.mp3");
  EXPECT_NEAR(double(third.size() - Id3v2Size(third)), 4 * 16000.0, 2000.0);

  Configure([](TConfigForm& form) {
    form.cbOutputFormat->setCurrentIndex(0);
    form.btnOK->click();
  });
  Extract();
  for (int track = 1; track <= 3; ++track) {
    const QString path = FOut + QString("/%1 - Track%1.wav").arg(track, 2, 10, QLatin1Char('0'));
    const QByteArray wav = ReadFile(path);
    EXPECT_TRUE(wav.startsWith("RIFF")) << track;
    EXPECT_EQ(wav.mid(44), FFirst.TrackPcm(track)) << track;
  }
}

// Renders each tab of the dialog for reviewing the look; the PNGs land in the
// build's screenshots folder (tests/app/screenshot prints where).
TEST_F(OptionsTest, ScreenshotOfEachOptionsTab) {
  const QPalette original = QApplication::palette();
  const auto restore = qScopeGuard([&original] { QApplication::setPalette(original); });
  const QString folder = ProgramDir() + "/../screenshots";
  ASSERT_TRUE(QDir().mkpath(folder));
  for (const bool dark : {false, true}) {
    QApplication::setPalette(dark ? testutil::DarkPalette() : original);
    TConfigForm form(Parts(*FForm).DriveNames, "Version 1.32,  Engine 3.100", FForm.get());
    form.show();
    QCoreApplication::processEvents();
    const char* const names[6] = {"output", "encoder", "cdrom", "cddb", "misc", "player"};
    const QSize size = form.size();
    for (int tab = 0; tab < 6; ++tab) {
      form.PageControl1->setCurrentIndex(tab);
      QCoreApplication::processEvents();
      EXPECT_EQ(form.size(), size) << "the dialog keeps one size";
      const QString file = QString("/%1options-%2.png").arg(dark ? "dark-" : "", names[tab]);
      ASSERT_TRUE(form.grab().toImage().save(folder + file));
    }
    // The Encoder tab of each output format.
    form.PageControl1->setCurrentIndex(1);
    const char* const formats[4] = {"wav", "mp3", "flac", "opus"};
    for (int format = 0; format < 4; ++format) {
      form.cbOutputFormat->setCurrentIndex(format);
      QCoreApplication::processEvents();
      EXPECT_EQ(form.size(), size);
      const QString file =
          QString("/%1options-encoder-%2.png").arg(dark ? "dark-" : "", formats[format]);
      ASSERT_TRUE(form.grab().toImage().save(folder + file));
    }
  }
}

}  // namespace
