#include "verify/RipLog.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include "platform/Files.h"
#include "platform/TextDecode.h"
#include "settings/Naming.h"

namespace {

QString Hex(uint32_t value) { return QString::asprintf("%08X", value); }

// Names come from outside: a line break in one must not start a line of its own.
QString Shown(const QString& text) { return platform::EscapeControls(text); }

const char kChecksumLabel[] = "Log checksum (SHA-256): ";

void AddTrack(QString& text, const TRipLogTrack& track) {
  text += QString::asprintf("\nTrack %02d\n", track.TrackNum);
  text += "    File: " + (track.FileName.isEmpty() ? "none written" : Shown(track.FileName)) + "\n";
  if (track.TrackNum > 0) text += "    Pre-gap: " + MsfText(track.Pregap) + "\n";
  if (track.CopyCrc) text += QString("    Peak level: %1 %\n").arg(track.PeakPercent, 0, 'f', 1);
  if (track.TestCrc) text += "    Test CRC: " + Hex(*track.TestCrc) + "\n";
  if (track.CopyCrc) text += "    Copy CRC: " + Hex(*track.CopyCrc) + "\n";
  if (track.FileCrc) text += "    File CRC: " + Hex(*track.FileCrc) + "\n";
  if (track.Read) {
    text += "    AccurateRip v1: " + Hex(track.ArV1) + "\n";
    text += "    AccurateRip v2: " + Hex(track.ArV2) + "\n";
  }
  text += "    AccurateRip: " + track.Verdict + "\n";
  if (!track.Database.isEmpty()) text += "    AccurateRip database: " + track.Database + "\n";
  for (const QString& line : track.ExtraLines) text += "    " + Shown(line) + "\n";
  text += QString("    Unreadable sectors: %1\n").arg(track.UnreadableSectors);
  if (track.LeftOutSectors > 0)
    text += QString("    Left out by the drive's offsets: %1 sectors\n").arg(track.LeftOutSectors);
  text += QString("    Jitter errors: %1\n").arg(track.JitterErrors);
  if (!track.SectorMap.isEmpty()) {
    text += "    Sector map: [" + track.SectorMap + "]\n";
    text += "    Sectors: " + track.SectorCounts + "\n";
  }
  text += "    Status: " + track.Status + "\n";
}

}  // namespace

QString TRipLog::Text() const {
  QString text;
  text += Program + " rip log\n\n";
  text += "Date: " + Date + "\n";
  text += "Disc: " + Shown(Artist) + " - " + Shown(Album) + "\n";
  text += "Drive: " + Shown(Drive) + "\n";
  text += QString("Read offset: %1 samples\n").arg(ReadOffset);
  text += "Read mode: " + ReadMode + "\n";
  text += QString("Test and copy: %1\n").arg(TestAndCopy ? "on" : "off");
  text += "Normalisation: " + (Normalization.isEmpty() ? "none" : Normalization) + "\n";
  text += "Output: " + Output + "\n";
  text += "Disc IDs: " + DiscIds + "\n";
  if (!BeforeTrack1.isEmpty()) text += "Audio before track 1: " + BeforeTrack1 + "\n";
  text += "AccurateRip: " + Shown(AccurateRip) + "\n";
  text += "\nTable of contents\n  Track  Start sector  Length (sectors)  Pre-gap   Type\n";
  for (const TRipLogTocRow& row : Toc)
    text += QString::asprintf("     %02d  %12d  %16d  %s  %s\n", row.TrackNum, row.StartSector,
                              row.LengthSectors, qPrintable(MsfText(row.Pregap)),
                              row.Audio ? "Audio" : "Data");
  text +=
      "\nSector maps: a mark per sixtieth of the track, the worst of its sectors: "
      "'.' clean, 'c' jitter corrected, 'r' re-read, 'X' lost (silence)\n";
  for (const TRipLogTrack& track : Tracks) AddTrack(text, track);
  if (!Ctdb.isEmpty()) text += "\n" + Ctdb;
  text += "\nAccurateRip summary: " + ArSummary + "\n";
  text += Errors ? "There were errors\n" : "No errors\n";
  return text + LogChecksumLine(text.toUtf8());
}

QString LogChecksumLine(const QByteArray& before) {
  return kChecksumLabel +
         QString::fromLatin1(QCryptographicHash::hash(before, QCryptographicHash::Sha256).toHex()) +
         "\n";
}

TLogCheck CheckRipLog(const QByteArray& bytes) {
  // The last line alone, with its line end: anything after it is an edit.
  if (!bytes.endsWith('\n')) return TLogCheck::NoChecksum;
  const qsizetype start = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
  static const QRegularExpression line(QString("^") + QRegularExpression::escape(kChecksumLabel) +
                                       "[0-9a-f]{64}\n$");
  const QByteArray last = bytes.mid(start);
  if (!line.match(QString::fromLatin1(last)).hasMatch()) return TLogCheck::NoChecksum;
  return LogChecksumLine(bytes.left(start)).toLatin1() == last ? TLogCheck::Intact
                                                               : TLogCheck::Changed;
}

QString MsfText(int32_t sectors) {
  return QString::asprintf("%02d:%02d:%02d", sectors / 4500, sectors / 75 % 60, sectors % 75);
}

QString RipLogPath(const QString& folder, const QString& artist, const QString& album,
                   const QString& replaceChars, const QString& suffix) {
  const QString name = MakeOutputName("<artist> - <album>", replaceChars, artist, album, {}, 0);
  // The name is one level: a '\' from the names must not open a folder.
  return BuildOutputPath(AddTrailingBackslash(folder), QString(name).replace(u'\\', u'-') + suffix,
                         ".log");
}
