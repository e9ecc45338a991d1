// The main window's CD playback offscreen, over the real CD-reading library
// with a generated disc image as its drive and the real player library: Play
// makes sound (captured through a test ALSA configuration) and shows the
// position, the seek bar, the start-up sound, the master volume slider
// against a real PulseAudio server, and a screenshot while playing.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "MainFormAccess.h"
#include "Screenshot.h"
#include "WindowTest.h"
#include "cddb/CDInfo.h"
#include "common/DiscImage.h"
#include "common/SoundOutput.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "libs/cdrip/cdrip.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "ui/TrackBarEx.h"

using namespace testutil;

namespace {

class MainFormPlayback : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    FImage = MakeDiscImage(FTemp.File("disc"), "play", {40, 600, 30});
    WriteCdripIni(FTemp.File("cdrip.ini"), {FImage.CuePath});
  }

  // Starts the library and the window as the program does, shows it and
  // lets the first poll find the disc. The test ticks the state timer itself.
  void Start() {
    ASSERT_NE(CR_Init(FTemp.File("cdrip.ini").toLocal8Bit().constData()), CDRIP_ERROR);
    FForm = std::make_unique<TMainForm>(CR_GetNumCDROM());
    Parts(*FForm).StateTimer->stop();
    Parts(*FForm).TickCount = [this] { return FTick; };
    Parts(*FForm).LastPoll = InitialLastPoll(FTick);
    FForm->show();
    FTick = Parts(*FForm).LastPoll + 2001;
    Parts(*FForm).StateTimerTimer();
    ASSERT_EQ(Parts(*FForm).lvTrackList->topLevelItemCount(), 3);
  }
  // A state-timer tick between drive polls.
  void Tick() { Parts(*FForm).StateTimerTimer(); }
  void Select(int row) {
    Parts(*FForm).lvTrackList->setCurrentItem(Parts(*FForm).lvTrackList->topLevelItem(row));
  }
  // Ticks until the window is idle again after playing.
  bool PlaysToTheEnd() {
    return WaitFor(
        [this] {
          Tick();
          return Parts(*FForm).WinState == wsIdle;
        },
        20000);
  }

  TAlsaFileOutput FOutput;  // outlives the window, closed in TearDown
  TDiscImage FImage;
};

TEST_F(MainFormPlayback, PlayOnTheImageMakesItsSoundAndShowsThePosition) {
  platform::TScriptedMessageBoxes boxes;
  Start();
  Select(2);
  Parts(*FForm).actPlay->trigger();
  EXPECT_EQ(Parts(*FForm).WinState, wsPlaying);
  Tick();
  EXPECT_TRUE(FForm->PanelText(0).startsWith("Playing Track 03 - 00:0"))
      << FForm->PanelText(0).toStdString();
  EXPECT_EQ(Parts(*FForm).trkbarCD->maximum(), 30);
  ASSERT_TRUE(PlaysToTheEnd());
  EXPECT_EQ(FForm->PanelText(0), "Ready");
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), FImage.TrackPcm(3)));

  // A double click on a row plays it; Stop returns to idle at once.
  QTreeWidget* list = Parts(*FForm).lvTrackList;
  const QRect first = list->visualItemRect(list->topLevelItem(1));
  // The view takes a double click as the second press of a click pair.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
  EXPECT_EQ(Parts(*FForm).WinState, wsPlaying);
  EXPECT_EQ(Parts(*FForm).CDRIP->CurrentTrack(), 2);
  Parts(*FForm).actStop->trigger();
  EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
  EXPECT_NE(Parts(*FForm).CDRIP->AudioStatus() & 0xff, 0x11);
  // No sound volume here (no control device), and no message about it.
  EXPECT_TRUE(
      WaitFor([this] { return !Parts(*FForm).trkbarMasterVolume->toolTip().startsWith("Wait"); }));
  EXPECT_FALSE(Parts(*FForm).trkbarMasterVolume->isEnabled());
  EXPECT_TRUE(Parts(*FForm).trkbarMasterVolume->toolTip().startsWith("No mixer control: "))
      << Parts(*FForm).trkbarMasterVolume->toolTip().toStdString();
  EXPECT_TRUE(boxes.Asked().empty()) << boxes.Texts().join(" | ").toStdString();
}

TEST_F(MainFormPlayback, TheHeldSeekBarStaysAndItsReleasePlaysFromThere) {
  Start();
  Select(1);
  Parts(*FForm).actPlay->trigger();
  Tick();
  TTrackBarEx* bar = Parts(*FForm).trkbarCD;
  ASSERT_EQ(bar->maximum(), 600);
  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(4, bar->height() / 2));
  EXPECT_TRUE(Parts(*FForm).CDPlayback->Seeking);
  bar->setValue(450);
  Tick();
  EXPECT_EQ(bar->value(), 450) << "the timer leaves a held bar alone";
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(4, bar->height() / 2));
  EXPECT_FALSE(Parts(*FForm).CDPlayback->Seeking);
  int32_t relative = 0, absolute = 0;
  Parts(*FForm).CDRIP->GetPlayPosition(relative, absolute);
  EXPECT_GE(absolute, 40 + 450);
  Tick();
  EXPECT_GE(bar->value(), 450);

  // The keyboard holds and releases it the same way.
  bar->setFocus();
  QTest::keyPress(bar, Qt::Key_Home);
  EXPECT_TRUE(Parts(*FForm).CDPlayback->Seeking);
  QTest::keyRelease(bar, Qt::Key_Home);
  Parts(*FForm).CDRIP->GetPlayPosition(relative, absolute);
  EXPECT_LT(absolute, 40 + 450);

  // A click beside the handle plays from where it fell, not ten seconds on.
  QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * 3 / 4, bar->height() / 2));
  Parts(*FForm).CDRIP->GetPlayPosition(relative, absolute);
  EXPECT_NEAR(absolute - 40, 450, 40);

  // Closing while playing stops the sound at once.
  FForm->close();
  EXPECT_NE(Parts(*FForm).CDRIP->AudioStatus() & 0xff, 0x11);
  EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
  EXPECT_LT(FOutput.Captured().size(), FImage.TrackPcm(2).size());
}

TEST_F(MainFormPlayback, WithoutASoundDeviceNothingPretendsToPlayAndEjectRewindsTheBar) {
  Start();
  Select(1);
  {
    TTempFolder folder;
    TAlsaConfig noCard(folder.Path(), "pcm.!default { type hw card 97 }\n");
    Parts(*FForm).actPlay->trigger();
  }
  EXPECT_EQ(FForm->PanelText(0), "No sound device");
  EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
  EXPECT_NE(Parts(*FForm).CDRIP->AudioStatus() & 0xff, 0x11);

  Parts(*FForm).actPlay->trigger();
  ASSERT_EQ(Parts(*FForm).WinState, wsPlaying);
  ASSERT_TRUE(WaitFor([this] {
    Tick();
    return Parts(*FForm).trkbarCD->value() > 0;
  }));
  Parts(*FForm).actEjectCD->trigger();
  EXPECT_EQ(Parts(*FForm).trkbarCD->value(), 0);
}

TEST_F(MainFormPlayback, TheStartupSoundPlaysAtFirstShow) {
  QByteArray decoded;
  ASSERT_EQ(RunProgram("mpg123", {"-q", "-s", ProgramDir() + "/metal.mp3"}, &decoded), 0);
  ASSERT_TRUE(QFile::copy(ProgramDir() + "/metal.mp3", FTemp.File("metal.mp3")));
  Start();
  ASSERT_TRUE(WaitFor([&] { return FOutput.Captured().size() >= decoded.size(); }, 20000));
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), decoded));
}

TEST_F(MainFormPlayback, TheVolumeSliderMovesARealSoundServerAndFollowsIt) {
  TPulseServer server;
  ASSERT_TRUE(server.Ok()) << server.Log().toStdString();
  ASSERT_TRUE(server.SetSinkVolume(70));
  Start();
  QSlider* slider = Parts(*FForm).trkbarMasterVolume;
  ASSERT_TRUE(WaitFor([&] { return slider->isEnabled() && slider->value() == 70; }));
  slider->setValue(30);
  EXPECT_TRUE(WaitFor([&] { return server.SinkVolume() == 30; }));
  ASSERT_TRUE(server.SetSinkVolume(45));
  EXPECT_TRUE(WaitFor([&] { return slider->value() == 45; }));
  EXPECT_EQ(server.SinkVolume(), 45) << "following the server sends nothing back";
}

// Renders the window while it plays, for reviewing the look; the PNG lands in
// the build's screenshots folder (tests/app/screenshot prints it).
TEST_F(MainFormPlayback, ScreenshotWhilePlaying) {
  TPulseServer server;  // so the volume slider shows a level
  ASSERT_TRUE(server.Ok()) << server.Log().toStdString();
  Start();
  ASSERT_TRUE(WaitFor([this] { return Parts(*FForm).trkbarMasterVolume->isEnabled(); }));
  Parts(*FForm).edArtist->setText("The Demo Ensemble");
  Parts(*FForm).edAlbum->setText("Generated Tones");
  Parts(*FForm).actPlay->trigger();  // no row selected: the top row
  Parts(*FForm).actNextTrack->trigger();
  Parts(*FForm).CDPlayback->SeekTo(5 * 75);
  Tick();
  SaveScreenshot(*FForm, "main-window-playing");
  Parts(*FForm).actStop->trigger();
}

}  // namespace
