#include "verify/AccurateRipClient.h"

namespace {
// A dBAR file holds 13 + 9 * tracks bytes per pressing; a few hundred
// pressings of a full disc stay far below this.
constexpr qint64 kMaxDbarBytes = 512 * 1024;
}  // namespace

TAccurateRipClient::TAccurateRipClient() {
  FHttp.MaxResponseBytes = kMaxDbarBytes;
  FHttp.MaxRedirects = 3;
  FHttp.ResponseStream = &FBody;
  FHttp.OnRequestDone = [this](THttpRequest, int error) { RequestDone(error); };
  FDeadline.setSingleShot(true);
  QObject::connect(&FDeadline, &QTimer::timeout, &FHttp, [this] {
    FHttp.Abort();
    Finish(TArAnswer::NoAnswer, QStringLiteral("no answer in time"));
  });
}

TAccurateRipClient::~TAccurateRipClient() {
  OnDone = nullptr;
  if (FHttp.State() != httpReady) FHttp.Abort();
}

void TAccurateRipClient::Start(const QString& server, const TArDiscIds& ids, int timeoutMs) {
  FIds = ids;
  FAnswer = TArAnswer::Pending;
  if (server.trimmed().isEmpty() || ids.AudioTracks == 0) {
    QMetaObject::invokeMethod(
        &FHttp, [this] { Finish(TArAnswer::NoAnswer, QStringLiteral("no server set")); },
        Qt::QueuedConnection);
    return;
  }
  FUrl = DbarUrl(server, ids);
  FBody.close();
  FBody.setData(QByteArray());
  FBody.open(QIODevice::WriteOnly);
  FHttp.URL = FUrl;
  FHttp.StartGet();
  FDeadline.start(timeoutMs);
}

void TAccurateRipClient::Abort() {
  if (FAnswer != TArAnswer::Pending) return;
  FHttp.Abort();
  Finish(TArAnswer::NoAnswer, QStringLiteral("stopped"));
}

void TAccurateRipClient::RequestDone(int error) {
  if (FAnswer != TArAnswer::Pending) return;
  // The client reports a failure of its own as status 404 with an error code.
  if (error != 0) {
    Finish(TArAnswer::NoAnswer, FHttp.StatusText);
  } else if (FHttp.StatusCode == 404) {
    Finish(TArAnswer::NotFound, QString());
  } else if (FHttp.StatusCode < 200 || FHttp.StatusCode > 299) {
    Finish(TArAnswer::NoAnswer, QString("HTTP %1 %2").arg(FHttp.StatusCode).arg(FHttp.StatusText));
  } else if (auto blocks = ParseDbar(FBody.data(), FIds)) {
    FBlocks = std::move(*blocks);
    Finish(TArAnswer::Found, QString());
  } else {
    Finish(TArAnswer::Unreadable, QString("%1 bytes").arg(FBody.data().size()));
  }
}

void TAccurateRipClient::Finish(TArAnswer answer, const QString& detail) {
  if (FAnswer != TArAnswer::Pending) return;
  FDeadline.stop();
  FAnswer = answer;
  FDetail = detail;
  if (OnDone) OnDone();
}
