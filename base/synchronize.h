// Hand-over of a scanner thread's reports to the thread that owns the user interface.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace base {

// The owner thread's side of a hand-over: `Synchronize` runs `call` on the owner thread and
// returns only when it has run there, so the worker can hand over references to its own
// state. A console program drains a mailbox in its main loop; a window posts a message.
class TSynchronizer {
 public:
  virtual ~TSynchronizer() = default;
  virtual void Synchronize(const std::function<void()>& call) = 0;
};

// Runs every call at once on the calling thread: for tests and for scans that run without a
// second thread.
class TDirectSynchronizer final : public TSynchronizer {
 public:
  void Synchronize(const std::function<void()>& call) override { call(); }
};

// One event of a scanner thread (a handler with its arguments). The owner thread sets and
// clears it at any time; the worker fires it. A handler cleared while a report is on its way
// is not called: the owner looks at the slot again when the call reaches it, so an abandoned
// scan cannot add a row after it was stopped.
template <typename... Args>
class TEventSlot {
 public:
  using Handler = std::function<void(Args...)>;

  void Set(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
  }
  void Clear() { Set(nullptr); }
  bool Assigned() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(handler_);
  }

  // Worker side: nothing happens when no handler is set; otherwise blocks until the owner
  // thread has run the handler (or found it cleared).
  void Fire(TSynchronizer& sync, const Args&... args) const {
    if (!Assigned()) return;
    sync.Synchronize([&] {
      Handler h;
      {
        std::lock_guard lock(mutex_);
        h = handler_;
      }
      if (h) h(args...);
    });
  }

 private:
  mutable std::mutex mutex_;
  Handler handler_;
};

}  // namespace base
