#include "net/BoundedGet.h"

TBoundedGet::TBoundedGet(qint64 maxBytes) {
  FHttp.MaxResponseBytes = maxBytes;
  FHttp.MaxRedirects = 3;
  FHttp.ResponseStream = &FBody;
  FHttp.OnRequestDone = [this](THttpRequest, int error) {
    FDeadline.stop();
    if (OnDone) OnDone(error);
  };
  FDeadline.setSingleShot(true);
  QObject::connect(&FDeadline, &QTimer::timeout, &FHttp, [this] {
    FHttp.Abort();
    if (OnTimeout) OnTimeout();
  });
}

TBoundedGet::~TBoundedGet() {
  OnDone = nullptr;
  OnTimeout = nullptr;
  Abort();
}

void TBoundedGet::Start(const QString& url, int timeoutMs, qint64 firstByte, qint64 lastByte) {
  FBody.close();
  FBody.setData(QByteArray());
  FBody.open(QIODevice::WriteOnly);
  FHttp.URL = url;
  // Set on every request: the client keeps a range it never sent.
  FHttp.ContentRangeBegin = lastByte >= 0 ? QString::number(firstByte) : QString();
  FHttp.ContentRangeEnd = lastByte >= 0 ? QString::number(lastByte) : QString();
  FHttp.StartGet();
  FDeadline.start(timeoutMs);
}

void TBoundedGet::Abort() {
  FDeadline.stop();
  FHttp.Abort();
}
