// TDatabaseLookup: one lookup of a disc in an online database (AccurateRip,
// CTDB) through a bounded GET: a deadline for the whole request, a size cap,
// a few redirections; the kind of answer from the HTTP outcome, and the
// body of a success handed to the owner's reader. User-interface thread
// only. OnDone is called once per lookup, from the event loop.
#pragma once

#include <functional>

#include "verify/AccurateRip.h"
#include "net/BoundedGet.h"

class TDatabaseLookup {
 public:
  // read takes the body of a success and returns an empty string when it
  // read it, else why not (the answer is then Unreadable).
  TDatabaseLookup(qint64 maxBytes, std::function<QString(const QByteArray&)> read);
  ~TDatabaseLookup();

  // Starts the lookup and returns at once. An empty url answers NoAnswer
  // (from the event loop, as every answer): no server is set.
  void Start(const QString& url, int timeoutMs);
  // Stops a running lookup; its answer becomes NoAnswer.
  void Abort();

  TArAnswer Answer() const { return FAnswer; }
  // The reason of NoAnswer or Unreadable, for the log.
  const QString& Detail() const { return FDetail; }
  const QString& Url() const { return FUrl; }

  std::function<void()> OnDone;

 private:
  void RequestDone(int error);
  void Finish(TArAnswer answer, const QString& detail);

  TBoundedGet FGet;
  std::function<QString(const QByteArray&)> FRead;
  QString FUrl;
  TArAnswer FAnswer = TArAnswer::Pending;
  QString FDetail;
};
