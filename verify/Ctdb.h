// The CTDB side of a disc: the TOC list and address of its lookup, the
// entries of the answer and their reader, the window of samples an entry's
// CRC and recovery data cover, and the address of an entry's recovery file.
// Plain functions and value types; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "verify/AccurateRip.h"

inline constexpr char kCtdbDefaultServer[] = "http://db.cuetools.net";

// The recovery data's stride: 10 sectors of stereo samples, twice as many
// 16-bit words; one column of the data per word of a stride.
inline constexpr int64_t kCtdbStrideSamples = 5880;
inline constexpr int64_t kCtdbColumns = 2 * kCtdbStrideSamples;
// A rip is matched against an entry at offsets -kCtdbMaxOffset..+kCtdbMaxOffset
// samples: less than a stride, so the shifted window stays inside the rip.
inline constexpr int kCtdbMaxOffset = 5879;

// "0:15000:...:-200000:250000": each track's start sector (no lead-in), a
// data track's with a '-', then the lead-out.
QString CtdbTocList(const std::vector<TArTocTrack>& tracks, int32_t leadOut);
// The lookup's address under the server ("http://host[:port]", a trailing
// '/' allowed).
QString CtdbLookupUrl(const QString& server, const QString& tocList);

// The audio of a disc in 16-bit words (two per stereo sample) counted from
// the first audio track's start (its INDEX 01), and the window of them that
// an entry's CRC and recovery data cover: the first stride and the last
// LastStrideWords() words stay out, where drives with other offsets differ.
struct TCtdbLayout {
  std::vector<int64_t> TrackStarts;  // each audio track's first word; the first is 0
  int64_t Words = 0;                 // to the end of the last audio track

  // Stride-long rows of the window, L; at least 1 for a usable layout.
  int64_t Rows() const { return Words / kCtdbColumns - 2; }
  int64_t LastStrideWords() const { return kCtdbColumns + Words % kCtdbColumns; }
  int64_t WindowFirst() const { return kCtdbColumns; }
  int64_t WindowEnd() const { return Words - LastStrideWords(); }
  // Audio track i's words inside the window, [first, end).
  int64_t TrackFirst(size_t i) const;
  int64_t TrackEnd(size_t i) const;
};

// The layout of the disc with these tracks; nothing when no audio track,
// starts out of order, a data track between audio tracks, or audio too short
// for a row. Before a data track the audio ends a session gap earlier.
std::optional<TCtdbLayout> CtdbLayoutOf(const std::vector<TArTocTrack>& tracks, int32_t leadOut);

// One entry of the answer: the rips that agree on one pressing's audio.
struct TCtdbEntry {
  uint32_t Id = 0;
  int Confidence = 0;  // rips submitted
  uint32_t Crc = 0;    // of the window
  int Npar = 0;        // syndromes per column in the recovery data
  int Stride = 0;      // samples
  // Column 0's syndromes, Npar of them; empty in entries older than the
  // syndrome form, which the recovery file can still give.
  std::vector<uint16_t> Syndrome;
  // Where the recovery file is: an http address or a path on the server;
  // empty when the entry has none.
  QString RecoveryPath;
  std::vector<TArTocTrack> Toc;  // the submitting disc's
  int32_t LeadOut = 0;
  std::vector<uint32_t> TrackCrcs;  // of each audio track's share of the window, or none
};

// Reads a lookup answer; false with the reason when it is not one whole,
// well-formed answer within the bounds a real one keeps (entries, sizes,
// values, depth), or when it declares entities or a DTD.
bool ReadCtdbEntries(const QByteArray& xml, std::vector<TCtdbEntry>& entries, QString& error);

// The address of the entry's recovery file: an http address as given, a
// path under the server; empty when the entry has none or another scheme.
QString CtdbRecoveryUrl(const QString& server, const TCtdbEntry& entry);
