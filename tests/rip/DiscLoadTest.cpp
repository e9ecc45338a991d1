// The disc model read through the real ripping component and CD-reading
// library from generated disc images, and the disc information filled from
// it, its disc ID checked against libcddb's.
#include <cddb/cddb.h>
#include <gtest/gtest.h>

#include <QFile>
#include <memory>

#include "cddb/CDInfo.h"
#include "common/DiscImage.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "rip/DiscLoad.h"
#include "rip/ExtractJobs.h"
#include "rip/JobEncoder.h"
#include "rip/RipPlan.h"
#include "settings/config.h"

namespace {

// libcddb's disc ID for a TOC given as raw start sectors and the lead-out.
uint32_t LibcddbDiscID(const std::vector<int>& starts) {
  std::unique_ptr<cddb_disc_t, void (*)(cddb_disc_t*)> disc(cddb_disc_new(), cddb_disc_destroy);
  for (size_t i = 0; i + 1 < starts.size(); ++i) {
    cddb_track_t* track = cddb_track_new();
    cddb_track_set_frame_offset(track, starts[i] + 150);
    cddb_disc_add_track(disc.get(), track);
  }
  cddb_disc_set_length(disc.get(), unsigned(starts.back() + 150) / 75);
  cddb_disc_calc_discid(disc.get());
  return cddb_disc_get_discid(disc.get());
}

class LoadFromTOC : public ::testing::Test {
 protected:
  void SetUp() override {
    First = testutil::MakeDiscImage(Temp.Path(), "first", {1200, 451, 2777});
    Second = testutil::MakeDiscImage(Temp.Path(), "second", {900});
    Ini = Temp.File("cdrip.ini");
    InsertDisc(First.CuePath);
  }
  // Lists the image as the drive's disc; extra goes into the drive's section.
  void InsertDisc(const QString& cuePath, const QString& extra = QString()) {
    testutil::WriteCdripIni(Ini, {cuePath}, extra.isEmpty() ? QString() : "[Image0]\r\n" + extra);
  }
  // Starts the library on the ini and selects the image drive, which comes
  // after any physical drive of the machine.
  void StartLibrary() {
    ASSERT_EQ(CR_Init(Ini.toUtf8().constData()), CDRIP_OK);
    ASSERT_GE(CR_GetNumCDROM(), 1);
    CDRIP.SetCDRomNum(CR_GetNumCDROM() - 1);
  }

  testutil::TTempFolder Temp;
  testutil::TDiscImage First, Second;
  QString Ini;
  TCDRIP CDRIP;
  TMyCDInfo Info;
};

}  // namespace

TEST_F(LoadFromTOC, FillsTheTableAndDiscValuesFromTheImage) {
  StartLibrary();
  Info.Tracks[1].Title = "kept";
  ASSERT_TRUE(Info.LoadFromTOC(ReadDisc(CDRIP)));
  ASSERT_EQ(Info.TrackCount, 3);
  for (int i = 0; i < 3; ++i) {
    const TCDTrack track = Info.GetTrack(i);
    const int start = First.Starts[i], end = First.Starts[i + 1], length = end - start;
    EXPECT_EQ(track.Index, i);
    EXPECT_EQ(track.Kind, TTrackKind::Audio) << i;
    EXPECT_EQ(track.StartSector, start) << i;
    EXPECT_EQ(track.EndSector, end) << i;
    EXPECT_EQ(track.StartMin * 4500 + track.StartSec * 75 + track.StartFrame, start) << i;
    EXPECT_EQ(track.LengthMin * 4500 + track.LengthSec * 75 + track.LengthFrame, length) << i;
    EXPECT_EQ(track.LengthBytes, length * 2352) << i;
    EXPECT_EQ(track.LengthSeconds, length / 75) << i;
  }
  // Titles belong to the names, not to the TOC.
  EXPECT_EQ(Info.GetTrackTitle(1), "kept");
  EXPECT_EQ(Info.TrackLengthText(1), "00:06:01");
  EXPECT_EQ(Info.DiscBytes, 4428 * 2352);
  EXPECT_EQ(Info.DiscSeconds, (4428 + 151) / 75);
  EXPECT_EQ(Info.DiscID, LibcddbDiscID(First.Starts));
  // Digit sums 2 + 9 + 6 of the starts at 2, 18 and 24 s; 61 - 2 seconds; 3 tracks.
  EXPECT_EQ(Info.DiscID, 0x11003b03u);
  EXPECT_EQ(Info.CDPlayerKey, Info.ComputeCDPlayerKey());
}

TEST_F(LoadFromTOC, FollowsDiscChangesAndRemoval) {
  StartLibrary();
  ASSERT_TRUE(Info.LoadFromTOC(ReadDisc(CDRIP)));
  const uint32_t firstID = Info.DiscID;

  InsertDisc(Second.CuePath);
  ASSERT_TRUE(Info.LoadFromTOC(ReadDisc(CDRIP)));
  EXPECT_EQ(Info.TrackCount, 1);
  EXPECT_EQ(Info.DiscID, LibcddbDiscID(Second.Starts));
  EXPECT_NE(Info.DiscID, firstID);
  // A single track's key carries its end sector.
  EXPECT_EQ(Info.CDPlayerKey, 0x200u + 900u);

  InsertDisc(Second.CuePath, "NotReady=1\r\n");
  EXPECT_FALSE(Info.LoadFromTOC(ReadDisc(CDRIP)));
  EXPECT_EQ(Info.TrackCount, 0);
  EXPECT_EQ(Info.DiscID, 0u);
  EXPECT_EQ(Info.CDPlayerKey, 0u);
  EXPECT_EQ(Info.DiscSeconds, 0);
  EXPECT_EQ(Info.DiscBytes, 0);
}

TEST_F(LoadFromTOC, NewDiscTakesStoredNamesFromTheLocalFolder) {
  StartLibrary();
  Info.LocalFolder = Temp.File("LocalCDDB");
  ASSERT_TRUE(Info.LoadFromTOC(ReadDisc(CDRIP)));
  Info.SetDefaultNames();
  EXPECT_FALSE(Info.ReadLocalCDDB());
  Info.Artist = "Generated";
  Info.SetTrackTitle(2, "Third");
  ASSERT_TRUE(Info.WriteLocalCDDB());

  TMyCDInfo again;
  again.LocalFolder = Info.LocalFolder;
  ASSERT_TRUE(again.LoadFromTOC(ReadDisc(CDRIP)));
  again.SetDefaultNames();
  ASSERT_TRUE(again.ReadLocalCDDB());
  EXPECT_EQ(again.Artist, "Generated");
  EXPECT_EQ(again.GetTrackTitle(2), "Third");
}

TEST_F(LoadFromTOC, CueSheetCdTextCatalogueAndIsrcsReachTheDiscInformation) {
  QByteArray cue = testutil::ReadFile(First.CuePath);
  cue.replace("FILE ",
              "CATALOG 0724384260958\r\nTITLE \"Où Es Tu\"\r\nPERFORMER \"東京事変\"\r\nFILE ");
  cue.replace("  TRACK 01 AUDIO\r\n",
              "  TRACK 01 AUDIO\r\n    TITLE \"Première\"\r\n    ISRC FRZ039800212\r\n");
  cue.replace("  TRACK 02 AUDIO\r\n",
              "  TRACK 02 AUDIO\r\n    TITLE \"Duet\"\r\n    PERFORMER \"Guest\"\r\n");
  testutil::WriteFile(First.CuePath, cue);
  StartLibrary();
  ASSERT_TRUE(Info.LoadFromTOC(ReadDisc(CDRIP)));
  EXPECT_EQ(Info.MCN, "0724384260958");
  EXPECT_EQ(Info.CDTextAlbum, "Où Es Tu");
  EXPECT_EQ(Info.CDTextPerformer, "東京事変");
  EXPECT_EQ(Info.Tracks[0].CDTextTitle, "Première");
  EXPECT_EQ(Info.Tracks[0].ISRC, "FRZ039800212");
  EXPECT_EQ(Info.Tracks[1].CDTextPerformer, "Guest");
  EXPECT_EQ(Info.Tracks[2].CDTextTitle, "");

  // Without a local entry the disc is named by its CD-Text at once.
  Info.LocalFolder = Temp.File("none");
  ASSERT_TRUE(LoadDisc(CDRIP, Info, false));
  EXPECT_EQ(Info.Artist, "東京事変");
  EXPECT_EQ(Info.Album, "Où Es Tu");
  EXPECT_EQ(Info.GetTrackTitle(0), "Première");
  EXPECT_EQ(Info.GetTrackTitle(1), "Guest / Duet");
  EXPECT_EQ(Info.GetTrackTitle(2), "Track03");

  // A local entry of placeholders (an older version saved such) names
  // nothing: the CD-Text names the disc all the same, the entry's year stays.
  Info.LocalFolder = Temp.File("local");
  testutil::WriteFile(Info.LocalCDDBFile(),
                      "# xmcd\nDTITLE=NOARTIST / NOTITLE\nDYEAR=1999\nTTITLE0=Track01\n"
                      "TTITLE1=Track02\nTTITLE2=Track03\n");
  ASSERT_TRUE(LoadDisc(CDRIP, Info, false));
  EXPECT_EQ(Info.Album, "Où Es Tu");
  EXPECT_EQ(Info.GetTrackTitle(1), "Guest / Duet");
  EXPECT_EQ(Info.Year, "1999");
}

TEST_F(LoadFromTOC, AnImageLongerThanAnyDiscIsRefusedAndByteSizesStayInRange) {
  // 1,000,000 sectors: 2,352,000,000 bytes, more than a signed 32-bit number
  // holds and longer than the 99:59:74 a TOC can state.
  QFile bin(Second.BinPath);
  ASSERT_TRUE(bin.resize(qint64(1000000) * 2352));
  InsertDisc(Second.CuePath);
  StartLibrary();
  EXPECT_FALSE(Info.LoadFromTOC(ReadDisc(CDRIP)));
  EXPECT_EQ(Info.DiscBytes, 0);

  // Byte sizes from a table that long are held at the 32-bit maximum.
  Info.TrackCount = 1;
  Info.Tracks[0].StartSector = 0;
  Info.Tracks[0].EndSector = 1000000;
  Info.ComputeDiscValues();
  EXPECT_EQ(Info.LeadOutSector(), 1000000);
  EXPECT_EQ(Info.DiscBytes, INT32_MAX);
  EXPECT_EQ(Info.DiscSeconds, (1000000 + 151) / 75);
}

// An Enhanced CD read into the model: the last audio track ends a session gap
// before the data track, the track list's record and the tags go by its
// audio, the IDs count what each database counts.
TEST_F(LoadFromTOC, AnEnhancedCdsAudioEndsBeforeItsDataSession) {
  InsertDisc(testutil::MakeEnhancedCd(Temp.File("enhanced"), "enhanced"));
  StartLibrary();
  ASSERT_TRUE(LoadDisc(CDRIP, Info, false));
  const TDisc& disc = Info.Disc;
  ASSERT_EQ(disc.Tracks.size(), 3u);
  EXPECT_EQ(disc.AudioTrackCount(), 2);
  EXPECT_EQ(disc.Tracks[1].End, 11625);
  EXPECT_EQ(disc.Tracks[1].AudioEnd, 11625 - 11400);
  EXPECT_FALSE(disc.Tracks[2].IsAudio());
  EXPECT_EQ(disc.LeadOut, 11700);
  EXPECT_EQ(disc.Ids.Cddb, LibcddbDiscID({0, 75, 11625, 11700}));
  EXPECT_EQ(disc.Ids.CtdbToc, "0:75:-11625:11700");
  EXPECT_EQ(Info.DiscID, disc.Ids.Cddb);
  EXPECT_EQ(Info.MBDiscID, disc.Ids.MusicBrainz);
  // The Size column of the last audio track: its audio, without the gap.
  const TCDTrackInfo record = MakeTrackInfo(Info, 1, {});
  EXPECT_EQ(record.LengthSectors, 150);
  EXPECT_EQ(record.LengthBytes, 150 * 2352);
  EXPECT_EQ(TrackTags(NamedDisc(Info), TRipSettings(), 2, {}).TrackTotal, 2);
}
