#include "encode/ReplayGain.h"

#include <algorithm>
#include <cmath>
#include <new>

TLoudness::TLoudness() {
  FState = ebur128_init(2, 44100, EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
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
