#include "libs/cdrip/Ripper.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <thread>

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
// Time without one sector read after which the rest of a rip is given up.
constexpr std::chrono::seconds kNoProgress{30};
// Paranoia reads before a rip's range for its overlap and ahead of it.
constexpr int32_t kLogMargin = 600;

// The rip whose drive reads go through RipRead (the read function has no user
// data, and the library serves one caller).
TRipper* Reading = nullptr;
// Set from any thread or a signal handler: the rip stops inside its chunk.
std::atomic<int> StopFlag{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Doubtful audio paranoia reported during the chunk in hand (the callback has
// no user data, and the library serves one caller).
struct TChunkEvents {
  bool Doubtful = false;
  int32_t First = 0;
  int32_t Last = 0;
} ChunkEvents;

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

// Reads through the drive's own function; returns how many leading sectors
// the drive really delivered, and logs them as read.
long ReadDirect(TRipper& r, cdrom_drive_t* drive, uint8_t* out, int32_t begin, long count) {
  for (long i = 0; i < count; ++i)
    std::memcpy(out + i * kSectorBytes, Unwritten().data(), kSectorBytes);
  const long delivered = std::clamp<long>(r.DriveRead(drive, out, begin, count), 0, count);
  long good = 0;
  for (TSectorRange hit{}; good < delivered; ++good) {
    const int32_t sector = begin + int32_t(good);
    if (std::memcmp(out + good * kSectorBytes, Unwritten().data(), kSectorBytes) == 0) break;
    TSectorLog* log = LogOf(r, sector);
    if (Overlap(r.Unreadable, sector, sector, hit) ||
        (log && log->Failures() == 0 && Overlap(r.Flaky, sector, sector, hit))) {
      std::this_thread::sleep_for(std::chrono::milliseconds(r.ReadErrorDelay));
      break;
    }
    if (log) log->SetRead();
  }
  if (good > 0) r.LastRead = TClock::now();
  return good;
}

// The drive's read during a rip. Paranoia fills what a read did not deliver
// with silence and reads it again, for ever when it is not there; here each
// sector is tried on its own, and one that failed kGiveUpAttempts times, or
// every sector once the rip is stopped or made no progress, is handed over as
// silence without asking the disc. The log tells ReadChunk what it got.
long RipRead(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors) {
  TRipper* r = Reading;
  if (!r) return -1;
  // Paranoia reads without a buffer to move the drive's cache away.
  if (!buffer || sectors <= 0) return r->DriveRead(drive, buffer, begin, sectors);
  auto* out = static_cast<uint8_t*>(buffer);
  if (!r->GaveUp && TClock::now() - r->LastRead > kNoProgress) r->GaveUp = true;
  if (StopRequested() || r->GaveUp) {
    std::memset(out, 0, size_t(sectors) * kSectorBytes);
    return sectors;
  }
  const long delivered = ReadDirect(*r, drive, out, begin, sectors);
  for (long i = delivered; i < sectors; ++i) {
    uint8_t* at = out + i * kSectorBytes;
    const int32_t sector = begin + int32_t(i);
    if (StopRequested()) {
      std::memset(at, 0, size_t(sectors - i) * kSectorBytes);
      return sectors;
    }
    if (ReadDirect(*r, drive, at, sector, 1) == 1) continue;
    TSectorLog* log = LogOf(*r, sector);
    if (log) log->AddFailure();
    // Right after a sector given up, the disc has nothing here: no retries.
    const TSectorLog* before = LogOf(*r, sector - 1);
    if (log &&
        (log->GivenUp() || log->Failures() >= kGiveUpAttempts || (before && before->GivenUp()))) {
      log->SetGivenUp();
      std::memset(at, 0, kSectorBytes);
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
  if (!sector || !log || !log->Read()) return false;
  if (log->Failures() == 0 && !log->Suspect()) return true;
  uint8_t fresh[kSectorBytes];
  return ReadDirect(r, r.Drive, fresh, sectorNum, 1) == 1 &&
         std::memcmp(fresh, sector, kSectorBytes) == 0;
}

// The next sector of a cue image's rip, or null when it cannot be read. A cue
// image has no jitter to correct and is read as it is.
const int16_t* ReadCueSector(TRipper& r, int32_t sectorNum) {
  r.CueSector.resize(kSectorBytes / 2);
  TSectorRange hit{};
  // A flaky sector's first read fails; the retry here delivers it.
  TSectorLog* log = LogOf(r, sectorNum);
  if (log && log->Failures() == 0 && Overlap(r.Flaky, sectorNum, sectorNum, hit)) {
    log->AddFailure();
    std::this_thread::sleep_for(std::chrono::milliseconds(r.ReadErrorDelay));
  }
  const bool read = r.Cue->Read(sectorNum, 1, reinterpret_cast<uint8_t*>(r.CueSector.data()));
  if (!read || Overlap(r.Unreadable, sectorNum, sectorNum, hit)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(r.ReadErrorDelay));
    return nullptr;
  }
  r.LastRead = TClock::now();
  return r.CueSector.data();
}

// Reads the ripper's next chunk into buffer; returns the result code. A
// sector that cannot be read becomes silence in its place, so the chunk
// always holds all its sectors and the rip always advances. A stop request
// ends the chunk at the sector in hand.
int32_t ReadChunk(TDrive& drive, TRipper& r, uint8_t* buffer, int32_t& bytes) {
  const int32_t first = r.Next;
  const int32_t count = std::min(kChunkSectors, r.End - r.Next);

  ChunkEvents = TChunkEvents{};
  int32_t lost = 0;
  TSectorRange lostRange{};
  int32_t done = 0;
  for (; done < count && !StopRequested(); ++done) {
    const int32_t sectorNum = first + done;
    uint8_t* at = buffer + size_t(done) * kSectorBytes;
    const int16_t* sector =
        r.Cue ? ReadCueSector(r, sectorNum)
              : cdio_paranoia_read_limited(r.Paranoia, ParanoiaCallback, kMaxRetries);
    // What a stopped read handed back is no audio, and no loss either.
    if (StopRequested()) break;
    if (!sector && !r.Cue) cdio_paranoia_seek(r.Paranoia, sectorNum + 1, SEEK_SET);
    TSectorLog* log = LogOf(r, sectorNum);
    if (r.Cue && sector && log) log->SetRead();
    if (r.Cue ? !sector : !SectorIsRead(r, sectorNum, sector)) {
      std::memset(at, 0, kSectorBytes);
      if (lost++ == 0) lostRange.First = sectorNum;
      lostRange.Last = sectorNum;
      if (log) log->HandOver(CDRIP_SECTOR_LOST);
    } else {
      std::memcpy(at, sector, kSectorBytes);
      if (log)
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
    if (StopRequested()) {
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
  if (IsCueSheet(drive)) {
    ripper->Cue = drives.OpenCue(drive);
    if (!ripper->Cue) return nullptr;
  } else {
    ripper->Cdio = drives.OpenDisc(drive);
    if (!ripper->Cdio) return nullptr;
  }
  const std::vector<CdripTocEntry> toc =
      ripper->Cue ? TocOf(*ripper->Cue) : TocOf(ripper->Cdio.get());
  if (toc.empty()) return nullptr;
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
  if (drive.IsImage) {
    ripper->Unreadable = drive.Faults.Unreadable;
    ripper->Flaky = drive.Faults.Flaky;
    ripper->ReadErrorDelay = drive.Faults.ReadErrorDelay;
  }
  ripper->LogFirst = ripper->Start - kLogMargin;
  ripper->Log.resize(size_t(ripper->End - ripper->Start + 2 * kLogMargin));
  ripper->LastRead = TClock::now();
  StopFlag = 0;
  if (ripper->Cue) return ripper;

  ripper->Drive = cdio_cddap_identify_cdio(ripper->Cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr);
  if (!ripper->Drive) return nullptr;
  // Left at -1 the byte order is guessed from the audio and may swap every sample.
  ripper->Drive->bigendianp = 0;
  if (cdio_cddap_open(ripper->Drive) != 0 || !ripper->Drive->read_audio) return nullptr;
  ripper->DriveRead = ripper->Drive->read_audio;
  ripper->Drive->read_audio = RipRead;
  Reading = ripper.get();
  ripper->Paranoia = cdio_paranoia_init(ripper->Drive);
  if (!ripper->Paranoia) return nullptr;
  cdio_paranoia_modeset(ripper->Paranoia, p.jitterCorrection
                                              ? PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP
                                              : PARANOIA_MODE_DISABLE);
  cdio_paranoia_seek(ripper->Paranoia, ripper->Start, SEEK_SET);
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

void RequestStop() { StopFlag.store(1); }

bool StopRequested() { return StopFlag.load() != 0; }

}  // namespace cdrip
