// Drive probing: the conversion of a READ TOC (MSF) answer and what is left
// without a drive.
#include <gtest/gtest.h>

#include "cddb/SptiCD.h"
#include "common/TestUtil.h"
#include "platform/MessageBox.h"

namespace {

// A READ TOC answer for tracks starting at the given MSF addresses, the last
// entry being the lead-out; data tracks get the data bit in their control.
std::vector<uint8_t> Toc(const std::vector<std::array<uint8_t, 3>>& msf,
                         const std::vector<bool>& data) {
  std::vector<uint8_t> toc(804, 0);
  const int tracks = int(msf.size()) - 1;
  toc[1] = uint8_t(2 + 8 * msf.size());
  toc[2] = 1;
  toc[3] = uint8_t(tracks);
  for (size_t i = 0; i < msf.size(); ++i) {
    uint8_t* d = &toc[4 + 8 * i];
    d[1] = uint8_t(0x10 | (i < data.size() && data[i] ? 0x04 : 0x00));
    d[2] = i == size_t(tracks) ? 0xAA : uint8_t(i + 1);
    d[5] = msf[i][0];
    d[6] = msf[i][1];
    d[7] = msf[i][2];
  }
  return toc;
}

}  // namespace

TEST(SptiCD, ConvertsTheTocWithAudioFlags) {
  const auto toc = Toc({{0, 2, 0}, {3, 22, 0}, {6, 42, 0}, {10, 2, 0}}, {true, false, false});
  const TCDInfo info = TocToCDInfo(toc.data(), toc.size());
  EXPECT_EQ(info.TrackCount, 3);
  EXPECT_EQ(info.Tracks[0].Audio, 0);  // the data track first
  EXPECT_EQ(info.Tracks[1].Audio, -1);
  EXPECT_EQ(info.Tracks[2].Audio, -1);
  EXPECT_EQ(info.Tracks[1].Min, 3);
  EXPECT_EQ(info.Tracks[1].Sec, 22);
  EXPECT_EQ(info.LeadOutMin, 10);
  EXPECT_EQ(info.LeadOutSec, 2);
  // The record's layout: lead-out at bytes 4 to 6, tracks from byte 12.
  const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
  EXPECT_EQ(bytes[4], 10);
  EXPECT_EQ(bytes[12 + 8 + 0], 3);
}

TEST(SptiCD, TruncatedOrEmptyAnswersGiveTheEmptyRecord) {
  const auto toc = Toc({{0, 2, 0}, {3, 22, 0}, {6, 42, 0}}, {});
  EXPECT_EQ(TocToCDInfo(toc.data(), 4 + 8 * 2).TrackCount, 0);  // lead-out missing
  EXPECT_EQ(TocToCDInfo(toc.data(), 3).TrackCount, 0);
  std::vector<uint8_t> reversed(toc);
  reversed[2] = 5;  // first track after the last
  EXPECT_EQ(TocToCDInfo(reversed.data(), reversed.size()).TrackCount, 0);
}

TEST(SptiCD, NoDriveGivesTheEmptyRecordWithoutQuestions) {
  platform::TScriptedMessageBoxes boxes;
  TCDInfo info{};
  info.TrackCount = 7;
  EXPECT_TRUE(ReadFirstDriveTOC(info, {}));
  EXPECT_EQ(info.TrackCount, 0);
  // A path that is no drive: nothing read, nothing asked.
  testutil::TTempFolder temp;
  testutil::WriteFile(temp.File("sr9"), "not a drive");
  EXPECT_FALSE(ReadTOC(temp.File("sr9"), info));
  EXPECT_FALSE(ReadTOC(temp.File("missing"), info));
  EXPECT_EQ(info.TrackCount, 0);
  EXPECT_TRUE(boxes.Asked().empty());
}
