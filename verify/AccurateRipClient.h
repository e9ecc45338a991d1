// TAccurateRipClient: fetches a disc's dBAR file from the AccurateRip server
// through a bounded lookup (its deadline and size cap) and reads it. One
// lookup per object; user-interface thread only. OnDone is called once, from
// the event loop, when the answer is known.
#pragma once

#include <functional>
#include <vector>

#include "verify/AccurateRip.h"
#include "verify/DatabaseLookup.h"

class TAccurateRipClient {
 public:
  TAccurateRipClient();

  // Starts the lookup and returns at once. An empty server answers NoAnswer
  // (from the event loop, as every answer). The whole lookup ends after
  // timeoutMs, so a server that trickles bytes cannot hold it.
  void Start(const QString& server, const TArDiscIds& ids, int timeoutMs = 30000);
  // Stops a running lookup; its answer becomes NoAnswer.
  void Abort() { FLookup.Abort(); }

  TArAnswer Answer() const { return FLookup.Answer(); }
  // The reason of NoAnswer or Unreadable, for the log.
  const QString& Detail() const { return FLookup.Detail(); }
  const std::vector<TDbarBlock>& Blocks() const { return FBlocks; }
  const QString& Url() const { return FLookup.Url(); }

  std::function<void()> OnDone;

 private:
  TArDiscIds FIds;
  std::vector<TDbarBlock> FBlocks;
  TDatabaseLookup FLookup;
};
