// cadenzo-rip --query run as a program on a generated disc image against a
// CDDB server on 127.0.0.1: names from the server in the listing, the entry
// in the local CDDB folder, the choice among matches and the exit rules;
// the terminal question in-process.
#include <QDir>
#include <QProcess>
#include <cstdio>

#include "cddb/CDInfo.h"
#include "common/DiscImage.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "disc/Disc.h"
#include "musicbrainz/MbDiscId.h"
#include "musicbrainz/MbFixtures.h"
#include "rip/RipQuery.h"
#include "settings/config.h"

using namespace testutil;

namespace {

const QByteArray kRead =
    "210 rock 0a00b103 CD database entry follows (until terminating `.')\r\n"
    "# xmcd\r\n#\r\nDISCID=0a00b103\r\nDTITLE=Кино / Группа крови\r\nDYEAR=1988\r\n"
    "DGENRE=Rock\r\nTTITLE0=Группа крови\r\nTTITLE1=Закрой за мной дверь\r\nTTITLE2=Война\r\n"
    ".\r\n";

class CadenzoRipQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Image = MakeDiscImage(Folder.File("disc"), "rip", {150, 225, 300});
    TConfig settings;
    settings.LocalCDDBFolder = Folder.File("localCDDB");
    settings.OutputFolder = Folder.File("out");
    settings.ServerName = Server.HostPort();
    settings.AccurateRipServer.clear();  // no test reaches the public server
    settings.MusicBrainzServer = MbServer.Url("");
    settings.EmailAddress = "joe@example.org";
    ASSERT_TRUE(settings.Save());
  }
  // Runs cadenzo-rip on the image while this process keeps serving.
  int Rip(QStringList arguments, QString* out, QString* err) {
    QProcess process;
    process.start(ProgramDir() + "/cadenzo-rip", QStringList{"--image", Image.CuePath} + arguments);
    process.closeWriteChannel();
    const bool done = WaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000);
    if (!done) process.kill();
    process.waitForFinished();
    *out = QString::fromUtf8(process.readAllStandardOutput());
    *err = QString::fromUtf8(process.readAllStandardError());
    return done && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }

  // The image's TOC as a drive reports it: the same disc IDs, the same entry.
  TMyCDInfo Toc() const {
    TMyCDInfo toc;
    toc.TrackCount = 3;
    const int ends[] = {150, 375, 675};
    for (int i = 0; i < 3; ++i) {
      toc.Tracks[size_t(i)].StartSector = i == 0 ? 0 : ends[i - 1];
      toc.Tracks[size_t(i)].EndSector = ends[i];
    }
    toc.ComputeDiscValues();
    toc.LocalFolder = Folder.File("localCDDB");
    return toc;
  }

  TTempFolder Folder;
  TDiscImage Image;
  QByteArray Query = "200 rock 0a00b103 Кино / Группа крови\r\n";
  QByteArray Read = kRead;
  TTestServer Server{[this](QTcpSocket* socket, const QByteArray& request) {
    TTestServer::Body(request.contains("cmd=cddb+query") ? Query : Read)(socket, request);
  }};
  // MusicBrainz, asked first: knows no disc unless a test says otherwise.
  QByteArray MbAnswer;
  TTestServer MbServer{[this](QTcpSocket* socket, const QByteArray& request) {
    TTestServer::Reply(MbAnswer.isEmpty() ? XmlResponse("<error/>", "404 Not Found")
                                          : XmlResponse(MbAnswer))(socket, request);
  }};
};

}  // namespace

TEST_F(CadenzoRipQueryTest, ListShowsTheServersNamesAndKeepsTheEntry) {
  QString out, err;
  ASSERT_EQ(Rip({"--query", "--list"}, &out, &err), 0) << err.toStdString();
  EXPECT_TRUE(out.contains("Artist: Кино\nAlbum: Группа крови\n")) << out.toStdString();
  EXPECT_TRUE(out.contains("Закрой за мной дверь"));
  EXPECT_TRUE(err.contains("Found exact match")) << err.toStdString();
  EXPECT_TRUE(err.contains("Entry read"));
  EXPECT_TRUE(Server.RequestLine(0).contains("&hello=joe+example.org+Cadenzo+1.06&proto=6"));
  const QStringList entries = QDir(Folder.File("localCDDB")).entryList(QDir::Files);
  ASSERT_EQ(entries.size(), 1);
  EXPECT_TRUE(QString::fromUtf8(ReadFile(Folder.File("localCDDB/" + entries[0])))
                  .contains("DTITLE=Кино / Группа крови\r\n"));
}

TEST_F(CadenzoRipQueryTest, SeveralMatchesTakeTheFirstOrTheChosenOne) {
  Query = "211 Found inexact matches\r\nrock 0a00b103 A / B\r\nmisc 0a00b104 C / D\r\n.\r\n";
  QString out, err;
  ASSERT_EQ(Rip({"--query", "--list"}, &out, &err), 0) << err.toStdString();
  EXPECT_TRUE(Server.RequestLine(1).contains("cmd=cddb+read+rock+0a00b103&"));
  ASSERT_EQ(Rip({"--query", "--match", "2", "--list"}, &out, &err), 0) << err.toStdString();
  EXPECT_TRUE(Server.RequestLine(3).contains("cmd=cddb+read+misc+0a00b104&"));
  EXPECT_EQ(Rip({"--query", "--match", "3", "--list"}, &out, &err), 1);
  EXPECT_TRUE(err.contains("--match 3: the server found 2 matches")) << err.toStdString();
}

TEST_F(CadenzoRipQueryTest, AFailedLookupFailsAListButNotAnExtraction) {
  QString out, err;
  const QString closed = QString("127.0.0.1:%1").arg(ClosedPort());
  EXPECT_EQ(Rip({"--query", "--server", closed, "--list"}, &out, &err), 1);
  EXPECT_TRUE(err.contains("\"Connection refused (Error #10061)\"")) << err.toStdString();
  EXPECT_TRUE(out.contains("Artist: NOARTIST"));  // the names it had
  EXPECT_EQ(Rip({"--query", "--server", closed, "--tracks", "1", "--format", "wav",
                 "--output-folder", Folder.File("wav"), "--naming", "<number>"},
                &out, &err),
            0)
      << err.toStdString();
  EXPECT_TRUE(out.contains("Done        " + Folder.File("wav/01.wav"))) << out.toStdString();
  EXPECT_TRUE(QFile::exists(Folder.File("wav/01.wav")));
  EXPECT_EQ(Rip({"--match", "1", "--list"}, &out, &err), 2);
}

TEST(RipQuery, TerminalChoiceAsksForANumberUntilOneFits) {
  TTestServer server([](QTcpSocket* socket, const QByteArray& request) {
    TTestServer::Body(request.contains("cmd=cddb+query")
                          ? "211 Found inexact matches\r\nrock 0c025803 A / B\r\n"
                            "misc 0c025804 C / D\r\n.\r\n"
                          : "210 misc 0c025804\r\n# xmcd\r\nDISCID=0c025804\r\nDTITLE=C / D\r\n"
                            ".\r\n")(socket, request);
  });
  TTempFolder temp;
  TConfig config;
  config.ServerName = server.HostPort();
  TMyCDInfo info;
  info.LocalFolder = temp.File("LocalCDDB");
  info.TrackCount = 1;
  info.Tracks[0].EndSector = 15000;
  info.ComputeDiscValues();
  info.SetDefaultNames();
  char answers[] = "x\n9\n2\n";
  FILE* in = fmemopen(answers, sizeof answers - 1, "r");
  FILE* log = tmpfile();
  TRipQuery options;
  options.Source = TQuerySource::Cddb;
  options.Terminal = true;
  options.In = in;
  options.Log = log;
  EXPECT_TRUE(RunRipQuery(info, config, options));
  std::fclose(in);
  std::rewind(log);
  QByteArray written(4096, '\0');
  written.resize(qsizetype(std::fread(written.data(), 1, size_t(written.size()), log)));
  std::fclose(log);
  EXPECT_TRUE(written.contains("  1) rock 0c025803 A / B\n  2) misc 0c025804 C / D\n"));
  EXPECT_EQ(written.count("Which entry (1-2, Enter for 1)? "), 3);
  EXPECT_EQ(info.Artist, "C");
  EXPECT_TRUE(QFile::exists(info.LocalCDDBFile()));
}

TEST_F(CadenzoRipQueryTest, MusicBrainzNamesTheDiscFirstAndAnExistingEntryIsKept) {
  TMyCDInfo toc = Toc();
  const QString discId = ComputeMbDiscId(MbTocOf(toc)).Id;
  MbAnswer = testutil::MbAnswer(
      {MbReleaseXml("r1", "Où Es Tu Mon Amour", "東京事変 / Band",
                    MbMediumXml(1, {discId}, {{"Où Es Tu"}, {"群青日和", "椎名林檎"}, {"Ça"}}))},
      discId);
  QString out, err;
  ASSERT_EQ(Rip({"--query", "--list"}, &out, &err), 0) << err.toStdString();
  const QString names = "Artist: 東京事変 / Band\nAlbum: Où Es Tu Mon Amour\n";
  EXPECT_TRUE(out.contains(names)) << out.toStdString();
  EXPECT_TRUE(out.contains("椎名林檎 / 群青日和"));
  EXPECT_TRUE(MbServer.RequestLine(0).startsWith("GET /ws/2/discid/" + discId + "?"));
  EXPECT_TRUE(err.contains("Found 1 release")) << err.toStdString();
  EXPECT_TRUE(Server.Requests.isEmpty());  // CDDB not asked
  const QString entryPath = toc.LocalCDDBFile();
  const QString entry = QString::fromUtf8(ReadFile(entryPath));
  EXPECT_TRUE(entry.contains("# Submitted via: Cadenzo 1.06\r\n")) << entry.toStdString();
  // The entry names the disc as found, the separator in the artist's name too.
  ASSERT_EQ(Rip({"--list"}, &out, &err), 0) << err.toStdString();
  EXPECT_TRUE(out.contains(names)) << out.toStdString();
  EXPECT_TRUE(entry.contains("MBRELEASE: " + MbId("r1") + " MBRELEASEGROUP: " + MbId("rg-r1")))
      << entry.toStdString();

  // The user's entry is not replaced without --save-names.
  WriteFile(entryPath, "# xmcd\r\nDTITLE=Mine / My Album\r\nTTITLE0=Mine\r\n");
  ASSERT_EQ(Rip({"--query", "--list"}, &out, &err), 0) << err.toStdString();
  EXPECT_TRUE(err.contains("the local entry " + entryPath + " is kept; --save-names replaces it"))
      << err.toStdString();
  EXPECT_TRUE(ReadFile(entryPath).startsWith("# xmcd\r\nDTITLE=Mine / My Album"));
  ASSERT_EQ(Rip({"--query", "--save-names", "--list"}, &out, &err), 0) << err.toStdString();
  EXPECT_TRUE(QString::fromUtf8(ReadFile(entryPath))
                  .contains("DTITLE=東京事変 / Band / Où Es Tu Mon Amour"));

  // --match counts releases by the same rule as CDDB matches, one or many.
  EXPECT_EQ(Rip({"--query", "--match", "2", "--list"}, &out, &err), 1);
  EXPECT_TRUE(err.contains("--match 2: MusicBrainz found 1 release\n")) << err.toStdString();
  EXPECT_TRUE(Server.Requests.isEmpty());
}

TEST_F(CadenzoRipQueryTest, SourceAsksOnlyTheServiceNamed) {
  QString out, err;
  // MusicBrainz knows nothing: the CDDB server names the disc.
  ASSERT_EQ(Rip({"--query", "--list"}, &out, &err), 0) << err.toStdString();
  EXPECT_TRUE(err.contains("MusicBrainz has no release for this disc")) << err.toStdString();
  EXPECT_EQ(MbServer.Requests.size(), 2);  // by ID, then by TOC
  EXPECT_TRUE(out.contains("Artist: Кино"));
  EXPECT_EQ(Rip({"--query", "--source", "musicbrainz", "--list"}, &out, &err), 1);
  EXPECT_EQ(Server.Requests.size(), 2);  // query and read of the first run only
  ASSERT_EQ(Rip({"--query", "--source", "cddb", "--list"}, &out, &err), 0);
  EXPECT_EQ(MbServer.Requests.size(), 4);
  EXPECT_EQ(Rip({"--query", "--source", "freedb", "--list"}, &out, &err), 2);
  EXPECT_EQ(Rip({"--save-names", "--list"}, &out, &err), 2);
  // One CDDB match and --match 2: refused as for several.
  EXPECT_EQ(Rip({"--query", "--source", "cddb", "--match", "2", "--list"}, &out, &err), 1);
  EXPECT_TRUE(err.contains("--match 2: the server found 1 match\n")) << err.toStdString();
}

TEST_F(CadenzoRipQueryTest, AnswersWithoutNamesAreNotSavedAndPlaceholdersGiveWay) {
  const struct {
    const char* What;
    QByteArray Read, Mb;
    QString Source;
  } cases[] = {
      {"an empty read", "210 rock 0a00b103\r\n.\r\n", {}, "cddb"},
      {"a read past 512 lines",
       "210 rock 0a00b103\r\n" + QByteArray("#\r\n").repeated(520) + "DTITLE=A / B\r\n.\r\n",
       {},
       "cddb"},
      {"a release of an ID alone",
       {},
       testutil::MbAnswer({"<release id=\"" + MbId("only").toUtf8() + "\"/>"}),
       "musicbrainz"},
  };
  const QString entry = Toc().LocalCDDBFile();
  for (const auto& c : cases) {
    Read = c.Read;
    MbAnswer = c.Mb;
    QString out, err;
    EXPECT_EQ(Rip({"--query", "--source", c.Source, "--list"}, &out, &err), 1) << c.What;
    EXPECT_FALSE(QFile::exists(entry)) << c.What;
  }
  // An entry of placeholders, as older versions saved, gives way to names found.
  Read = kRead;
  MbAnswer.clear();
  QDir().mkpath(Folder.File("localCDDB"));
  WriteFile(entry, "# xmcd\r\nDTITLE=NOARTIST / NOTITLE\r\nTTITLE0=Track01\r\n");
  QString out, err;
  ASSERT_EQ(Rip({"--query", "--list"}, &out, &err), 0) << err.toStdString();
  EXPECT_TRUE(QString::fromUtf8(ReadFile(entry)).contains("DTITLE=Кино / Группа крови\r\n"));
}

// A recorded various-artists release and the second disc of two, found by
// --query and written in each format: ffprobe reads every field back, and
// mutagen what ffprobe leaves out of ID3v2 (the recording's UFID, every
// artist ID, the VBR header); <disc> names the files.
TEST_F(CadenzoRipQueryTest, MusicBrainzNamesReachEveryTagOfEachFormat) {
  TConfig settings;
  settings.Load();
  settings.VBR = true;  // the header comes though its box is off
  settings.WriteVBRHeader = false;
  ASSERT_TRUE(settings.Save());
  const QString discId = MbDiscIdOf(Image);
  // The Vorbis name, then ffprobe's of the ID3v2.4 frame where it differs.
  const QStringList albumFields =
      QString(
          "ALBUM,ALBUMARTIST|ALBUM_ARTIST,ALBUMARTISTSORT|TSO2,COMPILATION,DATE,ORIGINALDATE|TDOR,"
          "LABEL|PUBLISHER,CATALOGNUMBER,BARCODE,RELEASECOUNTRY|MUSICBRAINZ ALBUM RELEASE COUNTRY,"
          "MUSICBRAINZ_ALBUMARTISTID|MUSICBRAINZ ALBUM ARTIST ID,MUSICBRAINZ_ALBUMID|MUSICBRAINZ "
          "ALBUM ID,MUSICBRAINZ_RELEASEGROUPID|MUSICBRAINZ RELEASE GROUP ID,MUSICBRAINZ_DISCID|"
          "MUSICBRAINZ DISC ID")
          .split(',');
  const QStringList trackFields =
      QString(
          "TITLE,ARTIST,ARTISTSORT|ARTIST-SORT,ISRC|TSRC,MUSICBRAINZ_RELEASETRACKID|MUSICBRAINZ "
          "RELEASE TRACK ID")
          .split(',');
  const struct {
    TMbRecorded Kind;
    QString Key, TrackKey;  // the fixture's short names
    int Disc, Discs;
    QStringList Album;          // as albumFields, up to the artists' IDs
    QList<QStringList> Tracks;  // as trackFields, up to the IDs; then the artists' keys
  } releases[] = {
      {TMbRecorded::Compilation,
       "va",
       "va",
       1,
       1,
       {"Hits of '96", "Various Artists", "Various Artists", "1", "1996-10-07", "1995-11-20",
        "Northbound Records", "NBR CD 104", "5012345678900", "GB", kVariousArtistsId},
       {{"Song A", "Alpha Band", "Alpha Band", "GBAAA9500001", "alpha"},
        {"Night Drive", "Lyra Vale feat. Osric Dane", "Vale, Lyra feat. Dane, Osric",
         "GBAAA9500002", "lyra osric"},
        {"Sørlandet", "T. Ørn", "Ørn, Tomáš", "NOAAA9500003", "orn"}}},
      {TMbRecorded::SecondOfTwo,
       "two",
       "two2-",
       2,
       2,
       {"Long Way Home", "The Quiet Hours", "Quiet Hours, The", "", "2003-03-17", "2003",
        "Ember & Ash", "EA-2003/2", "", "XE", MbId("quiet")},
       {{"Harbour Lights", "The Quiet Hours", "Quiet Hours, The", "USQQQ0300011", "quiet"},
        {"Long Way Home", "The Quiet Hours", "Quiet Hours, The", "USQQQ0300012", "quiet"},
        {"Last Ferry", "The Quiet Hours", "Quiet Hours, The", "USQQQ0300013", "quiet"}}},
  };
  for (const auto& release : releases) {
    MbAnswer = MbRecordedAnswer(release.Kind, discId);
    for (const QString format : {"flac", "opus", "mp3"}) {
      const QString folder = Folder.File(release.Key + format);
      QString out, err;
      ASSERT_EQ(Rip({"--query", "--save-names", "--no-verify", "--format", format,
                     "--output-folder", folder, "--naming", "<disc>-<number>"},
                    &out, &err),
                0)
          << err.toStdString();
      for (int track = 1; track <= 3; ++track) {
        const QString path =
            QString("%1/%2-0%3.%4").arg(folder).arg(release.Disc).arg(track).arg(format);
        const std::string context = path.toStdString();
        const QString key = release.TrackKey + QString::number(track);
        const QStringList names = albumFields + trackFields;
        const QStringList values =
            release.Album + QStringList{MbId(release.Key), MbId("rg-" + release.Key), discId} +
            release.Tracks[track - 1].mid(0, 4) + QStringList{MbId("track-" + key)};
        QStringList artistIds;
        for (const QString& artist : release.Tracks[track - 1][4].split(' '))
          artistIds << MbId(artist);
        const QString recording = MbId("rec-" + key);
        auto probed = ProbeTags(path);
        QByteArray comments, frames;
        if (format == "flac") {
          ASSERT_EQ(RunProgram("metaflac", {"--export-tags-to=-", path}, &comments), 0);
        }
        for (int i = 0; i < names.size(); ++i) {
          const QStringList name = names[i].split('|');
          // ffmpeg gives a Vorbis comment's album artist its own name.
          const QString probeName =
              format == "mp3" || name[0] == "ALBUMARTIST" ? name.last() : name[0];
          EXPECT_EQ(probed[probeName], values[i]) << name[0].toStdString() << context;
          if (!comments.isEmpty() && !values[i].isEmpty()) {
            EXPECT_TRUE(comments.contains((name[0] + "=" + values[i] + "\n").toUtf8())) << context;
          }
        }
        if (format != "mp3") {
          EXPECT_EQ(probed["MUSICBRAINZ_TRACKID"], recording) << context;
          EXPECT_EQ(probed["MUSICBRAINZ_ARTISTID"], artistIds.join(';')) << context;
          EXPECT_EQ(probed["TRACK"] + "/" + probed["TRACKTOTAL"], QString("%1/3").arg(track));
          EXPECT_EQ(probed["DISC"] + "/" + probed["DISCTOTAL"],
                    QString("%1/%2").arg(release.Disc).arg(release.Discs));
          continue;
        }
        EXPECT_EQ(probed["TRACK"], QString("%1/3").arg(track)) << context;
        EXPECT_EQ(probed["DISC"], QString("%1/%2").arg(release.Disc).arg(release.Discs)) << context;
        ASSERT_EQ(RunProgram("mutagen-inspect", {path}, &frames), 0);
        for (const QString& line :
             {"UFID=http://musicbrainz.org=b'" + recording + "'\n",
              "TXXX=MusicBrainz Artist Id=" + artistIds.join(" / ") + "\n",
              QString(", %1.00 seconds").arg(track + 1), QString("(VBR, LAME ")})
          EXPECT_TRUE(frames.contains(line.toUtf8())) << context << frames.toStdString();
      }
    }
  }
  // A freedb entry of various artists replaces the names: each track's byline
  // is its artist, the ID3v1 tag's too, and nothing of the release before stays.
  MbAnswer.clear();
  Read =
      "210 misc 0a00b103\r\n# xmcd\r\n#\r\nDISCID=0a00b103\r\nDTITLE=Various / Hits "
      "Compilation\r\nDYEAR=1996\r\n"
      "TTITLE0=Alpha Band / Song A\r\nTTITLE1=Beta / Song B\r\nTTITLE2=Gamma / C\r\n.\r\n";
  QString out, err;
  ASSERT_EQ(Rip({"--query", "--save-names", "--no-verify", "--tracks", "1", "--format", "mp3",
                 "--output-folder", Folder.File("freedb"), "--naming", "<number>"},
                &out, &err),
            0)
      << err.toStdString();
  const QString mp3 = Folder.File("freedb/01.mp3");
  auto probed = ProbeTags(mp3);
  EXPECT_EQ(probed["TITLE"], "Song A");
  EXPECT_EQ(probed["ARTIST"], "Alpha Band");
  EXPECT_EQ(probed["COMPILATION"], "1");
  for (const char* stale : {"PUBLISHER", "TSRC", "DISC", "TDOR", "MUSICBRAINZ ALBUM ID"})
    EXPECT_EQ(probed.count(stale), 0u) << stale;
  const QByteArray v1 = ReadFile(mp3).right(128);
  EXPECT_TRUE(v1.startsWith("TAG" + QByteArray("Song A").leftJustified(30, '\0') +
                            QByteArray("Alpha Band").leftJustified(30, '\0')))
      << v1.toStdString();
}
