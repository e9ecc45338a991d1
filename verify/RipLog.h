// The rip log: a UTF-8 text a user keeps beside the files, saying how the
// disc was read, what each track's checksums are and whether the AccurateRip
// database agrees. Its checksum lines have a fixed form ("    Copy CRC:
// XXXXXXXX" under "Track NN") so scripts can read them, and its last line is
// the SHA-256 of all before it, so an edit after it was written shows (it is
// no signature: anyone can compute it). Plain data and functions; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

struct TRipLogTrack {
  int TrackNum = 0;    // 0: the hidden audio before track 1
  QString FileName;    // empty: no file was written
  int32_t Pregap = 0;  // sectors
  bool Read = false;   // the rip delivered every sample, so the AccurateRip sums hold
  double PeakPercent = 0;
  std::optional<uint32_t> TestCrc;  // with test and copy
  std::optional<uint32_t> CopyCrc;  // of the audio read; none when its read failed
  std::optional<uint32_t> FileCrc;  // of the file's audio, when it differs from the read's
  uint32_t ArV1 = 0;
  uint32_t ArV2 = 0;
  QString Verdict;
  QString Database;        // the database's entries for the track, in words
  QStringList ExtraLines;  // under the AccurateRip lines: the v1 at another pressing's offset
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
  bool TestAndCopy = false;
  QString Normalization;  // what was done to the files' level; empty: nothing
  QString Output;         // format and its settings
  QString Artist, Album;
  QString DiscIds;       // CDDB and AccurateRip
  QString BeforeTrack1;  // what became of the audio before track 1; empty when there is none
  QString AccurateRip;   // the database's answer for the disc
  std::vector<TRipLogTocRow> Toc;
  std::vector<TRipLogTrack> Tracks;
  QString ArSummary;    // the verdicts counted
  bool Errors = false;  // a track did not end "Done"
  QString Ctdb;  // the CTDB's block of lines, made by its own unit; empty without one

  // The text, its checksum line last.
  QString Text() const;
};

// The last line of a log: "Log checksum (SHA-256): " and the hash of the
// UTF-8 bytes before it.
QString LogChecksumLine(const QByteArray& before);

// Whether a log (as the file's bytes) is as it was written.
enum class TLogCheck { Intact, Changed, NoChecksum };
TLogCheck CheckRipLog(const QByteArray& bytes);

// "mm:ss:ff" of a sector count.
QString MsfText(int32_t sectors);

// The log's path: "<artist> - <album><suffix>.log" in the folder, the names'
// reserved characters replaced by replaceChars as in output names, kept
// inside the folder.
QString RipLogPath(const QString& folder, const QString& artist, const QString& album,
                   const QString& replaceChars, const QString& suffix = QString());
