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
  // Each pressing is a block of its own; the rips of every block that agrees
  // count. v2 is preferred: it also catches errors in the high bits.
  int v1Matches = 0, v2Matches = 0, entries = 0;
  for (const TDbarBlock& block : blocks) {
    if (dbarIndex < 0 || size_t(dbarIndex) >= block.Tracks.size()) continue;
    const TDbarBlock::TEntry& entry = block.Tracks[size_t(dbarIndex)];
    entries += entry.Confidence;
    if (entry.Confidence == 0) continue;
    if (entry.Crc == v2) v2Matches += entry.Confidence;
    if (entry.Crc == v1) v1Matches += entry.Confidence;
  }
  if (v2Matches > 0 || v1Matches > 0) {
    verdict.Kind = TArVerdict::Accurate;
    verdict.Version = v2Matches > 0 ? 2 : 1;
    verdict.Confidence = v2Matches > 0 ? v2Matches : v1Matches;
  } else {
    verdict.Kind = TArVerdict::NotAccurate;
    verdict.Confidence = entries;
  }
  return verdict;
}

QString TArVerdict::Text() const {
  switch (Kind) {
    case Accurate:
      return QString("Accurately ripped (confidence %1, v%2)").arg(Confidence).arg(Version);
    case NotAccurate:
      return QString("Not accurately ripped (database has %1 entries)").arg(Confidence);
    case NotInDatabase:
      return QStringLiteral("Not in the AccurateRip database");
    case Unreadable:
      return QStringLiteral("AccurateRip answer unreadable");
    case NoAnswer:
      return QStringLiteral("No answer from the AccurateRip database");
    case Pending:
      break;
  }
  return QStringLiteral("Not verified");
}

QString TArVerdict::Short() const {
  switch (Kind) {
    case Accurate:
      return QString("Accurate (%1)").arg(Confidence);
    case NotAccurate:
      return QStringLiteral("Not accurate");
    case Pending:
      return QString();
    default:
      return QStringLiteral("No data");
  }
}
