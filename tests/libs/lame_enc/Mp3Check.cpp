#include "Mp3Check.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

#include "common/TestUtil.h"

namespace testutil {

namespace {

void PutLE(QByteArray& bytes, int offset, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[offset + i] = char((value >> (8 * i)) & 0xFF);
}

constexpr int kMpeg1Layer3Kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kMpeg1Rates[4] = {44100, 48000, 32000, 0};

}  // namespace

QByteArray TonePcm(int sampleFrames, int channels, int sampleRate) {
  QByteArray pcm(qsizetype(sampleFrames) * channels * 2, '\0');
  uint32_t noise = 12345;
  for (int i = 0; i < sampleFrames; ++i) {
    for (int c = 0; c < channels; ++c) {
      noise = noise * 1103515245u + 12345u;
      const double tone = std::sin(2 * M_PI * (440.0 + 220.0 * c) * i / sampleRate);
      const int value = int(12000 * tone) + int((noise >> 16) % 512) - 256;
      PutLE(pcm, (i * channels + c) * 2, uint16_t(int16_t(value)), 2);
    }
  }
  return pcm;
}

QByteArray WavFile(const QByteArray& pcm, int channels, int sampleRate) {
  QByteArray header(44, '\0');
  const uint32_t dataSize = uint32_t(pcm.size());
  header.replace(0, 4, "RIFF");
  PutLE(header, 4, dataSize + 36, 4);
  header.replace(8, 4, "WAVE");
  header.replace(12, 4, "fmt ");
  PutLE(header, 16, 16, 4);
  PutLE(header, 20, 1, 2);
  PutLE(header, 22, uint32_t(channels), 2);
  PutLE(header, 24, uint32_t(sampleRate), 4);
  PutLE(header, 28, uint32_t(channels * sampleRate * 2), 4);
  PutLE(header, 32, uint32_t(channels * 2), 2);
  PutLE(header, 34, 16, 2);
  header.replace(36, 4, "data");
  PutLE(header, 40, dataSize, 4);
  return header + pcm;
}

TMp3Probe ProbeMp3(const QString& path) {
  TMp3Probe probe;
  QByteArray out;
  EXPECT_EQ(RunProgram("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                   "stream=duration,bit_rate,channels,sample_rate", "-of",
                                   "default=nw=1", path},
                       &out),
            0)
      << path.toStdString();
  for (const QByteArray& line : out.split('\n')) {
    const QList<QByteArray> pair = line.trimmed().split('=');
    if (pair.size() != 2) continue;
    if (pair[0] == "duration") probe.Duration = pair[1].toDouble();
    if (pair[0] == "bit_rate") probe.BitRate = pair[1].toInt();
    if (pair[0] == "channels") probe.Channels = pair[1].toInt();
    if (pair[0] == "sample_rate") probe.SampleRate = pair[1].toInt();
  }

  QByteArray err;
  EXPECT_EQ(RunProgram("mpg123", {"-t", "-v", path}, nullptr, &err), 0) << path.toStdString();
  const QRegularExpression format(R"(MPEG \S+ L III (\S+) \d+ (\S+))");
  const QRegularExpressionMatch match = format.match(QString::fromUtf8(err));
  EXPECT_TRUE(match.hasMatch()) << err.toStdString();
  probe.RateKind = match.captured(1);
  probe.Mode = match.captured(2);

  QByteArray pcm;
  EXPECT_EQ(RunProgram("mpg123", {"-q", "-s", path}, &pcm), 0) << path.toStdString();
  if (probe.Channels > 0) probe.DecodedFrames = pcm.size() / (2 * probe.Channels);
  return probe;
}

TFrameHeader FrameHeaderAt(const QByteArray& mp3, int offset) {
  TFrameHeader header;
  if (offset < 0 || offset + 4 > mp3.size()) return header;
  const auto byte = [&](int i) { return uint8_t(mp3[offset + i]); };
  if (byte(0) != 0xFF || (byte(1) & 0xE0) != 0xE0) return header;
  header.Valid = true;
  header.Crc = (byte(1) & 0x01) == 0;
  header.BitrateIndex = byte(2) >> 4;
  header.Private = (byte(2) & 0x01) != 0;
  header.ModeBits = byte(3) >> 6;
  header.Copyright = (byte(3) & 0x08) != 0;
  header.Original = (byte(3) & 0x04) != 0;
  return header;
}

int SecondFrameOffset(const QByteArray& mp3) {
  const TFrameHeader first = FrameHeaderAt(mp3, 0);
  if (!first.Valid || (uint8_t(mp3[1]) & 0x18) != 0x18) return -1;  // MPEG-1 only
  const int rate = kMpeg1Rates[(uint8_t(mp3[2]) >> 2) & 3];
  const int padding = (uint8_t(mp3[2]) >> 1) & 1;
  if (rate == 0) return -1;
  return 144000 * kMpeg1Layer3Kbps[first.BitrateIndex] / rate + padding;
}

}  // namespace testutil
