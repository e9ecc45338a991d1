#include "app/RipSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QStringList>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "rip/ConvSession.h"
#include "libs/cdrip/cdrip.h"

namespace {

volatile std::sig_atomic_t gReceived = 0;
volatile std::sig_atomic_t gCount = 0;
volatile std::sig_atomic_t gCutReads = 1;
int gPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
  if (gReceived == 0) gReceived = signal;
  gCount = gCount + 1;
  // A read that fails slowly holds its chunk for long: it stops here.
  if (gCutReads) CR_AbortRip();
  const char byte = 1;
  // Nothing else is async-signal-safe enough to wake the event loop.
  [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
}

void Catch(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking read of the overwrite question returns.
  action.sa_flags = 0;
  sigaction(signal, &action, nullptr);
}

}  // namespace

TStopSignals::TStopSignals(std::function<void()> onSignal, bool cutReads)
    : FOnSignal(std::move(onSignal)) {
  gReceived = 0;
  gCount = 0;
  gCutReads = cutReads ? 1 : 0;
  if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  FNotifier = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
  QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] {
    char bytes[16];
    while (::read(gPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (FOnSignal) FOnSignal();
  });
  Catch(SIGINT, OnStopSignal);
  Catch(SIGTERM, OnStopSignal);
}

TStopSignals::~TStopSignals() {
  Catch(SIGINT, SIG_DFL);
  Catch(SIGTERM, SIG_DFL);
  FNotifier.reset();
  for (int& fd : gPipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

int TStopSignals::Received() const { return gReceived; }

int TStopSignals::Count() const { return gCount; }

bool ReadAnswerLine(int fd, QByteArray& line) {
  line.clear();
  for (;;) {
    if (gReceived) return false;
    // The handler's byte stays in the pipe until the event loop runs, so a
    // signal that came before poll() still wakes it.
    pollfd fds[2] = {{fd, POLLIN, 0}, {gPipe[0], POLLIN, 0}};
    if (::poll(fds, gPipe[0] >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (gReceived) return false;
    if (fds[0].revents == 0) continue;
    char c;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
    line += c;
  }
}

int FinishStoppedSession(TConvSession& session, TJobList& jobs, int signal,
                         const QStringList& messages) {
  const QStringList kept = EndStoppedSession(session, jobs);
  QString text;
  if (!messages.isEmpty())
    text = QString("%1 Error(s) occured during conversion session.\n%2\n")
               .arg(messages.size())
               .arg(messages.join('\n'));
  text += QString("cadenzo-rip: stopped by %1; ").arg(signal == SIGINT ? "SIGINT" : "SIGTERM");
  if (kept.isEmpty()) {
    text += "no finished track was kept.\n";
  } else {
    text += QString("kept %1 finished track(s):\n").arg(kept.size());
    for (const QString& path : kept) text += "  " + path + "\n";
  }
  std::fputs(text.toLocal8Bit().constData(), stderr);
  std::fflush(stderr);
  return 128 + signal;
}
