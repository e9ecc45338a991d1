// TTaggedEncoder: a format's encoder as the session runs it for one track. It
// passes the frames on, measures their loudness on the way (one pass: the
// encoder and the meter see the same chunks), and once the file is whole
// writes the track's tags into it, so the file is complete when the worker
// is done. The loudness stays with the session for the album values. Used by
// one worker at a time.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "encode/Encoder.h"
#include "encode/Tags.h"

// A cover that may still be on its way when a track's file is done: the
// session gives it once (empty when none came), the workers wait for it
// before tagging, so every track of the album carries the same cover. Set on
// the user-interface thread, read by any.
class TPendingCover {
 public:
  // The first call counts; later ones change nothing.
  void Set(const QByteArray& image, const QString& mime);
  // Waits until Set or for at most timeoutMs; false when the time ran out.
  bool Wait(int timeoutMs, QByteArray& image, QString& mime) const;

 private:
  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  bool FSet = false;
  QByteArray FImage;
  QString FMime;
};

class TTaggedEncoder : public TEncoder {
 public:
  // tags: written when `writeTags`; loudness: measured (and its track gain
  // written) when not null; cover: when not null, its image (once it came)
  // replaces the tags' cover.
  TTaggedEncoder(std::unique_ptr<TEncoder> encoder, int32_t format, TTrackTags tags, bool writeTags,
                 std::shared_ptr<TLoudness> loudness,
                 std::shared_ptr<const TPendingCover> cover = nullptr);

  // The longest a finished file waits for the cover: beyond the fetch's own
  // bound, which ends it first.
  static constexpr int kCoverWaitMs = 20000;

  void Begin(QFile& output, int64_t expectedFrames) override;
  void Write(const int16_t* frames, size_t count) override;
  void End() override;

 private:
  std::unique_ptr<TEncoder> FEncoder;
  int32_t FFormat;
  TTrackTags FTags;
  bool FWriteTags;
  std::shared_ptr<TLoudness> FLoudness;
  std::shared_ptr<const TPendingCover> FCover;
  QString FPath;
};
