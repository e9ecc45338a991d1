// TPcmOutput: one ALSA playback stream of 16-bit interleaved PCM, shared by
// the player library and the CD-reading library's image playback. It never
// waits on a busy device: opening fails at once. Used by one thread at a time.
#pragma once

#include <alsa/asoundlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace pcmout {

class TPcmOutput {
 public:
  TPcmOutput() = default;
  ~TPcmOutput() { Close(false); }
  TPcmOutput(const TPcmOutput&) = delete;
  TPcmOutput& operator=(const TPcmOutput&) = delete;

  // Opens the device for 16-bit host-order samples. On failure returns the
  // negative errno (-EBUSY for a busy device, -ENOENT when there is none)
  // with a readable reason in error.
  int Open(const std::string& device, unsigned rate, unsigned channels, std::string& error);
  bool IsOpen() const { return FPcm != nullptr; }
  unsigned Rate() const { return FRate; }
  unsigned Channels() const { return FChannels; }

  // Writes every frame, recovering from underruns; blocks while the device
  // buffer is full. False on an error the device does not recover from.
  bool Write(const int16_t* samples, size_t frames, std::string& error);
  // Holds the stream where it is when the device can; otherwise what is
  // buffered plays out and the next write recovers from the underrun.
  void Pause(bool pause);
  // Ends the stream: drained (what is buffered plays out) or dropped at once.
  void Close(bool drain);

 private:
  snd_pcm_t* FPcm = nullptr;
  unsigned FRate = 0;
  unsigned FChannels = 0;
};

}  // namespace pcmout
