#include "verify/CtdbRepair.h"

#include <zlib.h>

#include <QtEndian>
#include <algorithm>
#include <cstring>

#include "verify/CtdbChecksums.h"
#include "verify/CtdbParity.h"

namespace {

constexpr int64_t kReadBytes = 64 * kCtdbRecoveryRowBytes;

// What the XOR of `delta` into the bytes [at, at + 2) of a range ending at
// `end` does to the range's CRC-32: the CRC is affine, so a change moves it
// by the linear CRC of the change alone, carried over the bytes after it.
uint32_t CrcShift(uint16_t delta, int64_t at, int64_t end) {
  static const uint8_t zeros[2] = {};
  uint8_t bytes[2];
  qToLittleEndian(delta, bytes);
  const uLong linear = crc32(0L, bytes, 2) ^ crc32(0L, zeros, 2);
  return uint32_t(crc32_combine(linear, 0, z_off_t(end - at - 2)));
}

TCtdbRepair Refuse(TCtdbRepair::TOutcome outcome, const QString& detail) {
  TCtdbRepair repair;
  repair.Outcome = outcome;
  repair.Detail = detail;
  return repair;
}

// The first offset (nearest to 0) at which the rip's column 0 agrees with
// the entry's, else the one whose difference decodes with the fewest errors
// (fewer than half the rows); nothing when no offset decodes.
std::optional<int> FindOffset(const TCtdbChecksums& rip, const TCtdbRecovery& recovery) {
  const int rows = recovery.Rows;
  const int64_t length = rip.Layout().Rows();
  std::vector<uint16_t> difference(size_t(rows), 0);
  std::optional<int> best;
  size_t fewest = size_t(rows);
  TColumnErrors errors;
  for (int step = 0; step <= 2 * kCtdbMaxOffset; ++step) {
    const int offset = step % 2 == 1 ? (step + 1) / 2 : -step / 2;
    rip.ColumnSyndromes(offset, 0, difference.data());
    bool same = true;
    for (int k = 0; k < rows; ++k) {
      difference[size_t(k)] ^= recovery.Syndromes[size_t(k) * kCtdbColumns];
      same = same && difference[size_t(k)] == 0;
    }
    if (same) return offset;
    if (DecodeColumn(difference.data(), rows, int(length), (rows - 1) / 2, errors) &&
        errors.Positions.size() < fewest) {
      fewest = errors.Positions.size();
      best = offset;
    }
  }
  return best;
}

}  // namespace

bool TCtdbMemorySamples::Read(int64_t first, int64_t count, uint8_t* out) {
  if (first < 0 || count < 0 || first + count > FPcm.size()) return false;
  std::memcpy(out, FPcm.constData() + first, size_t(count));
  return true;
}

bool TCtdbFileSamples::Read(int64_t first, int64_t count, uint8_t* out) {
  int64_t total = 0;
  for (const TPiece& piece : FPieces) total += piece.Bytes;
  if (first < 0 || count < 0 || first + count > total) {
    FError = QStringLiteral("the files hold less audio than the disc");
    return false;
  }
  int64_t pieceStart = 0;
  for (size_t i = 0; i < FPieces.size(); pieceStart += FPieces[i++].Bytes) {
    const TPiece& piece = FPieces[i];
    const int64_t from = std::max(first, pieceStart);
    const int64_t to = std::min(first + count, pieceStart + piece.Bytes);
    if (from >= to) continue;
    // A repair reads each word it changes: the file stays open for the next.
    if (!FFile || FFile->fileName() != piece.Path) {
      FFile = std::make_unique<QFile>(piece.Path);
      if (!FFile->open(QIODevice::ReadOnly)) {
        FError = piece.Path + ": " + FFile->errorString();
        FFile.reset();
        return false;
      }
    }
    if (!FFile->seek(piece.Offset + from - pieceStart) ||
        FFile->read(reinterpret_cast<char*>(out + (from - first)), to - from) != to - from) {
      FError = piece.Path + ": " +
               (FFile->error() == QFileDevice::NoError ? QStringLiteral("shorter than its audio")
                                                       : FFile->errorString());
      return false;
    }
  }
  return true;
}

std::optional<TCtdbRecovery> ReadCtdbRecovery(const QByteArray& data, int rows,
                                              const TCtdbEntry& entry) {
  if (rows < 2 || rows > entry.Npar || data.size() < rows * kCtdbRecoveryRowBytes)
    return std::nullopt;
  TCtdbRecovery recovery;
  recovery.Rows = rows;
  recovery.Syndromes.resize(size_t(rows) * kCtdbColumns);
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
  for (size_t i = 0; i < recovery.Syndromes.size(); ++i)
    recovery.Syndromes[i] = qFromLittleEndian<uint16_t>(bytes + 2 * i);
  if (!entry.Syndrome.empty())
    for (int k = 0; k < rows; ++k)
      if (recovery.Syndromes[size_t(k) * kCtdbColumns] != entry.Syndrome[size_t(k)])
        return std::nullopt;
  return recovery;
}

TCtdbRepair CtdbRepair(TCtdbSamples& rip, const TCtdbLayout& layout, const TCtdbEntry& entry,
                       const TCtdbRecovery& recovery) {
  const auto entryLayout = CtdbLayoutOf(entry.Toc, entry.LeadOut);
  if (!entryLayout || entryLayout->Words != layout.Words || entry.Stride != kCtdbStrideSamples)
    return Refuse(TCtdbRepair::Unrepairable, QStringLiteral("the entry is of another disc"));
  const int rows = recovery.Rows;
  if (rows < 2 || recovery.Syndromes.size() != size_t(rows) * kCtdbColumns)
    return Refuse(TCtdbRepair::Unrepairable, QStringLiteral("no recovery data"));
  const auto tooMany = [rows, &entry](const QString& detail) {
    return Refuse(rows < entry.Npar ? TCtdbRepair::NeedMoreRows : TCtdbRepair::Unrepairable,
                  detail);
  };

  TCtdbChecksums sums(layout, rows);
  std::vector<uint8_t> buffer(static_cast<size_t>(kReadBytes));
  for (int64_t at = 0; at < 2 * layout.Words; at += kReadBytes) {
    const int64_t count = std::min(kReadBytes, 2 * layout.Words - at);
    if (!rip.Read(at, count, buffer.data()))
      return Refuse(TCtdbRepair::Unreadable, QStringLiteral("the rip cannot be read"));
    sums.Add(buffer.data(), size_t(count));
  }

  const std::optional<int> offset = FindOffset(sums, recovery);
  if (!offset) return tooMany(QStringLiteral("no offset at which the recovery data fits"));
  const int64_t length = layout.Rows();
  const uint32_t crc = sums.WindowCrc(*offset);
  const int64_t windowEnd = 2 * (layout.WindowEnd() - 2 * int64_t(*offset));

  TCtdbRepair repair;
  repair.Offset = *offset;
  std::vector<uint16_t> difference(static_cast<size_t>(rows));
  TColumnErrors errors;
  for (int column = 0; column < kCtdbColumns; ++column) {
    sums.ColumnSyndromes(*offset, column, difference.data());
    for (int k = 0; k < rows; ++k)
      difference[size_t(k)] ^= recovery.Syndromes[size_t(k) * kCtdbColumns + size_t(column)];
    if (!DecodeColumn(difference.data(), rows, int(length), rows / 2, errors))
      return tooMany(
          QString("more errors in column %1 than %2 rows can repair").arg(column).arg(rows));
    for (size_t i = 0; i < errors.Positions.size(); ++i) {
      const int64_t word = kCtdbColumns + (length - 1 - errors.Positions[i]) * kCtdbColumns +
                           column - 2 * int64_t(*offset);
      repair.Changes.push_back({word, 0, errors.Values[i]});  // New holds the XOR until read
    }
  }
  if (repair.Changes.empty()) {
    if (crc == entry.Crc) {
      repair.Outcome = TCtdbRepair::AlreadyAccurate;
      return repair;
    }
    return Refuse(TCtdbRepair::Unrepairable,
                  QStringLiteral("the recovery data finds no error, but the CRC differs"));
  }

  std::sort(repair.Changes.begin(), repair.Changes.end(),
            [](const TCtdbChange& a, const TCtdbChange& b) { return a.Word < b.Word; });
  uint32_t repaired = crc;
  for (TCtdbChange& change : repair.Changes) {
    uint8_t bytes[2];
    if (!rip.Read(2 * change.Word, 2, bytes))
      return Refuse(TCtdbRepair::Unreadable, QStringLiteral("the rip cannot be read"));
    repaired ^= CrcShift(change.New, 2 * change.Word, windowEnd);
    change.Old = qFromLittleEndian<uint16_t>(bytes);
    change.New ^= change.Old;
  }
  if (repaired != entry.Crc)
    return tooMany(QString("the repaired audio's CRC %1 is not the entry's %2")
                       .arg(repaired, 8, 16, QLatin1Char('0'))
                       .arg(entry.Crc, 8, 16, QLatin1Char('0')));
  repair.Outcome = TCtdbRepair::Repaired;
  return repair;
}
