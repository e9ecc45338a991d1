#include "encode/OpusEncoder.h"

#include <opus/opusenc.h>

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <climits>

void TOpusEncoder::TDeleter::operator()(OggOpusEnc* encoder) const { ope_encoder_destroy(encoder); }
void TOpusEncoder::TDeleter::operator()(OggOpusComments* comments) const {
  ope_comments_destroy(comments);
}

TOpusEncoder::TOpusEncoder(int bitRateKbps) : FBitRate(std::clamp(bitRateKbps, 32, 512)) {}

TOpusEncoder::~TOpusEncoder() {
  // Destroying an undrained encoder writes nothing, but its callbacks must
  // not reach an output that may be gone.
  FOutput.Detach();
  FEncoder.reset();
}

void TOpusEncoder::Begin(QFile& output, int64_t /*expectedFrames*/) {
  FOutput.Attach(output);
  FComments.reset(ope_comments_create());
  if (!FComments) throw EEncoderError("Error initializing the Opus encoder");
  const OpusEncCallbacks callbacks{WriteCallback, CloseCallback};
  int error = OPE_OK;
  FEncoder.reset(ope_encoder_create_callbacks(&callbacks, this, FComments.get(), kCdSampleRate,
                                              kCdChannels, 0, &error));
  if (!FEncoder) Fail(error);
  // The library's own serial comes from an unseeded rand(): every run's
  // streams would share their serials, which chained or joined files need
  // to tell apart.
  error = ope_encoder_ctl(
      FEncoder.get(), OPE_SET_SERIALNO(static_cast<int>(QRandomGenerator::system()->generate())));
  if (error == OPE_OK) error = ope_encoder_ctl(FEncoder.get(), OPUS_SET_BITRATE(FBitRate * 1000));
  if (error == OPE_OK) error = ope_encoder_ctl(FEncoder.get(), OPUS_SET_VBR(1));
  if (error != OPE_OK) Fail(error);
}

void TOpusEncoder::Write(const int16_t* frames, size_t count) {
  while (count > 0) {
    const int part = int(std::min<size_t>(count, INT_MAX / kCdChannels));
    const int error = ope_encoder_write(FEncoder.get(), frames, part);
    if (error != OPE_OK || FOutput.Failed()) Fail(error);
    frames += size_t(part) * kCdChannels;
    count -= size_t(part);
  }
}

void TOpusEncoder::End() {
  // Drain encodes the delayed samples and writes the last page with the
  // granule position that trims the padding.
  const int error = ope_encoder_drain(FEncoder.get());
  if (error != OPE_OK || FOutput.Failed()) Fail(error);
  FEncoder.reset();
  CloseOutput(*FOutput.File());
}

void TOpusEncoder::Fail(int error) {
  FOutput.RethrowFailure();
  throw EEncoderError(QString("Opus encoder error for \"%1\": %2")
                          .arg(FOutput.File()->fileName(), QString::fromUtf8(ope_strerror(error))));
}

int TOpusEncoder::WriteCallback(void* self, const unsigned char* data, int length) {
  return static_cast<TOpusEncoder*>(self)->FOutput.Write(data, length) ? 0 : 1;
}

// The output is the caller's: End closes it and checks the close.
int TOpusEncoder::CloseCallback(void*) { return 0; }
