// xmcd entries: TMyCDInfo's reader on handwritten and hostile files, the
// writer's exact output, round trips through the local CDDB folder, the
// shutdown save, and an entry of ours read back by libcddb.
#include <cddb/cddb.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <memory>
#include <vector>

#include "cddb/CDInfo.h"
#include "common/TestUtil.h"

namespace {

class Xmcd : public ::testing::Test {
 protected:
  void SetUp() override {
    Info.LocalFolder = Temp.File("LocalCDDB");
    Info.TrackCount = 3;
    for (int i = 0; i < 3; ++i) {
      Info.Tracks[i].StartSector = i * 15000;
      Info.Tracks[i].EndSector = (i + 1) * 15000;
    }
    Info.ComputeDiscValues();
    Info.SetDefaultNames();
  }
  // Reads the bytes as an entry file.
  bool Read(const QByteArray& content) {
    const QString path = Temp.File("entry");
    testutil::WriteFile(path, content);
    return Info.ReadXmcdFile(path);
  }

  testutil::TTempFolder Temp;
  TMyCDInfo Info;
};

}  // namespace

TEST_F(Xmcd, DiscTitleSplitsAtTheSeparator) {
  struct TCase {
    QByteArray Line;
    QString Artist, Album;
  };
  const std::vector<TCase> cases = {
      {"DTITLE=Some Artist / Some Album", "Some Artist", "Some Album"},
      {"DTITLE=Some Album", "Old Artist", "Some Album"},
      {"DTITLE= Untrimmed Album ", "Old Artist", " Untrimmed Album "},
      // A slash inside the artist's name is not the separator.
      {"DTITLE=AC/DC / Live", "AC/DC", "Live"},
      {"DTITLE=Artist / Album / Part 2", "Artist", "Album / Part 2"},
      // Without " / " the first slash separates, and no letter of the artist is lost.
      {"DTITLE=Artist/Album", "Artist", "Album"},
      {"DTITLE=Artist /Album", "Artist", "Album"},
      {"DTITLE=/Album", "", "Album"},
      {"DTITLE=Artist /", "Artist", ""},
  };
  for (const TCase& c : cases) {
    Info.Artist = "Old Artist";
    Info.Album = "Old Album";
    ASSERT_TRUE(Read(c.Line + "\r\n")) << c.Line.constData();
    EXPECT_EQ(Info.Artist, c.Artist) << c.Line.constData();
    EXPECT_EQ(Info.Album, c.Album) << c.Line.constData();
  }
}

// Names the title's separator cannot carry are read back exactly through a
// key of ours in EXTD; an entry without it reads as it always did.
TEST_F(Xmcd, EveryArtistAndAlbumReadBackAsSaved) {
  const std::pair<QString, QString> names[] = {{"Alpha / Beta", "Split Single"},
                                               {"Artist /", "Album"},
                                               {"Solo", " Padded Album"},
                                               {"AC/DC", "Live"},
                                               {"Plain", "Album / Part 2"}};
  for (const auto& [artist, album] : names) {
    Info.Artist = artist;
    Info.Album = album;
    ASSERT_TRUE(Info.WriteLocalCDDB());
    TMyCDInfo read = Info;
    read.SetDefaultNames();
    ASSERT_TRUE(read.ReadLocalCDDB());
    EXPECT_EQ(read.Artist, artist);
    EXPECT_EQ(read.Album, album) << artist.toStdString();
  }
  const QByteArray saved = testutil::ReadFile(Info.LocalCDDBFile());
  EXPECT_FALSE(saved.contains("DARTIST")) << "only where the title cannot carry the name";
  ASSERT_TRUE(Read("DTITLE=Alpha / Beta / Split Single\r\nEXTD= DARTIST: Alpha / Beta\r\n"));
  EXPECT_EQ(Info.Artist, "Alpha / Beta");
  ASSERT_TRUE(Read("DTITLE=Alpha / Beta / Split Single\r\n"));
  EXPECT_EQ(Info.Artist, "Alpha");
  // A title changed by another program since: the key no longer applies.
  ASSERT_TRUE(Read("DTITLE=Gamma / Single\r\nEXTD= MCN: 1 DARTIST: Alpha / Beta\r\n"));
  EXPECT_EQ(Info.Artist, "Gamma");
  EXPECT_EQ(Info.MCN, "1");
}

TEST_F(Xmcd, TrackTitlesByOneOrTwoDigitIndex) {
  ASSERT_TRUE(
      Read("TTITLE0=First\n"
           "TTITLE9=Intro\n"
           "TTITLE10=Ten \n"
           "TTITLE99=Beyond the disc\n"
           "TTITLE100=Never\n"
           "TTITLEA=Not a number\n"
           "TTITLE-1=Negative\n"
           "TTITLE1x=Half a number\n"
           "TTITLE\n"));
  EXPECT_EQ(Info.GetTrackTitle(0), "First");
  EXPECT_EQ(Info.GetTrackTitle(9), "Intro");
  EXPECT_EQ(Info.GetTrackTitle(10), "Ten ");
  // Stored in the table even beyond the track count, which stays as it is.
  EXPECT_EQ(Info.GetTrackTitle(99), "Beyond the disc");
  EXPECT_EQ(Info.TrackCount, 3);
  for (int i : {1, 2, 3, 11, 12, 98})
    EXPECT_EQ(Info.GetTrackTitle(i), QString::asprintf("Track%.2d", i + 1)) << i;
}

TEST_F(Xmcd, HeaderCommentsAndDiscFields) {
  ASSERT_TRUE(
      Read("# xmcd\n# revision: 7\n# Submitted via:   Some Tool 1.0  \n"
           "DYEAR= 1999\nDGENRE=Rock \nDISCID=0c025803\nEXTD=ignored\nPLAYORDER=2,1\n"));
  EXPECT_EQ(Info.Revision, 7);
  EXPECT_EQ(Info.SubmittedVia, "Some Tool 1.0");
  EXPECT_EQ(Info.Year, " 1999");
  EXPECT_EQ(Info.Category, "Rock ");
  EXPECT_EQ(Info.Artist, "NOARTIST");

  ASSERT_TRUE(Read("# Revision: x\nDYEAR=1998\nDYEAR=2000\n"));
  EXPECT_EQ(Info.Revision, 0);
  EXPECT_EQ(Info.Year, "2000");
}

TEST_F(Xmcd, EveryLineEndReads) {
  for (const QByteArray eol : {"\r\n", "\n", "\r"}) {
    SetUp();
    ASSERT_TRUE(
        Read("DTITLE=A / B" + eol + "DYEAR=2001" + eol + "TTITLE1=Two" + eol + "DGENRE=Jazz"));
    EXPECT_EQ(Info.Artist, "A") << eol.toHex().constData();
    EXPECT_EQ(Info.Album, "B") << eol.toHex().constData();
    EXPECT_EQ(Info.Year, "2001") << eol.toHex().constData();
    EXPECT_EQ(Info.GetTrackTitle(1), "Two") << eol.toHex().constData();
    EXPECT_EQ(Info.Category, "Jazz") << eol.toHex().constData();
  }
}

TEST_F(Xmcd, ContinuedValuesAreJoinedByteForByte) {
  ASSERT_TRUE(
      Read("DTITLE=The Very Long Art\r\n"
           "DTITLE=ist Name / An Album Ti\r\n"
           "DTITLE=tle That Goes On \r\n"
           "TTITLE0=Hello \r\n"
           "TTITLE1=Other\r\n"
           "TTITLE0=World\r\n"
           "TTITLE0= again\r\n"));
  EXPECT_EQ(Info.Artist, "The Very Long Artist Name");
  EXPECT_EQ(Info.Album, "An Album Title That Goes On");
  EXPECT_EQ(Info.GetTrackTitle(0), "Hello World again");
  EXPECT_EQ(Info.GetTrackTitle(1), "Other");

  // A separator cut in two by the continuation still separates.
  ASSERT_TRUE(Read("DTITLE=Artist /\nDTITLE= Album\n"));
  EXPECT_EQ(Info.Artist, "Artist");
  EXPECT_EQ(Info.Album, "Album");
}

TEST_F(Xmcd, TextIsUtf8WhenValidElseLatin1) {
  ASSERT_TRUE(Read("DTITLE=Bj\xc3\xb6rk / J\xc3\xb3ga\nTTITLE0=\xe2\x98\x82\n"));
  EXPECT_EQ(Info.Artist, "Björk");
  EXPECT_EQ(Info.Album, "Jóga");
  EXPECT_EQ(Info.GetTrackTitle(0), "☂");
  ASSERT_TRUE(Read("DTITLE=Bj\xf6rk / J\xf3ga\nTTITLE0=Caf\xe9\n"));
  EXPECT_EQ(Info.Artist, "Björk");
  EXPECT_EQ(Info.Album, "Jóga");
  EXPECT_EQ(Info.GetTrackTitle(0), "Café");

  // One stray byte spoils only its own line, and the next save stores UTF-8.
  ASSERT_TRUE(Read("DTITLE=Bj\xc3\xb6rk / J\xc3\xb3ga\nTTITLE0=Caf\xe9\nTTITLE1=\xe2\x98\x82\n"));
  EXPECT_EQ(Info.Artist, "Björk");
  EXPECT_EQ(Info.Album, "Jóga");
  EXPECT_EQ(Info.GetTrackTitle(0), "Café");
  EXPECT_EQ(Info.GetTrackTitle(1), "☂");
  ASSERT_TRUE(Info.WriteLocalCDDB());
  const QByteArray entry = testutil::ReadFile(Info.LocalCDDBFile());
  EXPECT_TRUE(entry.contains("DTITLE=Bj\xc3\xb6rk / J\xc3\xb3ga\r\nDYEAR="));
  EXPECT_TRUE(entry.contains("TTITLE0=Caf\xc3\xa9\r\nTTITLE1=\xe2\x98\x82\r\n"));
}

TEST_F(Xmcd, MissingFileReadsNothing) {
  Info.Artist = "Kept";
  EXPECT_FALSE(Info.ReadXmcdFile(Temp.File("none")));
  EXPECT_FALSE(Info.ReadXmcdFile(Temp.Path()));  // a folder is no entry
  EXPECT_FALSE(Info.ReadLocalCDDB());
  EXPECT_EQ(Info.Artist, "Kept");
}

TEST_F(Xmcd, HostileFilesReadWithoutHarm) {
  EXPECT_TRUE(Read(""));
  EXPECT_EQ(Info.Artist, "NOARTIST");
  EXPECT_EQ(Info.Album, "NOTITLE");

  QByteArray garbage(256 * 1024, Qt::Uninitialized);
  QRandomGenerator random(7);
  for (char& byte : garbage) byte = char(random.bounded(256));
  // Keywords in the noise, some cut short at the end of the file.
  garbage.insert(1000, "\nTTITLE55=\xff\x00\x01\n");
  garbage.insert(5000, "\nDTITLE=\x80/\x81\n");
  garbage += "\nTTITLE9";
  EXPECT_TRUE(Read(garbage));
  EXPECT_EQ(Info.TrackCount, 3);

  const QByteArray longTitle(1024 * 1024, 'x');
  EXPECT_TRUE(Read("TTITLE2=" + longTitle + "\nDTITLE=" + longTitle + " / B\n" + longTitle));
  EXPECT_EQ(Info.GetTrackTitle(2).size(), longTitle.size());
  EXPECT_EQ(Info.Artist.size(), longTitle.size());
  EXPECT_EQ(Info.Album, "B");
}

// Found by fuzzing: a keyword inside another line's value took that line over.
TEST_F(Xmcd, KeywordsCountOnlyAtTheStartOfALine) {
  EXPECT_TRUE(
      Read("DYEAR=1998\nDGENRE=Folk\nTTITLE1=Songs of DYEAR=1 and DGENRE=x\n"
           "EXTT0=DTITLE=A / B\nTTITLE10DYEAR==Eleven\nxTTITLE2=No\n"
           "# x # Revision: 5\n"));
  EXPECT_EQ(Info.Year, "1998");
  EXPECT_EQ(Info.Category, "Folk");
  EXPECT_EQ(Info.GetTrackTitle(1), "Songs of DYEAR=1 and DGENRE=x");
  EXPECT_EQ(Info.GetTrackTitle(2), "Track03");
  EXPECT_EQ(Info.Artist, "NOARTIST");
  EXPECT_EQ(Info.Revision, 0);
}

TEST_F(Xmcd, WrittenEntryIsExact) {
  Info.TrackCount = 2;
  Info.ComputeDiscValues();
  Info.Artist = "Some Artist";
  Info.Album = "Some Album";
  Info.Year = "1999";
  Info.Category = "Rock";
  Info.SetTrackTitle(0, "One");
  Info.SetTrackTitle(1, "Two");
  ASSERT_TRUE(Info.WriteLocalCDDB());
  const QString name = QString::asprintf("%08x", Info.DiscID);
  EXPECT_EQ(Info.LocalCDDBFile(), Info.LocalFolder + "/" + name);
  EXPECT_EQ(testutil::ReadFile(Info.LocalCDDBFile()),
            "# xmcd CD database file\r\n"
            "#\r\n"
            "# Track frame offsets:\r\n"
            "#\t150\r\n"
            "#\t15150\r\n"
            "#\r\n"
            "# Disc length: 402 seconds\r\n"
            "#\r\n"
            "# Revision: 0\r\n"
            "# Submitted via: \r\n"
            "#\r\n"
            "DISCID=" +
                name.toLatin1() +
                "\r\n"
                "DTITLE=Some Artist / Some Album\r\n"
                "DYEAR=1999\r\n"
                "DGENRE=Rock\r\n"
                "TTITLE0=One\r\n"
                "TTITLE1=Two\r\n"
                "EXTD= YEAR: 1999 ID3G: 1\r\n"
                "EXTT0=\r\n"
                "EXTT1=\r\n"
                "PLAYORDER=\r\n");
}

TEST_F(Xmcd, LineBreaksInNamesCannotAddLines) {
  Info.Artist = "Two\nLines";
  Info.SetTrackTitle(0, "A\r\nDTITLE=Injected / Entry");
  ASSERT_TRUE(Info.WriteLocalCDDB());
  const QByteArray text = testutil::ReadFile(Info.LocalCDDBFile());
  EXPECT_TRUE(text.contains("\r\nDTITLE=Two Lines / NOTITLE\r\n"));
  EXPECT_TRUE(text.contains("\r\nTTITLE0=A DTITLE=Injected / Entry\r\n"));
  EXPECT_EQ(text.count("\r\n"), text.count('\n'));
  EXPECT_EQ(text.count('\r'), text.count('\n'));
}

TEST_F(Xmcd, NinetyNineTracksRoundTripThroughTheFolder) {
  Info.TrackCount = 99;
  for (int i = 0; i < 99; ++i) {
    Info.Tracks[i].StartSector = i * 750;
    Info.Tracks[i].EndSector = (i + 1) * 750;
    Info.SetTrackTitle(i, QString("Piste %1 — été, Ωμέγα, 東京 ").arg(i));
  }
  Info.ComputeDiscValues();
  Info.Artist = "Sigur Rós";
  Info.Album = "Ágætis byrjun";
  Info.Year = "1999";
  Info.Category = "Post-rock";
  Info.Revision = 3;
  Info.SubmittedVia = "Cadenzo 1.06";
  Info.LocalFolder = Temp.File("deep/er/LocalCDDB/");  // missing parents, trailing separator
  ASSERT_TRUE(Info.WriteLocalCDDB());

  TMyCDInfo read;
  read.LocalFolder = Info.LocalFolder;
  read.DiscID = Info.DiscID;
  ASSERT_TRUE(read.ReadLocalCDDB());
  EXPECT_EQ(read.Artist, Info.Artist);
  EXPECT_EQ(read.Album, Info.Album);
  EXPECT_EQ(read.Year, Info.Year);
  EXPECT_EQ(read.Category, Info.Category);
  EXPECT_EQ(read.Revision, 3);
  EXPECT_EQ(read.SubmittedVia, "Cadenzo 1.06");
  for (int i = 0; i < 99; ++i) EXPECT_EQ(read.GetTrackTitle(i), Info.GetTrackTitle(i)) << i;
}

TEST_F(Xmcd, NothingIsWrittenWithoutADisc) {
  TMyCDInfo empty;
  empty.LocalFolder = Info.LocalFolder;
  EXPECT_FALSE(empty.WriteLocalCDDB());
  EXPECT_FALSE(QFile::exists(Info.LocalFolder + "/00000000"));
}

TEST_F(Xmcd, ShutdownSaveKeepsStoredNamesOverEmptyOnes) {
  Info.Artist = "Stored Artist";
  Info.Album = "Stored Album";
  Info.Year = "1990";
  Info.Category = "Folk";
  Info.SetTrackTitle(1, "Stored Two");
  ASSERT_TRUE(Info.WriteLocalCDDB());

  // The disc left before the program closed: the window's fields were empty.
  Info.Artist.clear();
  Info.Album.clear();
  Info.Year.clear();
  Info.Category.clear();
  Info.SetTrackTitle(1, "");
  Info.SetTrackTitle(2, "Edited Three");
  ASSERT_TRUE(Info.WriteLocalCDDB());

  TMyCDInfo read;
  read.LocalFolder = Info.LocalFolder;
  read.DiscID = Info.DiscID;
  ASSERT_TRUE(read.ReadLocalCDDB());
  EXPECT_EQ(read.Artist, "Stored Artist");
  EXPECT_EQ(read.Album, "Stored Album");
  EXPECT_EQ(read.Year, "1990");
  EXPECT_EQ(read.Category, "Folk");
  EXPECT_EQ(read.GetTrackTitle(1), "Stored Two");
  EXPECT_EQ(read.GetTrackTitle(2), "Edited Three");
  // The object itself still holds what the window gave it.
  EXPECT_EQ(Info.Artist, "");

  // Names that are not empty replace the stored ones.
  Info.Artist = "New Artist";
  ASSERT_TRUE(Info.WriteLocalCDDB());
  ASSERT_TRUE(read.ReadLocalCDDB());
  EXPECT_EQ(read.Artist, "New Artist");
}

TEST_F(Xmcd, FolderThatCannotBeCreatedFailsTheWrite) {
  testutil::WriteFile(Temp.File("blocker"), "a file, not a folder");
  Info.LocalFolder = Temp.File("blocker/LocalCDDB");
  Info.Album = "Album";
  EXPECT_FALSE(Info.WriteLocalCDDB());
}

TEST_F(Xmcd, FullDiskLeavesTheStoredEntry) {
  Info.Artist = "Stored";
  ASSERT_TRUE(Info.WriteLocalCDDB());
  const QByteArray stored = testutil::ReadFile(Info.LocalCDDBFile());

  // A file-size limit below the entry's size fails the write as a full disk would.
  bool written;
  {
    testutil::TFileSizeLimit limit(64);
    Info.Artist = "Lost";
    written = Info.WriteLocalCDDB();
  }

  EXPECT_FALSE(written);
  EXPECT_EQ(testutil::ReadFile(Info.LocalCDDBFile()), stored);
  EXPECT_EQ(QDir(Info.LocalFolder).entryList(QDir::Files),
            QStringList{Info.LocalCDDBFile().section('/', -1)});
}

TEST_F(Xmcd, LibcddbReadsOurEntryWithTheSameNames) {
  Info.TrackCount = 12;
  for (int i = 0; i < 12; ++i) {
    Info.Tracks[i].StartSector = i * 13457 + (i % 3) * 11;
    Info.Tracks[i].EndSector = (i + 1) * 13457 + ((i + 1) % 3) * 11;
    Info.SetTrackTitle(i, QString("Título %1 — Ελληνικά").arg(i + 1));
  }
  Info.ComputeDiscValues();
  Info.Artist = "Mötley Crüe";
  Info.Album = "Dr. Feelgood (Remaster)";
  Info.Year = "1989";
  Info.Category = "Hard Rock";
  ASSERT_TRUE(Info.WriteLocalCDDB());

  // libcddb finds cached entries as <cache>/<category>/<disc ID>.
  const QString cache = Temp.File("cache");
  ASSERT_TRUE(QDir().mkpath(cache + "/misc"));
  const QString id = QString::asprintf("%08x", Info.DiscID);
  ASSERT_TRUE(QFile::copy(Info.LocalCDDBFile(), cache + "/misc/" + id));

  std::unique_ptr<cddb_conn_t, void (*)(cddb_conn_t*)> conn(cddb_new(), cddb_destroy);
  ASSERT_TRUE(conn);
  cddb_cache_only(conn.get());
  ASSERT_EQ(cddb_cache_set_dir(conn.get(), cache.toUtf8().constData()), 1);
  std::unique_ptr<cddb_disc_t, void (*)(cddb_disc_t*)> disc(cddb_disc_new(), cddb_disc_destroy);
  cddb_disc_set_category_str(disc.get(), "misc");
  cddb_disc_set_discid(disc.get(), Info.DiscID);
  ASSERT_EQ(cddb_read(conn.get(), disc.get()), 1) << cddb_error_str(cddb_errno(conn.get()));

  EXPECT_EQ(QString::fromUtf8(cddb_disc_get_artist(disc.get())), Info.Artist);
  EXPECT_EQ(QString::fromUtf8(cddb_disc_get_title(disc.get())), Info.Album);
  EXPECT_EQ(QString::fromUtf8(cddb_disc_get_genre(disc.get())), Info.Category);
  EXPECT_EQ(cddb_disc_get_year(disc.get()), 1989u);
  EXPECT_EQ(cddb_disc_get_length(disc.get()), unsigned(Info.DiscSeconds));
  ASSERT_EQ(cddb_disc_get_track_count(disc.get()), 12);
  for (int i = 0; i < 12; ++i) {
    cddb_track_t* track = cddb_disc_get_track(disc.get(), i);
    ASSERT_TRUE(track) << i;
    EXPECT_EQ(QString::fromUtf8(cddb_track_get_title(track)), Info.GetTrackTitle(i)) << i;
    EXPECT_EQ(cddb_track_get_frame_offset(track), Info.Tracks[i].StartSector + 150) << i;
  }
  // libcddb's own disc ID from the offsets and length it read agrees with ours.
  ASSERT_EQ(cddb_disc_calc_discid(disc.get()), 1);
  EXPECT_EQ(cddb_disc_get_discid(disc.get()), Info.DiscID);
}

// The xmcd way of a various-artists disc: "Artist / Title" names the track's
// artist when the disc is "Various" or every title has a byline.
TEST_F(Xmcd, AVariousArtistsEntryNamesEachTracksArtist) {
  struct TCase {
    QByteArray Entry;
    QStringList Artists, Titles;
  };
  const std::vector<TCase> cases = {
      {"DTITLE=Various / Hits Compilation\nTTITLE0=Alpha Band / Song A\n"
       "TTITLE1=Beta feat. Gamma / Song B / Remix\nTTITLE2=Interlude\n",
       {"Alpha Band", "Beta feat. Gamma", ""},
       {"Song A", "Song B / Remix", "Interlude"}},
      {"DTITLE=Various Artists / Hits\nTTITLE0=A / One\nTTITLE1=B / Two\nTTITLE2=C / Three\n",
       {"A", "B", "C"},
       {"One", "Two", "Three"}},
      {"DTITLE=Split EP / Both\nTTITLE0=A / One\nTTITLE1=B / Two\nTTITLE2=C / Three\n",
       {"A", "B", "C"},
       {"One", "Two", "Three"}},
      // One artist's disc with a slash in one title: nothing splits.
      {"DTITLE=Band / Album\nTTITLE0=Song / Reprise\nTTITLE1=Two\nTTITLE2=Three\n",
       {"", "", ""},
       {"Song / Reprise", "Two", "Three"}},
  };
  for (const TCase& c : cases) {
    Info.SetDefaultNames();
    for (int i = 0; i < 3; ++i) Info.Tracks[i].Artist.clear();
    ASSERT_TRUE(Read("DISCID=" + QByteArray::number(Info.DiscID, 16) + "\n" + c.Entry));
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Info.Tracks[i].Artist, c.Artists[i]) << c.Entry.constData();
      EXPECT_EQ(Info.OwnTitle(i), c.Titles[i]) << c.Entry.constData();
    }
  }
}
