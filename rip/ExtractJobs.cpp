#include "rip/ExtractJobs.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <filesystem>
#include <system_error>

#include "cddb/CDInfo.h"
#include "platform/Files.h"
#include "rip/RipPlan.h"
#include "settings/Naming.h"

namespace {

// Earlier rips named their files ".MP3" and ".WAV". Such a file is this
// track's: its path is kept, so the overwrite question finds it and the track
// replaces or keeps it under its own name instead of lying beside it.
QString ExistingPathOf(const QString& path, const TFileFormat& format) {
  if (QFileInfo::exists(path) || !format.OlderExtension) return path;
  const QString extension = QString::fromLatin1(format.Extension);
  const QString older = path.chopped(extension.size() - 1) + QLatin1String(format.OlderExtension);
  return QFileInfo::exists(older) ? older : path;
}

// Writes the bytes whole under a name of its own, then gives them the path
// unless a file is there.
TPlaceResult WriteNewFile(const QString& path, const QByteArray& bytes) {
  const QString folder = QFileInfo(path).absolutePath();
  const QString temp = CreateFolder(folder).isEmpty() ? CreateTempFile(folder, ".tmp") : QString();
  if (temp.isEmpty()) return TPlaceResult::Failed;
  QFile file(temp);
  const bool written =
      file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
  file.close();
  const TPlaceResult result = written ? PlaceFile(temp, path, false) : TPlaceResult::Failed;
  if (result != TPlaceResult::Placed) QFile::remove(temp);
  return result;
}

}  // namespace

TCDTrackInfo MakeTrackInfo(const TMyCDInfo& info, int i, const QString& comment) {
  const TCDTrack track = info.GetTrack(i);
  TCDTrackInfo record;
  record.Category = info.Category;
  record.Artist = info.Artist;
  record.Album = info.Album;
  record.Year = info.Year;
  record.Comment = comment;
  record.TrackIndex = i;
  record.Title = track.Title;
  record.StartSector = track.StartSector;
  // Before a data session the audio ends earlier than the next track's start.
  record.EndSector = track.AudioEndSector;
  record.LengthSectors = track.AudioEndSector - track.StartSector;
  record.LengthSeconds = track.LengthSeconds;
  record.LengthBytes = track.LengthBytes;
  record.TrackArtist = track.Artist;
  record.Isrc = track.ISRC;
  record.MBRecordingID = track.MBRecordingID;
  record.MBReleaseID = info.MBReleaseID;
  record.MBReleaseGroupID = info.MBReleaseGroupID;
  return record;
}

void AssignOutputPaths(TRipPlan& plan) {
  const TRipSettings& settings = plan.Settings;
  const QString replaceChars = PadReplaceChars(settings.ReplaceStr);
  const auto pathOf = [&settings](const QString& name, const QString& suffix) {
    return ExistingPathOf(PlannedOutputPath(settings, name, suffix), settings.Format());
  };
  // Paths taken by earlier jobs, with their track numbers. Letter case is
  // ignored: on the FAT file systems of music players "A" and "a" are one file.
  QHash<QString, int32_t> taken;
  for (TFileParam& job : plan.Jobs) {
    const int32_t track = job.TrackInfo.TrackIndex + 1;
    job.FileName = MakeOutputName(settings.NamingString, replaceChars, plan.Disc.Names.AlbumArtist,
                                  plan.Disc.Names.Album, job.TrackInfo.Title, track,
                                  plan.Disc.Names.DiscNumber);
    job.Title = job.TrackInfo.Title;
    job.OutputPath = pathOf(job.FileName, QString());
    job.SharesNameWith = taken.value(job.OutputPath.toLower());
    // Two jobs of one run on one path would write one file over the other.
    for (int n = 1; taken.contains(job.OutputPath.toLower()); ++n) {
      const QString suffix = n == 1 ? QStringLiteral(" (%1)").arg(track)
                                    : QStringLiteral(" (%1-%2)").arg(track).arg(n);
      job.OutputPath = pathOf(job.FileName, suffix);
    }
    taken.insert(job.OutputPath.toLower(), track);
  }
}

std::map<int32_t, QString> PlannedPathsOfOtherTracks(const TRipPlan& plan,
                                                     const std::set<int32_t>& made) {
  TRipPlan whole{plan.Disc, {}, plan.Settings};
  for (const TDiscTrack& track : plan.Disc.Tracks) {
    if (!track.IsAudio()) continue;
    TFileParam job;
    job.TrackInfo.TrackIndex = track.Number - 1;
    job.TrackInfo.Title = track.Artist.isEmpty() ? track.Title : track.Artist + " / " + track.Title;
    whole.Jobs.push_back(job);
  }
  AssignOutputPaths(whole);
  std::map<int32_t, QString> paths;
  for (const TFileParam& job : whole.Jobs)
    if (!made.count(job.TrackInfo.TrackIndex + 1))
      paths[job.TrackInfo.TrackIndex + 1] = job.OutputPath;
  return paths;
}

TFileParam HiddenTrackJob(const TRipPlan& plan, const TFileParam& track1) {
  const TRipSettings& settings = plan.Settings;
  const int32_t sectors = plan.Disc.FirstStart();
  TFileParam hidden;
  hidden.RowIndex = -1;  // no row of the track list
  hidden.TrackInfo = track1.TrackInfo;
  TCDTrackInfo& info = hidden.TrackInfo;
  info.TrackIndex = -1;
  info.Title = QStringLiteral("Hidden track");
  info.TrackArtist.clear();
  info.Isrc.clear();
  info.MBRecordingID.clear();
  info.StartSector = 0;
  info.EndSector = info.LengthSectors = sectors;
  info.LengthSeconds = sectors / 75;
  info.LengthBytes = sectors * 2352;
  hidden.Title = info.Title;
  hidden.FileName = MakeOutputName(settings.NamingString, PadReplaceChars(settings.ReplaceStr),
                                   plan.Disc.Names.AlbumArtist, plan.Disc.Names.Album, info.Title,
                                   0, plan.Disc.Names.DiscNumber);
  hidden.OutputPath = PlannedOutputPath(settings, hidden.FileName);
  if (std::any_of(plan.Jobs.begin(), plan.Jobs.end(), [&hidden](const TFileParam& job) {
        return job.OutputPath.compare(hidden.OutputPath, Qt::CaseInsensitive) == 0;
      }))
    hidden.OutputPath = PlannedOutputPath(settings, hidden.FileName, " (0)");
  return hidden;
}

bool CreateOutputFolder(const QString& path) { return CreateFolder(path).isEmpty(); }

TPlaceResult WritePlaylist(const QString& fileName, const TJobList& jobs, bool replace) {
  // Both formats hold one entry field per line: a title's line break is folded
  // to a blank, and a path with one cannot be listed at all.
  for (const TFileParam& job : jobs)
    if (platform::SingleLine(job.OutputPath) != job.OutputPath) return TPlaceResult::Failed;
  const auto title = [](const TFileParam& job) {
    return platform::SingleLine(job.TrackInfo.Title);
  };
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
  const QByteArray text = (lines.join("\r\n") + "\r\n").toUtf8();
  if (replace)
    return platform::WriteFileAtomic(fileName, text) ? TPlaceResult::Placed : TPlaceResult::Failed;
  return WriteNewFile(fileName, text);
}

QString MegabytesText(double bytes) {
  return QString::number(bytes / 1024 / 1024, 'f', 2) + QStringLiteral("MB");
}

QString SectorsSizeText(int64_t sectors) { return MegabytesText(double(sectors * 2352)); }

QString SectorsText(int32_t sectors) {
  return QString::asprintf("%.2d:%.2d:%.2d", sectors / 4500, (sectors % 4500) / 75, sectors % 75);
}
