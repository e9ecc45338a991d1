#include "encode/TaggedEncoder.h"

#include <QFile>

TTaggedEncoder::TTaggedEncoder(std::unique_ptr<TEncoder> encoder, int32_t format, TTrackTags tags,
                               bool writeTags, std::shared_ptr<TLoudness> loudness)
    : FEncoder(std::move(encoder)),
      FFormat(format),
      FTags(std::move(tags)),
      FWriteTags(writeTags),
      FLoudness(std::move(loudness)) {}

void TTaggedEncoder::Begin(QFile& output, int64_t expectedFrames) {
  FPath = output.fileName();
  FEncoder->Begin(output, expectedFrames);
}

void TTaggedEncoder::Write(const int16_t* frames, size_t count) {
  if (FLoudness) FLoudness->Add(frames, count);
  FEncoder->Write(frames, count);
}

void TTaggedEncoder::End() {
  FEncoder->End();
  TTrackTags tags = FWriteTags ? FTags : TTrackTags();
  if (FLoudness) tags.TrackGain = FLoudness->Track();
  if (!FWriteTags && !tags.TrackGain) return;
  const QString error = WriteTags(FPath, FFormat, tags);
  if (!error.isEmpty()) throw EEncoderError(error);
}
