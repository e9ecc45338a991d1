#include "libs/cdrip/Playback.h"

#include <cdio/audio.h>

#include <memory>

#include "libs/cdrip/DiscRules.h"

namespace cdrip {

namespace {

constexpr int32_t kSectorsPerSecond = 75;
constexpr uint8_t kStatusCompleted = 0x13;

// Reads the image's sectors for its playback thread. Opened here, on the
// caller's thread: neither libcdio's nor libcue's parsers may run beside
// another use of their library. Null when the image does not open.
TImageOutput::TSectorReader ImageReader(const TDrives& drives, TDrive& drive) {
  if (IsCueSheet(drive)) {
    std::shared_ptr<TCueImage> cue = drives.OpenCue(drive);
    if (!cue) return nullptr;
    return [cue](int32_t first, int32_t count, uint8_t* out) {
      return cue->Read(first, count, out) == count;
    };
  }
  std::shared_ptr<CdIo_t> cdio(cdio_open(drive.Path.c_str(), DRIVER_UNKNOWN), cdio_destroy);
  if (!cdio) return nullptr;
  return [cdio](int32_t first, int32_t count, uint8_t* out) {
    return cdio_read_audio_sectors(cdio.get(), out, first, uint32_t(count)) == DRIVER_OP_SUCCESS;
  };
}

}  // namespace

int32_t TPlayback::Play(const TDrives& drives, TDrive& drive, int32_t start, int32_t end) {
  if (end <= start || start < 0) return CDRIP_ERROR;
  // A new range plays at once: a stop first would spin the disc down.
  FClock = TPlayClock{};
  if (drive.IsImage) {
    drives.Refresh(drive);
    if (drive.Faults.NotReady || drive.TrayOpen) return CDRIP_ERROR;
    FClock.Running = true;
    FClock.Start = start;
    FClock.End = end;
    FClock.StartedAt = TClock::now();
    FOutput.Start(ImageReader(drives, drive), start, end, FClock.StartedAt);
    return CDRIP_OK;
  }
  FCdio = drives.OpenDisc(drive);
  if (!FCdio) return CDRIP_ERROR;
  msf_t from, to;
  cdio_lsn_to_msf(start, &from);
  cdio_lsn_to_msf(end, &to);
  return cdio_audio_play_msf(FCdio.get(), &from, &to) == DRIVER_OP_SUCCESS ? CDRIP_OK : CDRIP_ERROR;
}

void TPlayback::Stop() {
  FClock = TPlayClock{};
  FOutput.Stop();
  if (FCdio) cdio_audio_stop(FCdio.get());
  FCdio.reset();
}

int32_t TPlayback::ClockPosition() {
  if (FClock.Paused) return FClock.PausedAt;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - FClock.StartedAt);
  const int64_t position = FClock.Start + elapsed.count() * kSectorsPerSecond / 1000;
  if (position >= FClock.End) {
    FClock.Running = false;
    FClock.Completed = true;
    return FClock.End;
  }
  return int32_t(position);
}

int32_t TPlayback::Status(const TDrive& drive) {
  if (drive.IsImage) {
    if (FClock.Running) ClockPosition();
    if (FClock.Running) return FClock.Paused ? kStatusPaused : kStatusPlaying;
    // The play ends when its last sound has left, not before.
    if (FClock.Completed && FOutput.Busy()) return kStatusPlaying;
    return FClock.Completed ? kStatusCompleted : kAudioStatusNone;
  }
  if (!FCdio) return kAudioStatusNone;
  cdio_subchannel_t sub{};
  const bool read = cdio_audio_read_subchannel(FCdio.get(), &sub) == DRIVER_OP_SUCCESS;
  return AudioStatusOfRead(read, sub.audio_status);
}

int32_t TPlayback::Pause(const TDrive& drive, bool pause) {
  if (!drive.IsImage) {
    if (!FCdio) return CDRIP_ERROR;
    const driver_return_code_t rc =
        pause ? cdio_audio_pause(FCdio.get()) : cdio_audio_resume(FCdio.get());
    return rc == DRIVER_OP_SUCCESS ? CDRIP_OK : CDRIP_ERROR;
  }
  if (!FClock.Running) return CDRIP_ERROR;
  if (pause && !FClock.Paused) {
    FClock.PausedAt = ClockPosition();
    FClock.Paused = FClock.Running;
    if (FClock.Paused) FOutput.Pause();
  } else if (!pause && FClock.Paused) {
    FClock.Paused = false;
    FClock.StartedAt =
        TClock::now() - std::chrono::milliseconds(int64_t(FClock.PausedAt - FClock.Start) * 1000 /
                                                  kSectorsPerSecond);
    FOutput.Resume(FClock.StartedAt);
  }
  return CDRIP_OK;
}

int32_t TPlayback::Position(const TDrive& drive, const std::vector<CdripTocEntry>& toc,
                            int32_t& relative, int32_t& absolute) {
  relative = 0;
  absolute = 0;
  if (!drive.IsImage) {
    cdio_subchannel_t sub{};
    if (!FCdio || cdio_audio_read_subchannel(FCdio.get(), &sub) != DRIVER_OP_SUCCESS)
      return CDRIP_ERROR;
    relative = int32_t(cdio_msf_to_lba(&sub.rel_addr));
    absolute = int32_t(cdio_msf_to_lsn(&sub.abs_addr));
    return CDRIP_OK;
  }
  if (!FClock.Running && !FClock.Completed) return CDRIP_ERROR;
  const int32_t position = FClock.Running ? ClockPosition() : FClock.End;
  int32_t trackStart = FClock.Start;
  for (size_t i = 0; i + 1 < toc.size(); ++i)
    if (toc[i].startSector <= position) trackStart = toc[i].startSector;
  absolute = position;
  relative = position - trackStart;
  return CDRIP_OK;
}

}  // namespace cdrip
