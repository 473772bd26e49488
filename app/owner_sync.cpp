// The console's mailbox hand-over.
#include "app/owner_sync.h"

namespace app {

TMailboxSynchronizer::TMailboxSynchronizer() : owner_(std::this_thread::get_id()) {}

void TMailboxSynchronizer::Synchronize(const std::function<void()>& call) {
  if (std::this_thread::get_id() == owner_) {
    call();
    return;
  }
  std::unique_lock lock(mutex_);
  if (released_) return;
  Entry entry{&call};
  queue_.push_back(&entry);
  posted_.notify_one();
  // The entry lives on this stack frame: it may only go once the owner (or Release) is done
  // with it.
  done_.wait(lock, [&] { return entry.done; });
}

bool TMailboxSynchronizer::RunNext(std::chrono::milliseconds timeout) {
  Entry* entry = nullptr;
  {
    std::unique_lock lock(mutex_);
    if (!posted_.wait_for(lock, timeout, [&] { return !queue_.empty(); })) return false;
    entry = queue_.front();
    queue_.pop_front();
  }
  RunHandedOverCall(*entry, mutex_, done_);
  return true;
}

void TMailboxSynchronizer::Release() {
  std::lock_guard lock(mutex_);
  released_ = true;
  for (Entry* entry : queue_) entry->done = true;
  queue_.clear();
  done_.notify_all();
}

void RunHandedOverCall(THandedOverCall& entry, std::mutex& mutex, std::condition_variable& done) {
  auto finish = [&] {
    std::lock_guard lock(mutex);
    entry.done = true;
    done.notify_all();
  };
  try {
    (*entry.call)();
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

}  // namespace app
