#include "encode/WaveNormalize.h"

#include <zlib.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cerrno>
#include <cmath>

#include "encode/TempFiles.h"
#include "platform/Files.h"

namespace {

void OpenForReading(QFile& file) {
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
    throw ENormalizeError("Cannot open " + file.fileName() + ": " + file.errorString());
}

// Reads up to size bytes; a read error is an error, a short read is the end.
qint64 ReadChunk(QFile& file, char* buffer, qint64 size) {
  const qint64 n = file.read(buffer, size);
  if (n < 0) throw ENormalizeError("Cannot read " + file.fileName() + ": " + file.errorString());
  return n;
}

void Write(QFile& file, const char* data, qint64 size) {
  if (file.write(data, size) != size) {
    const int code = errno;
    throw ENormalizeError("Cannot write " + file.fileName() + ": " +
                          platform::WriteFailureReason(file, code));
  }
}

bool Aborted(const TNormalizeHooks& hooks) { return hooks.Aborted && hooks.Aborted(); }

void ReportProgress(const TNormalizeHooks& hooks, qint64 remaining, qint64 total) {
  if (hooks.OnProgress)
    hooks.OnProgress(int(std::lround(100.0 - double(remaining) / double(total) * 100.0)));
  QCoreApplication::processEvents();
}

}  // namespace

bool ScanPeak(const QString& wavPath, int16_t& peak, const TNormalizeHooks& hooks) {
  peak = 0;
  QFile wav(wavPath);
  OpenForReading(wav);
  const qint64 total = wav.size() - kWaveHeaderSize;
  if (total <= 0) return false;
  if (!wav.seek(kWaveHeaderSize)) throw ENormalizeError("Cannot seek " + wavPath);

  alignas(int16_t) char bytes[kNormalizeChunkBytes];
  int16_t samples[kNormalizeChunkBytes / 2];
  qint64 remaining = total;
  while (remaining > 0 && !Aborted(hooks)) {
    const qint64 n = ReadChunk(wav, bytes, std::min<qint64>(remaining, kNormalizeChunkBytes));
    if (n == 0) break;  // the file shrank under us
    const qint64 count = n / 2;
    qFromLittleEndian<int16_t>(bytes, count, samples);
    int16_t highest = peak;
    for (qint64 i = 0; i < count; ++i) highest = std::max(highest, samples[i]);
    peak = highest;
    remaining -= n;
    ReportProgress(hooks, remaining, total);
  }
  return true;
}

bool NormalizeWave(const QString& wavPath, QString& tempPath, double gain,
                   const TNormalizeHooks& hooks, uint32_t* dataCrc) {
  tempPath.clear();
  QFile wav(wavPath);
  OpenForReading(wav);
  // A file of the WAV's name with ".tmp" may be the user's own.
  tempPath = CreateTempFile(QFileInfo(wavPath).absolutePath(), QStringLiteral(".tmp"));
  if (tempPath.isEmpty()) throw ENormalizeError("Cannot create a temporary file beside " + wavPath);
  QFile temp(tempPath);
  if (!temp.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
    throw ENormalizeError("Cannot create " + tempPath + ": " + temp.errorString());

  char header[kWaveHeaderSize];
  const qint64 headerSize = ReadChunk(wav, header, kWaveHeaderSize);
  const qint64 total = wav.size() - kWaveHeaderSize;
  if (total <= 0) return false;
  Write(temp, header, headerSize);
  uLong crc = crc32(0L, Z_NULL, 0);

  alignas(int16_t) char bytes[kNormalizeChunkBytes];
  int16_t samples[kNormalizeChunkBytes / 2];
  qint64 remaining = total;
  while (remaining > 0 && !Aborted(hooks)) {
    const qint64 n = ReadChunk(wav, bytes, std::min<qint64>(remaining, kNormalizeChunkBytes));
    if (n == 0) break;
    const qint64 count = n / 2;
    qFromLittleEndian<int16_t>(bytes, count, samples);
    for (qint64 i = 0; i < count; ++i) {
      const double v = std::clamp(samples[i] * gain, -32768.0, 32767.0);
      // lrint rounds in the default mode: to nearest, halves to even.
      samples[i] = int16_t(std::lrint(v));
    }
    // A trailing odd byte is no sample and passes unchanged.
    qToLittleEndian<int16_t>(samples, count, bytes);
    Write(temp, bytes, n);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes), uInt(n));
    remaining -= n;
    ReportProgress(hooks, remaining, total);
  }
  if (dataCrc) *dataCrc = uint32_t(crc);
  return true;
}

std::optional<double> NormalizeGain(int16_t peak, int32_t factor) {
  if (peak <= 1) return std::nullopt;
  const double ratio = (peak - 1) / 327.66;
  return factor / ratio;
}
