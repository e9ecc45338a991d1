#include "encode/Mp3Encoder.h"

#include <QFile>

namespace {

void CheckEncoder(uint32_t result) {
  if (result != 0) throw EEncoderError(QString("MP3 encoder error %1").arg(result));
}

}  // namespace

TMp3Encoder::TMp3Encoder(const TLameCoder& settings) { FCoder.Assign(settings); }

TMp3Encoder::~TMp3Encoder() { FCoder.CloseStream(); }

void TMp3Encoder::Begin(QFile& output, int64_t /*expectedFrames*/) {
  FOutput = &output;
  if (const uint32_t result = FCoder.InitStream(); result != 0)
    throw EEncoderError(FCoder.InitFailureReason(result));
  FMono = FCoder.Mode() == TLameMode::MONO;
  FBlock.assign(FCoder.SamplesPerChunk(), 0);
  FFilled = 0;
  FMp3.assign(FCoder.Mp3BufferSize(), 0);
}

void TMp3Encoder::Write(const int16_t* frames, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (FMono) {
      FBlock[FFilled++] = int16_t((frames[2 * i] + frames[2 * i + 1]) / 2);
    } else {
      FBlock[FFilled++] = frames[2 * i];
      FBlock[FFilled++] = frames[2 * i + 1];
    }
    if (FFilled == FBlock.size()) EncodeBlock(uint32_t(FFilled));
  }
}

void TMp3Encoder::EncodeBlock(uint32_t values) {
  uint32_t bytes = 0;
  if (values == FBlock.size())
    CheckEncoder(FCoder.EncodeChunk(FBlock.data(), FMp3.data(), &bytes));
  else
    CheckEncoder(FCoder.EncodeSamples(FBlock.data(), values, FMp3.data(), &bytes));
  WriteOutput(*FOutput, FMp3.data(), bytes);
  FFilled = 0;
}

void TMp3Encoder::End() {
  // The track's last samples (less than one block) go in as a short final
  // call; dropping them would cut the end of every track.
  if (FFilled > 0) EncodeBlock(uint32_t(FFilled));
  uint32_t bytes = 0;
  CheckEncoder(FCoder.DeinitStream(FMp3.data(), &bytes));
  WriteOutput(*FOutput, FMp3.data(), bytes);
  const QString fileName = FOutput->fileName();
  CloseOutput(*FOutput);
  if (FCoder.WriteInfoTag(fileName) != 0)
    throw EEncoderError(QString("Cannot write the MP3 info frame of \"%1\"").arg(fileName));
  FCoder.CloseStream();
}
