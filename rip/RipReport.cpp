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

QString Hex(uint32_t value) { return QString::asprintf("%08X", value); }

QString ProgramText() { return QString("%1 %2").arg(kProgramName, kProgramVersion); }

// Why the track's checksums prove nothing: it was not read, or not whole.
QString ReadProblem(const TReportTrack& track) {
  if (!track.Verification) return QStringLiteral("not read");
  if (!track.Verification->Complete) return QStringLiteral("not read completely");
  return QString();
}

QString BeforeTrack1Text(const TDisc& disc, TBeforeTrack1 state) {
  const QString length = MsfText(disc.FirstStart());
  switch (state) {
    case TBeforeTrack1::None:
      break;
    case TBeforeTrack1::NotChecked:
      return length + ", not checked";
    case TBeforeTrack1::Silent:
      return length + ", read and found silent: not ripped";
    case TBeforeTrack1::Ripped:
      return length + ", not silent: ripped as track 00";
  }
  return QString();
}

// Each pressing's entry for the track, and which of the rip's sums it agrees with.
QString DatabaseText(const std::vector<TDbarBlock>& blocks, const TTrackVerification& track) {
  QStringList entries;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (track.DbarIndex < 0 || size_t(track.DbarIndex) >= blocks[i].Tracks.size()) continue;
    const TDbarBlock::TEntry& entry = blocks[i].Tracks[size_t(track.DbarIndex)];
    QString text = QString("pressing %1 CRC %2 confidence %3")
                       .arg(i + 1)
                       .arg(Hex(entry.Crc))
                       .arg(entry.Confidence);
    if (entry.Confidence > 0) {
      const TArVerdict& verdict = track.Verdict;
      if (entry.Crc == track.ArV2)
        text += " (agrees in v2)";
      else if (entry.Crc == track.ArV1)
        text += " (agrees in v1)";
      else if (verdict.Offset != 0 && entry.Crc == verdict.OffsetV1)
        text += QString(" (agrees in v1 at pressing offset %1%2)")
                    .arg(verdict.Offset > 0 ? "+" : "")
                    .arg(verdict.Offset);
    }
    entries << text;
  }
  return entries.join("; ");
}

TRipLogTrack LogTrack(const TDisc& disc, const TRipResults& results, const TReportTrack& job) {
  const TTrackVerification& result = *job.Verification;
  const TDiscTrack* onDisc = disc.Track(job.TrackNum);
  TRipLogTrack track;
  track.TrackNum = job.TrackNum;
  if (job.Written) track.FileName = QFileInfo(job.OutputPath).fileName();
  track.Pregap = onDisc ? onDisc->Pregap : 0;
  track.TestCrc = job.TestCrc;
  track.Read = result.Complete;
  track.PeakPercent = result.Peak * 100.0 / 32768;
  // A file in place has the track's length, silence where the disc could
  // not be read: its CRC holds even then.
  if (job.Written || result.Complete) track.CopyCrc = result.Crc;
  if (job.FileCrc) track.FileCrc = job.FileCrc;
  track.ArV1 = result.ArV1;
  track.ArV2 = result.ArV2;
  track.Verdict = VerdictText(job);
  if (job.TrackNum > 0 && result.Complete) track.Database = DatabaseText(results.ArBlocks, result);
  if (track.Read && result.Verdict.Offset != 0)
    track.ExtraLines << QString("AccurateRip v1 at pressing offset %1%2: %3")
                            .arg(result.Verdict.Offset > 0 ? "+" : "")
                            .arg(result.Verdict.Offset)
                            .arg(Hex(result.Verdict.OffsetV1));
  track.UnreadableSectors = job.LostSectors;
  track.LeftOutSectors = job.LeftOutSectors;
  track.JitterErrors = job.JitterErrors;
  track.SectorMap = job.SectorMap;
  track.SectorCounts = job.SectorCounts;
  track.Status = job.Status;
  return track;
}

QString LogText(const TDisc& disc, const TRipSettings& settings, const TRipResults& results) {
  TRipLog log;
  log.Program = ProgramText();
  log.Date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  log.Drive = results.Drive;
  log.ReadOffset = results.ReadOffset;
  log.ReadMode = results.ReadMode;
  log.TestAndCopy = settings.TestAndCopy;
  if (settings.NormalizeVolume)
    log.Normalization = QString(
                            "each file to %1 % of full scale; the checksums and verdicts are of "
                            "the audio read, a file's own audio has its File CRC")
                            .arg(settings.NormalizeFactor);
  log.Output = results.Output;
  log.Artist = disc.Names.AlbumArtist;
  log.Album = disc.Names.Album;
  const TArDiscIds ids{disc.AudioTrackCount(), disc.Ids.AccurateRip1, disc.Ids.AccurateRip2,
                       disc.Ids.Cddb};
  log.DiscIds = QString("CDDB %1, AccurateRip %2")
                    .arg(ids.Id3, 8, 16, QChar(u'0'))
                    .arg(DbarFileName(ids).mid(5).chopped(4));
  log.BeforeTrack1 = BeforeTrack1Text(disc, results.BeforeTrack1);
  log.AccurateRip = results.AccurateRip;
  log.Ctdb = results.Ctdb;
  for (const TDiscTrack& track : disc.Tracks)
    log.Toc.push_back(
        {track.Number, track.Start, track.AudioSectors(), track.Pregap, track.IsAudio()});
  for (const TReportTrack& job : results.Tracks) {
    log.Errors = log.Errors || job.Status != QLatin1String("Done");
    if (job.Verification) log.Tracks.push_back(LogTrack(disc, results, job));
  }
  log.ArSummary = TallyOf(results).Text();
  return log.Text();
}

// The sheet of the files this session wrote, in disc order; none without a
// track, or when they leave a track out between them (*gap: the first track
// left out): a sheet numbers its tracks one after another, and would
// describe another disc.
std::optional<TCueSheet> Sheet(const TDisc& disc, const TRipSettings& settings,
                               const TRipResults& results, const QString& folder, int* gap) {
  TCueSheet sheet;
  sheet.Performer = disc.Names.AlbumArtist;
  sheet.Title = disc.Names.Album;
  sheet.Genre = disc.Names.Genre;
  sheet.Date = disc.Names.Date;
  sheet.DiscId = QString::asprintf("%08X", disc.Ids.Cddb);
  sheet.Catalog = disc.Mcn;
  sheet.Comment = ProgramText();
  sheet.FileType = QString::fromLatin1(settings.Format().CueFileType);
  std::vector<const TReportTrack*> written;
  for (const TReportTrack& job : results.Tracks)
    if (job.Written) written.push_back(&job);
  std::sort(written.begin(), written.end(),
            [](const TReportTrack* a, const TReportTrack* b) { return a->TrackNum < b->TrackNum; });
  for (const TReportTrack* job : written) {
    const QString name = QDir(folder).relativeFilePath(job->OutputPath);
    const TDiscTrack* track = disc.Track(job->TrackNum);
    if (!track) {
      sheet.HiddenTrackFile = name;
      continue;
    }
    if (!sheet.Tracks.empty() && sheet.Tracks.back().TrackNum != track->Number - 1) {
      *gap = sheet.Tracks.back().TrackNum + 1;
      return std::nullopt;
    }
    sheet.Tracks.push_back({track->Number, name, track->Title,
                            track->Artist.isEmpty() ? sheet.Performer : track->Artist, track->Isrc,
                            track->Pregap, track->AudioSectors()});
  }
  if (sheet.Tracks.empty()) return std::nullopt;
  return sheet;
}

// " (tracks 2-3, 5)": the audio tracks of the disc this rip went through,
// when it left some out; empty when it went through them all.
QString PartialSuffix(const TDisc& disc, const TRipResults& results) {
  std::vector<int32_t> ripped;
  for (const TReportTrack& job : results.Tracks)
    if (job.TrackNum > 0) ripped.push_back(job.TrackNum);
  std::sort(ripped.begin(), ripped.end());
  ripped.erase(std::unique(ripped.begin(), ripped.end()), ripped.end());
  if (int(ripped.size()) >= disc.AudioTrackCount()) return QString();
  QStringList runs;
  for (size_t i = 0; i < ripped.size();) {
    size_t end = i;
    while (end + 1 < ripped.size() && ripped[end + 1] == ripped[end] + 1) ++end;
    runs << (end == i ? QString::number(ripped[i])
                      : QString("%1-%2").arg(ripped[i]).arg(ripped[end]));
    i = end + 1;
  }
  return QString(" (track%1 %2)").arg(ripped.size() == 1 ? "" : "s", runs.join(", "));
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
  // The album's files from an earlier rip hold the proof of tracks this one
  // did not rip: a partial rip leaves them and names its own.
  const QString suffix = PartialSuffix(disc, results);
  const auto path = [&](const auto& pathOf) {
    const QString albums = pathOf(folder, artist, album, settings.ReplaceStr, QString());
    return suffix.isEmpty() || !QFileInfo::exists(albums)
               ? albums
               : pathOf(folder, artist, album, settings.ReplaceStr, suffix);
  };
  std::vector<TReportFile> files;
  const auto add = [&files](const QString& path, const char* what) -> TReportFile& {
    TReportFile& file = files.emplace_back();
    file.Path = path;
    file.What = QLatin1String(what);
    return file;
  };
  if (settings.WriteLog) {
    TReportFile& log = add(path(RipLogPath), "rip log");
    log.Text = LogText(disc, settings, results);
    log.Log = true;
  }
  // The sheet names the files the log vouches for, so it comes after it.
  if (settings.WriteCueSheet) {
    int gap = 0;
    if (const std::optional<TCueSheet> sheet = Sheet(disc, settings, results, folder, &gap)) {
      TReportFile& file = add(path(CueSheetPath), "CUE sheet");
      file.Problem = sheet->Problem();
      if (file.Problem.isEmpty()) file.Text = sheet->Text();
    } else if (gap > 0) {
      add(path(CueSheetPath), "CUE sheet").LeftOut =
          QString(
              "No CUE sheet written: the files leave out track %1 between them, and a sheet "
              "numbers its tracks one after another.")
              .arg(gap);
    }
  }
  return files;
}

TArTally TallyOf(const TRipResults& results) {
  TArTally tally;
  for (const TReportTrack& track : results.Tracks) {
    if (track.TrackNum == 0) continue;
    const QString problem = ReadProblem(track);
    if (problem.isEmpty())
      tally.Add(track.Verification->Verdict);
    else
      tally.AddNotVerified(problem);
  }
  return tally;
}

QString VerdictText(const TReportTrack& track) {
  if (track.TrackNum == 0) return QStringLiteral("no entry for a hidden track");
  const QString problem = ReadProblem(track);
  if (!problem.isEmpty()) return "Not verified: " + problem;
  const QString text = track.Verification->Verdict.Text();
  return FileDiffers(track) ? text + " (of the audio read; the file holds it normalised)" : text;
}

bool FileDiffers(const TReportTrack& track) {
  return track.FileCrc && track.Verification && *track.FileCrc != track.Verification->Crc;
}

bool ProvenAccurate(const TReportTrack& track) {
  return ReadProblem(track).isEmpty() && track.Verification->Verdict.Kind == TArVerdict::Accurate &&
         !FileDiffers(track);
}
