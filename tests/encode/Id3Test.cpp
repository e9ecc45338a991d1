// The ID3v1.1 tag writer byte by byte, and the session's tag on a real MP3
// read back by independent readers.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>

#include "common/SessionTestUtil.h"
#include "common/TestUtil.h"
#include "encode/LameCoder.h"
#include "encode/MPGTools.h"
#include "rip/JobEncoder.h"

using testutil::ReadFile;
using testutil::TTempFolder;
using testutil::WriteFile;

namespace {

QByteArray Zeros(int n) { return QByteArray(n, '\0'); }

// Tags the file with the given fields the way the session does.
QByteArray TagFile(const QString& path, const QString& title, const QString& comment = "c",
                   uint8_t track = 1, const QString& year = "1999") {
  TMPEGAudio tag;
  tag.ResetData();
  tag.SetFileName(path);
  tag.Track = track;
  tag.SetTitle(title);
  tag.SetArtist("Artist");
  tag.SetAlbum("Album");
  tag.SetYear(year);
  tag.Genre = 17;
  tag.SetComment(comment);
  EXPECT_EQ(tag.SaveTag(), 0);
  return ReadFile(path).right(128);
}

}  // namespace

TEST(Id3, AFileWithoutTagGrowsByOneBlockLaidOutAsId3v11) {
  TTempFolder folder;
  const QByteArray audio(1000, 'a');
  WriteFile(folder.File("x.mp3"), audio);
  const QByteArray block = TagFile(folder.File("x.mp3"), "Title", "Comment", 7, "2001");
  const QByteArray file = ReadFile(folder.File("x.mp3"));
  ASSERT_EQ(file.size(), 1128);
  EXPECT_EQ(file.left(1000), audio);
  EXPECT_EQ(block.mid(0, 3), "TAG");
  EXPECT_EQ(block.mid(3, 30), "Title" + Zeros(25));
  EXPECT_EQ(block.mid(33, 30), "Artist" + Zeros(24));
  EXPECT_EQ(block.mid(63, 30), "Album" + Zeros(25));
  EXPECT_EQ(block.mid(93, 4), "2001");
  EXPECT_EQ(block.mid(97, 28), "Comment" + Zeros(21));
  EXPECT_EQ(block[125], '\0');
  EXPECT_EQ(block[126], 7);
  EXPECT_EQ(uint8_t(block[127]), 17);
}

TEST(Id3, TaggingTwiceLeavesOneTag) {
  TTempFolder folder;
  WriteFile(folder.File("x.mp3"), QByteArray(500, 'a'));
  TagFile(folder.File("x.mp3"), "First");
  const QByteArray block = TagFile(folder.File("x.mp3"), "Second");
  EXPECT_EQ(QFile(folder.File("x.mp3")).size(), 628);
  EXPECT_EQ(block.mid(3, 7), QByteArray("Second\0", 7));
  EXPECT_EQ(ReadFile(folder.File("x.mp3")).count("TAG"), 1);
}

TEST(Id3, FieldsKeepWhatFitsTheirCapacity) {
  TTempFolder folder;
  WriteFile(folder.File("x.mp3"), QByteArray(500, 'a'));
  const QString title35 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ123456789";
  QByteArray block = TagFile(folder.File("x.mp3"), title35, "c", 1, "");
  EXPECT_EQ(block.mid(3, 30), title35.left(30).toLatin1());
  EXPECT_EQ(block.mid(93, 4), Zeros(4));  // an empty year

  // Track 12 with a 21-character comment.
  block = TagFile(folder.File("x.mp3"), "t", "Ripped with a tester.", 12);
  EXPECT_EQ(block[125], '\0');
  EXPECT_EQ(block[126], 12);
  // With a track the comment keeps 28 bytes and byte 125 stays zero, so the
  // track reads back; without one a 29-byte comment fills byte 125.
  block = TagFile(folder.File("x.mp3"), "t", QString(29, 'x'), 3);
  EXPECT_EQ(block.mid(97, 29), QByteArray(28, 'x') + Zeros(1));
  EXPECT_EQ(block[126], 3);
  block = TagFile(folder.File("x.mp3"), "t", QString(30, 'y'), 0);
  EXPECT_EQ(block.mid(97, 30), QByteArray(29, 'y') + Zeros(1));
}

// Found by fuzzing: text after a NUL was written and could never be read
// back, and a 29-byte comment hid the track number from every reader.
TEST(Id3, EveryFieldWrittenReadsBack) {
  TTempFolder folder;
  const QString path = folder.File("x.mp3");
  WriteFile(path, QByteArray(500, 'a'));
  TMPEGAudio tag;
  tag.ResetData();
  tag.SetFileName(path);
  tag.SetTitle(QString::fromUtf8("\xc3\x89vora\0after the end", 20));
  tag.SetComment(QString(29, 'c'));
  tag.Track = 7;
  ASSERT_EQ(tag.SaveTag(), 0);
  TMPEGAudio read;
  read.SetFileName(path);
  EXPECT_EQ(read.Title(), QByteArray("\xc3\x89vora"));
  EXPECT_EQ(tag.Title(), read.Title());
  EXPECT_EQ(read.Comment(), QByteArray(28, 'c'));
  EXPECT_EQ(read.Track, 7);
}

TEST(Id3, Utf8TextIsCutAtACharacterBoundary) {
  TTempFolder folder;
  WriteFile(folder.File("x.mp3"), QByteArray(500, 'a'));
  // "a" and fifteen two-byte characters: 31 bytes, the 30th in the middle of one.
  const QString title = "a" + QString(15, QChar(0xE9));
  const QString comment = "bb" + QString(14, QChar(0xFC));  // 30 bytes; byte 29 starts a character
  const QByteArray block = TagFile(folder.File("x.mp3"), title, comment, 9);
  EXPECT_EQ(block.mid(3, 30), ("a" + QString(14, QChar(0xE9))).toUtf8() + Zeros(1));
  // The track byte would split the last character, so it is left out whole.
  EXPECT_EQ(block.mid(97, 29), ("bb" + QString(13, QChar(0xFC))).toUtf8() + Zeros(1));
  EXPECT_EQ(block[126], 9);
  EXPECT_EQ(TMPEGAudio::FitField(QString(2, QChar(0x20AC)), 4), QString(QChar(0x20AC)).toUtf8());
  EXPECT_EQ(TMPEGAudio::FitField(QString::fromUtf8("\xF0\x9F\x8E\xB5"), 3), QByteArray());
}

TEST(Id3, AFileOfOnlyOneTagIsNeverCut) {
  TTempFolder folder;
  const QByteArray old = "TAG" + QByteArray(125, 'o');
  WriteFile(folder.File("x.mp3"), old);
  TagFile(folder.File("x.mp3"), "New");
  const QByteArray file = ReadFile(folder.File("x.mp3"));
  ASSERT_EQ(file.size(), 256);
  EXPECT_EQ(file.left(128), old);
  EXPECT_EQ(file.mid(128, 6), "TAGNew");
}

TEST(Id3, MissingUnopenableAndFullFiles) {
  TTempFolder folder;
  TMPEGAudio tag;
  tag.SetFileName(folder.File("none.mp3"));
  EXPECT_EQ(tag.RemoveTag(), -1);
  EXPECT_EQ(tag.SaveTag(), -1);
  EXPECT_FALSE(QFile::exists(folder.File("none.mp3")));

  ASSERT_TRUE(QDir().mkpath(folder.File("folder.mp3")));
  tag.SetFileName(folder.File("folder.mp3"));
  EXPECT_EQ(tag.RemoveTag(), EISDIR);
  EXPECT_EQ(tag.SaveTag(), EISDIR);

  // A disk that is full when the tag is appended: an error, and no half tag.
  WriteFile(folder.File("x.mp3"), QByteArray(1000, 'a'));
  tag.SetFileName(folder.File("x.mp3"));
  {
    testutil::TFileSizeLimit limit(1050);
    EXPECT_THROW(tag.SaveTag(), EMPEGAudioError);
  }
  EXPECT_EQ(ReadFile(folder.File("x.mp3")), QByteArray(1000, 'a'));
}

TEST(Id3, SettingTheFileNameReadsItsTag) {
  TTempFolder folder;
  WriteFile(folder.File("x.mp3"), QByteArray(300, 'a'));
  TagFile(folder.File("x.mp3"), "Read back", "note", 5);
  TMPEGAudio tag;
  tag.SetFileName(folder.File("x.mp3"));
  EXPECT_EQ(tag.Title(), "Read back");
  EXPECT_EQ(tag.Artist(), "Artist");
  EXPECT_EQ(tag.Year(), "1999");
  EXPECT_EQ(tag.Comment(), "note");
  EXPECT_EQ(tag.Track, 5);
  EXPECT_EQ(tag.Genre, 17);

  tag.ResetData();
  EXPECT_EQ(tag.Title(), "");
  EXPECT_EQ(tag.Year(), "    ");
  EXPECT_EQ(tag.Genre, 255);
  EXPECT_EQ(tag.Track, 0);
}

TEST(Id3, GenreCodesFromCategoriesAndGenreNames) {
  const std::pair<const char*, int> cases[] = {
      {"blues", 0},       {"Classical", 32},   {"COUNTRY", 2},    {"folk", 80},
      {"jazz", 8},        {"Newage", 10},      {"reggae", 16},    {"Rock", 17},
      {"soundtrack", 24}, {"Misc", 12},        {"data", 12},      {"Classic Rock", 1},
      {"new age", 10},    {"Hip-Hop", 7},      {"synthpop", 147}, {" Pop ", 13},
      {"", 255},          {"Polka Metal", 255}};
  for (const auto& [name, code] : cases) EXPECT_EQ(GenreCode(name), code) << name;
}

TEST(Id3, SessionTagOnAnEncodedMp3ReadsBackWithIndependentReaders) {
  TTempFolder folder;
  const QString wav = testutil::MakeWav(folder, std::vector<int16_t>(44100 * 2, 0));
  TLameCoder coder;
  coder.SetInputFiles({wav});
  coder.SetOutputFiles({folder.File("song.mp3")});
  coder.EncodeFiles();
  const qint64 encodedSize = QFile(folder.File("song.mp3")).size();
  ASSERT_GT(encodedSize, 1000);

  const QString path = folder.File("song.mp3");
  TTrackTags id3;
  id3.TrackNumber = 12;
  id3.Title = "Sound of Tests";
  id3.Artist = "The Fixtures";
  id3.Album = "Generated";
  id3.Date = "2026";
  id3.Genre = "jazz";
  id3.Comment = "Cadenzo 1.06";
  EXPECT_TRUE(WriteId3v1Tag(path, id3));
  EXPECT_TRUE(WriteId3v1Tag(path, id3));
  EXPECT_EQ(QFile(path).size(), encodedSize + 128);

  QByteArray out;
  ASSERT_EQ(
      testutil::RunProgram(
          "ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of", "json", path}, &out),
      0);
  const QJsonObject tags =
      QJsonDocument::fromJson(out).object()["format"].toObject()["tags"].toObject();
  EXPECT_EQ(tags["title"].toString(), "Sound of Tests");
  EXPECT_EQ(tags["artist"].toString(), "The Fixtures");
  EXPECT_EQ(tags["album"].toString(), "Generated");
  EXPECT_EQ(tags["date"].toString(), "2026");
  EXPECT_EQ(tags["comment"].toString(), "Cadenzo 1.06");
  EXPECT_EQ(tags["track"].toString(), "12");
  EXPECT_EQ(tags["genre"].toString(), "Jazz");

  ASSERT_EQ(testutil::RunProgram("id3v2", {"-l", path}, &out), 0);
  const QString listing = QString::fromUtf8(out);
  EXPECT_TRUE(listing.contains("Title  : Sound of Tests")) << listing.toStdString();
  EXPECT_TRUE(listing.contains("Genre: Jazz (8)")) << listing.toStdString();
  EXPECT_TRUE(listing.contains("Track: 12")) << listing.toStdString();
}
