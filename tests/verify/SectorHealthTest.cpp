// Sector health: the summary of a track's sector statuses, and the session
// that takes them from a rip of an image with faults injected at known
// sectors into the rip log.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include "common/DiscImage.h"
#include "common/QuietView.h"
#include "common/SessionTestUtil.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "libs/cdrip/cdrip.h"
#include "rip/ConvSession.h"
#include "settings/config.h"
#include "verify/RipLog.h"
#include "verify/SectorHealth.h"

namespace {

TEST(SectorHealth, TheWorstEventOfEachPartWinsAndEverySectorIsCounted) {
  std::vector<uint8_t> status(120, skClean);
  status[0] = skCorrected;
  status[61] = skReread;
  status[60] = skLost;  // the worse of the pair 60-61
  status[30] = 9;       // a code the library does not define: nothing vouches for it
  status[118] = status[119] = skLost;
  status[100] = skUnread;
  // A repair outweighs a re-read, a loss outweighs a repair.
  status[90] = skRepaired;
  status[91] = skReread;
  status[40] = skRepaired;
  status[41] = skLost;
  // Two sectors a mark.
  QString expected(60, u'.');
  expected[0] = u'c';
  expected[15] = u'X';
  expected[20] = u'X';
  expected[30] = u'X';
  expected[45] = u'R';
  expected[59] = u'X';
  EXPECT_EQ(HealthLine(status), expected);
  const TSectorCounts counts = CountSectors(status);
  EXPECT_EQ(counts.Text(), "109 clean, 1 corrected, 2 re-read, 5 lost, 2 repaired, 1 unread");
  EXPECT_EQ(counts.Total(), 120);

  // Fewer sectors than columns: each column shows the sector under it.
  const std::vector<uint8_t> three = {skClean, skLost, skReread};
  EXPECT_EQ(WorstPerColumn(three, 6),
            (std::vector<TSectorKind>{skClean, skClean, skLost, skLost, skReread, skReread}));
  // A part read only in part shows what was read; one not read at all a dash.
  std::vector<uint8_t> live(180, skUnread);
  std::fill_n(live.begin(), 91, skClean);
  EXPECT_EQ(HealthLine(live), QString(31, u'.') + QString(29, u'-'));
  EXPECT_TRUE(HealthLine({}).isEmpty());
  EXPECT_TRUE(WorstPerColumn(three, 0).empty());
}

// Track 1 of 180 sectors (three a mark), track 2 of 120 (two a mark).
TEST(SectorHealth, ARipWithInjectedFaultsShowsThemWhereTheyAreInTheSessionAndTheLog) {
  testutil::TTempFolder temp;
  TConfig settings;
  Config = &settings;
  settings.OutputFolder = temp.File("out");
  settings.OutputFormat = 0;
  settings.AccurateRipServer.clear();
  ASSERT_TRUE(QDir().mkpath(settings.OutputFolder));
  const testutil::TDiscImage image = testutil::MakeDiscImage(temp.Path(), "disc", {180, 120});
  testutil::WriteCdripIni(temp.File("cdrip.ini"), {image.CuePath},
                          "[Image0]\r\nUnreadableSectors=30-32,179,241\r\nJitterSectors=90\r\n");
  ASSERT_EQ(CR_Init(temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
  TCDRIP cdrip;
  TLameCoder coder;
  cdrip.SetCDRomNum(CR_GetNumCDROM() - 1);
  cdrip.SetCoder(&coder);
  TRipPlan plan;
  TJobList& jobs = plan.Jobs;
  for (int i = 0; i < 2; ++i) {
    TFileParam job;
    job.RowIndex = i;
    job.TrackInfo.TrackIndex = i;
    job.OutputPath = settings.OutputFolder + QString("/%1.wav").arg(i + 1);
    jobs.push_back(job);
  }
  TQuietView view;
  TConvSession session(cdrip, coder, view);
  std::vector<TTrackHealth> finished;
  session.OnSectorHealth = [&](const TTrackHealth& health) {
    if (health.Finished) finished.push_back(health);
  };
  testutil::MakePlan(plan, cdrip, settings, true);
  EXPECT_TRUE(session.StartSession(plan));
  Config = nullptr;

  ASSERT_EQ(finished.size(), 2u);
  const std::vector<std::vector<int>> lost = {{30, 31, 32, 179}, {241 - 180}};
  for (size_t t = 0; t < 2; ++t) {
    EXPECT_EQ(finished[t].TrackNum, int(t + 1));
    ASSERT_EQ(finished[t].Status.size(), t == 0 ? 180u : 120u);
    std::vector<int> lostHere;
    for (size_t s = 0; s < finished[t].Status.size(); ++s)
      if (finished[t].Status[s] == CDRIP_SECTOR_LOST) lostHere.push_back(int(s));
    EXPECT_EQ(lostHere, lost[t]) << "track " << t + 1;
  }
  EXPECT_EQ(finished[0].Status[90], CDRIP_SECTOR_CORRECTED);

  // Sectors 30-32 (mark 10), 90 (mark 30) and 179 (mark 59), then track 2's
  // sector 61; paranoia re-reads the neighbours of a failed read, which may
  // show as re-read right after it.
  const QString log =
      testutil::ReadFile(RipLogPath(settings.OutputFolder, "", "", settings.ReplaceStr));
  EXPECT_TRUE(log.contains("Track 01\n")) << log.toStdString();
  EXPECT_TRUE(log.contains(QRegularExpression(
      "    Sector map: \\[\\.{10}Xr*\\.+c\\.+X\\]\n    Sectors: \\d+ clean, 1 corrected, \\d+ "
      "re-read, 4 lost\n")))
      << log.toStdString();
  EXPECT_TRUE(log.contains(QRegularExpression(
      "    Sector map: \\[\\.{30}Xr*\\.+\\]\n    Sectors: \\d+ clean, 0 corrected, \\d+ "
      "re-read, 1 lost\n")))
      << log.toStdString();
}

}  // namespace
