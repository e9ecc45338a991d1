// The CD-reading library's C calls over libcdio and libcdio-paranoia: each
// checks its arguments, hands the work to a unit (drives and cdrip.ini, disc
// information, the ripper, playback) and lets no exception escape.
#include "libs/cdrip/cdrip.h"

#include <cdio/logging.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "libs/cdrip/DiscInfo.h"
#include "libs/cdrip/Drives.h"
#include "libs/cdrip/Playback.h"
#include "libs/cdrip/Ripper.h"

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
using namespace cdrip;

struct TLibrary {
  uint64_t Id = 0;  // which CR_Init made it
  // Guards the drive list and each drive's parameters and holder.
  std::mutex Lock;
  TDrives Drives;
};

TLibrary* Lib = nullptr;
uint64_t Inits = 0;

// What one calling thread has of the library: its active drive, the disc it
// read there, its rip and its playback.
class TCaller {
 public:
  TCaller() = default;
  TCaller(const TCaller&) = delete;
  TCaller& operator=(const TCaller&) = delete;
  ~TCaller() { CloseRipper(); }

  // Starts afresh on the drive the ini names when the library was started
  // again since this thread last called.
  void Join() {
    if (!Lib || FLibrary == Lib->Id) return;
    // The drives of the earlier library are gone with it.
    FRipDrive = nullptr;
    Ripper.reset();
    Playback.Stop();
    Disc.Clear();
    ReadOffset = 0;
    FLibrary = Lib->Id;
    Active = Lib->Drives.ActiveIndex();
  }

  void OpenRipper(TDrive& drive, std::unique_ptr<TRipper> ripper) {
    Ripper = std::move(ripper);
    if (Ripper) FRipDrive = &drive;
  }
  // Closes the rip and frees its drive for the other callers.
  void CloseRipper() {
    Ripper.reset();
    if (!FRipDrive || !Lib || FLibrary != Lib->Id) return;
    std::lock_guard<std::mutex> lock(Lib->Lock);
    if (FRipDrive->Holder == this) FRipDrive->Holder = nullptr;
    FRipDrive = nullptr;
  }
  bool Rips(const TDrive& drive) const { return Ripper && FRipDrive == &drive; }

  int32_t Active = -1;
  TDiscInfo Disc;  // of the active drive, as of its last CR_ReadToc
  std::unique_ptr<TRipper> Ripper;
  int32_t ReadOffset = 0;  // samples, for the next rip
  TPlayback Playback;

 private:
  uint64_t FLibrary = 0;
  TDrive* FRipDrive = nullptr;
};

TCaller& Me() {
  thread_local TCaller caller;
  caller.Join();
  return caller;
}

// The calling thread's use of its active drive for one call: null when there
// is none or another caller uses it. A rip the call opens keeps the drive.
class TUse {
 public:
  TUse() : FMe(Me()) {
    if (!Lib) return;
    std::lock_guard<std::mutex> lock(Lib->Lock);
    TDrive* drive = Lib->Drives.At(FMe.Active);
    if (!drive || (drive->Holder && drive->Holder != &FMe)) return;
    FTook = !drive->Holder;
    drive->Holder = &FMe;
    FDrive = drive;
  }
  ~TUse() {
    if (!FTook || FMe.Rips(*FDrive)) return;
    std::lock_guard<std::mutex> lock(Lib->Lock);
    FDrive->Holder = nullptr;
  }
  TUse(const TUse&) = delete;
  TUse& operator=(const TUse&) = delete;

  TDrive* Drive() const { return FDrive; }
  TCaller& Caller() const { return FMe; }

 private:
  TCaller& FMe;
  TDrive* FDrive = nullptr;
  bool FTook = false;
};

// Copies UTF-8 text into a caller's buffer of `size` bytes, cut at a
// character boundary and NUL-terminated.
void CopyText(const std::string& value, char* out, int32_t size) {
  if (!out || size <= 0) return;
  size_t length = std::min(value.size(), size_t(size) - 1);
  while (length > 0 && length < value.size() && (uint8_t(value[length]) & 0xc0) == 0x80) --length;
  value.copy(out, length);
  out[length] = '\0';
}

}  // namespace

extern "C" {

int32_t CR_Init(const char* iniFileName) try {
  if (!iniFileName || !*iniFileName) return CDRIP_ERROR;
  cdio_loglevel_default = CDIO_LOG_ERROR;
  // This thread's rip reads a drive of the library that goes.
  Me().CloseRipper();
  delete Lib;
  Lib = new TLibrary;
  Lib->Id = ++Inits;
  Lib->Drives.Init(fs::absolute(iniFileName).lexically_normal().string());
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetNumCDROM(void) {
  if (!Lib) return 0;
  std::lock_guard<std::mutex> lock(Lib->Lock);
  return int32_t(Lib->Drives.List().size());
}

int32_t CR_SetActiveCDROM(int32_t index) try {
  TCaller& me = Me();
  if (!Lib || index < 0 || index >= CR_GetNumCDROM()) return CDRIP_ERROR;
  if (index != me.Active) {
    // A running rip keeps its drive: its next chunk must still be there.
    if (me.Ripper) return CDRIP_ERROR;
    me.Playback.Stop();
    me.Disc.Clear();
    me.Active = index;
  }
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetActiveCDROM(void) { return Lib ? Me().Active : -1; }

int32_t CR_GetCDROMParameters(CdripDriveParams* params) {
  if (!Lib || !params) return CDRIP_ERROR;
  const int32_t active = Me().Active;
  std::lock_guard<std::mutex> lock(Lib->Lock);
  const TDrive* drive = Lib->Drives.At(active);
  if (!drive) return CDRIP_ERROR;
  *params = drive->Params;
  return CDRIP_OK;
}

int32_t CR_SetCDROMParameters(const CdripDriveParams* params) {
  const TUse use;
  TDrive* drive = use.Drive();
  if (!drive || !params) return CDRIP_ERROR;
  std::lock_guard<std::mutex> lock(Lib->Lock);
  // The name is the drive's own; everything else is the caller's.
  char name[sizeof params->driveName];
  std::memcpy(name, drive->Params.driveName, sizeof name);
  drive->Params = *params;
  std::memcpy(drive->Params.driveName, name, sizeof name);
  return CDRIP_OK;
}

int32_t CR_SaveSettings(void) try {
  if (!Lib) return CDRIP_ERROR;
  const int32_t active = Me().Active;
  std::lock_guard<std::mutex> lock(Lib->Lock);
  return Lib->Drives.Save(active) ? CDRIP_OK : CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_ReadToc(void) try {
  const TUse use;
  TDrive* drive = use.Drive();
  if (!drive) return CDRIP_ERROR;
  return use.Caller().Disc.Read(Lib->Drives, *drive) ? CDRIP_OK : CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetTrackPregap(int32_t track) try {
  const TUse use;
  TDrive* drive = use.Drive();
  if (!drive || use.Caller().Ripper) return -1;
  return use.Caller().Disc.Pregap(Lib->Drives, *drive, track);
} catch (...) {
  return -1;
}

int32_t CR_GetDiscText(int32_t track, int32_t field, char* buffer, int32_t size) {
  if (!Lib || field < CR_TEXT_TITLE || field > CR_TEXT_CODE || size < 0 || (size > 0 && !buffer))
    return CDRIP_ERROR;
  const auto& texts = Me().Disc.DiscText;
  if (track < 0 || size_t(track) >= texts.size()) return 0;
  const std::string& text = texts[size_t(track)][size_t(field)];
  if (text.size() < size_t(size)) std::memcpy(buffer, text.c_str(), text.size() + 1);
  return int32_t(text.size());
}

int32_t CR_GetNumTocEntries(void) {
  if (!Lib) return 0;
  const auto& toc = Me().Disc.Toc;
  return toc.empty() ? 0 : int32_t(toc.size()) - 1;
}

CdripTocEntry CR_GetTocEntry(int32_t index) {
  if (!Lib) return CdripTocEntry{};
  const auto& toc = Me().Disc.Toc;
  if (index < 0 || index >= int32_t(toc.size())) return CdripTocEntry{};
  return toc[size_t(index)];
}

int32_t CR_IsUnitReady(void) try {
  const TUse use;
  TDrive* drive = use.Drive();
  if (drive && IsCueSheet(*drive)) return Lib->Drives.OpenCue(*drive) ? 1 : 0;
  return drive && Lib->Drives.OpenDisc(*drive) ? 1 : 0;
} catch (...) {
  return 0;
}

int32_t CR_IsAudioPlaying(void) try {
  const TUse use;
  const TDrive* drive = use.Drive();
  return drive ? use.Caller().Playback.Status(*drive) : 0;
} catch (...) {
  return 0;
}

int32_t CR_PlayTrack(int32_t track) try {
  if (!Lib) return CDRIP_ERROR;
  if (Me().Disc.Toc.empty() && CR_ReadToc() == CDRIP_ERROR) return CDRIP_ERROR;
  const auto& toc = Me().Disc.Toc;
  for (size_t i = 0; i + 1 < toc.size(); ++i)
    if (toc[i].trackNumber == track)
      return CR_PlaySection(toc[i].startSector, toc[i + 1].startSector);
  return CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_PlaySection(int32_t startSector, int32_t endSector) try {
  const TUse use;
  TDrive* drive = use.Drive();
  if (!drive) return CDRIP_ERROR;
  return use.Caller().Playback.Play(Lib->Drives, *drive, startSector, endSector);
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_PauseCD(int32_t pause) try {
  const TUse use;
  const TDrive* drive = use.Drive();
  return drive ? use.Caller().Playback.Pause(*drive, pause != 0) : CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_StopPlayTrack(void) try {
  if (!Lib) return CDRIP_ERROR;
  Me().Playback.Stop();
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetPlayPosition(int32_t* relativeSector, int32_t* absoluteSector) try {
  if (!relativeSector || !absoluteSector) return CDRIP_ERROR;
  *relativeSector = 0;
  *absoluteSector = 0;
  const TUse use;
  const TDrive* drive = use.Drive();
  if (!drive) return CDRIP_ERROR;
  TCaller& me = use.Caller();
  return me.Playback.Position(*drive, me.Disc.Toc, *relativeSector, *absoluteSector);
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_EjectCD(int32_t open) try {
  const TUse use;
  TDrive* drive = use.Drive();
  TCaller& me = use.Caller();
  // The tray stays shut while a rip reads the disc.
  if (!drive || me.Ripper) return 0;
  me.Playback.Stop();
  if (drive->IsImage) {
    Lib->Drives.Refresh(*drive);
    if (drive->Faults.EjectFails) return 0;
    drive->TrayOpen = open != 0;
    if (drive->TrayOpen) me.Disc.Toc.clear();
    return 1;
  }
  if (open) return cdio_eject_media_drive(drive->Path.c_str()) == DRIVER_OP_SUCCESS ? 1 : 0;
  driver_id_t driver = DRIVER_DEVICE;
  return cdio_close_tray(drive->Path.c_str(), &driver) == DRIVER_OP_SUCCESS ? 1 : 0;
} catch (...) {
  return 0;
}

int32_t CR_OpenRipper(int32_t* bufferSize, int32_t startSector, int32_t endSector) try {
  if (!Lib) return CDRIP_ERROR;
  // Before the drive is taken for the call: closing frees the drive it read.
  Me().CloseRipper();
  const TUse use;
  TDrive* drive = use.Drive();
  TCaller& me = use.Caller();
  if (!drive || !bufferSize) return CDRIP_ERROR;
  me.OpenRipper(*drive, OpenRipper(Lib->Drives, *drive, me.ReadOffset, startSector, endSector));
  if (!me.Ripper) return CDRIP_ERROR;
  *bufferSize = kChunkBytes;
  return CDRIP_OK;
} catch (...) {
  if (Lib) Me().CloseRipper();
  return CDRIP_ERROR;
}

int32_t CR_RipChunk(uint8_t* buffer, int32_t* numBytes, int32_t* abort) try {
  if (numBytes) *numBytes = 0;
  const TUse use;
  TDrive* drive = use.Drive();
  TCaller& me = use.Caller();
  if (!drive || !me.Rips(*drive) || !buffer || !numBytes) return CDRIP_ERROR;
  TRipper& r = *me.Ripper;
  if ((abort && *abort) || StopRequested(r) || r.Done()) return CDRIP_RIPPING_DONE;
  return RipChunk(*drive, r, buffer, *numBytes);
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetPercentCompleted(void) {
  const TRipper* r = Lib ? Me().Ripper.get() : nullptr;
  return r ? r->PercentCompleted() : 0;
}

int32_t CR_GetNumberOfJitterErrors(void) {
  const TRipper* r = Lib ? Me().Ripper.get() : nullptr;
  return r ? r->JitterCount : 0;
}

int32_t CR_GetNumberOfLostSectors(void) {
  const TRipper* r = Lib ? Me().Ripper.get() : nullptr;
  return r ? r->LostSectors : 0;
}

int32_t CR_GetNumberOfLeftOutSectors(void) {
  const TRipper* r = Lib ? Me().Ripper.get() : nullptr;
  return r ? r->LeftOut : 0;
}

int32_t CR_GetLastJitterErrorPosition(int32_t* startSector, int32_t* endSector) {
  const TRipper* r = Lib ? Me().Ripper.get() : nullptr;
  if (!startSector || !endSector || !r) return CDRIP_ERROR;
  *startSector = r->LastJitterFirst;
  *endSector = r->LastJitterLast;
  return CDRIP_OK;
}

int32_t CR_GetSectorStatus(int32_t* firstSector, uint8_t* status, int32_t capacity,
                           int32_t* count) {
  const TRipper* r = Lib ? Me().Ripper.get() : nullptr;
  if (!firstSector || !count || !r) return CDRIP_ERROR;
  *firstSector = r->Start;
  *count = r->End - r->Start;
  r->SectorStatus(status, capacity);
  return CDRIP_OK;
}

int32_t CR_GetCacheHandling(char* text, int32_t size) try {
  CopyText({}, text, size);
  const TUse use;
  TDrive* drive = use.Drive();
  if (!drive) return CDRIP_ERROR;
  Lib->Drives.Refresh(*drive);
  CopyText(CacheHandling(*drive), text, size);
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_SetReadOffset(int32_t samples) {
  if (!Lib || samples < -CR_MAX_READ_OFFSET || samples > CR_MAX_READ_OFFSET) return CDRIP_ERROR;
  Me().ReadOffset = samples;
  return CDRIP_OK;
}

int32_t CR_GetReadOffset(void) { return Lib ? Me().ReadOffset : 0; }

int32_t CR_GetDriveInquiry(int32_t index, char* vendor, int32_t vendorSize, char* product,
                           int32_t productSize) try {
  CopyText({}, vendor, vendorSize);
  CopyText({}, product, productSize);
  if (!Lib) return CDRIP_ERROR;
  std::string path;
  {
    std::lock_guard<std::mutex> lock(Lib->Lock);
    const TDrive* drive = Lib->Drives.At(index);
    if (!drive || drive->IsImage) return CDRIP_ERROR;
    path = drive->Path;
  }
  const TCdio cdio{cdio_open(path.c_str(), DRIVER_DEVICE)};
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
  RequestStopAll();
  return CDRIP_OK;
}

int32_t CR_AbortDriveRip(int32_t index) try {
  if (!Lib) return CDRIP_ERROR;
  std::lock_guard<std::mutex> lock(Lib->Lock);
  TDrive* drive = Lib->Drives.At(index);
  if (!drive) return CDRIP_ERROR;
  drive->Stop->store(true);
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_CheckImage(const char* path, char* message, int32_t size) try {
  std::string error;
  if (!path || !*path) {
    error = "no disc image named";
  } else if (IsCueSheet(path)) {
    TCueImage cue;
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
  std::string error;
  std::lock_guard<std::mutex> lock(Lib->Lock);
  const int32_t index = Lib->Drives.AddImage(path, error);
  if (index < 0) CopyText(error, message, size);
  return index;
} catch (...) {
  CopyText("out of memory", message, size);
  return -1;
}

int32_t CR_RemoveImage(int32_t index, char* message, int32_t size) try {
  std::string error;
  if (!Lib) {
    CopyText("the CD-reading library is not started", message, size);
    return CDRIP_ERROR;
  }
  TCaller& me = Me();
  TDrive* mine = Lib->Drives.At(me.Active);
  if (me.Ripper)
    error = "a rip is open";
  else if (me.Active == index && mine && me.Playback.Playing(*mine))
    error = "the drive is playing";
  std::lock_guard<std::mutex> lock(Lib->Lock);
  // Later drives move down a place: none may be in another caller's hands.
  for (const TDrive& drive : Lib->Drives.List())
    if (error.empty() && drive.Holder && drive.Holder != &me) error = "another drive is in use";
  if (error.empty() && Lib->Drives.RemoveImage(index, error)) {
    if (me.Active == index) {
      me.Playback.Stop();
      me.Disc.Clear();
    }
    if (me.Active > index || (me.Active == index && index > 0)) --me.Active;
  }
  CopyText(error, message, size);
  return error.empty() ? CDRIP_OK : CDRIP_ERROR;
} catch (...) {
  CopyText("out of memory", message, size);
  return CDRIP_ERROR;
}

int32_t CR_IsImageDrive(int32_t index) {
  return Lib && index >= 0 && index < CR_GetNumCDROM() && Lib->Drives.List()[size_t(index)].IsImage
             ? 1
             : 0;
}

int32_t CR_GetDriveName(int32_t index, char* name, int32_t size) try {
  const bool listed = Lib && index >= 0 && index < CR_GetNumCDROM();
  const char* driveName = listed ? Lib->Drives.List()[size_t(index)].Params.driveName : "";
  CopyText(std::string(driveName, strnlen(driveName, sizeof CdripDriveParams::driveName)), name,
           size);
  return listed ? CDRIP_OK : CDRIP_ERROR;
} catch (...) {
  CopyText({}, name, size);
  return CDRIP_ERROR;
}

int32_t CR_GetSheetText(int32_t track, int32_t field, char* text, int32_t size) try {
  const std::string* value = nullptr;
  const auto* texts = Lib ? &Me().Disc.SheetTexts : nullptr;
  if (texts && track >= 0 && size_t(track) < texts->size() && field >= 0 &&
      size_t(field) < (*texts)[size_t(track)].size())
    value = &(*texts)[size_t(track)][size_t(field)];
  CopyText(value ? *value : std::string(), text, size);
  return value ? int32_t(value->size()) : 0;
} catch (...) {
  return 0;
}

int32_t CR_CloseRipper(void) try {
  if (Lib) Me().CloseRipper();
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

}  // extern "C"
