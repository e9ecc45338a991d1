// Ctrl-C and SIGTERM for cadenzo-rip: the signal only asks the session to
// stop after the chunk in hand; afterwards the run deletes the incomplete
// output and every temporary file, keeps the finished tracks and says which.
// One instance, on the thread that runs the session.
#pragma once

#include <QByteArray>
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "encode/FileParam.h"

class TConvSession;

class TStopSignals {
 public:
  // Catches SIGINT and SIGTERM until destroyed; onSignal runs in the event
  // loop (which the session pumps after every chunk) after each one. With
  // cutReads, a signal also cuts the read in hand, which may hold its chunk
  // long; a batch of discs stops its drives' rips itself, where each knows.
  explicit TStopSignals(std::function<void()> onSignal, bool cutReads = true);
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // The first signal caught, 0 while none was.
  int Received() const;
  // The signals caught so far.
  int Count() const;

 private:
  std::unique_ptr<QSocketNotifier> FNotifier;
  std::function<void()> FOnSignal;
};

// Reads one answer line from fd, without its line end. False at the end of
// input, on a read error, and as soon as a stop signal arrives (also when it
// came just before the call), so a question never holds the run.
bool ReadAnswerLine(int fd, QByteArray& line);

// Ends a session stopped by `signal`: deletes the outputs the stop left
// incomplete when this session wrote them (the job in hand, a failed job
// whose encoder it cut), and every temporary file; prints the error summary
// lines and the kept files on stderr. Returns the exit status, 128 + the
// signal (130 for SIGINT, 143 for SIGTERM).
int FinishStoppedSession(TConvSession& session, TJobList& jobs, int signal,
                         const QStringList& messages);
