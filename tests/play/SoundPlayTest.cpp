// The completion sound: PCM WAV files play to their end through ALSA's null
// device; files that are no playable WAV are refused at once.
#include "play/SoundPlay.h"
#include "common/SoundOutput.h"
#include "common/TestUtil.h"

using namespace testutil;

namespace {

TEST(SoundPlayer, PlaysAWaveToItsEnd) {
  TTempFolder temp;
  const QString file = temp.File("done.wav");
  WriteFile(file, WaveFile(2, 16, 44100, QByteArray(44100 * 4 / 10, '\x10')));
  TSoundPlayer player("null");
  ASSERT_TRUE(player.Play(file));
  EXPECT_TRUE(WaitFor([&] { return !player.Playing(); }));
  // A second sound after the first, and one whose header overstates its data.
  WriteFile(file, WaveFile(1, 8, 22050, QByteArray(2205, '\x80'), 1000000));
  ASSERT_TRUE(player.Play(file));
  EXPECT_TRUE(WaitFor([&] { return !player.Playing(); }));
}

TEST(SoundPlayer, TheSoundReachesTheDefaultOutputSampleForSample) {
  TTempFolder temp;
  TAlsaFileOutput output;
  QByteArray data(4 * 3000, '\0');
  for (qsizetype i = 0; i < data.size(); ++i) data[i] = char(i * 7 % 251);
  WriteFile(temp.File("done.wav"), WaveFile(2, 16, 44100, data));
  TSoundPlayer player;
  ASSERT_TRUE(player.Play(temp.File("done.wav")));
  ASSERT_TRUE(WaitFor([&] { return !player.Playing(); }, 10000));
  EXPECT_TRUE(StartsWithThenSilence(output.Captured(), data));
}

TEST(SoundPlayer, RefusesWhatIsNoPlayableWave) {
  TTempFolder temp;
  TSoundPlayer player("null");
  const QByteArray good = WaveFile(2, 16, 44100, QByteArray(400, '\0'));
  struct {
    const char* Name;
    QByteArray Bytes;
  } cases[] = {
      {"empty", QByteArray()},
      {"truncated header", good.left(30)},
      {"not RIFF", QByteArray("RIFX") + good.mid(4)},
      {"24-bit", WaveFile(2, 24, 44100, QByteArray(600, '\0'))},
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
