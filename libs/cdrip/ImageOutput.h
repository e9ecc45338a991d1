// TImageOutput: plays a disc image's sector range through ALSA's default PCM
// in step with the library's playback clock, staying a short lead ahead of
// it. Its own thread reads the image through a reader of its own; the
// library's caller thread starts, pauses, resumes and stops it, never waiting
// on the sound server for longer than a short bound: a thread stuck in a
// stalled server is left to end on its own. Without a sound device it stays
// silent and the clock runs on.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace cdrip {

class TImageOutput {
 public:
  using TClock = std::chrono::steady_clock;
  // Reads `count` sectors from `first` into `out`; false when it cannot.
  using TSectorReader = std::function<bool(int32_t first, int32_t count, uint8_t* out)>;

  TImageOutput() = default;
  ~TImageOutput() { Stop(); }
  TImageOutput(const TImageOutput&) = delete;
  TImageOutput& operator=(const TImageOutput&) = delete;

  // Replaces what is playing with sectors [start, end) of the image, read
  // through `image` (null: the image did not open, the clock runs silent).
  // The clock stood at `start` at `startedAt` and runs at 75 sectors a second.
  void Start(TSectorReader image, int32_t start, int32_t end, TClock::time_point startedAt);
  void Pause();
  // The clock runs again as if it had stood at the range's start at `startedAt`.
  void Resume(TClock::time_point startedAt);
  // Ends the sound at once. Waits at most kStopWait for the thread.
  void Stop();
  static constexpr std::chrono::milliseconds kStopWait{100};
  // True while sectors are still to be sent or the device still drains.
  bool Busy() const;

 private:
  // What one playing thread shares with the caller; the thread keeps it
  // alive, so it may outlive this object.
  struct TState {
    std::mutex Mutex;
    std::condition_variable Changed;
    std::atomic<bool> Stop = false;
    bool Paused = false;
    bool Busy = true;
    bool Finished = false;  // the thread has let go of the sound device
    int32_t Start = 0;
    int32_t End = 0;
    TClock::time_point StartedAt;
    // Sectors the clock has reached; Mutex held.
    int64_t ClockSectors(TClock::time_point now) const;
  };

  // Takes over the image, opened by the caller: the image parsers are not
  // safe to run beside the caller's own use of their libraries.
  static void Run(std::shared_ptr<TState> state, TSectorReader image);

  std::shared_ptr<TState> FState;
  std::thread FThread;
};

}  // namespace cdrip
