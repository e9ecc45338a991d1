#include "musicbrainz/MbDiscId.h"

#include <discid/discid.h>

#include <memory>

#include "cddb/CDInfo.h"

namespace {

constexpr int kLeadIn = 150;
// The gap of the second session (lead-out, lead-in and pre-gap) before the
// data track of an Enhanced CD.
constexpr int kSessionGap = 11400;

}  // namespace

TMbToc MbTocOf(const TMyCDInfo& info) {
  TMbToc toc;
  int count = std::min(info.TrackCount, int(TMyCDInfo::MaxTracks));
  if (count <= 0) return toc;
  const auto& tracks = info.Tracks;
  if (count > 1 && tracks[size_t(count - 1)].Kind == TTrackKind::Data) {
    --count;
    toc.LeadOut = tracks[size_t(count)].StartSector + kLeadIn - kSessionGap;
  } else {
    toc.LeadOut = tracks[size_t(count - 1)].EndSector + kLeadIn;
  }
  toc.Last = count;
  for (int i = 0; i < count; ++i) toc.Offsets.push_back(tracks[size_t(i)].StartSector + kLeadIn);
  return toc;
}

TMbDiscId ComputeMbDiscId(const TMbToc& toc) {
  TMbDiscId result;
  if (toc.Last < toc.First || int(toc.Offsets.size()) != toc.Last - toc.First + 1 ||
      toc.Last > 99) {
    result.Error = "the disc has no audio tracks";
    return result;
  }
  std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
  int offsets[100] = {};
  offsets[0] = toc.LeadOut;
  for (int n = toc.First; n <= toc.Last; ++n) offsets[n] = toc.Offsets[size_t(n - toc.First)];
  if (!disc || !discid_put(disc.get(), toc.First, toc.Last, offsets)) {
    result.Error = disc ? QString::fromUtf8(discid_get_error_msg(disc.get())) : "out of memory";
    return result;
  }
  result.Id = QString::fromLatin1(discid_get_id(disc.get()));
  result.Toc = QString::fromLatin1(discid_get_toc_string(disc.get()));
  return result;
}
