// TWavEncoder: PCM WAV, the frames as read under a 44-byte header whose sizes
// are filled in at the end. Owns nothing but its count of bytes.
#pragma once

#include "encode/Encoder.h"

class TWavEncoder : public TEncoder {
 public:
  void Begin(QFile& output, int64_t expectedFrames) override;
  void Write(const int16_t* frames, size_t count) override;
  void End() override;

 private:
  void WriteHeader();

  QFile* FOutput = nullptr;
  int64_t FDataBytes = 0;
};
