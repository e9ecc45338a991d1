// TAccurateRipClient: fetches a disc's dBAR file from the AccurateRip server
// through the program's HTTP client (its time-outs and size cap) and reads
// it. One lookup per object; user-interface thread only. OnDone is called
// once, from the event loop, when the answer is known.
#pragma once

#include <functional>
#include <vector>

#include "verify/AccurateRip.h"
#include "net/BoundedGet.h"

class TAccurateRipClient {
 public:
  TAccurateRipClient();
  ~TAccurateRipClient();

  // Starts the lookup and returns at once. An empty server answers NoAnswer
  // (from the event loop, as every answer). The whole lookup ends after
  // timeoutMs, so a server that trickles bytes cannot hold it.
  void Start(const QString& server, const TArDiscIds& ids, int timeoutMs = 30000);
  // Stops a running lookup; its answer becomes NoAnswer.
  void Abort();

  TArAnswer Answer() const { return FAnswer; }
  // The reason of NoAnswer or Unreadable, for the log.
  const QString& Detail() const { return FDetail; }
  const std::vector<TDbarBlock>& Blocks() const { return FBlocks; }
  const QString& Url() const { return FUrl; }

  std::function<void()> OnDone;

 private:
  void RequestDone(int error);
  void Finish(TArAnswer answer, const QString& detail);

  TBoundedGet FGet;
  TArDiscIds FIds;
  QString FUrl;
  TArAnswer FAnswer = TArAnswer::Pending;
  QString FDetail;
  std::vector<TDbarBlock> FBlocks;
};
