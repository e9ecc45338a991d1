#include "encode/WavEncoder.h"

#include <QFile>
#include <QtEndian>
#include <cstring>
#include <limits>
#include <vector>

void TWavEncoder::Begin(QFile& output, int64_t /*expectedFrames*/) {
  FOutput = &output;
  FDataBytes = 0;
  WriteHeader();
}

void TWavEncoder::Write(const int16_t* frames, size_t count) {
  const int64_t bytes = int64_t(count) * kCdFrameBytes;
  // The header's sizes are 32 bits wide.
  if (FDataBytes + bytes > int64_t(std::numeric_limits<uint32_t>::max()) - 36)
    throw EEncoderError(QString("\"%1\" would exceed the WAV size limit").arg(FOutput->fileName()));
  if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
    WriteOutput(*FOutput, frames, bytes);
  } else {
    std::vector<int16_t> little(count * kCdChannels);
    qToLittleEndian<int16_t>(frames, qsizetype(little.size()), little.data());
    WriteOutput(*FOutput, little.data(), bytes);
  }
  FDataBytes += bytes;
}

void TWavEncoder::End() {
  if (!FOutput->seek(0))
    throw EEncoderError(
        QString("Cannot write \"%1\": %2").arg(FOutput->fileName(), FOutput->errorString()));
  WriteHeader();
  CloseOutput(*FOutput);
}

void TWavEncoder::WriteHeader() {
  uint8_t header[44];
  const auto put32 = [&header](int at, uint32_t value) { qToLittleEndian(value, header + at); };
  const auto put16 = [&header](int at, uint16_t value) { qToLittleEndian(value, header + at); };
  std::memcpy(header, "RIFF", 4);
  put32(4, uint32_t(FDataBytes + 36));
  std::memcpy(header + 8, "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);  // PCM
  put16(22, kCdChannels);
  put32(24, kCdSampleRate);
  put32(28, kCdSampleRate * kCdFrameBytes);
  put16(32, kCdFrameBytes);
  put16(34, 16);
  std::memcpy(header + 36, "data", 4);
  put32(40, uint32_t(FDataBytes));
  WriteOutput(*FOutput, header, sizeof header);
}
