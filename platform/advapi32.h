// The advapi32 surface: account facts, the Win32 registry and security descriptors.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// What RegQueryInfoKey reports of a key.
struct RegKeyInfo {
  DWORD subKeys = 0;
  DWORD maxSubKeyLen = 0;
  DWORD maxClassLen = 0;
  DWORD values = 0;
  DWORD maxValueNameLen = 0;
  DWORD maxValueLen = 0;
  std::uint64_t lastWriteTime = 0;  // FILETIME
};

class Advapi32 {
 public:
  virtual ~Advapi32() = default;

  virtual std::string GetUserNameA() = 0;

  // --- registry ---
  // Win32 registry functions. They return the Win32 error code (ERROR_SUCCESS on success).
  // Key paths are zero-terminated on the real system: a path is used up to its first zero
  // character. Names come back counted, zero characters included, as the system lists them.

  // `access` carries the view bits KEY_WOW64_64KEY / KEY_WOW64_32KEY.
  virtual DWORD RegOpenKeyExW(HKEY key, std::u16string_view subKey, DWORD options, DWORD access,
                              HKEY& result) = 0;
  virtual DWORD RegOpenKeyExA(HKEY key, std::string_view subKey, DWORD options, DWORD access,
                              HKEY& result) = 0;
  virtual DWORD RegCloseKey(HKEY key) = 0;
  // Counts and longest lengths; name lengths in characters without the terminator.
  virtual DWORD RegQueryInfoKeyW(HKEY key, RegKeyInfo& info) = 0;
  // `capacity` is the caller's buffer in characters (bytes for the 8-bit forms), terminator
  // included: a longer name answers ERROR_MORE_DATA and leaves `name` empty.
  virtual DWORD RegEnumKeyExW(HKEY key, DWORD index, std::u16string& name, DWORD capacity) = 0;
  virtual DWORD RegEnumKeyExA(HKEY key, DWORD index, std::string& name, DWORD capacity) = 0;
  virtual DWORD RegEnumValueW(HKEY key, DWORD index, std::u16string& name, DWORD capacity,
                              DWORD& type) = 0;
  virtual DWORD RegEnumValueA(HKEY key, DWORD index, std::string& name, DWORD capacity,
                              DWORD& type) = 0;
  // `data` with no storage (data.data() == nullptr) asks for type and size only. A buffer
  // smaller than the data answers ERROR_MORE_DATA; `size` then holds the size needed. The
  // 8-bit form converts string data (types 1, 2, 7) to the system code page.
  virtual DWORD RegQueryValueExW(HKEY key, std::u16string_view name, DWORD& type,
                                 std::span<std::byte> data, DWORD& size) = 0;
  virtual DWORD RegQueryValueExA(HKEY key, std::string_view name, DWORD& type,
                                 std::span<std::byte> data, DWORD& size) = 0;

  // --- security ---
};

}  // namespace platform
