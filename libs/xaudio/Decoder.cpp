#include "libs/xaudio/Decoder.h"

#include <fcntl.h>
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "libs/xaudio/xaudio.h"

namespace xaudio {

namespace {

class TFileSource : public TSource {
 public:
  explicit TFileSource(int fd) : FFd(fd) {}
  ~TFileSource() override { close(FFd); }
  ssize_t Read(void* buffer, size_t bytes) override {
    for (;;) {
      const ssize_t got = read(FFd, buffer, bytes);
      if (got >= 0 || errno != EINTR) return got;
    }
  }
  int64_t Seek(int64_t offset, int whence) override { return lseek(FFd, off_t(offset), whence); }

 private:
  int FFd;
};

class TMemorySource : public TSource {
 public:
  TMemorySource(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  ssize_t Read(void* buffer, size_t bytes) override {
    const size_t count = std::min(bytes, FSize - FAt);
    if (count) std::memcpy(buffer, FData + FAt, count);
    FAt += count;
    return ssize_t(count);
  }
  int64_t Seek(int64_t offset, int whence) override {
    const int64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? int64_t(FAt)
                                              : int64_t(FSize);
    if (offset > int64_t(FSize) - base || base + offset < 0) return -1;
    FAt = size_t(base + offset);
    return int64_t(FAt);
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FAt = 0;
};

// Reads exactly `bytes`; false at a short read.
bool ReadAll(TSource& source, void* buffer, size_t bytes) {
  auto* at = static_cast<uint8_t*>(buffer);
  while (bytes > 0) {
    const ssize_t got = source.Read(at, bytes);
    if (got <= 0) return false;
    at += got;
    bytes -= size_t(got);
  }
  return true;
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// PCM WAV: the chunks are walked once at opening; the data chunk is cut to
// what the file holds.
class TWaveDecoder : public TDecoder {
 public:
  static std::unique_ptr<TDecoder> Open(std::unique_ptr<TSource> source, int& code,
                                        std::string& error) {
    auto decoder = std::unique_ptr<TWaveDecoder>(new TWaveDecoder(std::move(source)));
    if (!decoder->ReadHeader(error)) {
      code = XA_ERROR_INVALID_FORMAT;
      return nullptr;
    }
    return decoder;
  }

  long Read(int16_t* buffer, size_t maxFrames, std::string& error) override {
    const int64_t left = FDataFrames - FPosition;
    const size_t frames = size_t(std::min<int64_t>(left, int64_t(maxFrames)));
    if (frames == 0) return 0;
    FBytes.resize(frames * FBlockAlign);
    if (!ReadAll(*FSource, FBytes.data(), FBytes.size())) {
      error = "the WAV file ends before its data";
      return -1;
    }
    const size_t samples = frames * size_t(FFormat.Channels);
    for (size_t i = 0; i < samples; ++i)
      buffer[i] = FBits == 8 ? int16_t((FBytes[i] - 128) << 8) : int16_t(Le16(&FBytes[2 * i]));
    FPosition += int64_t(frames);
    return long(frames);
  }

  bool Seek(int64_t frame) override {
    if (frame < 0 || frame > FDataFrames) return false;
    if (FSource->Seek(FDataStart + frame * FBlockAlign, SEEK_SET) < 0) return false;
    FPosition = frame;
    return true;
  }

 private:
  explicit TWaveDecoder(std::unique_ptr<TSource> source) : FSource(std::move(source)) {}

  bool ReadHeader(std::string& error) {
    error = "not a PCM WAV file with 8- or 16-bit mono or stereo samples";
    const int64_t fileSize = FSource->Seek(0, SEEK_END);
    uint8_t riff[12];
    if (fileSize < 12 || FSource->Seek(0, SEEK_SET) != 0 || !ReadAll(*FSource, riff, 12))
      return false;
    bool haveFormat = false;
    int64_t at = 12;
    while (at + 8 <= fileSize) {
      uint8_t head[8];
      if (FSource->Seek(at, SEEK_SET) != at || !ReadAll(*FSource, head, 8)) return false;
      const uint32_t size = Le32(head + 4);
      const int64_t body = at + 8;
      if (std::memcmp(head, "fmt ", 4) == 0 && size >= 16) {
        uint8_t f[16];
        if (!ReadAll(*FSource, f, 16) || Le16(f) != 1) return false;
        FFormat.Channels = Le16(f + 2);
        FFormat.Rate = int(std::min<uint32_t>(Le32(f + 4), 1000000));
        FBits = Le16(f + 14);
        haveFormat = FFormat.Channels >= 1 && FFormat.Channels <= 2 && FFormat.Rate >= 1000 &&
                     (FBits == 8 || FBits == 16);
        if (!haveFormat) return false;
        FBlockAlign = FFormat.Channels * FBits / 8;
      } else if (std::memcmp(head, "data", 4) == 0) {
        if (!haveFormat) return false;
        FDataStart = body;
        FDataFrames = std::min<int64_t>(size, fileSize - body) / FBlockAlign;
        FFormat.TotalFrames = FDataFrames;
        FFormat.Bitrate = FFormat.Rate * FBlockAlign * 8 / 1000;
        error.clear();
        return Seek(0);
      }
      at = body + int64_t(size) + (size & 1);
    }
    return false;
  }

  std::unique_ptr<TSource> FSource;
  int FBits = 0;
  int FBlockAlign = 0;
  int64_t FDataStart = 0;
  int64_t FDataFrames = 0;
  std::vector<uint8_t> FBytes;
};

ssize_t SourceRead(void* handle, void* buffer, size_t bytes) {
  return static_cast<TSource*>(handle)->Read(buffer, bytes);
}

off_t SourceSeek(void* handle, off_t offset, int whence) {
  return off_t(static_cast<TSource*>(handle)->Seek(offset, whence));
}

class TMpegDecoder : public TDecoder {
 public:
  static std::unique_ptr<TDecoder> Open(std::unique_ptr<TSource> source, int& code,
                                        std::string& error) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    auto decoder = std::unique_ptr<TMpegDecoder>(new TMpegDecoder(std::move(source)));
    if (!decoder->Start(error)) {
      code = XA_ERROR_INVALID_FORMAT;
      return nullptr;
    }
    return decoder;
  }

  ~TMpegDecoder() override {
    if (FHandle) {
      mpg123_close(FHandle);
      mpg123_delete(FHandle);
    }
  }

  long Read(int16_t* buffer, size_t maxFrames, std::string& error) override {
    FFormatChanged = false;
    // A stream that yields nothing again and again is broken, not slow.
    for (int idle = 0; idle < 1000; ++idle) {
      size_t done = 0;
      const size_t frameBytes = size_t(FFormat.Channels) * 2;
      const int rc = mpg123_read(FHandle, buffer, maxFrames * frameBytes, &done);
      if (rc == MPG123_NEW_FORMAT) {
        if (!TakeFormat(error)) return -1;
        FFormatChanged = true;
      } else if (rc == MPG123_DONE) {
        if (done == 0) return 0;
      } else if (rc != MPG123_OK) {
        error = std::string("MPEG audio: ") + mpg123_strerror(FHandle);
        return -1;
      }
      if (done >= frameBytes) {
        FPosition += int64_t(done / frameBytes);
        return long(done / frameBytes);
      }
    }
    error = "MPEG audio: the stream yields no samples";
    return -1;
  }

  bool Seek(int64_t frame) override {
    const off_t at = mpg123_seek(FHandle, off_t(frame), SEEK_SET);
    if (at < 0) return false;
    FPosition = at;
    return true;
  }

 private:
  explicit TMpegDecoder(std::unique_ptr<TSource> source) : FSource(std::move(source)) {}

  bool Start(std::string& error) {
    int rc = MPG123_OK;
    FHandle = mpg123_new(nullptr, &rc);
    if (!FHandle) {
      error = std::string("MPEG audio: ") + mpg123_plain_strerror(rc);
      return false;
    }
    mpg123_param(FHandle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(FHandle);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
      mpg123_format(FHandle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_replace_reader_handle(FHandle, SourceRead, SourceSeek, nullptr) != MPG123_OK ||
        mpg123_open_handle(FHandle, FSource.get()) != MPG123_OK || !TakeFormat(error)) {
      if (error.empty()) error = std::string("MPEG audio: ") + mpg123_strerror(FHandle);
      return false;
    }
    const off_t length = mpg123_length(FHandle);
    FFormat.TotalFrames = length >= 0 ? int64_t(length) : -1;
    return true;
  }

  bool TakeFormat(std::string& error) {
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(FHandle, &rate, &channels, &encoding) != MPG123_OK ||
        encoding != MPG123_ENC_SIGNED_16 || channels < 1 || channels > 2 || rate <= 0) {
      error = "no MPEG audio stream found";
      return false;
    }
    FFormat.Rate = int(rate);
    FFormat.Channels = channels;
    mpg123_frameinfo info{};
    if (mpg123_info(FHandle, &info) == MPG123_OK) FFormat.Bitrate = info.bitrate;
    return true;
  }

  std::unique_ptr<TSource> FSource;
  mpg123_handle* FHandle = nullptr;
};

}  // namespace

std::unique_ptr<TSource> OpenFileSource(const std::string& path, int& code) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    code = errno == ENOENT || errno == ENOTDIR ? XA_ERROR_NO_SUCH_FILE : XA_ERROR_SYSTEM;
    return nullptr;
  }
  return std::make_unique<TFileSource>(fd);
}

std::unique_ptr<TSource> OpenMemorySource(const uint8_t* data, size_t size) {
  return std::make_unique<TMemorySource>(data, size);
}

std::unique_ptr<TDecoder> TDecoder::Open(std::unique_ptr<TSource> source, int& code,
                                         std::string& error) {
  uint8_t head[12] = {};
  const bool wave = ReadAll(*source, head, 12) && std::memcmp(head, "RIFF", 4) == 0 &&
                    std::memcmp(head + 8, "WAVE", 4) == 0;
  if (source->Seek(0, SEEK_SET) != 0) {
    code = XA_ERROR_INVALID_FORMAT;
    error = "the input cannot be read from its start";
    return nullptr;
  }
  return wave ? TWaveDecoder::Open(std::move(source), code, error)
              : TMpegDecoder::Open(std::move(source), code, error);
}

int64_t DecodeBuffer(const uint8_t* data, size_t size) {
  int code = 0;
  std::string error;
  std::unique_ptr<TDecoder> decoder = TDecoder::Open(OpenMemorySource(data, size), code, error);
  if (!decoder) return -1;
  std::vector<int16_t> buffer(4096 * 2);
  int64_t total = 0;
  for (int pass = 0; pass < 2; ++pass) {
    long got = 0;
    while ((got = decoder->Read(buffer.data(), 4096, error)) > 0) total += got;
    if (got < 0) return -1;
    if (pass == 0 && !decoder->Seek(decoder->Position() / 2)) break;
  }
  return total;
}

}  // namespace xaudio
