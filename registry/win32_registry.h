// The Win32 view of the registry: a read-only registry class, hive names, path splitting, value readers.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles.h"
#include "platform/types.h"

namespace registry {

struct RegCloser {
  void operator()(platform::Handle h) const { platform::Current().advapi32.RegCloseKey(h); }
};
// A key opened with RegOpenKeyEx.
using RegKeyHandle = platform::UniqueHandle<RegCloser>;

// Raised by the registry class where a read cannot give what the caller asked for.
class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The classes the export writes value types as.
enum class TRegDataType { rdNotSet, rdString, rdExpandString, rdBinary, rdInteger, rdOther, rdUnknown };
TRegDataType DataTypeOf(platform::DWORD rawType);

struct TRegKeyInfo {
  platform::DWORD numSubKeys = 0;
  platform::DWORD maxSubKeyLen = 0;
  platform::DWORD numValues = 0;
  platform::DWORD maxValueLen = 0;  // longest value name
  platform::DWORD maxDataLen = 0;
};

struct TRegDataInfo {
  TRegDataType regData = TRegDataType::rdUnknown;
  platform::DWORD rawType = 0;
  platform::DWORD dataSize = 0;
};

// Opens keys read-only through the Win32 functions, in the 32-bit or the 64-bit view.
class TMyRegistry {
 public:
  TMyRegistry() = default;
  ~TMyRegistry() { CloseKey(); }
  TMyRegistry(const TMyRegistry&) = delete;
  TMyRegistry& operator=(const TMyRegistry&) = delete;

  platform::HKEY RootKey() const { return rootKey_; }
  void SetRootKey(platform::HKEY root);  // closes the current key
  platform::HKEY CurrentKey() const { return currentKey_.get(); }
  const std::string& CurrentPath() const { return currentPath_; }
  platform::DWORD Access() const { return access_; }
  void SetAccess(platform::DWORD access) { access_ = access; }

  // 32 or 64 as a character code, as the bitness is kept.
  char Bitness() const { return bitness_; }
  void SetBitness(int bits);  // throws ERegistryException for anything but 32 and 64
  int ViewMode() const { return viewMode_; }
  void SetViewMode(int mode);  // 0 or 1: 32-bit, 2: 64-bit, others: no change

  bool OpenKeyReadOnly(std::string_view path);
  // The same through RegOpenKeyExW: every character of the path reaches the system, where the
  // 8-bit form turns those outside the code page into "?" and may open another key.
  bool OpenKeyReadOnlyW(std::u16string_view path);
  // What the last failed attempt of OpenKeyReadOnly answered (ERROR_SUCCESS after a success).
  platform::DWORD LastOpenError() const { return lastOpenError_; }
  bool KeyExists(std::string_view path);
  void CloseKey();

  bool GetKeyInfo(TRegKeyInfo& info);
  // Names of the current key as the Win32 listing gives them.
  void GetKeyNamesW(std::vector<std::u16string>& list);
  void GetValueNamesW(std::vector<std::u16string>& list);
  void GetKeyNames(std::vector<std::string>& list);
  void GetValueNames(std::vector<std::string>& list);

  bool GetDataInfo(std::string_view name, TRegDataInfo& info);
  bool ValueExists(std::string_view name);
  // Readers raise ERegistryException when the value has another type or cannot be read.
  std::string ReadString(std::string_view name);
  std::u16string ReadStringW(std::u16string_view name);
  std::string ReadMultiString(std::string_view name);  // items joined by CR LF
  std::int32_t ReadInteger(std::string_view name);
  // Copies the data into `buffer`; raises when the buffer is smaller than the data.
  std::size_t ReadBinaryData(std::string_view name, std::span<std::byte> buffer);
  // The raw bytes of a value of any type (strings in the system code page).
  std::vector<std::uint8_t> ReadRawData(std::string_view name);

 private:
  bool OpenFirstReadOnly(bool relative, std::string sub8,
                         const std::function<platform::DWORD(platform::HKEY, platform::DWORD, RegKeyHandle&)>& open);
  platform::DWORD ViewBits() const;
  std::vector<std::uint8_t> ReadData(std::string_view name, platform::DWORD& type);

  platform::HKEY rootKey_ = platform::HKEY_CURRENT_USER;
  RegKeyHandle currentKey_;
  std::string currentPath_;
  platform::DWORD access_ = platform::KEY_ALL_ACCESS;
  char bitness_ = 32;
  int viewMode_ = 0;
  platform::DWORD lastOpenError_ = 0;
};

// The hive-name table. Names compare exactly, letter case included; unknown names give 0.
platform::HKEY RootKeyFromName(std::string_view name);
platform::HKEY RootKeyFromName(std::u16string_view name);
// The long name of a root key; any other value as its decimal number.
std::string RootKeyName(platform::HKEY root);

// "HKLM\SOFTWARE\X" -> HKEY_LOCAL_MACHINE and "\SOFTWARE\X".
bool SplitKeyText(std::string_view text, platform::HKEY& rootKey, std::string& keyPath);
bool SplitKeyText(std::u16string_view text, platform::HKEY& rootKey, std::u16string& keyPath);
// "HKLM\SOFTWARE\X\Y" -> HKEY_LOCAL_MACHINE, "\SOFTWARE\X\" and "Y".
bool SplitValueText(std::string_view text, platform::HKEY& rootKey, std::string& keyPath, std::string& name);
bool SplitValueText(std::u16string_view text, platform::HKEY& rootKey, std::u16string& keyPath,
                    std::u16string& name);

// Single values. They answer false instead of raising (a wrong bitness still raises).
bool ReadRegistryString(platform::HKEY rootKey, std::string_view keyPath, std::string_view name, int bitness,
                        std::string& text);
bool ReadRegistryStringW(platform::HKEY rootKey, std::string_view keyPath, std::u16string_view name,
                         int bitness, std::u16string& text);
bool ReadRegistryInteger(platform::HKEY rootKey, std::string_view keyPath, std::string_view name,
                         std::int32_t& value);
// View mode 0: the 32-bit view, 1: the 64-bit view, others: the caller's own.
bool RegistryKeyExists(platform::HKEY rootKey, std::string_view keyPath, int viewMode);

}  // namespace registry
