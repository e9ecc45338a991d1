#include "verify/AccurateRip.h"

#include <QtEndian>

TArDiscIds ArDiscIds(const std::vector<TArTocTrack>& tracks, int32_t leadOut, uint32_t cddbId) {
  TArDiscIds ids;
  ids.Id3 = cddbId;
  for (const TArTocTrack& track : tracks) {
    if (!track.Audio) continue;
    ++ids.AudioTracks;
    const uint32_t offset = uint32_t(track.StartSector);
    ids.Id1 += offset;
    ids.Id2 += std::max(offset, 1u) * uint32_t(ids.AudioTracks);
  }
  ids.Id1 += uint32_t(leadOut);
  ids.Id2 += uint32_t(leadOut) * uint32_t(ids.AudioTracks + 1);
  return ids;
}

QString DbarFileName(const TArDiscIds& ids) {
  return QString::asprintf("dBAR-%03d-%08x-%08x-%08x.bin", ids.AudioTracks, ids.Id1, ids.Id2,
                           ids.Id3);
}

QString DbarUrl(const QString& server, const TArDiscIds& ids) {
  QString base = server.trimmed();
  while (base.endsWith(u'/')) base.chop(1);
  return base +
         QString::asprintf("/accuraterip/%x/%x/%x/", ids.Id1 & 0xF, ids.Id1 >> 4 & 0xF,
                           ids.Id1 >> 8 & 0xF) +
         DbarFileName(ids);
}

std::optional<std::vector<TDbarBlock>> ParseDbar(const QByteArray& data, const TArDiscIds& ids) {
  constexpr qsizetype kHeaderBytes = 13;
  constexpr qsizetype kEntryBytes = 9;
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
  std::vector<TDbarBlock> blocks;
  qsizetype at = 0;
  while (at < data.size()) {
    if (data.size() - at < kHeaderBytes) return std::nullopt;
    TDbarBlock block;
    block.Ids.AudioTracks = bytes[at];
    block.Ids.Id1 = qFromLittleEndian<uint32_t>(bytes + at + 1);
    block.Ids.Id2 = qFromLittleEndian<uint32_t>(bytes + at + 5);
    block.Ids.Id3 = qFromLittleEndian<uint32_t>(bytes + at + 9);
    // A block of another disc means the answer is not this disc's file.
    if (block.Ids != ids) return std::nullopt;
    at += kHeaderBytes;
    if (data.size() - at < kEntryBytes * block.Ids.AudioTracks) return std::nullopt;
    for (int i = 0; i < block.Ids.AudioTracks; ++i, at += kEntryBytes)
      block.Tracks.push_back({bytes[at], qFromLittleEndian<uint32_t>(bytes + at + 1)});
    blocks.push_back(std::move(block));
  }
  if (blocks.empty()) return std::nullopt;
  return blocks;
}

TArVerdict ArTrackVerdict(TArAnswer answer, const std::vector<TDbarBlock>& blocks, int dbarIndex,
                          uint32_t v1, uint32_t v2) {
  TArVerdict verdict;
  switch (answer) {
    case TArAnswer::Pending:
      verdict.Kind = TArVerdict::Pending;
      return verdict;
    case TArAnswer::NotFound:
      verdict.Kind = TArVerdict::NotInDatabase;
      return verdict;
    case TArAnswer::Unreadable:
      verdict.Kind = TArVerdict::Unreadable;
      return verdict;
    case TArAnswer::NoAnswer:
      verdict.Kind = TArVerdict::NoAnswer;
      return verdict;
    case TArAnswer::Found:
      break;
  }
  // Each pressing is a block of its own, and each submission in it gave v1
  // or v2: the rips of every block that agrees count, each version apart.
  for (const TDbarBlock& block : blocks) {
    if (dbarIndex < 0 || size_t(dbarIndex) >= block.Tracks.size()) continue;
    const TDbarBlock::TEntry& entry = block.Tracks[size_t(dbarIndex)];
    verdict.Submissions += entry.Confidence;
    if (entry.Confidence == 0) continue;
    if (entry.Crc == v2)
      verdict.V2Confidence += entry.Confidence;
    else if (entry.Crc == v1)
      verdict.V1Confidence += entry.Confidence;
  }
  // No rips on record (as for a track beyond a data track's entry) prove
  // nothing either way.
  verdict.Kind = verdict.Confidence() > 0  ? TArVerdict::Accurate
                 : verdict.Submissions > 0 ? TArVerdict::NotAccurate
                                           : TArVerdict::NoSubmissions;
  return verdict;
}

TArVerdict ArPressingVerdict(const TArVerdict& verdict, const std::vector<TDbarBlock>& blocks,
                             int dbarIndex, const std::vector<TOffsetSum>& sums) {
  if (verdict.Kind != TArVerdict::NotAccurate || dbarIndex < 0) return verdict;
  TArVerdict best = verdict;
  for (const TOffsetSum& sum : sums) {
    int agreeing = 0;
    for (const TDbarBlock& block : blocks)
      if (size_t(dbarIndex) < block.Tracks.size() && block.Tracks[size_t(dbarIndex)].Crc == sum.V1)
        agreeing += block.Tracks[size_t(dbarIndex)].Confidence;
    if (agreeing <= best.V1Confidence) continue;
    best.Kind = TArVerdict::Accurate;
    best.V1Confidence = agreeing;
    best.Offset = sum.Offset;
    best.OffsetV1 = sum.V1;
  }
  return best;
}

QString TArVerdict::Reason() const {
  switch (Kind) {
    case NoSubmissions:
      return QStringLiteral("the AccurateRip database holds no rips of this track");
    case NotInDatabase:
      return QStringLiteral("the disc is not in the AccurateRip database");
    case Unreadable:
      return QStringLiteral("the AccurateRip answer is unreadable");
    case NoAnswer:
      return QStringLiteral("no answer from the AccurateRip database");
    default:
      return QString();
  }
}

QString TArVerdict::Text() const {
  switch (Kind) {
    case Accurate: {
      QStringList parts;
      if (V2Confidence > 0) parts << QString("%1 (v2)").arg(V2Confidence);
      if (V1Confidence > 0) parts << QString("%1 (v1)").arg(V1Confidence);
      const QString pressing =
          Offset == 0 ? QString()
                      : QString(", pressing offset %1%2").arg(Offset > 0 ? "+" : "").arg(Offset);
      return QString("Accurately ripped%1, confidence %2 of %3 submissions")
          .arg(pressing, parts.join(" + "))
          .arg(Submissions);
    }
    case NotAccurate:
      return QString("Not accurately ripped (no match among %1 submissions)").arg(Submissions);
    case Pending:
      return QStringLiteral("Not verified");
    default:
      return "Not verified: " + Reason();
  }
}

QString TArVerdict::Short() const {
  switch (Kind) {
    case Accurate:
      return QString("Accurate (%1)").arg(Confidence());
    case NotAccurate:
      return QStringLiteral("Not accurate");
    case Pending:
      return QString();
    default:
      return QStringLiteral("No data");
  }
}

void TArTally::Add(const TArVerdict& verdict) {
  if (verdict.Kind == TArVerdict::Accurate)
    ++Accurate;
  else if (verdict.Kind == TArVerdict::NotAccurate)
    ++NotAccurate;
  else
    AddNotVerified(verdict.Kind == TArVerdict::Pending ? QStringLiteral("no verdict")
                                                       : verdict.Reason());
}

void TArTally::AddNotVerified(const QString& reason) {
  ++NotVerified;
  if (!Reasons.contains(reason)) Reasons << reason;
}

QString TArTally::Text() const {
  const int total = Accurate + NotAccurate + NotVerified;
  if (total == 0) return QStringLiteral("No track to verify");
  if (Accurate == total) return QStringLiteral("All tracks accurately ripped");
  QString text = QString("%1 of %2 tracks accurately ripped").arg(Accurate).arg(total);
  if (NotAccurate > 0) text += QString(", %1 not accurately ripped").arg(NotAccurate);
  if (NotVerified > 0)
    text += QString(", %1 not verified (%2)").arg(NotVerified).arg(Reasons.join("; "));
  return text;
}
