#include "verify/RipLog.h"

#include "platform/Files.h"
#include "settings/Naming.h"

namespace {
QString Hex(uint32_t value) { return QString::asprintf("%08X", value); }

}  // namespace

QString TRipLog::Summary() const {
  int accurate = 0, counted = 0;
  for (const TRipLogTrack& track : Tracks) {
    if (track.Status != QLatin1String("Done")) return QStringLiteral("There were errors");
    if (track.TrackNum == 0) continue;
    ++counted;
    if (track.Accurate) ++accurate;
  }
  if (accurate == counted) return QStringLiteral("All tracks accurately ripped");
  return QString("%1 of %2 tracks accurately ripped").arg(accurate).arg(counted);
}

QString TRipLog::Text() const {
  QString text;
  text += Program + " rip log\n\n";
  text += "Date: " + Date + "\n";
  text += "Disc: " + Artist + " - " + Album + "\n";
  text += "Drive: " + Drive + "\n";
  text += QString("Read offset: %1 samples\n").arg(ReadOffset);
  text += "Read mode: " + ReadMode + "\n";
  text += "Output: " + Output + "\n";
  text += "Disc IDs: " + DiscIds + "\n";
  text += "AccurateRip: " + AccurateRip + "\n\n";
  text += "Table of contents\n  Track  Start sector  Length (sectors)  Pre-gap   Type\n";
  for (const TRipLogTocRow& row : Toc)
    text += QString::asprintf("     %02d  %12d  %16d  %s  %s\n", row.TrackNum, row.StartSector,
                              row.LengthSectors, qPrintable(MsfText(row.Pregap)),
                              row.Audio ? "Audio" : "Data");
  text +=
      "\nSector maps: a mark per sixtieth of the track, the worst of its sectors: "
      "'.' clean, 'c' jitter corrected, 'r' re-read, 'X' lost (silence)\n";
  for (const TRipLogTrack& track : Tracks) {
    text += QString::asprintf("\nTrack %02d\n", track.TrackNum);
    text += "    File: " + track.FileName + "\n";
    if (track.TrackNum > 0) text += "    Pre-gap: " + MsfText(track.Pregap) + "\n";
    if (track.Read) {
      text += QString("    Peak level: %1 %\n").arg(track.PeakPercent, 0, 'f', 1);
      if (track.TestCrc) text += "    Test CRC: " + Hex(*track.TestCrc) + "\n";
      text += "    Copy CRC: " + Hex(track.CopyCrc) + "\n";
      text += "    AccurateRip v1: " + Hex(track.ArV1) + "\n";
      text += "    AccurateRip v2: " + Hex(track.ArV2) + "\n";
    } else {
      text += "    Not read completely: no checksums\n";
    }
    text += "    AccurateRip: " + track.Verdict + "\n";
    text += QString("    Unreadable sectors: %1\n").arg(track.UnreadableSectors);
    if (track.LeftOutSectors > 0)
      text +=
          QString("    Left out by the drive's offsets: %1 sectors\n").arg(track.LeftOutSectors);
    text += QString("    Jitter errors: %1\n").arg(track.JitterErrors);
    if (!track.SectorMap.isEmpty()) {
      text += "    Sector map: [" + track.SectorMap + "]\n";
      text += "    Sectors: " + track.SectorCounts + "\n";
    }
    text += "    Status: " + track.Status + "\n";
  }
  if (!Ctdb.isEmpty()) text += "\n" + Ctdb;
  text += "\n" + Summary() + "\n";
  return text;
}

QString MsfText(int32_t sectors) {
  return QString::asprintf("%02d:%02d:%02d", sectors / 4500, sectors / 75 % 60, sectors % 75);
}

QString RipLogPath(const QString& folder, const QString& artist, const QString& album,
                   const QString& replaceChars) {
  const QString name = MakeOutputName("<artist> - <album>", replaceChars, artist, album, {}, 0);
  // The name is one level: a '\' from the names must not open a folder.
  return BuildOutputPath(AddTrailingBackslash(folder), QString(name).replace(u'\\', u'-'), ".log");
}
