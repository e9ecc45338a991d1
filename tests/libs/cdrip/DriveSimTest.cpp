// The reader against the drive an image drive simulates: jittered reads, a
// cache that answers re-reads, scratches, slow spots and a seed, each through
// the real reading path (paranoia and the rip's own checks).
#include <chrono>

#include "CdripFixture.h"

namespace {

using TSteadyClock = std::chrono::steady_clock;

// Three tracks of 600 sectors: room on either side of track 2 to push a
// cache out.
class DriveSim : public Cdrip {
 protected:
  void SetUp() override {
    Image = testutil::MakeDiscImage(Folder.File("discs"), "sim", {600, 600, 600});
    IniPath = Folder.File("cdrip.ini");
  }
  // Starts the library on the image (or another sheet of it) under `keys`.
  void Drive(const QString& keys, int32_t jitterCorrection, const QString& sheet = {}) {
    Start("[Image0]\r\n" + keys + "\r\n", {sheet.isEmpty() ? Image.CuePath : sheet});
    SetJitterCorrection(jitterCorrection);
  }
};

// With correction every sector handed over is the disc's own or lost and
// said so; jitter and scratches show as corrected, never as clean.
TEST_F(DriveSim, CorrectionRipsByteExactThroughJitterACacheScratchesAndSlowSpots) {
  const QString toc =
      testutil::WriteTocSheet(Image, "sim-toc", {{0, 600}, {600, 600}, {1200, 600}});
  const struct {
    QString Keys;
    bool Toc;
    bool Jitter;
    int MinMs;
  } cases[] = {
      {"ReadJitter=300\r\nDriveCache=256\r\nSeed=3", false, true, 0},
      {"ReadJitter=600\r\nDriveCache=500\r\nSeed=4", true, true, 0},
      {"ScratchedSectors=700-720\r\nDriveCache=256\r\nSeed=1", false, false, 0},
      {"ReadJitter=300\r\nScratchedSectors=700-720\r\nSeed=2", true, true, 0},
      {"SlowSectors=650-651:400\r\nSeed=1", false, false, 400},
  };
  for (const auto& c : cases) {
    const std::string context = c.Keys.toStdString() + (c.Toc ? " (toc)" : " (cue)");
    Drive(c.Keys, -1, c.Toc ? toc : QString());
    const auto started = TSteadyClock::now();
    const TRip rip = Rip(600, 1200);
    const auto took = TSteadyClock::now() - started;
    const std::vector<uint8_t> status = SectorStatus();
    ASSERT_EQ(status.size(), 600u) << context;
    ASSERT_EQ(rip.Pcm.size(), 600 * kSectorBytes) << context;
    int lost = 0, corrected = 0;
    for (int i = 0; i < 600; ++i) {
      const uint8_t s = status[size_t(i)];
      lost += s == CDRIP_SECTOR_LOST;
      corrected += s == CDRIP_SECTOR_CORRECTED;
      const bool same =
          rip.Pcm.mid(i * kSectorBytes, kSectorBytes) == Image.SectorPcm(600 + i, 601 + i);
      EXPECT_TRUE(same || s == CDRIP_SECTOR_LOST) << context << " sector " << 600 + i;
      if (600 + i >= 700 && 600 + i <= 720 && c.Keys.contains("Scratched")) {
        EXPECT_NE(s, CDRIP_SECTOR_CLEAN) << context << " sector " << 600 + i;
      }
    }
    EXPECT_EQ(CR_GetNumberOfLostSectors(), lost) << context;
    EXPECT_EQ(lost, 0) << context;
    if (c.Jitter) {
      EXPECT_GT(corrected, 0) << context;
    }
    EXPECT_GE(took, std::chrono::milliseconds(c.MinMs)) << context;
    CR_CloseRipper();
  }
}

// Without correction a jittered or scratched read is taken as it comes:
// nothing in one read can tell, but a second read of the same sectors (test
// and copy) differs, the cache that holds the first pushed out before it.
TEST_F(DriveSim, WithoutCorrectionDamageReadsCleanAndASecondReadDiffers) {
  for (const QString keys : {"ReadJitter=300\r\nDriveCache=256\r\nSeed=7",
                             "ScratchedSectors=700-729\r\nDriveCache=256\r\nSeed=7"}) {
    Drive(keys, 0);
    char how[128];
    ASSERT_EQ(CR_GetCacheHandling(how, sizeof how), CDRIP_OK);
    EXPECT_STREQ(how, "drive cache 256 sectors, 256 sectors read elsewhere before a re-read");
    const QByteArray test = Rip(700, 730).Pcm;
    const std::vector<uint8_t> status = SectorStatus();
    EXPECT_TRUE(std::all_of(status.begin(), status.end(), [](uint8_t s) {
      return s == CDRIP_SECTOR_CLEAN;
    })) << keys.toStdString();
    CR_CloseRipper();
    const QByteArray copy = Rip(700, 730).Pcm;
    CR_CloseRipper();
    EXPECT_TRUE(test != Image.SectorPcm(700, 730) || copy != Image.SectorPcm(700, 730))
        << keys.toStdString();
    EXPECT_TRUE(test != copy) << keys.toStdString();
  }
}

TEST_F(DriveSim, ASeedRepeatsTheDrivesChoicesAndAnotherSeedDoesNot) {
  auto ripWith = [this](const QString& seed) {
    Drive("ReadJitter=300\r\nScratchedSectors=700-729\r\n" + seed, 0);
    const QByteArray pcm = Rip(690, 740).Pcm;
    CR_CloseRipper();
    return pcm;
  };
  const QByteArray first = ripWith("Seed=5");
  EXPECT_TRUE(first == ripWith("Seed=5"));
  EXPECT_TRUE(first != ripWith("Seed=6"));
}

}  // namespace
