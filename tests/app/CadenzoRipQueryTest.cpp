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
  settings.VBR = true;
  settings.WriteVBRHeader = false;
  ASSERT_TRUE(settings.Save());
  const QString discId = MbDiscIdOf(Image);
  // ffprobe's names of the ID3v2.4 frames whose Vorbis names differ.
  const QHash<QString, QString> id3 = {
      {"ALBUMARTIST", "ALBUM_ARTIST"},
      {"ARTISTSORT", "ARTIST-SORT"},
      {"ALBUMARTISTSORT", "TSO2"},
      {"ORIGINALDATE", "TDOR"},
      {"LABEL", "PUBLISHER"},
      {"ISRC", "TSRC"},
      {"RELEASECOUNTRY", "MUSICBRAINZ ALBUM RELEASE COUNTRY"},
      {"MUSICBRAINZ_ALBUMID", "MUSICBRAINZ ALBUM ID"},
      {"MUSICBRAINZ_RELEASEGROUPID", "MUSICBRAINZ RELEASE GROUP ID"},
      {"MUSICBRAINZ_ALBUMARTISTID", "MUSICBRAINZ ALBUM ARTIST ID"},
      {"MUSICBRAINZ_RELEASETRACKID", "MUSICBRAINZ RELEASE TRACK ID"},
      {"MUSICBRAINZ_DISCID", "MUSICBRAINZ DISC ID"}};
  const struct {
    TMbRecorded Kind;
    const char *Key, *TrackKey;  // the fixture's short names
    int Disc, Discs;
    QHash<QString, QString> Album;
    QStringList Titles, Artists, Sorts, ArtistKeys, Isrcs;
  } releases[] = {
      {TMbRecorded::Compilation,
       "va",
       "va",
       1,
       1,
       {{"ALBUM", "Hits of '96"},
        {"ALBUMARTIST", "Various Artists"},
        {"ALBUMARTISTSORT", "Various Artists"},
        {"COMPILATION", "1"},
        {"DATE", "1996-10-07"},
        {"ORIGINALDATE", "1995-11-20"},
        {"LABEL", "Northbound Records"},
        {"CATALOGNUMBER", "NBR CD 104"},
        {"BARCODE", "5012345678900"},
        {"RELEASECOUNTRY", "GB"},
        {"MUSICBRAINZ_ALBUMARTISTID", kVariousArtistsId}},
       {"Song A", "Night Drive", "Sørlandet"},
       {"Alpha Band", "Lyra Vale feat. Osric Dane", "T. Ørn"},
       {"Alpha Band", "Vale, Lyra feat. Dane, Osric", "Ørn, Tomáš"},
       {"alpha", "lyra osric", "orn"},
       {"GBAAA9500001", "GBAAA9500002", "NOAAA9500003"}},
      {TMbRecorded::SecondOfTwo,
       "two",
       "two2-",
       2,
       2,
       {{"ALBUM", "Long Way Home"},
        {"ALBUMARTIST", "The Quiet Hours"},
        {"ALBUMARTISTSORT", "Quiet Hours, The"},
        {"COMPILATION", ""},
        {"DATE", "2003-03-17"},
        {"ORIGINALDATE", "2003"},
        {"LABEL", "Ember & Ash"},
        {"CATALOGNUMBER", "EA-2003/2"},
        {"BARCODE", ""},
        {"RELEASECOUNTRY", "XE"},
        {"MUSICBRAINZ_ALBUMARTISTID", MbId("quiet")}},
       {"Harbour Lights", "Long Way Home", "Last Ferry"},
       QStringList(3, "The Quiet Hours"),
       QStringList(3, "Quiet Hours, The"),
       QStringList(3, "quiet"),
       {"USQQQ0300011", "USQQQ0300012", "USQQQ0300013"}},
  };
  for (const auto& release : releases) {
    MbAnswer = MbRecordedAnswer(release.Kind, discId);
    for (const QString format : {"flac", "opus", "mp3"}) {
      const QString folder = Folder.File(QString(release.Key) + format);
      QString out, err;
      ASSERT_EQ(Rip({"--query", "--save-names", "--no-verify", "--format", format,
                     "--output-folder", folder, "--naming", "<disc>-<number>"},
                    &out, &err),
                0)
          << err.toStdString();
      for (int track = 1; track <= 3; ++track) {
        const QString path = QString("%1/%2-%3.%4")
                                 .arg(folder)
                                 .arg(release.Disc)
                                 .arg(track, 2, 10, QChar('0'))
                                 .arg(format);
        const QString prefix = release.TrackKey + QString::number(track);
        QHash<QString, QString> want = release.Album;
        const QStringList artistIds = [&] {
          QStringList ids;
          for (const QString& key : release.ArtistKeys[track - 1].split(' ')) ids << MbId(key);
          return ids;
        }();
        want.insert({{"TITLE", release.Titles[track - 1]},
                     {"ARTIST", release.Artists[track - 1]},
                     {"ARTISTSORT", release.Sorts[track - 1]},
                     {"ISRC", release.Isrcs[track - 1]},
                     {"MUSICBRAINZ_ALBUMID", MbId(release.Key)},
                     {"MUSICBRAINZ_RELEASEGROUPID", MbId(QString("rg-") + release.Key)},
                     {"MUSICBRAINZ_RELEASETRACKID", MbId("track-" + prefix)},
                     {"MUSICBRAINZ_DISCID", discId}});
        const QString recording = MbId("rec-" + prefix);
        const auto probed = ProbeTags(path);
        const auto tag = [&probed](const QString& name) {
          return probed.count(name) ? probed.at(name) : QString();
        };
        const std::string context = path.toStdString();
        if (format == "mp3") {
          for (auto it = want.begin(); it != want.end(); ++it)
            EXPECT_EQ(tag(id3.value(it.key(), it.key())), it.value())
                << it.key().toStdString() << context;
          EXPECT_EQ(tag("TRACK"), QString("%1/3").arg(track)) << context;
          EXPECT_EQ(tag("DISC"), QString("%1/%2").arg(release.Disc).arg(release.Discs)) << context;
          QByteArray frames;
          ASSERT_EQ(RunProgram("mutagen-inspect", {path}, &frames), 0);
          const QString text = QString::fromUtf8(frames);
          EXPECT_TRUE(text.contains("UFID=http://musicbrainz.org=b'" + recording + "'\n"))
              << context << text.toStdString();
          EXPECT_TRUE(text.contains("TXXX=MusicBrainz Artist Id=" + artistIds.join(" / ") + "\n"))
              << context << text.toStdString();
          EXPECT_TRUE(text.contains(QString("(VBR, LAME ")) &&
                      text.contains(QString(", %1.00 seconds").arg(track + 1)))
              << context << text.toStdString();
          continue;
        }
        for (auto it = want.begin(); it != want.end(); ++it)
          EXPECT_EQ(tag(it.key() == "ALBUMARTIST" ? "ALBUM_ARTIST" : it.key()), it.value())
              << it.key().toStdString() << context;
        EXPECT_EQ(tag("MUSICBRAINZ_TRACKID"), recording) << context;
        EXPECT_EQ(tag("MUSICBRAINZ_ARTISTID"), artistIds.join(';')) << context;
        EXPECT_EQ(tag("TRACK") + "/" + tag("TRACKTOTAL"), QString("%1/3").arg(track)) << context;
        EXPECT_EQ(tag("DISC") + "/" + tag("DISCTOTAL"),
                  QString("%1/%2").arg(release.Disc).arg(release.Discs))
            << context;
        if (format != "flac") continue;
        // metaflac agrees with ffprobe on every field.
        QByteArray comments;
        ASSERT_EQ(RunProgram("metaflac", {"--export-tags-to=-", path}, &comments), 0);
        want.insert({{"MUSICBRAINZ_TRACKID", recording},
                     {"TRACKNUMBER", QString::number(track)},
                     {"DISCNUMBER", QString::number(release.Disc)},
                     {"DISCTOTAL", QString::number(release.Discs)}});
        for (auto it = want.begin(); it != want.end(); ++it)
          if (!it.value().isEmpty()) {
            EXPECT_TRUE(QString::fromUtf8(comments).contains(it.key() + "=" + it.value() + "\n"))
                << it.key().toStdString() << context;
          }
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
