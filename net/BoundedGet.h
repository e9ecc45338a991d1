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

  // With lastByte >= 0, asks for bytes [firstByte, lastByte] only; a server
  // may still send the whole body (status 200), and a redirection drops the
  // range.
  void Start(const QString& url, int timeoutMs, qint64 firstByte = 0, qint64 lastByte = -1);
  // Drops a running request; its OnDone still comes, with an error.
  void Abort();

  int StatusCode() const { return FHttp.StatusCode; }
  const QString& StatusText() const { return FHttp.StatusText; }
  // The first byte of a partial answer (status 206), empty without one.
  const QString& RangeFirst() const { return FHttp.ContentRangeBegin; }
  QByteArray Body() const { return FBody.data(); }
  // Where queued calls of the owner go, so they end with this object.
  QObject* Context() { return &FHttp; }

 private:
  THttpCli FHttp;
  QBuffer FBody;
  QTimer FDeadline;
};
