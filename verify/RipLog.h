// The rip log: a UTF-8 text a user keeps beside the files, saying how the
// disc was read, what each track's checksums are and whether the AccurateRip
// database agrees. Its checksum lines have a fixed form ("    Copy CRC:
// XXXXXXXX" under "Track NN") so scripts can read them. Plain data and
// functions; any thread.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct TRipLogTrack {
  int TrackNum = 0;  // 0: the hidden audio before track 1
  QString FileName;
  int32_t Pregap = 0;  // sectors
  bool Read = false;   // the rip delivered every sample, so the checksums hold
  double PeakPercent = 0;
  std::optional<uint32_t> TestCrc;  // with test and copy
  uint32_t CopyCrc = 0;
  uint32_t ArV1 = 0;
  uint32_t ArV2 = 0;
  QString Verdict;
  bool Accurate = false;
  int32_t UnreadableSectors = 0;
  int32_t LeftOutSectors = 0;  // audio the drive's offsets cut off the track
  int32_t JitterErrors = 0;
  QString SectorMap;  // a mark per sixtieth of the track (see HealthLine); empty when unknown
  QString SectorCounts;
  QString Status;  // "Done", "Error", ...
};

struct TRipLogTocRow {
  int TrackNum = 0;
  int32_t StartSector = 0;
  int32_t LengthSectors = 0;
  int32_t Pregap = 0;
  bool Audio = true;
};

struct TRipLog {
  QString Program;  // name and version
  QString Date;
  QString Drive;  // vendor, product and revision, or the image
  int32_t ReadOffset = 0;
  QString ReadMode;
  QString Output;  // format and its settings
  QString Artist, Album;
  QString DiscIds;      // CDDB and AccurateRip
  QString AccurateRip;  // the database's answer for the disc
  std::vector<TRipLogTocRow> Toc;
  std::vector<TRipLogTrack> Tracks;
  QString Ctdb;  // the CTDB's block of lines, made by its own unit; empty without one

  // "All tracks accurately ripped", "N of M tracks accurately ripped" or
  // "There were errors"; a hidden track has no entry to count.
  QString Summary() const;
  QString Text() const;
};

// "mm:ss:ff" of a sector count.
QString MsfText(int32_t sectors);

// The log's path: "<artist> - <album>.log" in the folder, the names' reserved
// characters replaced by replaceChars as in output names, kept inside the folder.
QString RipLogPath(const QString& folder, const QString& artist, const QString& album,
                   const QString& replaceChars);
