// Writes the demo disc into a folder: demo.bin (16-bit stereo PCM, four short
// pieces of slow chords with soft swells) and demo.cue, and a cdrip.ini
// listing the image unless that folder already has one, so drive settings
// made by the user survive a rebuild.
// Usage: cadenzo_make_demo_disc <folder> [--ini-only]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSectorFrames = 588;
constexpr double kPi = 3.14159265358979323846;

struct TPiece {
  double ChordSeconds;
  std::vector<std::vector<int>> Chords;  // MIDI note numbers
};

double NoteHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// Each chord swells in and fades out over its own span and overlaps the
// next a little, so the changes are soft.
std::vector<int16_t> Render(const TPiece& piece) {
  const int chordFrames = int(piece.ChordSeconds * kRate);
  const int overlap = kRate / 2;
  int frames = chordFrames * int(piece.Chords.size()) + overlap;
  frames += (kSectorFrames - frames % kSectorFrames) % kSectorFrames;
  std::vector<double> left(size_t(frames), 0.0), right(size_t(frames), 0.0);
  for (size_t c = 0; c < piece.Chords.size(); ++c) {
    const int begin = int(c) * chordFrames;
    const int length = chordFrames + overlap;
    for (size_t n = 0; n < piece.Chords[c].size(); ++n) {
      const double hz = NoteHz(piece.Chords[c][n]);
      const double pan = 0.3 + 0.4 * double(n) / double(piece.Chords[c].size());
      for (int f = 0; f < length && begin + f < frames; ++f) {
        const double t = double(f) / kRate;
        const double x = double(f) / length;
        const double envelope = std::pow(std::sin(kPi * x), 2.0) * (1.0 - 0.3 * x);
        const double tone = std::sin(2 * kPi * hz * t) + 0.25 * std::sin(4 * kPi * hz * t) +
                            0.08 * std::sin(6 * kPi * hz * t + 0.5);
        const double value = 0.11 * envelope * tone;
        left[size_t(begin + f)] += value * (1.0 - pan);
        right[size_t(begin + f)] += value * pan;
      }
    }
  }
  std::vector<int16_t> pcm(size_t(frames) * 2);
  for (int f = 0; f < frames; ++f) {
    pcm[size_t(2 * f)] = int16_t(std::lround(std::tanh(left[size_t(f)]) * 32767));
    pcm[size_t(2 * f + 1)] = int16_t(std::lround(std::tanh(right[size_t(f)]) * 32767));
  }
  return pcm;
}

std::string Msf(long sectors) {
  char text[32];
  std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", sectors / 4500, sectors % 4500 / 75,
                sectors % 75);
  return text;
}

bool WriteIniIfAbsent(const std::filesystem::path& folder) {
  const auto ini = folder / "cdrip.ini";
  if (std::filesystem::exists(ini)) return true;
  std::ofstream out(ini, std::ios::binary);
  out << "[CD-ROM]\r\nnActive=0\r\nnTransportLayer=0\r\n[Images]\r\nImage0=demo.cue\r\n";
  return bool(out.flush());
}

bool WriteImage(const std::filesystem::path& folder) {
  const std::vector<TPiece> pieces = {
      {4.0,
       {{60, 64, 67, 72}, {57, 60, 64, 69}, {53, 57, 60, 65}, {55, 59, 62, 67}, {60, 64, 67, 76}}},
      {5.0,
       {{62, 65, 69, 74}, {58, 62, 65, 70}, {60, 64, 67, 72}, {57, 61, 64, 69}, {62, 65, 69, 77}}},
      {4.5,
       {{55, 59, 62, 67}, {52, 55, 59, 64}, {48, 52, 55, 60}, {50, 54, 57, 62}, {55, 62, 67, 71}}},
      {5.5, {{53, 57, 60, 65}, {50, 53, 57, 62}, {48, 52, 55, 64}, {53, 57, 60, 69}}},
  };
  std::ofstream bin(folder / "demo.bin", std::ios::binary);
  std::string cue = "FILE \"demo.bin\" BINARY\r\n";
  long sectors = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    char track[48];
    std::snprintf(track, sizeof track, "  TRACK %02zu AUDIO\r\n", i + 1);
    cue += track;
    cue += "    INDEX 01 " + Msf(sectors) + "\r\n";
    const std::vector<int16_t> pcm = Render(pieces[i]);
    for (int16_t sample : pcm) {
      const auto value = uint16_t(sample);
      const char bytes[2] = {char(value & 0xff), char(value >> 8)};
      bin.write(bytes, 2);
    }
    sectors += long(pcm.size() / 2 / kSectorFrames);
  }
  std::ofstream(folder / "demo.cue", std::ios::binary) << cue;
  return bool(bin.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [--ini-only]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder(argv[1]);
  std::filesystem::create_directories(folder);
  const bool iniOnly = argc > 2 && std::string(argv[2]) == "--ini-only";
  if (!iniOnly && !WriteImage(folder)) {
    std::fprintf(stderr, "cannot write the demo disc into %s\n", argv[1]);
    return 1;
  }
  if (!WriteIniIfAbsent(folder)) {
    std::fprintf(stderr, "cannot write cdrip.ini into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
