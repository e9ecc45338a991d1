// TCtdbClient: looks a disc up in the CTDB database through a bounded
// lookup (a deadline, a size cap, a few redirections) and reads the answer's
// entries. TCtdbRecoveryClient: fetches the first rows of an entry's
// recovery file with a byte range (4 rows, then 8, then 16 as a repair needs
// them). One request per object at a time; user-interface thread only.
// OnDone is called once per request, from the event loop.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "verify/AccurateRip.h"
#include "net/BoundedGet.h"
#include "verify/Ctdb.h"
#include "verify/CtdbRepair.h"
#include "verify/DatabaseLookup.h"

class TCtdbClient {
 public:
  TCtdbClient();

  // Starts the lookup and returns at once. An empty server answers NoAnswer
  // (from the event loop, as every answer).
  void Start(const QString& server, const QString& tocList, int timeoutMs = 30000);
  // Stops a running lookup; its answer becomes NoAnswer.
  void Abort() { FLookup.Abort(); }

  // Found also when the answer holds no entry of this disc's length.
  TArAnswer Answer() const { return FLookup.Answer(); }
  // The reason of NoAnswer or Unreadable, for the log.
  const QString& Detail() const { return FLookup.Detail(); }
  const std::vector<TCtdbEntry>& Entries() const { return FEntries; }

  std::function<void()> OnDone;

 private:
  std::vector<TCtdbEntry> FEntries;
  TDatabaseLookup FLookup;
};

class TCtdbRecoveryClient {
 public:
  // The rows to ask for first, and after `rows` did not suffice (0 when the
  // entry has no more).
  static constexpr int kFirstRows = 4;
  static int NextRows(int rows, const TCtdbEntry& entry);

  TCtdbRecoveryClient();
  ~TCtdbRecoveryClient();

  // Fetches rows 0..rows-1 of the entry's recovery file from url (see
  // CtdbRecoveryUrl). A server that sends the whole file gives every row.
  void Start(const QString& url, const TCtdbEntry& entry, int rows, int timeoutMs = 30000);
  void Abort();

  // After OnDone: the rows, or nothing with the reason in Error().
  const std::optional<TCtdbRecovery>& Recovery() const { return FRecovery; }
  const QString& Error() const { return FError; }

  std::function<void()> OnDone;

 private:
  void RequestDone(int error);
  void Finish(const QString& error);

  TBoundedGet FGet;
  TCtdbEntry FEntry;
  int FRows = 0;
  bool FRunning = false;
  std::optional<TCtdbRecovery> FRecovery;
  QString FError;
};
