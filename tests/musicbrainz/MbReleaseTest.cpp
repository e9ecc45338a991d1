// Reading the service's answers into releases and naming the disc from the
// chosen one: credits as written, the medium that holds the disc, various
// artists, answers that leave parts out, and what the local entry keeps.
#include <gtest/gtest.h>

#include "cddb/CDInfo.h"
#include "common/TestUtil.h"
#include "musicbrainz/MbFixtures.h"
#include "musicbrainz/MbRelease.h"

using namespace testutil;

namespace {

std::vector<TMbRelease> Read(const QByteArray& xml) {
  std::vector<TMbRelease> releases;
  QString error;
  EXPECT_TRUE(ReadMbReleases(xml, releases, error)) << error.toStdString();
  return releases;
}

TMyCDInfo ThreeTracks() {
  TMyCDInfo info;
  info.TrackCount = 3;
  for (int i = 0; i < 3; ++i) {
    info.Tracks[size_t(i)].StartSector = i * 225;
    info.Tracks[size_t(i)].EndSector = (i + 1) * 225;
  }
  info.ComputeDiscValues();
  info.SetDefaultNames();
  info.Category = "Rock";
  return info;
}

}  // namespace

TEST(MbRelease, CreditsTitlesAndIdsAsTheServiceWritesThem) {
  // Two artists credited under other names, joined by the phrase as credited.
  const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<metadata xmlns="http://musicbrainz.org/ns/mmd-2.0#"><disc id="D1"><sectors>675</sectors>
<release-list count="1"><release id="5b11f4ce-a62d-471e-81fc-a69a8278c7da"><title>Où Es Tu — 東京</title>
<artist-credit><name-credit joinphrase=" &amp; "><name>Jöe</name><artist id="0383dadf-2a4e-4d10-a46a-e9e041da8eb3"><name>Joseph</name></artist></name-credit>
<name-credit><artist id="b10bbbfc-cf9e-42e0-be17-e2c3e1d2600d"><name>Ann</name></artist></name-credit></artist-credit>
<release-group id="a3b0ddd5-3c6b-40b4-9c0b-7c4a2f0e5e52"><title>x</title></release-group><date>1997-05</date>
<medium-list count="1"><medium><position>1</position><format>CD</format>
<disc-list count="1"><disc id="D1"/></disc-list><track-list count="2">
<track id="t1"><position>1</position><title>Track title</title>
<recording id="9f0d0c7e-4d2d-4f6e-8a51-1d3c3b4a5e61"><title>Recording title</title><isrc-list><isrc id="FRZ039800212"/></isrc-list></recording></track>
<track id="t2"><position>2</position><recording id="c5d5e1b2-7a2f-4a8e-9b1c-2e4f6a8b0c12"><title>Mon Amour</title></recording></track>
</track-list></medium></medium-list></release></release-list></disc></metadata>)";
  const std::vector<TMbRelease> releases = Read(xml);
  ASSERT_EQ(releases.size(), 1u);
  const TMbRelease& r = releases[0];
  EXPECT_EQ(r.Artist.Text, "Jöe & Ann");
  EXPECT_EQ(r.Artist.ArtistIDs, QStringList({"0383dadf-2a4e-4d10-a46a-e9e041da8eb3",
                                             "b10bbbfc-cf9e-42e0-be17-e2c3e1d2600d"}));
  EXPECT_EQ(r.Title, "Où Es Tu — 東京");
  EXPECT_EQ(r.Year(), "1997");
  EXPECT_EQ(r.ReleaseGroupID, "a3b0ddd5-3c6b-40b4-9c0b-7c4a2f0e5e52");

  TMyCDInfo info = ThreeTracks();
  ApplyMbRelease(info, r, MbMediumOf(r, "D1", 3));
  EXPECT_EQ(info.Album, "Où Es Tu — 東京");
  EXPECT_EQ(info.Artist, "Jöe & Ann");
  EXPECT_EQ(info.Year, "1997");
  EXPECT_EQ(info.Category, "Rock");                // the genre stays the user's
  EXPECT_EQ(info.Tracks[0].Title, "Track title");  // the track's own title wins
  EXPECT_EQ(info.Tracks[0].ISRC, "FRZ039800212");
  EXPECT_EQ(info.Tracks[1].Title, "Mon Amour");
  EXPECT_EQ(info.Tracks[1].MBRecordingID, "c5d5e1b2-7a2f-4a8e-9b1c-2e4f6a8b0c12");
  EXPECT_EQ(info.Tracks[2].Title, "Track03");  // not in the answer: kept
}

TEST(MbRelease, MultiDiscTakesTheMediumWithThisDiscAndVariousArtistsNameEachTrack) {
  const QByteArray media =
      MbMediumXml(1, {"OTHER"}, {{"Disc one"}, {"a"}, {"b"}}) +
      MbMediumXml(2, {"X", "THIS"},
                  {{"Song", "Кино"}, {"Solo", "Various Artists"}, {"Duet", "Ann & Bob"}});
  const std::vector<TMbRelease> releases =
      Read(MbAnswer({MbReleaseXml("r2", "Hits", "Various Artists", media)}, "THIS"));
  ASSERT_EQ(releases.size(), 1u);
  EXPECT_EQ(MbMediumOf(releases[0], "THIS", 3), 1);
  EXPECT_EQ(MbMediumOf(releases[0], "UNKNOWN", 3), 0);  // fuzzy: the first that fits
  EXPECT_EQ(MbMediumOf(releases[0], "UNKNOWN", 7), -1);
  TMyCDInfo info = ThreeTracks();
  ApplyMbRelease(info, releases[0], 1);
  EXPECT_EQ(info.Tracks[0].Title, "Кино / Song");
  EXPECT_EQ(info.Tracks[0].Artist, "Кино");
  EXPECT_EQ(info.Tracks[1].Title, "Solo");  // credited as the release: no prefix
  EXPECT_EQ(info.Tracks[1].Artist, "");
  EXPECT_EQ(info.Tracks[2].Title, "Ann & Bob / Duet");
  EXPECT_EQ(info.MBReleaseGroupID, MbId("rg-r2"));
  EXPECT_EQ(releases[0].Details(), "1988-01-05, XE, Мелодия, CAT-r2, 4601234567890, 2×CD");
}

TEST(MbRelease, PartsLeftOutAndBrokenAnswers) {
  // A release with no credit, date or media; an unknown element anywhere.
  const std::vector<TMbRelease> bare = Read(
      "<metadata><release-list><release id=\"r\"><title>T</title><new-thing><x/></new-thing>"
      "</release></release-list><cdstub id=\"s\"><title>stub</title></cdstub></metadata>");
  ASSERT_EQ(bare.size(), 1u);
  EXPECT_EQ(bare[0].Title, "T");
  EXPECT_EQ(bare[0].Year(), "");
  TMyCDInfo info = ThreeTracks();
  ApplyMbRelease(info, bare[0], MbMediumOf(bare[0], "D", 3));
  EXPECT_EQ(info.Album, "T");
  EXPECT_EQ(info.Tracks[0].Title, "Track01");

  for (const QByteArray& broken :
       {QByteArray("<html><body>Bad gateway</body></html>"), QByteArray("not xml at all"),
        QByteArray("<metadata><release-list><release id=\"r\"><title>T</release>"),
        QByteArray("<metadata><release-list><release id=\"r\">"), QByteArray()}) {
    std::vector<TMbRelease> releases;
    QString error;
    EXPECT_FALSE(ReadMbReleases(broken, releases, error)) << broken.constData();
    EXPECT_TRUE(releases.empty());
    EXPECT_FALSE(error.isEmpty());
  }
}

TEST(MbRelease, LocalEntryKeepsTheIdsTrackArtistsAndIsrcs) {
  TTempFolder folder;
  TMyCDInfo info = ThreeTracks();
  info.LocalFolder = folder.Path();
  const std::vector<TMbRelease> releases = Read(MbAnswer(
      {MbReleaseXml(
          "r3", "Album", "Band",
          MbMediumXml(1, {"D"}, {{"One", "", "GBAYE0000001"}, {"Two", "Guest Star"}, {"Three"}}))},
      "D"));
  ApplyMbRelease(info, releases[0], 0);
  ASSERT_TRUE(info.WriteLocalCDDB());
  const QString entry = QString::fromUtf8(ReadFile(info.LocalCDDBFile()));
  EXPECT_TRUE(entry.contains(
      "EXTD= YEAR: 1988 ID3G: 1 MBRELEASE: " + MbId("r3") + " MBRELEASEGROUP: " + MbId("rg-r3") +
      " MBALBUMARTIST: " + MbId("artist-r3") + " DATE: 1988-01-05 DISCNUMBER: 1 DISCTOTAL: 1" +
      " LABEL: Мелодия CATNO: CAT-r3 BARCODE: 4601234567890 COUNTRY: XE" +
      " DARTISTSORT: Band\r\n"))
      << entry.toStdString();

  TMyCDInfo read = ThreeTracks();
  read.LocalFolder = folder.Path();
  ASSERT_TRUE(read.ReadLocalCDDB());
  EXPECT_EQ(read.Artist, "Band");
  EXPECT_EQ(read.MBReleaseID, MbId("r3"));
  EXPECT_EQ(read.MBReleaseGroupID, MbId("rg-r3"));
  EXPECT_EQ(read.MBAlbumArtistIDs, QStringList{MbId("artist-r3")});
  EXPECT_EQ(read.Tracks[0].ISRC, "GBAYE0000001");
  EXPECT_EQ(read.Tracks[0].MBRecordingID, MbId("rec-1"));
  EXPECT_EQ(read.Tracks[1].Title, "Guest Star / Two");
  EXPECT_EQ(read.Tracks[1].Artist, "Guest Star");
  EXPECT_EQ(read.Tracks[2].Artist, "");
  // What a release tells beyond the CDDB names reads back as it was.
  const std::pair<QString, QString> fields[] = {
      {read.Date, info.Date},
      {read.Label, info.Label},
      {read.CatalogNumber, info.CatalogNumber},
      {read.Barcode, info.Barcode},
      {read.ReleaseCountry, info.ReleaseCountry},
      {read.AlbumArtistSort, info.AlbumArtistSort},
      {read.Tracks[1].ArtistSort, "Guest Star"},
      {read.Tracks[1].MBArtistIDs.join(','), info.Tracks[1].MBArtistIDs.join(',')},
  };
  for (const auto& [got, want] : fields) EXPECT_EQ(got, want);
  EXPECT_EQ(read.DiscNumber, 1);
  EXPECT_EQ(read.DiscTotal, 1);
}
