#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>
#include <vector>

#include "common/TestUtil.h"
#include "common/SessionTestUtil.h"
#include "encode/WaveNormalize.h"

using testutil::MakeWav;
using testutil::ReadFile;
using testutil::ReadSamples;
using testutil::TTempFolder;

namespace {

// Scans, computes the gain and scales, as the session's stages do.
std::vector<int16_t> Normalized(const TTempFolder& folder, const std::vector<int16_t>& samples,
                                int factor) {
  const QString wav = MakeWav(folder, samples);
  int16_t peak = 0;
  EXPECT_TRUE(ScanPeak(wav, peak));
  const auto gain = NormalizeGain(peak, factor);
  EXPECT_TRUE(gain.has_value());
  QString temp;
  EXPECT_TRUE(NormalizeWave(wav, temp, gain.value_or(1.0)));
  EXPECT_EQ(ReadFile(temp).left(kWaveHeaderSize), ReadFile(wav).left(kWaveHeaderSize));
  return ReadSamples(temp);
}

}  // namespace

TEST(Normalize, HalfScalePeakIsRaisedToTheFactor) {
  TTempFolder folder;
  const auto out = Normalized(folder, {16384, -100, 5, 0, 16383}, 98);
  // gain = 98 / (16383 / 327.66) = 1.96
  EXPECT_EQ(out, (std::vector<int16_t>{32113, -196, 10, 0, 32111}));
}

TEST(Normalize, FullScalePeakIsLowered) {
  TTempFolder folder;
  const auto out = Normalized(folder, {32767, -32768, 1000}, 98);
  EXPECT_EQ(out, (std::vector<int16_t>{32112, -32113, 980}));
}

TEST(Normalize, ScaledValuesBeyondSixteenBitsAreClipped) {
  TTempFolder folder;
  const QString wav = MakeWav(folder, {20000, -20000, 12000, -12000, 100});
  QString temp;
  ASSERT_TRUE(NormalizeWave(wav, temp, 3.0));
  EXPECT_EQ(ReadSamples(temp), (std::vector<int16_t>{32767, -32768, 32767, -32768, 300}));
}

TEST(Normalize, HalvesRoundToTheEvenNeighbour) {
  TTempFolder folder;
  const QString wav = MakeWav(folder, {3, 5, -3, -5, 7});
  QString temp;
  ASSERT_TRUE(NormalizeWave(wav, temp, 0.5));
  EXPECT_EQ(ReadSamples(temp), (std::vector<int16_t>{2, 2, -2, -2, 4}));
}

TEST(Normalize, PeakIsTheHighestPositiveSampleOnly) {
  TTempFolder folder;
  int16_t peak = -1;
  ASSERT_TRUE(ScanPeak(MakeWav(folder, {-32768, 200, -30000, 199}), peak));
  EXPECT_EQ(peak, 200);
  ASSERT_TRUE(ScanPeak(MakeWav(folder, {-5, 0, -32768}, "negative.wav"), peak));
  EXPECT_EQ(peak, 0);
}

TEST(Normalize, PeaksOfZeroAndOneAreNotScaled) {
  EXPECT_FALSE(NormalizeGain(0, 98).has_value());
  EXPECT_FALSE(NormalizeGain(1, 98).has_value());
  ASSERT_TRUE(NormalizeGain(2, 98).has_value());
  EXPECT_GT(*NormalizeGain(2, 98), 0.0);
}

TEST(Normalize, FileWithoutDataAfterTheHeader) {
  TTempFolder folder;
  const QString wav = MakeWav(folder, {});
  int16_t peak = 7;
  EXPECT_FALSE(ScanPeak(wav, peak));
  EXPECT_EQ(peak, 0);
  // The temporary file is a new hidden one of its own, never the user's track.tmp.
  testutil::WriteFile(folder.File("track.tmp"), "mine");
  QString temp;
  EXPECT_FALSE(NormalizeWave(wav, temp, 2.0));
  EXPECT_EQ(QFileInfo(temp).absolutePath(), QFileInfo(wav).absolutePath());
  EXPECT_TRUE(QFileInfo(temp).fileName().startsWith('.')) << temp.toStdString();
  EXPECT_EQ(testutil::ReadFile(folder.File("track.tmp")), "mine");
  EXPECT_TRUE(QFile::exists(temp));
  EXPECT_EQ(QFile(temp).size(), 0);
  EXPECT_EQ(QFile(wav).size(), kWaveHeaderSize);

  // A file cut inside its header holds no data either.
  testutil::WriteFile(folder.File("short.wav"), "RIFF");
  EXPECT_FALSE(ScanPeak(folder.File("short.wav"), peak));
}

TEST(Normalize, MissingFileIsAnError) {
  TTempFolder folder;
  int16_t peak = 0;
  EXPECT_THROW(ScanPeak(folder.File("gone.wav"), peak), ENormalizeError);
  QString temp;
  EXPECT_THROW(NormalizeWave(folder.File("gone.wav"), temp, 1.0), ENormalizeError);
}

TEST(Normalize, FullDiskWhileScalingIsAnError) {
  TTempFolder folder;
  const QString wav = MakeWav(folder, std::vector<int16_t>(60000, 100));
  QString temp;
  {
    testutil::TFileSizeLimit limit(50000);  // the temporary file cannot grow past this
    EXPECT_THROW(NormalizeWave(wav, temp, 1.0), ENormalizeError);
  }
  EXPECT_EQ(ReadSamples(wav), std::vector<int16_t>(60000, 100));
}

TEST(Normalize, PassesStopAfterTheChunkInHandWhenAborted) {
  TTempFolder folder;
  const int chunkSamples = kNormalizeChunkBytes / 2;
  std::vector<int16_t> samples(size_t(chunkSamples * 3), 10);
  samples[size_t(chunkSamples * 2)] = 9000;  // in the third chunk, never reached
  const QString wav = MakeWav(folder, samples);

  int chunks = 0;
  std::vector<int> progress;
  TNormalizeHooks hooks;
  hooks.Aborted = [&] { return chunks >= 1; };
  hooks.OnProgress = [&](int percent) {
    ++chunks;
    progress.push_back(percent);
  };
  int16_t peak = 0;
  ASSERT_TRUE(ScanPeak(wav, peak, hooks));
  EXPECT_EQ(peak, 10);
  EXPECT_EQ(progress, (std::vector<int>{33}));

  chunks = 0;
  QString temp;
  ASSERT_TRUE(NormalizeWave(wav, temp, 2.0, hooks));
  EXPECT_EQ(QFile(temp).size(), kWaveHeaderSize + kNormalizeChunkBytes);
}

TEST(Normalize, ProgressRunsToOneHundredOverUnevenChunks) {
  TTempFolder folder;
  const QString wav = MakeWav(folder, std::vector<int16_t>(kNormalizeChunkBytes / 2 * 2 + 7, 1));
  std::vector<int> progress;
  TNormalizeHooks hooks;
  hooks.OnProgress = [&](int percent) { progress.push_back(percent); };
  QString temp;
  ASSERT_TRUE(NormalizeWave(wav, temp, 1.0, hooks));
  EXPECT_EQ(progress, (std::vector<int>{50, 100, 100}));
  EXPECT_EQ(ReadFile(temp), ReadFile(wav));
}

TEST(Normalize, FullTrackPeaksAtTheFactorAsSoxMeasuresIt) {
  TTempFolder folder;
  // Three seconds of a stereo tone with a little noise, peaking near 24000.
  std::vector<int16_t> samples;
  uint32_t noise = 12345;
  for (int i = 0; i < 44100 * 3; ++i) {
    noise = noise * 1103515245u + 12345u;
    const double tone = 23000.0 * std::sin(2 * M_PI * 440.0 * i / 44100.0);
    const int16_t s = int16_t(tone + double(int(noise >> 16) % 1000));
    samples.push_back(s);
    samples.push_back(int16_t(-s / 2));
  }
  const QString wav = MakeWav(folder, samples);
  for (int factor : {80, 98, 100}) {
    int16_t peak = 0;
    ASSERT_TRUE(ScanPeak(wav, peak));
    QString temp;
    ASSERT_TRUE(NormalizeWave(wav, temp, *NormalizeGain(peak, factor)));
    QByteArray out, err;
    // The ".tmp" name says nothing of the type, so sox is told it.
    ASSERT_EQ(testutil::RunProgram("sox", {"-t", "wav", temp, "-n", "stat"}, &out, &err), 0)
        << err.toStdString();
    const auto match =
        QRegularExpression(R"(Maximum amplitude:\s+([0-9.]+))").match(QString::fromUtf8(err));
    ASSERT_TRUE(match.hasMatch()) << err.toStdString();
    const double soxPeak = match.captured(1).toDouble() * 32768.0;
    EXPECT_NEAR(soxPeak, factor / 100.0 * 32767.0, 1.0) << "factor " << factor;
  }
}
