#include "play/SoundPlay.h"

#include <alsa/asoundlib.h>

#include <QFile>
#include <QtEndian>

namespace {

struct TWave {
  int Channels = 0;
  int SampleRate = 0;
  int Bits = 0;
  QByteArray Data;
};

// Walks the RIFF chunks; the data chunk is cut to what the file holds.
bool ParseWave(const QByteArray& file, TWave& wave) {
  if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE") return false;
  bool haveFormat = false;
  qsizetype at = 12;
  while (at + 8 <= file.size()) {
    const QByteArray id = file.mid(at, 4);
    const quint32 size = qFromLittleEndian<quint32>(file.constData() + at + 4);
    const qsizetype body = at + 8;
    if (id == "fmt " && size >= 16 && body + 16 <= file.size()) {
      const char* f = file.constData() + body;
      if (qFromLittleEndian<quint16>(f) != 1) return false;
      wave.Channels = qFromLittleEndian<quint16>(f + 2);
      wave.SampleRate = int(qFromLittleEndian<quint32>(f + 4));
      wave.Bits = qFromLittleEndian<quint16>(f + 14);
      haveFormat = true;
    } else if (id == "data") {
      wave.Data = file.mid(body, qsizetype(std::min<quint64>(size, quint64(file.size() - body))));
      return haveFormat && wave.Channels >= 1 && wave.Channels <= 2 && wave.SampleRate > 0 &&
             (wave.Bits == 8 || wave.Bits == 16);
    }
    at = body + qsizetype(size) + (size & 1);
  }
  return false;
}

}  // namespace

bool SoundDeviceReady(QString* reason, const QString& device) {
  snd_pcm_t* pcm = nullptr;
  const int error = snd_pcm_open(&pcm, device.toLocal8Bit().constData(), SND_PCM_STREAM_PLAYBACK,
                                 SND_PCM_NONBLOCK);
  if (error < 0) {
    if (reason) *reason = QString::fromLocal8Bit(snd_strerror(error));
    return false;
  }
  snd_pcm_close(pcm);
  return true;
}

TSoundPlayer::TSoundPlayer(const QString& device) : FDevice(device) {}

TSoundPlayer::~TSoundPlayer() { Stop(); }

void TSoundPlayer::Stop() {
  FStop = true;
  if (FWorker.joinable()) FWorker.join();
  FStop = false;
}

bool TSoundPlayer::Play(const QString& wavFile) {
  Stop();
  QFile file(wavFile);
  TWave wave;
  if (!file.open(QIODevice::ReadOnly) || !ParseWave(file.readAll(), wave)) return false;
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, FDevice.toLocal8Bit().constData(), SND_PCM_STREAM_PLAYBACK, 0) < 0)
    return false;
  const snd_pcm_format_t format = wave.Bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
  if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, unsigned(wave.Channels),
                         unsigned(wave.SampleRate), 1, 200000) < 0) {
    snd_pcm_close(pcm);
    return false;
  }
  FPlaying = true;
  FWorker = std::thread([this, pcm, wave = std::move(wave)] {
    const int frameBytes = wave.Channels * wave.Bits / 8;
    const snd_pcm_uframes_t total = snd_pcm_uframes_t(wave.Data.size() / frameBytes);
    snd_pcm_uframes_t done = 0;
    // Small pieces, so Stop takes effect within a few milliseconds.
    const snd_pcm_uframes_t piece = snd_pcm_uframes_t(wave.SampleRate / 50);
    while (done < total && !FStop) {
      const snd_pcm_sframes_t written = snd_pcm_writei(
          pcm, wave.Data.constData() + done * frameBytes, std::min(piece, total - done));
      if (written < 0) {
        if (snd_pcm_recover(pcm, int(written), 1) < 0) break;
        continue;
      }
      done += snd_pcm_uframes_t(written);
    }
    if (FStop)
      snd_pcm_drop(pcm);
    else
      snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    FPlaying = false;
  });
  return true;
}
