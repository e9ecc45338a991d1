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
  const auto file = [this](const QString& name) {
    return "FILE " + Quoted(name) + " " + FileType + "\r\n";
  };
  for (size_t i = 0; i < Tracks.size(); ++i) {
    const TCueTrack& track = Tracks[i];
    // A pregap lies at the end of the file before, when that file holds the
    // track before; else only its length is known, as PREGAP.
    const TCueTrack* before =
        i > 0 && Tracks[i - 1].TrackNum == track.TrackNum - 1 ? &Tracks[i - 1] : nullptr;
    const bool hidden = track.TrackNum == 1 && !HiddenTrackFile.isEmpty();
    const bool appended =
        track.Pregap > 0 && (hidden || (before && before->LengthSectors >= track.Pregap));
    // Appended to the track before, it opens in that track's file.
    if (hidden)
      text += file(HiddenTrackFile);
    else if (!appended)
      text += file(track.FileName);
    text += QString::asprintf("  TRACK %02d AUDIO\r\n", track.TrackNum);
    text += "    TITLE " + Quoted(track.Title) + "\r\n";
    text += "    PERFORMER " + Quoted(track.Performer) + "\r\n";
    if (!track.Isrc.isEmpty()) text += "    ISRC " + track.Isrc + "\r\n";
    if (appended) {
      text += "    INDEX 00 " + MsfText(hidden ? 0 : before->LengthSectors - track.Pregap) + "\r\n";
      text += file(track.FileName);
    } else if (track.Pregap > 0) {
      text += "    PREGAP " + MsfText(track.Pregap) + "\r\n";
    }
    text += "    INDEX 01 00:00:00\r\n";
  }
  return text;
}

QString CueSheetPath(const QString& folder, const QString& artist, const QString& album,
                     const QString& replaceChars) {
  return platform::ChangeFileExt(RipLogPath(folder, artist, album, replaceChars), ".cue");
}
