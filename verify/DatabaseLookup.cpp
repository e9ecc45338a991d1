#include "verify/DatabaseLookup.h"

TDatabaseLookup::TDatabaseLookup(qint64 maxBytes, std::function<QString(const QByteArray&)> read)
    : FGet(maxBytes), FRead(std::move(read)) {
  FGet.OnDone = [this](int error) { RequestDone(error); };
  FGet.OnTimeout = [this] { Finish(TArAnswer::NoAnswer, QStringLiteral("no answer in time")); };
}

TDatabaseLookup::~TDatabaseLookup() { OnDone = nullptr; }

void TDatabaseLookup::Start(const QString& url, int timeoutMs) {
  FAnswer = TArAnswer::Pending;
  FUrl = url;
  if (url.isEmpty()) {
    QMetaObject::invokeMethod(
        FGet.Context(), [this] { Finish(TArAnswer::NoAnswer, QStringLiteral("no server set")); },
        Qt::QueuedConnection);
    return;
  }
  FGet.Start(url, timeoutMs);
}

void TDatabaseLookup::Abort() {
  if (FAnswer != TArAnswer::Pending) return;
  FGet.Abort();
  Finish(TArAnswer::NoAnswer, QStringLiteral("stopped"));
}

void TDatabaseLookup::RequestDone(int error) {
  if (FAnswer != TArAnswer::Pending) return;
  // The client reports a failure of its own as status 404 with an error code.
  if (error != 0) {
    Finish(TArAnswer::NoAnswer, FGet.StatusText());
  } else if (FGet.StatusCode() == 404) {
    Finish(TArAnswer::NotFound, QString());
  } else if (FGet.StatusCode() < 200 || FGet.StatusCode() > 299) {
    Finish(TArAnswer::NoAnswer,
           QString("HTTP %1 %2").arg(FGet.StatusCode()).arg(FGet.StatusText()));
  } else if (const QString why = FRead(FGet.Body()); why.isEmpty()) {
    Finish(TArAnswer::Found, QString());
  } else {
    Finish(TArAnswer::Unreadable, why);
  }
}

void TDatabaseLookup::Finish(TArAnswer answer, const QString& detail) {
  if (FAnswer != TArAnswer::Pending) return;
  FAnswer = answer;
  FDetail = detail;
  if (OnDone) OnDone();
}
