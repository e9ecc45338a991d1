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
  FState = std::make_shared<TState>();
  FState->Start = start;
  FState->End = end;
  FState->StartedAt = startedAt;
  FThread = std::thread(&TImageOutput::Run, FState, std::move(image));
}

void TImageOutput::Pause() {
  if (!FState) return;
  std::lock_guard lock(FState->Mutex);
  FState->Paused = true;
  FState->Changed.notify_all();
}

void TImageOutput::Resume(TClock::time_point startedAt) {
  if (!FState) return;
  std::lock_guard lock(FState->Mutex);
  FState->Paused = false;
  FState->StartedAt = startedAt;
  FState->Changed.notify_all();
}

void TImageOutput::Stop() {
  if (!FState) return;
  bool finished;
  {
    std::unique_lock lock(FState->Mutex);
    FState->Stop = true;
    FState->Changed.notify_all();
    finished = FState->Changed.wait_for(lock, kStopWait, [this] { return FState->Finished; });
  }
  // A sound server that stopped answering holds the thread in its client
  // library; it ends when the server answers or the process does.
  if (finished)
    FThread.join();
  else
    FThread.detach();
  FState.reset();
}

bool TImageOutput::Busy() const {
  if (!FState) return false;
  std::lock_guard lock(FState->Mutex);
  return FState->Busy;
}

int64_t TImageOutput::TState::ClockSectors(TClock::time_point now) const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - StartedAt);
  return Start + elapsed.count() * kSectorsPerSecond / 1000;
}

void TImageOutput::Run(std::shared_ptr<TState> state, TSectorReader image) {
  TState& s = *state;
  bool drain = false;
  {
    pcmout::TPcmOutput output;
    std::string error;
    if (image && output.Open("default", 44100, 2, error, true) >= 0) {
      std::vector<uint8_t> buffer(size_t(kPieceSectors) * kSectorBytes);
      std::unique_lock lock(s.Mutex);
      int32_t next = s.Start;
      bool paused = false;
      while (!s.Stop && next < s.End) {
        if (s.Paused != paused) {
          paused = s.Paused;
          output.Pause(paused);
        }
        if (paused) {
          s.Changed.wait(lock);
          continue;
        }
        const int64_t ahead = next - s.ClockSectors(TClock::now());
        if (ahead >= kLeadSectors) {
          // Sleep until the clock leaves room for one more sector.
          s.Changed.wait_for(lock, std::chrono::milliseconds((ahead - kLeadSectors + 1) * 1000 /
                                                             kSectorsPerSecond));
          continue;
        }
        const int32_t count =
            int32_t(std::min<int64_t>({kPieceSectors, s.End - next, kLeadSectors - ahead}));
        lock.unlock();
        // An unreadable stretch plays as silence.
        if (!image(next, count, buffer.data())) std::fill(buffer.begin(), buffer.end(), 0);
        const bool written = output.Write(reinterpret_cast<const int16_t*>(buffer.data()),
                                          size_t(count) * kFramesPerSector, error, &s.Stop);
        lock.lock();
        if (!written) break;
        next += count;
      }
      drain = !s.Stop;
      if (drain) {
        // Played to its end: the caller sees it busy until the sound has left.
        lock.unlock();
        output.Close(true);
      }
    }
  }
  std::lock_guard lock(s.Mutex);
  s.Busy = false;
  s.Finished = true;
  s.Changed.notify_all();
}

}  // namespace cdrip
