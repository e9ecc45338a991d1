// The CD-reading library through its C interface, on generated disc images
// listed in a cdrip.ini, with the faults that ini injects.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CdripFixture.h"
#include "common/SoundOutput.h"
#include "libs/cdrip/DiscRules.h"

using namespace testutil;

namespace {

TEST_F(Cdrip, ListsImagesAfterPhysicalDrivesAndReadsTheirToc) {
  const QString second = MakeDiscImage(Folder.File("discs"), "other", {80, 90}).CuePath;
  const int first = Start({}, {Image.CuePath, QDir(Folder.Path()).relativeFilePath(second)});
  EXPECT_EQ(CR_GetActiveCDROM(), first);
  EXPECT_STREQ(Params().driveName, "disc.cue (image)");

  ASSERT_EQ(CR_IsUnitReady() & 0xff, 1);
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  ASSERT_EQ(CR_GetNumTocEntries(), 3);
  for (int i = 0; i <= 3; ++i) {
    const CdripTocEntry entry = CR_GetTocEntry(i);
    EXPECT_EQ(entry.startSector, Image.Starts[size_t(i)]) << "entry " << i;
    EXPECT_EQ(entry.flags, 0x10) << "entry " << i;
    if (i < 3) {
      EXPECT_EQ(entry.trackNumber, i + 1);
    }
  }

  // The relative path resolves against the ini's folder.
  ASSERT_EQ(CR_SetActiveCDROM(first + 1), CDRIP_OK);
  EXPECT_STREQ(Params().driveName, "other.cue (image)");
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  EXPECT_EQ(CR_GetNumTocEntries(), 2);
  EXPECT_EQ(CR_GetTocEntry(2).startSector, 170);

  EXPECT_EQ(CR_SetActiveCDROM(first + 2), CDRIP_ERROR);
  EXPECT_EQ(CR_SetActiveCDROM(-1), CDRIP_ERROR);
  EXPECT_EQ(CR_GetActiveCDROM(), first + 1);
}

TEST_F(Cdrip, RipsTheImagePcmExactlyWithAndWithoutParanoia) {
  Start();
  for (int jitterCorrection : {-1, 0}) {
    CdripDriveParams params = Params();
    params.jitterCorrection = jitterCorrection;
    ASSERT_EQ(CR_SetCDROMParameters(&params), CDRIP_OK);
    const TRip rip = Rip(90, 270);
    EXPECT_EQ(rip.BufferSize % kSectorBytes, 0);
    EXPECT_EQ(rip.Pcm, Image.SectorPcm(90, 270)) << "jitter correction " << jitterCorrection;
    EXPECT_EQ(rip.Codes.back(), CDRIP_RIPPING_DONE);
    EXPECT_GT(rip.ChunkBytes.back(), 0) << "the last chunk carries data with code 4";
    EXPECT_EQ(CR_GetPercentCompleted(), 100);
    EXPECT_EQ(CR_GetNumberOfJitterErrors(), 0);
    std::vector<uint8_t> status(180);
    int32_t first = 0, count = 0;
    ASSERT_EQ(CR_GetSectorStatus(&first, status.data(), 180, &count), CDRIP_OK);
    EXPECT_TRUE(std::all_of(status.begin(), status.end(), [](uint8_t s) {
      return s == CDRIP_SECTOR_CLEAN || s == CDRIP_SECTOR_CORRECTED;
    })) << "a healthy image reads clean";
    CR_CloseRipper();
  }
}

TEST_F(Cdrip, HonoursOffsetsAndChannelSwap) {
  Start();
  CdripDriveParams params = Params();
  params.startOffset = 10;
  params.endOffset = -5;
  params.swapChannels = 1;
  ASSERT_EQ(CR_SetCDROMParameters(&params), CDRIP_OK);
  const TRip rip = Rip(50, 150);

  QByteArray expected = Image.SectorPcm(60, 145);
  auto* samples = reinterpret_cast<int16_t*>(expected.data());
  for (qsizetype i = 0; i + 1 < expected.size() / 2; i += 2) std::swap(samples[i], samples[i + 1]);
  EXPECT_EQ(rip.Pcm, expected);
  // The audio cut off both ends is said to be left out.
  EXPECT_EQ(CR_GetNumberOfLeftOutSectors(), 15);
  CR_CloseRipper();

  // Offsets never reach outside the disc.
  params.startOffset = -30;
  params.endOffset = 30;
  params.swapChannels = 0;
  ASSERT_EQ(CR_SetCDROMParameters(&params), CDRIP_OK);
  EXPECT_EQ(Rip(0, 335).Pcm, Image.Pcm);
  EXPECT_EQ(CR_GetNumberOfLeftOutSectors(), 0);
  CR_CloseRipper();

  // What the offsets cut is read: silence (here 55 to 59) is no loss.
  QByteArray quiet = Image.Pcm;
  quiet.replace(55 * kSectorBytes, 5 * kSectorBytes, QByteArray(5 * kSectorBytes, '\0'));
  WriteFile(Image.BinPath, quiet);
  params.startOffset = 5;
  params.endOffset = 0;
  ASSERT_EQ(CR_SetCDROMParameters(&params), CDRIP_OK);
  EXPECT_EQ(Rip(55, 150).Pcm, Image.SectorPcm(60, 150));
  EXPECT_EQ(CR_GetNumberOfLeftOutSectors(), 0);
  CR_CloseRipper();
}

// With a read offset of +N, sample i of a rip is sample i + N of the disc:
// the disc's audio moved, read across track boundaries, silence beyond its
// edges; through the cue back end and through paranoia (a cdrdao sheet).
TEST_F(Cdrip, ReadOffsetMovesTheAudioAcrossTracksWithSilenceBeyondTheDisc) {
  const QString toc = WriteTocSheet(Image, "disc", {{0, 100}, {100, 160}, {260, 75}});
  const int first = Start({}, {Image.CuePath, toc});
  const int64_t discSamples = Image.Pcm.size() / 4;
  auto shifted = [&](int startSector, int endSector, int offset) {
    QByteArray pcm(qsizetype(endSector - startSector) * kSectorBytes, '\0');
    for (int64_t i = 0; i < pcm.size() / 4; ++i) {
      const int64_t at = int64_t(startSector) * 588 + i + offset;
      if (at >= 0 && at < discSamples)
        std::memcpy(pcm.data() + i * 4, Image.Pcm.constData() + at * 4, 4);
    }
    return pcm;
  };
  EXPECT_EQ(CR_SetReadOffset(3001), CDRIP_ERROR);
  EXPECT_EQ(CR_SetReadOffset(-3001), CDRIP_ERROR);
  for (int drive : {first, first + 1}) {
    ASSERT_EQ(CR_SetActiveCDROM(drive), CDRIP_OK);
    for (int offset : {667, -667, 3000, -3000}) {
      ASSERT_EQ(CR_SetReadOffset(offset), CDRIP_OK);
      QByteArray disc;
      for (int track = 0; track < 3; ++track) {
        const int start = Image.Starts[size_t(track)], end = Image.Starts[size_t(track) + 1];
        const TRip rip = Rip(start, end);
        CR_CloseRipper();
        const QByteArray expected = shifted(start, end, offset);
        ASSERT_EQ(rip.Pcm.size(), expected.size()) << "drive " << drive << " offset " << offset;
        // The first mismatching sample names where it went wrong.
        const auto [mine, theirs] = std::mismatch(rip.Pcm.begin(), rip.Pcm.end(), expected.begin());
        EXPECT_EQ(mine, rip.Pcm.end()) << "drive " << drive << " offset " << offset << " track "
                                       << track + 1 << " sample " << (mine - rip.Pcm.begin()) / 4;
        EXPECT_EQ(rip.Codes.back(), CDRIP_RIPPING_DONE);
        EXPECT_EQ(CR_GetNumberOfLostSectors(), 0);
        disc += rip.Pcm;
      }
      // The tracks join into the moved disc: nothing lost or doubled at a boundary.
      EXPECT_EQ(disc, shifted(0, 335, offset)) << "drive " << drive << " offset " << offset;
      EXPECT_NE(disc.left(4 * 3000), Image.Pcm.left(4 * 3000));
    }
  }
  ASSERT_EQ(CR_SetReadOffset(0), CDRIP_OK);
  EXPECT_EQ(Rip(0, 335).Pcm, Image.Pcm);
  CR_CloseRipper();
}

TEST_F(Cdrip, RefusesRangesOutsideTheDisc) {
  Start();
  int32_t bufferSize = 0;
  EXPECT_EQ(CR_OpenRipper(&bufferSize, 0, 336), CDRIP_ERROR);
  EXPECT_EQ(CR_OpenRipper(&bufferSize, 20, 10), CDRIP_ERROR);
  EXPECT_EQ(CR_OpenRipper(&bufferSize, -1, 10), CDRIP_ERROR);
  uint8_t buffer[16];
  int32_t bytes = 7, noAbort = 0;
  EXPECT_EQ(CR_RipChunk(buffer, &bytes, &noAbort), CDRIP_ERROR) << "no ripper is open";
  EXPECT_EQ(bytes, 0);

  // An empty range opens and is done at once.
  const TRip empty = Rip(100, 100);
  EXPECT_EQ(empty.Codes, std::vector<int>{CDRIP_RIPPING_DONE});
  EXPECT_TRUE(empty.Pcm.isEmpty());
  CR_CloseRipper();
}

TEST_F(Cdrip, UnreadableSectorsAreSilenceInTheirChunkAndTheRipGoesOn) {
  Start("[Image0]\r\nUnreadableSectors=40-41\r\n");
  const TRip rip = Rip(0, 100);
  const int chunkSectors = rip.BufferSize / kSectorBytes;
  const int failed = 40 / chunkSectors;
  ASSERT_GT(int(rip.Codes.size()), failed);
  EXPECT_EQ(rip.Codes[size_t(failed)], CDRIP_ERROR);
  EXPECT_EQ(rip.ChunkBytes[size_t(failed)], rip.BufferSize);
  EXPECT_EQ(rip.Pcm,
            Image.SectorPcm(0, 40) + QByteArray(2 * kSectorBytes, '\0') + Image.SectorPcm(42, 100));
  EXPECT_EQ(rip.Codes.back(), CDRIP_RIPPING_DONE);
  int32_t first = 0, last = 0;
  ASSERT_EQ(CR_GetLastJitterErrorPosition(&first, &last), CDRIP_OK);
  EXPECT_EQ(std::make_pair(first, last), std::make_pair(40, 41));
  EXPECT_EQ(CR_GetNumberOfLostSectors(), 2);
  EXPECT_EQ(CR_GetNumberOfJitterErrors(), 1);
  CR_CloseRipper();
}

// An image whose audio file is shorter than its sheet says: the reader hands
// back sectors it never read, silently or with a skip, and a track that is
// not there at all kept it retrying for ever.
TEST_F(Cdrip, SectorsMissingFromTheImageFileAreLostAsSilenceInBothModes) {
  // disc.bin holds 335 sectors.
  const QString beyond = WriteTocSheet(Image, "beyond", {{0, 100}, {100, 160}, {260, 115}});
  const QString missing = WriteTocSheet(Image, "missing", {{0, 100}, {100, 160}, {400, 75}});
  const QByteArray silence(40 * kSectorBytes, '\0');
  const struct {
    QString Sheet;
    int Start, End;
    qint64 CutTo;  // the .bin's size once the ripper is open, -1 to leave it
    QByteArray Pcm;
    int Lost;
  } cases[] = {
      {beyond, 260, 375, -1, Image.SectorPcm(260, 335) + silence, 40},
      {missing, 400, 475, -1, QByteArray(75 * kSectorBytes, '\0'), 75},
      {Image.CuePath, 100, 260, 220 * kSectorBytes, Image.SectorPcm(100, 220) + silence, 40},
  };
  for (const auto& c : cases) {
    for (int jitterCorrection : {-1, 0}) {
      const QString context = QString("%1 [%2, %3) jitter correction %4")
                                  .arg(QFileInfo(c.Sheet).fileName())
                                  .arg(c.Start)
                                  .arg(c.End)
                                  .arg(jitterCorrection);
      WriteFile(Image.BinPath, Image.Pcm);
      Start({}, {c.Sheet});
      CdripDriveParams params = Params();
      params.jitterCorrection = jitterCorrection;
      ASSERT_EQ(CR_SetCDROMParameters(&params), CDRIP_OK);
      const TRip rip = Rip(c.Start, c.End, [&] {
        if (c.CutTo >= 0) {
          ASSERT_TRUE(QFile::resize(Image.BinPath, c.CutTo));
        }
      });
      EXPECT_TRUE(rip.Pcm == c.Pcm) << context.toStdString();
      EXPECT_EQ(CR_GetNumberOfLostSectors(), c.Lost) << context.toStdString();
      EXPECT_EQ(rip.Codes.back(), CDRIP_RIPPING_DONE);
      EXPECT_NE(std::find(rip.Codes.begin(), rip.Codes.end(), CDRIP_ERROR), rip.Codes.end());
      int32_t first = 0, last = 0;
      ASSERT_EQ(CR_GetLastJitterErrorPosition(&first, &last), CDRIP_OK);
      EXPECT_EQ(last, c.End - 1) << context.toStdString();
      // Per sector: every lost one, and only those, at the end of the range.
      int32_t count = 0;
      std::vector<uint8_t> status(size_t(c.End - c.Start), CDRIP_SECTOR_UNREAD);
      ASSERT_EQ(CR_GetSectorStatus(&first, status.data(), int32_t(status.size()), &count),
                CDRIP_OK);
      EXPECT_EQ(std::make_pair(first, count), std::make_pair(c.Start, c.End - c.Start));
      const auto firstLost = status.end() - c.Lost;
      EXPECT_EQ(std::count(firstLost, status.end(), CDRIP_SECTOR_LOST), c.Lost)
          << context.toStdString();
      EXPECT_TRUE(std::none_of(status.begin(), firstLost, [](uint8_t s) {
        return s == CDRIP_SECTOR_LOST || s == CDRIP_SECTOR_UNREAD;
      })) << context.toStdString();
      CR_CloseRipper();
    }
  }
}

// Found trying to break the reader: once a rip gave up a slow spot just
// past its track, the zeros it made up were taken as read (the track written
// as silence, all clean); without jitter correction a sector that failed once
// was never asked for again, and it and the rest of its read were lost.
TEST_F(Cdrip, EverySectorNoReadDeliveredIsLostAndCountedWhateverTheMode) {
  const QString toc = WriteTocSheet(Image, "disc-toc", {{0, 100}, {100, 160}, {260, 75}});
  const struct {
    QString Faults;
    int32_t JitterCorrection;
    bool Lost;
  } cases[] = {
      {"UnreadableSectors=100\r\nReadErrorDelay=1500\r\nGiveUpAfter=1", -1, true},
      {"FlakySectors=20-25", 0, false},
  };
  for (const QString& sheet : {Image.CuePath, toc}) {
    for (const auto& c : cases) {
      const std::string context = (c.Faults + " in " + QFileInfo(sheet).fileName()).toStdString();
      Start("[Image0]\r\n" + c.Faults + "\r\n", {sheet});
      SetJitterCorrection(c.JitterCorrection);
      const TRip rip = Rip(0, 100);
      const std::vector<uint8_t> status = SectorStatus();
      ASSERT_EQ(rip.Pcm.size(), 100 * kSectorBytes) << context;
      int lost = 0;
      for (int i = 0; i < 100; ++i) {
        const bool isLost = status[size_t(i)] == CDRIP_SECTOR_LOST;
        lost += isLost;
        EXPECT_TRUE(rip.Pcm.mid(i * kSectorBytes, kSectorBytes) ==
                    (isLost ? QByteArray(kSectorBytes, '\0') : Image.SectorPcm(i, i + 1)))
            << context << " sector " << i;
      }
      EXPECT_EQ(CR_GetNumberOfLostSectors(), lost) << context;
      EXPECT_EQ(lost > 0, c.Lost) << context;
      CR_CloseRipper();
    }
  }
}

TEST_F(Cdrip, JitterSectorsReportCodeThreeWithTheirPositionAndKeepTheData) {
  Start("[Image0]\r\nJitterSectors=5-6, 250\r\n");
  int32_t bufferSize = 0;
  ASSERT_EQ(CR_OpenRipper(&bufferSize, 0, 300), CDRIP_OK);
  QByteArray buffer(bufferSize, '\0'), pcm;
  std::vector<std::pair<int, int>> positions;
  int code = CDRIP_OK;
  while (code != CDRIP_RIPPING_DONE) {
    int32_t bytes = 0, noAbort = 0;
    code = CR_RipChunk(reinterpret_cast<uint8_t*>(buffer.data()), &bytes, &noAbort);
    pcm += buffer.left(bytes);
    if (code == CDRIP_JITTER_ERROR) {
      int32_t first = 0, last = 0;
      ASSERT_EQ(CR_GetLastJitterErrorPosition(&first, &last), CDRIP_OK);
      positions.emplace_back(first, last);
    }
  }
  EXPECT_EQ(positions, (std::vector<std::pair<int, int>>{{5, 6}, {250, 250}}));
  EXPECT_EQ(CR_GetNumberOfJitterErrors(), 2);
  EXPECT_EQ(pcm, Image.SectorPcm(0, 300));
  // The sector map shows them where they are, and only them.
  std::vector<uint8_t> status(300);
  int32_t first = 0, count = 0;
  ASSERT_EQ(CR_GetSectorStatus(&first, status.data(), 300, &count), CDRIP_OK);
  for (int sector = 0; sector < 300; ++sector)
    EXPECT_EQ(status[size_t(sector)], sector == 5 || sector == 6 || sector == 250
                                          ? CDRIP_SECTOR_CORRECTED
                                          : CDRIP_SECTOR_CLEAN)
        << "sector " << sector;
  CR_CloseRipper();
}

// Paranoia may also re-read the neighbours of a failed read.
TEST_F(Cdrip, EachSectorsStatusSaysWhatItsReadsMetInBothBackEnds) {
  const QString toc = WriteTocSheet(Image, "disc-toc", {{0, 100}, {100, 160}, {260, 75}});
  for (const QString& sheet : {Image.CuePath, toc}) {
    Start("[Image0]\r\nFlakySectors=20-21\r\nUnreadableSectors=40\r\nJitterSectors=60\r\n",
          {sheet});
    QByteArray expected = Image.SectorPcm(0, 100);
    expected.replace(40 * kSectorBytes, kSectorBytes, QByteArray(kSectorBytes, '\0'));
    EXPECT_TRUE(Rip(0, 100).Pcm == expected) << sheet.toStdString();
    std::vector<uint8_t> status(100);
    int32_t first = 0, count = 0;
    ASSERT_EQ(CR_GetSectorStatus(&first, status.data(), 100, &count), CDRIP_OK);
    for (int sector = 0; sector < 100; ++sector) {
      const uint8_t s = status[size_t(sector)];
      const auto context = testing::Message() << sheet.toStdString() << " sector " << sector;
      if (sector == 20 || sector == 21)
        EXPECT_EQ(s, CDRIP_SECTOR_REREAD) << context;
      else if (sector == 40)
        EXPECT_EQ(s, CDRIP_SECTOR_LOST) << context;
      else if (sector == 60)
        EXPECT_EQ(s, CDRIP_SECTOR_CORRECTED) << context;
      else
        EXPECT_TRUE(s != CDRIP_SECTOR_LOST && s != CDRIP_SECTOR_UNREAD) << context;
    }
    CR_CloseRipper();
  }
}

TEST_F(Cdrip, ReadinessFollowsTheIniWhileRunning) {
  Start();
  ASSERT_EQ(CR_IsUnitReady() & 0xff, 1);

  SetFaults("[Image0]\r\nNotReady=1\r\n");
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 0);
  EXPECT_EQ(CR_ReadToc(), CDRIP_ERROR);
  EXPECT_EQ(CR_GetNumTocEntries(), 0);
  int32_t bufferSize = 0;
  EXPECT_EQ(CR_OpenRipper(&bufferSize, 0, 10), CDRIP_ERROR);

  SetFaults("[Image0]\r\nNotReady=0\r\n");
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 1);
  EXPECT_EQ(CR_ReadToc(), CDRIP_OK);

  // Another disc in the same drive.
  const TDiscImage other = MakeDiscImage(Folder.File("discs"), "swap", {30, 30, 30, 30});
  WriteCdripIni(IniPath, {other.CuePath});
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  EXPECT_EQ(CR_GetNumTocEntries(), 4);

  // A missing or corrupt image is an empty drive, not a crash.
  QFile::remove(other.CuePath);
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 0);
  WriteFile(other.CuePath, "FILE \"nowhere.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n  INDEX 01 xx\r\n");
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 0);
  EXPECT_EQ(CR_ReadToc(), CDRIP_ERROR);
}

// Names come without selecting a drive. A closed image leaves the list and
// the ini, the later ones moving down a number with their sections (b's
// GiveUpAfter goes, c's NotReady follows c), the active drive stays; a rip
// or a play refuses the close.
TEST_F(Cdrip, ClosedImagesLeaveTheListAndTheIniInOrder) {
  const QString b = MakeDiscImage(Folder.File("discs"), "b", {80}).CuePath;
  const QString c = MakeDiscImage(Folder.File("discs"), "c", {90}).CuePath;
  const int first =
      Start("[Image1]\r\nGiveUpAfter=7\r\n[Image2]\r\nNotReady=1\r\n", {Image.CuePath, b, c});
  const auto name = [](int index, int32_t size = 256) {
    char text[256] = "x";
    const int32_t result = CR_GetDriveName(index, text, size);
    return QString::number(result) + ' ' + text + ' ' + QString::number(CR_IsImageDrive(index));
  };
  EXPECT_EQ(name(first + 2), "0 c.cue (image) 1");
  EXPECT_EQ(name(first, 5), "0 disc 1");
  EXPECT_EQ(name(first + 3), "1  0");
  EXPECT_EQ(CR_GetActiveCDROM(), first);

  char message[256] = "";
  int32_t bufferSize = 0;
  ASSERT_EQ(CR_OpenRipper(&bufferSize, 0, 10), CDRIP_OK);
  EXPECT_EQ(CR_RemoveImage(first + 1, message, sizeof message), CDRIP_ERROR);
  EXPECT_STREQ(message, "a rip is open");
  CR_CloseRipper();
  ASSERT_EQ(CR_PlaySection(0, 75), CDRIP_OK);
  EXPECT_EQ(CR_RemoveImage(first, message, sizeof message), CDRIP_ERROR);
  EXPECT_STREQ(message, "the drive is playing");
  CR_StopPlayTrack();
  EXPECT_EQ(CR_RemoveImage(first + 3, message, sizeof message), CDRIP_ERROR);

  ASSERT_EQ(CR_SetActiveCDROM(first + 2), CDRIP_OK);
  ASSERT_EQ(CR_RemoveImage(first + 1, message, sizeof message), CDRIP_OK) << message;
  EXPECT_EQ(CR_GetNumCDROM(), first + 2);
  EXPECT_EQ(CR_GetActiveCDROM(), first + 1);
  EXPECT_EQ(name(first + 1), "0 c.cue (image) 1");
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 0);
  const QByteArray ini = ReadFile(IniPath);
  EXPECT_TRUE(ini.contains("Image1=" + c.toUtf8() + "\r\n")) << ini.toStdString();
  EXPECT_FALSE(ini.contains("Image2") || ini.contains("GiveUpAfter")) << ini.toStdString();

  // The active drive closed: the one before it takes its place.
  ASSERT_EQ(CR_RemoveImage(first + 1, message, sizeof message), CDRIP_OK) << message;
  EXPECT_EQ(CR_GetActiveCDROM(), first);
  ASSERT_EQ(CR_Init(IniPath.toUtf8().constData()), CDRIP_OK);
  EXPECT_EQ(CR_GetNumCDROM(), first + 1);
  EXPECT_EQ(name(first), "0 disc.cue (image) 1");
}

TEST_F(Cdrip, TrayOpensClosesAndCanFail) {
  Start();
  EXPECT_NE(CR_EjectCD(1), 0);
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 0) << "an open tray holds no disc";
  EXPECT_NE(CR_EjectCD(0), 0);
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 1);

  SetFaults("[Image0]\r\nEjectFails=1\r\n");
  EXPECT_EQ(CR_EjectCD(1), 0);
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 1);

  // A running rip keeps the tray shut.
  SetFaults({});
  int32_t bufferSize = 0;
  ASSERT_EQ(CR_OpenRipper(&bufferSize, 0, 100), CDRIP_OK);
  EXPECT_EQ(CR_EjectCD(1), 0);
  CR_CloseRipper();
  EXPECT_NE(CR_EjectCD(1), 0);

  // Only a person closes the tray of an ejected image drive: NotReady going
  // from 1 to 0, or a new image, is the tray closed over a disc.
  SetFaults({});
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 0);
  SetFaults("[Image0]\r\nNotReady=1\r\n");
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 0);  // a look between the two, as a poll takes
  SetFaults("[Image0]\r\nNotReady=0\r\n");
  EXPECT_EQ(CR_IsUnitReady() & 0xff, 1);
  EXPECT_NE(CR_EjectCD(1), 0);
  const TDiscImage other = MakeDiscImage(Folder.File("discs"), "next", {30, 30});
  WriteCdripIni(IniPath, {other.CuePath});
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  EXPECT_EQ(CR_GetNumTocEntries(), 2);
}

TEST_F(Cdrip, ADriveAnotherThreadRipsIsRefusedAtOnce) {
  Start();
  const int32_t drive = CR_GetActiveCDROM();
  std::promise<void> opened, done;
  std::thread other([&] {
    int32_t bufferSize = 0;
    EXPECT_EQ(CR_SetActiveCDROM(drive), CDRIP_OK);
    EXPECT_EQ(CR_OpenRipper(&bufferSize, 0, 100), CDRIP_OK);
    opened.set_value();
    done.get_future().wait();
    CR_CloseRipper();
  });
  opened.get_future().wait();
  int32_t bufferSize = 0;
  EXPECT_EQ(CR_OpenRipper(&bufferSize, 0, 100), CDRIP_ERROR);
  EXPECT_EQ(CR_EjectCD(1), 0);
  done.set_value();
  other.join();
  ASSERT_EQ(CR_OpenRipper(&bufferSize, 0, 100), CDRIP_OK);
  CR_CloseRipper();
}

TEST_F(Cdrip, ImagePlaybackRunsOnARealTimeClock) {
  Start();
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  EXPECT_EQ(CR_IsAudioPlaying() & 0xff, 0x15);

  ASSERT_EQ(CR_PlayTrack(2), CDRIP_OK);
  EXPECT_EQ(CR_IsAudioPlaying() & 0xff, 0x11);
  int32_t relative = -1, absolute = -1;
  ASSERT_TRUE(WaitFor([&] {
    CR_GetPlayPosition(&relative, &absolute);
    return relative >= 8;
  }));
  EXPECT_EQ(absolute, 100 + relative);

  ASSERT_EQ(CR_PauseCD(1), CDRIP_OK);
  EXPECT_EQ(CR_IsAudioPlaying() & 0xff, 0x12);
  int32_t pausedRelative = 0, pausedAbsolute = 0;
  CR_GetPlayPosition(&pausedRelative, &pausedAbsolute);
  WaitFor([] { return false; }, 120);
  CR_GetPlayPosition(&relative, &absolute);
  EXPECT_EQ(absolute, pausedAbsolute) << "the clock stands while paused";

  ASSERT_EQ(CR_PauseCD(0), CDRIP_OK);
  EXPECT_EQ(CR_IsAudioPlaying() & 0xff, 0x11);
  ASSERT_TRUE(WaitFor([&] {
    CR_GetPlayPosition(&relative, &absolute);
    return absolute > pausedAbsolute;
  }));

  ASSERT_EQ(CR_StopPlayTrack(), CDRIP_OK);
  EXPECT_EQ(CR_IsAudioPlaying() & 0xff, 0x15);

  // A section of 6 sectors (80 ms) plays to its end.
  ASSERT_EQ(CR_PlaySection(300, 306), CDRIP_OK);
  EXPECT_TRUE(WaitFor([] { return (CR_IsAudioPlaying() & 0xff) == 0x13; }));
  CR_GetPlayPosition(&relative, &absolute);
  EXPECT_EQ(absolute, 306);

  EXPECT_EQ(CR_PlayTrack(9), CDRIP_ERROR);
}

int32_t PlayedSectors() {
  int32_t relative = -1, absolute = -1;
  CR_GetPlayPosition(&relative, &absolute);
  return relative;
}

bool PlayEnded() { return (CR_IsAudioPlaying() & 0xff) == 0x13; }

TEST_F(Cdrip, ImagePlaybackSendsTheImageSoundInStepWithTheClock) {
  TAlsaFileOutput output;
  Start();
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  ASSERT_EQ(CR_PlayTrack(3), CDRIP_OK);
  ASSERT_TRUE(WaitFor([] { return PlayedSectors() >= 10; }));
  // The sound runs at most its short lead ahead of the clock.
  const qsizetype sent = output.Captured().size();
  EXPECT_LE(sent / kSectorBytes, PlayedSectors() + 16);
  ASSERT_TRUE(WaitFor(PlayEnded, 20000));
  EXPECT_TRUE(StartsWithThenSilence(output.Captured(), Image.TrackPcm(3)));

  // Paused and resumed, nothing is lost or repeated.
  ASSERT_EQ(CR_PlayTrack(1), CDRIP_OK);
  ASSERT_TRUE(WaitFor([] { return PlayedSectors() >= 10; }));
  ASSERT_EQ(CR_PauseCD(1), CDRIP_OK);
  ASSERT_EQ(CR_PauseCD(0), CDRIP_OK);
  ASSERT_TRUE(WaitFor(PlayEnded, 20000));
  EXPECT_TRUE(StartsWithThenSilence(output.Captured(), Image.TrackPcm(1)));

  // A seek starts a new stream at the new position.
  ASSERT_EQ(CR_PlayTrack(2), CDRIP_OK);
  ASSERT_TRUE(WaitFor([] { return PlayedSectors() >= 5; }));
  ASSERT_EQ(CR_PlaySection(180, 260), CDRIP_OK);
  ASSERT_TRUE(WaitFor(PlayEnded, 20000));
  EXPECT_TRUE(StartsWithThenSilence(output.Captured(), Image.SectorPcm(180, 260)));

  // Stop ends the sound at once: what arrived is the start of the track.
  ASSERT_EQ(CR_PlayTrack(2), CDRIP_OK);
  ASSERT_TRUE(WaitFor([] { return PlayedSectors() >= 5; }));
  ASSERT_EQ(CR_StopPlayTrack(), CDRIP_OK);
  EXPECT_EQ(CR_IsAudioPlaying() & 0xff, 0x15);
  QByteArray heard = output.Captured();
  while (heard.endsWith('\0')) heard.chop(1);
  EXPECT_LT(heard.size(), Image.TrackPcm(2).size());
  EXPECT_TRUE(Image.TrackPcm(2).startsWith(heard));
}

TEST_F(Cdrip, PlaybackCommandsReturnAtOnceWhileTheSoundServerStalls) {
  TPulseServer server;
  ASSERT_TRUE(server.Ok()) << server.Log().toStdString();
  Start();
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  ASSERT_EQ(CR_PlayTrack(1), CDRIP_OK);
  ASSERT_TRUE(WaitFor([] { return PlayedSectors() >= 10; }));
  server.Freeze(true);
  // The server runs again after a while, so a command that waits on it fails
  // the test instead of hanging it.
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::thread watchdog([&] {
    std::unique_lock lock(mutex);
    done.wait_for(lock, std::chrono::seconds(6), [&] { return finished; });
    server.Freeze(false);
  });
  const auto timed = [](const char* what, const std::function<int32_t()>& command) {
    const auto before = std::chrono::steady_clock::now();
    command();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - before);
    EXPECT_LT(took.count(), 1000) << what;
  };
  ASSERT_TRUE(WaitFor([] { return PlayedSectors() >= 40; }));
  timed("seek", [] { return CR_PlaySection(120, 200); });
  timed("stop", [] { return CR_StopPlayTrack(); });
  EXPECT_EQ(CR_IsAudioPlaying() & 0xff, 0x15);
  ASSERT_EQ(CR_PlayTrack(2), CDRIP_OK);
  timed("eject", [] { return CR_EjectCD(1); });
  ASSERT_EQ(CR_EjectCD(0), 1);
  ASSERT_EQ(CR_PlayTrack(3), CDRIP_OK);
  const std::string ini = IniPath.toStdString();
  timed("restart", [&] { return CR_Init(ini.c_str()); });
  {
    std::lock_guard lock(mutex);
    finished = true;
  }
  done.notify_all();
  watchdog.join();
}

TEST_F(Cdrip, WithoutASoundDeviceImagePlaybackStillRunsItsClock) {
  TTempFolder alsa;
  TAlsaConfig config(alsa.Path(), "pcm.!default { type hw card 99 }\n");
  Start();
  ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
  ASSERT_EQ(CR_PlaySection(300, 320), CDRIP_OK);
  EXPECT_EQ(CR_IsAudioPlaying() & 0xff, 0x11);
  ASSERT_TRUE(WaitFor(PlayEnded, 20000));
  EXPECT_EQ(PlayedSectors(), 320 - 260);  // into track 3
}

TEST_F(Cdrip, SavesParametersAndKeepsTheRestOfTheIni) {
  const int first = Start("; kept comment\r\n[Image0]\r\nJitterSectors=3\r\n[Other]\r\nx=1\r\n");
  CdripDriveParams params = Params();
  params.startOffset = 7;
  params.speed = 8;
  params.jitterCorrection = 0;
  params.lockTray = -1;
  std::strcpy(params.driveName, "renamed");
  ASSERT_EQ(CR_SetCDROMParameters(&params), CDRIP_OK);
  EXPECT_STREQ(Params().driveName, "disc.cue (image)") << "the drive keeps its own name";
  ASSERT_EQ(CR_SaveSettings(), CDRIP_OK);

  const QByteArray ini = ReadFile(IniPath);
  EXPECT_TRUE(ini.contains("; kept comment\r\n"));
  EXPECT_TRUE(ini.contains("JitterSectors=3\r\n"));
  EXPECT_TRUE(ini.contains("[Other]\r\nx=1\r\n"));
  EXPECT_TRUE(ini.contains("nActive=" + QByteArray::number(first)));
  EXPECT_FALSE(QDir(Folder.Path()).entryList().join(' ').contains(".tmp"));

  ASSERT_EQ(CR_Init(IniPath.toUtf8().constData()), CDRIP_OK);
  EXPECT_EQ(CR_GetActiveCDROM(), first);
  const CdripDriveParams loaded = Params();
  EXPECT_EQ(loaded.startOffset, 7);
  EXPECT_EQ(loaded.speed, 8);
  EXPECT_EQ(loaded.jitterCorrection, 0);
  EXPECT_EQ(loaded.lockTray, -1);
}

// Found by fuzzing: a save cut every untouched line at a stray NUL byte.
TEST_F(Cdrip, SaveWritesUntouchedLinesWhole) {
  const QByteArray odd("[Other]\r\nx=a\0b\r\n", 15);
  Start(odd);
  ASSERT_EQ(CR_SaveSettings(), CDRIP_OK);
  EXPECT_TRUE(ReadFile(IniPath).contains(odd));
}

// Found by fuzzing: libcdio ended the process for an image path naming a
// folder, which a listed path with a NUL byte also gave (the ini's folder).
TEST_F(Cdrip, AnImagePathNamingAFolderIsNoDisc) {
  for (const QByteArray& listed : {QByteArray("discs"), QByteArray("\0\0mo.cue", 7)}) {
    WriteFile(IniPath, "[CD-ROM]\r\n[Images]\r\nImage0=" + listed + "\r\n");
    ASSERT_EQ(CR_Init(IniPath.toUtf8().constData()), CDRIP_OK);
    ASSERT_EQ(CR_SetActiveCDROM(CR_GetNumCDROM() - 1), CDRIP_OK);
    EXPECT_EQ(CR_IsUnitReady(), 0);
    EXPECT_EQ(CR_ReadToc(), CDRIP_ERROR);
  }
}

TEST_F(Cdrip, StartsWithoutAnIniAndFailsOnlyWithoutAPath) {
  EXPECT_EQ(CR_Init(Folder.File("missing/cdrip.ini").toUtf8().constData()), CDRIP_OK);
  // Without an ini only physical drives are listed; an image adds exactly one.
  const int physical = CR_GetNumCDROM();
  for (int i = 0; i < physical; ++i) {
    ASSERT_EQ(CR_SetActiveCDROM(i), CDRIP_OK);
    EXPECT_EQ(std::string(Params().driveName).find("(image)"), std::string::npos);
  }
  Start();
  EXPECT_EQ(CR_GetNumCDROM(), physical + 1);
  ASSERT_EQ(CR_Init(Folder.File("missing/cdrip.ini").toUtf8().constData()), CDRIP_OK);
  EXPECT_EQ(CR_SaveSettings(), CDRIP_ERROR) << "its folder does not exist";
  EXPECT_EQ(CR_Init(""), CDRIP_ERROR);
  EXPECT_EQ(CR_Init(nullptr), CDRIP_ERROR);
}

// The user's copy of the program folder's ini lists the demo disc by its
// relative path, which the library finds beside itself; a listed image that
// is nowhere is left out rather than shown as a drive without a disc.
TEST(CdripDemoDisc, ACopyOfTheProgramFoldersIniFindsItsPlayableDemoDisc) {
  const QByteArray program = ReadFile(ProgramDir() + "/cdrip.ini");
  ASSERT_TRUE(program.contains("Image0=demo.cue"));
  TTempFolder user;
  const QString ini = user.File("cdrip.ini");
  WriteFile(ini, program + "Image1=gone.cue\r\n");
  ASSERT_EQ(CR_Init(ini.toUtf8().constData()), CDRIP_OK);
  const int drives = CR_GetNumCDROM();
  WriteFile(ini, program);
  ASSERT_EQ(CR_Init(ini.toUtf8().constData()), CDRIP_OK);
  EXPECT_EQ(CR_GetNumCDROM(), drives);
  bool found = false;
  for (int i = 0; i < CR_GetNumCDROM() && !found; ++i) {
    ASSERT_EQ(CR_SetActiveCDROM(i), CDRIP_OK);
    CdripDriveParams params{};
    CR_GetCDROMParameters(&params);
    if (std::strcmp(params.driveName, "demo.cue (image)") != 0) continue;
    found = true;
    ASSERT_EQ(CR_ReadToc(), CDRIP_OK);
    const int tracks = CR_GetNumTocEntries();
    EXPECT_GE(tracks, 3);
    EXPECT_LE(tracks, 4);
    EXPECT_LT(CR_GetTocEntry(tracks).startSector, 2 * 60 * 75);
  }
  EXPECT_TRUE(found);
}

// Rules for real drives, which the tests cannot reach through an image.
TEST(DiscRules, RealDriveRules) {
  // A sub-channel read that fails is "no status", never 0 ("idle").
  EXPECT_EQ(cdrip::AudioStatusOfRead(false, 0x11), 0x15);
  EXPECT_EQ(cdrip::AudioStatusOfRead(false, 0), 0x15);
  EXPECT_EQ(cdrip::AudioStatusOfRead(true, 0x11), 0x11);
  // Enhanced CD: the last audio track ends a session gap before the data.
  EXPECT_EQ(cdrip::AudioTrackEnd(0, 200000, true), 200000 - 11400);
  EXPECT_EQ(cdrip::AudioTrackEnd(0, 200000, false), 200000);
  EXPECT_EQ(cdrip::AudioTrackEnd(100, 11500, true), 11500) << "no room for a gap";
}

TEST(DiscRules, OnlyATocADiscCanHoldIsValid) {
  auto valid = [](std::vector<int32_t> starts) {
    std::vector<CdripTocEntry> toc;
    for (int32_t start : starts) toc.push_back({start, 0x10, 1});
    return cdrip::IsValidToc(toc.data(), toc.size());
  };
  EXPECT_TRUE(valid({0, 100, 449999}));
  EXPECT_FALSE(valid({0}));
  EXPECT_FALSE(valid({-5, 100}));
  EXPECT_FALSE(valid({0, 100, 100}));
  EXPECT_FALSE(valid({0, 200, 100}));
  EXPECT_FALSE(valid({0, 450000}));
  EXPECT_FALSE(valid({0, 100, INT32_MAX}));
}

}  // namespace
