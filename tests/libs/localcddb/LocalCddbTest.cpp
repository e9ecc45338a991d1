// The local CDDB library through its C interface: the example entry of the
// xmcd database format description, corrupt entries, the texts it builds and
// the folder it reads and writes, and entries TMyCDInfo writes.
#include <gtest/gtest.h>

#include <QDir>
#include <string>
#include <vector>

#include "cddb/CDInfo.h"
#include "common/TestUtil.h"
#include "libs/localcddb/localcddb.h"

namespace {

// An exchange record with a buffer behind every pointer.
struct TRecord {
  LCDDB_ENTRY Entry{};
  std::vector<std::vector<char>> Buffers;

  TRecord() {
    auto take = [this] {
      Buffers.emplace_back(LCDDB_TEXT_SIZE, '\0');
      return Buffers.back().data();
    };
    for (char*& field : Entry.Disc) field = take();
    for (char*& field : Entry.Titles) field = take();
    for (char*& field : Entry.ExtData) field = take();
    Entry.Category = take();
  }
  std::string Disc(int i) const { return Entry.Disc[i]; }
};

// The example entry of the xmcd database format description (freedb's
// DBFORMAT, "An example of a valid database entry"), with its "..." between
// the frame offsets left out.
const char* const kExample =
    "# xmcd\n"
    "#\n"
    "# Track frame offsets:\n"
    "#\t150\n"
    "#\t210627\n"
    "#\n"
    "# Disc length: 2952 seconds\n"
    "#\n"
    "# Revision: 1\n"
    "# Submitted via: xmcd 2.0\n"
    "#\n"
    "DISCID=270b8617\n"
    "DTITLE=Franske Stemninger / Con Spirito\n"
    "DYEAR=1981\n"
    "DGENRE=Classical\n"
    "TTITLE0=Mille regretz de vous abandonner\n"
    "TTITLE22=L'arche de no\n"
    "EXTD=Copyright (c) 1981 MCA Records Inc.\\nManufactured f\n"
    "EXTD=or MCA Records Inc.\n"
    "EXTT0=Des Prez\\nYez\n"
    "EXTT22=Schmitt: A contre-voix \\n(excerpt)\n"
    "PLAYORDER=\n";

}  // namespace

TEST(LocalCddb, ParsesTheFormatDescriptionsExampleEntry) {
  TRecord record;
  ASSERT_EQ(ParseCDDBString(&record.Entry, kExample), LCDDB_OK);
  EXPECT_EQ(record.Disc(LCDDB_DISCID), "270b8617");
  EXPECT_EQ(record.Disc(LCDDB_ARTIST), "Franske Stemninger");
  EXPECT_EQ(record.Disc(LCDDB_TITLE), "Con Spirito");
  EXPECT_EQ(record.Disc(LCDDB_YEAR), "1981");
  EXPECT_EQ(record.Disc(LCDDB_GENRE), "Classical");
  // Continuation lines join.
  EXPECT_EQ(record.Disc(LCDDB_EXTD),
            "Copyright (c) 1981 MCA Records Inc.\\nManufactured for MCA Records Inc.");
  EXPECT_STREQ(record.Entry.Titles[0], "Mille regretz de vous abandonner");
  EXPECT_STREQ(record.Entry.Titles[22], "L'arche de no");
  EXPECT_STREQ(record.Entry.Titles[1], "");
  EXPECT_STREQ(record.Entry.ExtData[0], "Des Prez\\nYez");
  EXPECT_STREQ(record.Entry.Category, "Classical");
  EXPECT_EQ(record.Entry.Revision, 1);
  EXPECT_EQ(record.Entry.Toc.TrackCount, 2);
  EXPECT_EQ(record.Entry.Toc.Tracks[0].Sec, 2);   // frame 150 = 00:02:00
  EXPECT_EQ(record.Entry.Toc.Tracks[1].Min, 46);  // frame 210627 = 46:48:27
  EXPECT_EQ(record.Entry.Toc.Tracks[1].Sec, 48);
  EXPECT_EQ(record.Entry.Toc.Tracks[1].Frame, 27);
  EXPECT_EQ(record.Entry.Toc.LeadOutMin * 60 + record.Entry.Toc.LeadOutSec, 2952);
}

TEST(LocalCddb, CorruptEntriesGiveMinusFour) {
  const char* const corrupt[] = {
      "",
      "DISCID=270b8617\nDTITLE=a / b\n",                       // no "# xmcd" line
      "# xmcd\nDTITLE=a / b\n",                                // no DISCID
      "# xmcd\nDISCID=270b8617\n",                             // no DTITLE
      "# xmcd\nDISCID=270b8617\nDTITLE=a / b\nnot a pair\n",   // neither comment nor pair
      "# xmcd\nDISCID=270b8617\nDTITLE=a / b\nTTITLE100=x\n",  // track out of range
      "# xmcd\nDISCID=270b8617\nDTITLE=a / b\nTTITLEA=x\n",    // no track number
      "# xmcd\nDISCID=270b8617\nDTITLE=a / b\n=value\n",       // no key
      "\x89PNG\r\n\x1a\n\0\0",                                 // binary
  };
  for (const char* text : corrupt) {
    TRecord record;
    EXPECT_EQ(ParseCDDBString(&record.Entry, text), LCDDB_CORRUPT) << text;
  }
  EXPECT_EQ(ParseCDDBString(nullptr, kExample), LCDDB_BAD_ARGUMENT);
}

TEST(LocalCddb, LongUtf8ValuesAreCutAtACharacterBoundary) {
  std::string title;
  for (int i = 0; i < 300; ++i) title += "\xD0\x96";  // Ж, two bytes each
  const std::string entry = "# xmcd\nDISCID=0c025803\nDTITLE=" + title + " / x\n";
  TRecord record;
  ASSERT_EQ(ParseCDDBString(&record.Entry, entry.c_str()), LCDDB_OK);
  const std::string artist = record.Disc(LCDDB_ARTIST);
  EXPECT_EQ(artist.size(), 510u);
  EXPECT_EQ(QString::fromStdString(artist), QString(255, QChar(0x416)));
}

TEST(LocalCddb, ValuesCutAtTheFieldSizeReadBackTheSameAfterASave) {
  // The cut falls right after a blank: 510 letters, a blank, more letters.
  const std::string artist = std::string(510, 'a') + " tail";
  // A negative disc length reads as none, not as another length.
  const std::string entry = "# xmcd\n# Disc length: -5 seconds\nDISCID=0c025803\nDTITLE=" +
                            artist + " / " + artist + "\nDYEAR=" + artist + "\n";
  TRecord first;
  ASSERT_EQ(ParseCDDBString(&first.Entry, entry.c_str()), LCDDB_OK);
  EXPECT_EQ(first.Disc(LCDDB_ARTIST), std::string(510, 'a'));
  std::vector<char> written(size_t(CreateCDDBString(&first.Entry, nullptr, 0)) + 1);
  CreateCDDBString(&first.Entry, written.data(), int32_t(written.size()));
  TRecord second;
  ASSERT_EQ(ParseCDDBString(&second.Entry, written.data()), LCDDB_OK);
  for (int field : {LCDDB_ARTIST, LCDDB_TITLE, LCDDB_YEAR})
    EXPECT_EQ(second.Disc(field), first.Disc(field)) << field;
  for (const TRecord* record : {&first, &second})
    EXPECT_EQ(record->Entry.Toc.LeadOutMin * 60 + record->Entry.Toc.LeadOutSec, 0);
}

TEST(LocalCddb, WritesReadsAndFindsEntriesInAFolder) {
  testutil::TTempFolder temp;
  const std::string folder = temp.File("db").toStdString();
  TRecord record;
  ASSERT_EQ(ParseCDDBString(&record.Entry, kExample), LCDDB_OK);
  ASSERT_EQ(SetVersion("test banner", 512), LCDDB_OK);
  ASSERT_EQ(WriteCDData(&record.Entry, folder.c_str()), LCDDB_OK);

  TRecord back;
  ASSERT_EQ(ReadCDData(&back.Entry, folder.c_str(), "270B8617"), LCDDB_OK);
  EXPECT_EQ(back.Disc(LCDDB_TITLE), "Con Spirito");
  EXPECT_STREQ(back.Entry.Titles[1], "");
  EXPECT_EQ(back.Entry.Toc.Tracks[1].Min, 46);
  EXPECT_EQ(ReadCDData(&back.Entry, folder.c_str(), "00000000"), LCDDB_NOT_FOUND);
  EXPECT_EQ(ReadCDData(&back.Entry, folder.c_str(), "../../x"), LCDDB_BAD_ARGUMENT);

  const int32_t length = CreateCDDBString(&record.Entry, nullptr, 0);
  std::vector<char> text(size_t(length) + 1);
  ASSERT_EQ(CreateCDDBString(&record.Entry, text.data(), length + 1), length);
  EXPECT_NE(std::string(text.data()).find("# Submitted via: test banner\r\n"), std::string::npos);

  char names[64] = {};
  EXPECT_EQ(FindMatches(folder.c_str(), "270b8617", names, sizeof names), 1);
  EXPECT_STREQ(names, "270b8617\n");
  EXPECT_EQ(FindMatches(folder.c_str(), "12345678", names, sizeof names), 0);

  // A disc ID that would leave the folder is refused.
  std::strcpy(record.Entry.Disc[LCDDB_DISCID], "../evil1");
  EXPECT_EQ(WriteCDData(&record.Entry, folder.c_str()), LCDDB_BAD_ARGUMENT);
  EXPECT_FALSE(QFile::exists(temp.File("evil1")));
}

TEST(LocalCddb, ReadsTheEntriesTheLocalFolderHolds) {
  testutil::TTempFolder temp;
  TMyCDInfo info;
  info.LocalFolder = temp.File("LocalCDDB");
  info.TrackCount = 2;
  info.Tracks[0].EndSector = info.Tracks[1].StartSector = 15000;
  info.Tracks[1].EndSector = 30000;
  info.ComputeDiscValues();
  info.SetDefaultNames();
  info.Artist = "Кино";
  info.Album = "Группа крови";
  info.Year = "1988";
  info.Category = "Rock";
  info.SetTrackTitle(1, "Закрой за мной дверь");
  ASSERT_TRUE(info.WriteLocalCDDB());

  TRecord record;
  const std::string discId = QString::asprintf("%8.8x", info.DiscID).toStdString();
  ASSERT_EQ(ReadCDData(&record.Entry, temp.File("LocalCDDB").toUtf8().constData(), discId.c_str()),
            LCDDB_OK);
  EXPECT_EQ(QString::fromUtf8(record.Disc(LCDDB_ARTIST)), "Кино");
  EXPECT_EQ(QString::fromUtf8(record.Disc(LCDDB_TITLE)), "Группа крови");
  EXPECT_EQ(QString::fromUtf8(record.Entry.Titles[1]), "Закрой за мной дверь");
  EXPECT_EQ(record.Entry.Toc.TrackCount, 2);
  EXPECT_EQ(record.Entry.Toc.Tracks[1].Min * 4500 + record.Entry.Toc.Tracks[1].Sec * 75 +
                record.Entry.Toc.Tracks[1].Frame,
            15150);
}
