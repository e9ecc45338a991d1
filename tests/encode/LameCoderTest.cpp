// TLameCoder: its settings, the stream calls the ripping component uses, and
// batch mode with its events, abort and failures, judged by mpg123 and ffprobe.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <vector>

#include "common/TestUtil.h"
#include "encode/LameCoder.h"
#include "libs/lame_enc/Mp3Check.h"

using testutil::ProbeMp3;
using testutil::ReadFile;
using testutil::TonePcm;
using testutil::WavFile;
using testutil::WriteFile;

namespace {

constexpr int kFrame = 1152;

// Records the events of a batch run as text, one entry per event.
struct TEventLog {
  QStringList Events;
  std::vector<int> Progress;

  void Attach(TLameCoder& coder) {
    coder.OnBeginProcess = [this](TLameCoder*) { Events << "begin"; };
    coder.OnEndProcess = [this](TLameCoder*) { Events << "end"; };
    coder.OnBeginFile = [this](TLameCoder*, uint16_t num, const QString& name) {
      Events << QString("file %1 %2").arg(num).arg(name);
    };
    coder.OnEndFile = [this](TLameCoder*, uint16_t num, const QString& name) {
      Events << QString("done %1 %2").arg(num).arg(name);
    };
    coder.OnProgress = [this](TLameCoder*, uint16_t percent) { Progress.push_back(percent); };
  }
};

std::string RaisedBy(TLameCoder& coder) {
  try {
    coder.EncodeFiles();
  } catch (const ELameError& error) {
    return error.what();
  }
  return "nothing raised";
}

}  // namespace

TEST(LameCoder, SettingsAndTheirSideEffects) {
  TLameCoder coder;
  EXPECT_EQ(coder.SampleRate(), 44100u);
  EXPECT_EQ(coder.Bitrate(), 128u);
  EXPECT_EQ(coder.MaxBitrate(), 320u);
  EXPECT_TRUE(coder.CRC());
  EXPECT_EQ(coder.Mode(), TLameMode::STEREO);
  EXPECT_EQ(coder.VBRQuality(), 4);
  EXPECT_EQ(coder.DefaultExt(), ".mp3");

  coder.SetEnableVBR(true);
  coder.SetWriteVBRHeader(false);
  EXPECT_TRUE(coder.EnableVBR());
  EXPECT_FALSE(coder.WriteVBRHeader());
  coder.SetWriteVBRHeader(false);
  coder.SetEnableVBR(true);
  EXPECT_TRUE(coder.WriteVBRHeader());
  coder.SetEnableVBR(false);
  EXPECT_FALSE(coder.WriteVBRHeader());

  coder.SetInputFiles({"/A/x.wav", "/A/y", "/A.b/z", "/A/t.rip.wav"});
  EXPECT_EQ(coder.OutputFiles(), QStringList({"/A/x.mp3", "/A/y.mp3", "/A.b/z.mp3", "/A/t.rip.mp3"}));

  TLameCoder copy;
  coder.SetMode(TLameMode::MONO);
  coder.SetBitrate(96);
  coder.SetQuality(MPEG_QUALITY::HIGH_QUALITY);
  coder.SetOriginal(true);
  coder.SetVBRQuality(1);
  copy.Assign(coder);
  EXPECT_EQ(copy.Mode(), TLameMode::MONO);
  EXPECT_EQ(copy.Bitrate(), 96u);
  EXPECT_EQ(copy.Quality(), MPEG_QUALITY::HIGH_QUALITY);
  EXPECT_TRUE(copy.Original());
  EXPECT_EQ(copy.VBRQuality(), 1);
  EXPECT_TRUE(copy.InputFiles().isEmpty()) << "file lists are not settings";

  BE_VERSION version;
  beVersion(&version);
  EXPECT_EQ(coder.LameVersion().MajorVersion(), version.byMajorVersion);
  EXPECT_EQ(coder.LameVersion().MinorVersion(), version.byMinorVersion);
  EXPECT_EQ(coder.LameVersion().DLLMajorVersion(), version.byDLLMajorVersion);
}

TEST(LameCoder, StreamModeTakesExactlySamplesPerChunkValues) {
  testutil::TTempFolder folder;
  for (const TLameMode mode : {TLameMode::STEREO, TLameMode::MONO}) {
    const int channels = mode == TLameMode::MONO ? 1 : 2;
    TLameCoder coder;
    coder.SetMode(mode);
    coder.SetEnableVBR(true);
    ASSERT_EQ(coder.InitStream(), 0u);
    ASSERT_EQ(coder.SamplesPerChunk(), uint32_t(kFrame * channels));
    const int chunks = 40;
    const QByteArray pcm = TonePcm(chunks * kFrame, channels);
    const QString path = folder.File(QString("stream%1.mp3").arg(channels));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    std::vector<uint8_t> buffer(coder.Mp3BufferSize());
    const auto* samples = reinterpret_cast<const int16_t*>(pcm.constData());
    for (int i = 0; i < chunks; ++i) {
      uint32_t bytes = 0;
      ASSERT_EQ(coder.EncodeChunk(samples + i * coder.SamplesPerChunk(), buffer.data(), &bytes), 0u);
      file.write(reinterpret_cast<const char*>(buffer.data()), bytes);
    }
    uint32_t bytes = 0;
    ASSERT_EQ(coder.DeinitStream(buffer.data(), &bytes), 0u);
    file.write(reinterpret_cast<const char*>(buffer.data()), bytes);
    file.close();
    EXPECT_EQ(coder.WriteInfoTag(path), 0u);
    coder.CloseStream();
    EXPECT_EQ(coder.SamplesPerChunk(), 0u);

    const testutil::TMp3Probe probe = ProbeMp3(path);
    EXPECT_EQ(probe.Channels, channels);
    EXPECT_EQ(probe.DecodedFrames, chunks * kFrame) << "channels " << channels;
    EXPECT_EQ(probe.RateKind, "vbr");
  }
}

// A refused configuration must not leave a stream that later calls encode on.
TEST(LameCoder, RefusedInitStreamLeavesNoStream) {
  testutil::TTempFolder folder;
  TLameCoder coder;
  coder.SetBitrate(100);
  EXPECT_EQ(coder.InitStream(), uint32_t(BE_ERR_INVALID_FORMAT_PARAMETERS));
  EXPECT_EQ(coder.SamplesPerChunk(), 0u);
  EXPECT_EQ(coder.Mp3BufferSize(), 0u);
  int16_t samples[4] = {};
  uint8_t buffer[16];
  uint32_t bytes = 0;
  EXPECT_EQ(coder.EncodeChunk(samples, buffer, &bytes), uint32_t(BE_ERR_INVALID_HANDLE));
  EXPECT_EQ(coder.DeinitStream(buffer, &bytes), uint32_t(BE_ERR_INVALID_HANDLE));

  const QString input = folder.File("a.wav");
  WriteFile(input, WavFile(TonePcm(kFrame)));
  coder.SetInputFiles({input});
  TEventLog log;
  log.Attach(coder);
  EXPECT_EQ(RaisedBy(coder),
            "The MP3 encoder refuses its settings: 100 kbit/s is no MP3 bit rate at 44100 Hz");
  EXPECT_EQ(log.Events, QStringList({"begin"}));
  EXPECT_FALSE(QFile::exists(coder.OutputFiles()[0]));
}

TEST(LameCoder, EmptyListFiresOnlyTheProcessEvents) {
  TLameCoder coder;
  TEventLog log;
  log.Attach(coder);
  coder.EncodeFiles();
  EXPECT_EQ(log.Events, QStringList({"begin", "end"}));
  EXPECT_TRUE(log.Progress.empty());
}

TEST(LameCoder, BatchEncodesEachFileWithItsEvents) {
  testutil::TTempFolder folder;
  TLameCoder coder;
  coder.SetBitrate(192);
  coder.SetMode(TLameMode::JSTEREO);
  const int chunkBytes = kFrame * 2 * 4;  // SamplesPerChunk stereo values times block align 4
  // One data length an exact multiple of the chunk, one with a remainder.
  const int framesA = 3 * chunkBytes / 4;
  const int framesB = framesA + 25;
  const QString a = folder.File("a.wav"), b = folder.File("b.wav");
  WriteFile(a, WavFile(TonePcm(framesA)));
  WriteFile(b, WavFile(TonePcm(framesB)));
  coder.SetInputFiles({a, b});
  TEventLog log;
  std::vector<std::vector<int>> progressPerFile;
  log.Attach(coder);
  coder.OnEndFile = [&](TLameCoder*, uint16_t num, const QString& name) {
    log.Events << QString("done %1 %2").arg(num).arg(name);
    progressPerFile.push_back(log.Progress);
    log.Progress.clear();
  };
  coder.EncodeFiles();

  EXPECT_EQ(log.Events, QStringList({"begin", "file 0 " + a, "done 0 " + folder.File("a.mp3"),
                                     "file 1 " + b, "done 1 " + folder.File("b.mp3"), "end"}));
  ASSERT_EQ(progressPerFile.size(), 2u);
  EXPECT_EQ(progressPerFile[0], std::vector<int>({33, 66, 100}));
  ASSERT_EQ(progressPerFile[1].size(), 4u) << "the remainder is one shorter last read";
  EXPECT_EQ(progressPerFile[1].back(), 100);

  const testutil::TMp3Probe probeA = ProbeMp3(folder.File("a.mp3"));
  EXPECT_EQ(probeA.BitRate, 192000);
  EXPECT_EQ(probeA.Mode, "j-s");
  const testutil::TMp3Probe probeB = ProbeMp3(folder.File("b.mp3"));
  EXPECT_EQ(probeB.DecodedFrames, framesB) << "a CBR file carries the Info frame too";
}

TEST(LameCoder, BatchWithVbrHeaderGivesTheExactLength) {
  testutil::TTempFolder folder;
  TLameCoder coder;
  coder.SetEnableVBR(true);
  coder.SetVBRQuality(2);
  const int frames = 44100 * 2 + 333;
  const QString input = folder.File("track.wav");
  WriteFile(input, WavFile(TonePcm(frames)));
  coder.SetInputFiles({input});
  coder.EncodeFiles();
  const testutil::TMp3Probe probe = ProbeMp3(folder.File("track.mp3"));
  EXPECT_EQ(probe.RateKind, "vbr");
  EXPECT_EQ(probe.DecodedFrames, frames);
  EXPECT_NEAR(probe.Duration, double(frames) / 44100, 2.0 * kFrame / 44100);
  EXPECT_EQ(ReadFile(folder.File("track.mp3")).mid(36, 4), "Xing");
}

// CD audio is stereo: a mono encoder would otherwise read every stereo frame
// as two mono samples and give a file twice as long.
TEST(LameCoder, MonoModeMixesStereoWavDown) {
  testutil::TTempFolder folder;
  TLameCoder coder;
  coder.SetMode(TLameMode::MONO);
  coder.SetBitrate(64);
  coder.SetWriteVBRHeader(true);
  const int frames = 44100 + 77;
  const QString input = folder.File("stereo.wav");
  WriteFile(input, WavFile(TonePcm(frames)));
  coder.SetInputFiles({input});
  coder.EncodeFiles();
  const testutil::TMp3Probe probe = ProbeMp3(folder.File("stereo.mp3"));
  EXPECT_EQ(probe.Channels, 1);
  EXPECT_EQ(probe.Mode, "mono");
  EXPECT_EQ(probe.DecodedFrames, frames);
}

TEST(LameCoder, HeaderOnlyWavStillFlushes) {
  testutil::TTempFolder folder;
  TLameCoder coder;
  const QString input = folder.File("empty.wav");
  WriteFile(input, WavFile(QByteArray()));
  coder.SetInputFiles({input});
  TEventLog log;
  log.Attach(coder);
  coder.EncodeFiles();
  EXPECT_TRUE(log.Progress.empty());
  EXPECT_EQ(log.Events.size(), 4);
  EXPECT_TRUE(QFile::exists(folder.File("empty.mp3")));
}

TEST(LameCoder, FileWithoutWaveMarkIsRawPcmFromByteZero) {
  testutil::TTempFolder folder;
  const int frames = 20 * kFrame;
  for (const TLameMode mode : {TLameMode::STEREO, TLameMode::MONO}) {
    const int channels = mode == TLameMode::MONO ? 1 : 2;
    TLameCoder coder;
    coder.SetMode(mode);
    coder.SetWriteVBRHeader(true);
    const QString input = folder.File(QString("raw%1.pcm").arg(channels));
    WriteFile(input, TonePcm(frames, channels));
    coder.SetInputFiles({input});
    TEventLog log;
    log.Attach(coder);
    coder.EncodeFiles();
    // Reads of 2 * SamplesPerChunk bytes, SamplesPerChunk bytes for mono.
    EXPECT_EQ(log.Progress.size(), channels == 2 ? 20u : 40u) << "channels " << channels;
    const testutil::TMp3Probe probe = ProbeMp3(coder.OutputFiles()[0]);
    EXPECT_EQ(probe.Channels, channels);
    EXPECT_EQ(probe.DecodedFrames, frames) << "the first 44 bytes are audio too";
  }
}

TEST(LameCoder, StopEncodingEndsAfterTheChunkInHand) {
  testutil::TTempFolder folder;
  TLameCoder coder;
  const QString a = folder.File("a.wav"), b = folder.File("b.wav");
  WriteFile(a, WavFile(TonePcm(44100 * 2)));
  WriteFile(b, WavFile(TonePcm(44100)));
  coder.SetInputFiles({a, b});
  TEventLog log;
  log.Attach(coder);
  // Queued before the run: only the event loop that EncodeFiles pumps can deliver it.
  QTimer::singleShot(0, [&] { coder.StopEncoding(); });
  coder.EncodeFiles();
  EXPECT_EQ(log.Events, QStringList({"begin", "file 0 " + a}));
  EXPECT_EQ(log.Progress.size(), 1u);
  EXPECT_TRUE(QFile::exists(folder.File("a.mp3")));
  EXPECT_FALSE(QFile::exists(folder.File("b.mp3")));

  log.Events.clear();
  coder.EncodeFiles();
  EXPECT_EQ(log.Events.last(), "end") << "the next run clears the abort flag";
}

TEST(LameCoder, ShortFilesAreReadErrorsNotTheLastHeader) {
  testutil::TTempFolder folder;
  TLameCoder coder;
  const QString good = folder.File("good.wav"), truncated = folder.File("short.wav"),
                after = folder.File("after.wav");
  WriteFile(good, WavFile(TonePcm(kFrame)));
  WriteFile(truncated, WavFile(TonePcm(kFrame)).left(30));
  WriteFile(after, WavFile(TonePcm(kFrame)));
  coder.SetInputFiles({good, truncated, after});
  TEventLog log;
  log.Attach(coder);
  EXPECT_EQ(RaisedBy(coder), "Read Error");
  EXPECT_EQ(log.Events.last(), "file 1 " + truncated);
  EXPECT_FALSE(QFile::exists(folder.File("after.mp3"))) << "later files are not attempted";
  EXPECT_EQ(coder.SamplesPerChunk(), 0u) << "the stream is closed";

  // Only one or two channels of 16 bits: 0 would read nothing forever, 0xFFFF
  // would take a 151 MB buffer for a small file, 8 would overrun the stream.
  for (const uint16_t align : {0, 1, 3, 8, 0xFFFF}) {
    QByteArray bad = WavFile(TonePcm(3 * kFrame));
    bad[32] = char(align & 0xFF);
    bad[33] = char(align >> 8);
    WriteFile(good, bad);
    coder.SetInputFiles({good});
    EXPECT_EQ(RaisedBy(coder), "Read Error") << "block align " << align;
    EXPECT_EQ(QFileInfo(folder.File("good.mp3")).size(), 0) << "block align " << align;
  }
}

TEST(LameCoder, FileSystemFailuresRaise) {
  testutil::TTempFolder folder;
  TLameCoder coder;
  coder.SetInputFiles({folder.File("missing.wav")});
  EXPECT_NE(RaisedBy(coder).find("Cannot open file"), std::string::npos);

  // /dev/full takes the open and fails every write with ENOSPC.
  const QString longWav = folder.File("long.wav"), tiny = folder.File("tiny.wav");
  WriteFile(longWav, WavFile(TonePcm(44100)));
  WriteFile(tiny, WavFile(TonePcm(kFrame)));
  coder.SetInputFiles({longWav});
  coder.SetOutputFiles({"/dev/full"});
  EXPECT_EQ(RaisedBy(coder), "Write Error");
  // One chunk gives only the placeholder of the Info frame; the audio's
  // frames come with the flush, which the full disk refuses.
  coder.SetInputFiles({tiny});
  coder.SetOutputFiles({folder.File("flush.mp3")});
  {
    testutil::TFileSizeLimit limit(600);
    EXPECT_EQ(RaisedBy(coder), "Write error");
  }

  coder.SetInputFiles({tiny});
  coder.SetOutputFiles({folder.File("no/such/folder/x.mp3")});
  EXPECT_NE(RaisedBy(coder).find("Cannot create file"), std::string::npos);
}
