#include "common/SoundOutput.h"

#include <signal.h>

#include <QDir>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QtEndian>
#include <cstdlib>

#include "common/TestUtil.h"

namespace testutil {

namespace {

constexpr const char* kSystemConfig = "/usr/share/alsa/alsa.conf";

}  // namespace

TAlsaConfig::TAlsaConfig(const QString& folder, const QString& overrides) {
  const QString path = folder + "/asoundrc";
  WriteFile(path, overrides.toUtf8());
  FHadPrevious = qEnvironmentVariableIsSet("ALSA_CONFIG_PATH");
  FPrevious = qgetenv("ALSA_CONFIG_PATH");
  qputenv("ALSA_CONFIG_PATH", QByteArray(kSystemConfig) + ":" + path.toUtf8());
}

TAlsaConfig::~TAlsaConfig() {
  if (FHadPrevious)
    qputenv("ALSA_CONFIG_PATH", FPrevious);
  else
    qunsetenv("ALSA_CONFIG_PATH");
}

TAlsaFileOutput::TAlsaFileOutput()
    : FConfig(FFolder.Path(), QString("pcm.!default { type file slave.pcm \"null\" file \"%1\" "
                                      "format \"raw\" }\nctl.!default { type hw card 99 }\n")
                                  .arg(FFolder.File("alsa-out.raw"))) {}

TPulseServer::TPulseServer() {
  const QString run = FFolder.File("run");
  const QString home = FFolder.File("home");
  QDir().mkpath(run);
  QDir().mkpath(home);
  QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_RUNTIME_DIR", run);
  env.insert("HOME", home);
  FServer.setProcessEnvironment(env);
  FServer.setProcessChannelMode(QProcess::MergedChannels);
  FServer.start("pulseaudio",
                {"-n", "--daemonize=no", "--exit-idle-time=-1", "-L",
                 "module-null-sink sink_name=test", "-L", "module-native-protocol-unix"});
  if (!FServer.waitForStarted(10000)) return;
  // Clients of this process reach the server by its socket.
  FPreviousServer = qgetenv("PULSE_SERVER");
  qputenv("PULSE_SERVER", ("unix:" + run + "/pulse/native").toUtf8());
  FOk = WaitFor(
      [this] {
        int code = -1;
        return FServer.state() == QProcess::Running && Pactl({"info"}, &code).size() > 0 &&
               code == 0;
      },
      20000);
  FConfig = std::make_unique<TAlsaConfig>(
      FFolder.Path(), "pcm.!default { type pulse }\nctl.!default { type pulse }\n");
}

void TPulseServer::Freeze(bool frozen) {
  if (FServer.state() == QProcess::NotRunning || frozen == FFrozen) return;
  testutil::SignalProcess(FServer, frozen ? SIGSTOP : SIGCONT);
  FFrozen = frozen;
}

void TPulseServer::Kill() {
  Freeze(false);
  if (FServer.state() == QProcess::NotRunning) return;
  FServer.kill();
  FServer.waitForFinished(10000);
}

TPulseServer::~TPulseServer() {
  FConfig.reset();
  Kill();
  if (FPreviousServer.isEmpty())
    qunsetenv("PULSE_SERVER");
  else
    qputenv("PULSE_SERVER", FPreviousServer);
}

QString TPulseServer::Log() const {
  return QString::fromLocal8Bit(const_cast<QProcess&>(FServer).readAll());
}

QByteArray TPulseServer::Pactl(const QStringList& arguments, int* exitCode) const {
  QByteArray out;
  const int code = RunProgram("pactl", arguments, &out, nullptr, 20000);
  if (exitCode) *exitCode = code;
  return out;
}

bool TPulseServer::SetSinkVolume(int percent) const {
  for (int attempt = 0; attempt < 5; ++attempt) {
    Pactl({"set-sink-volume", "test", QString("%1%").arg(percent)});
    if (SinkVolume() == percent) return true;
  }
  return false;
}

int TPulseServer::SinkVolume() const {
  const QRegularExpressionMatch match =
      QRegularExpression(R"((\d+)%)").match(QString::fromUtf8(Pactl({"get-sink-volume", "test"})));
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QByteArray WaveFile(int channels, int bits, int rate, const QByteArray& data, qint64 statedSize) {
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

::testing::AssertionResult StartsWithThenSilence(const QByteArray& captured,
                                                 const QByteArray& expected) {
  if (captured.size() < expected.size())
    return ::testing::AssertionFailure()
           << "captured " << captured.size() << " bytes, expected at least " << expected.size();
  for (qsizetype i = 0; i < expected.size(); ++i)
    if (captured[i] != expected[i])
      return ::testing::AssertionFailure()
             << "first difference at byte " << i << " of " << expected.size();
  for (qsizetype i = expected.size(); i < captured.size(); ++i)
    if (captured[i] != 0)
      return ::testing::AssertionFailure()
             << "non-silent byte " << i << " after the expected " << expected.size();
  return ::testing::AssertionSuccess();
}

}  // namespace testutil
