#include "encode/LameCoder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "platform/Files.h"

namespace {

constexpr qint64 kWavHeaderSize = 44;

uint16_t ReadUInt16(const char* bytes) {
  return uint16_t(uint8_t(bytes[0]) | uint8_t(bytes[1]) << 8);
}

}  // namespace

TLameVersion::TLameVersion() { beVersion(&FVersion); }

void TLameVersion::Assign(const TLameVersion& source) {
  FVersion.byDLLMajorVersion = source.FVersion.byDLLMajorVersion;
  FVersion.byDLLMinorVersion = source.FVersion.byDLLMinorVersion;
  FVersion.byMajorVersion = source.FVersion.byMajorVersion;
  FVersion.byMinorVersion = source.FVersion.byMinorVersion;
}

TLameCoder::TLameCoder() = default;

TLameCoder::~TLameCoder() { CloseStream(); }

void TLameCoder::Assign(const TLameCoder& source) {
  FSampleRate = source.FSampleRate;
  FMode = source.FMode;
  FBitrate = source.FBitrate;
  FMaxBitrate = source.FMaxBitrate;
  FQuality = source.FQuality;
  FPrivate = source.FPrivate;
  FCRC = source.FCRC;
  FCopyright = source.FCopyright;
  FOriginal = source.FOriginal;
  FWriteVBRHeader = source.FWriteVBRHeader;
  FEnableVBR = source.FEnableVBR;
  FVBRQuality = source.FVBRQuality;
}

void TLameCoder::SetEnableVBR(bool value) {
  FEnableVBR = value;
  FWriteVBRHeader = value;
}

void TLameCoder::SetInputFiles(const QStringList& value) {
  FInputFiles = value;
  FOutputFiles.clear();
  for (const QString& input : FInputFiles) {
    const qsizetype nameStart = input.lastIndexOf('/') + 1;
    const qsizetype dot = input.lastIndexOf('.');
    FOutputFiles.append(dot >= nameStart ? input.left(dot) + FDefaultExt : input + FDefaultExt);
  }
}

uint32_t TLameCoder::InitStream() {
  CloseStream();
  FConfig = BE_CONFIG{};
  FConfig.dwConfig = BE_CONFIG_LAME;
  auto& lhv1 = FConfig.format.LHV1;
  lhv1.dwStructVersion = 1;
  lhv1.dwStructSize = sizeof(BE_CONFIG);
  lhv1.dwSampleRate = FSampleRate;
  lhv1.dwReSampleRate = 0;
  lhv1.nMode = FMode;
  lhv1.dwBitrate = FBitrate;
  lhv1.dwMaxBitrate = FMaxBitrate;
  lhv1.nPreset = int32_t(FQuality);
  lhv1.dwMpegVersion = MPEG1;
  lhv1.bPrivate = FPrivate ? -1 : 0;
  lhv1.bCRC = FCRC ? -1 : 0;
  lhv1.bCopyright = FCopyright ? -1 : 0;
  lhv1.bOriginal = FOriginal ? -1 : 0;
  lhv1.bWriteVBRHeader = FWriteVBRHeader ? -1 : 0;
  lhv1.bEnableVBR = FEnableVBR ? -1 : 0;
  lhv1.nVBRQuality = FVBRQuality;

  uint32_t samples = 0;
  uint32_t bufferSize = 0;
  HBE_STREAM stream = 0;
  const uint32_t result = beInitStream(&FConfig, &samples, &bufferSize, &stream);
  if (result != BE_ERR_SUCCESSFUL) return result;
  FStream = stream;
  FSamplesPerChunk = samples;
  FMp3BufferSize = bufferSize;
  FMp3Buffer.assign(bufferSize, 0);
  return result;
}

QString TLameCoder::InitFailureReason(uint32_t result) const {
  // MPEG-1 (32000 Hz and up) and MPEG-2 layer III know different rates.
  static const std::set<uint32_t> kMpeg1 = {32,  40,  48,  56,  64,  80,  96,
                                            112, 128, 160, 192, 224, 256, 320};
  static const std::set<uint32_t> kMpeg2 = {8,  16, 24, 32,  40,  48,  56,
                                            64, 80, 96, 112, 128, 144, 160};
  const std::set<uint32_t>& rates = FSampleRate >= 32000 ? kMpeg1 : kMpeg2;
  const QString refused = QStringLiteral("The MP3 encoder refuses its settings: ");
  if (!rates.count(FBitrate))
    return refused +
           QString("%1 kbit/s is no MP3 bit rate at %2 Hz").arg(FBitrate).arg(FSampleRate);
  if (FEnableVBR && !rates.count(FMaxBitrate))
    return refused +
           QString("%1 kbit/s is no MP3 bit rate at %2 Hz").arg(FMaxBitrate).arg(FSampleRate);
  if (FEnableVBR && FMaxBitrate < FBitrate)
    return refused + QString("the maximum bit rate (%1 kbit/s) lies below the bit rate (%2 kbit/s)")
                         .arg(FMaxBitrate)
                         .arg(FBitrate);
  return QString("beInitStream failed %1").arg(result);
}

uint32_t TLameCoder::EncodeChunk(const int16_t* samples, uint8_t* output, uint32_t* outputBytes) {
  return beEncodeChunk(FStream, FSamplesPerChunk, samples, output, outputBytes);
}

uint32_t TLameCoder::EncodeSamples(const int16_t* samples, uint32_t count, uint8_t* output,
                                   uint32_t* outputBytes) {
  return beEncodeChunk(FStream, count, samples, output, outputBytes);
}

uint32_t TLameCoder::DeinitStream(uint8_t* output, uint32_t* outputBytes) {
  return beDeinitStream(FStream, output, outputBytes);
}

uint32_t TLameCoder::WriteInfoTag(const QString& fileName) {
  return beWriteInfoTag(FStream, QFile::encodeName(fileName).constData());
}

void TLameCoder::CloseStream() {
  FMp3Buffer.clear();
  FMp3Buffer.shrink_to_fit();
  if (FStream) beCloseStream(FStream);
  FStream = 0;
  FSamplesPerChunk = 0;
  FMp3BufferSize = 0;
}

void TLameCoder::EncodeFiles() {
  FAbort = false;
  if (OnBeginProcess) OnBeginProcess(this);
  for (int i = 0; i < FInputFiles.size(); ++i) {
    EncodeFile(i);
    if (FAbort) return;
    if (OnEndFile) OnEndFile(this, uint16_t(i), FOutputFiles.value(i));
  }
  if (OnEndProcess) OnEndProcess(this);
}

// Encodes one entry; returns early, with the partial output kept, on abort.
// Every way out closes the files and the stream.
void TLameCoder::EncodeFile(int index) {
  struct TStreamCloser {
    TLameCoder* Coder;
    ~TStreamCloser() { Coder->CloseStream(); }
  } closer{this};

  const uint32_t initResult = InitStream();
  if (initResult != BE_ERR_SUCCESSFUL) throw ELameError(InitFailureReason(initResult));
  const QString inputName = FInputFiles.at(index);
  const QString outputName = FOutputFiles.value(index);
  if (OnBeginFile) OnBeginFile(this, uint16_t(index), inputName);

  QFile input(inputName);
  if (!input.open(QIODevice::ReadOnly))
    throw ELameError(QString("Cannot open file \"%1\". %2").arg(inputName, input.errorString()));
  // Unbuffered, so that a full disk shows in the write of the chunk at hand.
  QFile output(outputName);
  if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
    throw platform::EFileFailure<ELameError>(
        QString("Cannot create file \"%1\". %2").arg(outputName, output.errorString()), outputName,
        output.errorString());
  // The failure of a write names the file and the system's reason beside the fixed message.
  const auto writeFailed = [&output](const char* message) {
    const int code = errno;
    return platform::EFileFailure<ELameError>(message, output.fileName(),
                                              platform::WriteFailureReason(output, code));
  };

  // A file too short for the header cannot be told from a WAV and would
  // leave no header to go by.
  char header[kWavHeaderSize];
  if (input.read(header, kWavHeaderSize) != kWavHeaderSize) throw ELameError("Read Error");

  qint64 chunkSize = 0;
  qint64 dataLength = 0;
  // A mono stream takes mono samples; CD audio is stereo, so a stereo WAV is
  // mixed down rather than read as twice as many mono samples.
  bool downmix = false;
  if (std::memcmp(header + 8, "WAVE", 4) == 0) {
    // Only what the stream takes: one or two channels of 16 bits. Any other
    // block align would size the buffer from a field a broken file may fill
    // with anything.
    const uint16_t blockAlign = ReadUInt16(header + 32);
    if (blockAlign != 2 && blockAlign != 4) throw ELameError("Read Error");
    chunkSize = qint64(FSamplesPerChunk) * blockAlign;
    downmix = FMode == BE_MP3_MODE_MONO && ReadUInt16(header + 22) == 2 &&
              ReadUInt16(header + 32) == 4;
    dataLength = input.size() - kWavHeaderSize;
  } else {
    chunkSize = FMode == BE_MP3_MODE_MONO ? FSamplesPerChunk : 2 * qint64(FSamplesPerChunk);
    dataLength = input.size();
    input.seek(0);
  }

  // Read straight into 16-bit values; one spare value for an odd last read.
  std::vector<int16_t> inputBuffer(size_t(chunkSize / 2) + 1);
  char* const inputBytes = reinterpret_cast<char*>(inputBuffer.data());
  qint64 done = 0;
  while (done != dataLength) {
    const qint64 n = done + chunkSize < dataLength ? chunkSize : dataLength - done;
    if (input.read(inputBytes, n) != n) throw ELameError("Read Error");
    uint32_t values = uint32_t(n / 2);
    if (downmix) {
      values /= 2;
      for (uint32_t i = 0; i < values; ++i)
        inputBuffer[i] = int16_t((inputBuffer[2 * i] + inputBuffer[2 * i + 1]) / 2);
    }
    uint32_t mp3Bytes = 0;
    const uint32_t result =
        beEncodeChunk(FStream, values, inputBuffer.data(), FMp3Buffer.data(), &mp3Bytes);
    if (result != BE_ERR_SUCCESSFUL)
      throw ELameError(QString("beEncodeChunk failed %1").arg(result));
    if (output.write(reinterpret_cast<const char*>(FMp3Buffer.data()), mp3Bytes) != mp3Bytes)
      throw writeFailed("Write Error");
    done += n;
    if (OnProgress) OnProgress(this, uint16_t(done * 100 / dataLength));
    // Only the user-interface thread has events to run; a worker's StopEncoding
    // comes from there.
    if (QCoreApplication::instance() &&
        QThread::currentThread() == QCoreApplication::instance()->thread())
      QCoreApplication::processEvents();
    if (FAbort) return;
  }

  uint32_t mp3Bytes = 0;
  const uint32_t result = beDeinitStream(FStream, FMp3Buffer.data(), &mp3Bytes);
  if (result != BE_ERR_SUCCESSFUL)
    throw ELameError(QString("beDeinitStream failed %1").arg(result));
  if (output.write(reinterpret_cast<const char*>(FMp3Buffer.data()), mp3Bytes) != mp3Bytes)
    throw writeFailed("Write error");
  output.close();
  if (output.error() != QFileDevice::NoError) throw writeFailed("Write error");
  if (WriteInfoTag(outputName) != BE_ERR_SUCCESSFUL) throw ELameError("Write error");
}
