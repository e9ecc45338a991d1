// Cue-sheet images as people keep them, each made here from the audio of one
// generated disc: ripped through the library's C interface, they must give
// that audio byte for byte and the TOC libcdio reads from the plain
// BINARY image of it (the same TOC, so the same disc ID).
#include <cdio/cdio.h>

#include <QDir>
#include <QStringList>
#include <algorithm>
#include <thread>
#include <vector>

#include "common/DiscImage.h"
#include "common/SoundOutput.h"
#include "common/TestUtil.h"
#include "libs/cdrip/CueImage.h"
#include "libs/cdrip/Pregap.h"
#include "libs/cdrip/cdrip.h"

using namespace testutil;

namespace {

constexpr int kSectorBytes = 2352;

class CueImage : public ::testing::Test {
 protected:
  void SetUp() override {
    Disc = MakeDiscImage(Folder.File("disc"), "disc", {100, 160, 75});
    // libcdio's own reading of the plain image is the reference TOC.
    CdIo_t* cdio = cdio_open(Disc.CuePath.toUtf8().constData(), DRIVER_BINCUE);
    ASSERT_TRUE(cdio);
    for (track_t t = 1; t <= cdio_get_num_tracks(cdio); ++t)
      ReferenceToc.push_back(cdio_get_track_lsn(cdio, t));
    ReferenceToc.push_back(cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK));
    cdio_destroy(cdio);
  }

  QString Write(const QString& name, const QByteArray& bytes) {
    WriteFile(Folder.File(name), bytes);
    return Folder.File(name);
  }

  // Raw PCM of sectors [start, end) as a sound file made by sox or flac.
  void MakeSound(const QString& name, int start, int end, const QString& rate = "44100") {
    const QString raw = Write(name + ".raw", Disc.SectorPcm(start, end));
    const QString out = Folder.File(name);
    const int code = name.endsWith(".flac")
                         ? RunProgram("flac", {"-s", "-f", "--force-raw-format", "--endian=little",
                                               "--sign=signed", "--channels=2", "--bps=16",
                                               "--sample-rate=44100", "-o", out, raw})
                         : RunProgram("sox", {"-t", "raw", "-r", "44100", "-e", "signed", "-b",
                                              "16", "-c", "2", raw, "-r", rate, out});
    ASSERT_EQ(code, 0) << name.toStdString();
  }

  // Opens the sheet as the only image drive.
  void Use(const QString& cue) {
    WriteCdripIni(Folder.File("cdrip.ini"), {cue});
    ASSERT_EQ(CR_Init(Folder.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    ASSERT_EQ(CR_SetActiveCDROM(CR_GetNumCDROM() - 1), CDRIP_OK);
  }

  std::vector<int> Toc() {
    std::vector<int> toc;
    if (CR_ReadToc() != CDRIP_OK) return toc;
    for (int i = 0; i <= CR_GetNumTocEntries(); ++i) toc.push_back(CR_GetTocEntry(i).startSector);
    return toc;
  }

  QByteArray Rip(int start, int end) {
    int32_t size = 0, noAbort = 0;
    EXPECT_EQ(CR_OpenRipper(&size, start, end), CDRIP_OK);
    QByteArray pcm, buffer(size, '\0');
    for (int code = CDRIP_OK, guard = 0; code == CDRIP_OK && guard < 1000; ++guard) {
      int32_t bytes = 0;
      code = CR_RipChunk(reinterpret_cast<uint8_t*>(buffer.data()), &bytes, &noAbort);
      EXPECT_NE(code, CDRIP_ERROR);
      pcm += buffer.left(bytes);
    }
    CR_CloseRipper();
    return pcm;
  }

  std::vector<int> Pregaps() {
    std::vector<int> pregaps;
    for (int track = 1; track <= CR_GetNumTocEntries(); ++track)
      pregaps.push_back(CR_GetTrackPregap(track));
    return pregaps;
  }

  std::string Text(int track, int field) {
    char text[64];
    CR_GetSheetText(track, field, text, sizeof text);
    return text;
  }

  std::string Problem(const QString& cue) {
    char message[256] = "unset";
    EXPECT_EQ(CR_CheckImage(cue.toUtf8().constData(), message, sizeof message), CDRIP_ERROR);
    return message;
  }

  TTempFolder Folder;
  TDiscImage Disc;
  std::vector<int> ReferenceToc;
};

TEST_F(CueImage, EveryFileFormOpensWithTheDiscsTocAndRipsItsAudioExactly) {
  // A sheet naming a bin unlike its own name, with CR LF and texts.
  WriteFile(Folder.File("other.bin"), Disc.Pcm);
  const QString named =
      Write("a.cue",
            "REM GENRE Rock\r\nREM DATE 1999\r\nCATALOG 0123456789012\r\n"
            "PERFORMER \"Band\"\r\nTITLE \"Album\"\r\n"
            "FILE \"other.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n"
            "    TITLE \"One\"\r\n    ISRC USABC9900001\r\n"
            "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    INDEX 01 00:01:25\r\n"
            "  TRACK 03 AUDIO\r\n    INDEX 01 00:03:35\r\n");
  // One WAV for the disc, track 2's pregap marked in it by INDEX 00.
  MakeSound("whole.wav", 0, 335);
  const QString wav = Write("wav.cue",
                            "FILE \"whole.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                            " TRACK 02 AUDIO\n  INDEX 00 00:01:05\n  INDEX 01 00:01:25\n"
                            " TRACK 03 AUDIO\n  INDEX 01 00:03:35\n");
  // One FLAC per track, each pregap at the end of the file before.
  MakeSound("1.flac", 0, 100);
  MakeSound("2.flac", 100, 260);
  MakeSound("3.flac", 260, 335);
  const QString flac = Write("flac.cue",
                             "FILE \"1.flac\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                             " TRACK 02 AUDIO\n  INDEX 00 00:01:05\nFILE \"2.flac\" WAVE\n"
                             "  INDEX 01 00:00:00\n TRACK 03 AUDIO\n  INDEX 00 00:02:00\n"
                             "FILE \"3.flac\" WAVE\n  INDEX 01 00:00:00\n");
  // Big-endian samples, named by a Windows path in another case.
  QByteArray swapped = Disc.Pcm;
  for (qsizetype i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  WriteFile(Folder.File("m.bin"), swapped);
  const QString motorola =
      Write("m.cue",
            "FILE \"C:\\Rips\\M.BIN\" MOTOROLA\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
            " TRACK 02 AUDIO\n  INDEX 01 00:01:25\n"
            " TRACK 03 AUDIO\n  INDEX 01 00:03:35\n");

  // Track 2's INDEX 00 at 01:05, track 3's at 02:00 of the 160 sectors of 2.flac.
  const std::vector<std::pair<QString, std::vector<int>>> sheets = {
      {named, {0, 0, 0}}, {wav, {0, 20, 0}}, {flac, {0, 20, 10}}, {motorola, {0, 0, 0}}};
  for (const auto& [cue, pregaps] : sheets) {
    SCOPED_TRACE(cue.toStdString());
    Use(cue);
    EXPECT_EQ(CR_IsUnitReady() & 0xff, 1);
    ASSERT_EQ(Toc(), ReferenceToc);
    EXPECT_EQ(Pregaps(), pregaps);
    EXPECT_EQ(Rip(0, 335), Disc.Pcm);
    EXPECT_EQ(Rip(95, 262), Disc.SectorPcm(95, 262)) << "across two files";
  }
  Use(named);
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  EXPECT_EQ(Text(0, CR_TEXT_TITLE) + "/" + Text(0, CR_TEXT_PERFORMER) + "/" +
                Text(0, CR_TEXT_CODE) + "/" + Text(0, CR_TEXT_GENRE) + "/" + Text(0, CR_TEXT_DATE),
            "Album/Band/0123456789012/Rock/1999");
  EXPECT_EQ(Text(1, CR_TEXT_TITLE) + "/" + Text(1, CR_TEXT_CODE), "One/USABC9900001");
}

TEST_F(CueImage, PlaysAFlacImage) {
  TAlsaFileOutput output;
  MakeSound("1.flac", 0, 100);
  MakeSound("2.flac", 100, 335);
  Use(Write("p.cue",
            "FILE \"1.flac\" FLAC\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
            "FILE \"2.flac\" FLAC\n TRACK 02 AUDIO\n  INDEX 01 00:00:00\n"));
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  ASSERT_EQ(CR_PlaySection(90, 130), CDRIP_OK);
  ASSERT_TRUE(WaitFor([] { return (CR_IsAudioPlaying() & 0xff) == 0x13; }, 20000));
  QByteArray heard = output.Captured();
  while (heard.endsWith('\0')) heard.chop(1);
  EXPECT_TRUE(Disc.SectorPcm(90, 130).startsWith(heard));
  EXPECT_GT(heard.size(), 39 * kSectorBytes);
}

TEST_F(CueImage, Latin1SheetWithPregapReadsAsUtf8AndPlacesTheSilence) {
  WriteFile(Folder.File("Caf\xc3\xa9.bin"), Disc.Pcm);
  // PREGAP is silence the file does not hold: ten sectors before track 2.
  Use(Write("l.cue",
            "TITLE \"Caf\xe9\"\nFILE \"Caf\xe9.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
            " TRACK 02 AUDIO\n  PREGAP 00:00:10\n  INDEX 01 00:01:25\n"));
  EXPECT_EQ(Toc(), (std::vector<int>{0, 110, 345}));
  EXPECT_EQ(Pregaps(), (std::vector<int>{0, 10}));
  EXPECT_EQ(Text(0, CR_TEXT_TITLE), "Caf\xc3\xa9");
  EXPECT_EQ(Rip(0, 345), Disc.SectorPcm(0, 100) + QByteArray(10 * kSectorBytes, '\0') +
                             Disc.SectorPcm(100, 335));
}

// libcdio reads a cdrdao sheet: START marks the first 20 sectors of track 2's
// file as its pregap.
TEST_F(CueImage, ATocSheetStatesItsPregapThroughLibcdio) {
  Use(Write("d.toc", QString("CD_DA\nTRACK AUDIO\nFILE \"%1\" 0 00:01:25\n"
                             "TRACK AUDIO\nFILE \"%1\" 00:01:25 00:02:10\nSTART 00:00:20\n"
                             "TRACK AUDIO\nFILE \"%1\" 00:03:35 00:01:00\n")
                         .arg(Disc.BinPath)
                         .toUtf8()));
  EXPECT_EQ(Toc(), (std::vector<int>{0, 120, 260, 335}));
  EXPECT_EQ(Pregaps(), (std::vector<int>{0, 20, 0}));
}

TEST_F(CueImage, BrokenImagesAreRefusedNamingSheetLineAndFile) {
  const QString missing = Write("disc.cue",
                                "TITLE x\n\nFILE \"Artist - Album.flac\" WAVE\n TRACK 01 AUDIO\n"
                                "  INDEX 01 00:00:00\n");
  EXPECT_EQ(Problem(missing), "disc.cue, line 3: 'Artist - Album.flac' not found");
  Use(missing);
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 0);
  EXPECT_EQ(CR_ReadToc(), CDRIP_ERROR);
  int32_t size = 0;
  EXPECT_EQ(CR_OpenRipper(&size, 0, 10), CDRIP_ERROR);

  MakeSound("hi.wav", 0, 100, "48000");
  const std::string refused =
      Problem(Write("hi.cue", "FILE hi.wav WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"));
  EXPECT_EQ(refused.rfind("hi.cue, line 1: 'hi.wav' is WAV", 0), 0u) << refused;
  EXPECT_NE(refused.find("48000 Hz"), std::string::npos) << refused;

  WriteFile(Folder.File("short.bin"), Disc.SectorPcm(0, 10));
  EXPECT_EQ(Problem(Write("s.cue",
                          "FILE short.bin BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                          " TRACK 02 AUDIO\n  INDEX 01 00:01:00\n")),
            "s.cue, line 1: track 2 starts past the end of 'short.bin'");
  EXPECT_EQ(Problem(Write("empty.cue", "REM nothing\n")), "empty.cue: not a cue sheet with tracks");
}

// Found trying to break the reader: a .bin cut inside its last sector had
// the missing samples made up as silence and counted as read, and a WAVE
// whose header states more audio than it holds lost the rest as a shorter
// track. What a file lacks keeps its place in the TOC and is lost, and said so.
TEST_F(CueImage, WhatADamagedFileLacksIsLostInItsPlace) {
  MakeSound("lie.wav", 0, 40);
  QByteArray wav = ReadFile(Folder.File("lie.wav"));
  const qsizetype data = wav.indexOf("data");
  ASSERT_GT(data, 0);
  const quint32 claimed = 75 * kSectorBytes;
  for (int i = 0; i < 4; ++i) wav[data + 4 + i] = char(claimed >> (8 * i));
  WriteFile(Folder.File("lie.wav"), wav);
  Write("cut.bin", Disc.Pcm.left(334 * kSectorBytes + 1000));
  const struct {
    QString Sheet;
    int Start, End, LeadOut, Read;
  } cases[] = {
      {Write("cut.cue",
             "FILE cut.bin BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
             " TRACK 02 AUDIO\n  INDEX 01 00:01:25\n TRACK 03 AUDIO\n"
             "  INDEX 01 00:03:35\n"),
       260, 335, 335, 74},
      {Write("lie.cue", "FILE lie.wav WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"), 0, 75, 75,
       40},
  };
  for (const auto& c : cases) {
    const std::string context = c.Sheet.toStdString();
    Use(c.Sheet);
    ASSERT_EQ(Toc().back(), c.LeadOut) << context;
    int32_t size = 0, noAbort = 0;
    ASSERT_EQ(CR_OpenRipper(&size, c.Start, c.End), CDRIP_OK) << context;
    QByteArray pcm, buffer(size, '\0');
    for (int code = CDRIP_OK, guard = 0; code != CDRIP_RIPPING_DONE && guard < 1000; ++guard) {
      int32_t bytes = 0;
      code = CR_RipChunk(reinterpret_cast<uint8_t*>(buffer.data()), &bytes, &noAbort);
      pcm += buffer.left(bytes);
    }
    EXPECT_EQ(CR_GetNumberOfLostSectors(), c.End - c.Start - c.Read) << context;
    EXPECT_TRUE(pcm == Disc.SectorPcm(c.Start, c.Start + c.Read) +
                           QByteArray((c.End - c.Start - c.Read) * kSectorBytes, '\0'))
        << context;
    CR_CloseRipper();
  }
}

// Drives of a batch open their images at once; libcue parses one at a time.
TEST_F(CueImage, SheetsOpenedOnSeveralThreadsAtOnceAllRead) {
  std::vector<int> read(4);
  std::vector<std::thread> threads;
  for (int& count : read)
    threads.emplace_back([&count, cue = Disc.CuePath.toStdString()] {
      for (int i = 0; i < 200; ++i) {
        cdrip::TCueImage image;
        std::string error;
        count += image.Open(cue, error) && image.Tracks().size() == 3;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(read, std::vector<int>(4, 200));
}

// A drive's Q sub-channel, as FindPregapStart sees it: track 4 starts at
// 1000 with its pregap from 850; catalogue frames (no track) fall here and
// there, and a read may fail.
TEST(Pregap, TheSearchFindsWhereTheQSubChannelNamesTheNextTrack) {
  struct TCase {
    int32_t PregapStart;
    std::vector<int32_t> Nameless;  // sectors whose Q names no track
  };
  for (const TCase& c : {TCase{850, {}}, TCase{850, {850, 851, 925}}, TCase{1000, {999}},
                         TCase{501, {}}, TCase{700, {700, 701}}}) {
    int reads = 0;
    const auto q = [&](int32_t sector) {
      ++reads;
      if (std::find(c.Nameless.begin(), c.Nameless.end(), sector) != c.Nameless.end()) return -1;
      return sector >= c.PregapStart ? 4 : 3;
    };
    const auto context = testing::Message() << "pregap from " << c.PregapStart;
    EXPECT_EQ(cdrip::FindPregapStart(500, 1000, 4, q), c.PregapStart) << context;
    EXPECT_LT(reads, 40) << context;
  }
  // A drive that reads no Q at all: no pregap, rather than a made-up one.
  EXPECT_EQ(cdrip::FindPregapStart(500, 1000, 4, [](int32_t) { return -1; }), 1000);
}

}  // namespace
