// TOpusEncoder: Ogg Opus output through libopusenc at a target bit rate
// (VBR). The library resamples CD audio to 48 kHz and writes the pre-skip and
// the final granule position, so a decoder gives back exactly the track's
// length. It owns the libopusenc encoder and its comment list.
#pragma once

#include <memory>

#include "encode/Encoder.h"

struct OggOpusEnc;
struct OggOpusComments;

class TOpusEncoder : public TEncoder {
 public:
  explicit TOpusEncoder(int bitRateKbps);
  ~TOpusEncoder() override;

  void Begin(QFile& output, int64_t expectedFrames) override;
  void Write(const int16_t* frames, size_t count) override;
  void End() override;

 private:
  static int WriteCallback(void* self, const unsigned char* data, int length);
  static int CloseCallback(void* self);
  // Throws the output's error when there is one, else the library's.
  [[noreturn]] void Fail(int error);

  struct TDeleter {
    void operator()(OggOpusEnc* encoder) const;
    void operator()(OggOpusComments* comments) const;
  };

  int FBitRate;  // kbit/s
  std::unique_ptr<OggOpusComments, TDeleter> FComments;
  std::unique_ptr<OggOpusEnc, TDeleter> FEncoder;
  TCallbackOutput FOutput;
};
