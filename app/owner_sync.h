// The owner thread's end of the scanner hand-over: a mailbox the console's main loop drains.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "base/synchronize.h"

namespace app {

// A hand-over the scan session can shut: once `Release` has run, no call runs any more and
// every worker waiting for the owner goes on at once. The session releases it when it is
// destroyed, so it can join its threads without the owner having to run their reports.
// A window implements it with a posted message and a flag that `Release` sets.
class TOwnerSynchronizer : public base::TSynchronizer {
 public:
  virtual void Release() = 0;
};

// A worker's call waiting for the owner, on the worker's stack: `done` lets the worker go.
struct THandedOverCall {
  const std::function<void()>* call;
  bool done = false;
};

// Runs the call on the owner, then marks it done under `mutex` and wakes the workers waiting on
// `done`; an exception of the call is passed on after its worker was let go.
void RunHandedOverCall(THandedOverCall& entry, std::mutex& mutex, std::condition_variable& done);

// The console's hand-over: a worker posts its call and blocks; the owner's main loop runs the
// calls one at a time with `RunNext`, which also lets it wake up now and then (progress,
// Ctrl+C) while nothing is posted.
class TMailboxSynchronizer final : public TOwnerSynchronizer {
 public:
  // The owner is the thread that creates the mailbox.
  TMailboxSynchronizer();

  // Worker side. On the owner thread itself the call runs at once (it cannot wait for itself).
  void Synchronize(const std::function<void()>& call) override;
  // Owner side: waits up to `timeout` for a call, runs it and lets its worker go on. Answers
  // whether a call ran. An exception of the call reaches the owner after the worker was let go.
  bool RunNext(std::chrono::milliseconds timeout);
  void Release() override;

 private:
  using Entry = THandedOverCall;
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::condition_variable done_;
  std::deque<Entry*> queue_;
  bool released_ = false;
};

}  // namespace app
