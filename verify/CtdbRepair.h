// Repair of a rip from a CTDB entry's recovery data: the rip's audio is read
// through a view (memory or files), its column syndromes are compared with
// the entry's, each damaged column is decoded, and the words to fix are
// returned, only when the window they give has the entry's CRC. The repair
// changes nothing itself: its caller writes the changes into the files it
// made. Plain functions and value types; any thread, a view one at a time.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "verify/Ctdb.h"

// Read access to a rip's audio: 16-bit little-endian stereo counted in bytes
// from the first audio track's start.
class TCtdbSamples {
 public:
  virtual ~TCtdbSamples() = default;
  // Reads bytes [first, first + count); false when they cannot be read.
  virtual bool Read(int64_t first, int64_t count, uint8_t* out) = 0;
};

class TCtdbMemorySamples : public TCtdbSamples {
 public:
  explicit TCtdbMemorySamples(const QByteArray& pcm) : FPcm(pcm) {}
  bool Read(int64_t first, int64_t count, uint8_t* out) override;

 private:
  const QByteArray& FPcm;
};

// The audio as pieces of files one after the other, each a byte range of its
// file: a WAV file's data, a raw PCM file.
class TCtdbFileSamples : public TCtdbSamples {
 public:
  struct TPiece {
    QString Path;
    int64_t Offset = 0;  // of the piece's first byte in the file
    int64_t Bytes = 0;
  };
  explicit TCtdbFileSamples(std::vector<TPiece> pieces) : FPieces(std::move(pieces)) {}
  bool Read(int64_t first, int64_t count, uint8_t* out) override;
  // Why the last Read failed.
  const QString& Error() const { return FError; }

 private:
  std::vector<TPiece> FPieces;
  std::unique_ptr<QFile> FFile;  // the piece read last
  QString FError;
};

// One row of recovery data: a syndrome of every column.
inline constexpr int64_t kCtdbRecoveryRowBytes = 2 * kCtdbColumns;

// The first rows of an entry's recovery data.
struct TCtdbRecovery {
  int Rows = 0;
  std::vector<uint16_t> Syndromes;  // row k's column p at k * kCtdbColumns + p
};

// Rows 0..rows-1 of a recovery file (the first rows * kCtdbRecoveryRowBytes
// bytes of data); nothing when data is shorter, rows is not 2..entry.Npar, or
// a row's column 0 differs from the entry's syndrome (another entry's file,
// or garbage).
std::optional<TCtdbRecovery> ReadCtdbRecovery(const QByteArray& data, int rows,
                                              const TCtdbEntry& entry);

// A word to change: word w is sample w / 2's left (even) or right value.
struct TCtdbChange {
  int64_t Word = 0;  // from the first audio track's start
  uint16_t Old = 0;
  uint16_t New = 0;
};

struct TCtdbRepair {
  enum TOutcome {
    Repaired,         // Changes give the entry's CRC
    AlreadyAccurate,  // the window has the entry's CRC as it is
    NeedMoreRows,     // more errors than these rows can find; more rows may
    Unrepairable,     // not with this entry's data
    Unreadable,       // the view failed
  };
  TOutcome Outcome = Unrepairable;
  int Offset = 0;                    // samples, the entry's word w is the rip's w - 2 * Offset
  std::vector<TCtdbChange> Changes;  // by word; only when Repaired
  QString Detail;                    // why not, for the log
};

// Repairs the rip of a disc of this layout against the entry, which must be
// of the same audio length. Reads the whole rip once, then the words to change.
TCtdbRepair CtdbRepair(TCtdbSamples& rip, const TCtdbLayout& layout, const TCtdbEntry& entry,
                       const TCtdbRecovery& recovery);
