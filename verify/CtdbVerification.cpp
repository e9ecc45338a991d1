#include "verify/CtdbVerification.h"

#include <QLocale>
#include <algorithm>

#include "platform/EventWait.h"

namespace {

constexpr int64_t kSamplesPerSecond = 44100;

}  // namespace

QString CtdbChangedText(const TCtdbTrackRepair& track) {
  const int64_t seconds = track.FirstSample / kSamplesPerSecond;
  return QString("%1 samples at %2:%3")
      .arg(QLocale(QLocale::English).toString(qlonglong(track.Samples)))
      .arg(seconds / 60, 2, 10, QChar(u'0'))
      .arg(seconds % 60, 2, 10, QChar(u'0'));
}

TCtdbVerification::TCtdbVerification(const std::vector<TArTocTrack>& tracks, int32_t leadOut,
                                     const QString& server, int timeoutMs)
    : FServer(server), FLayout(CtdbLayoutOf(tracks, leadOut)), FTimeoutMs(timeoutMs) {
  const auto first =
      std::find_if(tracks.begin(), tracks.end(), [](const TArTocTrack& t) { return t.Audio; });
  FFirstTrack = int(first - tracks.begin()) + 1;
  FNextTrack = FFirstTrack;
  FTrackCount = FLayout ? int(FLayout->TrackStarts.size()) : 0;
  FClient.OnDone = [this] { Evaluate(); };
  FClient.Start(server, CtdbTocList(tracks, leadOut), timeoutMs);
}

bool TCtdbVerification::BeginTrack(int trackNum) {
  if (trackNum < FFirstTrack || trackNum >= FFirstTrack + FTrackCount || FBroken) return false;
  if (trackNum != FNextTrack) {
    FBroken = true;
    FSums.reset();
    return false;
  }
  if (trackNum == FFirstTrack) FSums.emplace(*FLayout);
  FTrackBytes = 0;
  return true;
}

void TCtdbVerification::Add(const uint8_t* data, size_t bytes) {
  if (!FSums) return;
  FSums->Add(data, bytes);
  FTrackBytes += int64_t(bytes);
}

void TCtdbVerification::EndTrack(int trackNum, bool whole) {
  if (!FSums || FBroken || trackNum != FNextTrack) return;
  const size_t index = size_t(trackNum - FFirstTrack);
  const int64_t end =
      index + 1 < FLayout->TrackStarts.size() ? FLayout->TrackStarts[index + 1] : FLayout->Words;
  if (!whole || FTrackBytes != 2 * (end - FLayout->TrackStarts[index])) {
    FBroken = true;
    FSums.reset();
    return;
  }
  ++FNextTrack;
  Evaluate();
}

void TCtdbVerification::WaitForAnswer(const std::function<bool()>& stopped) {
  // The client's own deadline wakes the loop; this one only backs it up.
  if (!platform::ServeEventsWhile([this] { return AnswerPending(); }, stopped, FTimeoutMs + 1000))
    FClient.Abort();
}

QString TCtdbVerification::AnswerText() const {
  switch (FClient.Answer()) {
    case TArAnswer::Found:
      return QString("Found (%1 entries)").arg(FClient.Entries().size());
    case TArAnswer::NotFound:
      return QStringLiteral("Not in the CTDB database");
    case TArAnswer::Unreadable:
      return "CTDB answer unreadable (" + FClient.Detail() + ")";
    case TArAnswer::NoAnswer:
      return "No answer from the CTDB database (" + FClient.Detail() + ")";
    case TArAnswer::Pending:
      break;
  }
  return QStringLiteral("No answer yet");
}

bool TCtdbVerification::Whole() const { return !FBroken && FSums && FSums->Complete(); }

void TCtdbVerification::Evaluate() {
  FResults.clear();
  if (!Whole() || FClient.Answer() != TArAnswer::Found) return;
  for (const TCtdbEntry& entry : FClient.Entries())
    FResults.push_back(CtdbCheckEntry(*FSums, entry));
}

TCtdbVerdict TCtdbVerification::DiscVerdict() const {
  if (FClient.Answer() == TArAnswer::Found && !Whole()) return {TCtdbVerdict::NotWhole};
  return CtdbDiscVerdict(FClient.Answer(), FClient.Entries(), FResults);
}

TCtdbVerdict TCtdbVerification::TrackVerdict(int trackNum) const {
  if (trackNum < FFirstTrack || trackNum >= FFirstTrack + FTrackCount) return {};
  if (FClient.Answer() == TArAnswer::Found && !Whole()) return {TCtdbVerdict::NotWhole};
  return CtdbTrackVerdict(FClient.Answer(), FClient.Entries(), FResults,
                          size_t(trackNum - FFirstTrack));
}

bool TCtdbVerification::MayRepair() const {
  if (FBroken || !FLayout) return false;
  if (AnswerPending()) return true;
  if (FClient.Answer() != TArAnswer::Found) return false;
  return std::any_of(FClient.Entries().begin(), FClient.Entries().end(),
                     [this](const TCtdbEntry& entry) {
                       const auto layout = CtdbLayoutOf(entry.Toc, entry.LeadOut);
                       return layout && layout->Words == FLayout->Words &&
                              !CtdbRecoveryUrl(FServer, entry).isEmpty();
                     });
}

std::vector<TCtdbEntry> TCtdbVerification::RepairCandidates() const {
  std::vector<size_t> order;
  const std::vector<TCtdbEntry>& entries = FClient.Entries();
  for (size_t i = 0; i < FResults.size() && i < entries.size(); ++i)
    if (FResults[i].Counted && !CtdbRecoveryUrl(FServer, entries[i]).isEmpty()) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (FResults[a].OffsetFound != FResults[b].OffsetFound) return FResults[a].OffsetFound;
    return entries[a].Confidence > entries[b].Confidence;
  });
  std::vector<TCtdbEntry> candidates;
  for (const size_t i : order) candidates.push_back(entries[i]);
  return candidates;
}

void TCtdbVerification::Repaired(const TCtdbRepairRecord& record,
                                 std::optional<TCtdbChecksums> after) {
  FRepair = record;
  if (!record.Applied || !after) return;
  FSums = std::move(after);
  Evaluate();
}

QString TCtdbVerification::TrackText(int trackNum) const {
  const QString verdict = TrackVerdict(trackNum).Text();
  const auto repaired = FRepair.Tracks.find(trackNum);
  if (repaired == FRepair.Tracks.end()) return verdict;
  if (!FRepair.Applied) return "Differs in " + CtdbChangedText(repaired->second);
  return verdict + "; repaired " + CtdbChangedText(repaired->second);
}

QString TCtdbVerification::TrackShort(int trackNum) const {
  const QString verdict = TrackVerdict(trackNum).Short();
  const bool repaired = FRepair.Applied && FRepair.Tracks.count(trackNum) > 0;
  return repaired && !verdict.isEmpty() ? verdict + ", repaired" : verdict;
}

QString TCtdbVerification::RepairText() const {
  if (!FRepair.Tried) return QString();
  QStringList tracks;
  for (const auto& [number, track] : FRepair.Tracks)
    tracks << QString::asprintf("track %02d ", number) + CtdbChangedText(track);
  if (!FRepair.Applied)
    return "Not repaired: " + FRepair.Detail +
           (tracks.isEmpty() ? QString() : "; the rip differs in " + tracks.join(", "));
  return QString(
             "Repaired from entry %1 (confidence %2, offset %3, %4 rows of recovery data): %5; "
             "the CTDB CRC and AccurateRip checked after")
      .arg(FRepair.EntryId)
      .arg(FRepair.Confidence)
      .arg(QString::asprintf("%+d", FRepair.Offset))
      .arg(FRepair.Rows)
      .arg(tracks.join(", "));
}

QString TCtdbVerification::LogBlock() const {
  QString text = "CTDB\n    Lookup: " + AnswerText() + "\n    Disc: " + DiscVerdict().Text() + "\n";
  if (Whole() && FClient.Answer() == TArAnswer::Found)
    for (int track = FFirstTrack; track < FFirstTrack + FTrackCount; ++track)
      text += QString::asprintf("    Track %02d: ", track) + TrackText(track) + "\n";
  if (FRepair.Tried) text += "    Repair: " + RepairText() + "\n";
  if (FRepair.Applied) text += "    'R' in a sector map: sectors repaired from the CTDB\n";
  return text;
}
