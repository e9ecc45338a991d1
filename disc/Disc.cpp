#include "disc/Disc.h"

#include <algorithm>

namespace {

constexpr uint32_t kLeadIn = 150;

uint32_t DigitSum(uint32_t value) {
  uint32_t sum = 0;
  for (; value > 0; value /= 10) sum += value % 10;
  return sum;
}

}  // namespace

const TDiscTrack* TDisc::Track(int32_t number) const {
  const auto found = std::find_if(Tracks.begin(), Tracks.end(), [number](const TDiscTrack& track) {
    return track.Number == number;
  });
  return found == Tracks.end() ? nullptr : &*found;
}

int64_t TDisc::AudioBytes(int32_t number) const {
  if (number == 0) return int64_t(FirstStart()) * 2352;
  const TDiscTrack* track = Track(number);
  return track ? int64_t(track->AudioSectors()) * 2352 : 0;
}

int32_t TDisc::AudioTrackCount() const {
  return int32_t(std::count_if(Tracks.begin(), Tracks.end(),
                               [](const TDiscTrack& track) { return track.IsAudio(); }));
}

uint32_t CddbDiscId(const std::vector<TDiscTrack>& tracks) {
  uint32_t n = 0;
  uint32_t t = 0;
  for (const TDiscTrack& track : tracks) {
    const uint32_t s = (uint32_t(track.Start) + kLeadIn) / 75;
    n += DigitSum(s);
    t += (uint32_t(track.End) + kLeadIn) / 75 - s;
  }
  return ((n % 255) << 24) | (t << 8) | uint32_t(tracks.size());
}
