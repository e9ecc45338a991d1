#include "libs/pcmout/PcmOutput.h"

#include <cerrno>

namespace pcmout {

namespace {

std::string Reason(const std::string& device, int error) {
  return "sound device " + device + ": " + snd_strerror(error);
}

}  // namespace

int TPcmOutput::Open(const std::string& device, unsigned rate, unsigned channels,
                     std::string& error, bool cancellable) {
  Close(false);
  snd_pcm_t* pcm = nullptr;
  int rc = snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (rc < 0) {
    error = Reason(device, rc);
    return rc;
  }
  // Opened without blocking so a busy device fails at once.
  if ((!cancellable && (rc = snd_pcm_nonblock(pcm, 0)) < 0) ||
      (rc = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, channels,
                               rate, 1, 200000)) < 0) {
    error = Reason(device, rc);
    snd_pcm_close(pcm);
    return rc;
  }
  FPcm = pcm;
  FRate = rate;
  FChannels = channels;
  return 0;
}

bool TPcmOutput::Write(const int16_t* samples, size_t frames, std::string& error,
                       const std::atomic<bool>* cancel) {
  if (!FPcm) return false;
  while (frames > 0) {
    if (cancel && cancel->load()) {
      error = "sound output: cancelled";
      return false;
    }
    const snd_pcm_sframes_t written = snd_pcm_writei(FPcm, samples, frames);
    if (written == -EAGAIN) {
      snd_pcm_wait(FPcm, cancel ? 20 : -1);
      continue;
    }
    if (written < 0) {
      const int rc = snd_pcm_recover(FPcm, int(written), 1);
      if (rc < 0) {
        error = std::string("sound output: ") + snd_strerror(rc);
        return false;
      }
      continue;
    }
    samples += size_t(written) * FChannels;
    frames -= size_t(written);
  }
  return true;
}

void TPcmOutput::Pause(bool pause) {
  if (FPcm) snd_pcm_pause(FPcm, pause ? 1 : 0);
}

void TPcmOutput::Close(bool drain) {
  if (!FPcm) return;
  if (drain) {
    // A paused stream would never drain.
    if (snd_pcm_state(FPcm) == SND_PCM_STATE_PAUSED) snd_pcm_pause(FPcm, 0);
    // A non-blocking drain would return before the sound has played out.
    snd_pcm_nonblock(FPcm, 0);
    snd_pcm_drain(FPcm);
  } else {
    snd_pcm_drop(FPcm);
  }
  snd_pcm_close(FPcm);
  FPcm = nullptr;
}

}  // namespace pcmout
