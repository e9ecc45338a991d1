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
  TDrives Drives;
  TDiscInfo Disc;  // of the active drive, as of its last CR_ReadToc
  std::unique_ptr<TRipper> Ripper;
  int32_t ReadOffset = 0;  // samples, for the next rip
  TPlayback Playback;
};

TLibrary* Lib = nullptr;

TDrive* ActiveDrive() { return Lib ? Lib->Drives.Active() : nullptr; }

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
  delete Lib;
  Lib = new TLibrary;
  Lib->Drives.Init(fs::absolute(iniFileName).lexically_normal().string());
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetNumCDROM(void) { return Lib ? int32_t(Lib->Drives.List().size()) : 0; }

int32_t CR_SetActiveCDROM(int32_t index) try {
  if (!Lib || index < 0 || index >= CR_GetNumCDROM()) return CDRIP_ERROR;
  if (index != Lib->Drives.ActiveIndex()) {
    // A running rip keeps its drive: its next chunk must still be there.
    if (Lib->Ripper) return CDRIP_ERROR;
    Lib->Playback.Stop();
    Lib->Disc.Clear();
    Lib->Drives.SetActive(index);
  }
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetActiveCDROM(void) { return Lib ? Lib->Drives.ActiveIndex() : -1; }

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
  return Lib && Lib->Drives.Save() ? CDRIP_OK : CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_ReadToc(void) try {
  TDrive* drive = ActiveDrive();
  if (!drive) return CDRIP_ERROR;
  return Lib->Disc.Read(Lib->Drives, *drive) ? CDRIP_OK : CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetTrackPregap(int32_t track) try {
  TDrive* drive = ActiveDrive();
  if (!drive || Lib->Ripper) return -1;
  return Lib->Disc.Pregap(Lib->Drives, *drive, track);
} catch (...) {
  return -1;
}

int32_t CR_GetDiscText(int32_t track, int32_t field, char* buffer, int32_t size) {
  if (!Lib || field < CR_TEXT_TITLE || field > CR_TEXT_CODE || size < 0 || (size > 0 && !buffer))
    return CDRIP_ERROR;
  const auto& texts = Lib->Disc.DiscText;
  if (track < 0 || size_t(track) >= texts.size()) return 0;
  const std::string& text = texts[size_t(track)][size_t(field)];
  if (text.size() < size_t(size)) std::memcpy(buffer, text.c_str(), text.size() + 1);
  return int32_t(text.size());
}

int32_t CR_GetNumTocEntries(void) {
  return Lib && !Lib->Disc.Toc.empty() ? int32_t(Lib->Disc.Toc.size()) - 1 : 0;
}

CdripTocEntry CR_GetTocEntry(int32_t index) {
  if (!Lib || index < 0 || index >= int32_t(Lib->Disc.Toc.size())) return CdripTocEntry{};
  return Lib->Disc.Toc[size_t(index)];
}

int32_t CR_IsUnitReady(void) try {
  TDrive* drive = ActiveDrive();
  if (drive && IsCueSheet(*drive)) return Lib->Drives.OpenCue(*drive) ? 1 : 0;
  return drive && Lib->Drives.OpenDisc(*drive) ? 1 : 0;
} catch (...) {
  return 0;
}

int32_t CR_IsAudioPlaying(void) try {
  const TDrive* drive = ActiveDrive();
  return drive ? Lib->Playback.Status(*drive) : 0;
} catch (...) {
  return 0;
}

int32_t CR_PlayTrack(int32_t track) try {
  if (!Lib) return CDRIP_ERROR;
  if (Lib->Disc.Toc.empty() && CR_ReadToc() == CDRIP_ERROR) return CDRIP_ERROR;
  const auto& toc = Lib->Disc.Toc;
  for (size_t i = 0; i + 1 < toc.size(); ++i)
    if (toc[i].trackNumber == track)
      return CR_PlaySection(toc[i].startSector, toc[i + 1].startSector);
  return CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_PlaySection(int32_t startSector, int32_t endSector) try {
  TDrive* drive = ActiveDrive();
  if (!drive) return CDRIP_ERROR;
  return Lib->Playback.Play(Lib->Drives, *drive, startSector, endSector);
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_PauseCD(int32_t pause) try {
  const TDrive* drive = ActiveDrive();
  return drive ? Lib->Playback.Pause(*drive, pause != 0) : CDRIP_ERROR;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_StopPlayTrack(void) try {
  if (!Lib) return CDRIP_ERROR;
  Lib->Playback.Stop();
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetPlayPosition(int32_t* relativeSector, int32_t* absoluteSector) try {
  if (!relativeSector || !absoluteSector) return CDRIP_ERROR;
  *relativeSector = 0;
  *absoluteSector = 0;
  const TDrive* drive = ActiveDrive();
  if (!drive) return CDRIP_ERROR;
  return Lib->Playback.Position(*drive, Lib->Disc.Toc, *relativeSector, *absoluteSector);
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_EjectCD(int32_t open) try {
  TDrive* drive = ActiveDrive();
  // The tray stays shut while a rip reads the disc.
  if (!drive || Lib->Ripper) return 0;
  Lib->Playback.Stop();
  if (drive->IsImage) {
    Lib->Drives.Refresh(*drive);
    if (drive->Faults.EjectFails) return 0;
    drive->TrayOpen = open != 0;
    if (drive->TrayOpen) Lib->Disc.Toc.clear();
    return 1;
  }
  if (open) return cdio_eject_media_drive(drive->Path.c_str()) == DRIVER_OP_SUCCESS ? 1 : 0;
  driver_id_t driver = DRIVER_DEVICE;
  return cdio_close_tray(drive->Path.c_str(), &driver) == DRIVER_OP_SUCCESS ? 1 : 0;
} catch (...) {
  return 0;
}

int32_t CR_OpenRipper(int32_t* bufferSize, int32_t startSector, int32_t endSector) try {
  TDrive* drive = ActiveDrive();
  if (!drive) return CDRIP_ERROR;
  Lib->Ripper.reset();
  if (!bufferSize) return CDRIP_ERROR;
  Lib->Ripper = OpenRipper(Lib->Drives, *drive, Lib->ReadOffset, startSector, endSector);
  if (!Lib->Ripper) return CDRIP_ERROR;
  *bufferSize = kChunkBytes;
  return CDRIP_OK;
} catch (...) {
  if (Lib) Lib->Ripper.reset();
  return CDRIP_ERROR;
}

int32_t CR_RipChunk(uint8_t* buffer, int32_t* numBytes, int32_t* abort) try {
  if (numBytes) *numBytes = 0;
  TDrive* drive = ActiveDrive();
  if (!drive || !Lib->Ripper || !buffer || !numBytes) return CDRIP_ERROR;
  TRipper& r = *Lib->Ripper;
  if ((abort && *abort) || StopRequested() || r.Done()) return CDRIP_RIPPING_DONE;
  return RipChunk(*drive, r, buffer, *numBytes);
} catch (...) {
  return CDRIP_ERROR;
}

int32_t CR_GetPercentCompleted(void) {
  return Lib && Lib->Ripper ? Lib->Ripper->PercentCompleted() : 0;
}

int32_t CR_GetNumberOfJitterErrors(void) {
  return Lib && Lib->Ripper ? Lib->Ripper->JitterCount : 0;
}

int32_t CR_GetNumberOfLostSectors(void) {
  return Lib && Lib->Ripper ? Lib->Ripper->LostSectors : 0;
}

int32_t CR_GetNumberOfLeftOutSectors(void) { return Lib && Lib->Ripper ? Lib->Ripper->LeftOut : 0; }

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
  r.SectorStatus(status, capacity);
  return CDRIP_OK;
}

int32_t CR_GetCacheHandling(char* text, int32_t size) try {
  TDrive* drive = ActiveDrive();
  CopyText({}, text, size);
  if (!drive) return CDRIP_ERROR;
  Lib->Drives.Refresh(*drive);
  CopyText(CacheHandling(*drive), text, size);
  return CDRIP_OK;
} catch (...) {
  return CDRIP_ERROR;
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
  if (!Lib || index < 0 || index >= CR_GetNumCDROM()) return CDRIP_ERROR;
  const TDrive& drive = Lib->Drives.List()[size_t(index)];
  if (drive.IsImage) return CDRIP_ERROR;
  const TCdio cdio{cdio_open(drive.Path.c_str(), DRIVER_DEVICE)};
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
  RequestStop();
  return CDRIP_OK;
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
  const int32_t index = Lib->Drives.AddImage(path, error);
  if (index < 0) CopyText(error, message, size);
  return index;
} catch (...) {
  CopyText("out of memory", message, size);
  return -1;
}

int32_t CR_RemoveImage(int32_t index, char* message, int32_t size) try {
  std::string error;
  const bool active = Lib && index == Lib->Drives.ActiveIndex();
  if (!Lib)
    error = "the CD-reading library is not started";
  else if (Lib->Ripper)
    error = "a rip is open";
  else if (active && Lib->Playback.Playing(*ActiveDrive()))
    error = "the drive is playing";
  else if (Lib->Drives.RemoveImage(index, error) && active) {
    Lib->Playback.Stop();
    Lib->Disc.Clear();
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
  if (Lib && track >= 0 && size_t(track) < Lib->Disc.SheetTexts.size() && field >= 0 &&
      size_t(field) < Lib->Disc.SheetTexts[size_t(track)].size())
    value = &Lib->Disc.SheetTexts[size_t(track)][size_t(field)];
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
