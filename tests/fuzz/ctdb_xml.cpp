// CTDB lookup answers as a server might send them: the reader takes only
// whole answers within its bounds; every entry it gives has a disc layout,
// syndromes and track CRCs of its own counts and a recovery address that
// stays plain http; a rip checked against the first entries gives verdicts
// within what they hold.
#include "FuzzUtil.h"
#include "verify/Ctdb.h"
#include "verify/CtdbChecksums.h"
#include "verify/CtdbVerdict.h"

namespace {

// A silent disc of 40 sectors ("0:40"), read whole: silence agrees with an
// entry's zero syndromes at every offset, the costliest case.
const TCtdbChecksums& SilentRip() {
  static const TCtdbChecksums rip = [] {
    TCtdbChecksums sums(*CtdbLayoutOf({{0, true}}, 40));
    const std::vector<uint8_t> silence(40 * 2352);
    sums.Add(silence.data(), silence.size());
    return sums;
  }();
  return rip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<TCtdbEntry> entries;
  QString error;
  if (!ReadCtdbEntries(fuzz::Bytes(data, size), entries, error)) {
    FUZZ_CHECK(entries.empty(), error);
    FUZZ_CHECK(!error.isEmpty(), QString());
    return 0;
  }
  FUZZ_CHECK(entries.size() <= 256, QString::number(entries.size()));
  std::vector<TCtdbEntryResult> results;
  for (const TCtdbEntry& entry : entries) {
    FUZZ_CHECK(entry.Npar >= 2 && entry.Npar <= 32 && entry.Npar % 2 == 0,
               QString::number(entry.Npar));
    FUZZ_CHECK(entry.Syndrome.empty() || int(entry.Syndrome.size()) == entry.Npar, QString());
    const auto layout = CtdbLayoutOf(entry.Toc, entry.LeadOut);
    FUZZ_CHECK(layout.has_value(), QString());
    FUZZ_CHECK(entry.TrackCrcs.empty() || entry.TrackCrcs.size() == layout->TrackStarts.size(),
               QString::number(entry.TrackCrcs.size()));
    const QString url = CtdbRecoveryUrl("http://db.example", entry);
    FUZZ_CHECK(url.isEmpty() || url.startsWith(QLatin1String("http://")), url);
    for (const QChar c : url) FUZZ_CHECK(c > u' ', url);
    // A few entries are checked, as a rip checks every entry of the answer.
    results.push_back(results.size() < 4 ? CtdbCheckEntry(SilentRip(), entry) : TCtdbEntryResult());
    FUZZ_CHECK(!results.back().Accurate || results.back().Counted, QString());
  }
  const TCtdbVerdict verdict = CtdbDiscVerdict(TArAnswer::Found, entries, results);
  FUZZ_CHECK(verdict.Confidence <= verdict.Total, verdict.Text());
  for (size_t track = 0; track < 2; ++track) {
    const TCtdbVerdict trackVerdict = CtdbTrackVerdict(TArAnswer::Found, entries, results, track);
    FUZZ_CHECK(trackVerdict.Confidence <= trackVerdict.Total, trackVerdict.Text());
  }
  return 0;
}
