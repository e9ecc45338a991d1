// TCDRIP: the one object through which the program touches the drive. It
// selects the active drive, keeps its parameter record, reads the table of
// contents into TTrack records, drives playback and the tray, and rips a
// sector range to raw PCM, a WAV file or (through a TLameCoder it does not
// own) an MP3 file. Used on one thread, whose active drive it selects (the
// library keeps one per thread); a rip lets pending events run after every
// chunk, so AbortRip can be called from inside it.
#pragma once

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "disc/CdRip_dll.h"
#include "platform/Exception.h"

class TLameCoder;
class TCDRIP;

class ECDRIPError : public Exception {
 public:
  using Exception::Exception;
};

// One track of the table of contents; sectors are absolute, the end exclusive.
struct TTrack {
  int32_t TrackNum = 0;
  int32_t StartSector = 0;
  int32_t EndSector = 0;       // as the TOC states it: the next track's start
  int32_t AudioEndSector = 0;  // where the audio ends; the lengths and rips go by it
  int32_t StartMin = 0;
  int32_t StartSec = 0;
  int32_t StartFrame = 0;
  int32_t LengthMin = 0;
  int32_t LengthSec = 0;
  int32_t LengthFrame = 0;
  int32_t LengthSeconds = 0;
  int32_t LengthBytes = 0;
  QString TrackType;  // "Audio" or "Data"
};

// An item of TCDRIP::TrackList: its text ("Track01") and the track it owns.
struct TTrackListItem {
  QString Text;
  TTrack Track;
};

using TProcessTrackEvent = std::function<void(TCDRIP* Sender, uint16_t TrackNum)>;
using TProgressEvent = std::function<void(TCDRIP* Sender, uint16_t PercentComplete)>;

class TCDRIP {
 public:
  TCDRIP();
  ~TCDRIP();
  TCDRIP(const TCDRIP&) = delete;
  TCDRIP& operator=(const TCDRIP&) = delete;

  // Properties.
  bool Init() const { return FInit; }
  void SetInit(bool value) { FInit = value; }
  QString InitFile() const { return FInitFile; }
  void SetInitFile(const QString& value) { FInitFile = value; }
  QString Version() const { return FVersion; }
  void SetVersion(const QString& value) { FVersion = value; }
  TLameCoder* Coder() const { return FCoder; }
  // Stores the reference and gives the coder the channel mode and sample rate
  // of OutputFormat.
  void SetCoder(TLameCoder* value);
  int32_t CDRomNum() const { return FCDRomNum; }
  // Selects drive `value` (nothing when it is already active or the library
  // refuses it), then reads its parameters and TOC; CDRomNum becomes the
  // index the library reports. Throws ECDRIPError when that fails.
  void SetCDRomNum(int32_t value);
  QString CDRomName() const;
  // The name of every drive the library lists, read without selecting one.
  QStringList DriveNames() const;
  bool IsImageDrive(int32_t index) const { return CR_IsImageDrive(index) == 1; }
  // Takes image drive `index` out of the library's list and its cdrip.ini
  // (CR_RemoveImage); false, with the library's reason in `error`, when it
  // refuses. The next SetCDRomNum selects and reads its drive afresh, as the
  // active index may now name another drive.
  bool RemoveImage(int32_t index, QString& error);
  TOutputFormat OutputFormat() const { return FOutputFormat; }
  void SetOutputFormat(TOutputFormat value);
  bool Encode() const { return FEncode; }
  void SetEncode(bool value) { FEncode = value; }
  bool WriteWAV() const { return FWriteWAV; }
  void SetWriteWAV(bool value) { FWriteWAV = value; }
  // Samples every rip's audio is taken later on the disc (CR_SetReadOffset).
  int32_t ReadOffset() const { return FReadOffset; }
  void SetReadOffset(int32_t value) { FReadOffset = value; }

  TProcessTrackEvent OnBeginTrack;
  TProcessTrackEvent OnEndTrack;
  TProgressEvent OnProgress;
  // When assigned, a rip hands the samples of every chunk to it, in order,
  // instead of writing a file (Encode and WriteWAV are not used then); only a
  // jitter report is still written beside FileName. What it throws fails the
  // rip like a write error.
  std::function<void(const uint8_t* Data, int32_t Bytes)> OnAudio;
  // When assigned, sees the disc's audio of every chunk as read, before any
  // conversion or encoding (for checksums); what it throws fails the rip.
  std::function<void(const uint8_t* Data, int32_t Bytes)> OnRead;

  // State read by the windows, the session and the disc information.
  const std::vector<TTrackListItem>& TrackList() const { return FTrackList; }
  int32_t TrackCount() const { return FTrackCount; }
  int32_t CurrentTrack() const { return FCurrentTrack; }
  CdripDriveParams& Params() { return FParams; }
  const CdripDriveParams& Params() const { return FParams; }
  int32_t JitterErrors() const { return FJitterErrors; }
  const QStringList& JitterList() const { return FJitterList; }
  // Sectors of the last rip that could not be read and are silence.
  int32_t LostSectors() const { return FLostSectors; }
  // Sectors of the last rip's range that the drive's start and end offsets
  // left out, holding audio (or not read to prove they hold none).
  int32_t LeftOutSectors() const { return FLeftOutSectors; }
  // What the running rip, or else the last one, made of each sector of its
  // range (CDRIP_SECTOR_ codes, one byte a sector).
  std::vector<uint8_t> SectorStatus() const;
  // How a rip on the drive keeps its cache from answering a re-read, in
  // words for the rip log.
  QString CacheHandling() const;
  // The file the last rip created (truncated), empty when it touched none.
  const QString& CreatedFile() const { return FCreatedFile; }

  // The pregap of track TrackNum (from 1) in sectors: for track 1 every
  // sector before it; 0 when the drive cannot tell.
  int32_t TrackPregap(int32_t TrackNum) const { return std::max(CR_GetTrackPregap(TrackNum), 0); }

  bool ReadParameters();
  // Hands Params to the library; false when it refuses the record.
  bool ApplyParameters();
  // Writes the drives' parameters to cdrip.ini; false when it cannot be written.
  bool SaveSettings();
  int32_t ReadToc();
  bool IsUnitReady();
  bool IsAudioPlaying();
  int32_t AudioStatus();
  void StopPlay();
  void PauseResume();
  void GetPlayPosition(int32_t& Relative, int32_t& Absolute);
  void PlayTrack(int32_t TrackNum);
  void PlaySection(int32_t StartSector, int32_t EndSector);
  bool PrevTrack();
  bool NextTrack();
  bool EjectTray(bool Open);

  // Rips track TrackNum (from 1) of TrackList between OnBeginTrack and
  // OnEndTrack; as RipSection. A data track throws ECDRIPError at once.
  bool RipTrack(int32_t TrackNum, const QString& FileName);
  // Rips sectors [StartSector, EndSector) into FileName (".mp3" when Encode).
  // Returns false, without touching any file, when the library refuses the
  // range. Throws ECDRIPError on invalid parameters, an encoder that cannot
  // start, a file that cannot be created, a short write, or a library that
  // stops delivering audio; the partial file then stays. Unreadable sectors
  // are silence in the file; LostSectors counts them and JitterList names them.
  bool RipSection(int32_t StartSector, int32_t EndSector, const QString& FileName);
  // The running rip stops inside its current chunk; rips of other drives
  // (on other threads) go on.
  void AbortRip() {
    FAbort = true;
    CR_AbortDriveRip(FCDRomNum);
  }

 private:
  void ApplyFormatToCoder();

  bool FInit = false;
  QString FInitFile = ".\\cdrip.ini";
  QString FVersion = "115";
  TLameCoder* FCoder = nullptr;
  int32_t FCDRomNum = -1;
  TOutputFormat FOutputFormat = TOutputFormat::STEREO44100;
  bool FEncode = false;
  bool FWriteWAV = false;
  int32_t FReadOffset = 0;

  std::vector<TTrackListItem> FTrackList;
  int32_t FTrackCount = 0;
  int32_t FCurrentTrack = 0;
  CdripDriveParams FParams{};
  char FName[256] = "UNKNOWN";
  int32_t FJitterErrors = 0;
  QStringList FJitterList;
  int32_t FLostSectors = 0;
  int32_t FLeftOutSectors = 0;
  std::vector<uint8_t> FSectorStatus;  // of the last rip, once it closed
  QString FCreatedFile;
  bool FAbort = false;
  bool FRipping = false;
};
