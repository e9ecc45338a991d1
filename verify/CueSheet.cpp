#include "verify/CueSheet.h"

#include "platform/Files.h"
#include "verify/RipLog.h"

namespace {

// A sheet has no escapes: a double quote would end the value, a line break
// the command.
QString Quoted(const QString& value) {
  return '"' + platform::SingleLine(value).replace(u'"', u'\'') + '"';
}

}  // namespace

QString TCueSheet::Text() const {
  QString text;
  if (!Genre.isEmpty()) text += "REM GENRE " + Quoted(Genre) + "\r\n";
  if (!Date.isEmpty()) text += "REM DATE " + Quoted(Date) + "\r\n";
  if (!DiscId.isEmpty()) text += "REM DISCID " + DiscId + "\r\n";
  if (!Catalog.isEmpty()) text += "CATALOG " + Catalog + "\r\n";
  text += "PERFORMER " + Quoted(Performer) + "\r\n";
  text += "TITLE " + Quoted(Title) + "\r\n";
  for (const TCueTrack& track : Tracks) {
    text += "FILE " + Quoted(track.FileName) + " " + FileType + "\r\n";
    text += QString::asprintf("  TRACK %02d AUDIO\r\n", track.TrackNum);
    text += "    TITLE " + Quoted(track.Title) + "\r\n";
    text += "    PERFORMER " + Quoted(track.Performer) + "\r\n";
    if (!track.Isrc.isEmpty()) text += "    ISRC " + track.Isrc + "\r\n";
    text += "    INDEX 01 00:00:00\r\n";
  }
  return text;
}

QString CueSheetPath(const QString& folder, const QString& artist, const QString& album,
                     const QString& replaceChars) {
  return platform::ChangeFileExt(RipLogPath(folder, artist, album, replaceChars), ".cue");
}
