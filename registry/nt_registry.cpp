// The native registry class: open, list, read and delete through the native key functions.
#include "registry/nt_registry.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "platform/platform.h"
#include "platform/records.h"

namespace registry {

namespace {

namespace rec = platform::records;

// The listing buffers: a 16- or 12-byte header and room for 260 characters.
constexpr std::size_t kKeyBufferSize = 536;
constexpr std::size_t kValueBufferSize = 532;
// Names are counted in 16 bits of bytes, so no honest record is larger than this.
constexpr std::size_t kLargestRecord = 16 + 65536;

std::uint32_t Read32(std::span<const std::byte> b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// A counted name at `nameAt`, `NameLength` bytes at `lengthAt`; both must lie inside what the
// call reported as written and inside the buffer.
std::optional<std::u16string> NameOf(std::span<const std::byte> record, std::size_t returned,
                                     std::size_t lengthAt, std::size_t nameAt) {
  const std::size_t limit = std::min(record.size(), returned);
  if (limit < nameAt) return std::nullopt;
  const std::uint32_t bytes = Read32(record, lengthAt);
  if (bytes % 2 != 0 || bytes > limit - nameAt) return std::nullopt;
  std::u16string name(bytes / 2, u'\0');
  if (bytes != 0) std::memcpy(name.data(), record.data() + nameAt, bytes);
  return name;
}

template <typename Enumerate, typename NameOfRecord>
void ListNames(platform::Handle key, std::size_t bufferSize, Enumerate enumerate, NameOfRecord nameOf,
               std::vector<std::u16string>& list) {
  list.clear();
  if (key == platform::kNullHandle) return;
  std::vector<std::byte> buffer(bufferSize);
  for (platform::DWORD index = 0;; ++index) {
    platform::DWORD returned = 0;
    platform::NTSTATUS status = enumerate(key, index, buffer, returned);
    // A name longer than the usual buffer holds would otherwise end the listing there, and every
    // entry after it would be missing from the native view: ask again with the size reported.
    if ((status == platform::STATUS_BUFFER_OVERFLOW || status == platform::STATUS_BUFFER_TOO_SMALL) &&
        returned > buffer.size() && returned <= kLargestRecord) {
      buffer.resize(returned);
      status = enumerate(key, index, buffer, returned);
    }
    if (status != platform::STATUS_SUCCESS) return;
    auto name = nameOf(buffer, returned);
    if (!name) return;
    list.push_back(std::move(*name));
  }
}

}  // namespace

std::optional<std::u16string> KeyNameOfRecord(std::span<const std::byte> record, std::size_t returned) {
  return NameOf(record, returned, offsetof(rec::KEY_BASIC_INFORMATION, NameLength),
                offsetof(rec::KEY_BASIC_INFORMATION, Name));
}

std::optional<std::u16string> ValueNameOfRecord(std::span<const std::byte> record, std::size_t returned) {
  return NameOf(record, returned, offsetof(rec::KEY_VALUE_BASIC_INFORMATION, NameLength),
                offsetof(rec::KEY_VALUE_BASIC_INFORMATION, Name));
}

// --- typed readers ---

std::uint64_t TCustomRegistry::ReadEightBytes(std::u16string_view name) {
  std::array<std::byte, 8> bytes{};
  TValueBuffer buffer{bytes, {}};
  if (!ReadValue(name, platform::REG_BINARY, buffer)) return 0;
  std::uint64_t v;
  std::memcpy(&v, bytes.data(), 8);
  return v;
}

std::int64_t TCustomRegistry::ReadInt64(std::u16string_view name) {
  return static_cast<std::int64_t>(ReadEightBytes(name));
}
double TCustomRegistry::ReadFloat(std::u16string_view name) {
  return std::bit_cast<double>(ReadEightBytes(name));
}
double TCustomRegistry::ReadDateTime(std::u16string_view name) { return ReadFloat(name); }

std::u16string TCustomRegistry::ReadString(std::u16string_view name) {
  TValueBuffer buffer;
  return ReadValue(name, platform::REG_SZ, buffer) ? buffer.text : std::u16string();
}
std::u16string TCustomRegistry::ReadExpandString(std::u16string_view name) {
  TValueBuffer buffer;
  return ReadValue(name, platform::REG_EXPAND_SZ, buffer) ? buffer.text : std::u16string();
}

// --- native class ---

TNtRegistry::~TNtRegistry() {
  if (keyHandle_ != platform::kNullHandle) CloseKey();
}

std::optional<std::u16string> TNtRegistry::NativeRootPath(platform::HKEY root) {
  switch (root) {
    case platform::HKEY_LOCAL_MACHINE:
      return u"\\Registry\\Machine";
    case platform::HKEY_USERS:
      return u"\\Registry\\User";
    case platform::HKEY_CURRENT_USER: {
      std::u16string path;
      if (platform::Current().ntdll.RtlFormatCurrentUserKeyPath(path) != platform::STATUS_SUCCESS)
        return std::nullopt;
      return path;
    }
    default:
      return std::nullopt;
  }
}

bool TNtRegistry::OpenKey(std::u16string_view path) { return Open(path, false); }
bool TNtRegistry::CreateKey(std::u16string_view path) { return Open(path, true); }

bool TNtRegistry::Open(std::u16string_view path, bool create) {
  if (path.find(u'\0') != std::u16string_view::npos) return false;
  const auto root = NativeRootPath(RootKey);
  if (!root) return false;
  const std::u16string full = *root + std::u16string(path);
  platform::ObjectAttributes attributes;
  attributes.name = full;
  attributes.attributes = platform::OBJ_INHERIT | platform::OBJ_CASE_INSENSITIVE | platform::OBJ_OPENIF;
  platform::Handle handle = platform::kNullHandle;
  auto& nt = platform::Current().ntdll;
  platform::DWORD disposition = 0;
  const platform::NTSTATUS status =
      create ? nt.NtCreateKey(handle, platform::KEY_ALL_ACCESS, attributes, disposition)
             : nt.NtOpenKey(handle, platform::KEY_ALL_ACCESS, attributes);
  if (status != platform::STATUS_SUCCESS) return false;
  // Callers close an earlier key first; one left open is not leaked.
  CloseKey();
  keyHandle_ = handle;
  CurrentPath = path;
  return true;
}

void TNtRegistry::WriteValue(std::u16string_view name, platform::DWORD valueType,
                             std::span<const std::byte> data) {
  if (keyHandle_ == platform::kNullHandle) return;
  platform::Current().ntdll.NtSetValueKey(keyHandle_, name.substr(0, name.find(u'\0')), valueType, data);
}

bool TNtRegistry::DeleteKey(std::u16string_view path) {
  // Resolved in UTF-16 so no character of either part can turn into another key's name.
  std::u16string resolved(path);
  if (path.empty() || path.front() != u'\\') {
    resolved = CurrentPath;
    if (resolved.empty() || resolved.back() != u'\\') resolved += u'\\';
    resolved += path;
  }
  CloseKey();
  if (!CreateKey(resolved)) return false;
  const bool deleted = platform::Current().ntdll.NtDeleteKey(keyHandle_) == platform::STATUS_SUCCESS;
  CloseKey();
  return deleted;
}

void TNtRegistry::CloseKey() {
  if (keyHandle_ == platform::kNullHandle) return;
  if (platform::Current().ntdll.NtClose(keyHandle_) == platform::STATUS_SUCCESS)
    keyHandle_ = platform::kNullHandle;
}

bool TNtRegistry::DeleteValue(std::u16string_view name) {
  if (keyHandle_ == platform::kNullHandle) return false;
  return platform::Current().ntdll.NtDeleteValueKey(keyHandle_, name) == platform::STATUS_SUCCESS;
}

void TNtRegistry::GetKeyNames(std::vector<std::u16string>& list) {
  auto& nt = platform::Current().ntdll;
  ListNames(
      keyHandle_, kKeyBufferSize,
      [&](platform::Handle k, platform::DWORD i, std::span<std::byte> b, platform::DWORD& r) {
        return nt.NtEnumerateKey(k, i, rec::KeyBasicInformation, b, r);
      },
      KeyNameOfRecord, list);
}

void TNtRegistry::GetValueNames(std::vector<std::u16string>& list) {
  auto& nt = platform::Current().ntdll;
  ListNames(
      keyHandle_, kValueBufferSize,
      [&](platform::Handle k, platform::DWORD i, std::span<std::byte> b, platform::DWORD& r) {
        return nt.NtEnumerateValueKey(k, i, rec::KeyValueBasicInformation, b, r);
      },
      ValueNameOfRecord, list);
}

std::optional<TRawValue> TNtRegistry::QueryValue(std::u16string_view name) {
  if (keyHandle_ == platform::kNullHandle) return std::nullopt;
  auto& nt = platform::Current().ntdll;
  platform::DWORD needed = 0;
  if (nt.NtQueryValueKey(keyHandle_, name, rec::KeyValueFullInformation, {}, needed) !=
      platform::STATUS_BUFFER_TOO_SMALL)
    return std::nullopt;
  std::vector<std::byte> record(needed);
  platform::DWORD returned = 0;
  if (nt.NtQueryValueKey(keyHandle_, name, rec::KeyValueFullInformation, record, returned) !=
      platform::STATUS_SUCCESS)
    return std::nullopt;
  return ValueOfRecord(record, returned);
}

std::optional<TRawValue> ValueOfRecord(std::span<const std::byte> record, std::size_t returned) {
  constexpr std::size_t kHeader = offsetof(rec::KEY_VALUE_FULL_INFORMATION, Name);
  const std::size_t limit = std::min<std::size_t>(record.size(), returned);
  if (limit < kHeader) return std::nullopt;
  const std::size_t dataAt = Read32(record, offsetof(rec::KEY_VALUE_FULL_INFORMATION, DataOffset));
  const std::size_t dataLength = Read32(record, offsetof(rec::KEY_VALUE_FULL_INFORMATION, DataLength));
  if (dataAt > limit || dataLength > limit - dataAt) return std::nullopt;
  TRawValue value;
  value.Type = Read32(record, offsetof(rec::KEY_VALUE_FULL_INFORMATION, Type));
  value.Data.assign(record.begin() + static_cast<std::ptrdiff_t>(dataAt),
                    record.begin() + static_cast<std::ptrdiff_t>(dataAt + dataLength));
  return value;
}

std::u16string TextOfData(std::span<const std::byte> data) {
  std::u16string text(data.size() / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * 2);
  return text;
}

bool TNtRegistry::ReadValue(std::u16string_view name, platform::DWORD valueType, TValueBuffer& buffer) {
  // Value names reach the reader as zero-terminated text.
  const auto value = QueryValue(name.substr(0, name.find(u'\0')));
  if (!value) return false;
  const std::span<const std::byte> data(value->Data);

  switch (valueType) {
    case platform::REG_SZ:
    case platform::REG_EXPAND_SZ: {
      const std::u16string text = TextOfData(data);
      buffer.text = text.substr(0, text.find(u'\0'));
      return true;
    }
    case platform::REG_BINARY: {
      const std::size_t n = std::min(data.size(), buffer.bytes.size());
      if (n != 0) std::memcpy(buffer.bytes.data(), data.data(), n);
      return true;
    }
    case platform::REG_DWORD:
    case platform::REG_DWORD_BIG_ENDIAN:
    case platform::REG_QWORD: {
      // A value shorter than its type says, or a buffer too small for it, is not read past.
      const std::size_t want = valueType == platform::REG_QWORD ? 8 : 4;
      if (data.size() < want || buffer.bytes.size() < want) return false;
      std::memcpy(buffer.bytes.data(), data.data(), want);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace registry
