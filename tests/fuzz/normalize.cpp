// The two normalisation passes on a hostile WAV: the peak scan and the
// scaled copy. The copy keeps the header and the size, and every sample
// keeps its sign.
#include <QtEndian>
#include <cstring>

#include "FuzzUtil.h"
#include "encode/WaveNormalize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes = fuzz::Bytes(data, size);
  const QString wav = fuzz::WriteInput("track.wav", bytes);
  int16_t peak = 0;
  const bool hasData = ScanPeak(wav, peak);
  FUZZ_CHECK(hasData == (size > size_t(kWaveHeaderSize)), QString::number(size));
  FUZZ_CHECK(peak >= 0, QString::number(peak));
  const std::optional<double> gain = NormalizeGain(peak, int32_t(size % 101));
  if (!hasData || !gain) return 0;
  FUZZ_CHECK(*gain >= 0, QString::number(*gain));

  QString temp;
  FUZZ_CHECK(NormalizeWave(wav, temp, *gain), temp);
  const QByteArray out = fuzz::ReadAll(temp);
  FUZZ_CHECK(out.size() == bytes.size(), QString("%1 %2").arg(out.size()).arg(bytes.size()));
  FUZZ_CHECK(out.left(kWaveHeaderSize) == bytes.left(kWaveHeaderSize), QString());
  for (qsizetype at = kWaveHeaderSize; at + 1 < out.size(); at += 2) {
    const int16_t before = qFromLittleEndian<int16_t>(bytes.constData() + at);
    const int16_t after = qFromLittleEndian<int16_t>(out.constData() + at);
    FUZZ_CHECK((before < 0) == (after < 0) || after == 0,
               QString("%1 -> %2 at %3").arg(before).arg(after).arg(at));
  }
  return 0;
}
