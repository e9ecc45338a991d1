// The M3U and PLS writer with hostile titles, the jobs named as the program
// names them: each written playlist parses back to the same entries (path,
// title with its line breaks folded, length) in the same order. Input:
// titles separated by NUL.
#include <QStringList>

#include "FuzzUtil.h"
#include "platform/Files.h"
#include "rip/ExtractJobs.h"
#include "rip/RipPlan.h"
#include "settings/config.h"

namespace {

struct TEntry {
  QString Path;
  QString Title;
  int32_t Length = 0;
  bool operator==(const TEntry&) const = default;
};

QStringList Lines(const QString& path) {
  QString text = QString::fromUtf8(fuzz::ReadAll(path));
  FUZZ_CHECK(text.endsWith("\r\n"), text.right(20));
  text.chop(2);
  return text.split("\r\n");
}

QList<TEntry> ParseM3u(const QString& path) {
  const QStringList lines = Lines(path);
  FUZZ_CHECK(lines.value(0) == "#EXTM3U", lines.value(0));
  FUZZ_CHECK(lines.size() % 2 == 1, QString::number(lines.size()));
  QList<TEntry> entries;
  for (qsizetype i = 1; i + 1 < lines.size(); i += 2) {
    const QString& info = lines[i];
    const qsizetype comma = info.indexOf(", ");
    FUZZ_CHECK(info.startsWith("#EXTINF:") && comma > 0, info);
    entries.append({lines[i + 1], info.mid(comma + 2), info.mid(8, comma - 8).toInt()});
  }
  return entries;
}

QList<TEntry> ParsePls(const QString& path, int count) {
  const QStringList lines = Lines(path);
  FUZZ_CHECK(lines.size() == 3 * count + 3, QString::number(lines.size()));
  FUZZ_CHECK(lines.first() == "[playlist]", lines.first());
  FUZZ_CHECK(lines[3 * count + 1] == QString("NumberOfEntries=%1").arg(count), lines.last());
  FUZZ_CHECK(lines.last() == "Version=2", lines.last());
  QList<TEntry> entries;
  for (int n = 1; n <= count; ++n) {
    const auto value = [&](int line, const QString& key) {
      const QString prefix = QString("%1%2=").arg(key).arg(n);
      FUZZ_CHECK(lines[line].startsWith(prefix), lines[line]);
      return lines[line].mid(prefix.size());
    };
    const int at = 3 * n - 2;
    entries.append({value(at, "File"), value(at + 1, "Title"), value(at + 2, "Length").toInt()});
  }
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QList<QByteArray> titles = fuzz::Bytes(data, size).split('\0');
  if (titles.size() > 40) return 0;
  Config->OutputFolder = fuzz::Dir() + "Music";
  Config->NamingString = size % 2 ? "<number> <title>" : "<artist>\\<album>\\<title>";
  TRipPlan plan{TDisc(), {}, RipSettingsOf(*Config)};
  plan.Disc.Names.AlbumArtist = "Artist";
  plan.Disc.Names.Album = "Album";
  TJobList& jobs = plan.Jobs;
  QList<TEntry> expected;
  for (qsizetype i = 0; i < titles.size(); ++i) {
    TFileParam job;
    job.TrackInfo.TrackIndex = int32_t(i);
    job.TrackInfo.Title = QString::fromUtf8(titles[i]);
    job.TrackInfo.LengthSeconds = int32_t(titles[i].size() * 7);
    jobs.push_back(job);
  }
  AssignOutputPaths(plan);
  for (const TFileParam& job : jobs)
    expected.append(
        {job.OutputPath, platform::SingleLine(job.TrackInfo.Title), job.TrackInfo.LengthSeconds});

  const QString m3u = fuzz::Dir() + "list.m3u";
  FUZZ_CHECK(WritePlaylist(m3u, jobs) == TPlaceResult::Placed, m3u);
  const QList<TEntry> fromM3u = ParseM3u(m3u);
  FUZZ_CHECK(fromM3u == expected, fromM3u.value(0).Title);
  const QString pls = fuzz::Dir() + "list.pls";
  FUZZ_CHECK(WritePlaylist(pls, jobs) == TPlaceResult::Placed, pls);
  FUZZ_CHECK(ParsePls(pls, int(jobs.size())) == expected, QString());
  return 0;
}
