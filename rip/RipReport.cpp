#include "rip/RipReport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "platform/AppInfo.h"
#include "rip/RipPlan.h"
#include "verify/CueSheet.h"
#include "verify/RipLog.h"

namespace {

QString LogText(const TDisc& disc, const TRipResults& results) {
  TRipLog log;
  log.Program = QString("%1 %2").arg(kProgramName, kProgramVersion);
  log.Date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  log.Drive = results.Drive;
  log.ReadOffset = results.ReadOffset;
  log.ReadMode = results.ReadMode;
  log.Output = results.Output;
  log.Artist = disc.Names.AlbumArtist;
  log.Album = disc.Names.Album;
  const TArDiscIds ids{disc.AudioTrackCount(), disc.Ids.AccurateRip1, disc.Ids.AccurateRip2,
                       disc.Ids.Cddb};
  log.DiscIds = QString("CDDB %1, AccurateRip %2")
                    .arg(ids.Id3, 8, 16, QChar(u'0'))
                    .arg(DbarFileName(ids).mid(5).chopped(4));
  log.AccurateRip = results.AccurateRip;
  log.Ctdb = results.Ctdb;
  for (const TDiscTrack& track : disc.Tracks)
    log.Toc.push_back(
        {track.Number, track.Start, track.AudioSectors(), track.Pregap, track.IsAudio()});
  for (const TReportTrack& job : results.Tracks) {
    if (!job.Verification) continue;
    const TTrackVerification& result = *job.Verification;
    const TDiscTrack* onDisc = disc.Track(job.TrackNum);
    TRipLogTrack track;
    track.TrackNum = result.TrackNum;
    track.FileName = QFileInfo(job.OutputPath).fileName();
    track.Pregap = onDisc ? onDisc->Pregap : 0;
    track.TestCrc = job.TestCrc;
    track.Read = result.Complete;
    track.PeakPercent = result.Peak * 100.0 / 32768;
    track.CopyCrc = result.Crc;
    track.ArV1 = result.ArV1;
    track.ArV2 = result.ArV2;
    track.Verdict =
        track.TrackNum == 0 ? QStringLiteral("no entry for a hidden track") : result.Verdict.Text();
    track.Accurate = result.Verdict.Kind == TArVerdict::Accurate;
    track.UnreadableSectors = job.LostSectors;
    track.LeftOutSectors = job.LeftOutSectors;
    track.JitterErrors = job.JitterErrors;
    track.SectorMap = job.SectorMap;
    track.SectorCounts = job.SectorCounts;
    track.Status = job.Status;
    log.Tracks.push_back(track);
  }
  return log.Text();
}

// The sheet of the files this session wrote whole, in disc order; none
// without a track.
std::optional<TCueSheet> Sheet(const TDisc& disc, const TRipSettings& settings,
                               const TRipResults& results, const QString& folder) {
  TCueSheet sheet;
  sheet.Performer = disc.Names.AlbumArtist;
  sheet.Title = disc.Names.Album;
  sheet.Genre = disc.Names.Genre;
  sheet.Date = disc.Names.Date;
  sheet.DiscId = QString::asprintf("%08X", disc.Ids.Cddb);
  sheet.Catalog = disc.Mcn;
  sheet.FileType = QString::fromLatin1(settings.Format().CueFileType);
  std::vector<const TReportTrack*> written;
  for (const TReportTrack& job : results.Tracks)
    if (job.Whole) written.push_back(&job);
  std::sort(written.begin(), written.end(),
            [](const TReportTrack* a, const TReportTrack* b) { return a->TrackNum < b->TrackNum; });
  for (const TReportTrack* job : written) {
    const QString name = QDir(folder).relativeFilePath(job->OutputPath);
    const TDiscTrack* track = disc.Track(job->TrackNum);
    if (!track) {
      sheet.HiddenTrackFile = name;
      continue;
    }
    sheet.Tracks.push_back({track->Number, name, track->Title,
                            track->Artist.isEmpty() ? sheet.Performer : track->Artist, track->Isrc,
                            track->Pregap, track->AudioSectors()});
  }
  if (sheet.Tracks.empty()) return std::nullopt;
  return sheet;
}

}  // namespace

std::vector<TReportFile> ReportFiles(const TDisc& disc, const TRipSettings& settings,
                                     const TRipResults& results) {
  const auto read = std::find_if(results.Tracks.begin(), results.Tracks.end(),
                                 [](const TReportTrack& job) { return job.Verification; });
  // Nothing of the disc was read: no report.
  if (read == results.Tracks.end()) return {};
  const QString folder = QFileInfo(read->OutputPath).absolutePath();
  const QString& artist = disc.Names.AlbumArtist;
  const QString& album = disc.Names.Album;
  std::vector<TReportFile> files;
  if (settings.WriteLog)
    files.push_back({RipLogPath(folder, artist, album, settings.ReplaceStr), LogText(disc, results),
                     QStringLiteral("rip log")});
  // The sheet names the files the log vouches for, so it comes after it.
  if (settings.WriteCueSheet)
    if (const std::optional<TCueSheet> sheet = Sheet(disc, settings, results, folder))
      files.push_back({CueSheetPath(folder, artist, album, settings.ReplaceStr), sheet->Text(),
                       QStringLiteral("CUE sheet")});
  return files;
}
