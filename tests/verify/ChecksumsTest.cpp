// The checksums of a track fed in chunks of any size against the plain
// computation over the whole track.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QRandomGenerator>

#include "ArReference.h"
#include "verify/Checksums.h"

namespace {

QByteArray Noise(int samples, quint32 seed) {
  QRandomGenerator random(seed);
  QByteArray pcm(samples * 4, Qt::Uninitialized);
  random.fillRange(reinterpret_cast<quint32*>(pcm.data()), samples);
  return pcm;
}

TEST(Checksums, EqualThePlainComputationWhateverTheChunksAndTheTrackPlace) {
  struct TCase {
    int Samples;
    bool First, Last;
  } cases[] = {
      {588 * 20 + 7, false, false},  // a whole track, every sample counted
      {588 * 20, true, false},       // the first 2939 samples left out
      {588 * 20, false, true},       // the last 2940 left out
      {588 * 11, true, true},        // a one-track disc loses both edges
      {2000, true, false},           // shorter than the edge: nothing counted
  };
  // Chunk sizes that split samples between calls as a rip's buffers may.
  const int chunkSizes[] = {1, 3, 4, 2352, 4097, 1 << 20};
  for (const TCase& c : cases) {
    const QByteArray pcm = Noise(c.Samples, quint32(c.Samples));
    const artest::TArSums expected = artest::ArSums(pcm, c.First, c.Last);
    for (const int chunk : chunkSizes) {
      TTrackChecksums sums;
      sums.Begin(c.Samples, c.First, c.Last);
      for (int at = 0; at < pcm.size(); at += chunk)
        sums.Add(reinterpret_cast<const uint8_t*>(pcm.constData()) + at,
                 size_t(std::min(chunk, int(pcm.size()) - at)));
      const auto context = testing::Message() << c.Samples << " samples, first " << c.First
                                              << ", last " << c.Last << ", chunk " << chunk;
      EXPECT_EQ(sums.Samples(), c.Samples) << context;
      EXPECT_EQ(sums.Crc32(), artest::Crc32(pcm)) << context;
      EXPECT_EQ(sums.ArV1(), expected.V1) << context;
      EXPECT_EQ(sums.ArV2(), expected.V2) << context;
    }
  }
  // The two versions differ once products exceed 32 bits, and the skipped
  // edge really is left out.
  const QByteArray pcm = Noise(588 * 20, 7);
  EXPECT_NE(artest::ArSums(pcm, false, false).V1, artest::ArSums(pcm, false, false).V2);
  EXPECT_NE(artest::ArSums(pcm, true, false).V1, artest::ArSums(pcm, false, false).V1);
}

TEST(Checksums, BeginStartsAfreshAndKnownCrcHolds) {
  TTrackChecksums sums;
  sums.Begin(4, false, false);
  sums.Add(reinterpret_cast<const uint8_t*>("xyz"), 3);  // a carried partial sample
  sums.Begin(9, false, false);
  sums.Add(reinterpret_cast<const uint8_t*>("123456789"), 9);
  EXPECT_EQ(sums.Crc32(), 0xCBF43926u);  // the standard check value of CRC-32
  EXPECT_EQ(sums.Samples(), 2);
}

}  // namespace

// v1 at other offsets, from the words kept around the tracks' ends, against
// v1 computed over the disc's audio moved by the offset.
TEST(Checksums, V1AtOtherOffsetsEqualsThePlainComputationOverMovedAudio) {
  const int lengths[] = {588 * 13 + 5, 588 * 9, 588 * 12};
  const QByteArray disc = Noise(lengths[0] + lengths[1] + lengths[2], 11);
  std::vector<TTrackChecksums> tracks(3);
  int start = 0;
  for (int i = 0; i < 3; ++i) {
    tracks[size_t(i)].Begin(lengths[i], i == 0, i == 2);
    tracks[size_t(i)].Add(reinterpret_cast<const uint8_t*>(disc.constData()) + 4 * start,
                          size_t(4 * lengths[i]));
    start += lengths[i];
  }
  // The track's samples `offset` later on the disc, silence beyond it.
  const auto moved = [&](int track, int offset) {
    int first = offset;
    for (int i = 0; i < track; ++i) first += lengths[i];
    QByteArray pcm(4 * lengths[track], '\0');
    for (int i = 0; i < lengths[track]; ++i)
      if (first + i >= 0 && 4 * (first + i) < disc.size())
        pcm.replace(4 * i, 4, disc.mid(4 * (first + i), 4));
    return pcm;
  };
  const int kMax = TTrackChecksums::kMaxOffset;
  for (int track = 0; track < 3; ++track) {
    const TTrackChecksums* before = track > 0 ? &tracks[size_t(track - 1)] : nullptr;
    const TTrackChecksums* after = track < 2 ? &tracks[size_t(track + 1)] : nullptr;
    const std::vector<TOffsetSum> sums = ArV1AtOffsets(tracks[size_t(track)], before, after);
    ASSERT_EQ(sums.size(), size_t(2 * kMax)) << track;
    EXPECT_EQ(sums[0].Offset, 1);
    EXPECT_EQ(sums[1].Offset, -1);
    for (const TOffsetSum& sum : sums) {
      if (std::abs(sum.Offset) > 3 && std::abs(sum.Offset) < kMax - 3 && sum.Offset != 588)
        continue;
      EXPECT_EQ(sum.V1, artest::ArSums(moved(track, sum.Offset), track == 0, track == 2).V1)
          << "track " << track << ", offset " << sum.Offset;
    }
  }
  // Without the track after it, the middle track reaches no later audio.
  const std::vector<TOffsetSum> alone = ArV1AtOffsets(tracks[1], &tracks[0], nullptr);
  ASSERT_EQ(alone.size(), size_t(kMax));
  EXPECT_TRUE(
      std::all_of(alone.begin(), alone.end(), [](const TOffsetSum& s) { return s.Offset < 0; }));
}
