#include "platform/EventWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QObject>
#include <thread>

namespace platform {

void RunBesideEvents(const std::function<void(const std::atomic<bool>& stop)>& work,
                     const std::function<bool()>& stopped) {
  std::atomic<bool> stop{false}, done{false};
  // Lives on this thread, so the worker's last word wakes this thread's loop
  // (not the application's, which may be another thread's).
  QObject waker;
  std::thread worker([&] {
    work(stop);
    done = true;
    QMetaObject::invokeMethod(
        &waker, [] {}, Qt::QueuedConnection);
  });
  while (!done) {
    if (stopped()) stop = true;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  worker.join();
}

bool ServeEventsWhile(const std::function<bool()>& pending, const std::function<bool()>& stopped,
                      int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (pending()) {
    if (stopped() || deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

}  // namespace platform
