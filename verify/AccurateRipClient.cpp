#include "verify/AccurateRipClient.h"

namespace {
// A dBAR file holds 13 + 9 * tracks bytes per pressing; a few hundred
// pressings of a full disc stay far below this.
constexpr qint64 kMaxDbarBytes = 512 * 1024;
}  // namespace

TAccurateRipClient::TAccurateRipClient() : FGet(kMaxDbarBytes) {
  FGet.OnDone = [this](int error) { RequestDone(error); };
  FGet.OnTimeout = [this] { Finish(TArAnswer::NoAnswer, QStringLiteral("no answer in time")); };
}

TAccurateRipClient::~TAccurateRipClient() { OnDone = nullptr; }

void TAccurateRipClient::Start(const QString& server, const TArDiscIds& ids, int timeoutMs) {
  FIds = ids;
  FAnswer = TArAnswer::Pending;
  if (server.trimmed().isEmpty() || ids.AudioTracks == 0) {
    QMetaObject::invokeMethod(
        FGet.Context(), [this] { Finish(TArAnswer::NoAnswer, QStringLiteral("no server set")); },
        Qt::QueuedConnection);
    return;
  }
  FUrl = DbarUrl(server, ids);
  FGet.Start(FUrl, timeoutMs);
}

void TAccurateRipClient::Abort() {
  if (FAnswer != TArAnswer::Pending) return;
  FGet.Abort();
  Finish(TArAnswer::NoAnswer, QStringLiteral("stopped"));
}

void TAccurateRipClient::RequestDone(int error) {
  if (FAnswer != TArAnswer::Pending) return;
  // The client reports a failure of its own as status 404 with an error code.
  if (error != 0) {
    Finish(TArAnswer::NoAnswer, FGet.StatusText());
  } else if (FGet.StatusCode() == 404) {
    Finish(TArAnswer::NotFound, QString());
  } else if (FGet.StatusCode() < 200 || FGet.StatusCode() > 299) {
    Finish(TArAnswer::NoAnswer,
           QString("HTTP %1 %2").arg(FGet.StatusCode()).arg(FGet.StatusText()));
  } else if (auto blocks = ParseDbar(FGet.Body(), FIds)) {
    FBlocks = std::move(*blocks);
    Finish(TArAnswer::Found, QString());
  } else {
    Finish(TArAnswer::Unreadable, QString("%1 bytes").arg(FGet.Body().size()));
  }
}

void TAccurateRipClient::Finish(TArAnswer answer, const QString& detail) {
  if (FAnswer != TArAnswer::Pending) return;
  FAnswer = answer;
  FDetail = detail;
  if (OnDone) OnDone();
}
