// cdrip.ini is the library's own:
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
//                     JitterCorrection, SwapChannels, DriveType, LockDuringRead;
//                     kept as set: GiveUpAfter=<seconds> (30), the time without
//                     one sector read after which a rip gives up the rest of its
//                     range; an image's section also holds its faults (ImageFaults.h)
// Changing ImageN while running swaps the disc in that drive; while its tray
// is open, a changed ImageN or NotReady going from 1 to 0 is a person closing
// the tray over a new disc.
#include "libs/cdrip/Drives.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "libs/cdrip/IniFile.h"

namespace cdrip {

namespace {

namespace fs = std::filesystem;

// The folder this library was loaded from: the program folder, beside the
// images that come with the program.
fs::path LibraryFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&CR_Init), &info) == 0 || !info.dli_fname) return {};
  std::error_code error;
  const fs::path library = fs::absolute(info.dli_fname, error);
  return error ? fs::path() : library.parent_path();
}

TIniFile LoadIni(const std::string& path) {
  TIniFile ini;
  ini.Load(path);
  return ini;
}

void ReadGiveUpAfter(const TIniFile& ini, TDrive& drive) {
  drive.GiveUpAfter = std::clamp(ini.GetInt(drive.Key, "GiveUpAfter", 30), 1, 3600);
}

void ReadParams(const TIniFile& ini, TDrive& drive) {
  ReadGiveUpAfter(ini, drive);
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

}  // namespace

void TDrives::Init(const std::string& iniPath) {
  FIniPath = iniPath;
  FList.clear();
  FActive = -1;
  const TIniFile ini = LoadIni(FIniPath);
  FAccessMode = ini.GetInt("CD-ROM", "nTransportLayer", 0) != 0 ? "READ_CD" : "IOCTL";

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
      FList.push_back(drive);
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
    FList.push_back(drive);
  }
  for (TDrive& drive : FList) ReadParams(ini, drive);

  const int32_t saved = ini.GetInt("CD-ROM", "nActive", 0);
  if (!FList.empty()) FActive = saved >= 0 && saved < int32_t(FList.size()) ? saved : 0;
}

TDrive* TDrives::At(int32_t index) {
  if (index < 0 || index >= int32_t(FList.size())) return nullptr;
  return &FList[size_t(index)];
}

bool TDrives::Save(int32_t active) const {
  TIniFile ini = LoadIni(FIniPath);
  ini.Set("CD-ROM", "nActive", std::to_string(std::max(active, 0)));
  if (ini.Get("CD-ROM", "nTransportLayer").empty()) ini.Set("CD-ROM", "nTransportLayer", "0");
  for (const TDrive& drive : FList) WriteParams(ini, drive);
  return ini.Save(FIniPath);
}

int32_t TDrives::AddImage(const std::string& path, std::string& error) {
  const std::string image = fs::absolute(path).lexically_normal().string();
  for (size_t i = 0; i < FList.size(); ++i)
    if (FList[i].IsImage && FList[i].Path == image) return int32_t(i);
  TIniFile ini = LoadIni(FIniPath);
  int listed = 0;
  while (!ini.Get("Images", "Image" + std::to_string(listed)).empty()) ++listed;
  TDrive drive;
  drive.IsImage = true;
  drive.Key = "Image" + std::to_string(listed);
  drive.Path = image;
  SetName(drive, fs::path(image).filename().string() + " (image)");
  ReadParams(ini, drive);
  ini.Set("Images", drive.Key, image);
  if (!ini.Save(FIniPath)) {
    error = "cannot write " + FIniPath;
    return -1;
  }
  FList.push_back(drive);
  return int32_t(FList.size()) - 1;
}

bool TDrives::RemoveImage(int32_t index, std::string& error) {
  if (index < 0 || index >= int32_t(FList.size()) || !FList[size_t(index)].IsImage) {
    error = "drive " + std::to_string(index) + " is no disc image";
    return false;
  }
  const auto numberOf = [](const TDrive& drive) { return std::stoi(drive.Key.substr(5)); };
  const auto keyOf = [](int number) { return "Image" + std::to_string(number); };
  const int removed = numberOf(FList[size_t(index)]);
  TIniFile ini = LoadIni(FIniPath);
  ini.Remove("Images", keyOf(removed));
  ini.RemoveSection(keyOf(removed));
  // The list ends at its first gap: the later images close it up.
  for (int number = removed + 1;; ++number) {
    const std::string listed = ini.Get("Images", keyOf(number));
    if (listed.empty()) break;
    ini.Remove("Images", keyOf(number));
    ini.Set("Images", keyOf(number - 1), listed);
    ini.RenameSection(keyOf(number), keyOf(number - 1));
  }
  if (!ini.Save(FIniPath)) {
    error = "cannot write " + FIniPath;
    return false;
  }
  FList.erase(FList.begin() + index);
  for (TDrive& drive : FList)
    if (drive.IsImage && numberOf(drive) > removed) drive.Key = keyOf(numberOf(drive) - 1);
  if (FList.empty())
    FActive = -1;
  else if (FActive > index || (FActive == index && index > 0))
    --FActive;
  return true;
}

// A relative image counts from the ini's folder; one that is not there comes
// with the program, so a user's copy of the program's ini lists it without
// recording where the program lies.
std::string TDrives::ResolveImagePath(const std::string& listed) const {
  fs::path path(listed);
  if (path.is_relative()) {
    const fs::path beside = fs::path(FIniPath).parent_path() / path;
    const fs::path program = LibraryFolder();
    std::error_code error;
    path = !fs::exists(beside, error) && !program.empty() && fs::exists(program / path, error)
               ? program / path
               : beside;
  }
  return path.lexically_normal().string();
}

void TDrives::Refresh(TDrive& drive) const {
  if (!drive.IsImage) return;
  const TIniFile ini = LoadIni(FIniPath);
  const std::string listed = ini.Get("Images", drive.Key);
  const std::string before = drive.Path;
  const bool wasNotReady = drive.Faults.NotReady;
  if (!listed.empty()) drive.Path = ResolveImagePath(listed);
  drive.Faults = ReadFaults(ini, drive.Key);
  ReadGiveUpAfter(ini, drive);
  if (drive.TrayOpen && (drive.Path != before || (wasNotReady && !drive.Faults.NotReady)))
    drive.TrayOpen = false;
}

bool TDrives::Ready(TDrive& drive) const {
  Refresh(drive);
  if (drive.IsImage && (drive.Faults.NotReady || drive.TrayOpen)) return false;
  // libcdio ends the whole process when an image path names a folder (a
  // listed path holding a NUL byte names the ini's own folder).
  std::error_code error;
  return !drive.IsImage ||
         (drive.Path.find('\0') == std::string::npos && fs::is_regular_file(drive.Path, error));
}

std::unique_ptr<TCueImage> TDrives::OpenCue(TDrive& drive) const {
  if (!Ready(drive)) return nullptr;
  auto cue = std::make_unique<TCueImage>();
  std::string error;
  return cue->Open(drive.Path, error) ? std::move(cue) : nullptr;
}

TCdio TDrives::OpenDisc(TDrive& drive) const {
  if (!Ready(drive)) return nullptr;
  TCdio cdio{drive.IsImage ? cdio_open(drive.Path.c_str(), DRIVER_UNKNOWN)
                           : cdio_open_am(drive.Path.c_str(), DRIVER_DEVICE, FAccessMode)};
  if (!cdio) return nullptr;
  const track_t count = cdio_get_num_tracks(cdio.get());
  if (count == CDIO_INVALID_TRACK || count == 0) return nullptr;
  return cdio;
}

bool IsCueSheet(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
  return extension == ".cue";
}

bool IsCueSheet(const TDrive& drive) { return drive.IsImage && IsCueSheet(drive.Path); }

}  // namespace cdrip
