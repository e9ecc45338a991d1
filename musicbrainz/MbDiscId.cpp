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

TMbToc MbTocOf(const std::vector<TDiscTrack>& tracks) {
  TMbToc toc;
  int count = int(tracks.size());
  if (count <= 0) return toc;
  if (count > 1 && !tracks[size_t(count - 1)].IsAudio()) {
    --count;
    toc.LeadOut = tracks[size_t(count)].Start + kLeadIn - kSessionGap;
  } else {
    toc.LeadOut = tracks[size_t(count - 1)].End + kLeadIn;
  }
  toc.Last = count;
  for (int i = 0; i < count; ++i) toc.Offsets.push_back(tracks[size_t(i)].Start + kLeadIn);
  return toc;
}

TMbToc MbTocOf(const TMyCDInfo& info) { return MbTocOf(info.TocTracks()); }

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
  result.SubmissionUrl = QString::fromLatin1(discid_get_submission_url(disc.get()));
  return result;
}
