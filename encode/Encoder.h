// TEncoder: one output format behind one interface. An encoder takes the
// track's CD audio in frames and finishes a file; the session, the encoder
// pool, the temporary-WAV path and normalisation know only this interface.
// One unit per format (Mp3Encoder, FlacEncoder, OpusEncoder, WavEncoder);
// MakeEncoder picks the unit by the format table (FileFormats). An encoder
// is created on any thread and then used by one thread at a time.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "platform/Exception.h"

class QFile;
class TLameCoder;

// Raised by every encoder with a fixed message naming what failed.
class EEncoderError : public Exception {
 public:
  using Exception::Exception;
};

// Frames of CD audio: interleaved 16-bit stereo at 44 100 Hz, host order.
inline constexpr int kCdChannels = 2;
inline constexpr int kCdSampleRate = 44100;
inline constexpr int kCdFrameBytes = 4;

class TEncoder {
 public:
  virtual ~TEncoder() = default;
  // Starts the stream into `output`, which the caller opened for writing,
  // empty, and keeps open until End returns. `expectedFrames` is the track's
  // length (0 when unknown): headers that index the file are sized by it.
  virtual void Begin(QFile& output, int64_t expectedFrames) = 0;
  // Encodes `count` frames; writes what is ready.
  virtual void Write(const int16_t* frames, size_t count) = 0;
  // Flushes the stream, completes the headers the end makes known and closes
  // the output. The file is whole when End returns without throwing.
  virtual void End() = 0;
};

// The settings of every format, copied from the configuration on the
// user-interface thread so that workers never read it.
struct TEncoderSettings {
  int32_t Format = 1;  // the OutputFormat setting: a row of the format table
  int32_t FlacLevel = 5;
  int32_t OpusBitRate = 160;  // kbit/s
};

// The encoder of the settings' format; MP3 copies the LAME settings of `mp3`.
std::unique_ptr<TEncoder> MakeEncoder(const TEncoderSettings& settings, const TLameCoder& mp3);

// Writes `bytes` to the file or throws EEncoderError naming the file and the
// system's reason (a full disk shows here when the file is unbuffered).
void WriteOutput(QFile& output, const void* data, int64_t bytes);
// Closes the file and throws EEncoderError when a write was lost on the way.
void CloseOutput(QFile& output);

// The output as a C library's write callback reaches it. The library learns
// only that a write failed; the failure itself is kept here and the encoder
// throws it once the library call returns. Writes are refused once detached
// (an encoder's destructor may still run the library's finish).
class TCallbackOutput {
 public:
  void Attach(QFile& output) { FOutput = &output; }
  void Detach() { FOutput = nullptr; }
  QFile* File() const { return FOutput; }
  // False when the write failed now or before, or the output is detached.
  bool Write(const void* data, int64_t bytes) noexcept;
  bool Failed() const { return bool(FError); }
  // Throws the failure kept, if any.
  void RethrowFailure() const;

 private:
  QFile* FOutput = nullptr;
  std::exception_ptr FError;
};
