// The player component: loading the library by symbol name with its exact
// failure texts, the version check, commands reaching the real player (sound
// captured through a test ALSA configuration), and every notification code
// turned into its event on the owning thread.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <QtEndian>
#include <cmath>

#include "common/SoundOutput.h"
#include "common/TestUtil.h"
#include "play/XaudioPlayer.h"

using namespace testutil;

namespace {

QString Fake(const QString& name) {
  return QStringLiteral(FAKE_XAUDIO_DIR) + "/libfake_xaudio_" + name + ".so";
}

QString RealLibrary() { return ProgramDir() + "/libxaudio.so"; }

QString InitFailure(const QString& path) {
  TXaudioPlayer player;
  player.SetXaudioPath(path);
  try {
    player.Init();
  } catch (const EXaudioException& e) {
    // The library stays unusable: the next command fails the same way.
    try {
      player.Play();
    } catch (const EXaudioException& again) {
      EXPECT_EQ(again.Message(), e.Message());
    }
    return e.Message();
  }
  return "no exception";
}

TEST(XaudioPlayer, LoadFailuresRaiseTheirExactTexts) {
  TTempFolder temp;
  const QString missing = temp.File("xaudio.dll");
  EXPECT_EQ(InitFailure(missing), "Cannot Load Xaudio DLL (" + missing + ")");
  EXPECT_EQ(InitFailure(Fake("nodecoder")),
            "Cannot Find Symbol control_win32_params_to_message in Xaudio DLL");
  EXPECT_EQ(InitFailure(Fake("version37")), "Xaudio DLL API Mismatch\rExpected 3.8, Got 3.7");
  EXPECT_EQ(InitFailure(Fake("nostart")), "Cannot Start Xaudio Player");
}

TEST(XaudioPlayer, WithoutRoomForItsPipeConstructionFails) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizers test memory through a pipe of their own: without a free
  // descriptor they report every object as unreadable.
  GTEST_SKIP() << "needs free descriptors under the sanitizers";
#endif
  // The lowest free descriptor number is the count the process may keep open.
  const int lowest = dup(0);
  ASSERT_GE(lowest, 0);
  close(lowest);
  rlimit previous{};
  getrlimit(RLIMIT_NOFILE, &previous);
  rlimit limit = previous;
  limit.rlim_cur = rlim_t(lowest);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
  QString message;
  try {
    TXaudioPlayer player;
  } catch (const EXaudioException& e) {
    message = e.Message();
  }
  setrlimit(RLIMIT_NOFILE, &previous);
  EXPECT_EQ(message, "Cannot Create Hidden Window");
}

TEST(XaudioPlayer, PropertiesBeforeAndAfterThePlayerExists) {
  TXaudioPlayer player;
  EXPECT_EQ(player.XaudioPath(), "libxaudio.so");
  EXPECT_EQ(player.Priority(), 3u);
  EXPECT_EQ(player.GetVersion(XA_API_ID_SYNC), 0u);
  player.SetPriority(1);
  EXPECT_EQ(player.Priority(), 1u);
  player.SetXaudioPath(RealLibrary());
  EXPECT_TRUE(player.Init());
  EXPECT_TRUE(player.Init());
  // The stored priority reached the new player.
  EXPECT_EQ(player.Priority(), 1u);
  player.SetPriority(4);
  EXPECT_EQ(player.Priority(), 4u);
  EXPECT_EQ(player.GetVersion(XA_API_ID_SYNC), 0x030800u);
  EXPECT_EQ(player.ErrorString(XA_ERROR_NO_SUCH_FILE), "no such file");
  // Results come back unexamined.
  EXPECT_EQ(player.Play(), XA_SUCCESS);
}

TEST(XaudioPlayer, PlaysAFileThroughTheRealLibraryWithEventsOnTheOwningThread) {
  TTempFolder temp;
  TAlsaFileOutput output;
  QByteArray pcm(4 * 8000, '\0');
  for (int i = 0; i < 8000; ++i)
    qToLittleEndian(qint16(8000 * std::sin(i / 9.0) + i % 3), pcm.data() + 2 * i);
  const QString wave = temp.File("sound.wav");
  WriteFile(wave, WaveFile(2, 16, 44100, pcm));

  TXaudioPlayer player;
  player.SetXaudioPath(RealLibrary());
  QStringList log;
  int messages = 0;
  bool offThread = false;
  player.OnNotifyMessage = [&](TXaudioPlayer*, const XA_Message&) {
    ++messages;
    offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
  };
  player.OnNotifyReady = [&](TXaudioPlayer*) { log << "ready"; };
  player.OnNotifyError = [&](TXaudioPlayer*, int32_t source, int32_t, const QString&) {
    log << QString("error %1").arg(source);
  };
  // What the main window does with the start-up sound.
  player.OnNotifyInputState = [&](TXaudioPlayer* sender, int32_t state) {
    log << QString("input %1").arg(state);
    if (state == XA_INPUT_STATE_OPEN) sender->Play();
  };
  player.OnNotifyPlayerState = [&](TXaudioPlayer* sender, int32_t state) {
    log << QString("player %1").arg(state);
    if (state == XA_PLAYER_STATE_STOPPED || state == XA_PLAYER_STATE_EOF) sender->InputClose();
  };
  player.OnNotifyNack = [&](TXaudioPlayer*, int32_t command, int32_t code) {
    log << QString("nack %1 %2").arg(command).arg(code);
  };
  player.OnNotifyStreamParameters = [&](TXaudioPlayer*, int32_t rate, int32_t, int32_t channels) {
    log << QString("stream %1 %2").arg(rate).arg(channels);
  };
  EXPECT_TRUE(player.Init());
  EXPECT_EQ(player.InputOpen(wave), XA_SUCCESS);
  ASSERT_TRUE(WaitFor([&] { return log.contains("input 1"); }, 20000))
      << log.join(", ").toStdString();
  EXPECT_FALSE(offThread);
  EXPECT_GE(messages, log.size());
  // No control device in this configuration: the mixer error comes first.
  EXPECT_EQ(log.mid(0, 6),
            (QStringList{"error 4", "ready", "input 0", "stream 44100 2", "player 1", "player 3"}));
  EXPECT_TRUE(StartsWithThenSilence(output.Captured(), pcm));

  // A file that does not decode leaves the player idle.
  log.clear();
  WriteFile(wave, "not a sound");
  player.InputOpen(wave);
  ASSERT_TRUE(WaitFor([&] { return log.contains("nack 8 -6"); }, 20000));
  EXPECT_EQ(log, (QStringList{"error 1", "nack 8 -6"}));
}

QString ArgText(const QString& text) { return text; }
QString ArgText(long long value) { return QString::number(value); }

TEST(XaudioPlayer, EveryNotificationCodeFiresItsEventAfterOnNotifyMessage) {
  TXaudioPlayer player;
  player.SetXaudioPath(Fake("echo"));
  QStringList log;
  auto record = [&log](const char* name) {
    return [&log, name](TXaudioPlayer*, auto... args) {
      log << QString(name) + " " + QStringList{ArgText(args)...}.join(' ');
    };
  };
  player.OnNotifyMessage = [&](TXaudioPlayer*, const XA_Message& m) {
    log << QString("message %1").arg(m.code);
  };
  player.OnNotifyReady = record("Ready");
  player.OnNotifyAck = record("Ack");
  player.OnNotifyNack = record("Nack");
  player.OnNotifyPong = record("Pong");
  player.OnNotifyExited = record("Exited");
  player.OnNotifyPlayerState = record("PlayerState");
  player.OnNotifyPlayerMode = record("PlayerMode");
  player.OnNotifyPlayerEnvironmentInteger = record("PlayerEnvironmentInteger");
  player.OnNotifyPlayerEnvironmentString = record("PlayerEnvironmentString");
  player.OnNotifyInputState = record("InputState");
  player.OnNotifyInputName = record("InputName");
  player.OnNotifyInputCaps = record("InputCaps");
  player.OnNotifyInputPosition = record("InputPosition");
  player.OnNotifyInputPositionRange = record("InputPositionRange");
  player.OnNotifyInputTimecode = record("InputTimecode");
  player.OnNotifyInputTimecodeGranularity = record("InputTimecodeGranularity");
  player.OnNotifyInputModule = record("InputModule");
  player.OnNotifyInputModuleInfo = record("InputModuleInfo");
  player.OnNotifyInputDeviceInfo = record("InputDeviceInfo");
  player.OnNotifyInputFilterInfo = record("InputFilterInfo");
  player.OnNotifyOutputState = record("OutputState");
  player.OnNotifyOutputName = record("OutputName");
  player.OnNotifyOutputCaps = record("OutputCaps");
  player.OnNotifyOutputVolume = record("OutputVolume");
  player.OnNotifyOutputBalance = record("OutputBalance");
  player.OnNotifyOutputPcmLevel = record("OutputPcmLevel");
  player.OnNotifyOutputMasterLevel = record("OutputMasterLevel");
  player.OnNotifyOutputChannels = record("OutputChannels");
  player.OnNotifyOutputPorts = record("OutputPorts");
  player.OnNotifyOutputModule = record("OutputModule");
  player.OnNotifyOutputModuleInfo = record("OutputModuleInfo");
  player.OnNotifyOutputDeviceInfo = record("OutputDeviceInfo");
  player.OnNotifyOutputFilterInfo = record("OutputFilterInfo");
  player.OnNotifyStreamMimeType = record("StreamMimeType");
  player.OnNotifyStreamDuration = record("StreamDuration");
  player.OnNotifyStreamParameters = record("StreamParameters");
  player.OnNotifyStreamProperties = record("StreamProperties");
  player.OnNotifyCodecQuality = record("CodecQuality");
  player.OnNotifyCodecEqualizer = record("CodecEqualizer");
  player.OnNotifyCodecModule = record("CodecModule");
  player.OnNotifyCodecModuleInfo = record("CodecModuleInfo");
  player.OnNotifyCodecDeviceInfo = record("CodecDeviceInfo");
  player.OnNotifyNotificationMask = record("NotificationMask");
  player.OnNotifyDebugLevel = record("DebugLevel");
  player.OnNotifyProgress = record("Progress");
  player.OnNotifyDebug = record("Debug");
  player.OnNotifyError = record("Error");

  // The echo library answers Ping(code) with notification `code`, values
  // code + 1 ... and texts "text<code>", "second<code>".
  const std::pair<int, const char*> cases[] = {
      {73, "Ready "},
      {74, "Ack 75"},
      {75, "Nack 76 77"},
      {76, "Pong 77"},
      {77, "Exited "},
      {78, "PlayerState 79"},
      {79, "PlayerMode 80"},
      {80, "PlayerEnvironmentInteger text80 81"},
      {81, "PlayerEnvironmentString text81 second81"},
      {82, "InputState 83"},
      {83, "InputName text83"},
      {84, "InputCaps 85"},
      {85, "InputPosition 86 87"},
      {86, "InputPositionRange 87"},
      {87, "InputTimecode 88 89 90 91"},
      {88, "InputTimecodeGranularity 89"},
      {89, "InputModule 90"},
      {90, "InputModuleInfo 91 92 text90 second90"},
      {91, "InputDeviceInfo 92 93 text91 second91"},
      {92, "InputFilterInfo 93 text92"},
      {93, "OutputState 94"},
      {94, "OutputName text94"},
      {95, "OutputCaps 96"},
      {100, "OutputVolume 101 102 103"},
      {101, "OutputBalance 102"},
      {102, "OutputPcmLevel 103"},
      {103, "OutputMasterLevel 104"},
      {104, "OutputChannels 105"},
      {105, "OutputPorts 106"},
      {106, "OutputModule 107"},
      {107, "OutputModuleInfo 108 109 text107 second107"},
      {108, "OutputDeviceInfo 109 110 text108 second108"},
      {109, "OutputFilterInfo 110 text109"},
      {110, "StreamMimeType text110"},
      {111, "StreamDuration 112"},
      {112, "StreamParameters 113 114 115"},
      {113, "StreamProperties 114"},
      {114, "CodecQuality 115"},
      {115, "CodecEqualizer 116"},
      {116, "CodecModule 117"},
      {117, "CodecModuleInfo 118 119 text117 second117"},
      {118, "CodecDeviceInfo 119 120 text118 second118"},
      {119, "NotificationMask 120"},
      {120, "DebugLevel 121"},
      {121, "Progress 122 123 124 text121"},
      {122, "Debug 123 124 text122"},
      {123, "Error 124 125 text123"},
  };
  for (const auto& [code, expected] : cases) {
    log.clear();
    ASSERT_EQ(player.Ping(code), XA_SUCCESS) << code;
    EXPECT_TRUE(WaitFor([&] { return log.size() >= 2; })) << code;
    EXPECT_EQ(log, (QStringList{QString("message %1").arg(code), expected})) << code;
  }
  // A code outside the table still reaches OnNotifyMessage, and nothing else.
  log.clear();
  player.Ping(96);
  EXPECT_TRUE(WaitFor([&] { return !log.isEmpty(); }));
  EXPECT_EQ(log, QStringList{"message 96"});
  // Library results come back as they are.
  EXPECT_EQ(player.SetOutputVolume(-1, -1, 10), 57);
}

}  // namespace
