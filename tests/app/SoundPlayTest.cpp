// The completion sound: PCM WAV files play to their end through ALSA's null
// device; files that are no playable WAV are refused at once.
#include "app/SoundPlay.h"

#include <QtEndian>

#include "common/TestUtil.h"

using namespace testutil;

namespace {

QByteArray Wave(int channels, int bits, int rate, const QByteArray& data, qint64 statedSize = -1) {
  QByteArray h(44, '\0');
  auto put32 = [&h](int at, quint32 v) { qToLittleEndian(v, h.data() + at); };
  auto put16 = [&h](int at, quint16 v) { qToLittleEndian(v, h.data() + at); };
  h.replace(0, 4, "RIFF");
  put32(4, quint32(data.size() + 36));
  h.replace(8, 8, "WAVEfmt ");
  put32(16, 16);
  put16(20, 1);
  put16(22, quint16(channels));
  put32(24, quint32(rate));
  put32(28, quint32(rate * channels * bits / 8));
  put16(32, quint16(channels * bits / 8));
  put16(34, quint16(bits));
  h.replace(36, 4, "data");
  put32(40, quint32(statedSize < 0 ? data.size() : statedSize));
  return h + data;
}

TEST(SoundPlayer, PlaysAWaveToItsEnd) {
  TTempFolder temp;
  const QString file = temp.File("done.wav");
  WriteFile(file, Wave(2, 16, 44100, QByteArray(44100 * 4 / 10, '\x10')));
  TSoundPlayer player("null");
  ASSERT_TRUE(player.Play(file));
  EXPECT_TRUE(WaitFor([&] { return !player.Playing(); }));
  // A second sound after the first, and one whose header overstates its data.
  WriteFile(file, Wave(1, 8, 22050, QByteArray(2205, '\x80'), 1000000));
  ASSERT_TRUE(player.Play(file));
  EXPECT_TRUE(WaitFor([&] { return !player.Playing(); }));
}

TEST(SoundPlayer, RefusesWhatIsNoPlayableWave) {
  TTempFolder temp;
  TSoundPlayer player("null");
  const QByteArray good = Wave(2, 16, 44100, QByteArray(400, '\0'));
  struct {
    const char* Name;
    QByteArray Bytes;
  } cases[] = {
      {"empty", QByteArray()},
      {"truncated header", good.left(30)},
      {"not RIFF", QByteArray("RIFX") + good.mid(4)},
      {"24-bit", Wave(2, 24, 44100, QByteArray(600, '\0'))},
      {"no data chunk", good.left(36)},
      {"compressed", QByteArray(good).replace(20, 2, QByteArray("\x55\x00", 2))},
  };
  for (const auto& c : cases) {
    const QString file = temp.File("bad.wav");
    WriteFile(file, c.Bytes);
    EXPECT_FALSE(player.Play(file)) << c.Name;
    EXPECT_FALSE(player.Playing()) << c.Name;
  }
  EXPECT_FALSE(player.Play(temp.File("missing.wav")));
  WriteFile(temp.File("ok.wav"), good);
  EXPECT_FALSE(TSoundPlayer("no-such-device").Play(temp.File("ok.wav")));
}

}  // namespace
