// The CUE sheet written beside the ripped files: the disc's names and IDs,
// then one FILE per track file in order, each track starting at the start
// of its own file. Plain data; any thread.
#pragma once

#include <QString>
#include <vector>

struct TCueTrack {
  int TrackNum = 0;
  QString FileName;  // relative to the sheet's folder
  QString Title;
  QString Performer;
  QString Isrc;
};

struct TCueSheet {
  QString Performer;
  QString Title;
  QString Genre;
  QString Date;
  QString DiscId;    // CDDB, hexadecimal
  QString Catalog;   // the media catalogue number, when known
  QString FileType;  // "WAVE", "MP3", ...
  std::vector<TCueTrack> Tracks;

  QString Text() const;
};

// The sheet's path: as RipLogPath with ".cue".
QString CueSheetPath(const QString& folder, const QString& artist, const QString& album,
                     const QString& replaceChars);
