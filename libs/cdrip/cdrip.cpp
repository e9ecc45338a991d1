// The CD-reading library over libcdio and libcdio-paranoia.
//
// Drives are the physical drives libcdio finds, followed by the disc images
// listed in cdrip.ini. The file is the library's own:
//
//   [CD-ROM]          nActive=<index of the active drive>; nTransportLayer, read at
//                     CR_Init: non-zero reads physical drives with SCSI MMC
//                     commands (SG_IO) instead of the kernel's CD-ROM ioctls
//   [Images]          Image0=<.cue/.toc/.nrg path>, Image1=..., absolute or
//                     relative to the ini's folder; the list ends at the first gap.
//                     Cue sheets are read by the library's own cue back end (any
//                     file names, WAVE and FLAC files); libcdio reads the others
//   [<drive key>]     one section per drive: "Image0"... for images, the device
//                     path for physical drives. Parameters written by
//                     CR_SaveSettings: OffsetStart, OffsetEnd, Speed,
//                     JitterCorrection, SwapChannels, DriveType, LockDuringRead
//
// Faults for image drives, read from the image's section again on every
// CR_IsUnitReady, CR_ReadToc, CR_OpenRipper and CR_EjectCD, so a running
// program sees a disc "inserted" or "removed" when they change:
//   NotReady=1                  no disc: not ready, no TOC, no rip
//   UnreadableSectors=a-b[,c-d] these sectors cannot be read: silence, code 1
//   JitterSectors=a-b[,c-d]     a chunk touching these sectors reports a jitter
//                               error (code 3) at the touched sectors; data is kept
//   FlakySectors=a-b[,c-d]      the first read of each of these sectors fails,
//                               the next one delivers it (a re-read)
//   ReadErrorDelay=<ms>         a read that meets an unreadable sector takes this
//                               long to fail, as a drive's own retries do
//   EjectFails=1                CR_EjectCD fails and the tray does not move
//   ChangingSectors=a-b[,c-d]   every second hand-over of these sectors differs
//                               (each sample's low bit flipped), as a drive
//                               that does not read them the same twice
// Ranges are inclusive sector numbers; a single number names one sector.
// Changing ImageN while running swaps the disc in that drive.
#include "libs/cdrip/cdrip.h"

#include <cdio/cdio.h>
// After cdio.h, which declares the types it uses.
#include <cdio/audio.h>
#include <cdio/logging.h>
#include <cdio/mmc_ll_cmds.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <cdio/util.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "libs/cdrip/CueImage.h"
#include "libs/cdrip/DiscRules.h"
#include "libs/cdrip/ImageOutput.h"
#include "libs/cdrip/IniFile.h"
#include "libs/cdrip/Pregap.h"

static_assert(sizeof(CdripDriveParams) == 344);
static_assert(offsetof(CdripDriveParams, startOffset) == 268);
static_assert(offsetof(CdripDriveParams, endOffset) == 272);
static_assert(offsetof(CdripDriveParams, speed) == 276);
static_assert(offsetof(CdripDriveParams, jitterCorrection) == 284);
static_assert(offsetof(CdripDriveParams, swapChannels) == 288);
static_assert(offsetof(CdripDriveParams, driveType) == 292);
static_assert(offsetof(CdripDriveParams, lockTray) == 332);
static_assert(sizeof(CdripTocEntry) == 6);
static_assert(offsetof(CdripTocEntry, flags) == 4);
static_assert(offsetof(CdripTocEntry, trackNumber) == 5);

namespace {

namespace fs = std::filesystem;
using cdrip::TIniFile;
using TClock = std::chrono::steady_clock;

constexpr int32_t kSectorBytes = CDIO_CD_FRAMESIZE_RAW;
constexpr int32_t kChunkSectors = 27;
constexpr int32_t kSectorsPerSecond = 75;
constexpr int kMaxRetries = 20;
// Failed reads of one sector after which the rip stops asking the disc for it
// and takes silence: paranoia alone would retry a sector that is not there
// for ever.
constexpr uint8_t kGiveUpAttempts = 3;
// Time without one sector read after which the rest of a rip is given up.
constexpr std::chrono::seconds kNoProgress{30};
// Paranoia reads before a rip's range for its overlap and ahead of it.
constexpr int32_t kLogMargin = 600;
constexpr uint8_t kAudioFlag = cdrip::kAudioTrackFlag;
constexpr uint8_t kDataFlag = 0x14;
constexpr uint8_t kStatusPlaying = 0x11;
constexpr uint8_t kStatusPaused = 0x12;
constexpr uint8_t kStatusCompleted = 0x13;
constexpr uint8_t kStatusNone = cdrip::kAudioStatusNone;

struct TCdioDeleter {
  void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};
using TCdio = std::unique_ptr<CdIo_t, TCdioDeleter>;

struct TSectorRange {
  int32_t First;
  int32_t Last;
};

struct TFaults {
  bool NotReady = false;
  bool EjectFails = false;
  std::vector<TSectorRange> Unreadable;
  std::vector<TSectorRange> Jitter;
  std::vector<TSectorRange> Flaky;
  std::vector<TSectorRange> Changing;
  int32_t ReadErrorDelay = 0;  // ms
};

struct TDrive {
  bool IsImage = false;
  std::string Key;   // its cdrip.ini section
  std::string Path;  // device node or image file
  CdripDriveParams Params{};
  TFaults Faults;
  std::map<int32_t, uint32_t> ChangingReads;  // hand-overs of each changing sector
  bool TrayOpen = false;
};

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

// The kernel's own tray lock: an MMC command would need a handle opened for
// writing, which the kernel refuses a normal user.
bool LockTray(int fd, bool lock) { return ioctl(fd, CDROM_LOCKDOOR, lock ? 1 : 0) == 0; }

// What the rip learnt of one sector, in one byte (a whole disc: 360,000
// bytes). Until ReadChunk hands the sector over, its low bits gather what the
// reads saw; from then on they hold its CDRIP_SECTOR_ status, and the reads
// paranoia makes behind itself change only the failure count and the mark
// that the sector was given up.
class TSectorLog {
 public:
  // A read delivered it; paranoia may fill it in itself; paranoia repaired
  // jitter, drift or bytes in it.
  bool Read() const { return !Handed() && (FBits & kRead); }
  bool Suspect() const { return !Handed() && (FBits & kSuspect); }
  bool Corrected() const { return !Handed() && (FBits & kCorrected); }
  bool GivenUp() const { return FBits & kGivenUp; }        // read as silence from now on
  int Failures() const { return FBits >> kFailureShift; }  // counted up to 7
  uint8_t Status() const { return Handed() ? FBits & kFacts : uint8_t(CDRIP_SECTOR_UNREAD); }

  void SetRead() { SetFact(kRead); }
  void SetSuspect() { SetFact(kSuspect); }
  void SetCorrected() { SetFact(kCorrected); }
  void SetGivenUp() { FBits |= kGivenUp; }
  void AddFailure() {
    if (Failures() < kMaxFailures) FBits = uint8_t(FBits + (1 << kFailureShift));
  }
  // Audio paranoia could not trust after all is no longer clean.
  void Doubt() {
    if (Status() == CDRIP_SECTOR_CLEAN) FBits = uint8_t((FBits & ~kFacts) | CDRIP_SECTOR_CORRECTED);
  }
  // Only the first hand-over counts: the status says what the rip delivered.
  void HandOver(uint8_t status) {
    if (!Handed()) FBits = uint8_t((FBits & ~kFacts) | kHanded | (status & kFacts));
  }

 private:
  static constexpr uint8_t kRead = 1, kSuspect = 2, kCorrected = 4, kFacts = 7;
  static constexpr uint8_t kHanded = 8, kGivenUp = 16;
  static constexpr int kFailureShift = 5, kMaxFailures = 7;
  bool Handed() const { return FBits & kHanded; }
  void SetFact(uint8_t fact) {
    if (!Handed()) FBits |= fact;
  }
  uint8_t FBits = 0;
};
static_assert(sizeof(TSectorLog) == 1 && CDRIP_SECTOR_LOST <= 7 && kGiveUpAttempts <= 7);

using TReadAudio = long (*)(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors);

struct TRipper;
// The rip whose drive reads go through RipRead (the read function has no user
// data, and the library serves one caller).
TRipper* Reading = nullptr;
// Set from any thread or a signal handler: the rip stops inside its chunk.
std::atomic<int> StopRequested{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct TRipper {
  TRipper() = default;
  TRipper(const TRipper&) = delete;
  TRipper& operator=(const TRipper&) = delete;
  ~TRipper() {
    if (Reading == this) Reading = nullptr;
    if (Paranoia) cdio_paranoia_free(Paranoia);
    if (Drive) cdio_cddap_close_no_free_cdio(Drive);
    if (LockFd >= 0) {
      LockTray(LockFd, false);
      close(LockFd);
    }
  }

  TCdio Cdio;                             // declared first, so it is destroyed last
  std::unique_ptr<cdrip::TCueImage> Cue;  // a cue image is read as it is: no paranoia
  std::vector<int16_t> CueSector;
  cdrom_drive_t* Drive = nullptr;
  cdrom_paranoia_t* Paranoia = nullptr;
  int LockFd = -1;  // the device held open while its tray is locked
  int32_t Start = 0;
  int32_t End = 0;
  int32_t Next = 0;
  int32_t JitterCount = 0;
  int32_t LostSectors = 0;
  int32_t LastJitterFirst = 0;
  int32_t LastJitterLast = 0;
  TReadAudio DriveRead = nullptr;        // the drive's own read, which RipRead wraps
  std::vector<TSectorRange> Unreadable;  // an image's injected faults
  std::vector<TSectorRange> Flaky;
  int32_t ReadErrorDelay = 0;
  int32_t LogFirst = 0;  // sector of Log[0]
  std::vector<TSectorLog> Log;
  TClock::time_point LastRead;  // when a read last delivered a sector
  bool GaveUp = false;          // no progress: the rest of the range is silence
  // With a read offset the sectors above are what the drive reads (the range
  // moved and widened to cover the offset, within the audio); the caller gets
  // samples [OutNext, OutStop) of the range, sample i being disc sample
  // i + Shift, silence where that lies outside the audio.
  int32_t Shift = 0;
  int64_t OutNext = 0;
  int64_t OutStop = 0;
  std::vector<uint8_t> Pending;  // read and not handed over yet
  int64_t PendingFirst = 0;      // disc sample of Pending's first byte
};

struct TLibrary {
  std::string IniPath;
  std::vector<TDrive> Drives;
  int32_t Active = -1;
  const char* AccessMode = "IOCTL";  // libcdio's access mode for physical drives
  std::vector<CdripTocEntry> Toc;    // the tracks, then the lead-out
  // Title, performer and code of the disc (index 0) and of each track.
  std::vector<std::array<std::string, 3>> DiscText;
  std::unique_ptr<TRipper> Ripper;
  int32_t ReadOffset = 0;  // samples, for the next rip
  TPlayClock Clock;
  cdrip::TImageOutput Output;  // an image's sound under playback
  TCdio PlayCdio;              // physical drive under playback
  // What the active drive's cue sheet states, from CR_ReadToc: the disc
  // first, then each track; title, performer, catalog or ISRC, genre, date.
  std::vector<std::vector<std::string>> SheetTexts;
  // Each track's pregap in sectors, from CR_ReadToc; -1 where a drive's Q
  // sub-channel is still to be asked.
  std::vector<int32_t> Pregaps;
};

TLibrary* Lib = nullptr;

// Doubtful audio paranoia reported during the chunk in hand (the callback has
// no user data, and the library serves one caller).
struct TChunkEvents {
  bool Doubtful = false;
  int32_t First = 0;
  int32_t Last = 0;
} ChunkEvents;

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

std::vector<TSectorRange> ParseRanges(const std::string& text) {
  std::vector<TSectorRange> ranges;
  size_t at = 0;
  while (at < text.size()) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(at, comma - at);
    char* end = nullptr;
    const long first = std::strtol(item.c_str(), &end, 10);
    if (end != item.c_str()) {
      long last = first;
      const char* dash = std::strchr(end, '-');
      if (dash) last = std::strtol(dash + 1, nullptr, 10);
      ranges.push_back({int32_t(std::min(first, last)), int32_t(std::max(first, last))});
    }
    at = comma + 1;
  }
  return ranges;
}

// The first sector range that overlaps [first, last], clipped to it.
bool Overlap(const std::vector<TSectorRange>& ranges, int32_t first, int32_t last,
             TSectorRange& hit) {
  for (const TSectorRange& range : ranges) {
    if (range.Last < first || range.First > last) continue;
    hit = {std::max(range.First, first), std::min(range.Last, last)};
    return true;
  }
  return false;
}

// The folder this library was loaded from: the program folder, beside the
// images that come with the program.
fs::path LibraryFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&CR_Init), &info) == 0 || !info.dli_fname) return {};
  std::error_code error;
  const fs::path library = fs::absolute(info.dli_fname, error);
  return error ? fs::path() : library.parent_path();
}

// A relative image counts from the ini's folder; one that is not there comes
// with the program, so a user's copy of the program's ini lists it without
// recording where the program lies.
std::string ResolveImagePath(const std::string& listed) {
  fs::path path(listed);
  if (path.is_relative()) {
    const fs::path beside = fs::path(Lib->IniPath).parent_path() / path;
    const fs::path program = LibraryFolder();
    std::error_code error;
    path = !fs::exists(beside, error) && !program.empty() && fs::exists(program / path, error)
               ? program / path
               : beside;
  }
  return path.lexically_normal().string();
}

TIniFile LoadIni() {
  TIniFile ini;
  ini.Load(Lib->IniPath);
  return ini;
}

void ReadParams(const TIniFile& ini, TDrive& drive) {
  CdripDriveParams& p = drive.Params;
  p.startOffset = ini.GetInt(drive.Key, "OffsetStart", 0);
  p.endOffset = ini.GetInt(drive.Key, "OffsetEnd", 0);
  p.speed = ini.GetInt(drive.Key, "Speed", 0);
  p.jitterCorrection = ini.GetInt(drive.Key, "JitterCorrection", -1);
  p.swapChannels = ini.GetInt(drive.Key, "SwapChannels", 0);
  p.driveType = ini.GetInt(drive.Key, "DriveType", 0);
  p.lockTray = ini.GetInt(drive.Key, "LockDuringRead", 0);
}

void WriteParams(TIniFile& ini, const TDrive& drive) {
  const CdripDriveParams& p = drive.Params;
  ini.Set(drive.Key, "OffsetStart", std::to_string(p.startOffset));
  ini.Set(drive.Key, "OffsetEnd", std::to_string(p.endOffset));
  ini.Set(drive.Key, "Speed", std::to_string(p.speed));
  ini.Set(drive.Key, "JitterCorrection", std::to_string(p.jitterCorrection));
  ini.Set(drive.Key, "SwapChannels", std::to_string(p.swapChannels));
  ini.Set(drive.Key, "DriveType", std::to_string(p.driveType));
  ini.Set(drive.Key, "LockDuringRead", std::to_string(p.lockTray));
}

void SetName(TDrive& drive, const std::string& name) {
  std::memset(drive.Params.driveName, 0, sizeof drive.Params.driveName);
  name.copy(drive.Params.driveName, sizeof drive.Params.driveName - 1);
}

std::string PhysicalDriveName(const char* device) {
  std::string name;
  if (TCdio cdio{cdio_open(device, DRIVER_DEVICE)}) {
    cdio_hwinfo_t info{};
    if (cdio_get_hwinfo(cdio.get(), &info)) {
      for (const char* part : {info.psz_vendor, info.psz_model, info.psz_revision}) {
        std::string text(part);
        text.erase(text.find_last_not_of(' ') + 1);
        if (text.empty()) continue;
        if (!name.empty()) name += ' ';
        name += text;
      }
    }
  }
  return name.empty() ? std::string(device) : name;
}

// Takes the image's current path and faults from cdrip.ini.
void RefreshImage(TDrive& drive) {
  if (!drive.IsImage) return;
  const TIniFile ini = LoadIni();
  const std::string listed = ini.Get("Images", drive.Key);
  if (!listed.empty()) drive.Path = ResolveImagePath(listed);
  drive.Faults.NotReady = ini.GetInt(drive.Key, "NotReady", 0) != 0;
  drive.Faults.EjectFails = ini.GetInt(drive.Key, "EjectFails", 0) != 0;
  drive.Faults.Unreadable = ParseRanges(ini.Get(drive.Key, "UnreadableSectors"));
  drive.Faults.Jitter = ParseRanges(ini.Get(drive.Key, "JitterSectors"));
  drive.Faults.Flaky = ParseRanges(ini.Get(drive.Key, "FlakySectors"));
  drive.Faults.Changing = ParseRanges(ini.Get(drive.Key, "ChangingSectors"));
  drive.Faults.ReadErrorDelay = std::clamp(ini.GetInt(drive.Key, "ReadErrorDelay", 0), 0, 60000);
}

TDrive* ActiveDrive() {
  if (!Lib || Lib->Active < 0 || Lib->Active >= int32_t(Lib->Drives.size())) return nullptr;
  return &Lib->Drives[size_t(Lib->Active)];
}

bool IsCueSheet(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
  return extension == ".cue";
}

bool IsCueSheet(const TDrive& drive) { return drive.IsImage && IsCueSheet(drive.Path); }

// False when an image drive holds no disc now.
bool ImageReady(TDrive& drive) {
  RefreshImage(drive);
  if (drive.IsImage && (drive.Faults.NotReady || drive.TrayOpen)) return false;
  // libcdio ends the whole process when an image path names a folder (a
  // listed path holding a NUL byte names the ini's own folder).
  std::error_code error;
  return !drive.IsImage ||
         (drive.Path.find('\0') == std::string::npos && fs::is_regular_file(drive.Path, error));
}

// The cue image in the drive, or null when there is none.
std::unique_ptr<cdrip::TCueImage> OpenCue(TDrive& drive) {
  if (!ImageReady(drive)) return nullptr;
  auto cue = std::make_unique<cdrip::TCueImage>();
  std::string error;
  return cue->Open(drive.Path, error) ? std::move(cue) : nullptr;
}

// A fresh handle on the disc in the drive, or null when there is none.
TCdio OpenDisc(TDrive& drive) {
  if (!ImageReady(drive)) return nullptr;
  TCdio cdio{drive.IsImage ? cdio_open(drive.Path.c_str(), DRIVER_UNKNOWN)
                           : cdio_open_am(drive.Path.c_str(), DRIVER_DEVICE, Lib->AccessMode)};
  if (!cdio) return nullptr;
  const track_t count = cdio_get_num_tracks(cdio.get());
  if (count == CDIO_INVALID_TRACK || count == 0) return nullptr;
  return cdio;
}

void StopPlayback() {
  Lib->Clock = TPlayClock{};
  Lib->Output.Stop();
  if (Lib->PlayCdio) cdio_audio_stop(Lib->PlayCdio.get());
  Lib->PlayCdio.reset();
}

int32_t ClockPosition(TPlayClock& clock) {
  if (clock.Paused) return clock.PausedAt;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - clock.StartedAt);
  const int64_t position = clock.Start + elapsed.count() * kSectorsPerSecond / 1000;
  if (position >= clock.End) {
    clock.Running = false;
    clock.Completed = true;
    return clock.End;
  }
  return int32_t(position);
}

// Reads the image's sectors for its playback thread. Opened here, on the
// caller's thread: neither libcdio's nor libcue's parsers may run beside
// another use of their library. Null when the image does not open.
cdrip::TImageOutput::TSectorReader ImageReader(TDrive& drive) {
  if (IsCueSheet(drive)) {
    std::shared_ptr<cdrip::TCueImage> cue = OpenCue(drive);
    if (!cue) return nullptr;
    return
        [cue](int32_t first, int32_t count, uint8_t* out) { return cue->Read(first, count, out); };
  }
  std::shared_ptr<CdIo_t> cdio(cdio_open(drive.Path.c_str(), DRIVER_UNKNOWN), cdio_destroy);
  if (!cdio) return nullptr;
  return [cdio](int32_t first, int32_t count, uint8_t* out) {
    return cdio_read_audio_sectors(cdio.get(), out, first, uint32_t(count)) == DRIVER_OP_SUCCESS;
  };
}

int32_t PlayRange(int32_t start, int32_t end) {
  TDrive* drive = ActiveDrive();
  if (!drive || end <= start || start < 0) return CDRIP_ERROR;
  // A new range plays at once: a stop first would spin the disc down.
  Lib->Clock = TPlayClock{};
  if (drive->IsImage) {
    RefreshImage(*drive);
    if (drive->Faults.NotReady || drive->TrayOpen) return CDRIP_ERROR;
    Lib->Clock.Running = true;
    Lib->Clock.Start = start;
    Lib->Clock.End = end;
    Lib->Clock.StartedAt = TClock::now();
    Lib->Output.Start(ImageReader(*drive), start, end, Lib->Clock.StartedAt);
    return CDRIP_OK;
  }
  Lib->PlayCdio = OpenDisc(*drive);
  if (!Lib->PlayCdio) return CDRIP_ERROR;
  msf_t from, to;
  cdio_lsn_to_msf(start, &from);
  cdio_lsn_to_msf(end, &to);
  return cdio_audio_play_msf(Lib->PlayCdio.get(), &from, &to) == DRIVER_OP_SUCCESS ? CDRIP_OK
                                                                                   : CDRIP_ERROR;
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
  if (StopRequested.load() || r->GaveUp) {
    std::memset(out, 0, size_t(sectors) * kSectorBytes);
    return sectors;
  }
  const long delivered = ReadDirect(*r, drive, out, begin, sectors);
  for (long i = delivered; i < sectors; ++i) {
    uint8_t* at = out + i * kSectorBytes;
    const int32_t sector = begin + int32_t(i);
    if (StopRequested.load()) {
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
  for (; done < count && !StopRequested.load(); ++done) {
    const int32_t sectorNum = first + done;
    uint8_t* at = buffer + size_t(done) * kSectorBytes;
    const int16_t* sector =
        r.Cue ? ReadCueSector(r, sectorNum)
              : cdio_paranoia_read_limited(r.Paranoia, ParanoiaCallback, kMaxRetries);
    // What a stopped read handed back is no audio, and no loss either.
    if (StopRequested.load()) break;
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

constexpr int64_t kSectorSamples = kSectorBytes / 4;

// ReadChunk for a rip with a read offset: the chunk's samples taken Shift
// samples later on the disc, across track boundaries; what lies beyond the
// audio is silence. Same result codes, the errors of the sectors read for it.
int32_t ReadShiftedChunk(TDrive& drive, TRipper& r, uint8_t* buffer, int32_t& bytes) {
  const int64_t want = std::min<int64_t>(kChunkSectors * kSectorSamples, r.OutStop - r.OutNext);
  const int64_t from = r.OutNext + r.Shift;  // disc sample of the chunk's first
  auto pendingStop = [&r] { return r.PendingFirst + int64_t(r.Pending.size() / 4); };
  int32_t code = CDRIP_OK;
  bool stopped = false;
  std::vector<uint8_t> raw(size_t(kChunkSectors) * kSectorBytes);
  while (pendingStop() < from + want && r.Next < r.End) {
    int32_t got = 0;
    const int32_t result = ReadChunk(drive, r, raw.data(), got);
    r.Pending.insert(r.Pending.end(), raw.begin(), raw.begin() + got);
    if (result == CDRIP_ERROR || (result == CDRIP_JITTER_ERROR && code == CDRIP_OK)) code = result;
    if (StopRequested.load()) {
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

// The disc's TOC as its back end (libcdio or the cue image) states it: the
// tracks, then the lead-out. Empty when the disc states no usable TOC.
std::vector<CdripTocEntry> TocOf(CdIo_t* cdio) {
  const track_t first = cdio_get_first_track_num(cdio);
  const track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK) return {};
  std::vector<CdripTocEntry> toc;
  for (track_t track = first; track < first + count; ++track) {
    const lsn_t start = cdio_get_track_lsn(cdio, track);
    if (start == CDIO_INVALID_LSN) return {};
    const bool audio = cdio_get_track_format(cdio, track) == TRACK_FORMAT_AUDIO;
    toc.push_back({start, audio ? kAudioFlag : kDataFlag, uint8_t(track)});
  }
  const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
  if (leadOut == CDIO_INVALID_LSN) return {};
  toc.push_back({leadOut, kAudioFlag, CDIO_CDROM_LEADOUT_TRACK});
  return toc;
}

std::vector<CdripTocEntry> TocOf(const cdrip::TCueImage& cue) {
  std::vector<CdripTocEntry> toc;
  for (const cdrip::TCueTrack& track : cue.Tracks())
    toc.push_back({track.Start, track.Audio ? kAudioFlag : kDataFlag, uint8_t(track.Number)});
  toc.push_back({cue.LeadOut(), kAudioFlag, CDIO_CDROM_LEADOUT_TRACK});
  return toc;
}

// `toc` holds the tracks, then the lead-out.
TAudioSpan AudioSpanAt(const std::vector<CdripTocEntry>& toc, int32_t sector) {
  if (toc.size() < 2) return {};
  const int32_t leadOut = toc.back().startSector;
  std::vector<std::pair<int32_t, bool>> tracks;  // start, audio
  // Copied out first: the packed record's fields are not aligned for a reference.
  for (size_t i = 0; i + 1 < toc.size(); ++i)
    tracks.emplace_back(int32_t(toc[i].startSector), toc[i].flags == kAudioFlag);
  TAudioSpan span{0, leadOut, leadOut};
  for (size_t i = 0; i < tracks.size(); ++i) {
    const auto [start, audio] = tracks[i];
    if (start <= sector) {
      if (!audio) span = {};
      if (audio && span.Empty()) span = {start, leadOut, leadOut};
    } else if (!audio) {
      if (span.Empty()) return {};
      span.Stop = i > 0 ? cdrip::AudioTrackEnd(tracks[i - 1].first, start, true) : start;
      span.Boundary = start;
      return span;
    }
  }
  return span;
}

int32_t OpenRipper(int32_t* bufferSize, int32_t start, int32_t end) {
  TDrive* drive = ActiveDrive();
  if (!drive) return CDRIP_ERROR;
  Lib->Ripper.reset();
  if (!bufferSize || start < 0 || end < start) return CDRIP_ERROR;
  auto ripper = std::make_unique<TRipper>();
  if (IsCueSheet(*drive)) {
    ripper->Cue = OpenCue(*drive);
    if (!ripper->Cue) return CDRIP_ERROR;
  } else {
    ripper->Cdio = OpenDisc(*drive);
    if (!ripper->Cdio) return CDRIP_ERROR;
  }
  const std::vector<CdripTocEntry> toc =
      ripper->Cue ? TocOf(*ripper->Cue) : TocOf(ripper->Cdio.get());
  if (toc.empty()) return CDRIP_ERROR;
  const int32_t leadOut = toc.back().startSector;
  if (leadOut > cdrip::kMaxTocSector + 1 || end > leadOut) return CDRIP_ERROR;
  // A data track is no audio: paranoia would search it for matching audio
  // forever. A range that touches one is refused; a range that runs into the
  // gap before one stops where the audio does.
  const TAudioSpan span = AudioSpanAt(toc, start);
  if (end > start && (span.Empty() || end > span.Boundary)) return CDRIP_ERROR;

  // Offsets come from cdrip.ini and may be anything: 64-bit sums, kept
  // within the audio.
  const CdripDriveParams& p = drive->Params;
  const int64_t first = std::clamp<int64_t>(int64_t(start) + p.startOffset, span.Begin,
                                            std::max(span.Begin, span.Stop));
  const int64_t last =
      std::clamp<int64_t>(int64_t(end) + p.endOffset, first, std::max<int64_t>(first, span.Stop));
  // A read offset reads the sectors that hold the moved range, as far as
  // they are audio.
  const int32_t shift = Lib->ReadOffset;
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
  if (drive->IsImage) {
    ripper->Unreadable = drive->Faults.Unreadable;
    ripper->Flaky = drive->Faults.Flaky;
    ripper->ReadErrorDelay = drive->Faults.ReadErrorDelay;
  }
  ripper->LogFirst = ripper->Start - kLogMargin;
  ripper->Log.resize(size_t(ripper->End - ripper->Start + 2 * kLogMargin));
  ripper->LastRead = TClock::now();
  StopRequested = 0;
  if (ripper->Cue) {
    Lib->Ripper = std::move(ripper);
    *bufferSize = kChunkSectors * kSectorBytes;
    return CDRIP_OK;
  }

  ripper->Drive = cdio_cddap_identify_cdio(ripper->Cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr);
  if (!ripper->Drive) return CDRIP_ERROR;
  // Left at -1 the byte order is guessed from the audio and may swap every sample.
  ripper->Drive->bigendianp = 0;
  if (cdio_cddap_open(ripper->Drive) != 0 || !ripper->Drive->read_audio) return CDRIP_ERROR;
  ripper->DriveRead = ripper->Drive->read_audio;
  ripper->Drive->read_audio = RipRead;
  Reading = ripper.get();
  ripper->Paranoia = cdio_paranoia_init(ripper->Drive);
  if (!ripper->Paranoia) return CDRIP_ERROR;
  cdio_paranoia_modeset(ripper->Paranoia, p.jitterCorrection
                                              ? PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP
                                              : PARANOIA_MODE_DISABLE);
  cdio_paranoia_seek(ripper->Paranoia, ripper->Start, SEEK_SET);
  if (!drive->IsImage) {
    cdio_set_speed(ripper->Cdio.get(), p.speed);
    if (p.lockTray) {
      ripper->LockFd = open(drive->Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (ripper->LockFd >= 0 && !LockTray(ripper->LockFd, true)) {
        close(ripper->LockFd);
        ripper->LockFd = -1;
      }
    }
  }
  Lib->Ripper = std::move(ripper);
  *bufferSize = kChunkSectors * kSectorBytes;
  return CDRIP_OK;
}

// Copies UTF-8 text into a caller's buffer of `size` bytes, cut at a
// character boundary and NUL-terminated.
void CopyText(const std::string& value, char* out, int32_t size) {
  if (!out || size <= 0) return;
  size_t length = std::min(value.size(), size_t(size) - 1);
  while (length > 0 && length < value.size() && (uint8_t(value[length]) & 0xc0) == 0x80) --length;
  value.copy(out, length);
  out[length] = '\0';
}

// libcdio hands out copies the caller frees.
std::string Take(char* text) {
  std::string value = text ? text : "";
  free(text);
  return value;
}

// What libcdio's image drivers state of each track's pregap; a drive states
// nothing (-1), its Q sub-channel tells.
std::vector<int32_t> PregapsOf(CdIo_t* cdio, const std::vector<CdripTocEntry>& toc, bool image) {
  std::vector<int32_t> pregaps;
  for (size_t i = 0; i + 1 < toc.size(); ++i) {
    const int32_t start = toc[i].startSector;
    const int32_t previous = i == 0 ? -1 : int32_t(toc[i - 1].startSector);
    const lsn_t pregap = cdio_get_track_pregap_lsn(cdio, toc[i].trackNumber);
    if (i == 0)
      pregaps.push_back(start);
    else if (!image)
      pregaps.push_back(-1);
    else
      pregaps.push_back(
          pregap != CDIO_INVALID_LSN && pregap > previous && pregap < start ? start - pregap : 0);
  }
  return pregaps;
}

// The track a sector's Q sub-channel names, -1 when it names none or the
// drive cannot read it.
int QTrackOf(CdIo_t* cdio, int32_t sector) {
  constexpr int kQBytes = 16;
  uint8_t buffer[kSectorBytes + kQBytes];
  if (mmc_read_cd(cdio, buffer, sector, 1 /* CD-DA */, false, false, 0, true, false, 0,
                  2 /* formatted Q */, sizeof buffer, 1) != DRIVER_OP_SUCCESS)
    return -1;
  const uint8_t* q = buffer + kSectorBytes;
  // Only a position frame (ADR 1) names a track.
  return (q[0] & 0x0f) == 1 ? cdio_from_bcd8(q[1]) : -1;
}

std::vector<std::array<std::string, 3>> ReadDiscText(CdIo_t* cdio) {
  const track_t first = cdio_get_first_track_num(cdio);
  const track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK) return {};
  std::vector<std::array<std::string, 3>> texts(size_t(first) + count);
  cdtext_t* cdtext = cdio_get_cdtext(cdio);  // owned by cdio
  const auto field = [cdtext](cdtext_field_t which, track_t track) {
    const char* text = cdtext ? cdtext_get_const(cdtext, which, track) : nullptr;
    return std::string(text ? text : "");
  };
  texts[0] = {field(CDTEXT_FIELD_TITLE, 0), field(CDTEXT_FIELD_PERFORMER, 0),
              Take(cdio_get_mcn(cdio))};
  for (track_t track = first; track < first + count; ++track) {
    std::string isrc = Take(cdio_get_track_isrc(cdio, track));
    if (isrc.empty()) isrc = field(CDTEXT_FIELD_ISRC, track);
    texts[track] = {field(CDTEXT_FIELD_TITLE, track), field(CDTEXT_FIELD_PERFORMER, track), isrc};
  }
  return texts;
}

}  // namespace

extern "C" {

int32_t CR_Init(const char* iniFileName) try {
  if (!iniFileName || !*iniFileName) return CDRIP_ERROR;
  cdio_loglevel_default = CDIO_LOG_ERROR;
  delete Lib;
  Lib = new TLibrary;
  Lib->IniPath = fs::absolute(iniFileName).lexically_normal().string();
  const TIniFile ini = LoadIni();
  if (ini.GetInt("CD-ROM", "nTransportLayer", 0) != 0) Lib->AccessMode = "READ_CD";

  if (char** devices = cdio_get_devices(DRIVER_DEVICE)) {
    std::vector<fs::path> seen;
    for (char** device = devices; *device; ++device) {
      // /dev/cdrom and the like are links to a drive listed under its own name.
      std::error_code error;
      const fs::path real = fs::canonical(*device, error);
      if (!error && std::find(seen.begin(), seen.end(), real) != seen.end()) continue;
      if (!error) seen.push_back(real);
      TDrive drive;
      drive.Key = *device;
      drive.Path = *device;
      SetName(drive, PhysicalDriveName(*device));
      Lib->Drives.push_back(drive);
    }
    cdio_free_device_list(devices);
  }
  for (int i = 0;; ++i) {
    TDrive drive;
    drive.IsImage = true;
    drive.Key = "Image" + std::to_string(i);
    const std::string listed = ini.Get("Images", drive.Key);
    if (listed.empty()) break;
    drive.Path = ResolveImagePath(listed);
    std::error_code error;
    if (!fs::exists(drive.Path, error)) {
      // Listed as a drive, it would show "No disc" for good.
      std::fprintf(stderr, "cdrip: %s: disc image not found, not listed\n", drive.Path.c_str());
      continue;
    }
    SetName(drive, fs::path(listed).filename().string() + " (image)");
    Lib->Drives.push_back(drive);
  }
  for (TDrive& drive : Lib->Drives) ReadParams(ini, drive);

  const int32_t saved = ini.GetInt("CD-ROM", "nActive", 0);
  if (!Lib->Drives.empty())
    Lib->Active = saved >= 0 && saved < int32_t(Lib->Drives.size()) ? saved : 0;
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetNumCDROM(void) { return Lib ? int32_t(Lib->Drives.size()) : 0; }

int32_t CR_SetActiveCDROM(int32_t index) try {
  if (!Lib || index < 0 || index >= int32_t(Lib->Drives.size())) return CDRIP_ERROR;
  if (index != Lib->Active) {
    // A running rip keeps its drive: its next chunk must still be there.
    if (Lib->Ripper) return CDRIP_ERROR;
    StopPlayback();
    Lib->Toc.clear();
    Lib->SheetTexts.clear();
    Lib->Pregaps.clear();
    Lib->Active = index;
  }
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetActiveCDROM(void) { return Lib ? Lib->Active : -1; }

int32_t CR_GetCDROMParameters(CdripDriveParams* params) {
  const TDrive* drive = ActiveDrive();
  if (!drive || !params) return CDRIP_ERROR;
  *params = drive->Params;
  return CDRIP_OK;
}

int32_t CR_SetCDROMParameters(const CdripDriveParams* params) {
  TDrive* drive = ActiveDrive();
  if (!drive || !params) return CDRIP_ERROR;
  // The name is the drive's own; everything else is the caller's.
  char name[sizeof params->driveName];
  std::memcpy(name, drive->Params.driveName, sizeof name);
  drive->Params = *params;
  std::memcpy(drive->Params.driveName, name, sizeof name);
  return CDRIP_OK;
}

int32_t CR_SaveSettings(void) try {
  if (!Lib) return CDRIP_ERROR;
  TIniFile ini = LoadIni();
  ini.Set("CD-ROM", "nActive", std::to_string(std::max(Lib->Active, 0)));
  if (ini.Get("CD-ROM", "nTransportLayer").empty()) ini.Set("CD-ROM", "nTransportLayer", "0");
  for (const TDrive& drive : Lib->Drives) WriteParams(ini, drive);
  return ini.Save(Lib->IniPath) ? CDRIP_OK : CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_ReadToc(void) try {
  TDrive* drive = ActiveDrive();
  if (!drive) return CDRIP_ERROR;
  Lib->Toc.clear();
  Lib->SheetTexts.clear();
  Lib->DiscText.clear();
  Lib->Pregaps.clear();
  std::vector<int32_t> pregaps;
  std::vector<CdripTocEntry> toc;
  std::vector<std::vector<std::string>> texts;
  std::vector<std::array<std::string, 3>> discText;
  if (IsCueSheet(*drive)) {
    const std::unique_ptr<cdrip::TCueImage> cue = OpenCue(*drive);
    if (!cue) return CDRIP_ERROR;
    toc = TocOf(*cue);
    texts.push_back({cue->Title, cue->Performer, cue->Catalog, cue->Genre, cue->Date});
    for (const cdrip::TCueTrack& track : cue->Tracks())
      texts.push_back({track.Title, track.Performer, track.Isrc, "", ""});
    // What the sheet states is the disc's text: titles, performers, catalogue and ISRCs.
    for (const std::vector<std::string>& text : texts)
      discText.push_back({text[0], text[1], text[2]});
    for (const cdrip::TCueTrack& track : cue->Tracks()) pregaps.push_back(track.Pregap);
  } else {
    const TCdio cdio = OpenDisc(*drive);
    if (!cdio) return CDRIP_ERROR;
    toc = TocOf(cdio.get());
    discText = ReadDiscText(cdio.get());
    pregaps = PregapsOf(cdio.get(), toc, drive->IsImage);
  }
  // A damaged disc or a hostile image may state anything.
  if (!cdrip::IsValidToc(toc.data(), toc.size())) return CDRIP_ERROR;
  Lib->Toc = std::move(toc);
  Lib->SheetTexts = std::move(texts);
  Lib->DiscText = std::move(discText);
  Lib->Pregaps = std::move(pregaps);
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetTrackPregap(int32_t track) try {
  TDrive* drive = ActiveDrive();
  if (!drive || track < 1 || size_t(track) > Lib->Pregaps.size() || Lib->Ripper) return -1;
  int32_t& pregap = Lib->Pregaps[size_t(track - 1)];
  if (pregap >= 0) return pregap;
  const TCdio cdio = OpenDisc(*drive);
  if (!cdio) return -1;
  const int32_t start = Lib->Toc[size_t(track - 1)].startSector;
  const int32_t first = cdrip::FindPregapStart(
      Lib->Toc[size_t(track - 2)].startSector, start, Lib->Toc[size_t(track - 1)].trackNumber,
      [&cdio](int32_t sector) { return QTrackOf(cdio.get(), sector); });
  pregap = start - first;
  return pregap;
} catch (...) {
  return -1;
}

int32_t CR_GetDiscText(int32_t track, int32_t field, char* buffer, int32_t size) {
  if (!Lib || field < CR_TEXT_TITLE || field > CR_TEXT_CODE || size < 0 || (size > 0 && !buffer))
    return CDRIP_ERROR;
  if (track < 0 || size_t(track) >= Lib->DiscText.size()) return 0;
  const std::string& text = Lib->DiscText[size_t(track)][size_t(field)];
  if (text.size() < size_t(size)) std::memcpy(buffer, text.c_str(), text.size() + 1);
  return int32_t(text.size());
}

int32_t CR_GetNumTocEntries(void) {
  return Lib && !Lib->Toc.empty() ? int32_t(Lib->Toc.size()) - 1 : 0;
}

CdripTocEntry CR_GetTocEntry(int32_t index) {
  if (!Lib || index < 0 || index >= int32_t(Lib->Toc.size())) return CdripTocEntry{};
  return Lib->Toc[size_t(index)];
}

int32_t CR_IsUnitReady(void) try {
  TDrive* drive = ActiveDrive();
  if (drive && IsCueSheet(*drive)) return OpenCue(*drive) ? 1 : 0;
  return drive && OpenDisc(*drive) ? 1 : 0;
} catch (...) {
  return 0;
}

int32_t CR_IsAudioPlaying(void) try {
  TDrive* drive = ActiveDrive();
  if (!drive) return 0;
  if (drive->IsImage) {
    TPlayClock& clock = Lib->Clock;
    if (clock.Running) ClockPosition(clock);
    if (clock.Running) return clock.Paused ? kStatusPaused : kStatusPlaying;
    // The play ends when its last sound has left, not before.
    if (clock.Completed && Lib->Output.Busy()) return kStatusPlaying;
    return clock.Completed ? kStatusCompleted : kStatusNone;
  }
  if (!Lib->PlayCdio) return kStatusNone;
  cdio_subchannel_t sub{};
  const bool read = cdio_audio_read_subchannel(Lib->PlayCdio.get(), &sub) == DRIVER_OP_SUCCESS;
  return cdrip::AudioStatusOfRead(read, sub.audio_status);
} catch (...) {
  return 0;
}

int32_t CR_PlayTrack(int32_t track) try {
  if (!Lib) return CDRIP_ERROR;
  if (Lib->Toc.empty() && CR_ReadToc() == CDRIP_ERROR) return CDRIP_ERROR;
  for (size_t i = 0; i + 1 < Lib->Toc.size(); ++i)
    if (Lib->Toc[i].trackNumber == track)
      return PlayRange(Lib->Toc[i].startSector, Lib->Toc[i + 1].startSector);
  return CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_PlaySection(int32_t startSector, int32_t endSector) try {
  return PlayRange(startSector, endSector);
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_PauseCD(int32_t pause) try {
  TDrive* drive = ActiveDrive();
  if (!drive) return CDRIP_ERROR;
  if (!drive->IsImage) {
    if (!Lib->PlayCdio) return CDRIP_ERROR;
    const driver_return_code_t rc =
        pause ? cdio_audio_pause(Lib->PlayCdio.get()) : cdio_audio_resume(Lib->PlayCdio.get());
    return rc == DRIVER_OP_SUCCESS ? CDRIP_OK : CDRIP_ERROR;
  }
  TPlayClock& clock = Lib->Clock;
  if (!clock.Running) return CDRIP_ERROR;
  if (pause && !clock.Paused) {
    clock.PausedAt = ClockPosition(clock);
    clock.Paused = clock.Running;
    if (clock.Paused) Lib->Output.Pause();
  } else if (!pause && clock.Paused) {
    clock.Paused = false;
    clock.StartedAt =
        TClock::now() -
        std::chrono::milliseconds(int64_t(clock.PausedAt - clock.Start) * 1000 / kSectorsPerSecond);
    Lib->Output.Resume(clock.StartedAt);
  }
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_StopPlayTrack(void) try {
  if (!Lib) return CDRIP_ERROR;
  StopPlayback();
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetPlayPosition(int32_t* relativeSector, int32_t* absoluteSector) try {
  if (!relativeSector || !absoluteSector) return CDRIP_ERROR;
  *relativeSector = 0;
  *absoluteSector = 0;
  TDrive* drive = ActiveDrive();
  if (!drive) return CDRIP_ERROR;
  if (!drive->IsImage) {
    cdio_subchannel_t sub{};
    if (!Lib->PlayCdio ||
        cdio_audio_read_subchannel(Lib->PlayCdio.get(), &sub) != DRIVER_OP_SUCCESS)
      return CDRIP_ERROR;
    *relativeSector = int32_t(cdio_msf_to_lba(&sub.rel_addr));
    *absoluteSector = int32_t(cdio_msf_to_lsn(&sub.abs_addr));
    return CDRIP_OK;
  }
  TPlayClock& clock = Lib->Clock;
  if (!clock.Running && !clock.Completed) return CDRIP_ERROR;
  const int32_t position = clock.Running ? ClockPosition(clock) : clock.End;
  int32_t trackStart = clock.Start;
  for (size_t i = 0; i + 1 < Lib->Toc.size(); ++i)
    if (Lib->Toc[i].startSector <= position) trackStart = Lib->Toc[i].startSector;
  *absoluteSector = position;
  *relativeSector = position - trackStart;
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_EjectCD(int32_t open) try {
  TDrive* drive = ActiveDrive();
  // The tray stays shut while a rip reads the disc.
  if (!drive || Lib->Ripper) return 0;
  StopPlayback();
  if (drive->IsImage) {
    RefreshImage(*drive);
    if (drive->Faults.EjectFails) return 0;
    drive->TrayOpen = open != 0;
    if (drive->TrayOpen) Lib->Toc.clear();
    return 1;
  }
  if (open) return cdio_eject_media_drive(drive->Path.c_str()) == DRIVER_OP_SUCCESS ? 1 : 0;
  driver_id_t driver = DRIVER_DEVICE;
  return cdio_close_tray(drive->Path.c_str(), &driver) == DRIVER_OP_SUCCESS ? 1 : 0;
} catch (...) {
  return 0;
}

int32_t CR_OpenRipper(int32_t* bufferSize, int32_t startSector, int32_t endSector) try {
  return OpenRipper(bufferSize, startSector, endSector);
} catch (...) {
  if (Lib) Lib->Ripper.reset();
  return CDRIP_ERROR;
}

int32_t CR_RipChunk(uint8_t* buffer, int32_t* numBytes, int32_t* abort) try {
  if (numBytes) *numBytes = 0;
  TDrive* drive = ActiveDrive();
  if (!drive || !Lib->Ripper || !buffer || !numBytes) return CDRIP_ERROR;
  TRipper& r = *Lib->Ripper;
  const bool done = r.Shift != 0 ? r.OutNext >= r.OutStop : r.Next >= r.End;
  if ((abort && *abort) || StopRequested.load() || done) return CDRIP_RIPPING_DONE;
  return r.Shift != 0 ? ReadShiftedChunk(*drive, r, buffer, *numBytes)
                      : ReadChunk(*drive, r, buffer, *numBytes);
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetPercentCompleted(void) {
  if (!Lib || !Lib->Ripper) return 0;
  const TRipper& r = *Lib->Ripper;
  if (r.End <= r.Start) return 100;
  return int32_t(int64_t(r.Next - r.Start) * 100 / (r.End - r.Start));
}

int32_t CR_GetNumberOfJitterErrors(void) {
  return Lib && Lib->Ripper ? Lib->Ripper->JitterCount : 0;
}

int32_t CR_GetNumberOfLostSectors(void) {
  return Lib && Lib->Ripper ? Lib->Ripper->LostSectors : 0;
}

int32_t CR_GetLastJitterErrorPosition(int32_t* startSector, int32_t* endSector) {
  if (!startSector || !endSector || !Lib || !Lib->Ripper) return CDRIP_ERROR;
  *startSector = Lib->Ripper->LastJitterFirst;
  *endSector = Lib->Ripper->LastJitterLast;
  return CDRIP_OK;
}

int32_t CR_GetSectorStatus(int32_t* firstSector, uint8_t* status, int32_t capacity,
                           int32_t* count) {
  if (!firstSector || !count || !Lib || !Lib->Ripper) return CDRIP_ERROR;
  const TRipper& r = *Lib->Ripper;
  *firstSector = r.Start;
  *count = r.End - r.Start;
  for (int32_t i = 0; status && i < std::min(capacity, *count); ++i)
    status[i] = r.Log[size_t(kLogMargin + i)].Status();
  return CDRIP_OK;
}

int32_t CR_SetReadOffset(int32_t samples) {
  if (!Lib || samples < -CR_MAX_READ_OFFSET || samples > CR_MAX_READ_OFFSET) return CDRIP_ERROR;
  Lib->ReadOffset = samples;
  return CDRIP_OK;
}

int32_t CR_GetReadOffset(void) { return Lib ? Lib->ReadOffset : 0; }

int32_t CR_GetDriveInquiry(int32_t index, char* vendor, int32_t vendorSize, char* product,
                           int32_t productSize) try {
  CopyText({}, vendor, vendorSize);
  CopyText({}, product, productSize);
  if (!Lib || index < 0 || index >= int32_t(Lib->Drives.size())) return CDRIP_ERROR;
  const TDrive* drive = &Lib->Drives[size_t(index)];
  if (drive->IsImage) return CDRIP_ERROR;
  const TCdio cdio{cdio_open(drive->Path.c_str(), DRIVER_DEVICE)};
  cdio_hwinfo_t info{};
  if (!cdio || !cdio_get_hwinfo(cdio.get(), &info)) return CDRIP_ERROR;
  auto trimmed = [](const char* text) {
    std::string value(text);
    value.erase(value.find_last_not_of(' ') + 1);
    return value;
  };
  CopyText(trimmed(info.psz_vendor), vendor, vendorSize);
  CopyText(trimmed(info.psz_model), product, productSize);
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_AbortRip(void) {
  StopRequested.store(1);
  return CDRIP_OK;
}

int32_t CR_CheckImage(const char* path, char* message, int32_t size) try {
  std::string error;
  if (!path || !*path) {
    error = "no disc image named";
  } else if (IsCueSheet(path)) {
    cdrip::TCueImage cue;
    cue.Open(path, error);
  } else {
    std::error_code code;
    const TCdio cdio{fs::is_regular_file(path, code) ? cdio_open(path, DRIVER_UNKNOWN) : nullptr};
    const track_t count = cdio ? cdio_get_num_tracks(cdio.get()) : track_t(CDIO_INVALID_TRACK);
    if (count == CDIO_INVALID_TRACK || count == 0)
      error = fs::path(path).filename().string() + ": not a disc image with tracks";
  }
  CopyText(error, message, size);
  return error.empty() ? CDRIP_OK : CDRIP_ERROR;
} catch (...) {
  CopyText("out of memory", message, size);
  return CDRIP_ERROR;
}

int32_t CR_AddImage(const char* path, char* message, int32_t size) try {
  if (!Lib) {
    CopyText("the CD-reading library is not started", message, size);
    return -1;
  }
  if (CR_CheckImage(path, message, size) != CDRIP_OK) return -1;
  const std::string image = fs::absolute(path).lexically_normal().string();
  for (size_t i = 0; i < Lib->Drives.size(); ++i)
    if (Lib->Drives[i].IsImage && Lib->Drives[i].Path == image) return int32_t(i);
  TIniFile ini = LoadIni();
  int listed = 0;
  while (!ini.Get("Images", "Image" + std::to_string(listed)).empty()) ++listed;
  TDrive drive;
  drive.IsImage = true;
  drive.Key = "Image" + std::to_string(listed);
  drive.Path = image;
  SetName(drive, fs::path(image).filename().string() + " (image)");
  ReadParams(ini, drive);
  ini.Set("Images", drive.Key, image);
  if (!ini.Save(Lib->IniPath)) {
    CopyText("cannot write " + Lib->IniPath, message, size);
    return -1;
  }
  Lib->Drives.push_back(drive);
  return int32_t(Lib->Drives.size()) - 1;
} catch (...) {
  CopyText("out of memory", message, size);
  return -1;
}

int32_t CR_GetSheetText(int32_t track, int32_t field, char* text, int32_t size) try {
  const std::string* value = nullptr;
  if (Lib && track >= 0 && size_t(track) < Lib->SheetTexts.size() && field >= 0 &&
      size_t(field) < Lib->SheetTexts[size_t(track)].size())
    value = &Lib->SheetTexts[size_t(track)][size_t(field)];
  CopyText(value ? *value : std::string(), text, size);
  return value ? int32_t(value->size()) : 0;
} catch (...) {
  return 0;
}

int32_t CR_CloseRipper(void) try {
  if (Lib) Lib->Ripper.reset();
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

}  // extern "C"
