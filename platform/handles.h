// RAII ownership of handle values returned by the platform layer.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace platform {

// Owns one handle and closes it through `Close` exactly once. `Invalid` is the value the
// opening function returns on failure (0 for most, INVALID_HANDLE_VALUE for some).
template <typename Close, Handle Invalid = kNullHandle>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Invalid)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = std::exchange(o.h_, Invalid);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Invalid; }
  // For out-parameters of opening functions: closes what is held and hands out the slot.
  Handle& put() {
    reset();
    return h_;
  }
  Handle release() { return std::exchange(h_, Invalid); }
  void reset() {
    if (h_ != Invalid) Close{}(std::exchange(h_, Invalid));
  }

 private:
  Handle h_ = Invalid;
};

struct NtCloser {
  void operator()(Handle h) const { Current().ntdll.NtClose(h); }
};
// A handle from a native open (NtOpenFile, NtOpenKey, ...).
using NtHandle = UniqueHandle<NtCloser>;

struct FindCloser {
  void operator()(Handle h) const { Current().kernel32.FindClose(h); }
};
// A search from FindFirstFile*.
using FindHandle = UniqueHandle<FindCloser, kInvalidHandle>;

struct CloseHandleCloser {
  void operator()(Handle h) const { Current().kernel32.CloseHandle(h); }
};
// Handles that are 0 on failure (OpenProcess, DuplicateHandle, CreateFileMapping).
using KernelHandle = UniqueHandle<CloseHandleCloser>;
// Handles that are INVALID_HANDLE_VALUE on failure (CreateToolhelp32Snapshot, CreateFile).
using KernelFileHandle = UniqueHandle<CloseHandleCloser, kInvalidHandle>;

}  // namespace platform
