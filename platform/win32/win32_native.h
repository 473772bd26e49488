// The binding of exports by name and the native argument records, shared by the real backend's files.
#pragma once

#include <string_view>

#include "platform/types.h"
#include "platform/win32/windows_shim.h"

namespace win32 {

// An export of `module` by name, or nullptr when the running system lacks it; the caller then
// answers as a failed call (STATUS_NOT_IMPLEMENTED, ERROR_CALL_NOT_IMPLEMENTED or the function's
// own failure value). A module not yet in the process is loaded and stays loaded. Callers keep
// the result in a function-local static, so each export is looked up once:
//   static const auto fn = BindExport<NtOpenFileFn>(L"ntdll.dll", "NtOpenFile");
template <typename Fn>
Fn BindExport(const wchar_t* module, const char* name) {
  HMODULE m = ::GetModuleHandleW(module);
  if (m == nullptr) m = ::LoadLibraryW(module);
  if (m == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m, name)));
}

}  // namespace win32

namespace win32::native {

// Declared here rather than taken from a native header, so no such header's macros can collide
// with the portable constants.
struct UnicodeString {
  USHORT Length;
  USHORT MaximumLength;
  PWSTR Buffer;
};
struct ObjectAttributes {
  ULONG Length;
  HANDLE RootDirectory;
  UnicodeString* ObjectName;
  ULONG Attributes;
  void* SecurityDescriptor;
  void* SecurityQualityOfService;
};
struct IoStatusBlock {
  union {
    LONG Status;
    void* Pointer;
  };
  ULONG_PTR Information;
};

// A counted string over the caller's text, zero characters included; false when it is too long
// to be counted.
inline bool CountedString(std::u16string_view text, UnicodeString& out) {
  if (text.size() > 32767) return false;
  out.Length = static_cast<USHORT>(text.size() * 2);
  out.MaximumLength = out.Length;
  out.Buffer = reinterpret_cast<PWSTR>(const_cast<char16_t*>(text.data()));
  return true;
}

// Object attributes over `name`, which must outlive the call they are passed to.
inline ObjectAttributes Attributes(const platform::ObjectAttributes& attributes, UnicodeString& name) {
  return ObjectAttributes{sizeof(ObjectAttributes),
                          reinterpret_cast<HANDLE>(attributes.rootDirectory),
                          &name,
                          attributes.attributes,
                          nullptr,
                          nullptr};
}

}  // namespace win32::native
