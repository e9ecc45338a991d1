// TMbLookup: one lookup of the loaded disc on the MusicBrainz web service of
// the settings: the disc ID request, one fuzzy retry by TOC when the ID is
// unknown, 503 answers retried with back-off (or after the wait the server
// asks for, when it fits in a request's time), a bound on time and size, and
// the releases read from the answer that have a medium of this disc. It
// neither chooses nor fills names; its owner does. Its requests go through
// the program's network access; user-interface thread only.
#pragma once

#include <QByteArray>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <vector>

#include "musicbrainz/MbDiscId.h"
#include "musicbrainz/MbRelease.h"

class TConfig;
class TMyCDInfo;

// The proxy of the settings, or none.
QNetworkProxy ConfiguredProxy(const TConfig& config);

enum class TMbResult { Found, NoRelease, Failed };

class TMbLookup : public QObject {
 public:
  // The disc information is read at Start; it is not kept.
  TMbLookup(const TConfig& config, QObject* parent = nullptr);
  ~TMbLookup() override;

  // Computes the disc ID and sends the request; OnFinished reports the end,
  // possibly before Start returns (a disc without audio tracks).
  void Start(const TMyCDInfo& info);
  // Ends a running lookup without OnFinished.
  void Abort();
  bool Running() const { return FReply != nullptr || FSendTimer.isActive(); }

  QString DiscId() const { return FDisc.Id; }
  // Where MusicBrainz takes the disc when it has none.
  QString SubmissionUrl() const { return FDisc.SubmissionUrl; }
  int TrackCount() const { return FToc.Last; }
  const std::vector<TMbRelease>& Releases() const { return FReleases; }
  QString Reason() const { return FReason; }
  QString RequestUrl(bool fuzzy) const;
  QString UserAgent() const;

  // The bound on one request, connection to last byte.
  int TimeoutMs = 15000;
  static constexpr qint64 MaxAnswerBytes = 2 * 1024 * 1024;
  static constexpr int Max503Retries = 2;

  // "Looking up disc <id> on MusicBrainz", "Found <n> releases", ...
  std::function<void(const QString& status)> OnStatus;
  std::function<void(TMbResult result)> OnFinished;

 private:
  void Send();
  void Sent();
  void Received();
  void NotFound();
  void Busy(const QNetworkReply& reply);
  void Finish(TMbResult result, const QString& status);
  void Status(const QString& text);

  QString FServer, FContact;
  QNetworkProxy FProxy;
  QPointer<QNetworkReply> FReply;
  QTimer FSendTimer, FDeadline;
  TMbToc FToc;
  TMbDiscId FDisc;
  bool FFuzzy = false;
  bool FTimedOut = false;
  bool FTooLarge = false;
  int F503Count = 0;
  QByteArray FBody;
  std::vector<TMbRelease> FReleases;
  QString FReason;
};
