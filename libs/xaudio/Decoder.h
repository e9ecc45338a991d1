// The player library's decoders: MPEG audio through libmpg123 and PCM WAV
// files, both giving 16-bit interleaved host-order samples, read from a file
// or from memory. Plain C++, one thread per decoder.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace xaudio {

// Where a decoder reads its bytes.
class TSource {
 public:
  virtual ~TSource() = default;
  // Bytes read, 0 at the end, -1 on an error.
  virtual ssize_t Read(void* buffer, size_t bytes) = 0;
  // The new offset, or -1 when it lies outside the data.
  virtual int64_t Seek(int64_t offset, int whence) = 0;
};

// Null, with code XA_ERROR_NO_SUCH_FILE or XA_ERROR_SYSTEM, when the file
// cannot be opened for reading.
std::unique_ptr<TSource> OpenFileSource(const std::string& path, int& code);
// Reads the caller's bytes, which must outlive the source.
std::unique_ptr<TSource> OpenMemorySource(const uint8_t* data, size_t size);

struct TStreamFormat {
  int Rate = 0;
  int Channels = 0;
  int Bitrate = 0;           // kbit/s
  int64_t TotalFrames = -1;  // -1 when unknown
};

class TDecoder {
 public:
  virtual ~TDecoder() = default;
  // A RIFF/WAVE stream of 8- or 16-bit PCM, else MPEG audio. Null with an
  // XA_ERROR_... code and a reason when the bytes are neither.
  static std::unique_ptr<TDecoder> Open(std::unique_ptr<TSource> source, int& code,
                                        std::string& error);

  const TStreamFormat& Format() const { return FFormat; }
  // Set when the last Read changed Format (a stream may change its rate).
  bool FormatChanged() const { return FFormatChanged; }
  // Decodes up to maxFrames frames into buffer, which holds maxFrames x
  // 2 samples. Frames decoded, 0 at the end, -1 on an error with its reason.
  virtual long Read(int16_t* buffer, size_t maxFrames, std::string& error) = 0;
  // Moves to frame; false when the stream cannot get there.
  virtual bool Seek(int64_t frame) = 0;
  // Frames delivered since the start of the stream.
  int64_t Position() const { return FPosition; }

 protected:
  TStreamFormat FFormat;
  bool FFormatChanged = false;
  int64_t FPosition = 0;
};

// Decodes a whole stream held in memory, then again from its middle; the
// frames decoded in all, or -1 when the bytes cannot be opened or decoding
// fails. The entry for fuzzing the decoders with arbitrary bytes.
int64_t DecodeBuffer(const uint8_t* data, size_t size);

}  // namespace xaudio
