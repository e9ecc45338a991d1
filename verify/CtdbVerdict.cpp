#include "verify/CtdbVerdict.h"

#include <QLocale>

namespace {

// Column 0 agrees at many offsets only where it is silent; the CRC of a few
// of them tells, and a hostile entry cannot make a rip check thousands.
constexpr size_t kMaxOffsetsTried = 8;

TCtdbVerdict Tally(TArAnswer answer, const std::vector<TCtdbEntry>& entries,
                   const std::vector<TCtdbEntryResult>& results,
                   bool (*agrees)(const TCtdbEntryResult&, size_t), size_t track) {
  TCtdbVerdict verdict;
  switch (answer) {
    case TArAnswer::Pending:
      return verdict;
    case TArAnswer::NotFound:
      verdict.Kind = TCtdbVerdict::NotInDatabase;
      return verdict;
    case TArAnswer::Unreadable:
      verdict.Kind = TCtdbVerdict::Unreadable;
      return verdict;
    case TArAnswer::NoAnswer:
      verdict.Kind = TCtdbVerdict::NoAnswer;
      return verdict;
    case TArAnswer::Found:
      break;
  }
  int best = -1;
  bool counted = false;
  for (size_t i = 0; i < entries.size() && i < results.size(); ++i) {
    if (!results[i].Counted) continue;
    counted = true;
    verdict.Total += entries[i].Confidence;
    if (!agrees(results[i], track)) continue;
    verdict.Confidence += entries[i].Confidence;
    if (best < entries[i].Confidence) {
      best = entries[i].Confidence;
      verdict.Offset = results[i].Offset;
    }
  }
  verdict.Kind = best >= 0 ? TCtdbVerdict::Accurate
                 : counted ? TCtdbVerdict::Differs
                           : TCtdbVerdict::NotInDatabase;
  return verdict;
}

}  // namespace

TCtdbEntryResult CtdbCheckEntry(const TCtdbChecksums& rip, const TCtdbEntry& entry) {
  TCtdbEntryResult result;
  const auto layout = CtdbLayoutOf(entry.Toc, entry.LeadOut);
  result.Counted = rip.Complete() && entry.Stride == kCtdbStrideSamples && layout &&
                   layout->Words == rip.Layout().Words;
  if (!result.Counted) return result;
  const std::vector<int> offsets =
      entry.Syndrome.empty() ? std::vector<int>{0} : rip.Column0Matches(entry.Syndrome);
  for (size_t i = 0; i < offsets.size() && i < kMaxOffsetsTried; ++i) {
    const int offset = offsets[i];
    if (rip.WindowCrc(offset) != entry.Crc) continue;
    result.Offset = offset;
    result.Accurate = true;
    break;
  }
  if (!result.Accurate && !offsets.empty() && !entry.Syndrome.empty()) result.Offset = offsets[0];
  result.OffsetFound = !entry.Syndrome.empty() && !offsets.empty();
  const size_t tracks = rip.Layout().TrackStarts.size();
  if (entry.TrackCrcs.size() == tracks)
    for (size_t i = 0; i < tracks; ++i)
      result.TrackAccurate.push_back(rip.TrackCrc(i, result.Offset) == entry.TrackCrcs[i]);
  return result;
}

TCtdbVerdict CtdbDiscVerdict(TArAnswer answer, const std::vector<TCtdbEntry>& entries,
                             const std::vector<TCtdbEntryResult>& results) {
  return Tally(
      answer, entries, results, [](const TCtdbEntryResult& r, size_t) { return r.Accurate; }, 0);
}

TCtdbVerdict CtdbTrackVerdict(TArAnswer answer, const std::vector<TCtdbEntry>& entries,
                              const std::vector<TCtdbEntryResult>& results, size_t track) {
  return Tally(
      answer, entries, results,
      [](const TCtdbEntryResult& r, size_t i) {
        return r.TrackAccurate.empty() ? r.Accurate
                                       : i < r.TrackAccurate.size() && r.TrackAccurate[i];
      },
      track);
}

QString TCtdbVerdict::Text() const {
  const QLocale english(QLocale::English);
  switch (Kind) {
    case Accurate:
      return QString("Accurately ripped (confidence %1 of %2%3)")
          .arg(english.toString(Confidence), english.toString(Total),
               Offset == 0 ? QString() : QString::asprintf(", offset %+d", Offset));
    case Differs:
      return QString("Differs from the CTDB database (%1 submissions)")
          .arg(english.toString(Total));
    case NotInDatabase:
      return QStringLiteral("Not in the CTDB database");
    case Unreadable:
      return QStringLiteral("CTDB answer unreadable");
    case NoAnswer:
      return QStringLiteral("No answer from the CTDB database");
    case NotWhole:
      return QStringLiteral("Not verified: the disc was not read whole");
    case Pending:
      break;
  }
  return QStringLiteral("Not verified");
}

QString TCtdbVerdict::Short() const {
  switch (Kind) {
    case Accurate:
      return QString("CTDB (%1)").arg(Confidence);
    case Differs:
      return QStringLiteral("CTDB differs");
    default:
      return QString();
  }
}
