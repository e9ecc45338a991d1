#include "libs/cdrip/Ripper.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "libs/cdrip/DiscInfo.h"
#include "libs/cdrip/DiscRules.h"

namespace cdrip {

namespace {

using TClock = TRipper::TClock;

constexpr int32_t kSectorBytes = CDIO_CD_FRAMESIZE_RAW;
constexpr int64_t kSectorSamples = kSectorBytes / 4;
constexpr int kMaxRetries = 20;
// Failed reads of one sector after which the rip stops asking the disc for it
// and takes silence: paranoia alone would retry a sector that is not there
// for ever.
constexpr uint8_t kGiveUpAttempts = 3;
static_assert(kGiveUpAttempts <= 7, "TSectorLog counts failures up to 7");
// Paranoia reads before a rip's range for its overlap and ahead of it.
constexpr int32_t kLogMargin = 600;
// The cache a physical drive is taken to have: paranoia's own model of it.
constexpr int32_t kAssumedDriveCache = 1200;

// The thread's rip, whose drive reads go through RipRead (the read function
// has no user data; paranoia calls it on the thread that reads).
thread_local TRipper* Reading = nullptr;
// Counted up from any thread or a signal handler: every rip open then stops
// inside its chunk.
std::atomic<uint32_t> StopAllCount{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free);

// Doubtful audio paranoia reported during the thread's chunk in hand (the
// callback has no user data).
struct TChunkEvents {
  bool Doubtful = false;
  int32_t First = 0;
  int32_t Last = 0;
};
thread_local TChunkEvents ChunkEvents;

// The kernel's own tray lock: an MMC command would need a handle opened for
// writing, which the kernel refuses a normal user.
bool LockTray(int fd, bool lock) { return ioctl(fd, CDROM_LOCKDOOR, lock ? 1 : 0) == 0; }

TSectorLog* LogOf(TRipper& r, int32_t sector) {
  const int64_t at = int64_t(sector) - r.LogFirst;
  return at >= 0 && at < int64_t(r.Log.size()) ? &r.Log[size_t(at)] : nullptr;
}

// Read errors and skips are the rip's own business (RipRead sees every read,
// and a skipped sector is read again); a cache paranoia could not trust only
// makes the audio doubtful. Fixed jitter, drift and dropped or duplicated
// bytes were repaired and verified, and happen on nearly every track of a
// healthy disc.
void ParanoiaCallback(long position, paranoia_cb_mode_t mode) {
  // Positions count 16-bit words.
  const auto sector = int32_t(position / (CDIO_CD_FRAMESIZE_RAW / 2));
  // A skip puts whatever it finds, or silence, in place of the next sectors.
  if (mode == PARANOIA_CB_SKIP && Reading) {
    for (int32_t at : {sector, sector + 1})
      if (TSectorLog* log = LogOf(*Reading, at)) log->SetSuspect();
  }
  const bool corrected = mode == PARANOIA_CB_FIXUP_EDGE || mode == PARANOIA_CB_FIXUP_ATOM ||
                         mode == PARANOIA_CB_FIXUP_DROPPED || mode == PARANOIA_CB_FIXUP_DUPED ||
                         mode == PARANOIA_CB_DRIFT;
  if (corrected && Reading) {
    if (TSectorLog* log = LogOf(*Reading, sector)) log->SetCorrected();
  }
  if (mode != PARANOIA_CB_CACHEERR) return;
  if (!ChunkEvents.Doubtful) {
    ChunkEvents = {true, sector, sector};
  } else {
    ChunkEvents.First = std::min(ChunkEvents.First, sector);
    ChunkEvents.Last = std::max(ChunkEvents.Last, sector);
  }
}

// A sector's bytes before a read: an image whose file ends early delivers a
// short read and leaves the rest of the buffer as it was, without an error.
const std::array<uint8_t, kSectorBytes>& Unwritten() {
  static const std::array<uint8_t, kSectorBytes> bytes = [] {
    std::array<uint8_t, kSectorBytes> pattern{};
    uint32_t state = 0x9e3779b9u;
    for (uint8_t& byte : pattern) {
      state = state * 1664525u + 1013904223u;
      byte = uint8_t(state >> 24);
    }
    return pattern;
  }();
  return bytes;
}

// Reads through libcdio's own read, at most the drive's sectors at a time;
// returns how many leading sectors it really delivered.
long ReadWhole(TReadAudio read, cdrom_drive_t* drive, uint8_t* out, int32_t begin, long count) {
  for (long i = 0; i < count; ++i)
    std::memcpy(out + i * kSectorBytes, Unwritten().data(), kSectorBytes);
  const long most = drive->nsectors > 0 ? drive->nsectors : count;
  long whole = 0;
  while (whole < count) {
    const long asked = std::min(most, count - whole);
    const long delivered = std::clamp<long>(
        read(drive, out + whole * kSectorBytes, begin + int32_t(whole), asked), 0, asked);
    const long before = whole;
    while (whole < before + delivered &&
           std::memcmp(out + whole * kSectorBytes, Unwritten().data(), kSectorBytes) != 0)
      ++whole;
    if (whole < before + asked) break;
  }
  return whole;
}

// What the drive hands back: an image's through its simulated drive. A null
// `out` only moves the drive.
long ReadFromDrive(TRipper& r, uint8_t* out, int32_t begin, long count) {
  long delivered = 0;
  if (r.Simulated)
    delivered = r.Simulated->Read(r.Medium, begin, count, out);
  else if (!out)
    delivered = r.DriveRead(r.Drive, out, begin, count);
  else
    delivered = ReadWhole(r.DriveRead, r.Drive, out, begin, count);
  for (long i = 0; i < delivered; ++i) r.History->Add(begin + int32_t(i));
  return delivered;
}

// Reads as many sectors as the drive's cache holds, none of [first, first +
// count) and as far from them as the audio allows, so none of those can come
// from the cache. A small disc may not have as many.
void PushOutOfCache(TRipper& r, int32_t first, long count) {
  const int32_t reach = r.History->Reach();
  const bool after = r.AudioStop - (first + count) >= first - r.AudioBegin;
  const int64_t from = after ? std::max<int64_t>(first + count, r.AudioStop - reach) : r.AudioBegin;
  const int64_t to = after ? r.AudioStop : std::min<int64_t>(first, r.AudioBegin + int64_t(reach));
  std::vector<uint8_t> buffer(static_cast<size_t>(kChunkBytes));
  for (int64_t at = from; at < to && !StopRequested(r);) {
    const long sectors = long(std::min<int64_t>(kChunkSectors, to - at));
    at += std::max<long>(ReadFromDrive(r, buffer.data(), int32_t(at), sectors), 1);
  }
}

// Reads from the drive; returns how many leading sectors it delivered, and
// logs them as read and the one it failed at as failed. A re-read, and on
// a drive whose cache paranoia's model does not cover every read, first
// pushes what it asks for out of the drive's cache.
long ReadDirect(TRipper& r, uint8_t* out, int32_t begin, long count, bool reread = false) {
  if (reread || r.PushBeforeEveryRead) {
    for (long i = 0; i < count; ++i) {
      if (!r.History->Recent(begin + int32_t(i))) continue;
      PushOutOfCache(r, begin, count);
      break;
    }
  }
  const long delivered = std::clamp<long>(ReadFromDrive(r, out, begin, count), 0, count);
  for (long i = 0; i < delivered; ++i)
    if (TSectorLog* log = LogOf(r, begin + int32_t(i))) log->SetRead();
  if (TSectorLog* log = delivered < count ? LogOf(r, begin + int32_t(delivered)) : nullptr)
    log->AddFailure();
  if (delivered > 0) r.LastRead = TClock::now();
  return delivered;
}

// Hands over silence for sectors no read delivered; they are given up, so
// that nothing takes them as read.
void MakeUp(TRipper& r, uint8_t* out, int32_t begin, long count) {
  std::memset(out, 0, size_t(count) * kSectorBytes);
  for (long i = 0; i < count; ++i)
    if (TSectorLog* log = LogOf(r, begin + int32_t(i))) log->SetGivenUp();
}

// The drive's read during a rip. Paranoia fills what a read did not deliver
// with silence and reads it again, for ever when it is not there; here each
// sector is tried on its own, and one that failed kGiveUpAttempts times, or
// every sector once the rip is stopped or made no progress, is handed over as
// silence without asking the disc. Without jitter correction paranoia asks
// nothing twice, so a failed sector is tried again here. The log tells
// ReadChunk what it got.
long RipRead(cdrom_drive_t*, void* buffer, lsn_t begin, long sectors) {
  TRipper* r = Reading;
  if (!r) return -1;
  // Paranoia reads without a buffer to move the drive's cache away.
  if (!buffer || sectors <= 0) return ReadFromDrive(*r, nullptr, begin, sectors);
  auto* out = static_cast<uint8_t*>(buffer);
  if (!r->GaveUp && TClock::now() - r->LastRead > r->GiveUpAfter) r->GaveUp = true;
  if (StopRequested(*r) || r->GaveUp) {
    MakeUp(*r, out, begin, sectors);
    return sectors;
  }
  const long delivered = ReadDirect(*r, out, begin, sectors);
  for (long i = delivered; i < sectors; ++i) {
    uint8_t* at = out + i * kSectorBytes;
    const int32_t sector = begin + int32_t(i);
    if (StopRequested(*r)) {
      MakeUp(*r, at, sector, sectors - i);
      return sectors;
    }
    if (ReadDirect(*r, at, sector, 1) == 1) continue;
    TSectorLog* log = LogOf(*r, sector);
    // Right after a sector given up, the disc has nothing here: no retries.
    // Beyond the log lies nothing the rip hands over.
    const TSectorLog* before = LogOf(*r, sector - 1);
    if (!log || log->GivenUp() || log->Failures() >= kGiveUpAttempts ||
        (before && before->GivenUp())) {
      MakeUp(*r, at, sector, 1);
      continue;
    }
    if (!r->Correcting) {
      --i;
      continue;
    }
    // Paranoia fills the rest itself; whatever it hands back there is checked.
    for (long k = i; k < sectors; ++k)
      if (TSectorLog* rest = LogOf(*r, begin + int32_t(k))) rest->SetSuspect();
    return i;
  }
  return sectors;
}

// True when the sector paranoia handed back is what the disc holds: it was
// delivered by a read, and where paranoia may have filled it in, a fresh read
// gives the same bytes.
bool SectorIsRead(TRipper& r, int32_t sectorNum, const int16_t* sector) {
  const TSectorLog* log = LogOf(r, sectorNum);
  if (!sector || !log || !log->Read() || log->GivenUp()) return false;
  if (log->Failures() == 0 && !log->Suspect()) return true;
  uint8_t fresh[kSectorBytes];
  return ReadDirect(r, fresh, sectorNum, 1, true) == 1 &&
         std::memcmp(fresh, sector, kSectorBytes) == 0;
}

// Reads `count` sectors from `first` through paranoia into `buffer`, silence
// where `lost`; returns how many, fewer when a stop ends the chunk.
int32_t ReadSectors(TRipper& r, int32_t first, int32_t count, uint8_t* buffer, bool* lost) {
  int32_t done = 0;
  for (; done < count && !StopRequested(r); ++done) {
    const int32_t sectorNum = first + done;
    uint8_t* at = buffer + size_t(done) * kSectorBytes;
    const int16_t* sector = cdio_paranoia_read_limited(r.Paranoia, ParanoiaCallback, kMaxRetries);
    // What a stopped read handed back is no audio, and no loss either.
    if (StopRequested(r)) break;
    if (!sector) {
      cdio_paranoia_seek(r.Paranoia, sectorNum + 1, SEEK_SET);
      r.Placed = false;
    }
    lost[done] = !SectorIsRead(r, sectorNum, sector);
    if (lost[done])
      std::memset(at, 0, kSectorBytes);
    else
      std::memcpy(at, sector, kSectorBytes);
  }
  return done;
}

// Silent: the chunk holds nothing that could show a place (silence, or a
// sector of one repeated sample); Unknown: fresh reads did not settle it.
enum class TPlace { Proved, Wrong, Unknown, Silent };

// Whether the chunk's audio lies where the disc has it. After a seek
// paranoia places what it reads where that read landed, which on a drive
// without accurate stream may be samples off, and keeps everything after in
// step with it. A fresh read of one of its sectors giving the same bytes
// proves the place; two fresh reads that agree with each other but not with
// it prove it wrong.
TPlace CheckPlace(TRipper& r, int32_t first, int32_t count, const uint8_t* chunk,
                  const bool* lost) {
  constexpr int kCandidates = 3, kReads = 10;
  int tried = 0;
  for (int32_t i = 0; i < count && tried < kCandidates; ++i) {
    const uint8_t* sector = chunk + size_t(i) * kSectorBytes;
    if (lost[i] || std::memcmp(sector, sector + 4, kSectorBytes - 4) == 0) continue;
    ++tried;
    std::vector<std::array<uint8_t, kSectorBytes>> reads;
    for (int k = 0; k < kReads; ++k) {
      std::array<uint8_t, kSectorBytes> fresh;
      if (ReadDirect(r, fresh.data(), first + i, 1, true) != 1) break;
      if (std::memcmp(fresh.data(), sector, kSectorBytes) == 0) return TPlace::Proved;
      if (std::find(reads.begin(), reads.end(), fresh) != reads.end()) return TPlace::Wrong;
      reads.push_back(fresh);
    }
  }
  return tried > 0 ? TPlace::Unknown : TPlace::Silent;
}

// True when disc samples [from, to) are digital silence: beyond the audio,
// or read as zeros.
bool ReadsSilent(TRipper& r, int64_t from, int64_t to) {
  from = std::max<int64_t>(from, int64_t(r.AudioBegin) * kSectorSamples);
  to = std::min<int64_t>(to, int64_t(r.AudioStop) * kSectorSamples);
  uint8_t sector[kSectorBytes];
  for (int64_t at = from; at < to;) {
    const int64_t number = at / kSectorSamples;
    if (ReadFromDrive(r, sector, int32_t(number), 1) != 1) return false;
    const int64_t stop = std::min(to, (number + 1) * kSectorSamples);
    const uint8_t* part = sector + (at - number * kSectorSamples) * 4;
    if (std::any_of(part, part + (stop - at) * 4, [](uint8_t byte) { return byte != 0; }))
      return false;
    at = stop;
  }
  return true;
}

// Sectors of [start, end) that the drive's offsets leave out of the rip,
// [first, last), and that no read proves silent: audio missing from it.
// Their samples lie Shift later on the disc, as the rip's do.
int32_t LeftOut(TRipper& r, int64_t start, int64_t end, int64_t first, int64_t last) {
  int32_t count = 0;
  for (int64_t k = start; k < end; ++k) {
    if (k >= first && k < last) k = last;
    if (k >= end) break;
    const int64_t sample = k * kSectorSamples + r.Shift;
    count += !ReadsSilent(r, sample, sample + kSectorSamples);
  }
  return count;
}

// A fresh paranoia, which keeps nothing it read before, reading from `sector`.
bool StartParanoia(TRipper& r, int32_t sector) {
  if (r.Paranoia) cdio_paranoia_free(r.Paranoia);
  r.Paranoia = cdio_paranoia_init(r.Drive);
  if (!r.Paranoia) return false;
  cdio_paranoia_modeset(r.Paranoia, r.Correcting ? PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP
                                                 : PARANOIA_MODE_DISABLE);
  cdio_paranoia_seek(r.Paranoia, sector, SEEK_SET);
  r.Placed = false;
  return true;
}

// Reads the ripper's next chunk into buffer; returns the result code. A
// sector that cannot be read becomes silence in its place, so the chunk
// always holds all its sectors and the rip always advances. A stop request
// ends the chunk at the sector in hand. With jitter correction, a chunk
// whose place is wrong is read again from a fresh seek.
int32_t ReadChunk(TDrive& drive, TRipper& r, uint8_t* buffer, int32_t& bytes) {
  // Fresh starts after which paranoia's audio may still lie elsewhere: the
  // chunk is handed over as doubtful.
  constexpr int kPlaceAttempts = 10;
  const int32_t first = r.Next;
  const int32_t count = std::min(kChunkSectors, r.End - r.Next);

  ChunkEvents = TChunkEvents{};
  bool lostFlags[kChunkSectors] = {};
  int32_t done = ReadSectors(r, first, count, buffer, lostFlags);
  bool misplaced = false;
  for (int attempt = 1; done == count && r.Correcting && !r.Placed; ++attempt) {
    const TPlace place = CheckPlace(r, first, count, buffer, lostFlags);
    r.Placed = place == TPlace::Proved;
    misplaced = place == TPlace::Unknown || (place == TPlace::Wrong && attempt == kPlaceAttempts);
    if (place != TPlace::Wrong || misplaced) break;
    for (int32_t i = 0; i < count; ++i)
      if (TSectorLog* log = LogOf(r, first + i)) log->SetCorrected();
    // A seek alone would build on the blocks paranoia keeps, misplaced as they are.
    if (!StartParanoia(r, first)) break;
    done = ReadSectors(r, first, count, buffer, lostFlags);
  }
  int32_t lost = 0;
  TSectorRange lostRange{};
  for (int32_t i = 0; i < done; ++i) {
    TSectorLog* log = LogOf(r, first + i);
    // Audio after silence is placed afresh.
    const uint8_t* at = buffer + size_t(i) * kSectorBytes;
    if (at[0] == 0 && std::memcmp(at, at + 1, kSectorBytes - 1) == 0) r.Placed = false;
    if (lostFlags[i]) {
      if (lost++ == 0) lostRange.First = first + i;
      lostRange.Last = first + i;
      if (log) log->HandOver(CDRIP_SECTOR_LOST);
    } else if (log) {
      log->HandOver(log->Failures() > 0 || log->Suspect() ? CDRIP_SECTOR_REREAD
                    : log->Corrected()                    ? CDRIP_SECTOR_CORRECTED
                                                          : CDRIP_SECTOR_CLEAN);
    }
  }
  r.Next = first + done;
  bytes = done * kSectorBytes;
  const int32_t last = first + done - 1;
  if (drive.Params.swapChannels) {
    auto* samples = reinterpret_cast<int16_t*>(buffer);
    for (int32_t i = 0; i + 1 < bytes / 2; i += 2) std::swap(samples[i], samples[i + 1]);
  }
  for (int32_t i = 0; drive.IsImage && !drive.Faults.Changing.empty() && i < done; ++i) {
    TSectorRange hit{};
    if (!Overlap(drive.Faults.Changing, first + i, first + i, hit)) continue;
    if (++drive.ChangingReads[first + i] % 2 != 0) continue;
    uint8_t* at = buffer + size_t(i) * kSectorBytes;
    for (int32_t k = 0; k < kSectorBytes; k += 2) at[k] ^= 1;
  }
  if (lost > 0) {
    r.LostSectors += lost;
    ++r.JitterCount;
    r.LastJitterFirst = lostRange.First;
    r.LastJitterLast = lostRange.Last;
  }
  if (done < count) return CDRIP_RIPPING_DONE;
  if (lost > 0) return CDRIP_ERROR;

  bool jitter = ChunkEvents.Doubtful;
  TSectorRange where{ChunkEvents.First, ChunkEvents.Last};
  if (misplaced) {
    where = jitter ? TSectorRange{std::min(where.First, first), std::max(where.Last, last)}
                   : TSectorRange{first, last};
    jitter = true;
  }
  TSectorRange hit{};
  if (drive.IsImage && Overlap(drive.Faults.Jitter, first, last, hit)) {
    where = jitter ? TSectorRange{std::min(where.First, hit.First), std::max(where.Last, hit.Last)}
                   : hit;
    jitter = true;
  }
  if (jitter) {
    for (int32_t at = std::max(where.First, first); at <= std::min(where.Last, last); ++at)
      if (TSectorLog* log = LogOf(r, at)) log->Doubt();
    ++r.JitterCount;
    r.LastJitterFirst = where.First;
    r.LastJitterLast = where.Last;
    return CDRIP_JITTER_ERROR;
  }
  return r.Next >= r.End ? CDRIP_RIPPING_DONE : CDRIP_OK;
}

// ReadChunk for a rip with a read offset: the chunk's samples taken Shift
// samples later on the disc, across track boundaries; what lies beyond the
// audio is silence. Same result codes, the errors of the sectors read for it.
int32_t ReadShiftedChunk(TDrive& drive, TRipper& r, uint8_t* buffer, int32_t& bytes) {
  const int64_t want = std::min<int64_t>(kChunkSectors * kSectorSamples, r.OutStop - r.OutNext);
  const int64_t from = r.OutNext + r.Shift;  // disc sample of the chunk's first
  auto pendingStop = [&r] { return r.PendingFirst + int64_t(r.Pending.size() / 4); };
  int32_t code = CDRIP_OK;
  bool stopped = false;
  std::vector<uint8_t> raw(static_cast<size_t>(kChunkBytes));
  while (pendingStop() < from + want && r.Next < r.End) {
    int32_t got = 0;
    const int32_t result = ReadChunk(drive, r, raw.data(), got);
    r.Pending.insert(r.Pending.end(), raw.begin(), raw.begin() + got);
    if (result == CDRIP_ERROR || (result == CDRIP_JITTER_ERROR && code == CDRIP_OK)) code = result;
    if (StopRequested(r)) {
      stopped = true;
      break;
    }
  }
  // A stopped rip hands over the whole sectors it has.
  int64_t count = want;
  if (stopped)
    count = std::clamp<int64_t>(pendingStop() - from, 0, want) / kSectorSamples * kSectorSamples;
  // The sectors read lie within the audio: what they do not hold is silence.
  const int64_t lo = std::clamp<int64_t>(r.PendingFirst - from, 0, count);
  const int64_t hi = std::clamp<int64_t>(pendingStop() - from, lo, count);
  std::memset(buffer, 0, size_t(lo) * 4);
  if (hi > lo)
    std::memcpy(buffer + lo * 4, r.Pending.data() + (from + lo - r.PendingFirst) * 4,
                size_t(hi - lo) * 4);
  std::memset(buffer + hi * 4, 0, size_t(count - hi) * 4);
  const int64_t used =
      std::clamp<int64_t>(from + count - r.PendingFirst, 0, pendingStop() - r.PendingFirst);
  r.Pending.erase(r.Pending.begin(), r.Pending.begin() + used * 4);
  r.PendingFirst += used;
  r.OutNext += count;
  bytes = int32_t(count * 4);
  if (stopped) return CDRIP_RIPPING_DONE;
  if (code != CDRIP_OK) return code;
  return r.OutNext >= r.OutStop ? CDRIP_RIPPING_DONE : CDRIP_OK;
}

// The run of audio tracks around a sector: Begin and Stop bound the sectors
// that hold audio (Stop before a data track's session gap, or the lead-out);
// Boundary is the next data track's start (the lead-out when none). Empty
// when the sector lies in a data track.
struct TAudioSpan {
  int32_t Begin = 0;
  int32_t Stop = 0;
  int32_t Boundary = 0;
  bool Empty() const { return Stop <= Begin; }
};

// `toc` holds the tracks, then the lead-out.
TAudioSpan AudioSpanAt(const std::vector<CdripTocEntry>& toc, int32_t sector) {
  if (toc.size() < 2) return {};
  const int32_t leadOut = toc.back().startSector;
  std::vector<std::pair<int32_t, bool>> tracks;  // start, audio
  // Copied out first: the packed record's fields are not aligned for a reference.
  for (size_t i = 0; i + 1 < toc.size(); ++i)
    tracks.emplace_back(int32_t(toc[i].startSector), toc[i].flags == kAudioTrackFlag);
  TAudioSpan span{0, leadOut, leadOut};
  for (size_t i = 0; i < tracks.size(); ++i) {
    const auto [start, audio] = tracks[i];
    if (start <= sector) {
      if (!audio) span = {};
      if (audio && span.Empty()) span = {start, leadOut, leadOut};
    } else if (!audio) {
      if (span.Empty()) return {};
      span.Stop = i > 0 ? AudioTrackEnd(tracks[i - 1].first, start, true) : start;
      span.Boundary = start;
      return span;
    }
  }
  return span;
}

}  // namespace

TRipper::~TRipper() {
  if (Reading == this) Reading = nullptr;
  if (Paranoia) cdio_paranoia_free(Paranoia);
  if (Drive) cdio_cddap_close_no_free_cdio(Drive);
  if (LockFd >= 0) {
    LockTray(LockFd, false);
    close(LockFd);
  }
}

int32_t TRipper::PercentCompleted() const {
  if (End <= Start) return 100;
  return int32_t(int64_t(Next - Start) * 100 / (End - Start));
}

void TRipper::SectorStatus(uint8_t* status, int32_t capacity) const {
  for (int32_t i = 0; status && i < std::min(capacity, End - Start); ++i)
    status[i] = Log[size_t(kLogMargin + i)].Status();
}

std::unique_ptr<TRipper> OpenRipper(const TDrives& drives, TDrive& drive, int32_t readOffset,
                                    int32_t start, int32_t end) {
  if (start < 0 || end < start) return nullptr;
  auto ripper = std::make_unique<TRipper>();
  std::vector<CdripTocEntry> toc;
  if (IsCueSheet(drive)) {
    ripper->Cue = drives.OpenCue(drive);
    if (!ripper->Cue) return nullptr;
    toc = TocOf(*ripper->Cue);
    ripper->Cdio = TocStandIn(drive, toc);
  } else {
    ripper->Cdio = drives.OpenDisc(drive);
    if (ripper->Cdio) toc = TocOf(ripper->Cdio.get());
  }
  if (!ripper->Cdio || toc.empty()) return nullptr;
  const int32_t leadOut = toc.back().startSector;
  if (leadOut > kMaxTocSector + 1 || end > leadOut) return nullptr;
  // A data track is no audio: paranoia would search it for matching audio
  // forever. A range that touches one is refused; a range that runs into the
  // gap before one stops where the audio does.
  const TAudioSpan span = AudioSpanAt(toc, start);
  if (end > start && (span.Empty() || end > span.Boundary)) return nullptr;

  // Offsets come from cdrip.ini and may be anything: 64-bit sums, kept
  // within the audio.
  const CdripDriveParams& p = drive.Params;
  const int64_t first = std::clamp<int64_t>(int64_t(start) + p.startOffset, span.Begin,
                                            std::max(span.Begin, span.Stop));
  const int64_t last =
      std::clamp<int64_t>(int64_t(end) + p.endOffset, first, std::max<int64_t>(first, span.Stop));
  // A read offset reads the sectors that hold the moved range, as far as
  // they are audio.
  const int32_t shift = readOffset;
  const int64_t audioStop = std::max(span.Begin, span.Stop);
  const int64_t readFirst =
      std::clamp<int64_t>(first + (shift >= 0 ? shift / kSectorSamples
                                              : -((kSectorSamples - 1 - shift) / kSectorSamples)),
                          span.Begin, audioStop);
  const int64_t readLast =
      std::clamp<int64_t>(last + (shift >= 0 ? (shift + kSectorSamples - 1) / kSectorSamples
                                             : -(-shift / kSectorSamples)),
                          readFirst, audioStop);
  ripper->Shift = shift;
  ripper->OutNext = first * kSectorSamples;
  ripper->OutStop = last * kSectorSamples;
  ripper->PendingFirst = readFirst * kSectorSamples;
  ripper->Start = int32_t(readFirst);
  ripper->End = int32_t(readLast);
  ripper->Next = ripper->Start;
  ripper->LogFirst = ripper->Start - kLogMargin;
  ripper->Log.resize(size_t(ripper->End - ripper->Start + 2 * kLogMargin));
  ripper->LastRead = TClock::now();
  ripper->AudioBegin = span.Begin;
  ripper->AudioStop = int32_t(audioStop);
  ripper->Correcting = p.jitterCorrection != 0;
  ripper->GiveUpAfter = std::chrono::seconds(drive.GiveUpAfter);
  ripper->History = drive.History;
  ripper->History->SetReach(drive.IsImage ? drive.Faults.DriveCache : kAssumedDriveCache);
  ripper->PushBeforeEveryRead = drive.IsImage;
  ripper->DriveStop = drive.Stop;
  ripper->DriveStop->store(false);
  ripper->StopsBefore = StopAllCount.load();

  ripper->Drive = cdio_cddap_identify_cdio(ripper->Cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr);
  if (!ripper->Drive) return nullptr;
  // Left at -1 the byte order is guessed from the audio and may swap every sample.
  ripper->Drive->bigendianp = 0;
  if (cdio_cddap_open(ripper->Drive) != 0 || !ripper->Drive->read_audio) return nullptr;
  ripper->DriveRead = ripper->Drive->read_audio;
  ripper->Drive->read_audio = RipRead;
  if (drive.IsImage) {
    ripper->Simulated = drive.Simulated;
    ripper->Simulated->Load(drive.Faults, drive.Path, leadOut);
    ripper->Simulated->BeginRip();
    TRipper* r = ripper.get();
    ripper->Medium = [r](int32_t first, long count, uint8_t* out) -> long {
      return r->Cue ? r->Cue->Read(first, int32_t(count), out)
                    : ReadWhole(r->DriveRead, r->Drive, out, first, count);
    };
  }
  ripper->LeftOut = LeftOut(*ripper, start, end, first, last);
  Reading = ripper.get();
  if (!StartParanoia(*ripper, ripper->Start)) return nullptr;
  if (!drive.IsImage) {
    cdio_set_speed(ripper->Cdio.get(), p.speed);
    if (p.lockTray) {
      ripper->LockFd = open(drive.Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (ripper->LockFd >= 0 && !LockTray(ripper->LockFd, true)) {
        close(ripper->LockFd);
        ripper->LockFd = -1;
      }
    }
  }
  return ripper;
}

int32_t RipChunk(TDrive& drive, TRipper& r, uint8_t* buffer, int32_t& bytes) {
  return r.Shift != 0 ? ReadShiftedChunk(drive, r, buffer, bytes)
                      : ReadChunk(drive, r, buffer, bytes);
}

std::string CacheHandling(const TDrive& drive) {
  const int32_t reach = drive.IsImage ? drive.Faults.DriveCache : kAssumedDriveCache;
  if (reach == 0) return "drive cache none";
  const std::string push = std::to_string(reach) + " sectors read elsewhere before ";
  if (drive.IsImage)
    return "drive cache " + std::to_string(reach) + " sectors, " + push + "a re-read";
  return drive.Params.jitterCorrection
             ? "drive cache left to paranoia's cache model, " + push + "a check's re-read"
             : "drive cache taken as " + push + "a re-read";
}

void RequestStopAll() { StopAllCount.fetch_add(1); }

bool StopRequested(const TRipper& r) {
  return StopAllCount.load() != r.StopsBefore || (r.DriveStop && r.DriveStop->load());
}

}  // namespace cdrip
