// Handle values of the simulated machine: one table for every kind of open object.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/types.h"

namespace sim {

// Anything a simulated handle can refer to (an open file, key, find, snapshot...).
struct SimObject {
  virtual ~SimObject() = default;
};

class HandleTable {
 public:
  HandleTable() = default;
  // Frees the objects under the lock, so that whatever a call still running on another thread
  // (one that blocks for ever) read under it happens before they go.
  ~HandleTable() {
    std::lock_guard lock(mutex_);
    objects_.clear();
  }
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  platform::Handle Add(std::unique_ptr<SimObject> object) {
    std::lock_guard lock(mutex_);
    const platform::Handle h = next_;
    next_ += 4;  // handle values are multiples of four, as on Windows
    objects_.emplace(h, std::move(object));
    return h;
  }
  // The object behind `h` if it is of type T; nullptr otherwise.
  template <typename T>
  T* Get(platform::Handle h) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(h);
    return it == objects_.end() ? nullptr : dynamic_cast<T*>(it->second.get());
  }
  // A copy of the object behind `h` if it is of type T, taken under the lock: a call that may
  // block for ever works on its own copy, as a real call holds its own reference, and never
  // reads an object that another thread closes.
  template <typename T>
  std::optional<T> Copy(platform::Handle h) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(h);
    const T* object = it == objects_.end() ? nullptr : dynamic_cast<const T*>(it->second.get());
    return object == nullptr ? std::nullopt : std::optional<T>(*object);
  }
  bool Close(platform::Handle h) {
    std::unique_ptr<SimObject> gone;  // destroyed outside the lock
    std::lock_guard lock(mutex_);
    auto it = objects_.find(h);
    if (it == objects_.end()) return false;
    gone = std::move(it->second);
    objects_.erase(it);
    return true;
  }
  std::size_t size() const {
    std::lock_guard lock(mutex_);
    return objects_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::map<platform::Handle, std::unique_ptr<SimObject>> objects_;
  platform::Handle next_ = 0x40;
};

}  // namespace sim
