#include "app/ExtractJobs.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

#include "app/AppInfo.h"
#include "cddb/CDInfo.h"
#include "platform/Files.h"
#include "settings/Naming.h"
#include "settings/config.h"

QString Id3CommentText() {
  if (!Config->Id3Comment.isEmpty()) return Config->Id3Comment;
  return QStringLiteral("%1 %2").arg(kProgramName, kProgramVersion);
}

bool LoadDiscNames(TMyCDInfo& info) {
  const bool hasTracks = info.LoadFromTOC();
  info.SetDefaultNames();
  if (Config->AutoLoadCDPlayerINI)
    info.ReadCDPlayerIni();
  else if (!info.ReadLocalCDDB())
    info.ReadCDPlayerIni();
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
  return record;
}

void AssignOutputPaths(TJobList& jobs, const QString& artist, const QString& album) {
  const QString folder = AddTrailingBackslash(Config->OutputFolder);
  const QString replaceChars = PadReplaceChars(Config->ReplaceStr);
  for (TFileParam& job : jobs) {
    job.FileName = MakeOutputName(Config->NamingString, replaceChars, artist, album,
                                  job.TrackInfo.Title, job.TrackInfo.TrackIndex + 1);
    job.Title = job.TrackInfo.Title;
    job.OutputPath = BuildOutputPath(folder, job.FileName, Config->OutputFormat);
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
