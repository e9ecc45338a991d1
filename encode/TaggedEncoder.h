// TTaggedEncoder: a format's encoder as the session runs it for one track. It
// passes the frames on, measures their loudness on the way (one pass: the
// encoder and the meter see the same chunks), and once the file is whole
// writes the track's tags into it, so the file is complete when the worker
// is done. The loudness stays with the session for the album values. Used by
// one worker at a time.
#pragma once

#include <memory>

#include "encode/Encoder.h"
#include "encode/Tags.h"

class TTaggedEncoder : public TEncoder {
 public:
  // tags: written when `writeTags`; loudness: measured (and its track gain
  // written) when not null.
  TTaggedEncoder(std::unique_ptr<TEncoder> encoder, int32_t format, TTrackTags tags, bool writeTags,
                 std::shared_ptr<TLoudness> loudness);

  void Begin(QFile& output, int64_t expectedFrames) override;
  void Write(const int16_t* frames, size_t count) override;
  void End() override;

 private:
  std::unique_ptr<TEncoder> FEncoder;
  int32_t FFormat;
  TTrackTags FTags;
  bool FWriteTags;
  std::shared_ptr<TLoudness> FLoudness;
  QString FPath;
};
