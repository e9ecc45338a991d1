#include "rip/SessionCover.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "musicbrainz/CoverArt.h"
#include "rip/RipPlan.h"

TSessionCover::TSessionCover() = default;

TSessionCover::~TSessionCover() {
  // No worker waits for a cover that cannot come any more.
  if (FPending) FPending->Set({}, {});
}

void TSessionCover::Start(const TRipSettings& settings, const QString& releaseId) {
  FFetch.reset();
  if (FPending) FPending->Set({}, {});
  FPending.reset();
  FReported = false;
  FFolderProblem.clear();
  if (!settings.EmbedCover) return;
  auto fetch = std::make_unique<TCoverArtFetch>(settings.CoverArtServer, settings.Proxy);
  if (!fetch->CanFetch(releaseId)) return;
  FPending = std::make_shared<TPendingCover>();
  fetch->OnDone = [this, fetch = fetch.get()] { FPending->Set(fetch->Image(), fetch->Mime()); };
  fetch->Start(releaseId);
  FFetch = std::move(fetch);
}

void TSessionCover::Abort() {
  if (FFetch) FFetch->Abort();
}

QString TSessionCover::TakeFolderCover(const TRipPlan& plan, const QString& folder,
                                       TTrackTags& tags) {
  QByteArray cover;
  QString mime;
  QString problem = ReadFolderCover(folder, cover, mime);
  if (problem.isEmpty() && !cover.isEmpty()) {
    if (IsAlbumsFolder(plan, folder)) {
      tags.Cover = cover;
      tags.CoverMime = mime;
    } else {
      problem = QString(
                    "No cover embedded: the cover in \"%1\" may be another album's, whose "
                    "tracks lie there.")
                    .arg(folder);
    }
  }
  if (problem.isEmpty() || std::exchange(FReported, true)) return {};
  // While the archive's cover may yet take its place, the line waits for the fetch's end.
  if (FPending) {
    FFolderProblem = problem;
    return {};
  }
  return problem;
}

bool TSessionCover::IsAlbumsFolder(const TRipPlan& plan, const QString& folder) {
  const QString rule = QString(plan.Settings.NamingString).replace('/', '\\');
  const qsizetype folders = std::max(rule.lastIndexOf('\\'), qsizetype(0));
  if (rule.left(folders).contains(QLatin1String("<album>"), Qt::CaseInsensitive)) return true;
  QStringList own;  // the outputs' names in the folder, without extension
  for (const TFileParam& job : plan.Jobs) {
    const QFileInfo output(job.OutputPath);
    if (output.absolutePath() == folder) own << output.completeBaseName().toLower();
  }
  QStringList tracks;
  for (const TFileFormat& format : FileFormats())
    tracks << '*' + QString::fromLatin1(format.Extension);
  const QFileInfoList files = QDir(folder).entryInfoList(tracks, QDir::Files);
  return std::all_of(files.begin(), files.end(), [&own](const QFileInfo& file) {
    const QString name = file.completeBaseName().toLower();
    return std::any_of(own.begin(), own.end(), [&name](const QString& output) {
      return name == output || name.startsWith(output + " (");
    });
  });
}

TSessionCover::TFinished TSessionCover::Finish(bool aborted) {
  TFinished finished;
  if (!FFetch) return finished;
  if (aborted) FFetch->Abort();
  while (FFetch->Running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  if (!FFetch->Problem().isEmpty()) finished.Lines << FFetch->Problem();
  const QByteArray& image = FFetch->Image();
  if (image.isEmpty() && !FFolderProblem.isEmpty()) finished.Lines << FFolderProblem;
  if (aborted || image.isEmpty()) return finished;
  finished.Image = image;
  finished.FileName = FFetch->Mime() == QLatin1String("image/png") ? "cover.png" : "cover.jpg";
  return finished;
}
