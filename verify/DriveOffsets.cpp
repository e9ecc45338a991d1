#include "verify/DriveOffsets.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <cstdlib>

#include "platform/Folders.h"

namespace {
constexpr qsizetype kRecordBytes = 69;
constexpr qsizetype kNameBytes = 32;
// The list holds a few thousand drives (some 300 KB).
constexpr qint64 kMaxListBytes = 4 * 1024 * 1024;

// Upper case, one space between words: the list and INQUIRY pad differently.
QString Folded(const QString& text) { return text.simplified().toUpper(); }
}  // namespace

std::optional<std::vector<TDriveOffset>> ParseDriveOffsets(const QByteArray& file) {
  if (file.isEmpty() || file.size() % kRecordBytes != 0) return std::nullopt;
  std::vector<TDriveOffset> list;
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.constData());
  for (qsizetype at = 0; at < file.size(); at += kRecordBytes) {
    const uint8_t* record = bytes + at;
    TDriveOffset drive;
    drive.Offset = int16_t(uint16_t(record[0] | record[1] << 8));
    const char* name = reinterpret_cast<const char*>(record + 2);
    const QString text = QString::fromLatin1(name, qsizetype(strnlen(name, kNameBytes))).trimmed();
    drive.Submissions = record[2 + kNameBytes + 1];
    const qsizetype dash = text.startsWith(QLatin1String("- ")) ? 0 : text.indexOf(" - ");
    if (dash < 0) {
      drive.Model = text;
    } else {
      drive.Vendor = text.left(dash).trimmed();
      drive.Model = text.mid(dash + (dash == 0 ? 2 : 3)).trimmed();
    }
    // No drive reads thousands of samples away; such a record is damage.
    if (!drive.Model.isEmpty() && std::abs(drive.Offset) <= kMaxDriveOffset) list.push_back(drive);
  }
  // Not one drive named: no list, and nothing to keep in the cache.
  if (list.empty()) return std::nullopt;
  return list;
}

std::optional<int> FindDriveOffset(const std::vector<TDriveOffset>& list, const QString& vendor,
                                   const QString& product) {
  const QString wantedVendor = Folded(vendor), wantedModel = Folded(product);
  if (wantedModel.isEmpty()) return std::nullopt;
  for (const TDriveOffset& drive : list)
    if (Folded(drive.Model) == wantedModel && Folded(drive.Vendor) == wantedVendor)
      return drive.Offset;
  return std::nullopt;
}

QString DriveOffsetsUrl(const QString& server) {
  QString base = server.trimmed();
  while (base.endsWith(u'/')) base.chop(1);
  return base + QStringLiteral("/accuraterip/DriveOffsets.bin");
}

QString DriveOffsetsCachePath() {
  return platform::CacheFolder() + QStringLiteral("DriveOffsets.bin");
}

TDriveOffsetLookup::TDriveOffsetLookup() : FGet(kMaxListBytes) {
  FGet.OnDone = [this](int error) { RequestDone(error); };
  FGet.OnTimeout = [this] { FallBack(QStringLiteral("no answer in time")); };
}

TDriveOffsetLookup::~TDriveOffsetLookup() { OnDone = nullptr; }

void TDriveOffsetLookup::Start(const QString& server, const QString& vendor, const QString& product,
                               int timeoutMs, int maxCacheDays) {
  FVendor = vendor;
  FProduct = product;
  FResult = Pending;
  const QFileInfo cache(DriveOffsetsCachePath());
  const bool fresh =
      cache.exists() && cache.lastModified().daysTo(QDateTime::currentDateTime()) < maxCacheDays;
  if (fresh || server.trimmed().isEmpty()) {
    const QString reason = fresh ? QStringLiteral("the cached list is unreadable")
                                 : QStringLiteral("no AccurateRip server set");
    // Answered from the event loop, as a fetched list is.
    QMetaObject::invokeMethod(
        FGet.Context(), [this, reason] { FallBack(reason); }, Qt::QueuedConnection);
    return;
  }
  FGet.Start(DriveOffsetsUrl(server), timeoutMs);
}

void TDriveOffsetLookup::Abort() {
  if (FResult != Pending) return;
  FGet.Abort();
  Finish(NoList, QStringLiteral("stopped"));
}

void TDriveOffsetLookup::RequestDone(int error) {
  if (FResult != Pending) return;
  // The client reports a failure of its own as status 404 with an error code.
  if (error != 0) return FallBack(FGet.StatusText());
  if (FGet.StatusCode() < 200 || FGet.StatusCode() > 299)
    return FallBack(QString("HTTP %1 %2").arg(FGet.StatusCode()).arg(FGet.StatusText()));
  const QByteArray file = FGet.Body();
  if (!Lookup(file)) return FallBack(QStringLiteral("the server's list is unreadable"));
  // Kept whole or not at all; a list that cannot be cached still answers.
  QSaveFile cache(DriveOffsetsCachePath());
  if (cache.open(QIODevice::WriteOnly) && cache.write(file) == file.size()) cache.commit();
}

bool TDriveOffsetLookup::Lookup(const QByteArray& file) {
  const auto list = ParseDriveOffsets(file);
  if (!list) return false;
  const std::optional<int> offset = FindDriveOffset(*list, FVendor, FProduct);
  FOffset = offset.value_or(0);
  Finish(offset ? Found : NotListed, QString());
  return true;
}

void TDriveOffsetLookup::FallBack(const QString& reason) {
  if (FResult != Pending) return;
  QFile cache(DriveOffsetsCachePath());
  if (cache.size() <= kMaxListBytes && cache.open(QIODevice::ReadOnly) && Lookup(cache.readAll()))
    return;
  Finish(NoList, reason);
}

void TDriveOffsetLookup::Finish(TResult result, const QString& detail) {
  if (FResult != Pending) return;
  FResult = result;
  FDetail = detail;
  if (OnDone) OnDone();
}
