#include "libs/cdrip/ImageOutput.h"

#include <cdio/cdio.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "libs/pcmout/PcmOutput.h"

namespace cdrip {

namespace {

constexpr int32_t kSectorBytes = CDIO_CD_FRAMESIZE_RAW;
constexpr int32_t kFramesPerSector = kSectorBytes / 4;
constexpr int64_t kSectorsPerSecond = 75;
// How far the sound may run ahead of the clock, and the most sent at once.
constexpr int64_t kLeadSectors = 15;
constexpr int32_t kPieceSectors = 5;

}  // namespace

void TImageOutput::Start(TSectorReader image, int32_t start, int32_t end,
                         TClock::time_point startedAt) {
  Stop();
  std::lock_guard lock(FMutex);
  FStop = false;
  FPaused = false;
  FBusy = true;
  FStart = start;
  FEnd = end;
  FStartedAt = startedAt;
  FThread = std::thread(&TImageOutput::Run, this, std::move(image));
}

void TImageOutput::Pause() {
  std::lock_guard lock(FMutex);
  FPaused = true;
  FChanged.notify_all();
}

void TImageOutput::Resume(TClock::time_point startedAt) {
  std::lock_guard lock(FMutex);
  FPaused = false;
  FStartedAt = startedAt;
  FChanged.notify_all();
}

void TImageOutput::Stop() {
  {
    std::lock_guard lock(FMutex);
    FStop = true;
    FChanged.notify_all();
  }
  if (FThread.joinable()) FThread.join();
  std::lock_guard lock(FMutex);
  FBusy = false;
}

bool TImageOutput::Busy() const {
  std::lock_guard lock(FMutex);
  return FBusy;
}

int64_t TImageOutput::ClockSectors(TClock::time_point now) const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - FStartedAt);
  return FStart + elapsed.count() * kSectorsPerSecond / 1000;
}

void TImageOutput::Run(TSectorReader image) {
  pcmout::TPcmOutput output;
  std::string error;
  if (!image || output.Open("default", 44100, 2, error) < 0) {
    std::lock_guard lock(FMutex);
    FBusy = false;
    return;
  }
  std::vector<uint8_t> buffer(size_t(kPieceSectors) * kSectorBytes);
  std::unique_lock lock(FMutex);
  int32_t next = FStart;
  bool paused = false;
  while (!FStop && next < FEnd) {
    if (FPaused != paused) {
      paused = FPaused;
      output.Pause(paused);
    }
    if (paused) {
      FChanged.wait(lock);
      continue;
    }
    const TClock::time_point now = TClock::now();
    const int64_t ahead = next - ClockSectors(now);
    if (ahead >= kLeadSectors) {
      // Sleep until the clock leaves room for one more sector.
      FChanged.wait_for(
          lock, std::chrono::milliseconds((ahead - kLeadSectors + 1) * 1000 / kSectorsPerSecond));
      continue;
    }
    const int32_t count =
        int32_t(std::min<int64_t>({kPieceSectors, FEnd - next, kLeadSectors - ahead}));
    lock.unlock();
    // An unreadable stretch plays as silence.
    if (!image(next, count, buffer.data())) std::fill(buffer.begin(), buffer.end(), 0);
    const bool written = output.Write(reinterpret_cast<const int16_t*>(buffer.data()),
                                      size_t(count) * kFramesPerSector, error);
    lock.lock();
    if (!written) break;
    next += count;
  }
  const bool drain = !FStop;
  lock.unlock();
  output.Close(drain);
  lock.lock();
  FBusy = false;
}

}  // namespace cdrip
