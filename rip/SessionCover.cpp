#include "rip/SessionCover.h"

#include <QCoreApplication>

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

QString TSessionCover::TakeFolderCover(const QString& folder, TTrackTags& tags) {
  const QString problem = ReadFolderCover(folder, tags.Cover, tags.CoverMime);
  if (problem.isEmpty() || std::exchange(FReported, true)) return {};
  // While the archive's cover may yet take its place, the line waits for the fetch's end.
  if (FPending) {
    FFolderProblem = problem;
    return {};
  }
  return problem;
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
