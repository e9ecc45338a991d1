// The AccurateRip drive offset list: a list built byte by byte read back,
// fetched from a server on loopback, cached, and used when the server fails.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "verify/DriveOffsets.h"

namespace {

// One record: offset, "vendor - model" in 32 bytes, NUL, submissions, 33 unused bytes.
QByteArray Record(int16_t offset, const QByteArray& name, uint8_t submissions = 7) {
  QByteArray record;
  record += char(uint16_t(offset) & 0xFF);
  record += char(uint16_t(offset) >> 8);
  record += name.leftJustified(32, '\0', true);
  record += '\0';
  record += char(submissions);
  record += QByteArray(33, '\x55');
  return record;
}

QByteArray List() {
  return Record(667, "PIONEER  - BD-RW   BDR-209D", 200) + Record(-1164, "- CDROM DRIVE") +
         Record(6, "HL-DT-ST - DVDRAM GH24NSD1") + Record(99, QByteArray(32, '\0'));
}

QByteArray NoDrive() { return Record(99, QByteArray(32, '\0')) + Record(-3001, "ASUS - DRW"); }

TEST(DriveOffsets, ReadsTheRecordsAndFindsADriveByItsInquiryNames) {
  const auto list = ParseDriveOffsets(List());
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->size(), 3u) << "a record without a name is no drive";
  EXPECT_EQ((*list)[0].Vendor, "PIONEER");
  EXPECT_EQ((*list)[0].Model, "BD-RW   BDR-209D");
  EXPECT_EQ((*list)[0].Submissions, 200);
  EXPECT_EQ((*list)[1].Vendor, "");
  EXPECT_EQ((*list)[1].Offset, -1164);
  // INQUIRY pads its fields with spaces; letter case differs between sources.
  EXPECT_EQ(FindDriveOffset(*list, "PIONEER ", "BD-RW   BDR-209D  "), 667);
  EXPECT_EQ(FindDriveOffset(*list, "hl-dt-st", "DVDRAM GH24NSD1"), 6);
  EXPECT_EQ(FindDriveOffset(*list, "", "CDROM DRIVE"), -1164);
  EXPECT_EQ(FindDriveOffset(*list, "PIONEER", "BD-RW BDR-209"), std::nullopt);
  EXPECT_EQ(FindDriveOffset(*list, "ASUS", "CDROM DRIVE"), std::nullopt);

  // An offset no drive has is damage; a list that names no drive is none.
  const auto outsized = ParseDriveOffsets(List() + Record(32767, "ASUS - DRW-24D5MT"));
  ASSERT_TRUE(outsized.has_value());
  EXPECT_EQ(FindDriveOffset(*outsized, "ASUS", "DRW-24D5MT"), std::nullopt);
  for (const QByteArray& broken : {QByteArray(), List().chopped(1), List() + "x", NoDrive()})
    EXPECT_FALSE(ParseDriveOffsets(broken).has_value()) << broken.size();
}

class DriveOffsetFetch : public ::testing::Test {
 protected:
  void SetUp() override { QFile::remove(DriveOffsetsCachePath()); }
  void TearDown() override { QFile::remove(DriveOffsetsCachePath()); }

  // Looks the Pioneer drive up and waits for the answer.
  static TDriveOffsetLookup::TResult Look(const QString& server, TDriveOffsetLookup& lookup,
                                          int timeoutMs = 15000, int maxCacheDays = 30) {
    bool done = false;
    lookup.OnDone = [&done] { done = true; };
    lookup.Start(server, "PIONEER", "BD-RW   BDR-209D", timeoutMs, maxCacheDays);
    EXPECT_TRUE(testutil::WaitFor([&done] { return done; }, 30000));
    return lookup.Result();
  }
};

TEST_F(DriveOffsetFetch, FetchesOnceCachesAndFallsBackOnTheCacheWhenTheServerFails) {
  testutil::TTestServer server(testutil::TTestServer::Body(List()));
  TDriveOffsetLookup first;
  EXPECT_EQ(Look(server.Url("/"), first), TDriveOffsetLookup::Found);
  EXPECT_EQ(first.Offset(), 667);
  ASSERT_EQ(server.Requests.size(), 1);
  EXPECT_TRUE(server.RequestLine(0).contains("/accuraterip/DriveOffsets.bin "))
      << server.RequestLine(0).toStdString();
  EXPECT_EQ(testutil::ReadFile(DriveOffsetsCachePath()), List());

  // A fresh cache answers without asking.
  TDriveOffsetLookup cached;
  EXPECT_EQ(Look(server.Url("/"), cached), TDriveOffsetLookup::Found);
  EXPECT_EQ(server.Requests.size(), 1);

  // A stale cache is asked again; a server that fails leaves the cache standing.
  testutil::TTestServer broken(testutil::TTestServer::Body("<html>maintenance</html>"));
  TDriveOffsetLookup stale;
  EXPECT_EQ(Look(broken.Url("/"), stale, 15000, 0), TDriveOffsetLookup::Found);
  EXPECT_EQ(stale.Offset(), 667);
  EXPECT_EQ(broken.Requests.size(), 1);
  EXPECT_EQ(testutil::ReadFile(DriveOffsetsCachePath()), List());
}

TEST_F(DriveOffsetFetch, WithoutACacheAFailingOrSilentServerGivesNoListInTime) {
  testutil::TTestServer broken(testutil::TTestServer::Body("<html>maintenance</html>"));
  TDriveOffsetLookup unreadable;
  EXPECT_EQ(Look(broken.Url("/"), unreadable), TDriveOffsetLookup::NoList);
  EXPECT_EQ(unreadable.Detail(), "the server's list is unreadable");
  EXPECT_FALSE(QFileInfo::exists(DriveOffsetsCachePath()));

  testutil::TTestServer empty(testutil::TTestServer::Body(NoDrive()));
  TDriveOffsetLookup none;
  EXPECT_EQ(Look(empty.Url("/"), none), TDriveOffsetLookup::NoList);
  EXPECT_FALSE(QFileInfo::exists(DriveOffsetsCachePath()));

  testutil::TTestServer silent([](QTcpSocket*, const QByteArray&) {});
  TDriveOffsetLookup late;
  EXPECT_EQ(Look(silent.Url("/"), late, 300), TDriveOffsetLookup::NoList);
  EXPECT_EQ(late.Detail(), "no answer in time");

  testutil::TTestServer listed(testutil::TTestServer::Body(Record(5, "ASUS - DRW-24D5MT")));
  TDriveOffsetLookup other;
  EXPECT_EQ(Look(listed.Url("/"), other), TDriveOffsetLookup::NotListed);
}

}  // namespace
