// The conversion session with its encoders on worker threads, over the real
// ripping component and encoder: the files do not depend on how many encoders
// run, an abort leaves exactly what the answer says, a failing encoder fails
// its own job only, and the user-interface thread keeps running its timers.
// Every verdict holds whatever pace the encoders keep.
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

#include "common/DiscImage.h"
#include "common/SessionTestUtil.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "platform/MessageBox.h"
#include "rip/ConvSession.h"
#include "rip/JobEncoder.h"
#include "settings/config.h"

using testutil::ReadFile;

namespace {

class TParallelView : public TConvSessionView {
 public:
  void ShowStage(const QString& name) override {
    if (OnStage) OnStage(name);
  }
  void ShowProgress(int) override {}
  void ShowJob(const QString&, const QString&, const QString&) override {}
  int ConfirmOverwrite(const QString&, bool&) override {
    ADD_FAILURE() << "unexpected overwrite question";
    return orCancel;
  }
  void AddMessage(const QString& line) override { Messages << line; }
  void AddNote(const QString& line) override { Notes << line; }
  void ShowEncoders(const QString&, int overallPercent) override { LastOverall = overallPercent; }

  std::function<void(const QString& stage)> OnStage;
  QStringList Messages, Notes;
  int LastOverall = -1;
};

// Four tracks of 6 to 9 seconds: together past the encoders' memory budget.
const std::vector<int> kTrackSectors = {600, 450, 675, 525};

class ParallelSession : public ::testing::Test {
 protected:
  void SetUp() override {
    Config = &Settings;
    Image = testutil::MakeDiscImage(Temp.Path(), "disc", kTrackSectors);
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath});
    ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    CDRIP.SetCDRomNum(CR_GetNumCDROM() - 1);
    ASSERT_EQ(CDRIP.TrackCount(), int(kTrackSectors.size()));
    CDRIP.SetCoder(&Coder);
    Settings.EncoderThreads = 2;
  }
  void TearDown() override { Config = nullptr; }

  // One job per track, into the folder (created).
  void MakeJobs(const QString& folder) {
    Settings.OutputFolder = folder;
    ASSERT_TRUE(QDir().mkpath(folder));
    Jobs.clear();
    for (int i = 0; i < CDRIP.TrackCount(); ++i) {
      TFileParam job;
      job.RowIndex = i;
      job.TrackInfo.TrackIndex = i;
      job.TrackInfo.Title = job.Title = QString("Song %1").arg(i + 1);
      job.TrackInfo.Artist = "The Artist";
      job.OutputPath = QString("%1/%2.MP3").arg(folder, job.Title);
      Jobs.push_back(job);
    }
  }
  std::vector<int32_t> States() const {
    std::vector<int32_t> states;
    for (const TFileParam& job : Jobs) states.push_back(job.State);
    return states;
  }
  static QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  testutil::TTempFolder Temp;
  TConfig Settings;
  testutil::TDiscImage Image;
  TLameCoder Coder;
  TCDRIP CDRIP;
  TParallelView View;
  TConvSession Engine{CDRIP, Coder, View};
  TRipPlan Plan;
  TJobList& Jobs = Plan.Jobs;
  bool Run() {
    testutil::MakePlan(Plan, CDRIP, Settings);
    return Engine.StartSession(Plan);
  }
  platform::TScriptedMessageBoxes Boxes;
};

}  // namespace

TEST_F(ParallelSession, OneAndTwoEncodersWriteTheFilesOfTheRipAlone) {
  // The ripping component alone writes the ID3v1.1 tag only.
  Settings.WriteID3v2 = false;
  for (const bool onTheFly : {true, false}) {
    Settings.OnTheFly = onTheFly;
    std::vector<QByteArray> first;
    for (const int threads : {1, 2}) {
      Settings.EncoderThreads = threads;
      const QString folder = Temp.File(QString("out-%1-%2").arg(onTheFly).arg(threads));
      MakeJobs(folder);
      ASSERT_TRUE(Run());
      ASSERT_EQ(States(), std::vector<int32_t>(Jobs.size(), jsDone))
          << View.Messages.join("\n").toStdString();
      EXPECT_EQ(Entries(folder).size(), Jobs.size()) << Entries(folder).join(", ").toStdString();
      EXPECT_EQ(View.LastOverall, 100);
      for (size_t i = 0; i < Jobs.size(); ++i) {
        const QByteArray mp3 = ReadFile(Jobs[i].OutputPath);
        if (threads == 1)
          first.push_back(mp3);
        else
          EXPECT_TRUE(mp3 == first[i]) << "on the fly " << onTheFly << ", track " << i + 1;
      }
    }
    if (!onTheFly) continue;
    // The ripping component encoding on its own thread, as before the encoders had workers.
    for (size_t i = 0; i < Jobs.size(); ++i) {
      const QString alone = Temp.File(QString("alone%1.mp3").arg(i));
      CDRIP.SetEncode(true);
      CDRIP.RipTrack(int32_t(i + 1), alone);
      ASSERT_TRUE(WriteId3v1Tag(alone, TrackTags(Plan.Disc, Plan.Settings, int32_t(i + 1), {})));
      EXPECT_TRUE(ReadFile(alone) == first[i]) << "track " << i + 1;
    }
  }
}

TEST_F(ParallelSession, AbortWhileEncodersRunDeletesOrKeepsWhatTheAnswerSays) {
  struct TCase {
    bool OnTheFly;
    bool AtTheEnd;  // abort while waiting for the encoders, else in the third rip
    int Answer;
  };
  int run = 0;
  for (const TCase c : {TCase{true, false, platform::IDYES}, TCase{true, false, platform::IDNO},
                        TCase{false, false, platform::IDYES}, TCase{false, true, platform::IDNO},
                        TCase{true, true, platform::IDYES}}) {
    const std::string context = "case " + std::to_string(run);
    Settings.OnTheFly = c.OnTheFly;
    const QString folder = Temp.File(QString("out%1").arg(run++));
    MakeJobs(folder);
    if (c.AtTheEnd) {
      View.OnStage = [&](const QString& stage) {
        if (Engine.ItemIndex == Engine.ItemCount && stage == "Encoding") Engine.Abort();
      };
    } else {
      CDRIP.OnProgress = [&](TCDRIP*, uint16_t) {
        if (Engine.ItemIndex == 2 && !Engine.Aborted) Engine.Abort();
      };
    }
    EXPECT_FALSE(Run()) << context;
    View.OnStage = nullptr;
    CDRIP.OnProgress = nullptr;
    Boxes.Answer(c.Answer);
    Engine.CloseQuery(false);
    Engine.CloseSession();

    // Whatever each encoder had done when the abort came: a job that was in
    // hand is deleted on Yes and keeps what it has on No (an MP3 encoded on
    // the fly has begun; a WAV's encoder may not have), a finished one is kept.
    const size_t aborted = c.AtTheEnd ? Jobs.size() : 3;
    for (size_t i = 0; i < Jobs.size(); ++i) {
      const int32_t state = Jobs[i].State;
      const bool exists = QFileInfo::exists(Jobs[i].OutputPath);
      if (i >= aborted) {
        EXPECT_EQ(state, jsQueued) << context << " job " << i;
      } else if (c.Answer == platform::IDYES) {
        EXPECT_EQ(state, jsAbortedDeleted) << context << " job " << i;
        EXPECT_FALSE(exists) << context << " job " << i;
      } else {
        EXPECT_TRUE(state == jsDone || state == jsAborted)
            << context << " job " << i << ": " << state;
        // A cut file never takes the track's name.
        EXPECT_EQ(exists, state == jsDone) << context << " job " << i;
      }
    }
    // Only outputs, never a temporary file.
    for (const QString& name : Entries(folder))
      EXPECT_TRUE(name.endsWith(".MP3")) << context << ": " << name.toStdString();
    EXPECT_TRUE(View.Messages.isEmpty()) << context << View.Messages.join("\n").toStdString();
  }
}

// Settings no MP3 can have (a hand-edited registry) fail every job with the
// encoder's reason, not as a drive failure.
TEST_F(ParallelSession, AnEncoderThatRefusesItsSettingsSaysWhy) {
  Settings.OnTheFly = true;
  Settings.OverwritePrompt = false;
  Settings.SampleRate = 3;  // 22050 Hz
  Settings.BitRate = 10;    // 192 kbit/s: MPEG-2 has none
  MakeJobs(Temp.File("out"));
  Jobs.resize(1);
  EXPECT_TRUE(Run());
  EXPECT_EQ(States(), std::vector<int32_t>{jsError});
  EXPECT_EQ(View.Messages, QStringList{"Can't encode track 'Song 1': The MP3 encoder refuses its "
                                       "settings: 192 kbit/s is no MP3 bit rate at 22050 Hz"});
}

// Needs root to mount a small file system for the second track.
TEST_F(ParallelSession, AFailingEncoderFailsItsOwnJobAndTheOthersFinish) {
  for (const bool onTheFly : {true, false}) {
    Settings.OnTheFly = onTheFly;
    Settings.OverwritePrompt = false;
    View.Messages.clear();
    const QString folder = Temp.File(QString("out%1").arg(onTheFly));
    MakeJobs(folder);
    // The second track's folder is full once its WAV (1 MB) is in.
    const QString full = folder + "/full";
    ASSERT_TRUE(QDir().mkpath(full));
    if (geteuid() != 0 ||
        testutil::RunProgram(
            "mount", {"-t", "tmpfs", "-o", onTheFly ? "size=32k" : "size=1100k", "t", full}))
      GTEST_SKIP() << "a tmpfs can be mounted only as root";
    const auto unmount = qScopeGuard([&full] { testutil::RunProgram("umount", {full}); });
    Jobs[1].OutputPath = full + "/Song 2.MP3";
    EXPECT_TRUE(Run());
    EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsError, jsDone, jsDone})) << onTheFly;
    EXPECT_EQ(View.Messages, QStringList{"Track 2 'Song 2': cannot write '" + Jobs[1].OutputPath +
                                         "': No space left on device."});
    EXPECT_EQ(Entries(full), QStringList());
    for (const size_t i : {0, 2, 3})
      EXPECT_GT(QFileInfo(Jobs[i].OutputPath).size(), 10000) << onTheFly << " job " << i;
  }
}

// The user-interface thread never waits on an encoder: between two ticks of
// a 10 ms timer it sleeps for less than 100 ms. Time it works or waits for a
// core is left out: that is the machine's speed, not a wait.
TEST_F(ParallelSession, TheUserInterfaceThreadKeepsRunningItsTimers) {
  QElapsedTimer clock;
  qint64 last = 0, lastBusy = 0, largestGap = 0;
  int ticks = 0;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed(), busy = testutil::RunningOrReadyMs();
    largestGap = std::max(largestGap, (now - last) - (busy - lastBusy));
    last = now;
    lastBusy = busy;
    ++ticks;
  });
  for (const bool onTheFly : {true, false}) {
    Settings.OnTheFly = onTheFly;
    MakeJobs(Temp.File(QString("out%1").arg(onTheFly)));
    clock.start();
    last = 0;
    lastBusy = testutil::RunningOrReadyMs();
    timer.start();
    ASSERT_TRUE(Run());
    timer.stop();
    EXPECT_GT(ticks, 10) << "the session should last long enough to measure";
    EXPECT_LT(largestGap, 100) << "on the fly " << onTheFly << ", " << ticks << " ticks";
  }
}
