// Sector health: what a rip made of each sector of a track (the reading
// library's CDRIP_SECTOR_ codes, one byte a sector) summed up for the rip log,
// the terminal and the window's picture: counts per kind, the worst event per
// column of a picture and the log's 60-character line. Plain functions; any
// thread.
#pragma once

#include <QString>
#include <cstdint>
#include <span>
#include <vector>

// The kinds; up to skLost the values are the library's codes.
enum TSectorKind : uint8_t {
  skUnread = 0,     // not read (yet)
  skClean = 1,      // read and verified
  skCorrected = 2,  // jitter or drift repaired, or doubted by the reader
  skReread = 3,     // a read failed; a later one delivered it
  skLost = 4,       // no read delivered it: silence in the file
  skRepaired = 5,   // the rip's audio was wrong there; a CTDB repair made it the disc's
};
constexpr int kSectorKinds = 6;

// A code the library does not define counts as lost: nothing vouches for it.
inline TSectorKind SectorKind(uint8_t code) {
  return code <= skRepaired ? TSectorKind(code) : skLost;
}
// The order from best to worst, in which a picture's column shows the
// worst of its sectors: a repair is worth seeing, a loss more so.
int SectorSeverity(TSectorKind kind);

struct TSectorCounts {
  int32_t Of[kSectorKinds] = {};
  int32_t Total() const;
  // "19998 clean, 0 corrected, 0 re-read, 2 lost" (and "N repaired", "N
  // unread" when some are).
  QString Text() const;
};

// One rip's picture of a track: the status of every sector of its range.
struct TTrackHealth {
  int TrackNum = 0;
  std::vector<uint8_t> Status;
  bool Finished = false;  // the read ended; before that, the picture so far
};

TSectorCounts CountSectors(std::span<const uint8_t> status);
// The worst kind in each of `columns` equal parts of the sectors (column c
// holds sectors [c*n/columns, (c+1)*n/columns); with fewer sectors than
// columns, the sector under the column). Empty when there are no sectors.
std::vector<TSectorKind> WorstPerColumn(std::span<const uint8_t> status, int columns);
// One character per sixtieth of the track: '.' clean, 'c' corrected,
// 'r' re-read, 'R' repaired, 'X' lost, '-' not read. Empty for a track
// without sectors.
QString HealthLine(std::span<const uint8_t> status);
