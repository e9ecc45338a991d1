#include "verify/CtdbClient.h"

#include <algorithm>

namespace {

// An answer without metadata holds a few hundred bytes per entry.
constexpr qint64 kMaxAnswerBytes = 512 * 1024;
// The whole recovery file of the largest npar the reader takes, and headers.
constexpr qint64 kMaxRecoveryBytes = 32 * kCtdbRecoveryRowBytes + 16 * 1024;

}  // namespace

TCtdbClient::TCtdbClient()
    : FLookup(kMaxAnswerBytes, [this](const QByteArray& body) {
        QString why;
        ReadCtdbEntries(body, FEntries, why);
        return why;
      }) {
  FLookup.OnDone = [this] {
    if (OnDone) OnDone();
  };
}

void TCtdbClient::Start(const QString& server, const QString& tocList, int timeoutMs) {
  FEntries.clear();
  FLookup.Start(server.trimmed().isEmpty() ? QString() : CtdbLookupUrl(server, tocList), timeoutMs);
}

int TCtdbRecoveryClient::NextRows(int rows, const TCtdbEntry& entry) {
  return rows >= entry.Npar ? 0 : std::min(2 * rows, entry.Npar);
}

TCtdbRecoveryClient::TCtdbRecoveryClient() : FGet(kMaxRecoveryBytes) {
  FGet.OnDone = [this](int error) { RequestDone(error); };
  FGet.OnTimeout = [this] { Finish(QStringLiteral("no answer in time")); };
}

TCtdbRecoveryClient::~TCtdbRecoveryClient() { OnDone = nullptr; }

void TCtdbRecoveryClient::Start(const QString& url, const TCtdbEntry& entry, int rows,
                                int timeoutMs) {
  FEntry = entry;
  FRows = std::clamp(rows, 2, std::max(2, entry.Npar));
  FRecovery.reset();
  FError.clear();
  FRunning = true;
  if (url.isEmpty()) {
    QMetaObject::invokeMethod(
        FGet.Context(), [this] { Finish(QStringLiteral("the entry has no recovery file")); },
        Qt::QueuedConnection);
    return;
  }
  FGet.Start(url, timeoutMs, 0, FRows * kCtdbRecoveryRowBytes - 1);
}

void TCtdbRecoveryClient::Abort() {
  if (!FRunning) return;
  FGet.Abort();
  Finish(QStringLiteral("stopped"));
}

void TCtdbRecoveryClient::RequestDone(int error) {
  if (!FRunning) return;
  const int status = FGet.StatusCode();
  if (error != 0) {
    Finish(FGet.StatusText());
    return;
  }
  if (status != 200 && status != 206) {
    Finish(QString("HTTP %1 %2").arg(status).arg(FGet.StatusText()));
    return;
  }
  // The rows asked for, or every row when the server sent the whole file.
  const QByteArray body = FGet.Body();
  int rows = 0;
  if (status == 206 && FGet.RangeFirst() == QLatin1String("0") &&
      body.size() == FRows * kCtdbRecoveryRowBytes)
    rows = FRows;
  if (status == 200 && body.size() == FEntry.Npar * kCtdbRecoveryRowBytes) rows = FEntry.Npar;
  if (rows == 0) {
    Finish(QString("a recovery file of %1 bytes").arg(body.size()));
    return;
  }
  FRecovery = ReadCtdbRecovery(body, rows, FEntry);
  Finish(FRecovery ? QString() : QStringLiteral("the recovery file is not the entry's"));
}

void TCtdbRecoveryClient::Finish(const QString& error) {
  if (!FRunning) return;
  FRunning = false;
  FError = error;
  if (!FRecovery && FError.isEmpty()) FError = QStringLiteral("no recovery data");
  if (OnDone) OnDone();
}
