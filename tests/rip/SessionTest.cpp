// The conversion session over the real ripping component (on generated disc
// images) and the real encoder: statuses, summary lines, questions and the
// files left on disk.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>
#include <deque>
#include <memory>

#include "common/DiscImage.h"
#include "common/SessionTestUtil.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "encode/MPGTools.h"
#include "encode/TempFiles.h"
#include "platform/MessageBox.h"
#include "rip/ConvSession.h"
#include "settings/config.h"

using testutil::ReadFile;
using testutil::ReadSamples;

namespace {

constexpr int kTrackSectors = 150;  // two seconds

// Records what the session shows and answers the overwrite question from a script.
class TRecordingView : public TConvSessionView {
 public:
  void ShowStage(const QString& name) override {
    Stages << name;
    if (OnStage) OnStage(name);
  }
  void ShowProgress(int percent) override { LastProgress = percent; }
  void ShowJob(const QString& source, const QString& destination, const QString& caption) override {
    Sources << source;
    Destinations << destination;
    Captions << caption;
  }
  int ConfirmOverwrite(const QString& quotedPath, bool& alwaysOverwrite) override {
    OverwriteAsked << quotedPath;
    if (OverwriteAnswers.empty()) {
      ADD_FAILURE() << "unexpected overwrite question for " << quotedPath.toStdString();
      return orCancel;
    }
    const auto [answer, always] = OverwriteAnswers.front();
    OverwriteAnswers.pop_front();
    alwaysOverwrite = always;
    return answer;
  }
  void AddMessage(const QString& line) override { Messages << line; }
  void AddNote(const QString& line) override { Notes << line; }

  QStringList Stages, Sources, Destinations, Captions, Messages, Notes, OverwriteAsked;
  std::deque<std::pair<int, bool>> OverwriteAnswers;
  std::function<void(const QString& stage)> OnStage;
  int LastProgress = -1;
};

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    Config = &Settings;
    Settings.OutputFolder = Temp.File("out");
    ASSERT_TRUE(QDir().mkpath(Settings.OutputFolder));
    Image = testutil::MakeDiscImage(Temp.Path(), "disc", std::vector<int>(5, kTrackSectors));
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath});
    ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    CDRIP.SetCDRomNum(CR_GetNumCDROM() - 1);
    ASSERT_EQ(CDRIP.TrackCount(), 5);
    CDRIP.SetCoder(&Coder);
  }
  void TearDown() override { Config = nullptr; }

  // Jobs for the first `count` tracks, named as the extraction command names them.
  void MakeJobs(int count, const QString& extension = ".MP3") {
    Jobs.clear();
    for (int i = 0; i < count; ++i) {
      TFileParam job;
      job.RowIndex = i;
      job.TrackInfo.TrackIndex = i;
      job.TrackInfo.Title = QString("Song %1").arg(i + 1);
      job.TrackInfo.Artist = "The Artist";
      job.TrackInfo.Album = "The Album";
      job.TrackInfo.Year = "2001";
      job.TrackInfo.Category = "rock";
      job.TrackInfo.Comment = "Cadenzo 1.06";
      job.Title = job.TrackInfo.Title;
      job.FileName = QString::asprintf("%.2d - ", i + 1) + job.Title;
      job.OutputPath = Settings.OutputFolder + "/" + job.FileName + extension;
      Jobs.push_back(job);
    }
  }
  std::vector<int32_t> States() const {
    std::vector<int32_t> states;
    for (const TFileParam& job : Jobs) states.push_back(job.State);
    return states;
  }
  QStringList OutputFiles() const {
    return QDir(Settings.OutputFolder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
  }
  // Temporary files are hidden; none may stay.
  QStringList HiddenFiles() const {
    return QDir(Settings.OutputFolder)
        .entryList(QDir::Files | QDir::Hidden)
        .filter(QRegularExpression("^\\."));
  }
  // Aborts once when the rip of job `index` reports its first progress, after
  // the encoders finished every earlier job (and, with `cut`, wrote the first
  // bytes of this one's file), so what the abort meets does not depend on
  // their pace.
  void AbortDuringRipOf(int index, bool cut = false) {
    CDRIP.OnProgress = [this, index, cut](TCDRIP*, uint16_t) {
      if (Engine.ItemIndex != index || Engine.Aborted) return;
      EXPECT_TRUE(testutil::WaitFor([this, index, cut] {
        const QStringList temps = HiddenFiles();
        return std::all_of(Jobs.begin(), Jobs.begin() + index,
                           [](const TFileParam& job) { return job.State != jsProcessing; }) &&
               (!cut || std::any_of(temps.begin(), temps.end(), [this](const QString& name) {
                 return QFileInfo(Settings.OutputFolder + "/" + name).size() > 0;
               }));
      }));
      Engine.Abort();
    };
  }

  testutil::TTempFolder Temp;
  TConfig Settings;
  testutil::TDiscImage Image;
  TLameCoder Coder;
  TCDRIP CDRIP;
  TRecordingView View;
  TConvSession Engine{CDRIP, Coder, View};
  TRipPlan Plan;
  TJobList& Jobs = Plan.Jobs;
  // Runs the jobs as a front end does: a plan of the drive's disc and the settings.
  bool Run() { return Run(Engine, CDRIP); }
  bool Run(TConvSession& engine, TCDRIP& drive) {
    testutil::MakePlan(Plan, drive, Settings);
    return engine.StartSession(Plan);
  }
  platform::TScriptedMessageBoxes Boxes;
};

QByteArray TagOf(const QString& path) { return ReadFile(path).right(TMPEGAudio::kTagSize); }

}  // namespace

TEST_F(Session, OnTheFlySessionEncodesTagsAndCompletesEveryTrack) {
  MakeJobs(3);
  EXPECT_TRUE(Run());

  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone, jsDone}));
  EXPECT_EQ(Engine.Attempted, 3);
  EXPECT_EQ(Engine.Completed, 3);
  EXPECT_FALSE(Engine.Aborted);
  EXPECT_TRUE(View.Messages.isEmpty());
  EXPECT_TRUE(Boxes.Asked().empty());
  // The MP3s keep the job's own spelling of the extension, and nothing else is left.
  EXPECT_EQ(OutputFiles(), (QStringList{"01 - Song 1.MP3", "02 - Song 2.MP3", "03 - Song 3.MP3"}));
  EXPECT_EQ(View.Captions, (QStringList{"Track 1 of 3", "Track 2 of 3", "Track 3 of 3"}));
  EXPECT_EQ(View.Sources.first(), "01 - Song 1");
  EXPECT_EQ(View.Destinations.last(), Jobs[2].OutputPath);
  // The last two: waiting for the encoders after the last rip.
  EXPECT_EQ(View.Stages, (QStringList{"Initialization", "Extracting Audio Track(s)", "Read",
                                      "Extracting Audio Track(s)", "Read",
                                      "Extracting Audio Track(s)", "Read", "Encoding", "Done"}));

  const QByteArray tag = TagOf(Jobs[1].OutputPath);
  EXPECT_EQ(tag.left(3), "TAG");
  EXPECT_EQ(tag.mid(3, 6), "Song 2");
  EXPECT_EQ(uint8_t(tag[126]), 2);
  EXPECT_EQ(uint8_t(tag[127]), 17);  // "rock"
  QByteArray out;
  ASSERT_EQ(testutil::RunProgram("ffprobe",
                                 {"-v", "error", "-show_entries", "format=duration", "-of",
                                  "csv=p=0", Jobs[1].OutputPath},
                                 &out),
            0);
  EXPECT_NEAR(out.trimmed().toDouble(), 2.0, 0.1);
}

TEST_F(Session, RipThenEncodeDeletesTheTemporaryWav) {
  Settings.OnTheFly = false;
  MakeJobs(2);
  EXPECT_TRUE(Run());
  EXPECT_EQ(View.Messages, QStringList());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone}));
  EXPECT_EQ(OutputFiles(), (QStringList{"01 - Song 1.MP3", "02 - Song 2.MP3"}));
  EXPECT_TRUE(View.Stages.contains("Encoding"));
  EXPECT_EQ(TagOf(Jobs[0].OutputPath).mid(3, 7), QByteArray("Song 1\0", 7));
}

TEST_F(Session, WavOutputIsTheTrackAsReadWithoutTag) {
  Settings.OutputFormat = 0;
  MakeJobs(2, ".WAV");
  EXPECT_TRUE(Run());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone}));
  const QByteArray wav = ReadFile(Jobs[1].OutputPath);
  EXPECT_EQ(wav.left(44), testutil::WaveHeader(kTrackSectors * 2352));
  EXPECT_EQ(wav.mid(44), Image.TrackPcm(2));
  EXPECT_FALSE(View.Stages.contains("Encoding"));
}

TEST_F(Session, NormalisedWavPeaksAtTheFactor) {
  Settings.OutputFormat = 0;
  Settings.NormalizeVolume = true;
  Settings.NormalizeFactor = 90;
  MakeJobs(1, ".WAV");
  EXPECT_TRUE(Run());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone}));
  EXPECT_EQ(OutputFiles(), QStringList{"01 - Song 1.WAV"});
  EXPECT_EQ(View.Stages.mid(1, 4),
            (QStringList{"Extracting Audio Track(s)", "Scan Peak Level", "Normalizing", "Done"}));
  const auto samples = ReadSamples(Jobs[0].OutputPath);
  ASSERT_EQ(samples.size(), size_t(kTrackSectors * 2352 / 2));
  EXPECT_NEAR(*std::max_element(samples.begin(), samples.end()), 0.90 * 32767, 40);
  EXPECT_TRUE(Boxes.Asked().empty());
}

TEST_F(Session, NormalisationRipsThroughAWavEvenWhenOnTheFlyIsStored) {
  // A stored OnTheFly with normalisation on would otherwise scale MP3 bytes as samples.
  Settings.OnTheFly = true;
  Settings.NormalizeVolume = true;
  MakeJobs(1);
  EXPECT_TRUE(Run());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone}));
  EXPECT_EQ(OutputFiles(), QStringList{"01 - Song 1.MP3"});
  EXPECT_TRUE(View.Stages.contains("Encoding"));
  // The decoded MP3 peaks near 98 % of full scale (-0.18 dB), give or take the coding.
  QByteArray out, err;
  ASSERT_EQ(testutil::RunProgram(
                "ffmpeg",
                {"-nostdin", "-i", Jobs[0].OutputPath, "-af", "volumedetect", "-f", "null", "-"},
                &out, &err),
            0)
      << err.toStdString();
  const auto peak = QRegularExpression(R"(max_volume: (-?[0-9.]+) dB)").match(err);
  ASSERT_TRUE(peak.hasMatch()) << err.toStdString();
  EXPECT_NEAR(peak.captured(1).toDouble(), -0.18, 0.6);
}

TEST_F(Session, OverwriteYesOverwritesAndSkipLeavesTheJobUntouched) {
  MakeJobs(3);
  testutil::WriteFile(Jobs[0].OutputPath, "old one");
  testutil::WriteFile(Jobs[1].OutputPath, "old two");
  View.OverwriteAnswers = {{orYes, false}, {orNo, false}};
  EXPECT_TRUE(Run());
  EXPECT_EQ(View.OverwriteAsked,
            (QStringList{'"' + Jobs[0].OutputPath + '"', '"' + Jobs[1].OutputPath + '"'}));
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsQueued, jsDone}));
  EXPECT_GT(QFileInfo(Jobs[0].OutputPath).size(), 1000);
  EXPECT_EQ(ReadFile(Jobs[1].OutputPath), "old two");
  EXPECT_EQ(Engine.Attempted, 3);
  EXPECT_EQ(Engine.Completed, 2);
  EXPECT_EQ(Engine.OverwriteAnswer, orNo);
  EXPECT_TRUE(Settings.OverwritePrompt);
}

TEST_F(Session, YesToAllAndSkipAllAnswerEveryLaterFileWithoutAsking) {
  MakeJobs(3);
  for (const TFileParam& job : Jobs) testutil::WriteFile(job.OutputPath, "old");
  View.OverwriteAnswers = {{orYesToAll, false}};
  EXPECT_TRUE(Run());
  EXPECT_EQ(View.OverwriteAsked.size(), 1);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone, jsDone}));
  for (const TFileParam& job : Jobs) EXPECT_GT(QFileInfo(job.OutputPath).size(), 1000);

  MakeJobs(3);
  testutil::WriteFile(Jobs[0].OutputPath, "old");
  QFile::remove(Jobs[1].OutputPath);
  testutil::WriteFile(Jobs[2].OutputPath, "old");
  View.OverwriteAsked.clear();
  View.OverwriteAnswers = {{orNoToAll, false}};
  EXPECT_TRUE(Run());
  EXPECT_EQ(View.OverwriteAsked.size(), 1);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsQueued, jsDone, jsQueued}));
  EXPECT_EQ(ReadFile(Jobs[0].OutputPath), "old");
  EXPECT_EQ(ReadFile(Jobs[2].OutputPath), "old");
}

TEST_F(Session, CancelEndsTheSessionAtOnceAndItClosesByItself) {
  MakeJobs(3);
  testutil::WriteFile(Jobs[1].OutputPath, "old");
  View.OverwriteAnswers = {{orCancel, false}};
  EXPECT_TRUE(Run());
  EXPECT_FALSE(Engine.Aborted);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsQueued, jsQueued}));
  EXPECT_EQ(Engine.Attempted, 2);
  EXPECT_EQ(Engine.Completed, 1);
  EXPECT_EQ(OutputFiles(), (QStringList{"01 - Song 1.MP3", "02 - Song 2.MP3"}));
  EXPECT_EQ(ReadFile(Jobs[1].OutputPath), "old");
}

// The front end keeps the choice for later sessions (see ConvFormTest); the
// session itself writes no setting.
TEST_F(Session, AlwaysOverwriteAsksNoMoreInThisSession) {
  MakeJobs(2);
  for (const TFileParam& job : Jobs) testutil::WriteFile(job.OutputPath, "old");
  View.OverwriteAnswers = {{orYes, true}};
  EXPECT_TRUE(Run());
  EXPECT_TRUE(Settings.OverwritePrompt);
  EXPECT_EQ(View.OverwriteAsked.size(), 1);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone}));
}

TEST_F(Session, MissingSubfoldersAreCreatedAndAFolderThatCannotBeIsAnErrorWithoutLine) {
  MakeJobs(2);
  Jobs[0].OutputPath = Settings.OutputFolder + "/The Artist/The Album/01 - Song 1.MP3";
  testutil::WriteFile(Settings.OutputFolder + "/blocker", "a file, not a folder");
  Jobs[1].OutputPath = Settings.OutputFolder + "/blocker/sub/02 - Song 2.MP3";
  EXPECT_TRUE(Run());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsError}));
  EXPECT_TRUE(QFileInfo(Jobs[0].OutputPath).size() > 1000);
  EXPECT_TRUE(View.Messages.isEmpty());
  EXPECT_EQ(Engine.Completed, 1);  // the failed folder skips the job's end
  EXPECT_EQ(View.Stages.last(), "Done");
}

TEST_F(Session, AFailedRipEndsTheJobWithoutTouchingTheUsersFiles) {
  Settings.OnTheFly = false;
  Settings.NormalizeVolume = true;
  MakeJobs(3);
  Jobs[1].TrackInfo.TrackIndex = 7;  // not on the disc
  // Files of the names the temporaries once had are the user's own.
  testutil::WriteFile(ChangeFileExt(Jobs[1].OutputPath, ".wav"), "my wav");
  testutil::WriteFile(ChangeFileExt(Jobs[1].OutputPath, ".tmp"), "my tmp");
  testutil::WriteFile(Jobs[1].OutputPath, "my mp3");
  Settings.OverwritePrompt = false;
  EXPECT_TRUE(Run());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsError, jsDone}));
  // Neither normalisation nor the encoder ran on a file the rip did not write.
  EXPECT_EQ(View.Messages, QStringList{"Can' ripping track 'Song 2', extract cdda error."});
  EXPECT_TRUE(Boxes.Asked().empty());
  EXPECT_EQ(ReadFile(ChangeFileExt(Jobs[1].OutputPath, ".wav")), "my wav");
  EXPECT_EQ(ReadFile(ChangeFileExt(Jobs[1].OutputPath, ".tmp")), "my tmp");
  EXPECT_EQ(ReadFile(Jobs[1].OutputPath), "my mp3");
  EXPECT_EQ(Engine.Completed, 3);
  EXPECT_EQ(HiddenFiles(), QStringList());
}

TEST_F(Session, ADriveThatRefusesTheRangeIsAFailedRipNotADoneJob) {
  MakeJobs(2);
  // The disc goes away after its TOC was read: the library opens no rip.
  testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath}, "[Image0]\r\nNotReady=1\r\n");
  EXPECT_TRUE(Run());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsError, jsError}));
  EXPECT_EQ(View.Messages, (QStringList{"Can' ripping track 'Song 1', extract cdda error.",
                                        "Can' ripping track 'Song 2', extract cdda error."}));
  EXPECT_TRUE(OutputFiles().isEmpty());
}

TEST_F(Session, AFailedWriteNamesTheFileAndTheCauseAndLeavesNoCutFile) {
  Settings.OverwritePrompt = false;
  Settings.OnTheFly = false;
  for (const int format : {0, 1}) {
    Settings.OutputFormat = format;
    MakeJobs(1, format == 0 ? ".WAV" : ".MP3");
    View.Messages.clear();
    {
      // The WAV (the output, or the one between rip and encoder) fails.
      testutil::TFileSizeLimit limit(100000);
      EXPECT_TRUE(Run());
    }
    EXPECT_EQ(States(), (std::vector<int32_t>{jsError})) << "format " << format;
    EXPECT_EQ(View.Messages, QStringList{"Track 1 'Song 1': cannot write '" + Jobs[0].OutputPath +
                                         "': File too large."})
        << "format " << format;
    EXPECT_EQ(OutputFiles(), QStringList()) << "format " << format;
    EXPECT_EQ(HiddenFiles(), QStringList()) << "format " << format;
  }
}

TEST_F(Session, AnOutputReportedUnwritableEndsTheJob) {
  Settings.OverwritePrompt = false;
  for (const bool wav : {false, true}) {
    Settings.OnTheFly = false;
    Settings.OutputFormat = wav ? 0 : 1;
    Settings.NormalizeVolume = wav;
    MakeJobs(1, wav ? ".WAV" : ".MP3");
    QDir(Jobs[0].OutputPath).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(Jobs[0].OutputPath));
    View.Messages.clear();
    EXPECT_TRUE(Run());
    EXPECT_EQ(States(), (std::vector<int32_t>{jsError}));
    // Neither the encoder nor the normalisation runs on it afterwards.
    EXPECT_EQ(View.Messages, QStringList{" '" + Jobs[0].OutputPath +
                                         "' can not be create, please checks whether the file "
                                         "was open by other applications!"})
        << "wav " << wav;
    EXPECT_FALSE(View.Stages.contains("Encoding"));
    EXPECT_FALSE(View.Stages.contains("Scan Peak Level"));
    EXPECT_TRUE(Boxes.Asked().empty());
    EXPECT_EQ(HiddenFiles(), QStringList());
  }
}

TEST_F(Session, AbortInTheThirdOfFiveAndDeleteEverythingConverted) {
  MakeJobs(5);
  AbortDuringRipOf(2);
  EXPECT_FALSE(Run());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone, jsProcessing, jsQueued, jsQueued}));
  EXPECT_EQ(Engine.Completed, 2);
  EXPECT_EQ(Engine.Attempted, 3);
  EXPECT_FALSE(QFileInfo::exists(Jobs[2].OutputPath)) << "no cut file under the track's name";

  Boxes.Answer(platform::IDYES);
  Engine.CloseQuery(false);
  Engine.CloseSession();
  ASSERT_EQ(Boxes.Asked().size(), 1u);
  EXPECT_EQ(Boxes.Asked()[0].Text,
            "Conversion has been aborted.\r\nWould you want delete ALL converted audio file(s)?");
  EXPECT_EQ(Boxes.Asked()[0].Caption, "Confirmation");
  EXPECT_EQ(Boxes.Asked()[0].Flags,
            platform::MB_YESNO | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsAbortedDeleted, jsAbortedDeleted, jsAbortedDeleted,
                                            jsQueued, jsQueued}));
  EXPECT_TRUE(OutputFiles().isEmpty()) << OutputFiles().join(", ").toStdString();
  EXPECT_FALSE(Engine.DeleteRequested);
  EXPECT_TRUE(View.Messages.isEmpty());
}

TEST_F(Session, AbortInTheThirdOfFiveAndKeepTheFiles) {
  MakeJobs(5);
  AbortDuringRipOf(2, true);
  EXPECT_FALSE(Run());
  Boxes.Answer(platform::IDNO);
  Engine.CloseQuery(false);
  Engine.CloseSession();
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone, jsAborted, jsQueued, jsQueued}));
  // The cut track is kept under a name that says so.
  EXPECT_EQ(OutputFiles(),
            (QStringList{"01 - Song 1.MP3", "02 - Song 2.MP3", "03 - Song 3 (partial).MP3"}));
  EXPECT_EQ(TagOf(Jobs[1].OutputPath).left(3), "TAG");
  // The aborted track gets no tag.
  EXPECT_NE(TagOf(Settings.OutputFolder + "/03 - Song 3 (partial).MP3").left(3), "TAG");
  EXPECT_EQ(HiddenFiles(), QStringList());
}

TEST_F(Session, CloseAfterAFinishedSessionAsksAndDeletesOnYes) {
  MakeJobs(2);
  EXPECT_TRUE(Run());
  // A close request not made by the close timer is an abort.
  Boxes.Answer(platform::IDYES);
  Engine.CloseQuery(false);
  Engine.CloseSession();
  EXPECT_TRUE(Engine.Aborted);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsAbortedDeleted, jsAbortedDeleted}));
  EXPECT_TRUE(OutputFiles().isEmpty());
}

TEST_F(Session, ClosingByTheTimerAsksNothing) {
  MakeJobs(1);
  EXPECT_TRUE(Run());
  Engine.CloseQuery(true);
  Engine.CloseSession();
  EXPECT_FALSE(Engine.Aborted);
  EXPECT_TRUE(Boxes.Asked().empty());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone}));
}

TEST_F(Session, AConvertedFileThatCannotBeDeletedIsASummaryLine) {
  MakeJobs(1);
  EXPECT_TRUE(Run());
  // Something else took the name: a folder with content cannot be removed as a file.
  ASSERT_TRUE(QFile::remove(Jobs[0].OutputPath));
  testutil::WriteFile(Jobs[0].OutputPath + "/inside", "x");
  Boxes.Answer(platform::IDYES);
  Engine.CloseQuery(false);
  Engine.CloseSession();
  EXPECT_EQ(View.Messages,
            QStringList{"Can't delete the converted wave files: " + Jobs[0].OutputPath});
}

TEST_F(Session, AbortWhileScalingKeepsTheRippedWavWhole) {
  Settings.OutputFormat = 0;
  Settings.NormalizeVolume = true;
  MakeJobs(1, ".WAV");
  Settings.NormalizeFactor = 80;
  int scalingChunks = 0;
  // The view sees every progress step; abort in the scaling pass.
  struct TAbortingView : TRecordingView {
    TConvSession* Engine = nullptr;
    int* Chunks = nullptr;
    void ShowProgress(int percent) override {
      if (Engine->Stage == stNormalizing && percent > 0 && ++*Chunks == 1) Engine->Abort();
    }
  } view;
  TConvSession engine(CDRIP, Coder, view);
  view.Engine = &engine;
  view.Chunks = &scalingChunks;
  EXPECT_FALSE(Run(engine, CDRIP));
  EXPECT_EQ(scalingChunks, 1);
  EXPECT_EQ(OutputFiles(), QStringList{"01 - Song 1.WAV"});
  EXPECT_EQ(ReadFile(Jobs[0].OutputPath).mid(44), Image.TrackPcm(1));
}

TEST_F(Session, NormalisingLeavesFilesWithoutPositiveExcursionAsRipped) {
  for (const auto& samples :
       {std::vector<int16_t>{-32768, -5, 0, -100}, std::vector<int16_t>{1, -30000, 0, 1}}) {
    const QString wav = testutil::MakeWav(Temp, samples);
    const QByteArray before = ReadFile(wav);
    Engine.NormalizeStages(wav, Settings.NormalizeFactor);
    EXPECT_EQ(ReadFile(wav), before);
    EXPECT_FALSE(QFileInfo::exists(Temp.File("track.tmp")));
  }
  EXPECT_TRUE(Boxes.Asked().empty());
}

TEST_F(Session, FullDiskWhileNormalisingKeepsTheWavAndDropsThePartialFile) {
  const std::vector<int16_t> samples(60000, 1000);
  const QString wav = testutil::MakeWav(Temp, samples);
  {
    testutil::TFileSizeLimit limit(50000);
    Engine.NormalizeStages(wav, Settings.NormalizeFactor);
  }
  EXPECT_EQ(Boxes.Texts(), QStringList{"Normalize wave file fail."});
  EXPECT_EQ(ReadSamples(wav), samples);
  EXPECT_FALSE(QFileInfo::exists(Temp.File("track.tmp")));
}

TEST_F(Session, EncoderSettingsAreCopiedAndABadIndexIsReported) {
  Settings.BitRate = 8;
  Settings.MaxBitRate = 12;
  Settings.SampleRate = 0;
  Settings.Mode = 1;
  Settings.Quality = 2;
  Settings.VBR = true;
  Settings.WriteVBRHeader = false;
  Settings.CRC = false;
  Settings._Private = true;
  Engine.ApplyEncoderSettings(RipSettingsOf(Settings).Mp3);
  EXPECT_EQ(Coder.Bitrate(), 128u);
  EXPECT_EQ(Coder.MaxBitrate(), 256u);
  EXPECT_EQ(Coder.SampleRate(), 48000u);
  EXPECT_EQ(Coder.Mode(), TLameMode::JSTEREO);
  EXPECT_EQ(Coder.Quality(), MPEG_QUALITY::HIGH_QUALITY);
  EXPECT_TRUE(Coder.EnableVBR());
  EXPECT_TRUE(Coder.WriteVBRHeader());  // a VBR file always gets its header
  Settings.VBR = false;
  Engine.ApplyEncoderSettings(RipSettingsOf(Settings).Mp3);
  EXPECT_FALSE(Coder.WriteVBRHeader());  // CBR's Info frame stays the box's
  Settings.VBR = true;
  Engine.ApplyEncoderSettings(RipSettingsOf(Settings).Mp3);
  EXPECT_FALSE(Coder.CRC());
  EXPECT_TRUE(Coder.Private());
  EXPECT_TRUE(Boxes.Asked().empty());

  Settings.BitRate = 14;
  Engine.ApplyEncoderSettings(RipSettingsOf(Settings).Mp3);
  EXPECT_EQ(Boxes.Texts(), QStringList{"Has error occurred when initialize encoder parameter!"});
  EXPECT_EQ(Boxes.Asked()[0].Caption, "Error");
}

TEST_F(Session, NothingToDoStillEndsTheSession) {
  MakeJobs(0);
  EXPECT_TRUE(Run());
  EXPECT_EQ(Engine.Attempted, 0);
  EXPECT_TRUE(OutputFiles().isEmpty());
}

namespace {

// Sample frames mpg123 decodes (gapless, as it does by default).
qsizetype DecodedFrames(const QString& mp3) {
  QByteArray pcm;
  EXPECT_EQ(testutil::RunProgram("mpg123", {"-q", "-s", mp3}, &pcm), 0) << mp3.toStdString();
  return pcm.size() / 4;
}

}  // namespace

TEST_F(Session, EveryMp3DecodesToExactlyTheTracksSamples) {
  Settings.OverwritePrompt = false;
  for (const bool vbr : {false, true}) {
    for (const bool onTheFly : {true, false}) {
      Settings.VBR = vbr;
      Settings.WriteVBRHeader = vbr;
      Settings.OnTheFly = onTheFly;
      MakeJobs(1);
      EXPECT_TRUE(Run());
      ASSERT_EQ(States(), (std::vector<int32_t>{jsDone}));
      // The ID3v1 tag at the end is no audio to the decoder.
      EXPECT_EQ(DecodedFrames(Jobs[0].OutputPath), kTrackSectors * 588)
          << "vbr " << vbr << " on the fly " << onTheFly;
    }
  }
}

TEST_F(Session, UnreadableSectorsGiveAFullLengthFileWithSilenceAndAnError) {
  // Track 2 holds sectors 150 to 299.
  testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath},
                          "[Image0]\r\nUnreadableSectors=200-201\r\n");
  Settings.OutputFormat = 0;
  MakeJobs(2, ".WAV");
  EXPECT_TRUE(Run());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsError}));
  EXPECT_EQ(View.Messages,
            QStringList{"Track 2 'Song 2': 2 unreadable sector(s) written as silence."});
  const QByteArray wav = ReadFile(Jobs[1].OutputPath);
  EXPECT_EQ(wav.left(44), testutil::WaveHeader(kTrackSectors * 2352));
  EXPECT_EQ(wav.mid(44),
            Image.SectorPcm(150, 200) + QByteArray(2 * 2352, '\0') + Image.SectorPcm(202, 300));
  EXPECT_EQ(CDRIP.JitterList(), QStringList{"200 201"});
  EXPECT_EQ(ReadFile(ChangeFileExt(Jobs[1].OutputPath, "jitt")), "200 201\r\n");

  // Through the temporary WAV the MP3 keeps the length as well.
  Settings.OutputFormat = 1;
  Settings.OnTheFly = false;
  Settings.OverwritePrompt = false;
  MakeJobs(2);
  View.Messages.clear();
  EXPECT_TRUE(Run());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsError}));
  EXPECT_EQ(View.Messages.size(), 1);
  EXPECT_EQ(DecodedFrames(Jobs[1].OutputPath), kTrackSectors * 588);
}

TEST_F(Session, AnOldFileIsNotDoneWhenTheDriveRefusesTheRange) {
  for (const bool onTheFly : {true, false}) {
    Settings.OnTheFly = onTheFly;
    Settings.OverwritePrompt = false;
    MakeJobs(1);
    testutil::WriteFile(Jobs[0].OutputPath, "old mp3");
    testutil::WriteFile(ChangeFileExt(Jobs[0].OutputPath, ".wav"), "stale wav");
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath}, "[Image0]\r\nNotReady=1\r\n");
    EXPECT_TRUE(Run());
    EXPECT_EQ(States(), (std::vector<int32_t>{jsError})) << "on the fly " << onTheFly;
    EXPECT_EQ(ReadFile(Jobs[0].OutputPath), "old mp3") << "no tag on a file this rip did not write";
    EXPECT_EQ(ReadFile(ChangeFileExt(Jobs[0].OutputPath, ".wav")), "stale wav");
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath});
  }
}

// The audio before track 1 is checked for sound where the read offset puts
// it, as its rip then reads it: ten sectors before track 1 that are silent
// but for their last 667 samples (at -667 they lie in track 1), or silent
// before an audible track 1 (at +667 its first samples are the hidden track's).
TEST_F(Session, TheHiddenTrackIsCheckedWhereTheReadOffsetPutsTheAudio) {
  constexpr int kGapBytes = 10 * 2352, kMoved = 667 * 4;
  ASSERT_NE(Image.TrackPcm(1).left(kMoved), QByteArray(kMoved, '\0'));
  struct TCase {
    int Offset;
    bool AudibleGapEnd;
    bool Hidden;
  };
  for (const TCase& c : {TCase{-667, true, false}, TCase{667, false, true}}) {
    const auto context = testing::Message() << "offset " << c.Offset;
    QByteArray gap(kGapBytes, '\0');
    if (c.AudibleGapEnd) gap.replace(kGapBytes - kMoved, kMoved, QByteArray(kMoved, '\x11'));
    const QString name = QString("hidden%1").arg(c.Offset);
    testutil::WriteFile(Temp.File(name + ".bin"), gap + Image.Pcm);
    testutil::WriteFile(Temp.File(name + ".cue"),
                        "FILE \"" + name.toUtf8() +
                            ".bin\" BINARY\r\n  TRACK 01 AUDIO\r\n"
                            "    INDEX 00 00:00:00\r\n    INDEX 01 00:00:10\r\n");
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Temp.File(name + ".cue")});
    ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    TCDRIP cdrip;
    cdrip.SetCDRomNum(CR_GetNumCDROM() - 1);
    TConvSession engine(cdrip, Coder, View);
    Settings.OutputFormat = ofWAV;
    Settings.ReadOffset = c.Offset;
    Settings.OutputFolder = Temp.File(name);
    ASSERT_TRUE(QDir().mkpath(Settings.OutputFolder));
    MakeJobs(1, ".wav");
    EXPECT_TRUE(Run(engine, cdrip)) << context;
    ASSERT_EQ(Jobs.size(), c.Hidden ? 2u : 1u) << context;
    EXPECT_EQ(OutputFiles().size(), Jobs.size()) << context;
    if (!c.Hidden) continue;
    const QByteArray hidden = ReadFile(Jobs[0].OutputPath).mid(44);
    ASSERT_EQ(hidden.size(), kGapBytes) << context;
    EXPECT_EQ(hidden.right(kMoved), Image.TrackPcm(1).left(kMoved)) << context;
  }
}

TEST_F(Session, ADataTrackIsRefusedAtOnce) {
  // Track 1 audio, track 2 data over a 60-sector image.
  const QString bin = Temp.File("mixed.bin");
  testutil::WriteFile(bin, QByteArray(60 * 2352, '\x11'));
  testutil::WriteFile(Temp.File("mixed.cue"),
                      "FILE \"mixed.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                      "  TRACK 02 MODE2/2352\r\n    INDEX 01 00:00:50\r\n");
  testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Temp.File("mixed.cue")});
  ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
  TCDRIP cdrip;
  cdrip.SetCDRomNum(CR_GetNumCDROM() - 1);
  ASSERT_EQ(cdrip.TrackCount(), 2);
  ASSERT_EQ(cdrip.TrackList()[1].Track.TrackType, "Data");
  cdrip.SetCoder(&Coder);
  TConvSession engine(cdrip, Coder, View);
  Settings.OutputFormat = 0;
  MakeJobs(2, ".WAV");
  EXPECT_TRUE(Run(engine, cdrip));
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsError}));
  EXPECT_EQ(View.Messages, QStringList{"Can' ripping track 'Song 2', extract cdda error."});
  EXPECT_EQ(ReadFile(Jobs[0].OutputPath).size(), 44 + 50 * 2352);
  // The library refuses the range itself too.
  int32_t chunk = 0;
  EXPECT_EQ(CR_OpenRipper(&chunk, 50, 60), CDRIP_ERROR);
  EXPECT_EQ(CR_OpenRipper(&chunk, 40, 55), CDRIP_ERROR);
}

// Rip-then-encode with normalisation, aborted in the rip of the second of
// three tracks; the user's own files of the temporaries' old names stay.
class SessionAbort : public Session {
 protected:
  void RunAndAbortInSecondRip(int answer) {
    Settings.OnTheFly = false;
    Settings.NormalizeVolume = true;
    Settings.OverwritePrompt = false;
    MakeJobs(3);
    for (const TFileParam& job : Jobs) {
      testutil::WriteFile(ChangeFileExt(job.OutputPath, ".wav"), "my wav");
      testutil::WriteFile(ChangeFileExt(job.OutputPath, ".tmp"), "my tmp");
    }
    // An earlier output of the job in hand: this session never reaches its encoder.
    testutil::WriteFile(Jobs[1].OutputPath, "earlier mp3");
    AbortDuringRipOf(1);
    EXPECT_FALSE(Run());
    Boxes.Answer(answer);
    Engine.CloseQuery(false);
    Engine.CloseSession();
  }
  void ExpectUsersFilesIntact() {
    for (const TFileParam& job : Jobs) {
      EXPECT_EQ(ReadFile(ChangeFileExt(job.OutputPath, ".wav")), "my wav");
      EXPECT_EQ(ReadFile(ChangeFileExt(job.OutputPath, ".tmp")), "my tmp");
    }
    EXPECT_EQ(HiddenFiles(), QStringList()) << "no temporary file stays";
  }
};

TEST_F(SessionAbort, YesDeletesWhatTheSessionWroteAndNothingElse) {
  RunAndAbortInSecondRip(platform::IDYES);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsAbortedDeleted, jsAbortedDeleted, jsQueued}));
  EXPECT_FALSE(QFileInfo::exists(Jobs[0].OutputPath));
  EXPECT_EQ(ReadFile(Jobs[1].OutputPath), "earlier mp3");
  ExpectUsersFilesIntact();
}

TEST_F(SessionAbort, NoKeepsTheFinishedFilesButNoTemporaryFile) {
  RunAndAbortInSecondRip(platform::IDNO);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsAborted, jsQueued}));
  EXPECT_EQ(DecodedFrames(Jobs[0].OutputPath), kTrackSectors * 588);
  EXPECT_EQ(ReadFile(Jobs[1].OutputPath), "earlier mp3");
  ExpectUsersFilesIntact();
}

TEST_F(SessionAbort, AbortWhileEncodingLeavesNoTemporaryWav) {
  Settings.OnTheFly = false;
  MakeJobs(2);
  // While the session waits for the encoders after the last rip.
  View.OnStage = [this](const QString& stage) {
    if (Engine.ItemIndex == Engine.ItemCount && stage == "Encoding") Engine.Abort();
  };
  EXPECT_FALSE(Run());
  EXPECT_EQ(HiddenFiles().filter(".wav"), QStringList()) << "gone before the question";
  Boxes.Answer(platform::IDYES);
  Engine.CloseQuery(false);
  Engine.CloseSession();
  EXPECT_EQ(HiddenFiles(), QStringList());
  EXPECT_EQ(States(), (std::vector<int32_t>{jsAbortedDeleted, jsAbortedDeleted}));
  EXPECT_TRUE(OutputFiles().isEmpty()) << OutputFiles().join(", ").toStdString();
}

TEST_F(Session, AFailedNormalisationIsAnErrorWithItsCause) {
  Settings.NormalizeVolume = true;
  Settings.OverwritePrompt = false;
  Settings.OnTheFly = false;
  // The scaled copy cannot grow past the first chunks; the MP3 is smaller.
  std::unique_ptr<testutil::TFileSizeLimit> limit;
  for (const int format : {0, 1}) {
    Settings.OutputFormat = format;
    View.OnStage = [&limit, format](const QString& stage) {
      if (stage == (format == 0 ? "Normalizing" : "Encoding") && !limit)
        limit = std::make_unique<testutil::TFileSizeLimit>(100000);
    };
    MakeJobs(1, format == 0 ? ".WAV" : ".MP3");
    View.Messages.clear();
    EXPECT_TRUE(Run());
    limit.reset();
    EXPECT_EQ(States(), (std::vector<int32_t>{jsError})) << "format " << format;
    ASSERT_EQ(View.Messages.size(), 1) << "format " << format;
    EXPECT_TRUE(View.Messages[0].startsWith("Track 1 'Song 1' was not normalised: Cannot write "));
    EXPECT_TRUE(View.Messages[0].endsWith(": File too large.")) << View.Messages[0].toStdString();
    EXPECT_EQ(HiddenFiles(), QStringList());
  }
  EXPECT_EQ(Boxes.Texts(), (QStringList{"Normalize wave file fail.", "Normalize wave file fail."}));
}

TEST_F(Session, AFileThatAppearsWhileTheTrackIsConvertedIsLeftAsItIs) {
  for (const int format : {0, 1}) {
    Settings.OutputFormat = format;
    MakeJobs(2, format == 0 ? ".WAV" : ".MP3");
    View.Messages.clear();
    // Another run creates the first file after this one found no file there.
    View.OnStage = [this](const QString& stage) {
      if (stage == "Extracting Audio Track(s)" && Engine.ItemIndex == 0)
        testutil::WriteFile(Jobs[0].OutputPath, "theirs");
    };
    EXPECT_TRUE(Run());
    EXPECT_EQ(States(), (std::vector<int32_t>{jsError, jsDone}));
    EXPECT_EQ(ReadFile(Jobs[0].OutputPath), "theirs");
    EXPECT_EQ(View.Messages, QStringList{"'" + Jobs[0].OutputPath +
                                         "' was created by another program while track 1 was "
                                         "converted; it was left as it is."});
    EXPECT_EQ(HiddenFiles(), QStringList());
    for (const TFileParam& job : Jobs) QFile::remove(job.OutputPath);
  }
}

TEST_F(Session, ATemporaryFileOfADeadRunIsDeletedAndALiveRunsStays) {
  const QString folder = Settings.OutputFolder;
  const QStringList owner = TempFileOwner().split('-');  // host, boot, pid, start
  ASSERT_EQ(owner.size(), 4);
  const auto name = [&](const QString& host, const QString& boot, const QString& start) {
    return QString(".cadenzo-%1-%2-%3-%4-0123abcd.MP3").arg(host, boot, owner[2], start);
  };
  const QString live = CreateTempFile(folder, ".wav");                 // this process runs
  const QStringList dead = {name(owner[0], owner[1], owner[3] + "0"),  // the id was reused
                            name(owner[0], "0badb007", owner[3])};     // before a reboot
  const QStringList kept = {name("0a0b0c0d", "0badb007", "1"),         // another host's
                            ".cadenzo-notes", "x.MP3"};
  for (const QString& file : dead + kept) testutil::WriteFile(folder + "/" + file, "x");
  MakeJobs(1);
  EXPECT_TRUE(Run());
  for (const QString& file : dead)
    EXPECT_FALSE(QFile::exists(folder + "/" + file)) << file.toStdString();
  for (const QString& file : kept)
    EXPECT_TRUE(QFile::exists(folder + "/" + file)) << file.toStdString();
  EXPECT_TRUE(QFile::exists(live));
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone}));
}

// Needs root to mount a small file system of its own for the output folder.
TEST_F(Session, TheEncodersBacklogWaitsOutsideTheOutputFolderAndAFullDiskIsNamed) {
  const QString small = Temp.File("small");
  ASSERT_TRUE(QDir().mkpath(small));
  if (geteuid() != 0 || testutil::RunProgram("mount", {"-t", "tmpfs", "-o", "size=4m", "t", small}))
    GTEST_SKIP() << "a tmpfs can be mounted only as root";
  struct TRestore {
    QString Small;
    QByteArray Cache = qgetenv("XDG_CACHE_HOME"), Tmp = qgetenv("TMPDIR");
    ~TRestore() {
      qputenv("XDG_CACHE_HOME", Cache);
      Tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", Tmp);
      testutil::RunProgram("umount", {Small});
    }
  } restore{small};
  // A minute of audio: 10 MB read far ahead of the encoder, 1 MB of MP3.
  const auto image = testutil::MakeDiscImage(Temp.Path(), "long", {4500});
  testutil::WriteCdripIni(Temp.File("cdrip.ini"), {image.CuePath});
  ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
  TCDRIP cdrip;
  cdrip.SetCDRomNum(CR_GetNumCDROM() - 1);
  cdrip.SetCoder(&Coder);
  TConvSession engine(cdrip, Coder, View);
  Settings.OutputFolder = small + "/out";
  ASSERT_TRUE(QDir().mkpath(Settings.OutputFolder));
  MakeJobs(1);
  for (const bool cacheFull : {false, true}) {
    // With no room in the cache nor the temporary folder, the backlog stays in memory.
    if (cacheFull) {
      qputenv("XDG_CACHE_HOME", small.toUtf8());
      qputenv("TMPDIR", small.toUtf8());
    }
    EXPECT_TRUE(Run(engine, cdrip));
    EXPECT_EQ(View.Messages, QStringList()) << "cache full " << cacheFull;
    EXPECT_EQ(States(), (std::vector<int32_t>{jsDone})) << "cache full " << cacheFull;
    EXPECT_EQ(DecodedFrames(Jobs[0].OutputPath), 4500 * 588);
    ASSERT_TRUE(QFile::remove(Jobs[0].OutputPath));
  }
  // Now the MP3 itself does not fit.
  testutil::WriteFile(small + "/filler",
                      QByteArray(QStorageInfo(small).bytesAvailable() - 200000, 'x'));
  MakeJobs(1);
  EXPECT_TRUE(Run(engine, cdrip));
  EXPECT_EQ(States(), (std::vector<int32_t>{jsError}));
  EXPECT_EQ(View.Messages, QStringList{"Track 1 'Song 1': cannot write '" + Jobs[0].OutputPath +
                                       "': No space left on device."});
  EXPECT_EQ(QDir(Settings.OutputFolder).entryList(QDir::Files | QDir::Hidden), QStringList());
}
