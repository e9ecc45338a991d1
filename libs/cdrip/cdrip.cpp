// The CD-reading library over libcdio and libcdio-paranoia.
//
// Drives are the physical drives libcdio finds, followed by the disc images
// listed in cdrip.ini. The file is the library's own:
//
//   [CD-ROM]          nActive=<index of the active drive>; nTransportLayer, read at
//                     CR_Init: non-zero reads physical drives with SCSI MMC
//                     commands (SG_IO) instead of the kernel's CD-ROM ioctls
//   [Images]          Image0=<.cue/.toc/.nrg path>, Image1=..., absolute or
//                     relative to the ini's folder; the list ends at the first gap
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
//   EjectFails=1                CR_EjectCD fails and the tray does not move
// Ranges are inclusive sector numbers; a single number names one sector.
// Changing ImageN while running swaps the disc in that drive.
#include "libs/cdrip/cdrip.h"

#include <cdio/cdio.h>
// After cdio.h, which declares the types it uses.
#include <cdio/audio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "libs/cdrip/DiscRules.h"
#include "libs/cdrip/ImageOutput.h"
#include "libs/cdrip/IniFile.h"

static_assert(sizeof(CDROMPARAMS) == 344);
static_assert(offsetof(CDROMPARAMS, nOffsetStart) == 268);
static_assert(offsetof(CDROMPARAMS, nOffsetEnd) == 272);
static_assert(offsetof(CDROMPARAMS, nSpeed) == 276);
static_assert(offsetof(CDROMPARAMS, bJitterCorrection) == 284);
static_assert(offsetof(CDROMPARAMS, bSwapLefRightChannel) == 288);
static_assert(offsetof(CDROMPARAMS, DriveTable) == 292);
static_assert(offsetof(CDROMPARAMS, bLockDuringRead) == 332);
static_assert(sizeof(TOCENTRY) == 6);
static_assert(offsetof(TOCENTRY, btFlag) == 4);
static_assert(offsetof(TOCENTRY, btTrackNumber) == 5);

namespace {

namespace fs = std::filesystem;
using cdrip::TIniFile;
using TClock = std::chrono::steady_clock;

constexpr int32_t kSectorBytes = CDIO_CD_FRAMESIZE_RAW;
constexpr int32_t kChunkSectors = 27;
constexpr int32_t kSectorsPerSecond = 75;
constexpr int kMaxRetries = 20;
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
};

struct TDrive {
  bool IsImage = false;
  std::string Key;   // its cdrip.ini section
  std::string Path;  // device node or image file
  CDROMPARAMS Params{};
  TFaults Faults;
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

struct TRipper {
  TRipper() = default;
  TRipper(const TRipper&) = delete;
  TRipper& operator=(const TRipper&) = delete;
  ~TRipper() {
    if (Paranoia) cdio_paranoia_free(Paranoia);
    if (Drive) cdio_cddap_close_no_free_cdio(Drive);
    if (LockFd >= 0) {
      LockTray(LockFd, false);
      close(LockFd);
    }
  }

  TCdio Cdio;  // declared first, so it is destroyed last
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
};

struct TLibrary {
  std::string IniPath;
  std::vector<TDrive> Drives;
  int32_t Active = -1;
  const char* AccessMode = "IOCTL";  // libcdio's access mode for physical drives
  std::vector<TOCENTRY> Toc;  // the tracks, then the lead-out
  std::unique_ptr<TRipper> Ripper;
  TPlayClock Clock;
  cdrip::TImageOutput Output;  // an image's sound under playback
  TCdio PlayCdio;              // physical drive under playback
};

TLibrary* Lib = nullptr;

// Doubtful audio paranoia reported during the chunk in hand (the callback has
// no user data, and the library serves one caller).
struct TChunkEvents {
  bool Doubtful = false;
  int32_t First = 0;
  int32_t Last = 0;
} ChunkEvents;

// Only what means the audio may be wrong counts: a read error, a skip after
// the retries ran out, a cache paranoia could not trust. Fixed jitter, drift
// and dropped or duplicated bytes were repaired and verified, and happen on
// nearly every track of a healthy disc.
bool IsDoubtful(paranoia_cb_mode_t mode) {
  return mode == PARANOIA_CB_SKIP || mode == PARANOIA_CB_READERR || mode == PARANOIA_CB_CACHEERR;
}

void ParanoiaCallback(long position, paranoia_cb_mode_t mode) {
  if (!IsDoubtful(mode)) return;
  // Positions count 16-bit words.
  const auto sector = int32_t(position / (CDIO_CD_FRAMESIZE_RAW / 2));
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
  CDROMPARAMS& p = drive.Params;
  p.nOffsetStart = ini.GetInt(drive.Key, "OffsetStart", 0);
  p.nOffsetEnd = ini.GetInt(drive.Key, "OffsetEnd", 0);
  p.nSpeed = ini.GetInt(drive.Key, "Speed", 0);
  p.bJitterCorrection = ini.GetInt(drive.Key, "JitterCorrection", -1);
  p.bSwapLefRightChannel = ini.GetInt(drive.Key, "SwapChannels", 0);
  p.DriveTable = ini.GetInt(drive.Key, "DriveType", 0);
  p.bLockDuringRead = ini.GetInt(drive.Key, "LockDuringRead", 0);
}

void WriteParams(TIniFile& ini, const TDrive& drive) {
  const CDROMPARAMS& p = drive.Params;
  ini.Set(drive.Key, "OffsetStart", std::to_string(p.nOffsetStart));
  ini.Set(drive.Key, "OffsetEnd", std::to_string(p.nOffsetEnd));
  ini.Set(drive.Key, "Speed", std::to_string(p.nSpeed));
  ini.Set(drive.Key, "JitterCorrection", std::to_string(p.bJitterCorrection));
  ini.Set(drive.Key, "SwapChannels", std::to_string(p.bSwapLefRightChannel));
  ini.Set(drive.Key, "DriveType", std::to_string(p.DriveTable));
  ini.Set(drive.Key, "LockDuringRead", std::to_string(p.bLockDuringRead));
}

void SetName(TDrive& drive, const std::string& name) {
  std::memset(drive.Params.lpszCDROMID, 0, sizeof drive.Params.lpszCDROMID);
  name.copy(drive.Params.lpszCDROMID, sizeof drive.Params.lpszCDROMID - 1);
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
}

TDrive* ActiveDrive() {
  if (!Lib || Lib->Active < 0 || Lib->Active >= int32_t(Lib->Drives.size())) return nullptr;
  return &Lib->Drives[size_t(Lib->Active)];
}

// A fresh handle on the disc in the drive, or null when there is none.
TCdio OpenDisc(TDrive& drive) {
  RefreshImage(drive);
  if (drive.IsImage && (drive.Faults.NotReady || drive.TrayOpen)) return nullptr;
  // libcdio ends the whole process when an image path names a folder (a
  // listed path holding a NUL byte names the ini's own folder).
  std::error_code error;
  if (drive.IsImage &&
      (drive.Path.find('\0') != std::string::npos || !fs::is_regular_file(drive.Path, error)))
    return nullptr;
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

int32_t PlayRange(int32_t start, int32_t end) {
  TDrive* drive = ActiveDrive();
  if (!drive || end <= start || start < 0) return CDEX_ERROR;
  // A new range plays at once: a stop first would spin the disc down.
  Lib->Clock = TPlayClock{};
  if (drive->IsImage) {
    RefreshImage(*drive);
    if (drive->Faults.NotReady || drive->TrayOpen) return CDEX_ERROR;
    Lib->Clock.Running = true;
    Lib->Clock.Start = start;
    Lib->Clock.End = end;
    Lib->Clock.StartedAt = TClock::now();
    Lib->Output.Start(drive->Path, start, end, Lib->Clock.StartedAt);
    return CDEX_OK;
  }
  Lib->PlayCdio = OpenDisc(*drive);
  if (!Lib->PlayCdio) return CDEX_ERROR;
  msf_t from, to;
  cdio_lsn_to_msf(start, &from);
  cdio_lsn_to_msf(end, &to);
  return cdio_audio_play_msf(Lib->PlayCdio.get(), &from, &to) == DRIVER_OP_SUCCESS ? CDEX_OK
                                                                                   : CDEX_ERROR;
}

// Reads the ripper's next chunk into buffer; returns the result code. A
// sector that cannot be read becomes silence in its place, so the chunk
// always holds all its sectors and the rip always advances.
int32_t ReadChunk(TDrive& drive, TRipper& r, uint8_t* buffer, int32_t& bytes) {
  const int32_t first = r.Next;
  const int32_t count = std::min(kChunkSectors, r.End - r.Next);
  const int32_t last = first + count - 1;
  r.Next += count;
  bytes = count * kSectorBytes;

  ChunkEvents = TChunkEvents{};
  int32_t lost = 0;
  TSectorRange lostRange{};
  for (int32_t i = 0; i < count; ++i) {
    const int32_t sectorNum = first + i;
    uint8_t* at = buffer + size_t(i) * kSectorBytes;
    const int16_t* sector = cdio_paranoia_read_limited(r.Paranoia, ParanoiaCallback, kMaxRetries);
    if (!sector) cdio_paranoia_seek(r.Paranoia, sectorNum + 1, SEEK_SET);
    TSectorRange hit{};
    if (!sector || (drive.IsImage && Overlap(drive.Faults.Unreadable, sectorNum, sectorNum, hit))) {
      std::memset(at, 0, kSectorBytes);
      if (lost++ == 0) lostRange.First = sectorNum;
      lostRange.Last = sectorNum;
    } else {
      std::memcpy(at, sector, kSectorBytes);
    }
  }
  if (drive.Params.bSwapLefRightChannel) {
    auto* samples = reinterpret_cast<int16_t*>(buffer);
    for (int32_t i = 0; i + 1 < bytes / 2; i += 2) std::swap(samples[i], samples[i + 1]);
  }
  if (lost > 0) {
    r.LostSectors += lost;
    ++r.JitterCount;
    r.LastJitterFirst = lostRange.First;
    r.LastJitterLast = lostRange.Last;
    return CDEX_ERROR;
  }

  bool jitter = ChunkEvents.Doubtful;
  TSectorRange where{ChunkEvents.First, ChunkEvents.Last};
  TSectorRange hit{};
  if (drive.IsImage && Overlap(drive.Faults.Jitter, first, last, hit)) {
    where = jitter ? TSectorRange{std::min(where.First, hit.First), std::max(where.Last, hit.Last)}
                   : hit;
    jitter = true;
  }
  if (jitter) {
    ++r.JitterCount;
    r.LastJitterFirst = where.First;
    r.LastJitterLast = where.Last;
    return CDEX_JITTER_ERROR;
  }
  return r.Next >= r.End ? CDEX_RIPPING_DONE : CDEX_OK;
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

TAudioSpan AudioSpanAt(CdIo_t* cdio, int32_t sector, int32_t leadOut) {
  const track_t first = cdio_get_first_track_num(cdio);
  const track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK) return {};
  std::vector<std::pair<int32_t, bool>> tracks;  // start, audio
  for (track_t track = first; track < first + count; ++track) {
    const lsn_t start = cdio_get_track_lsn(cdio, track);
    if (start == CDIO_INVALID_LSN) return {};
    tracks.emplace_back(start, cdio_get_track_format(cdio, track) == TRACK_FORMAT_AUDIO);
  }
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
  if (!drive) return CDEX_ERROR;
  Lib->Ripper.reset();
  if (!bufferSize || start < 0 || end < start) return CDEX_ERROR;
  auto ripper = std::make_unique<TRipper>();
  ripper->Cdio = OpenDisc(*drive);
  if (!ripper->Cdio) return CDEX_ERROR;
  const lsn_t leadOut = cdio_get_track_lsn(ripper->Cdio.get(), CDIO_CDROM_LEADOUT_TRACK);
  if (leadOut == CDIO_INVALID_LSN || leadOut > cdrip::kMaxTocSector + 1 || end > leadOut)
    return CDEX_ERROR;
  // A data track is no audio: paranoia would search it for matching audio
  // forever. A range that touches one is refused; a range that runs into the
  // gap before one stops where the audio does.
  const TAudioSpan span = AudioSpanAt(ripper->Cdio.get(), start, int32_t(leadOut));
  if (end > start && (span.Empty() || end > span.Boundary)) return CDEX_ERROR;

  // Offsets come from cdrip.ini and may be anything: 64-bit sums, kept
  // within the audio.
  const CDROMPARAMS& p = drive->Params;
  const int64_t first = std::clamp<int64_t>(int64_t(start) + p.nOffsetStart, span.Begin,
                                            std::max(span.Begin, span.Stop));
  const int64_t last =
      std::clamp<int64_t>(int64_t(end) + p.nOffsetEnd, first, std::max<int64_t>(first, span.Stop));
  ripper->Start = int32_t(first);
  ripper->End = int32_t(last);
  ripper->Next = ripper->Start;

  ripper->Drive = cdio_cddap_identify_cdio(ripper->Cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr);
  if (!ripper->Drive) return CDEX_ERROR;
  // Left at -1 the byte order is guessed from the audio and may swap every sample.
  ripper->Drive->bigendianp = 0;
  if (cdio_cddap_open(ripper->Drive) != 0) return CDEX_ERROR;
  ripper->Paranoia = cdio_paranoia_init(ripper->Drive);
  if (!ripper->Paranoia) return CDEX_ERROR;
  cdio_paranoia_modeset(ripper->Paranoia, p.bJitterCorrection
                                              ? PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP
                                              : PARANOIA_MODE_DISABLE);
  cdio_paranoia_seek(ripper->Paranoia, ripper->Start, SEEK_SET);
  if (!drive->IsImage) {
    cdio_set_speed(ripper->Cdio.get(), p.nSpeed);
    if (p.bLockDuringRead) {
      ripper->LockFd = open(drive->Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (ripper->LockFd >= 0 && !LockTray(ripper->LockFd, true)) {
        close(ripper->LockFd);
        ripper->LockFd = -1;
      }
    }
  }
  Lib->Ripper = std::move(ripper);
  *bufferSize = kChunkSectors * kSectorBytes;
  return CDEX_OK;
}

}  // namespace

extern "C" {

int32_t CR_Init(const char* iniFileName) try {
  if (!iniFileName || !*iniFileName) return CDEX_ERROR;
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
  return CDEX_OK;
} catch (...) {
  return CDEX_ERROR;
}

int32_t CR_GetNumCDROM(void) { return Lib ? int32_t(Lib->Drives.size()) : 0; }

int32_t CR_SetActiveCDROM(int32_t index) try {
  if (!Lib || index < 0 || index >= int32_t(Lib->Drives.size())) return CDEX_ERROR;
  if (index != Lib->Active) {
    // A running rip keeps its drive: its next chunk must still be there.
    if (Lib->Ripper) return CDEX_ERROR;
    StopPlayback();
    Lib->Toc.clear();
    Lib->Active = index;
  }
  return CDEX_OK;
} catch (...) {
  return CDEX_ERROR;
}

int32_t CR_GetActiveCDROM(void) { return Lib ? Lib->Active : -1; }

int32_t CR_GetCDROMParameters(CDROMPARAMS* params) {
  const TDrive* drive = ActiveDrive();
  if (!drive || !params) return CDEX_ERROR;
  *params = drive->Params;
  return CDEX_OK;
}

int32_t CR_SetCDROMParameters(const CDROMPARAMS* params) {
  TDrive* drive = ActiveDrive();
  if (!drive || !params) return CDEX_ERROR;
  // The name is the drive's own; everything else is the caller's.
  char name[sizeof params->lpszCDROMID];
  std::memcpy(name, drive->Params.lpszCDROMID, sizeof name);
  drive->Params = *params;
  std::memcpy(drive->Params.lpszCDROMID, name, sizeof name);
  return CDEX_OK;
}

int32_t CR_SaveSettings(void) try {
  if (!Lib) return CDEX_ERROR;
  TIniFile ini = LoadIni();
  ini.Set("CD-ROM", "nActive", std::to_string(std::max(Lib->Active, 0)));
  if (ini.Get("CD-ROM", "nTransportLayer").empty()) ini.Set("CD-ROM", "nTransportLayer", "0");
  for (const TDrive& drive : Lib->Drives) WriteParams(ini, drive);
  return ini.Save(Lib->IniPath) ? CDEX_OK : CDEX_ERROR;
} catch (...) {
  return CDEX_ERROR;
}

int32_t CR_ReadToc(void) try {
  TDrive* drive = ActiveDrive();
  if (!drive) return CDEX_ERROR;
  Lib->Toc.clear();
  const TCdio cdio = OpenDisc(*drive);
  if (!cdio) return CDEX_ERROR;
  const track_t first = cdio_get_first_track_num(cdio.get());
  const track_t count = cdio_get_num_tracks(cdio.get());
  if (first == CDIO_INVALID_TRACK) return CDEX_ERROR;
  std::vector<TOCENTRY> toc;
  for (track_t track = first; track < first + count; ++track) {
    const lsn_t start = cdio_get_track_lsn(cdio.get(), track);
    if (start == CDIO_INVALID_LSN) return CDEX_ERROR;
    const bool audio = cdio_get_track_format(cdio.get(), track) == TRACK_FORMAT_AUDIO;
    toc.push_back({start, audio ? kAudioFlag : kDataFlag, uint8_t(track)});
  }
  const lsn_t leadOut = cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK);
  if (leadOut == CDIO_INVALID_LSN) return CDEX_ERROR;
  toc.push_back({leadOut, kAudioFlag, CDIO_CDROM_LEADOUT_TRACK});
  // A damaged disc or a hostile image may state anything.
  if (!cdrip::IsValidToc(toc.data(), toc.size())) return CDEX_ERROR;
  Lib->Toc = std::move(toc);
  return CDEX_OK;
} catch (...) {
  return CDEX_ERROR;
}

int32_t CR_GetNumTocEntries(void) {
  return Lib && !Lib->Toc.empty() ? int32_t(Lib->Toc.size()) - 1 : 0;
}

TOCENTRY CR_GetTocEntry(int32_t index) {
  if (!Lib || index < 0 || index >= int32_t(Lib->Toc.size())) return TOCENTRY{};
  return Lib->Toc[size_t(index)];
}

int32_t CR_IsUnitReady(void) try {
  TDrive* drive = ActiveDrive();
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
  if (!Lib) return CDEX_ERROR;
  if (Lib->Toc.empty() && CR_ReadToc() == CDEX_ERROR) return CDEX_ERROR;
  for (size_t i = 0; i + 1 < Lib->Toc.size(); ++i)
    if (Lib->Toc[i].btTrackNumber == track)
      return PlayRange(Lib->Toc[i].dwStartSector, Lib->Toc[i + 1].dwStartSector);
  return CDEX_ERROR;
} catch (...) {
  return CDEX_ERROR;
}

int32_t CR_PlaySection(int32_t startSector, int32_t endSector) try {
  return PlayRange(startSector, endSector);
} catch (...) {
  return CDEX_ERROR;
}

int32_t CR_PauseCD(int32_t pause) try {
  TDrive* drive = ActiveDrive();
  if (!drive) return CDEX_ERROR;
  if (!drive->IsImage) {
    if (!Lib->PlayCdio) return CDEX_ERROR;
    const driver_return_code_t rc =
        pause ? cdio_audio_pause(Lib->PlayCdio.get()) : cdio_audio_resume(Lib->PlayCdio.get());
    return rc == DRIVER_OP_SUCCESS ? CDEX_OK : CDEX_ERROR;
  }
  TPlayClock& clock = Lib->Clock;
  if (!clock.Running) return CDEX_ERROR;
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
  return CDEX_OK;
} catch (...) {
  return CDEX_ERROR;
}

int32_t CR_StopPlayTrack(void) try {
  if (!Lib) return CDEX_ERROR;
  StopPlayback();
  return CDEX_OK;
} catch (...) {
  return CDEX_ERROR;
}

int32_t CR_GetPlayPosition(int32_t* relativeSector, int32_t* absoluteSector) try {
  if (!relativeSector || !absoluteSector) return CDEX_ERROR;
  *relativeSector = 0;
  *absoluteSector = 0;
  TDrive* drive = ActiveDrive();
  if (!drive) return CDEX_ERROR;
  if (!drive->IsImage) {
    cdio_subchannel_t sub{};
    if (!Lib->PlayCdio ||
        cdio_audio_read_subchannel(Lib->PlayCdio.get(), &sub) != DRIVER_OP_SUCCESS)
      return CDEX_ERROR;
    *relativeSector = int32_t(cdio_msf_to_lba(&sub.rel_addr));
    *absoluteSector = int32_t(cdio_msf_to_lsn(&sub.abs_addr));
    return CDEX_OK;
  }
  TPlayClock& clock = Lib->Clock;
  if (!clock.Running && !clock.Completed) return CDEX_ERROR;
  const int32_t position = clock.Running ? ClockPosition(clock) : clock.End;
  int32_t trackStart = clock.Start;
  for (size_t i = 0; i + 1 < Lib->Toc.size(); ++i)
    if (Lib->Toc[i].dwStartSector <= position) trackStart = Lib->Toc[i].dwStartSector;
  *absoluteSector = position;
  *relativeSector = position - trackStart;
  return CDEX_OK;
} catch (...) {
  return CDEX_ERROR;
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
  return CDEX_ERROR;
}

int32_t CR_RipChunk(uint8_t* buffer, int32_t* numBytes, int32_t* abort) try {
  if (numBytes) *numBytes = 0;
  TDrive* drive = ActiveDrive();
  if (!drive || !Lib->Ripper || !buffer || !numBytes) return CDEX_ERROR;
  TRipper& r = *Lib->Ripper;
  if ((abort && *abort) || r.Next >= r.End) return CDEX_RIPPING_DONE;
  return ReadChunk(*drive, r, buffer, *numBytes);
} catch (...) {
  return CDEX_ERROR;
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
  if (!startSector || !endSector || !Lib || !Lib->Ripper) return CDEX_ERROR;
  *startSector = Lib->Ripper->LastJitterFirst;
  *endSector = Lib->Ripper->LastJitterLast;
  return CDEX_OK;
}

int32_t CR_CloseRipper(void) try {
  if (Lib) Lib->Ripper.reset();
  return CDEX_OK;
} catch (...) {
  return CDEX_ERROR;
}

}  // extern "C"
