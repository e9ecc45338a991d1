#include "musicbrainz/CoverArt.h"

#include <QNetworkRequest>
#include <QUrl>

#include "encode/CoverImage.h"
#include "encode/Tags.h"
#include "musicbrainz/MbLookup.h"
#include "net/NetworkAccess.h"

namespace {

const QString kNoCover = QStringLiteral("No cover embedded: the Cover Art Archive ");

}  // namespace

TCoverArtFetch::TCoverArtFetch(const QString& server, const QNetworkProxy& proxy, QObject* parent)
    : QObject(parent), FServer(server.trimmed()), FProxy(proxy) {
  while (FServer.endsWith(QLatin1Char('/'))) FServer.chop(1);
  FDeadline.setSingleShot(true);
  connect(&FDeadline, &QTimer::timeout, this, [this] {
    FTimedOut = true;
    if (FReply) FReply->abort();
  });
}

TCoverArtFetch::~TCoverArtFetch() {
  OnDone = nullptr;
  Abort();
}

bool TCoverArtFetch::CanFetch(const QString& releaseId) const {
  // The ID comes from stored disc information and goes into the path.
  return !FServer.isEmpty() && IsMbid(releaseId);
}

QString TCoverArtFetch::RequestUrl(const QString& releaseId) const {
  return FServer + "/release/" + releaseId + "/front-500";
}

void TCoverArtFetch::Start(const QString& releaseId) {
  Abort();
  FImage.clear();
  FMime.clear();
  FProblem.clear();
  FTimedOut = FTooLarge = false;
  FRunning = true;
  if (!CanFetch(releaseId)) {
    QMetaObject::invokeMethod(
        this, [this] { Finish(QString()); }, Qt::QueuedConnection);
    return;
  }
  QNetworkRequest request{QUrl(RequestUrl(releaseId))};
  request.setRawHeader("Accept", "image/jpeg, image/png");
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setMaximumRedirectsAllowed(MaxRedirects);
  QNetworkReply* reply = ProgramNetworkGet(request, FProxy);
  FReply = reply;
  const auto tooLarge = [this, reply] {
    FTooLarge = true;
    reply->abort();
  };
  // A redirect announces its own small length; only the image's counts.
  connect(reply, &QNetworkReply::metaDataChanged, this, [reply, tooLarge] {
    if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxCoverBytes &&
        reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200)
      tooLarge();
  });
  connect(reply, &QNetworkReply::readyRead, this, [this, reply, tooLarge] {
    FImage += reply->read(kMaxCoverBytes + 1 - FImage.size());
    if (FImage.size() > kMaxCoverBytes) tooLarge();
  });
  connect(reply, &QNetworkReply::finished, this, [this] { Received(); });
  FDeadline.start(TimeoutMs);
}

void TCoverArtFetch::Abort() {
  if (!FRunning) return;
  FDeadline.stop();
  DropReply(FReply, this);
  Finish(QString());
}

void TCoverArtFetch::Received() {
  FDeadline.stop();
  QNetworkReply* reply = FReply;
  FReply = nullptr;
  if (!reply) return;
  reply->deleteLater();
  if (!FTooLarge && reply->isOpen()) FImage += reply->read(kMaxCoverBytes + 1 - FImage.size());
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (FTooLarge || FImage.size() > kMaxCoverBytes)
    return Finish(kNoCover + "sent an image larger than 10 MB.");
  if (FTimedOut)
    return Finish(kNoCover + QString("did not answer within %1 s.").arg(TimeoutMs / 1000.0));
  // The release has no front cover: nothing to report.
  if (status == 404) return Finish(QString());
  if (reply->error() != QNetworkReply::NoError)
    return Finish(kNoCover + "did not answer: " + reply->errorString());
  if (status != 200) return Finish(kNoCover + QString("answered HTTP %1.").arg(status));
  // Decoded whole: a body cut short by a reset ends like a whole one.
  QString why;
  const auto image = ReadCoverImage(FImage, &why);
  if (!image) return Finish(kNoCover + "sent " + why + ".");
  FMime = image->Mime;
  Finish(QString());
}

void TCoverArtFetch::Finish(const QString& problem) {
  if (!FRunning) return;
  FRunning = false;
  FProblem = problem;
  if (!problem.isEmpty() || FMime.isEmpty()) {
    FImage.clear();
    FMime.clear();
  }
  if (OnDone) OnDone();
}
