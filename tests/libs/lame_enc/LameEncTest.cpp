// The encoder library through its C interface: configurations it accepts and
// refuses, exact chunk sizes, what the frame headers carry, and the info tag,
// judged by ffprobe, mpg123 and the frame headers themselves.
#include "libs/lame_enc/lame_enc.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "Mp3Check.h"
#include "common/TestUtil.h"

using testutil::FrameHeaderAt;
using testutil::ProbeMp3;
using testutil::ReadFile;
using testutil::TonePcm;

namespace {

BE_CONFIG StereoConfig(uint32_t bitrate = 128) {
  BE_CONFIG config{};
  config.dwConfig = BE_CONFIG_LAME;
  config.format.LHV1.dwStructVersion = 1;
  config.format.LHV1.dwStructSize = sizeof(BE_CONFIG);
  config.format.LHV1.dwSampleRate = 44100;
  config.format.LHV1.nMode = BE_MP3_MODE_STEREO;
  config.format.LHV1.dwBitrate = bitrate;
  config.format.LHV1.dwMaxBitrate = 320;
  config.format.LHV1.dwMpegVersion = MPEG1;
  config.format.LHV1.nVBRQuality = 4;
  return config;
}

struct TEncoded {
  QByteArray Mp3;
  uint32_t Samples = 0;
  uint32_t BufferSize = 0;
};

// Encodes the PCM in calls of exactly dwSamples values (a shorter last one),
// writes the MP3 to path and, when asked, the info tag.
TEncoded Encode(const BE_CONFIG& config, const QByteArray& pcm, const QString& path,
                bool writeInfoTag = true) {
  TEncoded result;
  HBE_STREAM stream = 0;
  EXPECT_EQ(beInitStream(&config, &result.Samples, &result.BufferSize, &stream),
            BE_ERR_SUCCESSFUL);
  std::vector<uint8_t> buffer(result.BufferSize);
  std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
  EXPECT_NE(file, nullptr);
  const auto* samples = reinterpret_cast<const int16_t*>(pcm.constData());
  const uint32_t total = uint32_t(pcm.size() / 2);
  for (uint32_t done = 0; done < total; done += result.Samples) {
    uint32_t bytes = 0;
    const uint32_t count = std::min(result.Samples, total - done);
    EXPECT_EQ(beEncodeChunk(stream, count, samples + done, buffer.data(), &bytes),
              BE_ERR_SUCCESSFUL);
    EXPECT_LE(bytes, result.BufferSize);
    std::fwrite(buffer.data(), 1, bytes, file);
  }
  uint32_t bytes = 0;
  EXPECT_EQ(beDeinitStream(stream, buffer.data(), &bytes), BE_ERR_SUCCESSFUL);
  std::fwrite(buffer.data(), 1, bytes, file);
  std::fclose(file);
  if (writeInfoTag) {
    EXPECT_EQ(beWriteInfoTag(stream, QFile::encodeName(path).constData()), BE_ERR_SUCCESSFUL);
  }
  EXPECT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
  result.Mp3 = ReadFile(path);
  return result;
}

}  // namespace

TEST(LameEnc, VersionNamesTheInstalledEncoder) {
  BE_VERSION version;
  beVersion(&version);
  QByteArray out;
  ASSERT_EQ(testutil::RunProgram("lame", {"--version"}, &out), 0);
  const QByteArray expected = QByteArray::number(version.byMajorVersion) + "." +
                              QByteArray::number(version.byMinorVersion);
  EXPECT_TRUE(out.contains("version " + expected)) << out.toStdString() << " vs " << expected.toStdString();
  EXPECT_EQ(version.byDLLMajorVersion, 1);
  EXPECT_STRNE(version.zHomepage, "");
}

TEST(LameEnc, RefusesConfigurationsItCannotHonour) {
  struct TCase {
    const char* Name;
    void (*Change)(BE_CONFIG&);
    BE_ERR Expected;
  } cases[] = {
      {"old MP3 record", [](BE_CONFIG& c) { c.dwConfig = BE_CONFIG_MP3; }, BE_ERR_INVALID_FORMAT},
      {"short record", [](BE_CONFIG& c) { c.format.LHV1.dwStructSize = 100; }, BE_ERR_INVALID_FORMAT},
      {"version 0", [](BE_CONFIG& c) { c.format.LHV1.dwStructVersion = 0; }, BE_ERR_INVALID_FORMAT},
      {"CBR 100 kbit/s", [](BE_CONFIG& c) { c.format.LHV1.dwBitrate = 100; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
      {"CBR 320 at 22050 Hz",
       [](BE_CONFIG& c) {
         c.format.LHV1.dwSampleRate = 22050;
         c.format.LHV1.dwBitrate = 320;
       },
       BE_ERR_INVALID_FORMAT_PARAMETERS},
      {"rate 0", [](BE_CONFIG& c) { c.format.LHV1.dwSampleRate = 0; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
      {"rate 44000", [](BE_CONFIG& c) { c.format.LHV1.dwSampleRate = 44000; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
      {"mode 4", [](BE_CONFIG& c) { c.format.LHV1.nMode = 4; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
      {"preset 7", [](BE_CONFIG& c) { c.format.LHV1.nPreset = 7; }, BE_ERR_INVALID_FORMAT_PARAMETERS},
      {"VBR quality 10",
       [](BE_CONFIG& c) {
         c.format.LHV1.bEnableVBR = -1;
         c.format.LHV1.nVBRQuality = 10;
       },
       BE_ERR_INVALID_FORMAT_PARAMETERS},
      {"VBR minimum above maximum",
       [](BE_CONFIG& c) {
         c.format.LHV1.bEnableVBR = -1;
         c.format.LHV1.dwBitrate = 256;
         c.format.LHV1.dwMaxBitrate = 128;
       },
       BE_ERR_INVALID_FORMAT_PARAMETERS},
  };
  for (const TCase& testCase : cases) {
    BE_CONFIG config = StereoConfig();
    testCase.Change(config);
    uint32_t samples = 99, bufferSize = 99;
    HBE_STREAM stream = 99;
    EXPECT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), testCase.Expected)
        << testCase.Name;
    EXPECT_EQ(stream, 0u) << testCase.Name;
    EXPECT_EQ(samples, 0u) << testCase.Name;
  }
}

TEST(LameEnc, RefusesStreamsThatAreNotOpen) {
  uint8_t buffer[16384];
  uint32_t bytes = 0;
  int16_t samples[4608] = {};
  EXPECT_EQ(beEncodeChunk(0, 4, samples, buffer, &bytes), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(beEncodeChunk(12345, 4, samples, buffer, &bytes), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(beDeinitStream(0, buffer, &bytes), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(beCloseStream(0), BE_ERR_INVALID_HANDLE);

  const BE_CONFIG config = StereoConfig();
  uint32_t count = 0, bufferSize = 0;
  HBE_STREAM stream = 0;
  ASSERT_EQ(beInitStream(&config, &count, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
  ASSERT_LE(bufferSize, sizeof(buffer));
  EXPECT_EQ(beEncodeChunk(stream, 2 * count + 2, samples, buffer, &bytes),
            BE_ERR_INVALID_FORMAT_PARAMETERS);
  EXPECT_EQ(beEncodeChunk(stream, 2 * count, samples, buffer, &bytes), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(beWriteInfoTag(stream, "/nonexistent.mp3"), BE_ERR_INVALID_HANDLE) << "before the flush";
  EXPECT_EQ(beDeinitStream(stream, buffer, &bytes), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(beEncodeChunk(stream, count, samples, buffer, &bytes), BE_ERR_INVALID_HANDLE)
      << "after the flush";
  EXPECT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(beCloseStream(stream), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(beEncodeChunk(stream, count, samples, buffer, &bytes), BE_ERR_INVALID_HANDLE);
}

TEST(LameEnc, CbrStreamsCarryTheirBitRateModeAndLength) {
  testutil::TTempFolder folder;
  struct TCase {
    int32_t Mode;
    uint32_t Bitrate;
    int Channels;
    const char* PeerMode;
    int ModeBits;
  } cases[] = {
      {BE_MP3_MODE_STEREO, 128, 2, "stereo", 0},
      {BE_MP3_MODE_JSTEREO, 192, 2, "j-s", 1},
      {BE_MP3_MODE_DUALCHANNEL, 160, 2, "stereo", 0},
      {BE_MP3_MODE_MONO, 64, 1, "mono", 3},
  };
  const int frames = 44100 * 3 / 2;
  for (const TCase& testCase : cases) {
    BE_CONFIG config = StereoConfig(testCase.Bitrate);
    config.format.LHV1.nMode = testCase.Mode;
    const QString path = folder.File(QString("mode%1.mp3").arg(testCase.Mode));
    const TEncoded encoded = Encode(config, TonePcm(frames, testCase.Channels), path);
    EXPECT_EQ(encoded.Samples, 1152u * testCase.Channels) << testCase.PeerMode;
    EXPECT_GE(encoded.BufferSize, 7200u);

    const testutil::TMp3Probe probe = ProbeMp3(path);
    EXPECT_EQ(probe.BitRate, int(testCase.Bitrate) * 1000) << testCase.PeerMode;
    EXPECT_EQ(probe.RateKind, QString("cbr%1").arg(testCase.Bitrate));
    EXPECT_EQ(probe.Mode, testCase.PeerMode);
    EXPECT_EQ(probe.Channels, testCase.Channels);
    EXPECT_EQ(probe.SampleRate, 44100);
    // The Info frame of a CBR file lets the decoder trim the delay and padding.
    EXPECT_EQ(probe.DecodedFrames, frames) << testCase.PeerMode;
    const int second = testutil::SecondFrameOffset(encoded.Mp3);
    EXPECT_EQ(FrameHeaderAt(encoded.Mp3, second).ModeBits, testCase.ModeBits) << testCase.PeerMode;
  }
}

TEST(LameEnc, HeaderBitsFollowTheRecord) {
  testutil::TTempFolder folder;
  for (const int32_t on : {0, -1}) {
    BE_CONFIG config = StereoConfig();
    config.format.LHV1.bCRC = on;
    config.format.LHV1.bPrivate = on;
    config.format.LHV1.bCopyright = on;
    config.format.LHV1.bOriginal = on;
    const QString path = folder.File(QString("bits%1.mp3").arg(on));
    const TEncoded encoded = Encode(config, TonePcm(11025), path, false);
    const testutil::TFrameHeader header = FrameHeaderAt(encoded.Mp3, 0);
    ASSERT_TRUE(header.Valid);
    EXPECT_EQ(header.Crc, on != 0);
    EXPECT_EQ(header.Private, on != 0);
    EXPECT_EQ(header.Copyright, on != 0);
    EXPECT_EQ(header.Original, on != 0);
  }
}

TEST(LameEnc, InfoTagReplacesThePlaceholderSoPlayersSeeTheLength) {
  testutil::TTempFolder folder;
  BE_CONFIG config = StereoConfig(128);
  config.format.LHV1.bEnableVBR = -1;
  config.format.LHV1.bWriteVBRHeader = -1;
  config.format.LHV1.nVBRQuality = 2;
  const int frames = 44100 * 2;
  const QByteArray pcm = TonePcm(frames);

  const TEncoded placeholder = Encode(config, pcm, folder.File("placeholder.mp3"), false);
  const TEncoded tagged = Encode(config, pcm, folder.File("tagged.mp3"));
  ASSERT_EQ(placeholder.Mp3.size(), tagged.Mp3.size());
  EXPECT_FALSE(placeholder.Mp3.left(200).contains("Xing"));
  const int tagAt = 4 + 32;  // MPEG-1 stereo side information
  EXPECT_EQ(tagged.Mp3.mid(tagAt, 4), "Xing");
  EXPECT_EQ(tagged.Mp3.mid(tagAt + 120, 4), "LAME");
  EXPECT_EQ(tagged.Mp3.mid(4096), placeholder.Mp3.mid(4096)) << "only the first frame changes";

  const testutil::TMp3Probe probe = ProbeMp3(folder.File("tagged.mp3"));
  EXPECT_EQ(probe.RateKind, "vbr");
  // ffprobe counts whole frames; mpg123 also trims the delay and padding the tag records.
  EXPECT_NEAR(probe.Duration, 2.0, 2 * 1152.0 / 44100);
  EXPECT_EQ(probe.DecodedFrames, frames);
}

TEST(LameEnc, CbrWithHeaderGetsAnInfoFrame) {
  testutil::TTempFolder folder;
  BE_CONFIG config = StereoConfig(192);
  config.format.LHV1.bWriteVBRHeader = -1;
  const TEncoded tagged = Encode(config, TonePcm(22050), folder.File("info.mp3"));
  EXPECT_EQ(tagged.Mp3.mid(4 + 32, 4), "Info");
  EXPECT_EQ(ProbeMp3(folder.File("info.mp3")).DecodedFrames, 22050);
}

TEST(LameEnc, InfoTagRefusesFilesThatCannotHoldIt) {
  testutil::TTempFolder folder;
  BE_CONFIG config = StereoConfig();
  config.format.LHV1.bWriteVBRHeader = -1;
  uint32_t count = 0, bufferSize = 0, bytes = 0;
  HBE_STREAM stream = 0;
  ASSERT_EQ(beInitStream(&config, &count, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
  std::vector<uint8_t> buffer(bufferSize);
  const QByteArray pcm = TonePcm(count);
  ASSERT_EQ(beEncodeChunk(stream, count, reinterpret_cast<const int16_t*>(pcm.constData()),
                          buffer.data(), &bytes),
            BE_ERR_SUCCESSFUL);
  ASSERT_EQ(beDeinitStream(stream, buffer.data(), &bytes), BE_ERR_SUCCESSFUL);

  const QString missing = folder.File("missing.mp3");
  EXPECT_EQ(beWriteInfoTag(stream, QFile::encodeName(missing).constData()),
            BE_ERR_INVALID_FORMAT_PARAMETERS);
  EXPECT_FALSE(QFile::exists(missing));
  const QString truncated = folder.File("truncated.mp3");
  testutil::WriteFile(truncated, QByteArray(10, 'x'));
  EXPECT_EQ(beWriteInfoTag(stream, QFile::encodeName(truncated).constData()),
            BE_ERR_INVALID_FORMAT_PARAMETERS);
  EXPECT_EQ(ReadFile(truncated), QByteArray(10, 'x'));
  beCloseStream(stream);
}

namespace {

QByteArray Sine(double hertz, int frames) {
  QByteArray pcm(frames * 4, '\0');
  auto* samples = reinterpret_cast<int16_t*>(pcm.data());
  for (int i = 0; i < frames; ++i)
    samples[2 * i] = samples[2 * i + 1] = int16_t(10000 * std::sin(2 * M_PI * hertz * i / 44100));
  return pcm;
}

double DecodedRms(const QString& path) {
  QByteArray pcm;
  EXPECT_EQ(testutil::RunProgram("mpg123", {"-q", "-s", path}, &pcm), 0);
  const auto* samples = reinterpret_cast<const int16_t*>(pcm.constData());
  const qsizetype count = pcm.size() / 2;
  double sum = 0;
  for (qsizetype i = 0; i < count; ++i) sum += double(samples[i]) * samples[i];
  return count ? std::sqrt(sum / double(count)) : 0;
}

}  // namespace

TEST(LameEnc, VoicePresetDropsWhatSpeechDoesNotNeed) {
  testutil::TTempFolder folder;
  const QByteArray tone = Sine(15000, 22050);
  BE_CONFIG config = StereoConfig();
  config.format.LHV1.nPreset = LQP_NORMAL_QUALITY;
  Encode(config, tone, folder.File("normal.mp3"), false);
  config.format.LHV1.nPreset = LQP_VOICE_QUALITY;
  Encode(config, tone, folder.File("voice.mp3"), false);
  EXPECT_GT(DecodedRms(folder.File("normal.mp3")), 3000);
  EXPECT_LT(DecodedRms(folder.File("voice.mp3")), 300);
}

TEST(LameEnc, ValidQualityWordOverridesThePreset) {
  testutil::TTempFolder folder;
  const QByteArray pcm = TonePcm(22050);
  BE_CONFIG config = StereoConfig();
  config.format.LHV1.nPreset = LQP_HIGH_QUALITY;
  const QByteArray high = Encode(config, pcm, folder.File("high.mp3")).Mp3;
  config.format.LHV1.nPreset = LQP_LOW_QUALITY;
  const QByteArray low = Encode(config, pcm, folder.File("low.mp3")).Mp3;
  EXPECT_NE(high, low);
  config.format.LHV1.nQuality = uint16_t(2 | (~2 & 0xFF) << 8);
  EXPECT_EQ(Encode(config, pcm, folder.File("override.mp3")).Mp3, high);
  config.format.LHV1.nQuality = 2;  // high byte not the complement: ignored
  EXPECT_EQ(Encode(config, pcm, folder.File("ignored.mp3")).Mp3, low);
}

TEST(LameEnc, StreamsOnSeveralThreadsAtOnceGiveTheBytesOfOneThread) {
  testutil::TTempFolder temp;
  // Different settings per stream, so a stream that read another's state
  // would show in its bytes.
  std::vector<BE_CONFIG> configs(4, StereoConfig(192));
  configs[1].format.LHV1.nMode = BE_MP3_MODE_JSTEREO;
  configs[2].format.LHV1.bEnableVBR = 1;
  configs[2].format.LHV1.bWriteVBRHeader = 1;
  configs[3].format.LHV1.nPreset = LQP_HIGH_QUALITY;
  const QByteArray pcm = TonePcm(44100 * 2);

  std::vector<QByteArray> alone;
  for (size_t i = 0; i < configs.size(); ++i)
    alone.push_back(Encode(configs[i], pcm, temp.File(QString("alone%1.mp3").arg(i))).Mp3);

  constexpr int kRounds = 3;
  std::vector<std::vector<QByteArray>> together(configs.size(), std::vector<QByteArray>(kRounds));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < configs.size(); ++i)
    threads.emplace_back([&, i] {
      for (int round = 0; round < kRounds; ++round)
        together[i][size_t(round)] =
            Encode(configs[i], pcm, temp.File(QString("together%1-%2.mp3").arg(i).arg(round))).Mp3;
    });
  // Meanwhile the handle table churns: streams opened and closed at once.
  threads.emplace_back([] {
    const BE_CONFIG config = StereoConfig();
    for (int i = 0; i < 200; ++i) {
      uint32_t samples = 0, size = 0;
      HBE_STREAM stream = 0;
      ASSERT_EQ(beInitStream(&config, &samples, &size, &stream), BE_ERR_SUCCESSFUL);
      ASSERT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
    }
  });
  for (std::thread& thread : threads) thread.join();

  for (size_t i = 0; i < configs.size(); ++i) {
    ASSERT_FALSE(alone[i].isEmpty());
    for (int round = 0; round < kRounds; ++round)
      EXPECT_TRUE(together[i][size_t(round)] == alone[i]) << "stream " << i << " round " << round;
  }
}
