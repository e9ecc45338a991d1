#include "verify/CueSheet.h"

#include "platform/Files.h"
#include "verify/RipLog.h"

namespace {

// A sheet has no escapes: a value is quoted with the quote it does not hold,
// and a line break would end the command.
bool Quotable(const QString& value) {
  return !value.contains(u'\n') && !value.contains(u'\r') &&
         !(value.contains(u'"') && value.contains(u'\''));
}

QString Quoted(const QString& value) {
  QString text = platform::SingleLine(value);
  if (!text.contains(u'"')) return '"' + text + '"';
  if (!text.contains(u'\'')) return '\'' + text + '\'';
  return '"' + text.replace(u'"', u'\'') + '"';  // a text, not a name: near enough
}

}  // namespace

QString TCueSheet::Text() const {
  QString text;
  if (!Genre.isEmpty()) text += "REM GENRE " + Quoted(Genre) + "\r\n";
  if (!Date.isEmpty()) text += "REM DATE " + Quoted(Date) + "\r\n";
  if (!DiscId.isEmpty()) text += "REM DISCID " + DiscId + "\r\n";
  if (!Comment.isEmpty()) text += "REM COMMENT " + Quoted(Comment) + "\r\n";
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

QString TCueSheet::Problem() const {
  QStringList names{HiddenTrackFile};
  for (const TCueTrack& track : Tracks) names << track.FileName;
  for (const QString& name : names)
    if (!Quotable(name)) return "the file name '" + name + "' cannot be written in a CUE sheet";
  return QString();
}

QString CueSheetPath(const QString& folder, const QString& artist, const QString& album,
                     const QString& replaceChars, const QString& suffix) {
  return platform::ChangeFileExt(RipLogPath(folder, artist, album, replaceChars, suffix), ".cue");
}
