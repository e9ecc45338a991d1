// Sound for tests without a sound card: an ALSA configuration whose default
// PCM is the file plugin over the null device, so what reaches ALSA lands in
// a file; and a PulseAudio server with a null sink, started for one test and
// reached through ALSA's default PCM and control device.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "common/TestUtil.h"

namespace testutil {

// Points ALSA_CONFIG_PATH at the system configuration plus `overrides`,
// written into folder; the previous value comes back at destruction.
class TAlsaConfig {
 public:
  TAlsaConfig(const QString& folder, const QString& overrides);
  ~TAlsaConfig();
  TAlsaConfig(const TAlsaConfig&) = delete;
  TAlsaConfig& operator=(const TAlsaConfig&) = delete;

 private:
  QByteArray FPrevious;
  bool FHadPrevious = false;
};

// ALSA's default PCM writes raw samples into Path(); there is no mixer.
class TAlsaFileOutput {
 public:
  TAlsaFileOutput();
  QString Path() const { return FFolder.File("alsa-out.raw"); }
  QByteArray Captured() const { return ReadFile(Path()); }

 private:
  TTempFolder FFolder;
  TAlsaConfig FConfig;
};

// A PulseAudio server with the null sink "test", reached by ALSA's default
// PCM and control device. Ok() tells whether it started.
class TPulseServer {
 public:
  TPulseServer();
  ~TPulseServer();
  bool Ok() const { return FOk; }
  QString Log() const;
  // Runs pactl against this server; its standard output.
  QByteArray Pactl(const QStringList& arguments, int* exitCode = nullptr) const;
  // The front-left volume of the sink in percent, -1 when unreadable.
  int SinkVolume() const;
  // Sets the sink's volume as another program would, until the server
  // reports it (a pactl that could not reach a busy server tries again).
  bool SetSinkVolume(int percent) const;
  // Ends the server at once, as a crash would.
  void Kill();
  // Stops the server's process (SIGSTOP) or lets it run again, as a server
  // that stalls would; it runs again at destruction.
  void Freeze(bool frozen);

 private:
  TTempFolder FFolder;
  QProcess FServer;
  bool FOk = false;
  bool FFrozen = false;
  QByteArray FPreviousServer;
  std::unique_ptr<TAlsaConfig> FConfig;
};

// A canonical PCM WAV file around data; statedSize >= 0 overrides the data
// chunk's stated size.
QByteArray WaveFile(int channels, int bits, int rate, const QByteArray& data,
                    qint64 statedSize = -1);

// Whether captured starts with expected and holds only silence after it
// (ALSA pads the last period with silence).
::testing::AssertionResult StartsWithThenSilence(const QByteArray& captured,
                                                 const QByteArray& expected);

}  // namespace testutil
