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

bool TDiscNames::IsCompilation() const {
  if (MBAlbumArtistIDs.contains(QLatin1String(kVariousArtistsId))) return true;
  if (!MBAlbumArtistIDs.isEmpty()) return false;
  const QString artist = AlbumArtist.trimmed();
  return artist.compare(QLatin1String("Various"), Qt::CaseInsensitive) == 0 ||
         artist.compare(QLatin1String("Various Artists"), Qt::CaseInsensitive) == 0;
}

QString PlaceholderTitle(int32_t number, TTrackKind kind) {
  return QString::asprintf(kind == TTrackKind::Data ? "DataTrack%.2d" : "Track%.2d", number);
}

QString RealName(const QString& name, int32_t number) {
  const QString trimmed = name.trimmed();
  const bool placeholder = trimmed.isEmpty() || trimmed == QLatin1String(kNoArtist) ||
                           trimmed == QLatin1String(kNoTitle) ||
                           (number > 0 && (trimmed == PlaceholderTitle(number, TTrackKind::Audio) ||
                                           trimmed == PlaceholderTitle(number, TTrackKind::Data)));
  return placeholder ? QString() : name;
}
