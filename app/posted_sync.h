// The owner thread's end of the hand-over for a window: a worker's call waits in a queue, a
// notification (a posted message) wakes the owner, and the owner runs what is queued.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "app/owner_sync.h"

namespace app {

// A worker posts its call, sends the owner a notification and blocks until the owner has run
// the call (or the hand-over was released). The notification carries nothing: the owner runs
// every queued call when any notification arrives, so a late or repeated one is harmless.
class TPostedSynchronizer final : public TOwnerSynchronizer {
 public:
  // `notify` is called on the worker thread after its call was queued; it answers whether
  // the owner will hear of it (a window's PostMessage). When it cannot, the call is taken back
  // unrun and the worker goes on: a window that is gone never runs another report.
  // The owner is the thread that creates the hand-over.
  explicit TPostedSynchronizer(std::function<bool()> notify);

  // Worker side. On the owner thread itself the call runs at once (it cannot wait for itself).
  void Synchronize(const std::function<void()>& call) override;
  // Owner side: runs the queued calls one at a time, each letting its worker go on; answers
  // how many ran. A call may itself pump messages (a modal dialog) and so run this again:
  // each call is taken from the queue before it runs. An exception of a call reaches the
  // owner after its worker was let go; the calls behind it wait for the next notification.
  std::size_t RunPosted();
  // No call runs any more; waiting workers and those still to come go on at once.
  void Release() override;
  bool Released() const;

 private:
  using Entry = THandedOverCall;
  std::function<bool()> notify_;
  std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable done_;
  std::deque<Entry*> queue_;
  bool released_ = false;
};

}  // namespace app
