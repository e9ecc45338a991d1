// TMixer: the master level of the ALSA simple mixer of a control device
// ("Master", else its first playback volume control), as 0..100. Used by the
// player thread only.
#pragma once

#include <alsa/asoundlib.h>

#include <string>
#include <vector>

namespace xaudio {

class TMixer {
 public:
  TMixer() = default;
  ~TMixer() { Close(); }
  TMixer(const TMixer&) = delete;
  TMixer& operator=(const TMixer&) = delete;

  // False with a reason when the device has no playback volume control.
  bool Open(const std::string& device, std::string& error);
  void Close();
  bool IsOpen() const { return FElem != nullptr; }
  // Descriptors to poll for changes made elsewhere.
  std::vector<pollfd> PollDescriptors() const;
  // Takes in pending changes; false when the device is gone.
  bool HandleEvents();
  int Level() const;
  bool SetLevel(int level);

 private:
  snd_mixer_t* FMixer = nullptr;
  snd_mixer_elem_t* FElem = nullptr;
  long FMin = 0;
  long FMax = 0;
};

}  // namespace xaudio
