#include "encode/FlacEncoder.h"

#include <QFile>
#include <algorithm>

namespace {

constexpr uint32_t kSeekPointSpacing = 10 * kCdSampleRate;  // one per 10 s, as flac(1) does
constexpr uint32_t kPadding = 8192;                         // room to tag in place

}  // namespace

TFlacEncoder::TFlacEncoder(int level) : FLevel(std::clamp(level, 0, 8)) {}

TFlacEncoder::~TFlacEncoder() {
  // An encoder that did not reach End runs its finish in the delete; the
  // output may be gone by then, so its writes are refused.
  FOutput.Detach();
  FEncoder.reset();
}

void TFlacEncoder::Begin(QFile& output, int64_t expectedFrames) {
  FOutput.Attach(output);
  FEncoder.reset(FLAC__stream_encoder_new());
  if (!FEncoder) throw EEncoderError("Error initializing the FLAC encoder");
  FLAC__StreamEncoder* encoder = FEncoder.get();
  FLAC__stream_encoder_set_verify(encoder, true);
  FLAC__stream_encoder_set_channels(encoder, kCdChannels);
  FLAC__stream_encoder_set_bits_per_sample(encoder, 16);
  FLAC__stream_encoder_set_sample_rate(encoder, kCdSampleRate);
  FLAC__stream_encoder_set_compression_level(encoder, uint32_t(FLevel));
  if (expectedFrames > 0) {
    FLAC__stream_encoder_set_total_samples_estimate(encoder, FLAC__uint64(expectedFrames));
    TMetadata seekTable(FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE));
    if (!seekTable ||
        !FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
            seekTable.get(), kSeekPointSpacing, FLAC__uint64(expectedFrames)) ||
        !FLAC__metadata_object_seektable_template_sort(seekTable.get(), true))
      throw EEncoderError("Error initializing the FLAC encoder");
    FMetadata.push_back(std::move(seekTable));
  }
  TMetadata padding(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
  if (!padding) throw EEncoderError("Error initializing the FLAC encoder");
  padding->length = kPadding;
  FMetadata.push_back(std::move(padding));
  std::vector<FLAC__StreamMetadata*> blocks;
  for (const TMetadata& block : FMetadata) blocks.push_back(block.get());
  FLAC__stream_encoder_set_metadata(encoder, blocks.data(), uint32_t(blocks.size()));
  if (FLAC__stream_encoder_init_stream(encoder, WriteCallback, SeekCallback, TellCallback, nullptr,
                                       this) != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
    Fail("initializing");
}

void TFlacEncoder::Write(const int16_t* frames, size_t count) {
  FBuffer.resize(count * kCdChannels);
  std::copy(frames, frames + count * kCdChannels, FBuffer.begin());
  if (!FLAC__stream_encoder_process_interleaved(FEncoder.get(), FBuffer.data(), uint32_t(count)))
    Fail("encoding");
}

void TFlacEncoder::End() {
  // Finish writes the last frame and goes back to fill in STREAMINFO (length,
  // MD5) and the seek table.
  const bool finished = FLAC__stream_encoder_finish(FEncoder.get());
  if (!finished || FOutput.Failed()) Fail("finishing");
  CloseOutput(*FOutput.File());
  FMetadata.clear();
}

void TFlacEncoder::Fail(const char* step) {
  FOutput.RethrowFailure();
  const FLAC__StreamEncoderState state = FLAC__stream_encoder_get_state(FEncoder.get());
  if (state == FLAC__STREAM_ENCODER_VERIFY_MISMATCH_IN_AUDIO_DATA ||
      state == FLAC__STREAM_ENCODER_VERIFY_DECODER_ERROR)
    throw EEncoderError(
        QString("FLAC verification failed for \"%1\": the encoded audio differs from the input")
            .arg(FOutput.File()->fileName()));
  throw EEncoderError(QString("FLAC encoder error while %1 \"%2\": %3")
                          .arg(step, FOutput.File()->fileName(),
                               QString::fromLatin1(FLAC__StreamEncoderStateString[state])));
}

FLAC__StreamEncoderWriteStatus TFlacEncoder::WriteCallback(const FLAC__StreamEncoder*,
                                                           const FLAC__byte buffer[], size_t bytes,
                                                           uint32_t, uint32_t, void* self) {
  return static_cast<TFlacEncoder*>(self)->FOutput.Write(buffer, int64_t(bytes))
             ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
             : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}

FLAC__StreamEncoderSeekStatus TFlacEncoder::SeekCallback(const FLAC__StreamEncoder*,
                                                         FLAC__uint64 offset, void* self) {
  QFile* output = static_cast<TFlacEncoder*>(self)->FOutput.File();
  if (!output || !output->seek(qint64(offset))) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
  return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus TFlacEncoder::TellCallback(const FLAC__StreamEncoder*,
                                                         FLAC__uint64* offset, void* self) {
  QFile* output = static_cast<TFlacEncoder*>(self)->FOutput.File();
  if (!output) return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
  *offset = FLAC__uint64(output->pos());
  return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}
