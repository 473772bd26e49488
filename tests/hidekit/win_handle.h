// Owning wrapper for the kernel handles of the hiding kit's small test programs.
#pragma once

#include <windows.h>

#include <utility>

namespace hidekit {

class WinHandle {
 public:
  WinHandle() = default;
  explicit WinHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~WinHandle() {
    if (h_ != nullptr) CloseHandle(h_);
  }
  WinHandle(WinHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  WinHandle& operator=(WinHandle&& o) noexcept {
    std::swap(h_, o.h_);
    return *this;
  }
  WinHandle(const WinHandle&) = delete;
  WinHandle& operator=(const WinHandle&) = delete;

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HANDLE h_ = nullptr;
};

// Converts an address from GetProcAddress to the function type it really has.
template <typename Fn>
Fn ProcAs(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

}  // namespace hidekit
