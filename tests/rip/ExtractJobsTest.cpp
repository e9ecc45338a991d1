// The extraction steps both front ends share: records, output paths, the
// output folder and the playlists.
#include <QDir>
#include <QFile>

#include "cddb/CDInfo.h"
#include "common/TestUtil.h"
#include "rip/ExtractJobs.h"
#include "rip/RipPlan.h"
#include "settings/config.h"

using namespace testutil;

namespace {

class ExtractJobsTest : public ::testing::Test {
 protected:
  void SetUp() override { Config = &FSettings; }
  void TearDown() override { Config = nullptr; }

  // Jobs of three tracks of 200, 185 and 301 seconds under the folder.
  TJobList ThreeJobs(const QString& folder) {
    const QStringList titles = {"Morning", "Noon, Light", "Night"};
    const int seconds[] = {200, 185, 301};
    TJobList jobs;
    for (int i = 0; i < 3; ++i) {
      TFileParam job;
      job.RowIndex = i;
      job.TrackInfo.TrackIndex = i;
      job.TrackInfo.Title = titles[i];
      job.TrackInfo.LengthSeconds = seconds[i];
      job.OutputPath = folder + "/" + titles[i] + ".mp3";
      job.State = i == 1 ? jsError : jsDone;  // a failed job is listed all the same
      jobs.push_back(job);
    }
    return jobs;
  }

  // Names the jobs as a plan of the settings and the disc's names does.
  void Assign(TJobList& jobs, const QString& artist, const QString& album) {
    TRipPlan plan{TDisc(), std::move(jobs), RipSettingsOf(FSettings)};
    plan.Disc.Names.AlbumArtist = artist;
    plan.Disc.Names.Album = album;
    AssignOutputPaths(plan);
    jobs = std::move(plan.Jobs);
  }

  TConfig FSettings;
  TTempFolder FTemp;
};

TEST_F(ExtractJobsTest, M3uPlaylistListsEveryJobWithLengthTitleAndPath) {
  const TJobList jobs = ThreeJobs(FTemp.Path());
  const QString file = FTemp.File("list.m3u");
  ASSERT_EQ(WritePlaylist(file, jobs), TPlaceResult::Placed);
  const QString p = FTemp.Path();
  EXPECT_EQ(ReadFile(file), ("#EXTM3U\r\n#EXTINF:200, Morning\r\n" + p + "/Morning.mp3\r\n"
                             "#EXTINF:185, Noon, Light\r\n" + p + "/Noon, Light.mp3\r\n"
                             "#EXTINF:301, Night\r\n" + p + "/Night.mp3\r\n").toUtf8());
}

TEST_F(ExtractJobsTest, PlsPlaylistForPlsAndEveryOtherExtension) {
  const TJobList jobs = ThreeJobs(FTemp.Path());
  const QString p = FTemp.Path();
  const QByteArray expected =
      ("[playlist]\r\nFile1=" + p + "/Morning.mp3\r\nTitle1=Morning\r\nLength1=200\r\n"
       "File2=" + p + "/Noon, Light.mp3\r\nTitle2=Noon, Light\r\nLength2=185\r\n"
       "File3=" + p + "/Night.mp3\r\nTitle3=Night\r\nLength3=301\r\n"
       "NumberOfEntries=3\r\nVersion=2\r\n").toUtf8();
  for (const QString name : {"list.pls", "list.PLS", "list.txt", "list"}) {
    const QString file = FTemp.File(name);
    ASSERT_EQ(WritePlaylist(file, jobs), TPlaceResult::Placed) << name.toStdString();
    EXPECT_EQ(ReadFile(file), expected) << name.toStdString();
    EXPECT_EQ(ReadFile(file).count("\r\n"), 12) << name.toStdString();
  }
  ASSERT_EQ(WritePlaylist(FTemp.File("upper.M3U"), jobs), TPlaceResult::Placed);
  EXPECT_TRUE(ReadFile(FTemp.File("upper.M3U")).startsWith("#EXTM3U\r\n"));
}

// Found by fuzzing: a line break in a title started a line of its own, so the
// playlist read back with a made-up entry.
TEST_F(ExtractJobsTest, PlaylistEntriesStayOnTheirLines) {
  TJobList jobs = ThreeJobs(FTemp.Path());
  jobs[0].TrackInfo.Title = "#EXTINF\r\n, z:Title1=q\nx\ry";
  const QString m3u = FTemp.File("list.m3u");
  ASSERT_EQ(WritePlaylist(m3u, jobs), TPlaceResult::Placed);
  EXPECT_TRUE(ReadFile(m3u).startsWith("#EXTM3U\r\n#EXTINF:200, #EXTINF , z:Title1=q x y\r\n"));
  EXPECT_EQ(ReadFile(m3u).count("\r\n"), 7);
  ASSERT_EQ(WritePlaylist(FTemp.File("list.pls"), jobs), TPlaceResult::Placed);
  EXPECT_EQ(ReadFile(FTemp.File("list.pls")).count("\r\n"), 12);

  jobs[1].OutputPath = FTemp.Path() + "/two\nlines.mp3";
  EXPECT_EQ(WritePlaylist(FTemp.File("broken.m3u"), jobs), TPlaceResult::Failed);
  EXPECT_FALSE(QFile::exists(FTemp.File("broken.m3u")));
}

TEST_F(ExtractJobsTest, PlaylistReplacesOrKeepsAnOldFileAndReportsAFolderItCannotWrite) {
  const QString file = FTemp.File("list.m3u");
  // A marker no temporary folder name can hold: the paths in the list are random.
  const QByteArray stale = QByteArray("<stale playlist line>\n").repeated(300);
  WriteFile(file, stale);
  EXPECT_EQ(WritePlaylist(file, ThreeJobs(FTemp.Path()), false), TPlaceResult::Exists);
  EXPECT_EQ(ReadFile(file), stale);
  ASSERT_EQ(WritePlaylist(file, ThreeJobs(FTemp.Path())), TPlaceResult::Placed);
  EXPECT_TRUE(ReadFile(file).startsWith("#EXTM3U\r\n"));
  EXPECT_FALSE(ReadFile(file).contains("stale"));
  const QString fresh = FTemp.File("new/list.pls");
  ASSERT_EQ(WritePlaylist(fresh, ThreeJobs(FTemp.Path()), false), TPlaceResult::Placed);
  EXPECT_TRUE(ReadFile(fresh).startsWith("[playlist]\r\n"));
  EXPECT_EQ(QDir(FTemp.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"list.m3u"});

  WriteFile(FTemp.File("plain"), "a file, not a folder");
  for (const bool replace : {true, false})
    EXPECT_EQ(WritePlaylist(FTemp.File("plain/list.m3u"), ThreeJobs(FTemp.Path()), replace),
              TPlaceResult::Failed);
}

TEST_F(ExtractJobsTest, OutputPathsFollowTheNamingRuleAndFormat) {
  FSettings.OutputFolder = FTemp.Path();  // without the trailing separator
  FSettings.NamingString = "<artist>\\<number> - <title>";
  FSettings.OutputFormat = 1;
  TJobList jobs(2);
  jobs[0].TrackInfo.TrackIndex = 2;
  jobs[0].TrackInfo.Title = "Vol. 2";
  jobs[1].TrackInfo.TrackIndex = 9;
  jobs[1].TrackInfo.Title = "What?";
  Assign(jobs, "AC/DC", "Live");
  EXPECT_EQ(jobs[0].FileName, "AC-DC\\03 - Vol. 2");
  EXPECT_EQ(jobs[0].Title, "Vol. 2");
  // The title's dot is no extension: "Vol. 1" and "Vol. 2" stay apart.
  EXPECT_EQ(jobs[0].OutputPath, FTemp.Path() + "/AC-DC/03 - Vol. 2.mp3");
  EXPECT_EQ(jobs[1].OutputPath, FTemp.Path() + "/AC-DC/10 - What-.mp3");

  FSettings.OutputFormat = 0;
  Assign(jobs, "AC/DC", "Live");
  EXPECT_EQ(jobs[1].OutputPath, FTemp.Path() + "/AC-DC/10 - What-.wav");
}

TEST_F(ExtractJobsTest, AnEarlierRipsUpperCaseExtensionKeepsItsFile) {
  FSettings.OutputFolder = FTemp.Path();
  FSettings.OutputFormat = 1;
  WriteFile(FTemp.File("Old.MP3"), "earlier rip");
  WriteFile(FTemp.File("Both.MP3"), "earlier rip");
  WriteFile(FTemp.File("Both.mp3"), "later rip");
  WriteFile(FTemp.File("Wave.WAV"), "earlier rip");
  TJobList jobs(4);
  const QStringList titles = {"Old", "Both", "New", "Wave"};
  for (int i = 0; i < titles.size(); ++i) jobs[size_t(i)].TrackInfo.Title = titles[i];
  Assign(jobs, "A", "B");
  // The overwrite question and the playlist then name the file that is there.
  EXPECT_EQ(jobs[0].OutputPath, FTemp.File("Old.MP3"));
  EXPECT_EQ(jobs[1].OutputPath, FTemp.File("Both.mp3"));
  EXPECT_EQ(jobs[2].OutputPath, FTemp.File("New.mp3"));
  EXPECT_EQ(jobs[3].OutputPath, FTemp.File("Wave.mp3"));  // another format's file is no match

  FSettings.OutputFormat = 0;
  Assign(jobs, "A", "B");
  EXPECT_EQ(jobs[0].OutputPath, FTemp.File("Old.wav"));
  EXPECT_EQ(jobs[3].OutputPath, FTemp.File("Wave.WAV"));
}

TEST_F(ExtractJobsTest, JobsOfOneNameGetTheirTrackNumberBeforeTheExtension) {
  FSettings.OutputFolder = "/m";
  FSettings.OutputFormat = 1;
  const QStringList titles = {"Interlude", "Song", "interlude", "Interlude (5)", "Interlude"};
  TJobList jobs(titles.size());
  for (int i = 0; i < titles.size(); ++i) {
    jobs[size_t(i)].TrackInfo.TrackIndex = i + 2;
    jobs[size_t(i)].TrackInfo.Title = titles[i];
  }
  Assign(jobs, "A", "B");  // the default rule, <title>
  QStringList paths;
  std::vector<int32_t> shares;
  for (const TFileParam& job : jobs) {
    paths << job.OutputPath;
    shares.push_back(job.SharesNameWith);
  }
  EXPECT_EQ(paths, (QStringList{"/m/Interlude.mp3", "/m/Song.mp3", "/m/interlude (5).mp3",
                                "/m/Interlude (5) (6).mp3", "/m/Interlude (7).mp3"}));
  EXPECT_EQ(shares, (std::vector<int32_t>{0, 0, 3, 5, 3}));

  FSettings.NamingString = "<artist> - <album>";  // one name for every track
  Assign(jobs, "A", "B");
  EXPECT_EQ(jobs[0].OutputPath, "/m/A - B.mp3");
  EXPECT_EQ(jobs[4].OutputPath, "/m/A - B (7).mp3");
}

TEST_F(ExtractJobsTest, TrackRecordCarriesTheDiscNamesSectorsAndComment) {
  TMyCDInfo info;
  info.TrackCount = 2;
  info.Tracks[0].StartSector = 0;
  info.Tracks[0].EndSector = info.Tracks[0].AudioEndSector = 15000;
  info.Tracks[1].StartSector = 15000;
  info.Tracks[1].EndSector = info.Tracks[1].AudioEndSector = 28877;
  for (TCDTrack& track : info.Tracks) {
    track.LengthBytes = (track.EndSector - track.StartSector) * 2352;
    track.LengthSeconds = (track.EndSector - track.StartSector) / 75;
  }
  info.Artist = "Artist";
  info.Album = "Album";
  info.Category = "jazz";
  info.Year = "1999";
  info.SetTrackTitle(1, "Second");

  TCDTrackInfo record = MakeTrackInfo(info, 1, Id3CommentText(FSettings));
  EXPECT_EQ(record.TrackIndex, 1);
  EXPECT_EQ(record.Title, "Second");
  EXPECT_EQ(record.StartSector, 15000);
  EXPECT_EQ(record.EndSector, 28877);
  EXPECT_EQ(record.LengthSectors, 13877);
  EXPECT_EQ(record.LengthSeconds, 185);
  EXPECT_EQ(record.LengthBytes, 13877 * 2352);
  EXPECT_EQ(record.Artist, "Artist");
  EXPECT_EQ(record.Album, "Album");
  EXPECT_EQ(record.Category, "jazz");
  EXPECT_EQ(record.Year, "1999");
  EXPECT_EQ(record.Comment, "Cadenzo 1.06");

  FSettings.Id3Comment = "ripped at home";
  EXPECT_EQ(MakeTrackInfo(info, 0, Id3CommentText(FSettings)).Comment, "ripped at home");
}

TEST_F(ExtractJobsTest, OutputFolderIsCreatedWithEveryLevelOrReportedAsFailed) {
  const QString deep = FTemp.File("a/b/c");
  EXPECT_TRUE(CreateOutputFolder(deep));
  EXPECT_TRUE(QDir(deep).exists());
  EXPECT_TRUE(CreateOutputFolder(deep));  // already there

  WriteFile(FTemp.File("file"), "x");
  EXPECT_FALSE(CreateOutputFolder(FTemp.File("file/sub")));
  EXPECT_FALSE(CreateOutputFolder(QString()));
  // A level that cannot be made gives the system's reason and leaves no
  // half-made parents behind.
  EXPECT_EQ(CreateFolder(FTemp.File("n1/n2/" + QString(300, 'x'))), "File name too long");
  EXPECT_FALSE(QFileInfo::exists(FTemp.File("n1")));
  // A link of the user's that leads nowhere stays, though nothing could be made below it.
  ASSERT_TRUE(QFile::link(FTemp.File("gone"), FTemp.File("link")));
  EXPECT_FALSE(CreateOutputFolder(FTemp.File("link/sub")));
  EXPECT_TRUE(QFileInfo(FTemp.File("link")).isSymLink());
}

TEST(SizeTexts, MegabytesAndSectorTimes) {
  EXPECT_EQ(MegabytesText(0), "0.00MB");
  EXPECT_EQ(MegabytesText(15000 * 2352.0), "33.65MB");
  EXPECT_EQ(SectorsText(10000), "02:13:25");
  EXPECT_EQ(SectorsText(4500 * 75 + 74), "75:00:74");
  EXPECT_EQ(SectorsSizeText(15000), "33.65MB");
  // Beyond what 32 bits hold: a sparse 2.3 GB image.
  EXPECT_EQ(SectorsSizeText(1000000), "2243.04MB");
}

}  // namespace
