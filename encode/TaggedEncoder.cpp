#include "encode/TaggedEncoder.h"

#include <QFile>

TTaggedEncoder::TTaggedEncoder(std::unique_ptr<TEncoder> encoder, int32_t format, TTrackTags tags,
                               bool writeTags, std::shared_ptr<TLoudness> loudness,
                               std::shared_ptr<const TPendingCover> cover)
    : FEncoder(std::move(encoder)),
      FFormat(format),
      FTags(std::move(tags)),
      FWriteTags(writeTags),
      FLoudness(std::move(loudness)),
      FCover(std::move(cover)) {}

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
  QByteArray image;
  QString mime;
  if (FWriteTags && FCover && FCover->Wait(kCoverWaitMs, image, mime) && !image.isEmpty()) {
    tags.Cover = image;
    tags.CoverMime = mime;
  }
  if (FLoudness) tags.TrackGain = FLoudness->Track();
  if (!FWriteTags && !tags.TrackGain) return;
  const QString error = WriteTags(FPath, FFormat, tags);
  if (!error.isEmpty()) throw EEncoderError(error);
}

void TPendingCover::Set(const QByteArray& image, const QString& mime) {
  {
    const std::lock_guard<std::mutex> lock(FLock);
    if (FSet) return;
    FSet = true;
    FImage = image;
    FMime = mime;
  }
  FChanged.notify_all();
}

bool TPendingCover::Wait(int timeoutMs, QByteArray& image, QString& mime) const {
  std::unique_lock<std::mutex> lock(FLock);
  if (!FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FSet; }))
    return false;
  image = FImage;
  mime = FMime;
  return true;
}
