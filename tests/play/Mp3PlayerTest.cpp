// Launching the MP3 player: the configured program with its parameters, or
// the desktop's default application for audio/mpeg found through xdg-mime.
#include "play/Mp3Player.h"

#include <QDir>
#include <QFile>

#include "common/TestUtil.h"

using namespace testutil;

namespace {

class DefaultPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FOldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", FTemp.File("data").toUtf8());
    QDir().mkpath(FTemp.File("data/applications"));
    QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME"));
    FPlayer = FTemp.File("my player");
    FMarker = FTemp.File("started");
    // Written aside and renamed, so the marker appears with its content.
    WriteFile(FPlayer, ("#!/bin/sh\necho \"$@\" > '" + FMarker + ".part' && mv '" + FMarker +
                        ".part' '" + FMarker + "'\n")
                           .toUtf8());
    QFile(FPlayer).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  void TearDown() override {
    QFile::remove(MimeAppsList());
    qputenv("XDG_DATA_HOME", FOldData);
  }
  static QString MimeAppsList() { return qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list"; }
  void Register(const QString& exec) {
    WriteFile(FTemp.File("data/applications/fakeplayer.desktop"),
              ("[Desktop Action Other]\nExec=/bin/false\n[Desktop Entry]\nType=Application\n"
               "Name=Fake\nExec=" + exec + "\nMimeType=audio/mpeg;\n").toUtf8());
    WriteFile(MimeAppsList(), "[Default Applications]\naudio/mpeg=fakeplayer.desktop\n");
  }
  bool Started() { return WaitFor([this] { return QFile::exists(FMarker); }); }

  TTempFolder FTemp;
  QByteArray FOldData;
  QString FPlayer;
  QString FMarker;
};

TEST_F(DefaultPlayerTest, TheRegisteredApplicationsWholeCommandIsStarted) {
  Register("\"" + FPlayer + "\" --play %U");
  EXPECT_EQ(DefaultMp3PlayerCommand(), (QStringList{FPlayer, "--play"}));
  ASSERT_TRUE(LaunchMp3Player("  ", ""));
  ASSERT_TRUE(Started());
  EXPECT_EQ(ReadFile(FMarker), "--play\n");
}

TEST_F(DefaultPlayerTest, AWrappedPlayerStartsThroughItsWrapper) {
  // env sets a variable and starts the player, as sandboxed apps' entries do.
  Register("env CADENZO_TEST=1 \"" + FPlayer + "\" --from-env %U");
  ASSERT_TRUE(LaunchMp3Player("", ""));
  ASSERT_TRUE(Started());
  EXPECT_EQ(ReadFile(FMarker), "--from-env\n");
}

TEST_F(DefaultPlayerTest, NothingRegisteredOrInstalledIsReported) {
  EXPECT_EQ(DefaultMp3PlayerCommand(), QStringList());
  EXPECT_FALSE(LaunchMp3Player("", ""));
  Register("/no/such/player %U");
  EXPECT_EQ(DefaultMp3PlayerCommand(), QStringList());
  EXPECT_FALSE(LaunchMp3Player("", ""));
  Register("\"" + FPlayer + " %U");  // an unclosed quote
  EXPECT_FALSE(LaunchMp3Player("", ""));
  // Installed but not startable: no program format the system knows.
  const QString broken = FTemp.File("broken");
  WriteFile(broken, QByteArray("\x7f"
                               "ELF garbage",
                               12));
  QFile(broken).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  Register(broken + " %U");
  EXPECT_FALSE(LaunchMp3Player("", ""));
}

TEST_F(DefaultPlayerTest, TheConfiguredProgramGetsItsParameters) {
  ASSERT_TRUE(LaunchMp3Player(FPlayer, "--volume 50 \"two words\""));
  ASSERT_TRUE(Started());
  EXPECT_EQ(ReadFile(FMarker), "--volume 50 two words\n");
  EXPECT_FALSE(LaunchMp3Player(FTemp.File("missing"), ""));
}

}  // namespace
