#include "libs/xaudio/Mixer.h"

#include <cstring>

namespace xaudio {

bool TMixer::Open(const std::string& device, std::string& error) {
  Close();
  int rc = snd_mixer_open(&FMixer, 0);
  if (rc < 0) {
    FMixer = nullptr;
    error = std::string("mixer: ") + snd_strerror(rc);
    return false;
  }
  if ((rc = snd_mixer_attach(FMixer, device.c_str())) < 0 ||
      (rc = snd_mixer_selem_register(FMixer, nullptr, nullptr)) < 0 ||
      (rc = snd_mixer_load(FMixer)) < 0) {
    error = "mixer " + device + ": " + snd_strerror(rc);
    Close();
    return false;
  }
  for (snd_mixer_elem_t* elem = snd_mixer_first_elem(FMixer); elem;
       elem = snd_mixer_elem_next(elem)) {
    if (!snd_mixer_selem_is_active(elem) || !snd_mixer_selem_has_playback_volume(elem)) continue;
    if (!FElem || std::strcmp(snd_mixer_selem_get_name(elem), "Master") == 0) FElem = elem;
    if (std::strcmp(snd_mixer_selem_get_name(FElem), "Master") == 0) break;
  }
  if (!FElem || snd_mixer_selem_get_playback_volume_range(FElem, &FMin, &FMax) < 0 ||
      FMax <= FMin) {
    error = "mixer " + device + ": no playback volume control";
    Close();
    return false;
  }
  return true;
}

void TMixer::Close() {
  if (FMixer) snd_mixer_close(FMixer);
  FMixer = nullptr;
  FElem = nullptr;
}

std::vector<pollfd> TMixer::PollDescriptors() const {
  std::vector<pollfd> fds;
  if (!FMixer) return fds;
  const int count = snd_mixer_poll_descriptors_count(FMixer);
  if (count <= 0) return fds;
  fds.resize(size_t(count));
  const int got = snd_mixer_poll_descriptors(FMixer, fds.data(), unsigned(count));
  fds.resize(got > 0 ? size_t(got) : 0);
  return fds;
}

bool TMixer::HandleEvents() { return FMixer && snd_mixer_handle_events(FMixer) >= 0; }

int TMixer::Level() const {
  if (!FElem) return -1;
  long value = FMin;
  snd_mixer_selem_get_playback_volume(FElem, SND_MIXER_SCHN_FRONT_LEFT, &value);
  return int(((value - FMin) * 100 + (FMax - FMin) / 2) / (FMax - FMin));
}

bool TMixer::SetLevel(int level) {
  if (!FElem) return false;
  const long value = FMin + (long(level) * (FMax - FMin) + 50) / 100;
  return snd_mixer_selem_set_playback_volume_all(FElem, value) >= 0;
}

}  // namespace xaudio
