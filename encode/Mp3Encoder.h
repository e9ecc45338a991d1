// TMp3Encoder: MP3 through the LAME component (TLameCoder's stream calls),
// as the ripping component encodes on the fly: whole blocks of the stream's
// chunk size, the short rest, the flush, then the Xing/Info frame written in
// place. It owns its own TLameCoder, a copy of the given settings.
#pragma once

#include <vector>

#include "encode/Encoder.h"
#include "encode/LameCoder.h"

class TMp3Encoder : public TEncoder {
 public:
  explicit TMp3Encoder(const TLameCoder& settings);
  ~TMp3Encoder() override;

  void Begin(QFile& output, int64_t expectedFrames) override;
  void Write(const int16_t* frames, size_t count) override;
  void End() override;

 private:
  void EncodeBlock(uint32_t values);

  TLameCoder FCoder;
  QFile* FOutput = nullptr;
  bool FMono = false;  // a mono stream takes the mix of both channels
  std::vector<int16_t> FBlock;
  size_t FFilled = 0;  // values in FBlock
  std::vector<uint8_t> FMp3;
};
