// The AccurateRip database's side of a disc: its three disc IDs from the
// table of contents, the name and address of its dBAR file, the reader of
// that file, and the verdict on a track's checksums. Plain functions and
// value types; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

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
  enum TKind { Accurate, NotAccurate, NotInDatabase, Unreadable, NoAnswer, Pending };
  TKind Kind = Pending;
  int Confidence = 0;  // Accurate: the rips that agree; NotAccurate: the rips on record
  int Version = 0;     // Accurate: 1 or 2

  // The verdict for the log and the console.
  QString Text() const;
  // The short form for the track list.
  QString Short() const;
};

// The verdict on the track at entry dbarIndex of the blocks (from 0) given
// the database's answer and, when Found, its blocks.
TArVerdict ArTrackVerdict(TArAnswer answer, const std::vector<TDbarBlock>& blocks, int dbarIndex,
                          uint32_t v1, uint32_t v2);
