#include "rip/ExtractJobs.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <filesystem>
#include <system_error>

#include "cddb/CDInfo.h"
#include "musicbrainz/MbDiscId.h"
#include "platform/AppInfo.h"
#include "platform/Files.h"
#include "settings/Naming.h"
#include "settings/config.h"

QString Id3CommentText() {
  if (!Config->Id3Comment.isEmpty()) return Config->Id3Comment;
  return QStringLiteral("%1 %2").arg(kProgramName, kProgramVersion);
}

namespace {

// A disc without stored names takes what its CD-Text says, where the names
// are still the defaults; a track's own performer goes before its title as
// an xmcd entry writes it.
void TakeCDText(TMyCDInfo& info) {
  if (info.Artist == QLatin1String("NOARTIST") && !info.CDTextPerformer.isEmpty())
    info.Artist = info.CDTextPerformer;
  if (info.Album == QLatin1String("NOTITLE") && !info.CDTextAlbum.isEmpty())
    info.Album = info.CDTextAlbum;
  for (int i = 0; i < info.TrackCount; ++i) {
    TCDTrack& track = info.Tracks[size_t(i)];
    if (track.CDTextTitle.isEmpty() || track.Title != QString::asprintf("Track%.2d", i + 1))
      continue;
    const bool ownPerformer =
        !track.CDTextPerformer.isEmpty() && track.CDTextPerformer != info.CDTextPerformer;
    track.Title =
        ownPerformer ? track.CDTextPerformer + " / " + track.CDTextTitle : track.CDTextTitle;
    if (ownPerformer) track.Artist = track.CDTextPerformer;
  }
}

// Earlier rips named their files ".MP3" and ".WAV". Such a file is this
// track's: its path is kept, so the overwrite question finds it and the track
// replaces or keeps it under its own name instead of lying beside it.
QString ExistingPathOf(const QString& path) {
  const QString suffix = QFileInfo(path).suffix();
  if (QFileInfo::exists(path) || (suffix != u"mp3" && suffix != u"wav")) return path;
  const QString older = path.chopped(suffix.size()) + suffix.toUpper();
  return QFileInfo::exists(older) ? older : path;
}

}  // namespace

bool LoadDiscNames(TMyCDInfo& info) {
  const bool hasTracks = info.LoadFromTOC();
  info.MBDiscID = ComputeMbDiscId(MbTocOf(info)).Id;
  info.SetDefaultNames();
  if (Config->AutoLoadCDPlayerINI)
    info.ReadCDPlayerIni();
  else if (!info.ReadLocalCDDB()) {
    info.ReadCDPlayerIni();
    TakeCDText(info);
  }
  return hasTracks;
}

TCDTrackInfo MakeTrackInfo(const TMyCDInfo& info, int i) {
  const TCDTrack track = info.GetTrack(i);
  TCDTrackInfo record;
  record.Category = info.Category;
  record.Artist = info.Artist;
  record.Album = info.Album;
  record.Year = info.Year;
  record.Comment = Id3CommentText();
  record.TrackIndex = i;
  record.Title = track.Title;
  record.StartSector = track.StartSector;
  record.EndSector = track.EndSector;
  record.LengthSectors = track.EndSector - track.StartSector;
  record.LengthSeconds = track.LengthSeconds;
  record.LengthBytes = track.LengthBytes;
  record.TrackArtist = track.Artist;
  record.Isrc = track.ISRC;
  record.MBRecordingID = track.MBRecordingID;
  record.MBReleaseID = info.MBReleaseID;
  record.MBReleaseGroupID = info.MBReleaseGroupID;
  record.MBAlbumArtistID = info.MBAlbumArtistID;
  return record;
}

void AssignOutputPaths(TJobList& jobs, const QString& artist, const QString& album) {
  const QString folder = AddTrailingBackslash(Config->OutputFolder);
  const QString replaceChars = PadReplaceChars(Config->ReplaceStr);
  // Paths taken by earlier jobs, with their track numbers. Letter case is
  // ignored: on the FAT file systems of music players "A" and "a" are one file.
  QHash<QString, int32_t> taken;
  for (TFileParam& job : jobs) {
    const int32_t track = job.TrackInfo.TrackIndex + 1;
    job.FileName = MakeOutputName(Config->NamingString, replaceChars, artist, album,
                                  job.TrackInfo.Title, track);
    job.Title = job.TrackInfo.Title;
    job.OutputPath = ExistingPathOf(BuildOutputPath(folder, job.FileName, Config->OutputFormat));
    job.SharesNameWith = taken.value(job.OutputPath.toLower());
    // Two jobs of one run on one path would write one file over the other.
    for (int n = 1; taken.contains(job.OutputPath.toLower()); ++n) {
      const QString suffix = n == 1 ? QStringLiteral(" (%1)").arg(track)
                                    : QStringLiteral(" (%1-%2)").arg(track).arg(n);
      job.OutputPath =
          ExistingPathOf(BuildOutputPath(folder, job.FileName, Config->OutputFormat, suffix));
    }
    taken.insert(job.OutputPath.toLower(), track);
  }
}

bool CreateOutputFolder(const QString& path) { return CreateFolder(path).isEmpty(); }

bool WritePlaylist(const QString& fileName, const TJobList& jobs) {
  // Both formats hold one entry field per line: a title's line break is folded
  // to a blank, and a path with one cannot be listed at all.
  for (const TFileParam& job : jobs)
    if (platform::SingleLine(job.OutputPath) != job.OutputPath) return false;
  const auto title = [](const TFileParam& job) { return platform::SingleLine(job.TrackInfo.Title); };
  QStringList lines;
  if (QFileInfo(fileName).suffix().toUpper() == QLatin1String("M3U")) {
    lines << QStringLiteral("#EXTM3U");
    for (const TFileParam& job : jobs) {
      lines << QStringLiteral("#EXTINF:%1, %2")
                   .arg(QString::number(job.TrackInfo.LengthSeconds), title(job));
      lines << job.OutputPath;
    }
  } else {
    lines << QStringLiteral("[playlist]");
    int n = 0;
    for (const TFileParam& job : jobs) {
      ++n;
      lines << QStringLiteral("File%1=%2").arg(QString::number(n), job.OutputPath);
      lines << QStringLiteral("Title%1=%2").arg(QString::number(n), title(job));
      lines << QStringLiteral("Length%1=%2").arg(n).arg(job.TrackInfo.LengthSeconds);
    }
    lines << QStringLiteral("NumberOfEntries=%1").arg(jobs.size());
    lines << QStringLiteral("Version=2");
  }
  return platform::WriteFileAtomic(fileName, (lines.join("\r\n") + "\r\n").toUtf8());
}

QString MegabytesText(double bytes) {
  return QString::number(bytes / 1024 / 1024, 'f', 2) + QStringLiteral("MB");
}

QString SectorsSizeText(int64_t sectors) { return MegabytesText(double(sectors * 2352)); }

QString SectorsText(int32_t sectors) {
  return QString::asprintf("%.2d:%.2d:%.2d", sectors / 4500, (sectors % 4500) / 75, sectors % 75);
}
