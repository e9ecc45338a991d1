// cadenzo-rip run as a program against a disc image and an AccurateRip
// server on loopback: its verdict lines, --require-accurate, and the rip log
// whose checksum lines a script reads.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include "ArReference.h"
#include "CtdbReference.h"
#include "common/DiscImage.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "libs/cdrip/cdrip.h"
#include "platform/Folders.h"
#include "settings/config.h"

namespace {

struct TRun {
  int ExitCode = -1;
  QString Out;
  QString Err;
};

class CadenzoRipVerify : public ::testing::Test {
 protected:
  void SetUp() override {
    Image = testutil::MakeDiscImage(Temp.File("disc"), "rip", {40, 23, 31});
    // A pressing that agrees on tracks 1 and 3 only.
    Serve(artest::DbarAnswer({{Sums(1).V2, Sums(2).V2 + 1, Sums(3).V2}}));
  }

  // The settings name a database on loopback that gives this answer.
  void Serve(const testutil::TTestServer::TAnswer& answer) {
    Server = std::make_unique<testutil::TTestServer>(answer);
    TConfig settings;
    settings.AccurateRipServer = Server->Url("/");
    ASSERT_TRUE(settings.Save());
  }

  artest::TArSums Sums(int track) const {
    return artest::ArSums(Image.TrackPcm(track), track == 1, track == 3);
  }

  // The program runs while this process's event loop serves the database.
  // The image unless the arguments name a drive.
  TRun Rip(const QStringList& arguments) {
    QProcess process;
    const QStringList source =
        arguments.contains("--drive") ? QStringList() : QStringList{"--image", Image.CuePath};
    process.start(
        testutil::ProgramDir() + "/cadenzo-rip",
        source + QStringList{"--format", "wav", "--output-folder", Temp.File("out")} + arguments);
    process.closeWriteChannel();
    EXPECT_TRUE(
        testutil::WaitFor([&process] { return process.state() == QProcess::NotRunning; }, 120000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
  }

  testutil::TTempFolder Temp;
  testutil::TDiscImage Image;
  std::unique_ptr<testutil::TTestServer> Server;
};

TEST_F(CadenzoRipVerify, PrintsEachTracksVerdictAndLogsItsChecksums) {
  const TRun run = Rip({});
  EXPECT_EQ(run.ExitCode, 0) << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains(QRegularExpression(
      "Done +\\S+01[^\\n]*\\nTrack 01: accurately ripped, confidence 6 \\(v2\\) of 6 "
      "submissions\\n")))
      << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains("Track 02: not accurately ripped (no match among 6 submissions)\n"));
  EXPECT_TRUE(
      run.Out.contains("AccurateRip: 2 of 3 tracks accurately ripped, 1 not accurately ripped\n"));

  // The log's checksum lines, read as a script would read them.
  const QStringList logs = QDir(Temp.File("out")).entryList({"*.log"});
  ASSERT_EQ(logs.size(), 1);
  const QString log = QString::fromUtf8(testutil::ReadFile(Temp.File("out/" + logs[0])));
  static const QRegularExpression block(
      "^Track (\\d\\d)\\n(?:    .*\\n)*?    Copy CRC: ([0-9A-F]{8})\\n    AccurateRip v1: "
      "([0-9A-F]{8})\\n    AccurateRip v2: ([0-9A-F]{8})\\n",
      QRegularExpression::MultilineOption);
  int blocks = 0;
  for (auto it = block.globalMatch(log); it.hasNext(); ++blocks) {
    const QRegularExpressionMatch m = it.next();
    const int track = m.captured(1).toInt();
    EXPECT_EQ(m.captured(2).toUInt(nullptr, 16), artest::Crc32(Image.TrackPcm(track))) << track;
    EXPECT_EQ(m.captured(3).toUInt(nullptr, 16), Sums(track).V1) << track;
    EXPECT_EQ(m.captured(4).toUInt(nullptr, 16), Sums(track).V2) << track;
  }
  EXPECT_EQ(blocks, 3) << log.toStdString();
  EXPECT_TRUE(
      log.contains("\nAccurateRip summary: 2 of 3 tracks accurately ripped, 1 not "
                   "accurately ripped\nNo errors\nLog checksum (SHA-256): "))
      << log.toStdString();

  // The log as written passes its check; one byte changed anywhere, or its
  // checksum line gone, fails it.
  const QString path = Temp.File("out/" + logs[0]);
  const TRun intact = Rip({"--check-log", path});
  EXPECT_EQ(intact.ExitCode, 0);
  EXPECT_EQ(intact.Out, path + ": the log is as it was written\n");
  const QByteArray bytes = testutil::ReadFile(path);
  for (const qsizetype at : {qsizetype(30), bytes.indexOf("Copy CRC") + 10, bytes.size() - 3}) {
    QByteArray edited = bytes;
    edited[at] = char(edited[at] == '1' ? '2' : '1');
    testutil::WriteFile(Temp.File("edited.log"), edited);
    const TRun changed = Rip({"--check-log", Temp.File("edited.log")});
    EXPECT_EQ(changed.ExitCode, 1) << at;
    EXPECT_TRUE(changed.Out.endsWith(": the log was changed after it was written\n")) << at;
  }
  testutil::WriteFile(Temp.File("edited.log"), bytes.left(bytes.lastIndexOf("Log checksum")));
  EXPECT_EQ(Rip({"--check-log", Temp.File("edited.log")}).ExitCode, 1);

  // The same rip demanding proof fails on the one track that lacks it.
  const TRun strict = Rip({"--require-accurate", "--tracks", "2", "--overwrite", "all"});
  EXPECT_EQ(strict.ExitCode, 1) << strict.Out.toStdString();
  EXPECT_EQ(Rip({"--require-accurate", "--tracks", "3", "--overwrite", "all"}).ExitCode, 0);
}

// The CTDB confirms the track AccurateRip does not: its verdict is said
// apart, and either database confirming a track meets --require-accurate.
TEST_F(CadenzoRipVerify, EitherDatabaseConfirmingATrackMeetsTheDemandForProof) {
  const ctdbtest::TReference reference =
      ctdbtest::Reference(Image.Pcm, {0, 40 * 1176, 63 * 1176}, 8);
  testutil::TTestServer ctdb(testutil::TTestServer::Body(
      ctdbtest::Answer(ctdbtest::EntryXml(reference, 8, 3, "0:40:63:94", "/parity/1"))));
  TConfig settings;
  settings.Load();
  settings.CtdbServer = ctdb.Url("/");
  ASSERT_TRUE(settings.Save());
  const TRun run = Rip({"--require-accurate"});
  EXPECT_EQ(run.ExitCode, 0) << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains("Track 02: not accurately ripped (no match among 6 submissions)\n"))
      << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains("\nCTDB: accurately ripped (confidence 3 of 3)\n"))
      << run.Out.toStdString();
  EXPECT_EQ(Rip({"--no-verify", "--overwrite", "all"}).Out.indexOf("CTDB"), -1);
  EXPECT_EQ(ctdb.Requests.size(), 1);
}

// Audio before track 1 is ripped as track 00, which the database cannot
// vouch for and --require-accurate does not ask it to.
TEST_F(CadenzoRipVerify, AHiddenTrackIsRippedWithoutFailingARipThatDemandsProof) {
  testutil::WriteFile(Image.CuePath,
                      "FILE \"rip.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n"
                      "    INDEX 01 00:00:10\n  TRACK 02 AUDIO\n    INDEX 01 00:00:40\n"
                      "  TRACK 03 AUDIO\n    INDEX 01 00:00:63\n");
  const auto v2 = [this](int start, int end, bool first, bool last) {
    return artest::ArSums(Image.SectorPcm(start, end), first, last).V2;
  };
  Serve(artest::DbarAnswer(
      {{v2(10, 40, true, false), v2(40, 63, false, false), v2(63, 94, false, true)}}));
  const TRun run = Rip({"--require-accurate"});
  EXPECT_EQ(run.ExitCode, 0) << run.Out.toStdString();
  const QRegularExpressionMatch hidden =
      QRegularExpression("Done +(\\S.*Hidden track\\.wav)\\n").match(run.Out);
  ASSERT_TRUE(hidden.hasMatch()) << run.Out.toStdString();
  EXPECT_EQ(testutil::ReadFile(hidden.captured(1)).mid(44), Image.SectorPcm(0, 10));
  EXPECT_TRUE(run.Out.contains("AccurateRip: all tracks accurately ripped\n"));
}

// A track that lost a sector has no verdict, whatever the others have: the
// run neither counts it accurate nor leaves it out of the count.
TEST_F(CadenzoRipVerify, ATrackThatLostASectorIsNotVerified) {
  Serve(artest::DbarAnswer({{Sums(1).V2, Sums(2).V2, Sums(3).V2}}));
  testutil::WriteCdripIni(platform::CdripIniPath(), {Image.CuePath},
                          "[Image0]\r\nUnreadableSectors=50\r\n");
  ASSERT_EQ(CR_Init(platform::CdripIniPath().toUtf8().constData()), CDRIP_OK);
  const TRun run = Rip({"--drive", QString::number(CR_GetNumCDROM() - 1)});
  QFile::remove(platform::CdripIniPath());
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(run.Out.contains("Track 02: not verified: not read completely\n"))
      << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains(
      "AccurateRip: 2 of 3 tracks accurately ripped, 1 not verified (not read completely)\n"))
      << run.Out.toStdString();
}

// Normalised files are not the audio the database confirmed: the log says
// so and gives each file's own CRC, and a rip demanding proof fails.
TEST_F(CadenzoRipVerify, NormalisedFilesAreNotVouchedForAsTheAudioRead) {
  Serve(artest::DbarAnswer({{Sums(1).V2, Sums(2).V2, Sums(3).V2}}));
  for (const QString& format : {QString("wav"), QString("flac")}) {
    const QString out = Temp.File("out " + format);
    const TRun run = Rip({"--normalize", "90", "--require-accurate", "--tracks", "1", "--format",
                          format, "--output-folder", out});
    EXPECT_EQ(run.ExitCode, 1) << format.toStdString();
    const QString suffix = " (of the audio read; the file holds it normalised)";
    EXPECT_TRUE(run.Out.contains("Track 01: accurately ripped, confidence 6 (v2) of 6 submissions" +
                                 suffix + "\n"))
        << run.Out.toStdString();
    const QString file = out + "/" + QDir(out).entryList({"*01." + format}).value(0);
    const QByteArray audio =
        format == "wav" ? testutil::ReadFile(file).mid(44) : artest::DecodeFlac(file);
    ASSERT_FALSE(audio.isEmpty()) << format.toStdString();
    EXPECT_NE(audio, Image.TrackPcm(1));
    const QString log =
        QString::fromUtf8(testutil::ReadFile(out + "/" + QDir(out).entryList({"*.log"}).value(0)));
    EXPECT_TRUE(log.contains("\nNormalisation: each file to 90 % of full scale;"))
        << log.toStdString();
    EXPECT_TRUE(
        log.contains(QString::asprintf("    Copy CRC: %08X\n    File CRC: %08X\n",
                                       artest::Crc32(Image.TrackPcm(1)), artest::Crc32(audio))))
        << log.toStdString();
  }
}

// A log or sheet that cannot be written fails the run as a track would: here
// a folder stands where each goes.
TEST_F(CadenzoRipVerify, ALogOrSheetThatCannotBeWrittenFailsTheRun) {
  ASSERT_EQ(Rip({}).ExitCode, 0);
  const QDir out(Temp.File("out"));
  const QStringList written = out.entryList({"*.log", "*.cue"});
  ASSERT_EQ(written.size(), 2);
  for (const QString& name : written)
    ASSERT_TRUE(QFile::remove(out.filePath(name)) && out.mkdir(name));
  const TRun run = Rip({"--overwrite", "all"});
  EXPECT_EQ(run.ExitCode, 1) << run.Err.toStdString();
  EXPECT_EQ(out.entryList({"*.wav"}).size(), 3);
  EXPECT_TRUE(run.Err.contains(QRegularExpression("The rip log '[^']*\\.log' can't be written: ")))
      << run.Err.toStdString();
  EXPECT_TRUE(
      run.Err.contains(QRegularExpression("The CUE sheet '[^']*\\.cue' can't be written: ")))
      << run.Err.toStdString();
}

// Tracks 1 and 3 alone form no sheet of the disc: none is written, the
// user is told why, and the run still succeeds with its log.
TEST_F(CadenzoRipVerify, FilesThatLeaveATrackOutGetNoSheetAndSaySo) {
  const TRun run = Rip({"--tracks", "1,3"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
  const QDir out(Temp.File("out"));
  EXPECT_EQ(out.entryList({"*.log"}).size(), 1);
  EXPECT_TRUE(out.entryList({"*.cue"}).isEmpty());
  EXPECT_TRUE(run.Err.contains("No CUE sheet written: the files leave out track 2 between them"))
      << run.Err.toStdString();
}

// The database holds the rips of drives read at +667: only a rip at that
// offset agrees, in every track's file and through the parallel encoders.
TEST_F(CadenzoRipVerify, OnlyTheRightReadOffsetMatchesTheDatabase) {
  constexpr int kOffset = 667;
  std::vector<uint32_t> shifted;
  for (int track = 1; track <= 3; ++track)
    shifted.push_back(
        artest::ArSums(artest::ShiftedTrack(Image, track, kOffset), track == 1, track == 3).V2);
  Serve(artest::DbarAnswer({shifted}));

  const TRun right = Rip({"--offset", QString::number(kOffset), "--format", "flac", "--jobs", "2"});
  EXPECT_EQ(right.ExitCode, 0) << right.Out.toStdString();
  EXPECT_TRUE(right.Out.contains("AccurateRip: all tracks accurately ripped\n"))
      << right.Out.toStdString();
  const QStringList files = QDir(Temp.File("out")).entryList({"*.flac"}, QDir::Files, QDir::Name);
  ASSERT_EQ(files.size(), 3);
  for (int track = 1; track <= 3; ++track)
    EXPECT_TRUE(artest::DecodeFlac(Temp.File("out/" + files[track - 1])) ==
                artest::ShiftedTrack(Image, track, kOffset))
        << track;
  const QStringList logs = QDir(Temp.File("out")).entryList({"*.log"});
  ASSERT_EQ(logs.size(), 1);
  const QString log = QString::fromUtf8(testutil::ReadFile(Temp.File("out/" + logs[0])));
  EXPECT_TRUE(log.contains("\nRead offset: 667 samples\n")) << log.toStdString();

  const TRun wrong = Rip({"--offset", QString::number(-kOffset), "--overwrite", "all"});
  EXPECT_EQ(wrong.ExitCode, 0) << wrong.Out.toStdString();
  EXPECT_TRUE(
      wrong.Out.contains("AccurateRip: 0 of 3 tracks accurately ripped, 3 not accurately ripped\n"))
      << wrong.Out.toStdString();
  EXPECT_TRUE(
      testutil::ReadFile(Temp.File("out/" + QDir(Temp.File("out")).entryList({"*2*.wav"}).value(0)))
          .mid(44) == artest::ShiftedTrack(Image, 2, -kOffset));
}

// A drive that does not read track 2 the same twice: test and copy fails that
// track alone, names both CRCs and keeps its file under a name that says so.
TEST_F(CadenzoRipVerify, TestAndCopyCatchesASecondReadThatDiffers) {
  // A drive of the settings' cdrip.ini: --image would list the image afresh.
  testutil::WriteCdripIni(platform::CdripIniPath(), {Image.CuePath},
                          "[Image0]\r\nChangingSectors=50\r\n");
  ASSERT_EQ(CR_Init(platform::CdripIniPath().toUtf8().constData()), CDRIP_OK);
  const QString drive = QString::number(CR_GetNumCDROM() - 1);
  // A suspect file of an earlier run is the user's now.
  ASSERT_TRUE(QDir().mkpath(Temp.File("out")));
  testutil::WriteFile(Temp.File("out/Track02 (suspect).wav"), "kept");
  const TRun run = Rip({"--drive", drive, "--test-and-copy", "--overwrite", "all"});
  EXPECT_EQ(testutil::ReadFile(Temp.File("out/Track02 (suspect).wav")), "kept");
  EXPECT_EQ(run.ExitCode, 1) << run.Out.toStdString();
  const QString out = Temp.File("out");
  const QStringList wavs = QDir(out).entryList({"*.wav"}, QDir::Files, QDir::Name);
  EXPECT_EQ(wavs.size(), 4) << wavs.join(", ").toStdString();
  const QString suspect = "Track02 (suspect 2).wav";
  ASSERT_TRUE(wavs.contains(suspect)) << wavs.join(", ").toStdString();
  EXPECT_TRUE(run.Out.contains(QRegularExpression("Error +\\S+02\\.wav\\n")))
      << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains(QRegularExpression("Done +\\S+03\\.wav\\n")))
      << run.Out.toStdString();
  // The file holds the copy: the test read was the true one.
  QByteArray copy = Image.TrackPcm(2);
  for (int i = 10 * 2352; i < 11 * 2352; i += 2) copy[i] = char(copy[i] ^ 1);
  EXPECT_TRUE(testutil::ReadFile(out + "/" + suspect).mid(44) == copy);

  const QString log =
      QString::fromUtf8(testutil::ReadFile(out + "/" + QDir(out).entryList({"*.log"}).value(0)));
  const QString test = QString::asprintf("%08X", artest::Crc32(Image.TrackPcm(2)));
  const QString copied = QString::asprintf("%08X", artest::Crc32(copy));
  EXPECT_TRUE(log.contains("Track 02\n    File: " + suspect + "\n")) << log.toStdString();
  EXPECT_TRUE(log.contains("    Test CRC: " + test + "\n    Copy CRC: " + copied + "\n"))
      << log.toStdString();
  const QString first = QString::asprintf("%08X", artest::Crc32(Image.TrackPcm(1)));
  EXPECT_TRUE(log.contains("    Test CRC: " + first + "\n    Copy CRC: " + first + "\n"));
  EXPECT_TRUE(log.contains("\nThere were errors\n")) << log.toStdString();
  EXPECT_TRUE(log.contains("\nTest and copy: on\n")) << log.toStdString();
  EXPECT_TRUE(
      run.Err.contains("Track 2 'Track02': Test CRC " + test + " differs from Copy CRC " + copied))
      << run.Err.toStdString();
  QFile::remove(platform::CdripIniPath());
}

// A drive that scratches and keeps a cache, read without jitter correction:
// nothing in one read tells, but test and copy and the database both do.
TEST_F(CadenzoRipVerify, WithoutCorrectionADamagingDriveIsCaughtByTestAndCopyAndTheDatabase) {
  testutil::WriteCdripIni(
      platform::CdripIniPath(), {Image.CuePath},
      "[Image0]\r\nJitterCorrection=0\r\nScratchedSectors=65-90\r\nDriveCache=16\r\nSeed=3\r\n");
  ASSERT_EQ(CR_Init(platform::CdripIniPath().toUtf8().constData()), CDRIP_OK);
  const TRun run = Rip({"--drive", QString::number(CR_GetNumCDROM() - 1), "--test-and-copy",
                        "--tracks", "3", "--overwrite", "all"});
  EXPECT_EQ(run.ExitCode, 1) << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains(QRegularExpression("Error +\\S+03[^\\n]*\\.wav\\n")))
      << run.Out.toStdString();
  EXPECT_TRUE(
      run.Err.contains(QRegularExpression("Track 3 'Track03': Test CRC [0-9A-F]{8} differs")))
      << run.Err.toStdString();
  EXPECT_TRUE(run.Out.contains("Track 03: not accurately ripped")) << run.Out.toStdString();
  const QString out = Temp.File("out");
  const QString log =
      QString::fromUtf8(testutil::ReadFile(out + "/" + QDir(out).entryList({"*.log"}).value(0)));
  EXPECT_TRUE(log.contains("\nRead mode: jitter correction off,")) << log.toStdString();
  QFile::remove(platform::CdripIniPath());
}

}  // namespace
