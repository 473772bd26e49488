// The advapi32 surface: account facts, the Win32 registry and security descriptors.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
  // Descriptors come back self-relative in the caller's buffer. A buffer of no storage (or one
  // too small) asks for the size: the call fails with ERROR_INSUFFICIENT_BUFFER (the last error
  // for the file form, the return value for the key form) and `needed` holds the size.
  // Paths and names are zero-terminated on the real system: each is used up to its first zero.

  // False with the last error set on failure.
  virtual bool GetFileSecurityA(std::string_view fileName, DWORD information, std::span<std::byte> descriptor,
                                DWORD& needed) = 0;
  // The Win32 error code; `needed` is the descriptor's size whenever it is known.
  virtual DWORD RegGetKeySecurity(HKEY key, DWORD information, std::span<std::byte> descriptor,
                                  DWORD& needed) = 0;

  // The conversions are loaded from the DLL by name at the first use; when the system lacks any
  // one of them all count as missing: the descriptor and string-to-SID forms then fail with
  // ERROR_CALL_NOT_IMPLEMENTED and the SID-to-string form answers true with an empty text. The
  // string the system allocates is copied into `text` and released with LocalFree before the
  // call returns. False with the last error set on failure.
  virtual bool ConvertSecurityDescriptorToStringSecurityDescriptorA(std::span<const std::byte> descriptor,
                                                                    DWORD revision, DWORD information,
                                                                    std::string& text) = 0;
  virtual bool ConvertStringSidToSidA(std::string_view text, std::vector<std::byte>& sid) = 0;
  virtual bool ConvertSidToStringSidA(std::span<const std::byte> sid, std::string& text) = 0;

  // Account look-ups; an empty system name is the local machine. The sizes are in and out as in
  // the real functions: in, the caller's capacity (`sid` bytes, characters with the terminator);
  // out, the sizes needed (with the terminator) when the call fails with
  // ERROR_INSUFFICIENT_BUFFER, or the lengths written (without it) on success. `use` is a
  // SidType* value. False with the last error set on failure (ERROR_NONE_MAPPED: no such account).
  virtual bool LookupAccountNameA(std::string_view systemName, std::string_view accountName,
                                  std::span<std::byte> sid, DWORD& sidSize, std::string& domain,
                                  DWORD& domainSize, DWORD& use) = 0;
  virtual bool LookupAccountSidA(std::string_view systemName, std::span<const std::byte> sid,
                                 std::string& name, DWORD& nameSize, std::string& domain, DWORD& domainSize,
                                 DWORD& use) = 0;
};

}  // namespace platform
