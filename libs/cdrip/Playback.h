// TPlayback: playback on the active drive. A physical drive plays through its
// own audio path; an image drive plays on a real-time clock, its sound sent
// to ALSA in step with it (TImageOutput). Owned by the library; caller thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "libs/cdrip/Drives.h"
#include "libs/cdrip/ImageOutput.h"

namespace cdrip {

class TPlayback {
 public:
  // Plays sectors [start, end) of the disc in the drive: CDRIP_OK or CDRIP_ERROR.
  int32_t Play(const TDrives& drives, TDrive& drive, int32_t start, int32_t end);
  int32_t Pause(const TDrive& drive, bool pause);
  void Stop();
  // The drive's audio status (0x11 playing, 0x12 paused, 0x13 completed, 0x15 none).
  int32_t Status(const TDrive& drive);
  // True while the drive plays or is paused.
  bool Playing(const TDrive& drive) {
    const int32_t status = Status(drive);
    return status == kStatusPlaying || status == kStatusPaused;
  }
  // Where the play stands: absolute, and relative to the start of the track
  // of `toc` it lies in.
  int32_t Position(const TDrive& drive, const std::vector<CdripTocEntry>& toc, int32_t& relative,
                   int32_t& absolute);

 private:
  using TClock = std::chrono::steady_clock;
  static constexpr uint8_t kStatusPlaying = 0x11;
  static constexpr uint8_t kStatusPaused = 0x12;
  // Real-time position of an image drive's playback.
  struct TPlayClock {
    bool Running = false;
    bool Paused = false;
    bool Completed = false;
    int32_t Start = 0;
    int32_t End = 0;
    int32_t PausedAt = 0;
    TClock::time_point StartedAt;
  };
  int32_t ClockPosition();

  TPlayClock FClock;
  TImageOutput FOutput;  // an image's sound under playback
  TCdio FCdio;           // physical drive under playback
};

}  // namespace cdrip
