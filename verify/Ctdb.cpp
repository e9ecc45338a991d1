#include "verify/Ctdb.h"

#include <QXmlStreamReader>
#include <algorithm>

namespace {

constexpr int64_t kSectorWords = 2 * 588;
// Lead-out, lead-in and pregap between an Enhanced CD's audio and data sessions.
constexpr int32_t kSessionGapSectors = 11400;
// The highest address a TOC can state (99:59:74).
constexpr int32_t kMaxSector = 100 * 4500 - 1;

// Bounds of a real answer: a popular disc has a few dozen entries.
constexpr int kMaxEntries = 256;
constexpr int kMaxDepth = 16;
constexpr int kMaxNpar = 32;
constexpr int kMaxConfidence = 10000000;
constexpr int kMaxStride = 1000000;
constexpr qsizetype kMaxPathLength = 1024;
constexpr qsizetype kMaxParityLength = 4096;

const QString kNamespace = QStringLiteral("http://db.cuetools.net/ns/mmd-1.0#");

// Digits only (hex ones when base is 16), 1..maxDigits of them.
std::optional<uint32_t> Number(QStringView text, int base, int maxDigits) {
  if (text.isEmpty() || text.size() > maxDigits) return std::nullopt;
  uint64_t value = 0;
  for (const QChar c : text) {
    const int digit = c >= u'0' && c <= u'9'                 ? c.unicode() - '0'
                      : base == 16 && c >= u'a' && c <= u'f' ? c.unicode() - 'a' + 10
                      : base == 16 && c >= u'A' && c <= u'F' ? c.unicode() - 'A' + 10
                                                             : -1;
    if (digit < 0) return std::nullopt;
    value = value * uint64_t(base) + uint64_t(digit);
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return uint32_t(value);
}

std::optional<uint32_t> Bounded(QStringView text, uint32_t low, uint32_t high) {
  const auto value = Number(text, 10, 10);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

std::optional<QByteArray> Base64(QStringView text, qsizetype maxLength) {
  if (text.size() > maxLength) return std::nullopt;
  auto decoded =
      QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return std::nullopt;
  return *decoded;
}

// "0:15000:-200000:250000" into tracks and the lead-out.
bool ReadToc(QStringView text, std::vector<TArTocTrack>& tracks, int32_t& leadOut) {
  const auto parts = text.split(u':');
  if (parts.size() < 2 || parts.size() > 100) return false;
  tracks.clear();
  for (qsizetype i = 0; i < parts.size(); ++i) {
    QStringView part = parts[i];
    const bool data = part.startsWith(u'-');
    if (data) part = part.mid(1);
    const auto sector = Bounded(part, 0, kMaxSector);
    if (!sector || (data && i + 1 == parts.size())) return false;
    if (i + 1 == parts.size())
      leadOut = int32_t(*sector);
    else
      tracks.push_back({int32_t(*sector), !data});
  }
  return CtdbLayoutOf(tracks, leadOut).has_value();
}

// The entry's attributes; an empty string when they are sound, else why not.
QString ReadEntry(const QXmlStreamAttributes& attributes, TCtdbEntry& entry) {
  auto value = [&attributes](const char* name) { return attributes.value(QLatin1String(name)); };
  if (attributes.hasAttribute(QLatin1String("id"))) {
    const auto id = Number(value("id"), 10, 10);
    if (!id) return QStringLiteral("id");
    entry.Id = *id;
  }
  const auto confidence = Bounded(value("confidence"), 0, kMaxConfidence);
  const auto crc = Number(value("crc32"), 16, 8);
  const auto npar = Bounded(value("npar"), 2, kMaxNpar);
  const auto stride = Bounded(value("stride"), 1, kMaxStride);
  if (!confidence) return QStringLiteral("confidence");
  if (!crc) return QStringLiteral("crc32");
  if (!npar || *npar % 2 != 0) return QStringLiteral("npar");
  if (!stride) return QStringLiteral("stride");
  entry.Confidence = int(*confidence);
  entry.Crc = *crc;
  entry.Npar = int(*npar);
  entry.Stride = int(*stride);
  if (attributes.hasAttribute(QLatin1String("syndrome"))) {
    const auto bytes = Base64(value("syndrome"), 4 * kMaxNpar);
    if (!bytes || bytes->size() != 2 * entry.Npar) return QStringLiteral("syndrome");
    for (int k = 0; k < entry.Npar; ++k)
      entry.Syndrome.push_back(
          uint16_t(uint8_t(bytes->at(2 * k)) | uint8_t(bytes->at(2 * k + 1)) << 8));
  }
  // The older form of column 0's recovery data; its file gives syndromes.
  if (attributes.hasAttribute(QLatin1String("parity")) &&
      !Base64(value("parity"), kMaxParityLength))
    return QStringLiteral("parity");
  if (attributes.hasAttribute(QLatin1String("hasparity"))) {
    const QStringView path = value("hasparity");
    if (path.isEmpty() || path.size() > kMaxPathLength ||
        std::any_of(path.begin(), path.end(), [](QChar c) { return c <= u' ' || c == u'\x7f'; }))
      return QStringLiteral("hasparity");
    entry.RecoveryPath = path.toString();
  }
  if (!ReadToc(value("toc"), entry.Toc, entry.LeadOut)) return QStringLiteral("toc");
  if (attributes.hasAttribute(QLatin1String("trackcrcs"))) {
    const auto audio = std::count_if(entry.Toc.begin(), entry.Toc.end(),
                                     [](const TArTocTrack& t) { return t.Audio; });
    const auto parts = value("trackcrcs").split(u' ', Qt::SkipEmptyParts);
    if (parts.size() != audio) return QStringLiteral("trackcrcs");
    for (const QStringView part : parts) {
      const auto trackCrc = Number(part, 16, 8);
      if (!trackCrc) return QStringLiteral("trackcrcs");
      entry.TrackCrcs.push_back(*trackCrc);
    }
  }
  return QString();
}

}  // namespace

QString CtdbTocList(const std::vector<TArTocTrack>& tracks, int32_t leadOut) {
  QString list;
  for (const TArTocTrack& track : tracks)
    list +=
        (track.Audio ? QString() : QStringLiteral("-")) + QString::number(track.StartSector) + u':';
  return list + QString::number(leadOut);
}

QString CtdbLookupUrl(const QString& server, const QString& tocList) {
  QString base = server.trimmed();
  while (base.endsWith(u'/')) base.chop(1);
  return base + "/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=" + tocList;
}

int64_t TCtdbLayout::TrackFirst(size_t i) const {
  return std::clamp(TrackStarts[i], WindowFirst(), WindowEnd());
}

int64_t TCtdbLayout::TrackEnd(size_t i) const {
  const int64_t end = i + 1 < TrackStarts.size() ? TrackStarts[i + 1] : Words;
  return std::clamp(end, WindowFirst(), WindowEnd());
}

std::optional<TCtdbLayout> CtdbLayoutOf(const std::vector<TArTocTrack>& tracks, int32_t leadOut) {
  int first = -1, last = -1;
  for (size_t i = 0; i < tracks.size(); ++i) {
    const int32_t end = i + 1 < tracks.size() ? tracks[i + 1].StartSector : leadOut;
    if (tracks[i].StartSector < 0 || end <= tracks[i].StartSector) return std::nullopt;
    if (!tracks[i].Audio) continue;
    if (last >= 0 && last + 1 != int(i)) return std::nullopt;
    if (first < 0) first = int(i);
    last = int(i);
  }
  if (first < 0) return std::nullopt;
  int32_t end = size_t(last) + 1 < tracks.size() ? tracks[size_t(last) + 1].StartSector : leadOut;
  if (size_t(last) + 1 < tracks.size() &&
      end - kSessionGapSectors > tracks[size_t(last)].StartSector)
    end -= kSessionGapSectors;
  TCtdbLayout layout;
  const int32_t origin = tracks[size_t(first)].StartSector;
  for (int i = first; i <= last; ++i)
    layout.TrackStarts.push_back((tracks[size_t(i)].StartSector - origin) * kSectorWords);
  layout.Words = (end - origin) * kSectorWords;
  if (layout.Rows() < 1) return std::nullopt;
  return layout;
}

bool ReadCtdbEntries(const QByteArray& xml, std::vector<TCtdbEntry>& entries, QString& error) {
  entries.clear();
  QXmlStreamReader reader(xml);
  int depth = 0;
  bool rootSeen = false;
  auto refuse = [&](const QString& why) {
    entries.clear();
    error = why;
    return false;
  };
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::DTD:
      case QXmlStreamReader::EntityReference:
        return refuse(QStringLiteral("the answer declares entities"));
      case QXmlStreamReader::StartElement:
        if (++depth > kMaxDepth) return refuse(QStringLiteral("the answer nests too deep"));
        if (depth == 1) {
          if (rootSeen || reader.name() != u"ctdb" || reader.namespaceUri() != kNamespace)
            return refuse(QStringLiteral("not a CTDB answer"));
          rootSeen = true;
        } else if (depth == 2 && reader.name() == u"entry" && reader.namespaceUri() == kNamespace) {
          if (int(entries.size()) == kMaxEntries)
            return refuse(QStringLiteral("more than %1 entries").arg(kMaxEntries));
          TCtdbEntry entry;
          const QString bad = ReadEntry(reader.attributes(), entry);
          if (!bad.isEmpty())
            return refuse(QString("entry %1: bad %2").arg(entries.size() + 1).arg(bad));
          entries.push_back(std::move(entry));
        }
        break;
      case QXmlStreamReader::EndElement:
        --depth;
        break;
      case QXmlStreamReader::Characters:
        if (depth <= 1 && !reader.isWhitespace())
          return refuse(QStringLiteral("text outside the answer's elements"));
        break;
      default:
        break;
    }
  }
  if (reader.hasError()) return refuse(reader.errorString());
  if (!rootSeen) return refuse(QStringLiteral("not a CTDB answer"));
  error.clear();
  return true;
}

QString CtdbRecoveryUrl(const QString& server, const TCtdbEntry& entry) {
  const QString& path = entry.RecoveryPath;
  if (path.startsWith(QLatin1String("http://"))) return path;
  if (!path.startsWith(u'/') || path.startsWith(QLatin1String("//"))) return QString();
  QString base = server.trimmed();
  while (base.endsWith(u'/')) base.chop(1);
  return base + path;
}
