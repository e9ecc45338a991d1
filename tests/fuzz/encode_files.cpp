// TLameCoder::EncodeFiles on a hostile WAV or raw file, as the conversion
// session hands it over: it either writes an MP3 or fails with ELameError.
// An odd-sized input is encoded in mono, which takes the mixing path.
#include <QFileInfo>

#include "FuzzUtil.h"
#include "encode/LameCoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString input = fuzz::WriteInput("track.wav", fuzz::Bytes(data, size));
  TLameCoder coder;
  coder.SetMode(size % 2 ? TLameMode::MONO : TLameMode::JSTEREO);
  coder.SetBitrate(size % 3 ? 128 : 64);
  coder.SetEnableVBR(size % 5 == 0);
  coder.SetInputFiles({input});
  bool ended = false;
  coder.OnEndFile = [&](TLameCoder*, uint16_t, const QString&) { ended = true; };
  try {
    coder.EncodeFiles();
  } catch (const ELameError&) {
    return 0;
  }
  FUZZ_CHECK(ended, QString());
  FUZZ_CHECK(QFileInfo(coder.OutputFiles().at(0)).size() > 0, coder.OutputFiles().at(0));
  return 0;
}
