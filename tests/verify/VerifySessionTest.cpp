// The conversion session proving its rips: checksums taken while the image
// is read, the disc looked up on a server on loopback that answers as the
// case needs, a verdict per track.
#include <gtest/gtest.h>
#include <libcue.h>

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimer>
#include <deque>
#include <memory>

#include "ArReference.h"
#include "cddb/CDInfo.h"
#include "common/DiscImage.h"
#include "common/SessionTestUtil.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "libs/cdrip/cdrip.h"
#include "rip/ConvSession.h"
#include "rip/DiscLoad.h"
#include "settings/config.h"
#include "verify/CueSheet.h"
#include "verify/RipLog.h"
#include "verify/RipVerification.h"

namespace {

class TQuietView : public TConvSessionView {
 public:
  void ShowStage(const QString&) override {}
  void ShowProgress(int) override {}
  void ShowJob(const QString&, const QString&, const QString&) override {}
  int ConfirmOverwrite(const QString& quotedPath, bool&) override {
    Asked << quotedPath;
    if (Answers.empty()) return orCancel;
    const int answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  std::deque<int> Answers;
  QStringList Asked;
  void AddMessage(const QString& line) override { Messages << line; }
  QStringList Messages;
};

class VerifySession : public ::testing::Test {
 protected:
  void SetUp() override {
    Config = &Settings;
    Settings.OutputFolder = Temp.File("out");
    Settings.OutputFormat = 0;
    Settings.OverwritePrompt = false;  // a case may rip the disc more than once
    ASSERT_TRUE(QDir().mkpath(Settings.OutputFolder));
    // Tracks longer than the ten edge sectors, with one that is not a whole
    // number of seconds.
    Image = testutil::MakeDiscImage(Temp.Path(), "disc", {40, 23, 31});
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath});
    ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    CDRIP.SetCDRomNum(CR_GetNumCDROM() - 1);
    CDRIP.SetCoder(&Coder);
    for (int track = 1; track <= 3; ++track) {
      const QByteArray pcm = Image.TrackPcm(track);
      Expected.push_back(artest::ArSums(pcm, track == 1, track == 3));
      Crcs.push_back(artest::Crc32(pcm));
    }
  }
  void TearDown() override { Config = nullptr; }

  // One job per track of the disc.
  void MakeJobs() {
    Jobs.clear();
    for (int i = 0; i < 3; ++i) {
      TFileParam job;
      job.RowIndex = i;
      job.TrackInfo.TrackIndex = i;
      job.Title = QString("Song %1").arg(i + 1);
      job.OutputPath = Settings.OutputFolder +
                       QString("/%1.%2").arg(i + 1).arg(Settings.OutputFormat == 1 ? "mp3" : "wav");
      Jobs.push_back(job);
    }
  }

  // Runs the jobs with the server answering; the tracks whose verdict was
  // announced, each once, in the order of their first.
  QStringList Run(TConvSession& session, const testutil::TTestServer::TAnswer& answer,
                  int timeoutMs = 30000) {
    testutil::TTestServer server(answer);
    Settings.AccurateRipServer = "http://" + server.HostPort();
    session.AccurateRipTimeoutMs = timeoutMs;
    QStringList announced;
    session.OnTrackVerified = [&](const TFileParam& job) {
      announced << QString::number(job.TrackInfo.TrackIndex + 1);
    };
    testutil::MakePlan(Plan, CDRIP, Settings, true);
    EXPECT_TRUE(session.StartSession(Plan));
    EXPECT_EQ(server.Requests.size(), 1);
    announced.removeDuplicates();
    return announced;
  }

  // Rips every track with the server answering; the verdict texts in track order.
  QStringList Rip(const testutil::TTestServer::TAnswer& answer, int timeoutMs = 30000) {
    MakeJobs();
    TConvSession session(CDRIP, Coder, View);
    const QStringList announced = Run(session, answer, timeoutMs);
    QStringList verdicts;
    for (int track = 1; track <= 3; ++track) {
      const TTrackVerification* result = session.Verification()->Track(track);
      if (!result) {
        ADD_FAILURE() << "no result for track " << track;
        continue;
      }
      const auto context = testing::Message() << "track " << track;
      EXPECT_EQ(result->Crc, Crcs[size_t(track - 1)]) << context;
      EXPECT_EQ(result->ArV1, Expected[size_t(track - 1)].V1) << context;
      EXPECT_EQ(result->ArV2, Expected[size_t(track - 1)].V2) << context;
      EXPECT_EQ(Jobs[size_t(track - 1)].State, jsDone) << context;
      verdicts << result->Verdict.Text();
    }
    EXPECT_EQ(announced, QStringList({"1", "2", "3"}));
    return verdicts;
  }

  QString LogText(const QString& suffix = QString()) const {
    return QString::fromUtf8(
        testutil::ReadFile(RipLogPath(Settings.OutputFolder, "", "", Settings.ReplaceStr, suffix)));
  }

  uint32_t V1(int track) const { return Expected[size_t(track - 1)].V1; }
  uint32_t V2(int track) const { return Expected[size_t(track - 1)].V2; }

  testutil::TTempFolder Temp;
  TConfig Settings;
  testutil::TDiscImage Image;
  TCDRIP CDRIP;
  TLameCoder Coder;
  TQuietView View;
  TRipPlan Plan;
  TJobList& Jobs = Plan.Jobs;
  std::vector<artest::TArSums> Expected;
  std::vector<uint32_t> Crcs;
};

TEST_F(VerifySession, MatchingDatabaseProvesEveryTrackOfAWavRip) {
  const QString accurate = "Accurately ripped, confidence 6 (v2) of 6 submissions";
  EXPECT_EQ(Rip(artest::DbarAnswer({{V2(1), V2(2), V2(3)}})),
            QStringList({accurate, accurate, accurate}));
  // The file holds the bytes the checksums were taken of.
  EXPECT_EQ(artest::Crc32(testutil::ReadFile(Jobs[1].OutputPath).mid(44)), Crcs[1]);
}

TEST_F(VerifySession, AWrongEntryFailsThatTrackAloneWhileEncodingOnTheFly) {
  Settings.OutputFormat = 1;
  Settings.OnTheFly = true;
  // Two pressings: the first agrees in v1 on tracks 1 and 3, the second in
  // v2 on track 3; neither has track 2.
  EXPECT_EQ(Rip(artest::DbarAnswer({{V1(1), V1(2) ^ 1, V1(3)}, {7, 8, V2(3)}})),
            QStringList({"Accurately ripped, confidence 6 (v1) of 12 submissions",
                         "Not accurately ripped (no match among 12 submissions)",
                         "Accurately ripped, confidence 6 (v2) + 6 (v1) of 12 submissions"}));
  EXPECT_TRUE(LogText().contains(QString::asprintf(
      "    AccurateRip database: pressing 1 CRC %08X confidence 6 (agrees in v1); pressing 2 CRC "
      "%08X confidence 6 (agrees in v2)\n",
      V1(3), V2(3))));
}

// The pressing in the database lies 12 samples later than the disc read: each
// track agrees there, its last samples taken from the track after it.
TEST_F(VerifySession, AnotherPressingAgreesAtItsOffset) {
  std::vector<uint32_t> pressing;
  for (int track = 1; track <= 3; ++track)
    pressing.push_back(
        artest::ArSums(artest::ShiftedTrack(Image, track, 12), track == 1, track == 3).V1);
  const QString found =
      "Accurately ripped, pressing offset +12, confidence 6 (v1) of 6 submissions";
  EXPECT_EQ(Rip(artest::DbarAnswer({pressing})), QStringList({found, found, found}));
  const QString log = LogText();
  EXPECT_TRUE(log.contains(QString::asprintf(
      "    AccurateRip: %s\n    AccurateRip database: pressing 1 CRC %08X confidence 6 (agrees in "
      "v1 at pressing offset +12)\n    AccurateRip v1 at pressing offset +12: %08X\n",
      qPrintable(found), pressing[1], pressing[1])))
      << log.toStdString();
  EXPECT_TRUE(log.contains("\nAccurateRip summary: All tracks accurately ripped\nNo errors\n"));
}

TEST_F(VerifySession, ABrokenOrMissingAnswerLeavesTheRipGood) {
  const auto same = [](const QString& text) { return QStringList({text, text, text}); };
  EXPECT_EQ(Rip(artest::DbarAnswer({{V2(1), V2(2), V2(3)}}, 1)),
            same("Not verified: the AccurateRip answer is unreadable"));
  EXPECT_EQ(Rip(testutil::TTestServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n")),
            same("Not verified: the disc is not in the AccurateRip database"));
  EXPECT_TRUE(
      LogText().contains("\nAccurateRip summary: 0 of 3 tracks accurately ripped, 3 not "
                         "verified (the disc is not in the AccurateRip database)\n"));
  EXPECT_EQ(Rip([](QTcpSocket*, const QByteArray&) {}, 500),
            same("Not verified: no answer from the AccurateRip database"));
  EXPECT_TRUE(View.Messages.isEmpty()) << View.Messages.join('\n').toStdString();
}

// Ctrl-C or Abort while a stalled server holds the answer ends the lookup
// at once, not at its deadline.
TEST_F(VerifySession, AStopWhileTheAnswerIsAwaitedEndsTheLookupAtOnce) {
  testutil::TTestServer stalled([](QTcpSocket*, const QByteArray&) {});
  Settings.AccurateRipServer = "http://" + stalled.HostPort();
  MakeJobs();
  TConvSession session(CDRIP, Coder, View);
  session.AccurateRipTimeoutMs = 60000;
  QTimer stop;
  QObject::connect(&stop, &QTimer::timeout, [&] {
    if (Jobs[2].State == jsDone) session.Abort();
  });
  stop.start(10);
  QElapsedTimer clock;
  clock.start();
  testutil::MakePlan(Plan, CDRIP, Settings, true);
  session.StartSession(Plan);
  EXPECT_LT(clock.elapsed(), 30000);
  EXPECT_EQ(session.Verification()->AnswerText(),
            "No answer from the AccurateRip database (stopped)");
  EXPECT_EQ(Jobs[2].State, jsDone);
}

TEST_F(VerifySession, AnExistingLogIsReplacedOnlyAsTheTracksWouldBe) {
  const auto matching = artest::DbarAnswer({{V2(1), V2(2), V2(3)}});
  Rip(matching);
  const QString log = RipLogPath(Settings.OutputFolder, "", "", Settings.ReplaceStr);
  ASSERT_TRUE(LogText().contains("\nAccurateRip summary: All tracks accurately ripped\n"));

  testutil::WriteFile(log, "mine");
  Settings.OverwritePrompt = true;
  View.Answers = {orYes, orYes, orYes, orNo};  // the tracks, not the log
  Rip(matching);
  EXPECT_EQ(View.Asked.value(3), '"' + log + '"');
  EXPECT_EQ(testutil::ReadFile(log), "mine");

  View.Answers = {orYesToAll};
  View.Asked.clear();
  Rip(matching);
  EXPECT_EQ(View.Asked.size(), 1);  // yes to all covers the log too
  EXPECT_TRUE(testutil::ReadFile(log).startsWith("Cadenzo 1.06 rip log\n"));
  EXPECT_TRUE(View.Messages.isEmpty()) << View.Messages.join('\n').toStdString();
}

TEST_F(VerifySession, ALogThatCannotBeWrittenIsAnErrorLineAndTheTracksStayDone) {
  const QString log = RipLogPath(Settings.OutputFolder, "", "", Settings.ReplaceStr);
  ASSERT_TRUE(QDir().mkpath(log));  // a folder where the log should go
  Rip(artest::DbarAnswer({{V2(1), V2(2), V2(3)}}));
  ASSERT_EQ(View.Messages.size(), 1);
  EXPECT_TRUE(View.Messages[0].startsWith("The rip log '" + log + "' can't be written: "))
      << View.Messages[0].toStdString();
  EXPECT_EQ(QDir(Settings.OutputFolder).entryList({"*.wav"}).size(), 3);
}

// The sheet read back by libcue, as a player of the files would read it (the
// CD library's cue reader takes only one image file): the files in order,
// each track from the start of its own file, the disc's names and ID.
TEST_F(VerifySession, TheCueSheetNamesTheWrittenFilesInOrderAndReadsBack) {
  Rip(artest::DbarAnswer({{V2(1), V2(2), V2(3)}}));
  const QString path = CueSheetPath(Settings.OutputFolder, "", "", Settings.ReplaceStr);
  const QByteArray text = testutil::ReadFile(path);
  std::unique_ptr<Cd, void (*)(Cd*)> cue(cue_parse_string(text.constData()), cd_delete);
  ASSERT_TRUE(cue) << text.toStdString();
  ASSERT_EQ(cd_get_ntrack(cue.get()), 3);
  for (int track = 1; track <= 3; ++track) {
    Track* entry = cd_get_track(cue.get(), track);
    EXPECT_EQ(QString(track_get_filename(entry)), QString("%1.wav").arg(track));
    EXPECT_EQ(track_get_index(entry, 1), 0) << track;
    EXPECT_TRUE(QFileInfo(Settings.OutputFolder + "/" + track_get_filename(entry)).isFile());
  }
  TMyCDInfo disc;
  ASSERT_TRUE(disc.LoadFromTOC(ReadDisc(CDRIP)));
  EXPECT_TRUE(text.contains(QString::asprintf("REM DISCID %08X\r\n", disc.DiscID).toLatin1()));
}

// The fixture's audio under a sheet of pregaps: track 1 starts at sector 10
// (audio before it, or PREGAP silence) and track 2's INDEX 00 lies 5 sectors
// before it. The rip's sheet, read back by the CD library as an image of the
// WAVs, must be the same disc: TOC, pregaps and every sample the rip kept.
TEST_F(VerifySession, PregapsAndAHiddenTrackReachTheLogAndASheetThatReadsBackAsTheDisc) {
  struct TCase {
    const char* Name;
    const char* Track1;  // its lines before INDEX 01
    bool RipHidden;
    bool Hidden;         // a track 00 is expected
    const char* Before;  // what the log says of the audio before track 1
  };
  for (const TCase& c :
       {TCase{"audible", "    INDEX 00 00:00:00\n", true, true, "not silent: ripped as track 00"},
        TCase{"not asked for", "    INDEX 00 00:00:00\n", false, false, "not checked"},
        TCase{"silent", "    PREGAP 00:00:10\n", true, false,
              "read and found silent: not ripped"}}) {
    SCOPED_TRACE(c.Name);
    const bool silence = QByteArray(c.Track1).contains("PREGAP");
    const QString sheet = Temp.File(QString("pregaps %1.cue").arg(c.Name));
    testutil::WriteFile(
        sheet, QString("CATALOG 0123456789012\nPERFORMER \"Band\"\nTITLE \"Album\"\n"
                       "FILE \"%1\" BINARY\n  TRACK 01 AUDIO\n    ISRC USABC9900001\n%2"
                       "    INDEX 01 00:00:%3\n  TRACK 02 AUDIO\n    INDEX 00 00:00:35\n"
                       "    INDEX 01 00:00:40\n  TRACK 03 AUDIO\n    INDEX 01 00:00:63\n")
                   .arg(QFileInfo(Image.BinPath).fileName(), c.Track1, silence ? "00" : "10")
                   .toUtf8());
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {sheet});
    ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    TCDRIP disc;
    disc.SetCDRomNum(CR_GetNumCDROM() - 1);
    disc.SetCoder(&Coder);
    ASSERT_EQ(disc.TrackCount(), 3);
    const QByteArray pcm = (silence ? QByteArray(10 * 2352, '\0') : QByteArray()) + Image.Pcm;
    const auto toc = [](TCDRIP& rip) {
      std::vector<int> starts;
      for (const TTrackListItem& item : rip.TrackList())
        starts.insert(starts.end(), {item.Track.StartSector, rip.TrackPregap(item.Track.TrackNum)});
      starts.push_back(rip.TrackList().back().Track.EndSector);
      return starts;
    };
    const std::vector<int> original = toc(disc);
    const int shift = silence ? 10 : 0;  // the silence is not in the file
    ASSERT_EQ(original, (std::vector<int>{10, 10, 40 + shift, 5, 63 + shift, 0, 94 + shift}));
    std::vector<uint32_t> v2;
    for (int track = 0; track < 3; ++track) {
      const int start = original[size_t(2 * track)], end = original[size_t(2 * track + 2)];
      v2.push_back(
          artest::ArSums(pcm.mid(start * 2352, (end - start) * 2352), track == 0, track == 2).V2);
    }

    Settings.RipHiddenTrack = c.RipHidden;
    const QString out = Temp.File(QString("out %1").arg(c.Name));
    Settings.OutputFolder = out;
    ASSERT_TRUE(QDir().mkpath(out));
    TRipPlan plan;
    TJobList& jobs = plan.Jobs;
    for (int i = 0; i < 3; ++i) {
      TFileParam job;
      job.RowIndex = i;
      job.TrackInfo.TrackIndex = i;
      job.TrackInfo.Artist = "Band";
      job.TrackInfo.Album = "Album";
      job.TrackInfo.Category = "rock";
      job.TrackInfo.Year = "1999";
      job.TrackInfo.Title = job.Title = QString("Song %1").arg(i + 1);
      job.OutputPath = out + QString("/%1.wav").arg(i + 1);
      jobs.push_back(job);
    }
    testutil::TTestServer server(artest::DbarAnswer({v2}));
    Settings.AccurateRipServer = "http://" + server.HostPort();
    TConvSession session(disc, Coder, View);
    testutil::MakePlan(plan, disc, Settings, true);
    EXPECT_TRUE(session.StartSession(plan));
    ASSERT_EQ(jobs.size(), c.Hidden ? 4u : 3u);
    for (const TFileParam& job : jobs) EXPECT_EQ(job.State, jsDone) << job.Title.toStdString();
    const QString log = QString::fromUtf8(
        testutil::ReadFile(RipLogPath(out, "Band", "Album", Settings.ReplaceStr)));
    EXPECT_TRUE(log.contains("\nAccurateRip summary: All tracks accurately ripped\n"))
        << log.toStdString();
    EXPECT_TRUE(log.contains("\nAudio before track 1: 00:00:10, " + QString(c.Before) + "\n"));
    EXPECT_TRUE(log.contains("\nTrack 02\n    File: 2.wav\n    Pre-gap: 00:00:05\n"));
    EXPECT_EQ(log.contains("\nTrack 00\n"), c.Hidden);
    if (c.Hidden) {
      EXPECT_EQ(jobs[0].TrackInfo.TrackIndex, -1);
      EXPECT_EQ(testutil::ReadFile(jobs[0].OutputPath).mid(44), pcm.left(10 * 2352));
      EXPECT_EQ(QFileInfo(jobs[0].OutputPath).completeBaseName(), "Hidden track");
      EXPECT_TRUE(log.contains(QString::asprintf(
          "\nTrack 00\n    File: %s\n    Peak level: %.1f %%\n    Copy CRC: %08X\n",
          qPrintable(QFileInfo(jobs[0].OutputPath).fileName()),
          session.Verification()->Track(0)->Peak * 100.0 / 32768,
          artest::Crc32(pcm.left(10 * 2352)))))
          << log.toStdString();
    }
    const QString written = CueSheetPath(out, "Band", "Album", Settings.ReplaceStr);
    const QByteArray text = testutil::ReadFile(written);
    for (const char* line :
         {"REM GENRE \"rock\"\r\nREM DATE \"1999\"\r\n", "CATALOG 0123456789012\r\n",
          "    ISRC USABC9900001\r\n", "    TITLE \"Song 2\"\r\n    PERFORMER \"Band\"\r\n"})
      EXPECT_TRUE(text.contains(line)) << line << '\n' << text.toStdString();

    // The sheet as the only drive: the disc it describes is the original.
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {written});
    ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    TCDRIP readBack;
    readBack.SetCDRomNum(CR_GetNumCDROM() - 1);
    ASSERT_EQ(readBack.TrackCount(), 3) << text.toStdString();
    EXPECT_EQ(toc(readBack), original) << text.toStdString();
    QByteArray audio;
    readBack.OnAudio = [&audio](const uint8_t* data, int32_t bytes) {
      audio.append(reinterpret_cast<const char*>(data), bytes);
    };
    ASSERT_TRUE(readBack.RipSection(0, 94 + shift, out + "/unused.wav"));
    // Only the audio before track 1 that was not ripped is missing (silence).
    EXPECT_EQ(audio.mid(10 * 2352), pcm.mid(10 * 2352));
    EXPECT_EQ(audio.left(10 * 2352) == pcm.left(10 * 2352), c.Hidden || silence);
  }
}

}  // namespace

namespace {

// Encoding from the temporary WAV (not on the fly), the file and its
// checksums hold the audio moved by the read offset.
TEST_F(VerifySession, AReadOffsetReachesTheFileAndTheChecksumsThroughTheTemporaryWav) {
  Settings.OutputFormat = ofFLAC;
  Settings.OnTheFly = false;
  Settings.ReadOffset = -667;
  Settings.AccurateRipServer.clear();
  TFileParam job;
  job.TrackInfo.TrackIndex = 0;
  job.Title = "Song 1";
  job.OutputPath = Settings.OutputFolder + "/1.flac";
  Jobs = {job};
  TConvSession session(CDRIP, Coder, View);
  testutil::MakePlan(Plan, CDRIP, Settings, true);
  EXPECT_TRUE(session.StartSession(Plan));
  EXPECT_EQ(Jobs[0].State, jsDone) << View.Messages.join('\n').toStdString();
  // Track 1 starts with 667 samples of silence from before the disc.
  const QByteArray moved = artest::ShiftedTrack(Image, 1, -667);
  EXPECT_EQ(moved.left(667 * 4), QByteArray(667 * 4, '\0'));
  EXPECT_TRUE(artest::DecodeFlac(Jobs[0].OutputPath) == moved);
  ASSERT_NE(session.Verification()->Track(1), nullptr);
  EXPECT_EQ(session.Verification()->Track(1)->Crc, artest::Crc32(moved));
  EXPECT_EQ(session.Verification()->Track(1)->ArV2, artest::ArSums(moved, true, false).V2);
}

// A rip of track 2 alone leaves the album's log and sheet of the full rip
// as they were and writes its own beside them.
TEST_F(VerifySession, ARipOfSomeTracksKeepsTheAlbumsLogAndSheet) {
  const auto matching = artest::DbarAnswer({{V2(1), V2(2), V2(3)}});
  Rip(matching);
  const QString& folder = Settings.OutputFolder;
  const QByteArray albumLog = testutil::ReadFile(RipLogPath(folder, "", "", Settings.ReplaceStr));
  const QString sheet = CueSheetPath(folder, "", "", Settings.ReplaceStr);
  const QByteArray albumSheet = testutil::ReadFile(sheet);
  MakeJobs();
  Jobs = {Jobs[1]};
  TConvSession session(CDRIP, Coder, View);
  EXPECT_EQ(Run(session, matching), QStringList{"2"});
  EXPECT_EQ(testutil::ReadFile(RipLogPath(folder, "", "", Settings.ReplaceStr)), albumLog);
  EXPECT_EQ(testutil::ReadFile(sheet), albumSheet);
  const QString own = LogText(" (track 2)");
  EXPECT_EQ(session.WrittenLog, RipLogPath(folder, "", "", Settings.ReplaceStr, " (track 2)"));
  EXPECT_TRUE(own.contains("\nTrack 02\n") && !own.contains("\nTrack 01\n")) << own.toStdString();
  EXPECT_EQ(CheckRipLog(own.toUtf8()), TLogCheck::Intact);
  EXPECT_TRUE(testutil::ReadFile(CueSheetPath(folder, "", "", Settings.ReplaceStr, " (track 2)"))
                  .contains("TRACK 02 AUDIO"));
}

// Track 2 loses a sector and its file's name holds a double quote: the sheet
// still names every file as written, numbers the tracks as the disc does,
// and reads back (with libcue, and as a drive) as the disc ripped.
TEST_F(VerifySession, TheSheetNamesEveryFileWrittenAndReadsBackAsTheDisc) {
  testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath},
                          "[Image0]\r\nUnreadableSectors=50\r\n");
  MakeJobs();
  Jobs[1].OutputPath = Settings.OutputFolder + "/2 \"Say\".wav";
  TConvSession session(CDRIP, Coder, View);
  Run(session, artest::DbarAnswer({{V2(1), V2(2), V2(3)}}));
  EXPECT_EQ(Jobs[1].State, jsError);
  const QString log = LogText();
  const QByteArray file = testutil::ReadFile(Jobs[1].OutputPath).mid(44);
  EXPECT_TRUE(log.contains(QString::asprintf(
      "\nTrack 02\n    File: 2 \"Say\".wav\n    Pre-gap: 00:00:00\n    Peak level: "
      "%.1f %%\n    Copy CRC: %08X\n    AccurateRip: Not verified: not read "
      "completely\n",
      session.Verification()->Track(2)->Peak * 100.0 / 32768, artest::Crc32(file))))
      << log.toStdString();
  EXPECT_TRUE(
      log.contains("\nAccurateRip summary: 2 of 3 tracks accurately ripped, 1 not verified "
                   "(not read completely)\nThere were errors\n"));

  const QString sheet = CueSheetPath(Settings.OutputFolder, "", "", Settings.ReplaceStr);
  const QByteArray text = testutil::ReadFile(sheet);
  EXPECT_TRUE(text.contains("REM COMMENT \"Cadenzo 1.06\"\r\n")) << text.toStdString();
  std::unique_ptr<Cd, void (*)(Cd*)> cue(cue_parse_string(text.constData()), cd_delete);
  ASSERT_TRUE(cue) << text.toStdString();
  ASSERT_EQ(cd_get_ntrack(cue.get()), 3) << text.toStdString();
  EXPECT_EQ(QString(track_get_filename(cd_get_track(cue.get(), 2))), "2 \"Say\".wav");
  testutil::WriteCdripIni(Temp.File("cdrip.ini"), {sheet});
  ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
  TCDRIP readBack;
  readBack.SetCDRomNum(CR_GetNumCDROM() - 1);
  std::vector<int> starts;
  for (const TTrackListItem& item : readBack.TrackList()) starts.push_back(item.Track.StartSector);
  EXPECT_EQ(starts, (std::vector<int>{0, 40, 63})) << text.toStdString();
}

}  // namespace
