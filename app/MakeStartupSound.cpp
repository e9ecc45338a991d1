// Build tool: writes the program's start-up sound, a short metallic chime
// (three inharmonic partials with a bell-like decay, two strikes), as MP3.
// Usage: make-startup-sound OUTPUT.mp3
#include <lame/lame.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.mp3\n", argv[0]);
    return 2;
  }
  constexpr int kRate = 44100;
  constexpr double kSeconds = 1.6;
  const int frames = int(kRate * kSeconds);
  std::vector<short> left(frames), right(frames);
  struct TStrike {
    double At, Pitch, Pan;
  };
  const TStrike strikes[] = {{0.0, 880.0, 0.35}, {0.28, 1318.5, 0.65}};
  const double partials[][2] = {{1.0, 1.0}, {2.76, 0.45}, {5.40, 0.2}};
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / kRate;
    double l = 0, r = 0;
    for (const TStrike& strike : strikes) {
      const double s = t - strike.At;
      if (s < 0) continue;
      double v = 0;
      for (const auto& partial : partials)
        v += partial[1] * std::exp(-s * 3.0 * partial[0]) *
             std::sin(2 * M_PI * strike.Pitch * partial[0] * s);
      v *= std::min(1.0, s * 400);  // soft attack, no click
      l += v * (1 - strike.Pan);
      r += v * strike.Pan;
    }
    left[i] = short(std::lround(l * 9000));
    right[i] = short(std::lround(r * 9000));
  }

  lame_global_flags* lame = lame_init();
  if (lame) {
    lame_set_in_samplerate(lame, kRate);
    lame_set_num_channels(lame, 2);
    lame_set_brate(lame, 128);
  }
  if (!lame || lame_init_params(lame) < 0) {
    std::fprintf(stderr, "make-startup-sound: the encoder does not start\n");
    return 1;
  }
  std::vector<unsigned char> mp3(size_t(1.25 * frames + 7200));
  int bytes = lame_encode_buffer(lame, left.data(), right.data(), frames, mp3.data(), int(mp3.size()));
  if (bytes < 0) return 1;
  const int flushed = lame_encode_flush(lame, mp3.data() + bytes, int(mp3.size()) - bytes);
  if (flushed < 0) return 1;
  bytes += flushed;
  lame_close(lame);

  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out || std::fwrite(mp3.data(), 1, size_t(bytes), out) != size_t(bytes) || std::fclose(out) != 0) {
    std::fprintf(stderr, "make-startup-sound: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
