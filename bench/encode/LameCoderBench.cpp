// Encodes one WAV file to MP3 through TLameCoder's batch mode, as the
// conversion session does; run.py times it beside the lame program.
// Usage: lame_coder_bench <input.wav> <output.mp3> <kbit/s> [vbr-quality]
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "encode/LameCoder.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s input.wav output.mp3 kbps [vbr-quality]\n", argv[0]);
    return 2;
  }
  TLameCoder coder;
  coder.SetBitrate(uint32_t(std::atoi(argv[3])));
  if (argc > 4) {
    coder.SetEnableVBR(true);
    coder.SetVBRQuality(std::atoi(argv[4]));
  }
  coder.SetInputFiles({QString::fromLocal8Bit(argv[1])});
  coder.SetOutputFiles({QString::fromLocal8Bit(argv[2])});
  try {
    coder.EncodeFiles();
  } catch (const ELameError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
