// cadenzo-rip run as a program against a disc image and an AccurateRip
// server on loopback: its verdict lines, --require-accurate, and the rip log
// whose checksum lines a script reads.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include "ArReference.h"
#include "cddb/TestServer.h"
#include "common/DiscImage.h"
#include "common/TestUtil.h"
#include "settings/config.h"

namespace {

struct TRun {
  int ExitCode = -1;
  QString Out;
};

class CadenzoRipVerify : public ::testing::Test {
 protected:
  void SetUp() override {
    Image = testutil::MakeDiscImage(Temp.File("disc"), "rip", {40, 23, 31});
    // A pressing that agrees on tracks 1 and 3 only.
    Server = std::make_unique<testutil::TTestServer>(
        artest::DbarAnswer({{Sums(1).V2, Sums(2).V2 + 1, Sums(3).V2}}));
    TConfig settings;
    settings.AccurateRipServer = Server->Url("/");
    ASSERT_TRUE(settings.Save());
  }

  artest::TArSums Sums(int track) const {
    return artest::ArSums(Image.TrackPcm(track), track == 1, track == 3);
  }

  // The program runs while this process's event loop serves the database.
  TRun Rip(const QStringList& arguments) {
    QProcess process;
    process.start(testutil::ProgramDir() + "/cadenzo-rip",
                  QStringList{"--image", Image.CuePath, "--format", "wav", "--output-folder",
                              Temp.File("out")} +
                      arguments);
    process.closeWriteChannel();
    EXPECT_TRUE(
        testutil::WaitFor([&process] { return process.state() == QProcess::NotRunning; }, 120000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput())};
  }

  testutil::TTempFolder Temp;
  testutil::TDiscImage Image;
  std::unique_ptr<testutil::TTestServer> Server;
};

TEST_F(CadenzoRipVerify, PrintsEachTracksVerdictAndLogsItsChecksums) {
  const TRun run = Rip({});
  EXPECT_EQ(run.ExitCode, 0) << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains(QRegularExpression(
      "Done +\\S+01[^\\n]*\\nTrack 01: accurately ripped \\(confidence 6, v2\\)\\n")))
      << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains("Track 02: not accurately ripped (database has 6 entries)\n"));
  EXPECT_TRUE(run.Out.contains("AccurateRip: 2 of 3 tracks accurately ripped\n"));

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
  EXPECT_TRUE(log.endsWith("\n2 of 3 tracks accurately ripped\n")) << log.toStdString();

  // The same rip demanding proof fails on the one track that lacks it.
  const TRun strict = Rip({"--require-accurate", "--tracks", "2", "--overwrite", "all"});
  EXPECT_EQ(strict.ExitCode, 1) << strict.Out.toStdString();
  EXPECT_EQ(Rip({"--require-accurate", "--tracks", "3", "--overwrite", "all"}).ExitCode, 0);
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
  Server = std::make_unique<testutil::TTestServer>(artest::DbarAnswer(
      {{v2(10, 40, true, false), v2(40, 63, false, false), v2(63, 94, false, true)}}));
  TConfig settings;
  settings.AccurateRipServer = Server->Url("/");
  ASSERT_TRUE(settings.Save());
  const TRun run = Rip({"--require-accurate"});
  EXPECT_EQ(run.ExitCode, 0) << run.Out.toStdString();
  const QRegularExpressionMatch hidden =
      QRegularExpression("Done +(\\S.*Hidden track\\.wav)\\n").match(run.Out);
  ASSERT_TRUE(hidden.hasMatch()) << run.Out.toStdString();
  EXPECT_EQ(testutil::ReadFile(hidden.captured(1)).mid(44), Image.SectorPcm(0, 10));
  EXPECT_TRUE(run.Out.contains("AccurateRip: all tracks accurately ripped\n"));
}

}  // namespace
