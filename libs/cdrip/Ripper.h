// TRipper: one rip of a sector range, from CR_OpenRipper to CR_CloseRipper.
// It reads through libcdio-paranoia, wraps the drive's read (an image's
// simulated drive) to see every read and give up sectors that are not there,
// keeps a TSectorLog per sector and hands the range over chunk by chunk,
// moved by the read offset. One rip per thread, on the thread that opened
// it; only the stop requests may come from elsewhere.
#pragma once

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "libs/cdrip/CueImage.h"
#include "libs/cdrip/Drives.h"
#include "libs/cdrip/ImageFaults.h"
#include "libs/cdrip/SectorLog.h"

namespace cdrip {

using TReadAudio = long (*)(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors);

struct TRipper {
  using TClock = std::chrono::steady_clock;

  TRipper() = default;
  TRipper(const TRipper&) = delete;
  TRipper& operator=(const TRipper&) = delete;
  ~TRipper();

  // The disc, or a cue image's stand-in for paranoia's TOC; destroyed last.
  std::shared_ptr<CdIo_t> Cdio;
  std::unique_ptr<TCueImage> Cue;
  cdrom_drive_t* Drive = nullptr;
  cdrom_paranoia_t* Paranoia = nullptr;
  int LockFd = -1;  // the device held open while its tray is locked
  int32_t Start = 0;
  int32_t End = 0;
  int32_t Next = 0;
  int32_t JitterCount = 0;
  int32_t LostSectors = 0;
  int32_t LeftOut = 0;  // sectors of the asked range the offsets cut, not proved silent
  int32_t LastJitterFirst = 0;
  int32_t LastJitterLast = 0;
  TReadAudio DriveRead = nullptr;  // the drive's own read, which RipRead wraps
  // An image's drive and the image's exact sectors it reads.
  std::shared_ptr<TSimulatedDrive> Simulated;
  TSimulatedDrive::TMedium Medium;
  // What the drive delivered lately, and whether paranoia's own reads must
  // push its cache out too (an image states its cache; a physical drive is
  // left to paranoia's cache model, and only the rip's re-reads push).
  std::shared_ptr<TReadHistory> History;
  bool PushBeforeEveryRead = false;
  int32_t AudioBegin = 0;  // the audio around the range, where pushing reads go
  int32_t AudioStop = 0;
  bool Correcting = false;  // jitter correction: paranoia verifies, the rip checks its place
  // Paranoia's audio since its last seek was proved to lie where the disc
  // has it.
  bool Placed = false;
  int32_t LogFirst = 0;  // sector of Log[0]
  std::vector<TSectorLog> Log;
  TClock::time_point LastRead;  // when a read last delivered a sector
  std::chrono::seconds GiveUpAfter{30};
  bool GaveUp = false;  // no progress: the rest of the range is silence
  // With a read offset the sectors above are what the drive reads (the range
  // moved and widened to cover the offset, within the audio); the caller gets
  // samples [OutNext, OutStop) of the range, sample i being disc sample
  // i + Shift, silence where that lies outside the audio.
  int32_t Shift = 0;
  int64_t OutNext = 0;
  int64_t OutStop = 0;
  std::vector<uint8_t> Pending;  // read and not handed over yet
  int64_t PendingFirst = 0;      // disc sample of Pending's first byte
  // Stopped by its drive's flag, or by a RequestStopAll after it opened.
  std::shared_ptr<std::atomic<bool>> DriveStop;
  uint32_t StopsBefore = 0;  // RequestStopAll calls before it opened

  bool Done() const { return Shift != 0 ? OutNext >= OutStop : Next >= End; }
  int32_t PercentCompleted() const;
  // The status of the first `capacity` sectors of the range.
  void SectorStatus(uint8_t* status, int32_t capacity) const;
};

// Opens [start, end) of the disc in `drive` as CR_OpenRipper describes, moved
// by the drive's offsets and `readOffset` samples; null when it is refused.
std::unique_ptr<TRipper> OpenRipper(const TDrives& drives, TDrive& drive, int32_t readOffset,
                                    int32_t start, int32_t end);
// The rip's next chunk into `buffer` (kChunkBytes): a CDRIP_ result code.
int32_t RipChunk(TDrive& drive, TRipper& r, uint8_t* buffer, int32_t& bytes);
// A chunk's sectors, and the bytes a chunk buffer must hold.
inline constexpr int32_t kChunkSectors = 27;
inline constexpr int32_t kChunkBytes = kChunkSectors * CDIO_CD_FRAMESIZE_RAW;

// How a rip on `drive` keeps the drive's cache from answering a re-read, in
// words for the rip log.
std::string CacheHandling(const TDrive& drive);

// Stops every open rip inside its chunk in hand. Safe from a signal handler
// or another thread.
void RequestStopAll();
bool StopRequested(const TRipper& r);

}  // namespace cdrip
