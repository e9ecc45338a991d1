// TBoundedGet: one GET at a time through the program's HTTP client, held to a
// size cap, a few redirects and a deadline for the whole request. The body is
// kept in memory. User-interface thread only.
#pragma once

#include <QBuffer>
#include <QTimer>
#include <functional>

#include "net/HttpProt.h"

class TBoundedGet {
 public:
  explicit TBoundedGet(qint64 maxBytes);
  ~TBoundedGet();

  // Called once per request from the event loop: the client's error code
  // (0 when an answer came, whatever its status).
  std::function<void(int error)> OnDone;
  // Called instead when the deadline passed; the request is dropped.
  std::function<void()> OnTimeout;

  void Start(const QString& url, int timeoutMs);
  // Drops a running request; its OnDone still comes, with an error.
  void Abort();

  int StatusCode() const { return FHttp.StatusCode; }
  const QString& StatusText() const { return FHttp.StatusText; }
  QByteArray Body() const { return FBody.data(); }
  // Where queued calls of the owner go, so they end with this object.
  QObject* Context() { return &FHttp; }

 private:
  THttpCli FHttp;
  QBuffer FBody;
  QTimer FDeadline;
};
