// TLoudness: the loudness of one track measured with libebur128 (integrated
// loudness by EBU R 128 gating, sample peak) from the frames as they are
// encoded, and the ReplayGain 2.0 values it gives: the gain to -18 LUFS and
// the peak. Albums combine the tracks' measurements without a second pass;
// MeasureFile measures a finished file of another run. One thread at a time.
#pragma once

#include <ebur128.h>

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct TReplayGain {
  double Gain = 0;  // dB to reach -18 LUFS
  double Peak = 0;  // largest sample, 1.0 full scale
};

class TLoudness {
 public:
  static constexpr double kReference = -18.0;  // LUFS

  // Two channels at the rate, CD audio's by default. Throws std::bad_alloc
  // when libebur128 cannot start.
  explicit TLoudness(unsigned rate = 44100);
  ~TLoudness();
  TLoudness(const TLoudness&) = delete;
  TLoudness& operator=(const TLoudness&) = delete;

  // Interleaved 16-bit stereo frames.
  void Add(const int16_t* frames, size_t count);
  // Nothing for a track too short or too quiet to have a loudness.
  std::optional<TReplayGain> Track() const;
  // The tracks measured as one programme; nothing when none has a loudness.
  static std::optional<TReplayGain> Album(const std::vector<const TLoudness*>& tracks);

 private:
  static std::optional<TReplayGain> Value(std::vector<ebur128_state*> states);
  ebur128_state* FState = nullptr;
};

// The loudness of a finished stereo file of a format libsndfile decodes
// (FLAC, Opus, MP3, WAV) and its length in seconds; null, with why in error,
// when it cannot be decoded or stopped() says to end.
std::unique_ptr<TLoudness> MeasureFile(const QString& path, double& seconds, QString& error,
                                       const std::function<bool()>& stopped);
