// Waiting on the calling thread without freezing it: its events (timers,
// network replies, the window) keep being served while it waits.
#pragma once

#include <atomic>
#include <functional>

namespace platform {

// Runs `work` on a thread of its own while this thread serves its events;
// `stop` turns true once `stopped` does. Returns when `work` has returned.
void RunBesideEvents(const std::function<void(const std::atomic<bool>& stop)>& work,
                     const std::function<bool()>& stopped);

// Serves this thread's events while `pending` holds, for up to `timeoutMs`.
// False when `stopped` or the deadline ended the wait first.
bool ServeEventsWhile(const std::function<bool()>& pending, const std::function<bool()>& stopped,
                      int timeoutMs);

}  // namespace platform
