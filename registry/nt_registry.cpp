// The native registry class: open, list, read and delete through the native key functions.
#include "registry/nt_registry.h"

#include <algorithm>
#include <array>
#include <bit>

#include "platform/platform.h"
#include "platform/record_io.h"

namespace registry {

namespace {

namespace rec = platform::records;

// The listing buffers: the record's head and room for 260 characters.
constexpr std::size_t kNameRoom = 260 * 2;
constexpr std::size_t kKeyBufferSize = rec::kHeadBytes<rec::KEY_BASIC_INFORMATION> + kNameRoom;
constexpr std::size_t kValueBufferSize = rec::kHeadBytes<rec::KEY_VALUE_BASIC_INFORMATION> + kNameRoom;
static_assert(kKeyBufferSize == 536 && kValueBufferSize == 532);
// Names are counted in 16 bits of bytes, so no honest record is larger than this.
constexpr std::size_t kLargestRecord = rec::kHeadBytes<rec::KEY_BASIC_INFORMATION> + 65536;

// What the call reported as written, and never more than the buffer.
rec::RecordReader Written(std::span<const std::byte> record, std::size_t returned) {
  return rec::RecordReader(record.first(std::min(record.size(), returned)));
}

// The counted name of record R; its head and name must lie inside what was written.
template <typename R>
std::optional<std::u16string> NameOf(std::span<const std::byte> record, std::size_t returned) {
  const auto in = Written(record, returned);
  const auto head = in.Head<R>(0);
  if (!head || head->NameLength % 2 != 0) return std::nullopt;
  return in.Text(rec::kHeadBytes<R>, head->NameLength);
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
  return NameOf<rec::KEY_BASIC_INFORMATION>(record, returned);
}

std::optional<std::u16string> ValueNameOfRecord(std::span<const std::byte> record, std::size_t returned) {
  return NameOf<rec::KEY_VALUE_BASIC_INFORMATION>(record, returned);
}

// --- typed readers ---

std::uint64_t TCustomRegistry::ReadEightBytes(std::u16string_view name) {
  std::array<std::byte, 8> bytes{};
  TValueBuffer buffer{bytes, {}};
  if (!ReadValue(name, platform::REG_BINARY, buffer)) return 0;
  return rec::RecordReader(bytes).Get<std::uint64_t>(0).value_or(0);
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

TNtRegistry::~TNtRegistry() = default;

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
  // The earlier key goes first: after a failure no key is open, so no listing reads it.
  CloseKey();
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
  // A failed open may leave anything in the slot: only a handle of a successful one is owned.
  if (status != platform::STATUS_SUCCESS) return false;
  key_ = platform::NtHandle(handle);
  CurrentPath = path;
  return true;
}

void TNtRegistry::WriteValue(std::u16string_view name, platform::DWORD valueType,
                             std::span<const std::byte> data) {
  if (!key_) return;
  platform::Current().ntdll.NtSetValueKey(key_.get(), name.substr(0, name.find(u'\0')), valueType, data);
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
  const bool deleted = platform::Current().ntdll.NtDeleteKey(key_.get()) == platform::STATUS_SUCCESS;
  CloseKey();
  return deleted;
}

void TNtRegistry::CloseKey() { key_.reset(); }

bool TNtRegistry::DeleteValue(std::u16string_view name) {
  if (!key_) return false;
  return platform::Current().ntdll.NtDeleteValueKey(key_.get(), name) == platform::STATUS_SUCCESS;
}

void TNtRegistry::GetKeyNames(std::vector<std::u16string>& list) {
  auto& nt = platform::Current().ntdll;
  ListNames(
      key_.get(), kKeyBufferSize,
      [&](platform::Handle k, platform::DWORD i, std::span<std::byte> b, platform::DWORD& r) {
        return nt.NtEnumerateKey(k, i, rec::KeyBasicInformation, b, r);
      },
      KeyNameOfRecord, list);
}

void TNtRegistry::GetValueNames(std::vector<std::u16string>& list) {
  auto& nt = platform::Current().ntdll;
  ListNames(
      key_.get(), kValueBufferSize,
      [&](platform::Handle k, platform::DWORD i, std::span<std::byte> b, platform::DWORD& r) {
        return nt.NtEnumerateValueKey(k, i, rec::KeyValueBasicInformation, b, r);
      },
      ValueNameOfRecord, list);
}

std::optional<TRawValue> TNtRegistry::QueryValue(std::u16string_view name) {
  if (!key_) return std::nullopt;
  const platform::Handle key = key_.get();
  auto& nt = platform::Current().ntdll;
  platform::DWORD needed = 0;
  if (nt.NtQueryValueKey(key, name, rec::KeyValueFullInformation, {}, needed) !=
      platform::STATUS_BUFFER_TOO_SMALL)
    return std::nullopt;
  std::vector<std::byte> record(needed);
  platform::DWORD returned = 0;
  if (nt.NtQueryValueKey(key, name, rec::KeyValueFullInformation, record, returned) !=
      platform::STATUS_SUCCESS)
    return std::nullopt;
  return ValueOfRecord(record, returned);
}

std::optional<TRawValue> ValueOfRecord(std::span<const std::byte> record, std::size_t returned) {
  const auto in = Written(record, returned);
  const auto head = in.Head<rec::KEY_VALUE_FULL_INFORMATION>(0);
  if (!head) return std::nullopt;
  const auto data = in.Bytes(head->DataOffset, head->DataLength);
  if (!data) return std::nullopt;
  TRawValue value;
  value.Type = head->Type;
  value.Data.assign(data->begin(), data->end());
  return value;
}

std::u16string TextOfData(std::span<const std::byte> data) {
  return rec::RecordReader(data).TextWithin(0, data.size());
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
      rec::RecordWriter(buffer.bytes).PutBytes(0, data);
      return true;
    }
    case platform::REG_DWORD:
    case platform::REG_DWORD_BIG_ENDIAN:
    case platform::REG_QWORD: {
      // A value shorter than its type says, or a buffer too small for it, is not read past.
      const std::size_t want = valueType == platform::REG_QWORD ? 8 : 4;
      if (data.size() < want || buffer.bytes.size() < want) return false;
      rec::RecordWriter(buffer.bytes).PutBytes(0, data.first(want));
      return true;
    }
    default:
      return false;
  }
}

}  // namespace registry
