#include "verify/SectorHealth.h"

#include <QStringList>
#include <algorithm>

#include "libs/cdrip/cdrip.h"

static_assert(int(skUnread) == CDRIP_SECTOR_UNREAD && int(skClean) == CDRIP_SECTOR_CLEAN &&
              int(skCorrected) == CDRIP_SECTOR_CORRECTED && int(skReread) == CDRIP_SECTOR_REREAD &&
              int(skLost) == CDRIP_SECTOR_LOST);

int32_t TSectorCounts::Total() const {
  int32_t total = 0;
  for (int32_t count : Of) total += count;
  return total;
}

QString TSectorCounts::Text() const {
  QString text = QString("%1 clean, %2 corrected, %3 re-read, %4 lost")
                     .arg(Of[skClean])
                     .arg(Of[skCorrected])
                     .arg(Of[skReread])
                     .arg(Of[skLost]);
  if (Of[skRepaired] > 0) text += QString(", %1 repaired").arg(Of[skRepaired]);
  if (Of[skUnread] > 0) text += QString(", %1 unread").arg(Of[skUnread]);
  return text;
}

int SectorSeverity(TSectorKind kind) {
  static constexpr int kSeverity[kSectorKinds] = {0, 1, 2, 3, 5, 4};
  return kSeverity[kind];
}

TSectorCounts CountSectors(std::span<const uint8_t> status) {
  TSectorCounts counts;
  for (uint8_t code : status) ++counts.Of[SectorKind(code)];
  return counts;
}

std::vector<TSectorKind> WorstPerColumn(std::span<const uint8_t> status, int columns) {
  const auto n = int64_t(status.size());
  if (n == 0 || columns <= 0) return {};
  std::vector<TSectorKind> worst(size_t(columns), skUnread);
  for (int64_t c = 0; c < columns; ++c) {
    const int64_t begin = c * n / columns;
    const int64_t end = std::max(begin + 1, (c + 1) * n / columns);
    TSectorKind& kind = worst[size_t(c)];
    for (int64_t at = begin; at < end && kind != skLost; ++at) {
      const TSectorKind next = SectorKind(status[size_t(at)]);
      if (SectorSeverity(next) > SectorSeverity(kind)) kind = next;
    }
  }
  return worst;
}

QString HealthLine(std::span<const uint8_t> status) {
  static constexpr char kMarks[kSectorKinds] = {'-', '.', 'c', 'r', 'X', 'R'};
  QString line;
  for (TSectorKind kind : WorstPerColumn(status, 60)) line += QLatin1Char(kMarks[kind]);
  return line;
}
