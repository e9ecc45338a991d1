// TCoverArtFetch: the front cover of one MusicBrainz release from the Cover
// Art Archive at the server given (CoverArtServer): GET
// /release/<id>/front-500, the archive's redirects to its image host followed
// a few times, the whole request bounded in time and size, and the answer
// taken only when it decodes whole as a JPEG or PNG image. Its requests go
// through the program's network access; user-interface thread only.
#pragma once

#include <QByteArray>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>


class TCoverArtFetch : public QObject {
 public:
  // server: the CoverArtServer setting; empty: no cover is fetched.
  TCoverArtFetch(const QString& server, const QNetworkProxy& proxy, QObject* parent = nullptr);
  ~TCoverArtFetch() override;

  // Whether a release of that ID can be asked for: an MBID, and a server set.
  bool CanFetch(const QString& releaseId) const;
  // Sends the request; OnDone follows once from the event loop, also when
  // the ID cannot be asked for.
  void Start(const QString& releaseId);
  // Ends a running request now; OnDone is called with no cover.
  void Abort();
  bool Running() const { return FRunning; }

  // The image, empty when none came.
  const QByteArray& Image() const { return FImage; }
  QString Mime() const { return FMime; }
  // Why no image came, as a summary line; empty when one came or the
  // archive has none for the release (an answer, not a fault).
  const QString& Problem() const { return FProblem; }
  QString RequestUrl(const QString& releaseId) const;

  int TimeoutMs = 15000;
  int MaxRedirects = 5;
  std::function<void()> OnDone;

 private:
  void Received();
  void Finish(const QString& problem);

  QString FServer;
  QNetworkProxy FProxy;
  QPointer<QNetworkReply> FReply;
  QTimer FDeadline;
  bool FRunning = false;
  bool FTimedOut = false;
  bool FTooLarge = false;
  QByteArray FImage;
  QString FMime;
  QString FProblem;
};
