// TPcmOutput: one ALSA playback stream of 16-bit interleaved PCM, shared by
// the player library and the CD-reading library's image playback. It never
// waits on a busy device: opening fails at once. Used by one thread at a time.
#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
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
  // with a readable reason in error. A cancellable stream waits for room in
  // short polls, so a writer can give up (see Write); otherwise writes block
  // in the device, which paces them.
  int Open(const std::string& device, unsigned rate, unsigned channels, std::string& error,
           bool cancellable = false);
  bool IsOpen() const { return FPcm != nullptr; }
  unsigned Rate() const { return FRate; }
  unsigned Channels() const { return FChannels; }

  // Writes every frame, recovering from underruns; waits while the device
  // buffer is full. False on an error the device does not recover from, or,
  // on a cancellable stream, once *cancel turns true (checked at least every
  // 20 ms of waiting).
  bool Write(const int16_t* samples, size_t frames, std::string& error,
             const std::atomic<bool>* cancel = nullptr);
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
