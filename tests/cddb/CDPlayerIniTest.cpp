// TMyCDInfo's cdplayer.ini store, on the real file in the test's config folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "cddb/CDInfo.h"
#include "common/TestUtil.h"
#include "platform/Profile.h"

namespace {

class CDPlayerIni : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile::remove(TMyCDInfo::CDPlayerIniPath());
    QDir().rmdir(TMyCDInfo::CDPlayerIniPath());
    Info.TrackCount = 3;
    Info.CDPlayerKey = 0x2A3;
    Info.SetDefaultNames();
  }
  void TearDown() override {
    QFile::remove(TMyCDInfo::CDPlayerIniPath());
    QDir().rmdir(TMyCDInfo::CDPlayerIniPath());
  }
  static void WriteIni(const QByteArray& text) {
    testutil::WriteFile(TMyCDInfo::CDPlayerIniPath(), text);
  }

  TMyCDInfo Info;
};

}  // namespace

TEST_F(CDPlayerIni, FirstWriteCreatesTheSectionInKeyOrder) {
  Info.Artist = "Artist";
  Info.Album = "Album";
  Info.Year = "";
  Info.Category = "Rock";
  Info.SetTrackTitle(1, "Second");
  ASSERT_TRUE(Info.WriteCDPlayerIni());

  const QString path = TMyCDInfo::CDPlayerIniPath();
  EXPECT_EQ(platform::GetProfileSections(path), QStringList{"2a3"});
  EXPECT_EQ(platform::GetProfileKeys(path, "2a3"),
            (QStringList{"artist", "title", "numtracks", "year", "category", "0", "1", "2"}));
  EXPECT_EQ(platform::GetProfileString(path, "2a3", "numtracks", ""), "3");
  EXPECT_EQ(platform::GetProfileString(path, "2a3", "year", "missing"), "");
  EXPECT_EQ(platform::GetProfileString(path, "2a3", "1", ""), "Second");
  EXPECT_EQ(platform::GetProfileString(path, "2a3", "2", ""), "Track03");
}

TEST_F(CDPlayerIni, WriteKeepsOtherSectionsAndKeys) {
  WriteIni(
      "; written by another player\r\n"
      "[other]\r\nartist=Someone Else\r\n0=Keep me\r\n"
      "[2A3]\r\nartist=Old\r\nEntryType=1\r\n");
  Info.Artist = "New";
  ASSERT_TRUE(Info.WriteCDPlayerIni());

  const QString path = TMyCDInfo::CDPlayerIniPath();
  EXPECT_TRUE(testutil::ReadFile(path).startsWith("; written by another player\r\n"));
  EXPECT_EQ(platform::GetProfileString(path, "other", "artist", ""), "Someone Else");
  EXPECT_EQ(platform::GetProfileString(path, "other", "0", ""), "Keep me");
  EXPECT_EQ(platform::GetProfileString(path, "2a3", "artist", ""), "New");
  EXPECT_EQ(platform::GetProfileString(path, "2a3", "EntryType", ""), "1");
}

TEST_F(CDPlayerIni, ReadRoundTripsNonAsciiNames) {
  Info.Artist = "Björk";
  Info.Album = "Homogenic — ☂";
  Info.Year = "1997";
  Info.Category = "Electronic";
  Info.SetTrackTitle(0, "Jóga");
  ASSERT_TRUE(Info.WriteCDPlayerIni());

  TMyCDInfo read;
  read.TrackCount = 3;
  read.CDPlayerKey = 0x2A3;
  read.SetDefaultNames();
  EXPECT_TRUE(read.ReadCDPlayerIni());
  EXPECT_EQ(read.Artist, "Björk");
  EXPECT_EQ(read.Album, "Homogenic — ☂");
  EXPECT_EQ(read.Year, "1997");
  EXPECT_EQ(read.Category, "Electronic");
  EXPECT_EQ(read.GetTrackTitle(0), "Jóga");
  EXPECT_EQ(read.GetTrackTitle(1), "Track02");
}

TEST_F(CDPlayerIni, PartialSectionChangesOnlyWhatItHas) {
  WriteIni("[2a3]\r\nartist=Only The Artist\r\n");
  Info.Year = "2001";
  Info.Category = "Jazz";
  EXPECT_TRUE(Info.ReadCDPlayerIni());
  EXPECT_EQ(Info.Artist, "Only The Artist");
  EXPECT_EQ(Info.Album, "NOTITLE");
  EXPECT_EQ(Info.Year, "2001");
  EXPECT_EQ(Info.Category, "Jazz");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Info.GetTrackTitle(i), QString("Track0%1").arg(i + 1));
}

TEST_F(CDPlayerIni, ReadsOnlyTheDiscsTracksAndIgnoresNumtracks) {
  WriteIni(
      "[2a3]\nnumtracks=5\n0=One\n1=Two\n2=Three\n3=Four\n4=Five\n"
      "[1]\nartist=Wrong disc\n");
  Info.TrackCount = 2;
  EXPECT_TRUE(Info.ReadCDPlayerIni());
  EXPECT_EQ(Info.TrackCount, 2);
  EXPECT_EQ(Info.GetTrackTitle(0), "One");
  EXPECT_EQ(Info.GetTrackTitle(1), "Two");
  EXPECT_EQ(Info.GetTrackTitle(2), "Track03");
  EXPECT_EQ(Info.Artist, "NOARTIST");
}

TEST_F(CDPlayerIni, Latin1FileOfAnOlderProgramReads) {
  WriteIni("[2a3]\r\nartist=Bj\xf6rk\r\n0=J\xf3ga\r\n");
  EXPECT_TRUE(Info.ReadCDPlayerIni());
  EXPECT_EQ(Info.Artist, "Björk");
  EXPECT_EQ(Info.GetTrackTitle(0), "Jóga");
}

TEST_F(CDPlayerIni, MissingFileChangesNothing) {
  Info.Artist = "Kept";
  EXPECT_TRUE(Info.ReadCDPlayerIni());
  EXPECT_EQ(Info.Artist, "Kept");
  EXPECT_EQ(Info.Album, "NOTITLE");
}

TEST_F(CDPlayerIni, WriteFailureIsReported) {
  // A folder where the file should be cannot be replaced, not even by root.
  ASSERT_TRUE(QDir().mkpath(TMyCDInfo::CDPlayerIniPath()));
  EXPECT_FALSE(Info.WriteCDPlayerIni());
}

// A pasted line break once started a section of its own and lost the titles.
TEST_F(CDPlayerIni, APastedLineBreakStaysOnTheValuesLine) {
  Info.Artist = "Artist";
  Info.Album = "Album\r\n[2a3]\r\n0=Hijacked";
  Info.Year = "19\n99";
  Info.Category = "Rock\r";
  Info.SetTrackTitle(0, "First\nLine");
  Info.SetTrackTitle(1, "Second");
  ASSERT_TRUE(Info.WriteCDPlayerIni());

  const QString path = TMyCDInfo::CDPlayerIniPath();
  EXPECT_EQ(platform::GetProfileSections(path), QStringList{"2a3"});
  EXPECT_EQ(platform::GetProfileKeys(path, "2a3"),
            (QStringList{"artist", "title", "numtracks", "year", "category", "0", "1", "2"}));
  TMyCDInfo read;
  read.TrackCount = 3;
  read.CDPlayerKey = 0x2A3;
  read.SetDefaultNames();
  read.ReadCDPlayerIni();
  EXPECT_EQ(read.Album, "Album [2a3] 0=Hijacked");
  EXPECT_EQ(read.Year, "19 99");
  EXPECT_EQ(read.Category, "Rock ");  // the break became a blank, kept by quotes
  EXPECT_EQ(read.GetTrackTitle(0), "First Line");
  EXPECT_EQ(read.GetTrackTitle(1), "Second");
  EXPECT_EQ(read.Artist, "Artist");
}

TEST_F(CDPlayerIni, AStrayLatin1ByteDecodesOnlyItsOwnLineAndTheSaveStoresUtf8) {
  WriteIni("[2a3]\r\nartist=Bj\xC3\xB6rk\r\ntitle=J\xF3ga\r\n0=\xE2\x98\x82\r\n");
  ASSERT_TRUE(Info.ReadCDPlayerIni());
  EXPECT_EQ(Info.Artist, "Björk");
  EXPECT_EQ(Info.Album, "Jóga");
  EXPECT_EQ(Info.GetTrackTitle(0), "☂");
  ASSERT_TRUE(Info.WriteCDPlayerIni());
  const QByteArray file = testutil::ReadFile(TMyCDInfo::CDPlayerIniPath());
  EXPECT_TRUE(
      file.startsWith("[2a3]\r\nartist=Bj\xC3\xB6rk\r\ntitle=J\xC3\xB3ga\r\n0=\xE2\x98\x82\r\n"))
      << file.toStdString();
}
