#include "encode/ReplayGain.h"

#include <sndfile.h>

#include <QFile>
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

TLoudness::TLoudness(unsigned rate) {
  FState = ebur128_init(2, rate, EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
  if (!FState) throw std::bad_alloc();
}

TLoudness::~TLoudness() { ebur128_destroy(&FState); }

void TLoudness::Add(const int16_t* frames, size_t count) {
  if (count > 0) ebur128_add_frames_short(FState, frames, count);
}

std::optional<TReplayGain> TLoudness::Track() const { return Value({FState}); }

std::optional<TReplayGain> TLoudness::Album(const std::vector<const TLoudness*>& tracks) {
  std::vector<ebur128_state*> states;
  for (const TLoudness* track : tracks) states.push_back(track->FState);
  return Value(states);
}

std::optional<TReplayGain> TLoudness::Value(std::vector<ebur128_state*> states) {
  if (states.empty()) return std::nullopt;
  double loudness = 0;
  if (ebur128_loudness_global_multiple(states.data(), states.size(), &loudness) !=
          EBUR128_SUCCESS ||
      !std::isfinite(loudness))
    return std::nullopt;
  double peak = 0;
  for (ebur128_state* state : states) {
    for (unsigned channel = 0; channel < state->channels; ++channel) {
      double channelPeak = 0;
      if (ebur128_sample_peak(state, channel, &channelPeak) == EBUR128_SUCCESS)
        peak = std::max(peak, channelPeak);
    }
  }
  return TReplayGain{kReference - loudness, peak};
}

std::unique_ptr<TLoudness> MeasureFile(const QString& path, double& seconds, QString& error,
                                       const std::function<bool()>& stopped) {
  SF_INFO info{};
  const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(
      sf_open(QFile::encodeName(path).constData(), SFM_READ, &info), sf_close);
  if (!file) {
    error = QString::fromUtf8(sf_strerror(nullptr));
    return nullptr;
  }
  if (info.channels != 2 || info.samplerate <= 0) {
    error = QStringLiteral("it holds no stereo audio");
    return nullptr;
  }
  auto loudness = std::make_unique<TLoudness>(unsigned(info.samplerate));
  std::vector<int16_t> frames(2 * 65536);
  int64_t total = 0;
  for (sf_count_t got; (got = sf_readf_short(file.get(), frames.data(), 65536)) > 0;) {
    if (stopped()) {
      error = QStringLiteral("stopped");
      return nullptr;
    }
    loudness->Add(frames.data(), size_t(got));
    total += got;
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
    error = QString::fromUtf8(sf_strerror(file.get()));
    return nullptr;
  }
  seconds = double(total) / info.samplerate;
  return loudness;
}
