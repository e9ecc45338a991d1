// TFlacEncoder: lossless output through libFLAC at a compression level from
// 0 to 8. The encoder decodes each frame again as it goes (verify mode), so a
// frame that would not give back the input fails the track; the file carries
// a seek table sized by the expected length, padding for the tags, and the
// MD5 of the audio in its STREAMINFO. It owns the libFLAC encoder.
#pragma once

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <memory>
#include <vector>

#include "encode/Encoder.h"

class TFlacEncoder : public TEncoder {
 public:
  explicit TFlacEncoder(int level);
  ~TFlacEncoder() override;

  void Begin(QFile& output, int64_t expectedFrames) override;
  void Write(const int16_t* frames, size_t count) override;
  void End() override;

 private:
  static FLAC__StreamEncoderWriteStatus WriteCallback(const FLAC__StreamEncoder*,
                                                      const FLAC__byte buffer[], size_t bytes,
                                                      uint32_t, uint32_t, void* self);
  static FLAC__StreamEncoderSeekStatus SeekCallback(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                    void* self);
  static FLAC__StreamEncoderTellStatus TellCallback(const FLAC__StreamEncoder*,
                                                    FLAC__uint64* offset, void* self);
  // Throws the reason the encoder stopped: the output's error first.
  [[noreturn]] void Fail(const char* step);

  struct TEncoderDeleter {
    void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
  };
  struct TMetadataDeleter {
    void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
  };
  using TMetadata = std::unique_ptr<FLAC__StreamMetadata, TMetadataDeleter>;

  int FLevel;
  std::unique_ptr<FLAC__StreamEncoder, TEncoderDeleter> FEncoder;
  std::vector<TMetadata> FMetadata;  // must outlive the encoder's finish
  TCallbackOutput FOutput;
  std::vector<FLAC__int32> FBuffer;
};
