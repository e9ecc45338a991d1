#include "disc/CDRIP.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "encode/LameCoder.h"
#include "libs/cdrip/DiscRules.h"
#include "platform/Files.h"

namespace {

constexpr int kWavHeaderBytes = 44;
constexpr int kSectorBytes = 2352;
constexpr int kSectorsPerSecond = 75;

void PutLE32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

void PutLE16(uint8_t* at, uint16_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}

void MakeWavHeader(uint8_t* header, TOutputFormat format, uint32_t dataSize) {
  const auto channels = uint16_t(OutputChannels(format));
  const auto rate = uint32_t(OutputSampleRate(format));
  std::memcpy(header, "RIFF", 4);
  PutLE32(header + 4, dataSize + 36);
  std::memcpy(header + 8, "WAVE", 4);
  std::memcpy(header + 12, "fmt ", 4);
  PutLE32(header + 16, 16);
  PutLE16(header + 20, 1);
  PutLE16(header + 22, channels);
  PutLE32(header + 24, rate);
  PutLE32(header + 28, channels * rate * 2);
  PutLE16(header + 32, uint16_t(channels * 2));
  PutLE16(header + 34, 16);
  std::memcpy(header + 36, "data", 4);
  PutLE32(header + 40, dataSize);
}

// Turns 16-bit stereo 44100 Hz frames into the format's channels and rate in
// place, averaging the frames (and for mono the channels) each output sample
// stands for. Returns the bytes left.
int32_t ConvertSamples(uint8_t* data, int32_t bytes, TOutputFormat format) {
  if (format == TOutputFormat::STEREO44100) return bytes;
  const int factor = 44100 / OutputSampleRate(format);
  const bool mono = OutputChannels(format) == 1;
  auto* samples = reinterpret_cast<int16_t*>(data);
  const int32_t outFrames = bytes / 4 / factor;
  for (int32_t frame = 0; frame < outFrames; ++frame) {
    int32_t left = 0, right = 0;
    for (int i = 0; i < factor; ++i) {
      left += samples[2 * (frame * factor + i)];
      right += samples[2 * (frame * factor + i) + 1];
    }
    if (mono) {
      samples[frame] = int16_t((left + right) / (2 * factor));
    } else {
      samples[2 * frame] = int16_t(left / factor);
      samples[2 * frame + 1] = int16_t(right / factor);
    }
  }
  return outFrames * (mono ? 2 : 4);
}

// The open rip's sector statuses; empty when none is open.
std::vector<uint8_t> ReadSectorStatus() {
  int32_t first = 0, count = 0;
  if (CR_GetSectorStatus(&first, nullptr, 0, &count) != CDRIP_OK || count <= 0) return {};
  std::vector<uint8_t> status(static_cast<size_t>(count));
  if (CR_GetSectorStatus(&first, status.data(), count, &count) != CDRIP_OK) return {};
  return status;
}

// One rip from CR_OpenRipper to CR_CloseRipper: the output file, the buffers
// and the encoder stream, released by Close on every path.
class TRipRun {
 public:
  TRipRun(TCDRIP& owner, TLameCoder* coder, TOutputFormat format, int32_t chunkSize)
      : FOwner(owner), FCoder(coder), FFormat(format), FChunkSize(chunkSize) {}

  void Create(const QString& fileName) {
    FFile.setFileName(fileName);
    if (!FFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
      throw platform::EFileFailure<ECDRIPError>(
          QString("Cannot create file \"%1\": %2").arg(fileName, FFile.errorString()), fileName,
          FFile.errorString());
  }

  int32_t LostSectors() const { return FLostSectors; }
  int32_t LeftOutSectors() const { return FLeftOutSectors; }
  std::vector<uint8_t>& SectorStatus() { return FSectorStatus; }

  void WriteWavHeader(int32_t sectors) {
    const int64_t byteRate = int64_t(OutputChannels(FFormat)) * OutputSampleRate(FFormat) * 2;
    uint8_t header[kWavHeaderBytes];
    MakeWavHeader(header, FFormat, uint32_t(int64_t(sectors) * byteRate / kSectorsPerSecond));
    Write(header, kWavHeaderBytes);
    FWroteHeader = true;
  }

  void StartEncoder() {
    if (FCoder->InitStream() != 0) throw ECDRIPError("Error initializing the MP3 encoder");
    FStreamOpen = true;
    FChunkBytes = int32_t(FCoder->SamplesPerChunk() * sizeof(int16_t));
    FMp3Buffer.resize(FCoder->Mp3BufferSize());
    FBlock.resize(FCoder->SamplesPerChunk());
  }

  void Run(const bool& abortFlag, QStringList& jitterList) {
    FReadBuffer = std::make_unique<uint8_t[]>(size_t(FChunkSize + FChunkBytes));
    int32_t& carried = FCarried;
    int32_t code = CDRIP_OK;
    do {
      // Events first: a stop that came before the rip opened (the library
      // forgets those) reaches abortFlag before a read that may take long.
      QCoreApplication::processEvents();
      if (abortFlag) break;
      int32_t count = 0;
      int32_t noAbort = 0;
      code = CR_RipChunk(FReadBuffer.get() + carried, &count, &noAbort);
      // Unreadable sectors (code 1) arrive as silence in their place, so the
      // file keeps the track's length. A chunk without data that does not end
      // the rip means the library no longer advances.
      if (count <= 0 && code != CDRIP_RIPPING_DONE) throw ECDRIPError("Read error");
      count = std::min(count, FChunkSize);
      if (FOwner.OnRead && count > 0) FOwner.OnRead(FReadBuffer.get() + carried, count);
      count = ConvertSamples(FReadBuffer.get() + carried, count, FFormat);
      if (FStreamOpen)
        carried = EncodeBlocks(count + carried);
      else
        Write(FReadBuffer.get(), count);
      if (code == CDRIP_ERROR || code == CDRIP_JITTER_ERROR) {
        int32_t first = 0, last = 0;
        CR_GetLastJitterErrorPosition(&first, &last);
        jitterList << QString("%1 %2").arg(first).arg(last);
      }
      if (FOwner.OnProgress) FOwner.OnProgress(&FOwner, uint16_t(CR_GetPercentCompleted()));
    } while (code != CDRIP_RIPPING_DONE);
  }

  // The closing steps, each run even when an earlier one fails; the first
  // failure is rethrown unless the rip is already unwinding from another.
  void Close(int32_t& jitterErrors, bool unwinding) {
    std::exception_ptr failure;
    if (FStreamOpen) {
      try {
        // The track's last samples (less than one block) go in as a short
        // final call; dropping them would cut the end of every track.
        if (FCarried > 0 && !unwinding) {
          std::memcpy(FBlock.data(), FReadBuffer.get(), size_t(FCarried));
          uint32_t bytes = 0;
          CheckEncoder(FCoder->EncodeSamples(FBlock.data(), uint32_t(FCarried / 2),
                                             FMp3Buffer.data(), &bytes));
          Write(FMp3Buffer.data(), int64_t(bytes));
        }
        uint32_t bytes = 0;
        CheckEncoder(FCoder->DeinitStream(FMp3Buffer.data(), &bytes));
        Write(FMp3Buffer.data(), int64_t(bytes));
      } catch (...) {
        failure = std::current_exception();
      }
    }
    jitterErrors = CR_GetNumberOfJitterErrors();
    FLostSectors = CR_GetNumberOfLostSectors();
    FLeftOutSectors = CR_GetNumberOfLeftOutSectors();
    FSectorStatus = ReadSectorStatus();
    CR_CloseRipper();
    FReadBuffer.reset();
    if (FWroteHeader) FixWavSizes();
    const QString fileName = FFile.fileName();
    FFile.close();
    if (FStreamOpen) {
      if (!failure && FCoder->WriteInfoTag(fileName) != 0)
        failure = std::make_exception_ptr(ECDRIPError("Write error"));
      FCoder->CloseStream();
    }
    if (failure && !unwinding) std::rethrow_exception(failure);
  }

 private:
  // An encoder that fails would silently drop the audio of the block.
  static void CheckEncoder(uint32_t result) {
    if (result != 0) throw ECDRIPError(QString("MP3 encoder error %1").arg(result));
  }

  void Write(const uint8_t* data, int64_t bytes) {
    if (bytes > 0 && FOwner.OnAudio) {
      FOwner.OnAudio(data, int32_t(bytes));
      return;
    }
    if (bytes > 0 && FFile.write(reinterpret_cast<const char*>(data), bytes) != bytes) {
      const int code = errno;
      throw platform::EFileFailure<ECDRIPError>("Write error", FFile.fileName(),
                                                platform::WriteFailureReason(FFile, code));
    }
  }

  // Encodes every whole block of the `total` bytes at the buffer's start and
  // moves the rest there; returns the bytes carried to the next chunk.
  int32_t EncodeBlocks(int32_t total) {
    uint8_t* buffer = FReadBuffer.get();
    int32_t done = 0;
    for (; total - done >= FChunkBytes; done += FChunkBytes) {
      std::memcpy(FBlock.data(), buffer + done, size_t(FChunkBytes));
      uint32_t bytes = 0;
      CheckEncoder(FCoder->EncodeChunk(FBlock.data(), FMp3Buffer.data(), &bytes));
      Write(FMp3Buffer.data(), int64_t(bytes));
    }
    std::memmove(buffer, buffer + done, size_t(total - done));
    return total - done;
  }

  // The header was sized from the range; an aborted or short rip holds fewer
  // samples, so the sizes are set to what the file holds.
  void FixWavSizes() {
    const int64_t dataSize = FFile.size() - kWavHeaderBytes;
    if (dataSize < 0) return;
    uint8_t field[4];
    PutLE32(field, uint32_t(dataSize + 36));
    if (FFile.seek(4)) FFile.write(reinterpret_cast<const char*>(field), 4);
    PutLE32(field, uint32_t(dataSize));
    if (FFile.seek(40)) FFile.write(reinterpret_cast<const char*>(field), 4);
  }

  TCDRIP& FOwner;
  TLameCoder* FCoder;
  TOutputFormat FFormat;
  int32_t FChunkSize;
  int32_t FChunkBytes = 0;
  int32_t FCarried = 0;  // bytes of the next block waiting at the read buffer's start
  int32_t FLostSectors = 0;
  int32_t FLeftOutSectors = 0;
  std::vector<uint8_t> FSectorStatus;
  QFile FFile;
  bool FWroteHeader = false;
  bool FStreamOpen = false;
  std::unique_ptr<uint8_t[]> FReadBuffer;
  std::vector<uint8_t> FMp3Buffer;
  std::vector<int16_t> FBlock;  // one encoder block, aligned for 16-bit samples
};

void SaveJitterReport(const QString& fileName, const QStringList& lines) {
  QFile file(platform::ChangeFileExt(fileName, "jitt"));
  const QByteArray text = (lines.join("\r\n") + "\r\n").toUtf8();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() ||
      !file.flush())
    throw ECDRIPError("Write error");
}

}  // namespace

TCDRIP::TCDRIP() = default;

TCDRIP::~TCDRIP() = default;

void TCDRIP::SetCoder(TLameCoder* value) {
  FCoder = value;
  ApplyFormatToCoder();
}

void TCDRIP::SetOutputFormat(TOutputFormat value) {
  if (value == FOutputFormat) return;
  FOutputFormat = value;
  ApplyFormatToCoder();
}

void TCDRIP::ApplyFormatToCoder() {
  if (!FCoder) return;
  FCoder->SetMode(OutputChannels(FOutputFormat) == 2 ? TLameMode::STEREO : TLameMode::MONO);
  FCoder->SetSampleRate(uint32_t(OutputSampleRate(FOutputFormat)));
}

void TCDRIP::SetCDRomNum(int32_t value) {
  if (value == FCDRomNum) return;
  try {
    if (CR_SetActiveCDROM(value) == CDRIP_ERROR) return;
    if (!ReadParameters()) throw ECDRIPError("Get CD-ROM Parameters failure");
    ReadToc();
  } catch (...) {
    throw ECDRIPError("Initialization failure during SetActiveCD. ");
  }
}

QString TCDRIP::CDRomName() const {
  return QString::fromUtf8(FName, qsizetype(strnlen(FName, sizeof FName)));
}

QStringList TCDRIP::DriveNames() const {
  QStringList names;
  for (int32_t i = 0; i < CR_GetNumCDROM(); ++i) {
    char name[sizeof CdripDriveParams::driveName] = "";
    CR_GetDriveName(i, name, sizeof name);
    names << QString::fromUtf8(name);
  }
  return names;
}

bool TCDRIP::RemoveImage(int32_t index, QString& error) {
  char message[1024] = "";
  if (CR_RemoveImage(index, message, sizeof message) != CDRIP_OK) {
    error = QString::fromUtf8(message);
    return false;
  }
  FCDRomNum = -1;
  return true;
}

bool TCDRIP::ReadParameters() {
  CdripDriveParams shared{};
  if (CR_GetCDROMParameters(&shared) == CDRIP_ERROR) return false;
  FCDRomNum = CR_GetActiveCDROM();
  std::memcpy(FName, shared.driveName, sizeof FName);
  FParams = shared;
  return true;
}

bool TCDRIP::ApplyParameters() {
  const CdripDriveParams shared = FParams;
  return CR_SetCDROMParameters(&shared) != CDRIP_ERROR;
}

bool TCDRIP::SaveSettings() { return CR_SaveSettings() != CDRIP_ERROR; }

int32_t TCDRIP::ReadToc() {
  int32_t count = CR_ReadToc() == CDRIP_ERROR ? 0 : CR_GetNumTocEntries();
  std::vector<CdripTocEntry> toc;
  for (int32_t i = 0; i <= count; ++i) toc.push_back(CR_GetTocEntry(i));
  // Sizes are computed from these values; a TOC no disc can have is none.
  if (!cdrip::IsValidToc(toc.data(), toc.size())) count = 0;
  FTrackList.clear();
  for (int32_t i = 0; i < count; ++i) {
    const CdripTocEntry& entry = toc[size_t(i)];
    const CdripTocEntry& next = toc[size_t(i) + 1];
    TTrack track;
    track.TrackNum = i + 1;
    track.StartSector = entry.startSector;
    // The disc ID takes the TOC's values; the audio of a track before a data
    // session ends earlier, and the lengths and the rip go by the audio.
    track.EndSector = next.startSector;
    const bool nextIsData = i + 1 < count && next.flags != cdrip::kAudioTrackFlag;
    track.AudioEndSector = cdrip::AudioTrackEnd(entry.startSector, next.startSector, nextIsData);
    track.StartMin = track.StartSector / 4500;
    track.StartSec = (track.StartSector % 4500) / 75;
    track.StartFrame = track.StartSector % 75;
    const int32_t length = track.AudioEndSector - track.StartSector;
    track.LengthMin = length / 4500;
    track.LengthSec = (length % 4500) / 75;
    track.LengthFrame = length % 75;
    track.LengthSeconds = length / 75;
    track.LengthBytes = length * kSectorBytes;
    track.TrackType = entry.flags == cdrip::kAudioTrackFlag ? "Audio" : "Data";
    FTrackList.push_back({QString::asprintf("Track%02d", i + 1), track});
  }
  FTrackCount = count;
  return count;
}

bool TCDRIP::IsUnitReady() { return (CR_IsUnitReady() & 0xff) == 1; }

bool TCDRIP::IsAudioPlaying() { return CR_IsAudioPlaying() != 0; }

int32_t TCDRIP::AudioStatus() { return CR_IsAudioPlaying(); }

void TCDRIP::StopPlay() { CR_StopPlayTrack(); }

void TCDRIP::PauseResume() { CR_PauseCD((AudioStatus() & 0xff) == 0x11 ? 1 : 0); }

void TCDRIP::GetPlayPosition(int32_t& Relative, int32_t& Absolute) {
  CR_GetPlayPosition(&Relative, &Absolute);
}

void TCDRIP::PlayTrack(int32_t TrackNum) {
  CR_PlayTrack(TrackNum);
  FCurrentTrack = TrackNum;
}

void TCDRIP::PlaySection(int32_t StartSector, int32_t EndSector) {
  CR_PlaySection(StartSector, EndSector);
}

bool TCDRIP::PrevTrack() {
  PlayTrack(std::max(FCurrentTrack - 1, 1));
  return true;
}

bool TCDRIP::NextTrack() {
  // The new track plays at once; a stop first would spin the disc down.
  PlayTrack(std::min(FCurrentTrack + 1, FTrackCount));
  return true;
}

bool TCDRIP::EjectTray(bool Open) { return CR_EjectCD(Open ? 1 : 0) != 0; }

bool TCDRIP::RipTrack(int32_t TrackNum, const QString& FileName) {
  FCreatedFile.clear();
  FLostSectors = 0;
  FLeftOutSectors = 0;
  FSectorStatus.clear();
  if (OnBeginTrack) OnBeginTrack(this, uint16_t(TrackNum));
  if (TrackNum < 1 || TrackNum > int32_t(FTrackList.size()))
    throw ECDRIPError("Invalid track number");
  const TTrack& track = FTrackList[size_t(TrackNum - 1)].Track;
  if (track.TrackType != "Audio")
    throw ECDRIPError(QString("Track %1 is a data track, not audio").arg(TrackNum));
  const bool ripped = RipSection(track.StartSector, track.AudioEndSector, FileName);
  if (OnEndTrack) OnEndTrack(this, uint16_t(TrackNum));
  return ripped;
}

bool TCDRIP::RipSection(int32_t StartSector, int32_t EndSector, const QString& FileName) {
  // Events run inside a rip; a second one would take over the library's ripper.
  if (FRipping) throw ECDRIPError("A rip is already running");
  FCreatedFile.clear();
  FLostSectors = 0;
  FLeftOutSectors = 0;
  FSectorStatus.clear();
  if (!ApplyParameters()) throw ECDRIPError("Invalid CD-ROM parameters");
  if (CR_SetReadOffset(FReadOffset) != CDRIP_OK) throw ECDRIPError("Invalid read offset");
  FAbort = false;
  FJitterList.clear();
  // Without an encoder the samples would land raw in a file named .mp3.
  if (FEncode && !FCoder) throw ECDRIPError("No MP3 encoder assigned");

  int32_t chunkSize = 0;
  if (CR_OpenRipper(&chunkSize, StartSector, EndSector) == CDRIP_ERROR) return false;
  if (chunkSize <= 0) {
    CR_CloseRipper();
    throw ECDRIPError("Read error");
  }
  FRipping = true;
  const auto ripping = qScopeGuard([this] { FRipping = false; });

  // An MP3 keeps a name that already ends in .mp3 in any letter case.
  const bool isMp3Name = FileName.endsWith(".mp3", Qt::CaseInsensitive);
  const QString fileName =
      FEncode && !isMp3Name ? platform::ChangeFileExt(FileName, ".mp3") : FileName;
  const bool toFile = !OnAudio;
  TRipRun run(*this, FEncode && toFile ? FCoder : nullptr, FOutputFormat, chunkSize);
  try {
    if (toFile) {
      run.Create(fileName);
      FCreatedFile = fileName;
    }
    if (toFile && FWriteWAV && !FEncode) run.WriteWavHeader(EndSector - StartSector);
    if (toFile && FEncode) run.StartEncoder();
    run.Run(FAbort, FJitterList);
  } catch (...) {
    run.Close(FJitterErrors, true);
    FLostSectors = run.LostSectors();
    FLeftOutSectors = run.LeftOutSectors();
    FSectorStatus = std::move(run.SectorStatus());
    throw;
  }
  run.Close(FJitterErrors, false);
  FLostSectors = run.LostSectors();
  FLeftOutSectors = run.LeftOutSectors();
  FSectorStatus = std::move(run.SectorStatus());
  if (!FJitterList.isEmpty()) SaveJitterReport(fileName, FJitterList);
  return true;
}

QString TCDRIP::CacheHandling() const {
  char text[256];
  CR_GetCacheHandling(text, sizeof text);
  return QString::fromUtf8(text);
}

std::vector<uint8_t> TCDRIP::SectorStatus() const {
  return FRipping ? ReadSectorStatus() : FSectorStatus;
}
