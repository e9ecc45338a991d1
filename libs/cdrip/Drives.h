// TDrives: the drives the CD-reading library lists, the physical drives
// libcdio finds followed by the disc images listed in cdrip.ini, with each
// drive's parameter record and an image drive's injected faults, read from
// and saved to that file. Owned by the library; the list and the drives'
// parameters and holders are guarded by the library's lock, the rest of a
// drive is its holder's.
#pragma once

#include <cdio/cdio.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "libs/cdrip/CueImage.h"
#include "libs/cdrip/ImageFaults.h"
#include "libs/cdrip/ReadHistory.h"
#include "libs/cdrip/cdrip.h"

namespace cdrip {

struct TCdioDeleter {
  void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};
using TCdio = std::unique_ptr<CdIo_t, TCdioDeleter>;

struct TDrive {
  bool IsImage = false;
  std::string Key;   // its cdrip.ini section
  std::string Path;  // device node or image file
  CdripDriveParams Params{};
  int32_t GiveUpAfter = 30;  // seconds without one sector read before a rip gives up its rest
  TFaults Faults;
  // The drive an image stands in for; kept from rip to rip.
  std::shared_ptr<TSimulatedDrive> Simulated = std::make_shared<TSimulatedDrive>();
  std::shared_ptr<TReadHistory> History = std::make_shared<TReadHistory>();
  // What libcdio-paranoia asks a cue image's TOC of (TocStandIn).
  std::shared_ptr<CdIo_t> StandIn;
  std::vector<CdripTocEntry> StandInToc;
  std::map<int32_t, uint32_t> ChangingReads;  // hand-overs of each changing sector
  bool TrayOpen = false;
  // The caller that uses the drive now: during one call, or from its
  // CR_OpenRipper to its CR_CloseRipper. Null when free.
  const void* Holder = nullptr;
  // Set to stop the rip that reads the drive; cleared as a rip opens.
  std::shared_ptr<std::atomic<bool>> Stop = std::make_shared<std::atomic<bool>>(false);
};

class TDrives {
 public:
  // Lists the drives of the ini at `iniPath` (absolute) with their parameters
  // and makes the one the ini names active.
  void Init(const std::string& iniPath);
  const std::string& IniPath() const { return FIniPath; }

  // Drives keep their place when one is added: a caller may be using one.
  std::deque<TDrive>& List() { return FList; }
  // Drive `index`, null when there is none.
  TDrive* At(int32_t index);
  // The drive the ini names active: where a new caller starts.
  int32_t ActiveIndex() const { return FActive; }

  // Writes `active` as the active index and every drive's parameters; false
  // when the ini cannot be written.
  bool Save(int32_t active) const;
  // Lists the image at `path`, which must open, as the last drive and in the
  // ini. Its drive index (an image listed already keeps its own), or -1 with
  // the reason in `error`.
  int32_t AddImage(const std::string& path, std::string& error);
  // Takes image drive `index` out of the list and the ini, the later images
  // moving down one number there (CR_RemoveImage); the active index follows
  // its drive, or goes to the one before a removed active drive. False, with
  // the reason in `error`, for no image drive or an ini that cannot be written.
  bool RemoveImage(int32_t index, std::string& error);

  // Takes an image drive's current path and faults from the ini.
  void Refresh(TDrive& drive) const;
  // False when an image drive holds no disc now.
  bool Ready(TDrive& drive) const;
  // The cue image in the drive, or null when there is none.
  std::unique_ptr<TCueImage> OpenCue(TDrive& drive) const;
  // A fresh handle on the disc in the drive, or null when there is none.
  TCdio OpenDisc(TDrive& drive) const;

 private:
  std::string ResolveImagePath(const std::string& listed) const;

  std::string FIniPath;
  std::deque<TDrive> FList;
  int32_t FActive = -1;
  const char* FAccessMode = "IOCTL";  // libcdio's access mode for physical drives
};

bool IsCueSheet(const std::string& path);
bool IsCueSheet(const TDrive& drive);

}  // namespace cdrip
