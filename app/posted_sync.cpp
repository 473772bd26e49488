// The hand-over for a window: queued calls, a notification, and the owner's drain.
#include "app/posted_sync.h"

#include <algorithm>

namespace app {

TPostedSynchronizer::TPostedSynchronizer(std::function<bool()> notify)
    : notify_(std::move(notify)), owner_(std::this_thread::get_id()) {}

void TPostedSynchronizer::Synchronize(const std::function<void()>& call) {
  if (std::this_thread::get_id() == owner_) {
    if (!Released()) call();
    return;
  }
  Entry entry{&call};
  {
    std::lock_guard lock(mutex_);
    if (released_) return;
    queue_.push_back(&entry);
  }
  // Outside the lock: posting may block briefly, and the owner may already be draining.
  const bool heard = notify_ && notify_();
  std::unique_lock lock(mutex_);
  if (!heard && !entry.done) {
    // Nobody will drain it; unless the owner has already taken it, take it back unrun.
    const auto it = std::find(queue_.begin(), queue_.end(), &entry);
    if (it != queue_.end()) {
      queue_.erase(it);
      return;
    }
  }
  // The entry lives on this stack frame: it may only go once the owner (or Release) is done
  // with it.
  done_.wait(lock, [&] { return entry.done; });
}

std::size_t TPostedSynchronizer::RunPosted() {
  std::size_t ran = 0;
  for (;;) {
    Entry* entry = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return ran;
      entry = queue_.front();
      queue_.pop_front();
    }
    RunHandedOverCall(*entry, mutex_, done_);
    ++ran;
  }
}

void TPostedSynchronizer::Release() {
  std::lock_guard lock(mutex_);
  released_ = true;
  for (Entry* entry : queue_) entry->done = true;
  queue_.clear();
  done_.notify_all();
}

bool TPostedSynchronizer::Released() const {
  std::lock_guard lock(mutex_);
  return released_;
}

}  // namespace app
