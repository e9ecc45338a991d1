// The CUE sheet written beside the ripped files: the disc's names and IDs,
// then one FILE per track file in order, each track starting at the start
// of its own file and its pregap at the end of the file before ("gaps
// appended"). A value is quoted with '"', or with "'" when it holds a '"',
// so names read back as they are; the reader of our images takes both.
// Plain data; any thread.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

struct TCueTrack {
  int TrackNum = 0;
  QString FileName;  // relative to the sheet's folder
  QString Title;
  QString Performer;
  QString Isrc;
  // Sectors of its pregap (track 1: all before it on the disc), and of its file.
  int32_t Pregap = 0;
  int32_t LengthSectors = 0;
};

struct TCueSheet {
  QString Performer;
  QString Title;
  QString Genre;
  QString Date;
  QString DiscId;    // CDDB, hexadecimal
  QString Catalog;   // the media catalogue number, when known
  QString Comment;   // the program that wrote it
  QString FileType;  // "WAVE", "MP3", ...
  // The audio before track 1 as a file of its own (track 1's pregap), when
  // it was ripped.
  QString HiddenTrackFile;
  std::vector<TCueTrack> Tracks;

  QString Text() const;
  // Why the sheet cannot name a file of its own: a name with both kinds of
  // quote or a line break has no form in a sheet. Empty when it can.
  QString Problem() const;
};

// The sheet's path: as RipLogPath with ".cue".
QString CueSheetPath(const QString& folder, const QString& artist, const QString& album,
                     const QString& replaceChars, const QString& suffix = QString());
