// The disc ID against a disc whose ID the service and libdiscid's own
// bindings publish, and the rules for discs with data tracks.
#include <gtest/gtest.h>

#include "cddb/CDInfo.h"
#include "common/TestUtil.h"
#include "musicbrainz/MbDiscId.h"

namespace {

// A 15-track disc from the test suite of libdiscid's Python bindings:
// TOC "1 15 258725 150 17510 ...", disc ID TqvKjMu7dMliSfmVEBtrL7sBSno-.
const std::vector<int> kOffsets = {150,    17510,  33275,  45910,  57805,  78310,  94650, 109580,
                                   132010, 149160, 165115, 177710, 203325, 215555, 235590};
constexpr int kLeadOut = 258725;

// The track table as the TOC reader fills it: sectors without the lead-in.
TMyCDInfo Disc(const std::vector<int>& offsets, int leadOut) {
  TMyCDInfo info;
  info.TrackCount = int(offsets.size());
  for (size_t i = 0; i < offsets.size(); ++i) {
    info.Tracks[i].StartSector = offsets[i] - 150;
    info.Tracks[i].EndSector = (i + 1 < offsets.size() ? offsets[i + 1] : leadOut) - 150;
  }
  return info;
}

}  // namespace

TEST(MbDiscId, KnownDiscGivesItsPublishedId) {
  const TMbDiscId id = ComputeMbDiscId(MbTocOf(Disc(kOffsets, kLeadOut)));
  EXPECT_EQ(id.Id, "TqvKjMu7dMliSfmVEBtrL7sBSno-");
  EXPECT_TRUE(id.Toc.startsWith("1 15 258725 150 17510 33275 ")) << id.Toc.toStdString();
}

TEST(MbDiscId, DataTrackLastIsLeftOutAndTheAudioEndsBeforeItsSession) {
  // The same audio with a data session after it: 11400 sectors of gap.
  std::vector<int> enhanced = kOffsets;
  enhanced.push_back(kLeadOut + 11400);
  TMyCDInfo info = Disc(enhanced, kLeadOut + 11400 + 30000);
  info.Tracks[15].Kind = TTrackKind::Data;
  const TMbToc toc = MbTocOf(info);
  EXPECT_EQ(toc.Last, 15);
  EXPECT_EQ(toc.LeadOut, kLeadOut);
  EXPECT_EQ(ComputeMbDiscId(toc).Id, "TqvKjMu7dMliSfmVEBtrL7sBSno-");

  // A data track first stays track 1 and counts.
  TMyCDInfo dataFirst = Disc(kOffsets, kLeadOut);
  dataFirst.Tracks[0].Kind = TTrackKind::Data;
  EXPECT_EQ(MbTocOf(dataFirst).Last, 15);
  EXPECT_EQ(ComputeMbDiscId(MbTocOf(dataFirst)).Id, "TqvKjMu7dMliSfmVEBtrL7sBSno-");
}

TEST(MbDiscId, NoTracksOrABrokenTocGiveNoId) {
  EXPECT_TRUE(ComputeMbDiscId(MbTocOf(TMyCDInfo())).Id.isEmpty());
  // Offsets past the lead-out: libdiscid refuses them, with its reason.
  const TMbDiscId broken = ComputeMbDiscId(MbTocOf(Disc({150, 900}, 500)));
  EXPECT_TRUE(broken.Id.isEmpty());
  EXPECT_FALSE(broken.Error.isEmpty());
}
