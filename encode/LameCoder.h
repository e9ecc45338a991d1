// TLameCoder: the MP3 encoder component over the lame_enc library. It owns at
// most one encoder stream and its output buffer, and in batch mode the files
// in hand. The ripping component encodes through its stream calls while it
// reads the disc; the conversion session encodes WAV files with EncodeFiles.
// An instance belongs to one thread at a time; instances share no state, so
// encoders on several threads run side by side. StopEncoding may come from
// any thread. EncodeFiles runs pending events after every chunk when it runs
// on the application's thread.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "encode/Lame_dll.h"
#include "platform/Exception.h"

// Raised by EncodeFiles with a fixed message.
class ELameError : public Exception {
 public:
  using Exception::Exception;
};

// Ordinals equal the library's BE_MP3_MODE_ codes.
enum class TLameMode : int32_t { STEREO, JSTEREO, DUALCHANNEL, MONO };

// The encoder library's version record, read once at construction.
class TLameVersion {
 public:
  TLameVersion();
  // Copies the four version bytes.
  void Assign(const TLameVersion& source);

  uint8_t DLLMajorVersion() const { return FVersion.byDLLMajorVersion; }
  uint8_t DLLMinorVersion() const { return FVersion.byDLLMinorVersion; }
  uint8_t MajorVersion() const { return FVersion.byMajorVersion; }
  uint8_t MinorVersion() const { return FVersion.byMinorVersion; }

 private:
  BE_VERSION FVersion{};
};

class TLameCoder {
 public:
  using TNotifyEvent = std::function<void(TLameCoder* Sender)>;
  using TProcessFileEvent =
      std::function<void(TLameCoder* Sender, uint16_t Num, const QString& FileName)>;
  using TProgressEvent = std::function<void(TLameCoder* Sender, uint16_t PercentComplete)>;

  TLameCoder();
  ~TLameCoder();  // closes a stream left open
  TLameCoder(const TLameCoder&) = delete;
  TLameCoder& operator=(const TLameCoder&) = delete;

  // Copies the encoder settings, not the file lists, events or stream state.
  void Assign(const TLameCoder& source);

  uint32_t SampleRate() const { return FSampleRate; }
  void SetSampleRate(uint32_t value) { FSampleRate = value; }
  // Constant bit rate, or the minimum under VBR, kbit/s.
  uint32_t Bitrate() const { return FBitrate; }
  void SetBitrate(uint32_t value) { FBitrate = value; }
  uint32_t MaxBitrate() const { return FMaxBitrate; }
  void SetMaxBitrate(uint32_t value) { FMaxBitrate = value; }
  MPEG_QUALITY Quality() const { return FQuality; }
  void SetQuality(MPEG_QUALITY value) { FQuality = value; }
  bool Private() const { return FPrivate; }
  void SetPrivate(bool value) { FPrivate = value; }
  bool CRC() const { return FCRC; }
  void SetCRC(bool value) { FCRC = value; }
  TLameMode Mode() const { return TLameMode(FMode); }
  void SetMode(TLameMode value) { FMode = int32_t(value); }
  bool Copyright() const { return FCopyright; }
  void SetCopyright(bool value) { FCopyright = value; }
  bool Original() const { return FOriginal; }
  void SetOriginal(bool value) { FOriginal = value; }
  bool WriteVBRHeader() const { return FWriteVBRHeader; }
  void SetWriteVBRHeader(bool value) { FWriteVBRHeader = value; }
  bool EnableVBR() const { return FEnableVBR; }
  // Also sets WriteVBRHeader to the same value.
  void SetEnableVBR(bool value);
  // 0 (highest) to 9 (lowest).
  int32_t VBRQuality() const { return FVBRQuality; }
  void SetVBRQuality(int32_t value) { FVBRQuality = value; }

  const QStringList& InputFiles() const { return FInputFiles; }
  // Also refills OutputFiles: each input path with its extension replaced by
  // DefaultExt (appended when the file name has no dot).
  void SetInputFiles(const QStringList& value);
  const QStringList& OutputFiles() const { return FOutputFiles; }
  void SetOutputFiles(const QStringList& value) { FOutputFiles = value; }
  const QString& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const QString& value) { FDefaultExt = value; }
  const TLameVersion& LameVersion() const { return FLameVersion; }

  TNotifyEvent OnBeginProcess;
  TProcessFileEvent OnBeginFile;  // with the input path
  TProcessFileEvent OnEndFile;    // with the output path, after a completed file
  TNotifyEvent OnEndProcess;
  TProgressEvent OnProgress;  // after each chunk of the current file

  // Stream mode. A caller runs InitStream, EncodeChunk any number of times,
  // DeinitStream once, WriteInfoTag, CloseStream; results are the library's
  // BE_ERR codes, 0 on success.

  // Opens a stream with the current settings and allocates Mp3Buffer. On a
  // non-zero result no stream is open: SamplesPerChunk and Mp3BufferSize are
  // 0 and EncodeChunk answers BE_ERR_INVALID_HANDLE.
  uint32_t InitStream();
  // Why InitStream fails with these settings, in words for the user.
  QString InitFailureReason(uint32_t result) const;
  // 16-bit values one EncodeChunk call takes, and the size an output buffer
  // needs for EncodeChunk and DeinitStream. Valid after a successful InitStream.
  uint32_t SamplesPerChunk() const { return FSamplesPerChunk; }
  uint32_t Mp3BufferSize() const { return FMp3BufferSize; }
  // Encodes exactly SamplesPerChunk values; *outputBytes receives the count of
  // MP3 bytes written to output (Mp3BufferSize bytes).
  uint32_t EncodeChunk(const int16_t* samples, uint8_t* output, uint32_t* outputBytes);
  // Encodes fewer values than SamplesPerChunk: the end of a stream, once,
  // before DeinitStream.
  uint32_t EncodeSamples(const int16_t* samples, uint32_t count, uint8_t* output,
                         uint32_t* outputBytes);
  // Flushes the last MP3 bytes into output (Mp3BufferSize bytes).
  uint32_t DeinitStream(uint8_t* output, uint32_t* outputBytes);
  // Requires: DeinitStream ran and every MP3 byte of the stream is in the file
  // (flushed to disk). Replaces the placeholder first frame with the real
  // Xing/Info frame so players see the true length and trim the encoder's
  // delay and padding; a VBR stream without WriteVBRHeader has none.
  uint32_t WriteInfoTag(const QString& fileName);
  // Frees Mp3Buffer and closes the stream; harmless when none is open.
  void CloseStream();

  // Batch mode: encodes InputFiles[i] (a 44-byte-header WAV, or raw 16-bit
  // PCM) into OutputFiles[i], firing the events. Failures raise ELameError
  // ("Read Error", "Write Error", "Write error", "beEncodeChunk failed <code>",
  // "beInitStream failed <code>", or the file's open error); later files are
  // not attempted. StopEncoding ends it after the chunk in hand, silently.
  void EncodeFiles();
  void StopEncoding() { FAbort = true; }

 private:
  void EncodeFile(int index);

  uint32_t FSampleRate = 44100;
  uint32_t FBitrate = 128;
  uint32_t FMaxBitrate = 320;
  MPEG_QUALITY FQuality = MPEG_QUALITY::NORMAL_QUALITY;
  bool FPrivate = false;
  bool FCRC = true;
  int32_t FMode = BE_MP3_MODE_STEREO;
  bool FCopyright = false;
  bool FOriginal = false;
  bool FWriteVBRHeader = false;
  bool FEnableVBR = false;
  int32_t FVBRQuality = 4;
  QStringList FInputFiles;
  QStringList FOutputFiles;
  QString FDefaultExt = ".mp3";
  TLameVersion FLameVersion;

  BE_CONFIG FConfig{};
  HBE_STREAM FStream = 0;
  uint32_t FSamplesPerChunk = 0;
  uint32_t FMp3BufferSize = 0;
  std::vector<uint8_t> FMp3Buffer;
  std::atomic<bool> FAbort = false;
};
