// The native view of the registry: keys and values through the native key functions, full counted names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles.h"
#include "platform/types.h"

namespace registry {

// Where a read puts its result: `text` for the string types (1 and 2), `bytes` for the others.
struct TValueBuffer {
  std::span<std::byte> bytes;
  std::u16string text;
};

// A value as the native layer stores it.
struct TRawValue {
  platform::DWORD Type = 0;
  std::vector<std::byte> Data;
};

// The interface of a registry class; the typed readers are built on `ReadValue`.
class TCustomRegistry {
 public:
  virtual ~TCustomRegistry() = default;

  virtual bool ReadValue(std::u16string_view name, platform::DWORD valueType, TValueBuffer& buffer) = 0;
  virtual void WriteValue(std::u16string_view name, platform::DWORD valueType,
                          std::span<const std::byte> data) = 0;
  virtual bool CreateKey(std::u16string_view path) = 0;
  virtual bool OpenKey(std::u16string_view path) = 0;
  virtual void CloseKey() = 0;
  virtual std::uint32_t QueryReserved() = 0;
  virtual bool DeleteKey(std::u16string_view /*path*/) { return false; }
  virtual bool DeleteValue(std::u16string_view name) = 0;
  virtual void GetKeyNames(std::vector<std::u16string>& list) { list.clear(); }
  virtual void GetValueNames(std::vector<std::u16string>& list) { list.clear(); }

  std::int64_t ReadInt64(std::u16string_view name);
  double ReadFloat(std::u16string_view name);
  double ReadDateTime(std::u16string_view name);
  std::u16string ReadString(std::u16string_view name);
  std::u16string ReadExpandString(std::u16string_view name);

  std::u16string CurrentPath;
  platform::HKEY RootKey = 0;

 protected:
  // The first 8 bytes of a value read as binary data, zero-padded.
  std::uint64_t ReadEightBytes(std::u16string_view name);
};

// Registry access through the native key functions: what a rootkit filtering the Win32
// registry functions cannot hide.
class TNtRegistry : public TCustomRegistry {
 public:
  TNtRegistry() = default;
  ~TNtRegistry() override;
  TNtRegistry(const TNtRegistry&) = delete;
  TNtRegistry& operator=(const TNtRegistry&) = delete;

  bool ReadValue(std::u16string_view name, platform::DWORD valueType, TValueBuffer& buffer) override;
  // Stores the value under its name up to the first zero character; nothing when no key is open.
  void WriteValue(std::u16string_view name, platform::DWORD valueType,
                  std::span<const std::byte> data) override;
  // Opens the key, creating it when missing (its parent must exist); the same refusals as OpenKey.
  bool CreateKey(std::u16string_view path) override;
  // Deletes a key without subkeys: a path starting with "\" names it from the root, any other is
  // taken below the current path. The open key is closed either way.
  bool DeleteKey(std::u16string_view path) override;
  // Refuses a path holding a zero character: the native layer would otherwise see a shorter
  // path and open another key than the one named. The key open before is closed first, so
  // after a failure no key is open and no listing can read the earlier one.
  bool OpenKey(std::u16string_view path) override;
  // Closes the open key once; a handle whose close failed is forgotten all the same, so it is
  // never closed a second time (by then its value may name another object).
  void CloseKey() override;
  std::uint32_t QueryReserved() override { return 0; }
  // Deletes the value named exactly `name`, zero characters included.
  bool DeleteValue(std::u16string_view name) override;
  void GetKeyNames(std::vector<std::u16string>& list) override;
  void GetValueNames(std::vector<std::u16string>& list) override;
  // Type and data of the value named exactly `name` (zero characters included) in the open key.
  std::optional<TRawValue> QueryValue(std::u16string_view name);

  platform::Handle KeyHandle() const { return key_.get(); }

  // The native path of a root key: "\Registry\Machine" for HKEY_LOCAL_MACHINE, "\Registry\User"
  // for HKEY_USERS, the user's key below it for HKEY_CURRENT_USER; nothing for the others.
  static std::optional<std::u16string> NativeRootPath(platform::HKEY root);

 private:
  bool Open(std::u16string_view path, bool create);

  platform::NtHandle key_;
};

// The names in a run of enumeration records (pure, for hostile buffers): the name of a key
// record (class 0) or a value record (class 0), or nothing when the record is malformed.
std::optional<std::u16string> KeyNameOfRecord(std::span<const std::byte> record, std::size_t returned);
std::optional<std::u16string> ValueNameOfRecord(std::span<const std::byte> record, std::size_t returned);
// Type and data of a full value record (class 1), or nothing when its data lies outside it.
std::optional<TRawValue> ValueOfRecord(std::span<const std::byte> record, std::size_t returned);
// Value data read as UTF-16 text, every character kept (an odd last byte is dropped).
std::u16string TextOfData(std::span<const std::byte> data);

}  // namespace registry
