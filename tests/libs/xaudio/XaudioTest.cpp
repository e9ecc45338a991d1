// The player library through its C interface: sound reaches ALSA's default
// PCM (a file output made by the test) as the decoded samples, commands are
// answered, bad input ends in an error notification, and the master level
// moves a real PulseAudio sink.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QtEndian>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "common/SoundOutput.h"
#include "common/TestUtil.h"
#include "libs/xaudio/Decoder.h"
#include "libs/xaudio/xaudio.h"

using namespace testutil;

namespace {

// A decoded notification with its text kept.
struct TNote {
  XA_Message Message{};
  std::string Text;
  int32_t Code() const { return Message.code; }
};

// A player and the read end of its notification pipe.
class TPlayer {
 public:
  TPlayer() {
    EXPECT_EQ(pipe2(FPipe, O_CLOEXEC), 0);
    EXPECT_EQ(player_new(&FPlayer, &FPipe[1]), XA_SUCCESS);
  }
  ~TPlayer() {
    if (FPlayer) player_delete(FPlayer);
    close(FPipe[0]);
    close(FPipe[1]);
  }
  void* Handle() const { return FPlayer; }
  void Delete() {
    player_delete(FPlayer);
    FPlayer = nullptr;
  }

  // Reads notifications until one satisfies `match`; every one read is kept
  // in Seen. Fails the test at the deadline.
  TNote WaitFor(const std::function<bool(const TNote&)>& match, int timeoutMs = 20000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
      pollfd fd{FPipe[0], POLLIN, 0};
      if (poll(&fd, 1, int(std::min<qint64>(deadline.remainingTime(), 100))) <= 0) continue;
      TXaNotifyPacket packet{};
      if (read(FPipe[0], &packet, sizeof packet) != ssize_t(sizeof packet)) break;
      TNote note;
      if (control_win32_params_to_message(FPlayer, &note.Message, packet.code, packet.wparam,
                                          packet.lparam) != XA_SUCCESS) {
        ADD_FAILURE() << "undecodable packet " << packet.code;
        continue;
      }
      if (note.Code() == XA_MSG_NOTIFY_ERROR && note.Message.data.error.message)
        note.Text = note.Message.data.error.message;
      Seen.push_back(note);
      if (match(note)) return note;
    }
    ADD_FAILURE() << "no matching notification before the deadline";
    return {};
  }
  TNote WaitForCode(int32_t code) {
    return WaitFor([code](const TNote& n) { return n.Code() == code; });
  }
  TNote WaitForState(int32_t state) {
    return WaitFor([state](const TNote& n) {
      return n.Code() == XA_MSG_NOTIFY_PLAYER_STATE && n.Message.data.state == state;
    });
  }
  // The answer to a command: its ack or nack.
  TNote Answer(int32_t command) {
    return WaitFor([command](const TNote& n) {
      return (n.Code() == XA_MSG_NOTIFY_ACK && n.Message.data.command == command) ||
             (n.Code() == XA_MSG_NOTIFY_NACK && n.Message.data.nack.command == command);
    });
  }
  bool SawCode(int32_t code) const { return Last(code).Code() == code; }
  TNote Last(int32_t code) const {
    for (auto n = Seen.rbegin(); n != Seen.rend(); ++n)
      if (n->Code() == code) return *n;
    return {};
  }

  std::vector<TNote> Seen;

 private:
  int FPipe[2] = {-1, -1};
  void* FPlayer = nullptr;
};

// 16-bit stereo samples that differ in every frame.
QByteArray Tone(int frames, int rate = 44100) {
  QByteArray pcm(qsizetype(frames) * 4, '\0');
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    qToLittleEndian(qint16(9000 * std::sin(2 * M_PI * 440 * t) + (i % 7)), pcm.data() + 4 * i);
    qToLittleEndian(qint16(7000 * std::sin(2 * M_PI * 660 * t) - (i % 5)), pcm.data() + 4 * i + 2);
  }
  return pcm;
}

class XaudioTest : public ::testing::Test {
 protected:
  QString Wave(const QString& name, const QByteArray& pcm, int channels = 2, int bits = 16) {
    const QString path = FTemp.File(name);
    WriteFile(path, WaveFile(channels, bits, 44100, pcm));
    return path;
  }
  // An MP3 made by the lame encoder from a tone, and what mpg123 decodes it to.
  QString Mp3(const QString& name, QByteArray& decoded) {
    const QString wav = Wave(name + ".wav", Tone(44100));
    const QString mp3 = FTemp.File(name);
    EXPECT_EQ(RunProgram("lame", {"--quiet", "-b", "128", wav, mp3}), 0);
    EXPECT_EQ(RunProgram("mpg123", {"-q", "-s", mp3}, &decoded), 0);
    return mp3;
  }
  void Open(TPlayer& player, const QString& path) {
    ASSERT_EQ(control_message_send_S(player.Handle(), XA_MSG_COMMAND_INPUT_OPEN,
                                     path.toLocal8Bit().constData()),
              XA_SUCCESS);
  }
  void Send(TPlayer& player, int32_t code) {
    ASSERT_EQ(control_message_send_N(player.Handle(), code), XA_SUCCESS);
  }

  TTempFolder FTemp;
  TAlsaFileOutput FOutput;
};

TEST_F(XaudioTest, ReportsInterfaceVersionAndErrorTexts) {
  EXPECT_EQ(xaudio_get_version(XA_API_ID_SYNC), 0x030800u);
  EXPECT_EQ(xaudio_get_version(XA_API_ID_SYNC) >> 16 & 0xFF, 3u);
  EXPECT_EQ(xaudio_get_version(XA_API_ID_SYNC) >> 8 & 0xFF, 8u);
  EXPECT_STREQ(xaudio_error_string(XA_ERROR_NO_MIXER), "no mixer control");
  EXPECT_STREQ(xaudio_error_string(12345), "unknown error");
  void* none = nullptr;
  EXPECT_EQ(player_new(&none, nullptr), XA_ERROR_INVALID_PARAMETERS);
  EXPECT_EQ(control_message_send_N(nullptr, XA_MSG_COMMAND_PLAY), XA_ERROR_INVALID_PARAMETERS);
}

TEST_F(XaudioTest, PlaysAnMp3AsItsDecodedSamples) {
  QByteArray decoded;
  const QString mp3 = Mp3("tone.mp3", decoded);
  ASSERT_GT(decoded.size(), 44100 * 4 / 2);
  TPlayer player;
  player.WaitForCode(XA_MSG_NOTIFY_READY);
  Open(player, mp3);
  EXPECT_EQ(player.WaitForCode(XA_MSG_NOTIFY_INPUT_STATE).Message.data.state, XA_INPUT_STATE_OPEN);
  const TNote parameters = player.WaitForCode(XA_MSG_NOTIFY_STREAM_PARAMETERS);
  EXPECT_EQ(parameters.Message.data.parameters.frequency, 44100);
  EXPECT_EQ(parameters.Message.data.parameters.bitrate, 128);
  EXPECT_EQ(parameters.Message.data.parameters.nb_channels, 2);
  const int duration = player.WaitForCode(XA_MSG_NOTIFY_STREAM_DURATION).Message.data.duration_ms;
  EXPECT_NEAR(duration, 1000, 60);
  EXPECT_EQ(player.Answer(XA_MSG_COMMAND_INPUT_OPEN).Code(), XA_MSG_NOTIFY_ACK);

  Send(player, XA_MSG_COMMAND_PLAY);
  player.WaitForState(XA_PLAYER_STATE_PLAYING);
  player.WaitForState(XA_PLAYER_STATE_EOF);
  EXPECT_TRUE(player.SawCode(XA_MSG_NOTIFY_INPUT_TIMECODE));
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), decoded));
  // The last position report is the end of the stream.
  const TNote end = player.Last(XA_MSG_NOTIFY_INPUT_POSITION);
  EXPECT_EQ(end.Message.data.position.offset, end.Message.data.position.range);
}

TEST_F(XaudioTest, PlaysWavesSampleForSampleAndPausesWithoutLosingAny) {
  const QByteArray pcm = Tone(44100 * 20);
  TPlayer player;
  Open(player, Wave("tone.wav", pcm));
  player.WaitForCode(XA_MSG_NOTIFY_INPUT_STATE);
  Send(player, XA_MSG_COMMAND_PLAY);
  player.WaitForCode(XA_MSG_NOTIFY_INPUT_TIMECODE);
  Send(player, XA_MSG_COMMAND_PAUSE);
  // The null device plays faster than real time, so the end may come first.
  const TNote paused = player.WaitFor([](const TNote& n) {
    return n.Code() == XA_MSG_NOTIFY_PLAYER_STATE &&
           (n.Message.data.state == XA_PLAYER_STATE_PAUSED ||
            n.Message.data.state == XA_PLAYER_STATE_EOF);
  });
  if (paused.Message.data.state == XA_PLAYER_STATE_PAUSED) {
    Send(player, XA_MSG_COMMAND_PLAY);
    player.WaitForState(XA_PLAYER_STATE_EOF);
  }
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), pcm));

  // 8-bit mono widens to 16 bits; a new open replaces the input.
  Open(player, Wave("mono.wav", QByteArray("\x00\x80\xff\x40", 4), 1, 8));
  Send(player, XA_MSG_COMMAND_PLAY);
  player.WaitForState(XA_PLAYER_STATE_EOF);
  const QByteArray widened("\x00\x80\x00\x00\x00\x7f\x00\xc0", 8);
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), widened));
}

TEST_F(XaudioTest, SeekStopAndReplayStartWhereTheyShould) {
  const QByteArray pcm = Tone(20000);
  TPlayer player;
  Open(player, Wave("tone.wav", pcm));
  ASSERT_EQ(control_message_send_II(player.Handle(), XA_MSG_COMMAND_INPUT_SEEK, 250, 1000),
            XA_SUCCESS);
  EXPECT_EQ(player.Answer(XA_MSG_COMMAND_INPUT_SEEK).Code(), XA_MSG_NOTIFY_ACK);
  Send(player, XA_MSG_COMMAND_PLAY);
  player.WaitForState(XA_PLAYER_STATE_EOF);
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), pcm.mid(5000 * 4)));

  // Play after the end starts again from the top; Stop rewinds.
  Send(player, XA_MSG_COMMAND_PLAY);
  Send(player, XA_MSG_COMMAND_STOP);
  player.WaitForState(XA_PLAYER_STATE_STOPPED);
  Send(player, XA_MSG_COMMAND_PLAY);
  player.WaitForState(XA_PLAYER_STATE_EOF);
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), pcm));

  ASSERT_EQ(control_message_send_II(player.Handle(), XA_MSG_COMMAND_INPUT_SEEK, 5, 0), XA_SUCCESS);
  EXPECT_EQ(player.Answer(XA_MSG_COMMAND_INPUT_SEEK).Message.data.nack.code,
            XA_ERROR_INVALID_PARAMETERS);
  Send(player, XA_MSG_COMMAND_INPUT_CLOSE);
  EXPECT_EQ(player.WaitForCode(XA_MSG_NOTIFY_INPUT_STATE).Message.data.state,
            XA_INPUT_STATE_CLOSED);
  Send(player, XA_MSG_COMMAND_PLAY);
  EXPECT_EQ(player.Answer(XA_MSG_COMMAND_PLAY).Message.data.nack.code, XA_ERROR_INPUT_NOT_OPEN);
}

TEST_F(XaudioTest, PcmLevelScalesTheSamplesWithoutAMixer) {
  const QByteArray pcm = Tone(5000);
  TPlayer player;
  // This output has no control device: the master level is refused.
  EXPECT_EQ(player.WaitForCode(XA_MSG_NOTIFY_ERROR).Message.data.error.source, XA_SOURCE_MIXER);
  Send(player, XA_MSG_GET_OUTPUT_VOLUME);
  EXPECT_EQ(player.Answer(XA_MSG_GET_OUTPUT_VOLUME).Message.data.nack.code, XA_ERROR_NO_MIXER);
  control_message_send_III(player.Handle(), XA_MSG_SET_OUTPUT_VOLUME, -1, -1, 40);
  EXPECT_EQ(player.Answer(XA_MSG_SET_OUTPUT_VOLUME).Message.data.nack.code, XA_ERROR_NO_MIXER);
  control_message_send_III(player.Handle(), XA_MSG_SET_OUTPUT_VOLUME, -1, 101, -1);
  EXPECT_EQ(player.Answer(XA_MSG_SET_OUTPUT_VOLUME).Message.data.nack.code,
            XA_ERROR_INVALID_PARAMETERS);

  control_message_send_III(player.Handle(), XA_MSG_SET_OUTPUT_VOLUME, -1, 50, -1);
  const TNote volume = player.WaitForCode(XA_MSG_NOTIFY_OUTPUT_VOLUME);
  EXPECT_EQ(volume.Message.data.volume.pcm_level, 50);
  EXPECT_EQ(volume.Message.data.volume.balance, 50);
  EXPECT_EQ(volume.Message.data.volume.master_level, -1);
  Open(player, Wave("tone.wav", pcm));
  Send(player, XA_MSG_COMMAND_PLAY);
  player.WaitForState(XA_PLAYER_STATE_EOF);
  QByteArray halved = pcm;
  for (qsizetype i = 0; i < halved.size(); i += 2)
    qToLittleEndian(qint16(qFromLittleEndian<qint16>(pcm.constData() + i) / 2), halved.data() + i);
  EXPECT_TRUE(StartsWithThenSilence(FOutput.Captured(), halved));
}

TEST_F(XaudioTest, CommandsItDoesNotCarryOutAreRefusedWithTheirCode) {
  TPlayer player;
  const std::vector<int32_t> handled = {0, 2, 3, 4, 5, 6, 7, 8, 9, 22, 57, 58};
  for (int32_t code = 1; code <= XA_MSG_LAST_COMMAND; ++code) {
    if (std::find(handled.begin(), handled.end(), code) != handled.end()) continue;
    ASSERT_EQ(control_message_send_SI(player.Handle(), code, "x", 1), XA_SUCCESS) << code;
    const TNote answer = player.Answer(code);
    EXPECT_EQ(answer.Code(), XA_MSG_NOTIFY_NACK) << code;
    EXPECT_EQ(answer.Message.data.nack.code, XA_ERROR_NOT_SUPPORTED) << code;
  }
  EXPECT_EQ(control_message_send_N(player.Handle(), XA_MSG_LAST_COMMAND + 1),
            XA_ERROR_INVALID_PARAMETERS);
  ASSERT_EQ(control_message_send_I(player.Handle(), XA_MSG_COMMAND_PING, 4711), XA_SUCCESS);
  EXPECT_EQ(player.WaitForCode(XA_MSG_NOTIFY_PONG).Message.data.tag, 4711u);
  Send(player, XA_MSG_COMMAND_SYNC);
  EXPECT_EQ(player.Answer(XA_MSG_COMMAND_SYNC).Code(), XA_MSG_NOTIFY_ACK);
  // A packet the player never sent decodes to nothing.
  XA_Message message{};
  EXPECT_EQ(
      control_win32_params_to_message(player.Handle(), &message, XA_MSG_NOTIFY_ACK, 999999, 0),
      XA_FAILURE);

  EXPECT_EQ(player_set_priority(player.Handle(), 1), XA_SUCCESS);
  EXPECT_EQ(player_get_priority(player.Handle()), 1);
  EXPECT_EQ(player_set_priority(player.Handle(), 7), XA_ERROR_INVALID_PARAMETERS);
  EXPECT_EQ(player_get_priority(player.Handle()), 1);
}

TEST_F(XaudioTest, BadInputEndsInAnErrorNotificationNeverAHang) {
  QByteArray decoded;
  const QByteArray mp3 = ReadFile(Mp3("good.mp3", decoded));
  QByteArray garbled = mp3;
  for (qsizetype i = garbled.size() / 3; i < garbled.size(); i += 7) garbled[i] = char(i * 31);
  QByteArray noise(20000, '\0');
  for (qsizetype i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 13);
  const QByteArray wave = WaveFile(2, 16, 44100, Tone(100));
  struct {
    const char* Name;
    QByteArray Bytes;
    bool Opens;
  } cases[] = {
      {"empty", QByteArray(), false},
      {"text", QByteArray("[CD-ROM]\r\nnActive=0\r\n"), false},
      {"noise", noise, false},
      {"wave with 24-bit samples", WaveFile(2, 24, 44100, QByteArray(60, '\1')), false},
      {"wave without data", wave.left(36), false},
      {"wave cut short", wave.left(200), true},
      {"mp3 cut in half", mp3.left(mp3.size() / 2), true},
      {"mp3 garbled after its first third", garbled, true},
  };
  TPlayer player;
  for (const auto& c : cases) {
    const QString path = FTemp.File("bad.bin");
    WriteFile(path, c.Bytes);
    player.Seen.clear();
    Open(player, path);
    const TNote answer = player.Answer(XA_MSG_COMMAND_INPUT_OPEN);
    EXPECT_EQ(answer.Code(), c.Opens ? XA_MSG_NOTIFY_ACK : XA_MSG_NOTIFY_NACK) << c.Name;
    if (!c.Opens) {
      EXPECT_TRUE(player.SawCode(XA_MSG_NOTIFY_ERROR)) << c.Name;
      continue;
    }
    Send(player, XA_MSG_COMMAND_PLAY);
    // It ends, at the end of what it could decode or with an error.
    player.WaitFor([](const TNote& n) {
      return n.Code() == XA_MSG_NOTIFY_PLAYER_STATE &&
             n.Message.data.state != XA_PLAYER_STATE_PLAYING;
    });
  }
  // What is no regular file never holds the player: a FIFO without a writer,
  // a device without an end.
  ASSERT_EQ(mkfifo(FTemp.File("fifo").toLocal8Bit().constData(), 0600), 0);
  for (const QString& path : {FTemp.File("fifo"), QString("/dev/zero")}) {
    Open(player, path);
    EXPECT_EQ(player.Answer(XA_MSG_COMMAND_INPUT_OPEN).Message.data.nack.code,
              XA_ERROR_INVALID_FORMAT)
        << path.toStdString();
  }
  player.Seen.clear();
  Open(player, FTemp.File("missing.mp3"));
  EXPECT_EQ(player.Answer(XA_MSG_COMMAND_INPUT_OPEN).Message.data.nack.code, XA_ERROR_NO_SUCH_FILE);
  const TNote error = player.Last(XA_MSG_NOTIFY_ERROR);
  EXPECT_EQ(error.Message.data.error.source, XA_SOURCE_INPUT);
  EXPECT_NE(error.Text.find("missing.mp3"), std::string::npos) << error.Text;
  // The decoders' fuzzing entry takes the same bytes.
  EXPECT_EQ(xaudio::DecodeBuffer(reinterpret_cast<const uint8_t*>(noise.constData()),
                                 size_t(noise.size())),
            -1);
  EXPECT_GT(xaudio::DecodeBuffer(reinterpret_cast<const uint8_t*>(garbled.constData()),
                                 size_t(garbled.size())),
            0);
}

TEST_F(XaudioTest, DeletingWhilePlayingStopsTheSoundAtOnce) {
  const QByteArray pcm = Tone(44100 * 60);
  TPlayer player;
  Open(player, Wave("long.wav", pcm));
  Send(player, XA_MSG_COMMAND_PLAY);
  player.WaitForState(XA_PLAYER_STATE_PLAYING);
  player.WaitForCode(XA_MSG_NOTIFY_INPUT_TIMECODE);
  player.Delete();
  const QByteArray captured = FOutput.Captured();
  EXPECT_LT(captured.size(), pcm.size());
  EXPECT_TRUE(pcm.startsWith(captured.left(captured.size() / 2)));
}

TEST(XaudioMixer, MasterLevelMovesTheSinkAndFollowsChangesMadeElsewhere) {
  TPulseServer server;
  ASSERT_TRUE(server.Ok()) << server.Log().toStdString();
  TPlayer player;
  EXPECT_EQ(player.WaitForCode(XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL).Message.data.level.master_level,
            server.SinkVolume());
  control_message_send_III(player.Handle(), XA_MSG_SET_OUTPUT_VOLUME, -1, -1, 30);
  EXPECT_EQ(player.WaitForCode(XA_MSG_NOTIFY_OUTPUT_VOLUME).Message.data.volume.master_level, 30);
  EXPECT_EQ(player.Answer(XA_MSG_SET_OUTPUT_VOLUME).Code(), XA_MSG_NOTIFY_ACK);
  EXPECT_EQ(server.SinkVolume(), 30);

  server.Pactl({"set-sink-volume", "test", "55%"});
  player.WaitFor([](const TNote& n) {
    return n.Code() == XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL && n.Message.data.level.master_level == 55;
  });
  control_message_send_N(player.Handle(), XA_MSG_GET_OUTPUT_VOLUME);
  EXPECT_EQ(player.WaitForCode(XA_MSG_NOTIFY_OUTPUT_VOLUME).Message.data.volume.master_level, 55);

  // A server that goes away takes the master level with it.
  server.Kill();
  EXPECT_EQ(player.WaitForCode(XA_MSG_NOTIFY_ERROR).Message.data.error.source, XA_SOURCE_MIXER);
  control_message_send_N(player.Handle(), XA_MSG_GET_OUTPUT_VOLUME);
  EXPECT_EQ(player.Answer(XA_MSG_GET_OUTPUT_VOLUME).Message.data.nack.code, XA_ERROR_NO_MIXER);

  // A server that starts again brings it back, unasked.
  TPulseServer again;
  ASSERT_TRUE(again.Ok()) << again.Log().toStdString();
  ASSERT_TRUE(again.SetSinkVolume(42));
  player.WaitFor([](const TNote& n) {
    return n.Code() == XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL && n.Message.data.level.master_level == 42;
  });
}

}  // namespace
