// The AccurateRip database's side of a disc: its three disc IDs from the
// table of contents, the name and address of its dBAR file, the reader of
// that file, and the verdict on a track's checksums. Plain functions and
// value types; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "verify/Checksums.h"

// One track of the table of contents: start sector (LBA, without the
// 150-sector lead-in) and whether it holds audio.
struct TArTocTrack {
  int32_t StartSector = 0;
  bool Audio = true;
};

struct TArDiscIds {
  int AudioTracks = 0;
  uint32_t Id1 = 0;
  uint32_t Id2 = 0;
  uint32_t Id3 = 0;  // the CDDB disc ID
  bool operator==(const TArDiscIds&) const = default;
};

// The IDs of a disc: data tracks stay out of the sums and the count, the
// lead-out is the whole disc's. cddbId counts every track.
TArDiscIds ArDiscIds(const std::vector<TArTocTrack>& tracks, int32_t leadOut, uint32_t cddbId);
// "dBAR-NNN-XXXXXXXX-XXXXXXXX-XXXXXXXX.bin"
QString DbarFileName(const TArDiscIds& ids);
// The file's address under the server ("http://host[:port]", a trailing
// '/' allowed).
QString DbarUrl(const QString& server, const TArDiscIds& ids);

// One pressing's entries in the database.
struct TDbarBlock {
  struct TEntry {
    uint8_t Confidence = 0;
    uint32_t Crc = 0;
  };
  TArDiscIds Ids;
  std::vector<TEntry> Tracks;
};

// Every block of a dBAR file; nothing when the file is cut short, empty, or
// holds a block of another disc or track count.
std::optional<std::vector<TDbarBlock>> ParseDbar(const QByteArray& data, const TArDiscIds& ids);

// What the database says of the disc.
enum class TArAnswer {
  Pending,     // asked, no answer yet
  Found,       // the dBAR file, read
  NotFound,    // the server has no file for the disc
  Unreadable,  // an answer that is not a dBAR file of this disc
  NoAnswer,    // no server, no connection, or a time-out
};

struct TArVerdict {
  enum TKind {
    Accurate,       // submissions agree
    NotAccurate,    // the database holds submissions of the track, none agrees
    NoSubmissions,  // the database holds none of this track: not verified
    NotInDatabase,  // the disc is not in it: not verified
    Unreadable,     // not verified
    NoAnswer,       // not verified
    Pending
  };
  TKind Kind = Pending;
  // Accurate: the submissions that agree, in v1 and in v2 (a submission is
  // one or the other); Accurate and NotAccurate: the track's submissions in
  // every pressing.
  int V1Confidence = 0;
  int V2Confidence = 0;
  int Submissions = 0;
  // Accurate: the agreeing pressing's audio lies this many samples later
  // than the rip's; only v1 is compared away from 0, OffsetV1 there.
  int Offset = 0;
  uint32_t OffsetV1 = 0;

  int Confidence() const { return V1Confidence + V2Confidence; }
  bool Verified() const { return Kind == Accurate || Kind == NotAccurate; }
  // Why a track is not verified ("the disc is not in the AccurateRip
  // database"); empty when it is, or still pending.
  QString Reason() const;
  // The verdict for the log and the console.
  QString Text() const;
  // The short form for the track list.
  QString Short() const;
};

// The verdict on the track at entry dbarIndex of the blocks (from 0) given
// the database's answer and, when Found, its blocks.
TArVerdict ArTrackVerdict(TArAnswer answer, const std::vector<TDbarBlock>& blocks, int dbarIndex,
                          uint32_t v1, uint32_t v2);
// A track that is not accurate as ripped may agree with another pressing:
// the offset of the sums (nearest first) whose v1 the most submissions
// agree with; the verdict unchanged when none does.
TArVerdict ArPressingVerdict(const TArVerdict& verdict, const std::vector<TDbarBlock>& blocks,
                             int dbarIndex, const std::vector<TOffsetSum>& sums);

// The verdicts of a rip's tracks counted apart.
struct TArTally {
  int Accurate = 0;
  int NotAccurate = 0;
  int NotVerified = 0;
  QStringList Reasons;  // why tracks were not verified, each once

  void Add(const TArVerdict& verdict);
  void AddNotVerified(const QString& reason);
  // "All tracks accurately ripped", or "1 of 3 tracks accurately ripped,
  // 1 not accurately ripped, 1 not verified (not read completely)".
  QString Text() const;
};
