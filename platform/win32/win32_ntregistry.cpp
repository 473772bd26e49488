// The real native key functions, bound by name from ntdll.
#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_native.h"

namespace win32 {

namespace {

using native::CountedString;
using NtUnicodeString = native::UnicodeString;
using NtObjectAttributes = native::ObjectAttributes;

using NtOpenKeyFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, NtObjectAttributes*);
using NtCreateKeyFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, NtObjectAttributes*, ULONG, NtUnicodeString*, ULONG,
                                   ULONG*);
using NtSetValueKeyFn = LONG(NTAPI*)(HANDLE, NtUnicodeString*, ULONG, ULONG, const void*, ULONG);
using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
using NtEnumerateKeyFn = LONG(NTAPI*)(HANDLE, ULONG, ULONG, void*, ULONG, ULONG*);
using NtQueryValueKeyFn = LONG(NTAPI*)(HANDLE, NtUnicodeString*, ULONG, void*, ULONG, ULONG*);
using NtDeleteValueKeyFn = LONG(NTAPI*)(HANDLE, NtUnicodeString*);
using RtlFormatCurrentUserKeyPathFn = LONG(NTAPI*)(NtUnicodeString*);
using RtlFreeUnicodeStringFn = void(NTAPI*)(NtUnicodeString*);

}  // namespace

platform::NTSTATUS Win32Ntdll::NtOpenKey(platform::Handle& handle, platform::DWORD access,
                                         const platform::ObjectAttributes& attributes) {
  static const auto fn = BindExport<NtOpenKeyFn>(L"ntdll.dll", "NtOpenKey");
  handle = platform::kNullHandle;
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  NtUnicodeString name;
  if (!CountedString(attributes.name, name)) return platform::STATUS_OBJECT_NAME_INVALID;
  NtObjectAttributes oa = native::Attributes(attributes, name);
  HANDLE h = nullptr;
  const auto s = static_cast<platform::NTSTATUS>(fn(&h, access, &oa));
  if (s == platform::STATUS_SUCCESS) handle = reinterpret_cast<platform::Handle>(h);
  return s;
}

platform::NTSTATUS Win32Ntdll::NtCreateKey(platform::Handle& handle, platform::DWORD access,
                                           const platform::ObjectAttributes& attributes,
                                           platform::DWORD& disposition) {
  static const auto fn = BindExport<NtCreateKeyFn>(L"ntdll.dll", "NtCreateKey");
  handle = platform::kNullHandle;
  disposition = 0;
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  NtUnicodeString name;
  if (!CountedString(attributes.name, name)) return platform::STATUS_OBJECT_NAME_INVALID;
  NtObjectAttributes oa = native::Attributes(attributes, name);
  HANDLE h = nullptr;
  ULONG created = 0;
  const auto s = static_cast<platform::NTSTATUS>(fn(&h, access, &oa, 0, nullptr, 0, &created));
  if (s == platform::STATUS_SUCCESS) {
    handle = reinterpret_cast<platform::Handle>(h);
    disposition = created;
  }
  return s;
}

platform::NTSTATUS Win32Ntdll::NtSetValueKey(platform::Handle key, std::u16string_view valueName,
                                             platform::DWORD type, std::span<const std::byte> data) {
  static const auto fn = BindExport<NtSetValueKeyFn>(L"ntdll.dll", "NtSetValueKey");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  NtUnicodeString name;
  if (!CountedString(valueName, name)) return platform::STATUS_OBJECT_NAME_INVALID;
  return static_cast<platform::NTSTATUS>(
      fn(ToHandle(key), &name, 0, type, data.data(), static_cast<ULONG>(data.size())));
}

platform::NTSTATUS Win32Ntdll::NtDeleteKey(platform::Handle key) {
  static const auto fn = BindExport<NtDeleteKeyFn>(L"ntdll.dll", "NtDeleteKey");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  return static_cast<platform::NTSTATUS>(fn(ToHandle(key)));
}

namespace {

// NtEnumerateKey and NtEnumerateValueKey take the same arguments.
platform::NTSTATUS Enumerate(NtEnumerateKeyFn fn, platform::Handle key, platform::DWORD index,
                             platform::DWORD infoClass, std::span<std::byte> buffer,
                             platform::DWORD& resultLength) {
  resultLength = 0;
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  ULONG length = 0;
  const auto s = static_cast<platform::NTSTATUS>(
      fn(ToHandle(key), index, infoClass, buffer.data(), static_cast<ULONG>(buffer.size()), &length));
  resultLength = length;
  return s;
}

}  // namespace

platform::NTSTATUS Win32Ntdll::NtEnumerateKey(platform::Handle key, platform::DWORD index,
                                              platform::DWORD infoClass, std::span<std::byte> buffer,
                                              platform::DWORD& resultLength) {
  static const auto fn = BindExport<NtEnumerateKeyFn>(L"ntdll.dll", "NtEnumerateKey");
  return Enumerate(fn, key, index, infoClass, buffer, resultLength);
}

platform::NTSTATUS Win32Ntdll::NtEnumerateValueKey(platform::Handle key, platform::DWORD index,
                                                   platform::DWORD infoClass, std::span<std::byte> buffer,
                                                   platform::DWORD& resultLength) {
  static const auto fn = BindExport<NtEnumerateKeyFn>(L"ntdll.dll", "NtEnumerateValueKey");
  return Enumerate(fn, key, index, infoClass, buffer, resultLength);
}

platform::NTSTATUS Win32Ntdll::NtQueryValueKey(platform::Handle key, std::u16string_view valueName,
                                               platform::DWORD infoClass, std::span<std::byte> buffer,
                                               platform::DWORD& resultLength) {
  static const auto fn = BindExport<NtQueryValueKeyFn>(L"ntdll.dll", "NtQueryValueKey");
  resultLength = 0;
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  NtUnicodeString name;
  if (!CountedString(valueName, name)) return platform::STATUS_OBJECT_NAME_INVALID;
  ULONG length = 0;
  const auto s = static_cast<platform::NTSTATUS>(
      fn(ToHandle(key), &name, infoClass, buffer.data(), static_cast<ULONG>(buffer.size()), &length));
  resultLength = length;
  return s;
}

platform::NTSTATUS Win32Ntdll::NtDeleteValueKey(platform::Handle key, std::u16string_view valueName) {
  static const auto fn = BindExport<NtDeleteValueKeyFn>(L"ntdll.dll", "NtDeleteValueKey");
  if (fn == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  NtUnicodeString name;
  if (!CountedString(valueName, name)) return platform::STATUS_OBJECT_NAME_INVALID;
  return static_cast<platform::NTSTATUS>(fn(ToHandle(key), &name));
}

platform::NTSTATUS Win32Ntdll::RtlFormatCurrentUserKeyPath(std::u16string& path) {
  static const auto format =
      BindExport<RtlFormatCurrentUserKeyPathFn>(L"ntdll.dll", "RtlFormatCurrentUserKeyPath");
  static const auto release = BindExport<RtlFreeUnicodeStringFn>(L"ntdll.dll", "RtlFreeUnicodeString");
  path.clear();
  if (format == nullptr || release == nullptr) return platform::STATUS_NOT_IMPLEMENTED;
  NtUnicodeString text{};
  const auto s = static_cast<platform::NTSTATUS>(format(&text));
  if (s != platform::STATUS_SUCCESS) return s;
  path.assign(reinterpret_cast<const char16_t*>(text.Buffer), text.Length / 2);
  release(&text);
  return s;
}

}  // namespace win32
