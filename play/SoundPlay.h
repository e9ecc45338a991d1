// TSoundPlayer: plays a PCM WAV file asynchronously through ALSA, one sound
// at a time, as the completion sound of an extraction. The worker thread
// only writes samples; starting, stopping and destruction happen on the
// owner's thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <thread>

// Whether the sound device takes a stream now (opened without waiting and
// closed at once); why not into *reason.
bool SoundDeviceReady(QString* reason = nullptr, const QString& device = "default");

class TSoundPlayer {
 public:
  explicit TSoundPlayer(const QString& device = "default");
  ~TSoundPlayer();  // stops the sound in hand
  TSoundPlayer(const TSoundPlayer&) = delete;
  TSoundPlayer& operator=(const TSoundPlayer&) = delete;

  // Stops any sound in hand and starts the file. False, with nothing
  // playing, when it is no 8- or 16-bit PCM WAV or the device refuses it.
  bool Play(const QString& wavFile);
  bool Playing() const { return FPlaying; }
  void Stop();

 private:
  QString FDevice;
  std::thread FWorker;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FPlaying{false};
};
