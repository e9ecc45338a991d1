// The player's decoders on hostile bytes: an MP3 or WAV opened from memory,
// decoded to its end, then again from its middle.
#include "FuzzUtil.h"
#include "libs/xaudio/Decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int64_t frames = xaudio::DecodeBuffer(data, size);
  FUZZ_CHECK(frames >= -1, QString::number(frames));
  return 0;
}
