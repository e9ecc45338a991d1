#include "musicbrainz/MbLookup.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

#include "cddb/CDInfo.h"
#include "net/NetworkAccess.h"
#include "platform/AppInfo.h"
#include "settings/config.h"

namespace {

// The service asks every client for at most one request a second; the
// clock is the process's, shared by every lookup.
constexpr qint64 kRequestInterval = 1000;
constexpr int kBackOffMs = 1000;

QElapsedTimer& Clock() {
  static QElapsedTimer clock;
  if (!clock.isValid()) clock.start();
  return clock;
}
qint64 gLastRequest = -kRequestInterval;

}  // namespace

QNetworkProxy ConfiguredProxy(const TConfig& config) {
  if (config.EnableProxy && !config.ProxyServer.trimmed().isEmpty())
    return QNetworkProxy(QNetworkProxy::HttpProxy, config.ProxyServer.trimmed(),
                         quint16(config.ProxyPort));
  return QNetworkProxy(QNetworkProxy::NoProxy);
}

TMbLookup::TMbLookup(const TConfig& config, QObject* parent)
    : QObject(parent),
      FServer(config.MusicBrainzServer.trimmed()),
      FContact(config.EmailAddress.trimmed()),
      FProxy(ConfiguredProxy(config)) {
  while (FServer.endsWith(QLatin1Char('/'))) FServer.chop(1);
  if (!FContact.contains(QLatin1Char('@'))) FContact = kHomepageUrl;
  FSendTimer.setSingleShot(true);
  connect(&FSendTimer, &QTimer::timeout, this, [this] { Sent(); });
  FDeadline.setSingleShot(true);
  connect(&FDeadline, &QTimer::timeout, this, [this] {
    FTimedOut = true;
    if (FReply) FReply->abort();
  });
}

TMbLookup::~TMbLookup() { Abort(); }

QString TMbLookup::UserAgent() const {
  return QString("%1/%2 ( %3 )").arg(kProgramName, kProgramVersion, FContact);
}

QString TMbLookup::RequestUrl(bool fuzzy) const {
  QUrl url(FServer + "/ws/2/discid/" + FDisc.Id);
  QUrlQuery query;
  query.addQueryItem("inc", "artist-credits+labels+recordings+release-groups+isrcs");
  if (fuzzy) {
    query.addQueryItem("toc", QString(FDisc.Toc).replace(QLatin1Char(' '), QLatin1Char('+')));
    query.addQueryItem("cdstubs", "no");
  }
  url.setQuery(query);
  return url.toString();
}

void TMbLookup::Start(const TMyCDInfo& info) {
  Abort();
  FToc = MbTocOf(info);
  FDisc = ComputeMbDiscId(FToc);
  FFuzzy = false;
  F503Count = 0;
  FReleases.clear();
  FReason.clear();
  if (FDisc.Id.isEmpty()) return Finish(TMbResult::Failed, "No disc ID: " + FDisc.Error);
  Status(QString("Looking up disc %1 on MusicBrainz").arg(FDisc.Id));
  Send();
}

void TMbLookup::Abort() {
  FSendTimer.stop();
  FDeadline.stop();
  DropReply(FReply, this);
}

// Waits out the interval since the last request of this process.
void TMbLookup::Send() {
  const qint64 wait = gLastRequest + kRequestInterval - Clock().elapsed();
  FSendTimer.start(int(std::max<qint64>(0, wait)));
}

void TMbLookup::Sent() {
  gLastRequest = Clock().elapsed();
  QNetworkRequest request{QUrl(RequestUrl(FFuzzy))};
  request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
  request.setRawHeader("Accept", "application/xml");
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  FBody.clear();
  FTimedOut = false;
  FTooLarge = false;
  QNetworkReply* reply = ProgramNetworkGet(request, FProxy);
  FReply = reply;
  connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
    FBody += reply->readAll();
    if (FBody.size() > MaxAnswerBytes) {
      FTooLarge = true;
      reply->abort();
    }
  });
  connect(reply, &QNetworkReply::finished, this, [this] { Received(); });
  FDeadline.start(TimeoutMs);
}

void TMbLookup::Received() {
  FDeadline.stop();
  QNetworkReply* reply = FReply;
  FReply = nullptr;
  if (!reply) return;
  reply->deleteLater();
  if (!FTooLarge && reply->isOpen()) FBody += reply->readAll();
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (FTooLarge)
    return Finish(TMbResult::Failed, "MusicBrainz did not answer: the answer is larger than 2 MB");
  if (FTimedOut)
    return Finish(
        TMbResult::Failed,
        QString("MusicBrainz did not answer: no answer within %1 s").arg(TimeoutMs / 1000.0));
  if (status == 503) return Busy(*reply);
  if (status == 404) return NotFound();
  if (status == 0)
    return Finish(TMbResult::Failed, "MusicBrainz did not answer: " + reply->errorString());
  if (status != 200) {
    const QString reason =
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
    return Finish(
        TMbResult::Failed,
        QString("MusicBrainz did not answer: HTTP %1 %2").arg(status).arg(reason).trimmed());
  }
  // A connection lost within the body is no answer, whatever the status said.
  if (reply->error() != QNetworkReply::NoError)
    return Finish(TMbResult::Failed, "MusicBrainz did not answer: " + reply->errorString());
  QString error;
  if (!ReadMbReleases(FBody, FReleases, error))
    return Finish(TMbResult::Failed, "MusicBrainz sent an answer that can't be read: " + error);
  // A release without a medium of this disc's length would name the disc
  // and leave its tracks as they were.
  std::erase_if(FReleases, [this](const TMbRelease& release) {
    return MbMediumOf(release, FDisc.Id, TrackCount()) < 0;
  });
  if (FReleases.empty()) return NotFound();
  Finish(TMbResult::Found, FReleases.size() == 1
                               ? QString("Found 1 release")
                               : QString("Found %1 releases").arg(FReleases.size()));
}

// Tries again after the back-off, or after the wait the server asks for
// (seconds or a date) when that fits in a request's time; else gives up and
// says when to ask again.
void TMbLookup::Busy(const QNetworkReply& reply) {
  const QString retryAfter = QString::fromLatin1(reply.rawHeader("Retry-After")).trimmed();
  bool seconds = false;
  qint64 waitMs = retryAfter.toLongLong(&seconds) * 1000;
  if (!seconds && !retryAfter.isEmpty()) {
    const QDateTime when = QDateTime::fromString(retryAfter, Qt::RFC2822Date);
    waitMs = when.isValid() ? QDateTime::currentDateTimeUtc().msecsTo(when) : 0;
  }
  waitMs = std::max<qint64>(waitMs, kBackOffMs * (F503Count + 1));
  if (F503Count >= Max503Retries || waitMs > TimeoutMs) {
    const QString when = waitMs > TimeoutMs ? QString("in %1 s").arg((waitMs + 999) / 1000)
                                            : QStringLiteral("later");
    return Finish(TMbResult::Failed, "MusicBrainz is busy (HTTP 503); try again " + when);
  }
  ++F503Count;
  Status(
      QString("MusicBrainz is busy (HTTP 503); trying again in %1 s").arg((waitMs + 999) / 1000));
  FSendTimer.start(int(waitMs));
}

// One fuzzy retry by TOC for an unknown ID; none after it.
void TMbLookup::NotFound() {
  if (FFuzzy) return Finish(TMbResult::NoRelease, "MusicBrainz has no release for this disc");
  FFuzzy = true;
  Status("MusicBrainz does not know this disc ID; looking for a disc with the same TOC");
  Send();
}

void TMbLookup::Status(const QString& text) {
  if (OnStatus) OnStatus(text);
}

void TMbLookup::Finish(TMbResult result, const QString& status) {
  FReason = status;
  Status(status);
  if (OnFinished) OnFinished(result);
}
