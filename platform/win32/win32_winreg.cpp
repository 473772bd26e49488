// The real Win32 registry functions of advapi32, in the platform's portable types.
#include <string>

#include "platform/win32/win32_classes.h"

namespace win32 {
namespace {

using platform::DWORD;

HKEY ToHkey(platform::HKEY key) {
  // Predefined roots are sign-extended 32-bit values in a 64-bit HKEY, as the SDK defines them.
  if (key >= platform::HKEY_CLASSES_ROOT && key <= platform::HKEY_DYN_DATA)
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(static_cast<std::uint32_t>(key))));
  return reinterpret_cast<HKEY>(key);
}

}  // namespace

DWORD Win32Advapi32::RegOpenKeyExW(platform::HKEY key, std::u16string_view subKey, DWORD options,
                                   DWORD access, platform::HKEY& result) {
  const std::u16string path(subKey);  // the system reads it up to its first zero
  HKEY out = nullptr;
  const LONG rc = ::RegOpenKeyExW(ToHkey(key), Wide(path), options, access, &out);
  result = rc == 0 ? reinterpret_cast<platform::HKEY>(out) : 0;
  return static_cast<DWORD>(rc);
}

DWORD Win32Advapi32::RegOpenKeyExA(platform::HKEY key, std::string_view subKey, DWORD options, DWORD access,
                                   platform::HKEY& result) {
  const std::string path(subKey);
  HKEY out = nullptr;
  const LONG rc = ::RegOpenKeyExA(ToHkey(key), path.c_str(), options, access, &out);
  result = rc == 0 ? reinterpret_cast<platform::HKEY>(out) : 0;
  return static_cast<DWORD>(rc);
}

DWORD Win32Advapi32::RegCloseKey(platform::HKEY key) {
  return static_cast<DWORD>(::RegCloseKey(ToHkey(key)));
}

DWORD Win32Advapi32::RegQueryInfoKeyW(platform::HKEY key, platform::RegKeyInfo& info) {
  ::DWORD subKeys = 0, maxSubKeyLen = 0, maxClassLen = 0, values = 0, maxValueNameLen = 0, maxValueLen = 0;
  FILETIME lastWrite{};
  const LONG rc =
      ::RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLen, &maxClassLen,
                         &values, &maxValueNameLen, &maxValueLen, nullptr, &lastWrite);
  if (rc != 0) return static_cast<DWORD>(rc);
  info.subKeys = subKeys;
  info.maxSubKeyLen = maxSubKeyLen;
  info.maxClassLen = maxClassLen;
  info.values = values;
  info.maxValueNameLen = maxValueNameLen;
  info.maxValueLen = maxValueLen;
  info.lastWriteTime = (static_cast<std::uint64_t>(lastWrite.dwHighDateTime) << 32) | lastWrite.dwLowDateTime;
  return platform::ERROR_SUCCESS;
}

DWORD Win32Advapi32::RegEnumKeyExW(platform::HKEY key, DWORD index, std::u16string& name, DWORD capacity) {
  name.clear();
  std::wstring buf(capacity + 1, L'\0');
  ::DWORD len = capacity;
  const LONG rc = ::RegEnumKeyExW(ToHkey(key), index, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
  if (rc == 0) name = FromWide(buf.data(), len);
  return static_cast<DWORD>(rc);
}

DWORD Win32Advapi32::RegEnumKeyExA(platform::HKEY key, DWORD index, std::string& name, DWORD capacity) {
  name.clear();
  std::string buf(capacity + 1, '\0');
  ::DWORD len = capacity;
  const LONG rc = ::RegEnumKeyExA(ToHkey(key), index, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
  if (rc == 0) name.assign(buf.data(), len);
  return static_cast<DWORD>(rc);
}

DWORD Win32Advapi32::RegEnumValueW(platform::HKEY key, DWORD index, std::u16string& name, DWORD capacity,
                                   DWORD& type) {
  name.clear();
  std::wstring buf(capacity + 1, L'\0');
  ::DWORD len = capacity, t = 0;
  const LONG rc = ::RegEnumValueW(ToHkey(key), index, buf.data(), &len, nullptr, &t, nullptr, nullptr);
  if (rc == 0) {
    name = FromWide(buf.data(), len);
    type = t;
  }
  return static_cast<DWORD>(rc);
}

DWORD Win32Advapi32::RegEnumValueA(platform::HKEY key, DWORD index, std::string& name, DWORD capacity,
                                   DWORD& type) {
  name.clear();
  std::string buf(capacity + 1, '\0');
  ::DWORD len = capacity, t = 0;
  const LONG rc = ::RegEnumValueA(ToHkey(key), index, buf.data(), &len, nullptr, &t, nullptr, nullptr);
  if (rc == 0) {
    name.assign(buf.data(), len);
    type = t;
  }
  return static_cast<DWORD>(rc);
}

DWORD Win32Advapi32::RegQueryValueExW(platform::HKEY key, std::u16string_view name, DWORD& type,
                                      std::span<std::byte> data, DWORD& size) {
  const std::u16string n(name);
  ::DWORD t = 0, s = static_cast<::DWORD>(data.size());
  const LONG rc =
      ::RegQueryValueExW(ToHkey(key), Wide(n), nullptr, &t, reinterpret_cast<BYTE*>(data.data()), &s);
  type = t;
  size = s;
  return static_cast<DWORD>(rc);
}

DWORD Win32Advapi32::RegQueryValueExA(platform::HKEY key, std::string_view name, DWORD& type,
                                      std::span<std::byte> data, DWORD& size) {
  const std::string n(name);
  ::DWORD t = 0, s = static_cast<::DWORD>(data.size());
  const LONG rc =
      ::RegQueryValueExA(ToHkey(key), n.c_str(), nullptr, &t, reinterpret_cast<BYTE*>(data.data()), &s);
  type = t;
  size = s;
  return static_cast<DWORD>(rc);
}

DWORD Win32Advapi32::RegGetKeySecurity(platform::HKEY key, DWORD information, std::span<std::byte> descriptor,
                                       DWORD& needed) {
  ::DWORD size = static_cast<::DWORD>(descriptor.size());
  const LONG rc =
      ::RegGetKeySecurity(ToHkey(key), information, descriptor.empty() ? nullptr : descriptor.data(), &size);
  if (rc == 0 || rc == static_cast<LONG>(platform::ERROR_INSUFFICIENT_BUFFER)) needed = size;
  return static_cast<DWORD>(rc);
}

}  // namespace win32
