// The main window's playback logic without the window: CD playback on a disc
// image drive through the real ripping component and CD-reading library, the
// mixer program, and the player component's start-up sound and master volume
// against the real player library.
#include <QDir>
#include <QFile>

#include "cddb/CDInfo.h"
#include "common/DiscImage.h"
#include "common/SoundOutput.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "libs/cdrip/cdrip.h"
#include "play/CDPlayback.h"
#include "play/XaudioPlayer.h"
#include "rip/DiscLoad.h"

using namespace testutil;

namespace {

class CDPlaybackTest : public ::testing::Test {
 protected:
  // Starts the library on the images and selects the first one.
  void Start(const QStringList& cues) {
    WriteCdripIni(FTemp.File("cdrip.ini"), cues);
    ASSERT_EQ(CR_Init(FTemp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    FCDRIP.SetCDRomNum(CR_GetNumCDROM() - int(cues.size()));
    ASSERT_TRUE(FCDInfo.LoadFromTOC(ReadDisc(FCDRIP)));
  }
  void Start(const std::vector<int>& trackSectors) {
    FImage = MakeDiscImage(FTemp.File("disc"), "disc", trackSectors);
    Start(QStringList{FImage.CuePath});
  }
  TCDTrackInfo Row(int trackIndex) {
    TCDTrackInfo record;
    record.TrackIndex = trackIndex;
    return record;
  }
  // Runs state-timer updates until the condition holds.
  bool UpdateUntil(const std::function<bool(const TPlayView&)>& condition) {
    return WaitFor([&] { return FState == TCDPlayback::kPlaying && condition(FPlayback.Update()); },
                   20000);
  }

  TTempFolder FTemp;
  TAlsaFileOutput FOutput;
  TDiscImage FImage;
  TCDRIP FCDRIP;
  TMyCDInfo FCDInfo;
  int FState = TCDPlayback::kIdle;
  TCDPlayback FPlayback{FCDRIP, FCDInfo, FState};
};

TEST_F(CDPlaybackTest, TracksStepOnAtTheirEndAndTheLastOneReturnsToReady) {
  Start({15, 15, 15});
  FPlayback.Play(nullptr);
  EXPECT_EQ(FState, TCDPlayback::kIdle) << "a row without a record plays nothing";
  const TCDTrackInfo second = Row(1);
  FPlayback.Play(&second);
  EXPECT_EQ(FState, TCDPlayback::kPlaying);
  EXPECT_EQ(FCDRIP.CurrentTrack(), 2);
  ASSERT_TRUE(UpdateUntil([this](const TPlayView& view) {
    // Stepping on shows nothing until the next tick says what plays.
    EXPECT_NE(view.Status, "Can't play.");
    return FCDRIP.CurrentTrack() == 3;
  }));
  TPlayView view;
  EXPECT_TRUE(WaitFor(
      [&] {
        view = FPlayback.Update();
        return FState == TCDPlayback::kIdle;
      },
      20000));
  EXPECT_EQ(view.Status, "Ready");
  EXPECT_EQ(FCDRIP.CurrentTrack(), 3);
  // Every sector of the two tracks reached the sound output, in order: the
  // last stream is track 3's.
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), FImage.TrackPcm(3)));
}

TEST_F(CDPlaybackTest, PreviousOnTheFirstAndNextOnTheLastTrackRestartThem) {
  Start({300, 300});
  const TCDTrackInfo first = Row(0);
  FPlayback.Play(&first);
  FPlayback.SeekTo(200);
  ASSERT_GE(FPlayback.Update().SeekPosition, 200);
  FPlayback.PreviousTrack();
  EXPECT_EQ(FCDRIP.CurrentTrack(), 1);
  TPlayView view = FPlayback.Update();
  EXPECT_LT(view.SeekPosition, 200);
  EXPECT_EQ(view.SeekMax, 300);

  FPlayback.NextTrack();
  FPlayback.NextTrack();
  EXPECT_EQ(FCDRIP.CurrentTrack(), 2);
  view = FPlayback.Update();
  EXPECT_TRUE(view.Status.startsWith("Playing Track 02 - 00:0")) << view.Status.toStdString();
  FPlayback.PauseResume();
  EXPECT_EQ(FCDRIP.AudioStatus() & 0xff, 0x12);
  FPlayback.PauseResume();
  EXPECT_EQ(FCDRIP.AudioStatus() & 0xff, 0x11);
  view = FPlayback.Stop();
  EXPECT_EQ(view.Status, "Ready");
  EXPECT_EQ(view.SeekPosition, 0);
  EXPECT_EQ(FState, TCDPlayback::kIdle);
  EXPECT_NE(FCDRIP.AudioStatus() & 0xff, 0x11);

  // Stopped, the steps start nothing the window would not follow.
  FPlayback.NextTrack();
  FPlayback.PreviousTrack();
  EXPECT_NE(FCDRIP.AudioStatus() & 0xff, 0x11);

  // Eject while playing stops first: nothing plays on the open tray.
  FPlayback.Play(&first);
  FPlayback.EjectCD();
  EXPECT_EQ(FState, TCDPlayback::kIdle);
  EXPECT_NE(FCDRIP.AudioStatus() & 0xff, 0x11);
  FPlayback.CloseCD();
}

TEST_F(CDPlaybackTest, TheHeldSeekBarIsLeftAloneAndItsReleasePlaysFromThere) {
  Start({40, 600});
  const TCDTrackInfo second = Row(1);
  FPlayback.Play(&second);
  FPlayback.SeekStart();
  TPlayView view = FPlayback.Update();
  EXPECT_EQ(view.SeekMax, 600);
  EXPECT_EQ(view.SeekPosition, -1);
  FPlayback.SeekTo(450);
  EXPECT_FALSE(FPlayback.Seeking);
  int32_t relative = 0, absolute = 0;
  FCDRIP.GetPlayPosition(relative, absolute);
  EXPECT_GE(absolute, 40 + 450);
  EXPECT_LT(absolute, 40 + 450 + 75);
  view = FPlayback.Update();
  EXPECT_GE(view.SeekPosition, 450);
  EXPECT_TRUE(view.Status.startsWith("Playing Track 02 - 00:0")) << view.Status.toStdString();
  EXPECT_GE(view.Status.right(1).toInt(), 6);
  // Its sound runs from there to the track's end.
  FCDRIP.PlaySection(40 + 590, 40 + 600);
  ASSERT_TRUE(WaitFor([&] { return (FCDRIP.AudioStatus() & 0xff) == 0x13; }, 20000));
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), FImage.SectorPcm(630, 640)));

  // Released while not playing, nothing happens and Seeking stays.
  FPlayback.Stop();
  FPlayback.SeekStart();
  FPlayback.SeekTo(10);
  EXPECT_TRUE(FPlayback.Seeking);
  EXPECT_NE(FCDRIP.AudioStatus() & 0xff, 0x11);
}

TEST_F(CDPlaybackTest, StatusMinutesWrapAtAnHour) {
  // Track 5 is over an hour long; its .bin is sparse, so the disc costs no space.
  const int trackStart = 40;
  const int sectors = trackStart + 3800 * 75;
  QFile bin(FTemp.File("long.bin"));
  ASSERT_TRUE(bin.open(QIODevice::WriteOnly));
  ASSERT_TRUE(bin.resize(qint64(sectors) * 2352));
  bin.close();
  QString cue = "FILE \"long.bin\" BINARY\n";
  for (int track = 1; track <= 5; ++track)
    cue += QString("  TRACK %1 AUDIO\n    INDEX 01 00:00:%2\n")
               .arg(track, 2, 10, QChar('0'))
               .arg((track - 1) * 10, 2, 10, QChar('0'));
  WriteFile(FTemp.File("long.cue"), cue.toUtf8());
  Start(QStringList{FTemp.File("long.cue")});
  ASSERT_EQ(FCDRIP.TrackCount(), 5);
  const TCDTrackInfo fifth = Row(4);
  FPlayback.Play(&fifth);
  FCDRIP.PlaySection(trackStart + 3725 * 75, sectors);
  EXPECT_EQ(FPlayback.Update().Status, "Playing Track 05 - 02:05");
}

// PATH holds only the given scripts, each writing its arguments to a file.
class TFakePrograms {
 public:
  explicit TFakePrograms(const QStringList& names) : FOldPath(qgetenv("PATH")) {
    for (const QString& name : names) {
      const QString path = FTemp.File(name);
      WriteFile(path, QString("#!/bin/sh\necho \"$0 $*\" > '%1.ran'\n").arg(path).toUtf8());
      QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("PATH", FTemp.Path().toUtf8());
  }
  ~TFakePrograms() { qputenv("PATH", FOldPath); }
  QString Ran(const QString& name) const {
    return QString::fromUtf8(ReadFile(FTemp.File(name) + ".ran")).trimmed();
  }

 private:
  TTempFolder FTemp;
  QByteArray FOldPath;
};

TEST(MixerProgram, PavucontrolElseAlsamixerInATerminalElseNothing) {
  {
    TFakePrograms programs({"pavucontrol", "alsamixer", "x-terminal-emulator"});
    ASSERT_TRUE(StartMixerProgram());
    EXPECT_TRUE(WaitFor([&] { return !programs.Ran("pavucontrol").isEmpty(); }));
  }
  {
    TFakePrograms programs({"alsamixer", "x-terminal-emulator"});
    ASSERT_TRUE(StartMixerProgram());
    EXPECT_TRUE(WaitFor([&] { return !programs.Ran("x-terminal-emulator").isEmpty(); }));
    EXPECT_TRUE(programs.Ran("x-terminal-emulator")
                    .endsWith("-e " + QString::fromUtf8(qgetenv("PATH")) + "/alsamixer"));
  }
  TFakePrograms none({"alsamixer"});
  EXPECT_FALSE(StartMixerProgram());
}

// The player control over a real player; what it reports, in order.
class TPlayerControlProbe {
 public:
  explicit TPlayerControlProbe(const QString& library = "libxaudio.so") {
    FPlayer.SetXaudioPath(library);
    Control.OnMasterLevel = [this](int level) { Levels << level; };
    Control.OnVolumeAvailable = [this](bool available, const QString& reason) {
      Availability << (available ? QString("available") : reason);
    };
  }
  TXaudioPlayer& Player() { return FPlayer; }

 private:
  TXaudioPlayer FPlayer;  // before the control that uses it

 public:
  TPlayerControl Control{FPlayer};
  QList<int> Levels;
  QStringList Availability;
};

TEST(PlayerControl, PlaysTheStartupSoundOnceAndFindsNoMixerWithoutAControlDevice) {
  TAlsaFileOutput output;
  const QString sound = ProgramDir() + "/metal.mp3";
  QByteArray decoded;
  ASSERT_EQ(RunProgram("mpg123", {"-q", "-s", sound}, &decoded), 0);
  TPlayerControlProbe probe;
  bool closed = false;
  int opened = 0;
  const auto inputState = probe.Player().OnNotifyInputState;
  probe.Player().OnNotifyInputState = [&](TXaudioPlayer* sender, int32_t state) {
    opened += state == XA_INPUT_STATE_OPEN;
    closed |= state == XA_INPUT_STATE_CLOSED;
    inputState(sender, state);
  };
  probe.Control.Start(sound);
  ASSERT_TRUE(WaitFor([&] { return closed; }, 20000));
  EXPECT_EQ(opened, 1);
  EXPECT_TRUE(StartsWithThenSilence(output.Captured(), decoded));
  ASSERT_EQ(probe.Availability.size(), 1);
  EXPECT_TRUE(probe.Availability[0].startsWith("No mixer control: "))
      << probe.Availability[0].toStdString();
  EXPECT_TRUE(probe.Levels.isEmpty());
  probe.Control.SetMasterLevel(50);  // not sent: there is nothing to set
  probe.Control.Finish();
}

TEST(PlayerControl, AMissingLibraryOrSoundLeavesThePlayerIdleWithoutAMessage) {
  TAlsaFileOutput output;
  TPlayerControlProbe broken("/nonexistent/libxaudio.so");
  broken.Control.Start("cdrip.ini");
  EXPECT_EQ(broken.Availability,
            QStringList{"No sound output: Cannot Load Xaudio DLL (/nonexistent/libxaudio.so)"});
  broken.Control.SetMasterLevel(20);
  broken.Control.Finish();

  TPlayerControlProbe probe;
  bool refused = false;
  probe.Player().OnNotifyNack = [&](TXaudioPlayer*, int32_t command, int32_t) {
    refused |= command == XA_MSG_COMMAND_INPUT_OPEN;
  };
  probe.Control.Start(QDir::current().absoluteFilePath("no-such-cdrip.ini"));
  EXPECT_TRUE(WaitFor([&] { return refused; }));
  EXPECT_TRUE(output.Captured().isEmpty());
}

TEST(PlayerControl, TheMasterVolumeFollowsAndMovesARealSoundServer) {
  TPulseServer server;
  ASSERT_TRUE(server.Ok()) << server.Log().toStdString();
  ASSERT_TRUE(server.SetSinkVolume(64));
  TPlayerControlProbe probe;
  probe.Control.Start("cdrip.ini");
  ASSERT_TRUE(WaitFor([&] { return probe.Levels.contains(64); }));
  EXPECT_EQ(probe.Availability, QStringList{"available"});
  probe.Control.SetMasterLevel(30);
  EXPECT_TRUE(WaitFor([&] { return server.SinkVolume() == 30; }));
  ASSERT_TRUE(server.SetSinkVolume(45));
  EXPECT_TRUE(WaitFor([&] { return probe.Levels.endsWith(45); }));
}

}  // namespace
