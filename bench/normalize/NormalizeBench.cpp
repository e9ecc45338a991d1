// Normalises one WAV file in place as the conversion session does: the peak
// scan, the gain for the factor, the scaling pass into the temporary file,
// and the temporary file taking the WAV's place.
// Usage: normalize_bench <wav> [factor]   (default 98)
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "encode/WaveNormalize.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: normalize_bench <wav> [factor]\n");
    return 2;
  }
  const QString wav = QString::fromLocal8Bit(argv[1]);
  const int factor = argc > 2 ? std::atoi(argv[2]) : 98;
  try {
    int16_t peak = 0;
    if (!ScanPeak(wav, peak)) return 1;
    const auto gain = NormalizeGain(peak, factor);
    if (!gain) return 0;
    QString temp;
    if (!NormalizeWave(wav, temp, *gain)) return 1;
    if (!QFile::remove(wav) || !QFile::rename(temp, wav)) return 1;
    std::printf("peak %d gain %.6f\n", peak, *gain);
  } catch (const ENormalizeError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
