// TSessionCover: the front cover a session embeds in its tracks and saves
// beside them: the Cover Art Archive's for the release the names came from,
// fetched while the tracks are read, else the one kept in the tracks' folder
// when that folder is the album's own.
// It reports by returning lines and never calls the session. User-interface
// thread only; the pending cover it hands the encoders is read by any.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

#include "encode/TaggedEncoder.h"

class TCoverArtFetch;
struct TRipPlan;
struct TRipSettings;

class TSessionCover {
 public:
  TSessionCover();
  ~TSessionCover();

  // Forgets the last session's cover and, when the settings embed covers and
  // the release is known, asks the archive for its front cover.
  void Start(const TRipSettings& settings, const QString& releaseId);
  // Ends the archive's request now.
  void Abort();
  // What the encoders wait for before tagging; null when nothing is fetched.
  std::shared_ptr<const TPendingCover> Pending() const { return FPending; }

  // Puts the cover kept in the folder into the tags when the folder is the
  // album's own. Returns why a cover file there is not used, once a session
  // and only while no fetch may yet replace it (a fetch keeps the line for
  // Finish); empty otherwise.
  QString TakeFolderCover(const TRipPlan& plan, const QString& folder, TTrackTags& tags);
  // Whether a cover in the folder stands for the plan's album alone: the
  // naming rule gives each album a folder of its own, or no track lies there
  // but the plan's outputs and their suspect, partial and numbered copies. A
  // folder that albums share may hold any one's cover.
  static bool IsAlbumsFolder(const TRipPlan& plan, const QString& folder);

  struct TFinished {
    QStringList Lines;  // why no cover came, to go into the summary
    QByteArray Image;   // the archive's cover to save, empty when none came
    QString FileName;   // "cover.jpg" or "cover.png"
  };
  // Waits for the fetch (bounded by its own deadline), aborted first when the
  // session was.
  TFinished Finish(bool aborted);

 private:
  std::unique_ptr<TCoverArtFetch> FFetch;
  std::shared_ptr<TPendingCover> FPending;  // null when no cover is fetched
  bool FReported = false;                   // the summary told why the folder's cover is not used
  QString FFolderProblem;  // told only when the archive's cover does not replace it
};
