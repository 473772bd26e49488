// The simulated native key functions: the true registry tree, names at their full counted length.
#include <algorithm>

#include "platform/record_io.h"
#include "platform/sim/sim_others.h"

namespace sim {
namespace {

using platform::DWORD;
using platform::NTSTATUS;

// A key opened natively. It keeps the native path, so a key deleted meanwhile answers
// STATUS_KEY_DELETED instead of leaving a dangling pointer.
struct NativeKeyObject : SimObject {
  explicit NativeKeyObject(std::u16string p) : path(std::move(p)) {}
  std::u16string path;
};

RegKey* KeyOf(Machine& m, platform::Handle h, NTSTATUS& status) {
  auto* object = m.handles.Get<NativeKeyObject>(h);
  if (object == nullptr) {
    status = platform::STATUS_INVALID_HANDLE;
    return nullptr;
  }
  RegKey* key = m.FindKey(object->path);
  status = key == nullptr ? platform::STATUS_KEY_DELETED : platform::STATUS_SUCCESS;
  return key;
}

// Writes a record R (its head from `makeHead(nameBytes, dataOffset)`) followed by the name and
// `data` under the system's rules: too small for the head -> BUFFER_TOO_SMALL; the head fits
// but not the rest -> BUFFER_OVERFLOW with the head written; `resultLength` always the full size.
template <typename R, typename MakeHead>
NTSTATUS WriteRecord(std::span<std::byte> buffer, DWORD& resultLength, std::u16string_view name,
                     std::span<const std::uint8_t> data, MakeHead makeHead) {
  constexpr std::size_t header = platform::records::kHeadBytes<R>;
  const std::size_t nameBytes = name.size() * 2;
  const std::size_t dataAt = data.empty() ? header + nameBytes : (header + nameBytes + 3) & ~std::size_t{3};
  const std::size_t full = dataAt + data.size();
  resultLength = static_cast<DWORD>(full);
  platform::records::RecordWriter out(buffer);
  const R head = makeHead(static_cast<std::uint32_t>(nameBytes), static_cast<std::uint32_t>(dataAt));
  if (!out.PutHead(0, head)) return platform::STATUS_BUFFER_TOO_SMALL;
  if (buffer.size() < full) return platform::STATUS_BUFFER_OVERFLOW;
  out.PutText(header, name);
  out.PutBytes(dataAt, std::as_bytes(data));
  return platform::STATUS_SUCCESS;
}

NTSTATUS ValueRecord(const RegValue& v, DWORD infoClass, std::span<std::byte> buffer, DWORD& resultLength) {
  namespace r = platform::records;
  if (infoClass == r::KeyValueBasicInformation)
    return WriteRecord<r::KEY_VALUE_BASIC_INFORMATION>(buffer, resultLength, v.name, {},
                                                       [&](std::uint32_t nameBytes, std::uint32_t) {
                                                         auto h = r::Zeroed<r::KEY_VALUE_BASIC_INFORMATION>();
                                                         h.Type = v.type;
                                                         h.NameLength = nameBytes;
                                                         return h;
                                                       });
  if (infoClass == r::KeyValueFullInformation)
    return WriteRecord<r::KEY_VALUE_FULL_INFORMATION>(
        buffer, resultLength, v.name, v.data, [&](std::uint32_t nameBytes, std::uint32_t dataAt) {
          auto h = r::Zeroed<r::KEY_VALUE_FULL_INFORMATION>();
          h.Type = v.type;
          h.DataOffset = dataAt;
          h.DataLength = static_cast<std::uint32_t>(v.data.size());
          h.NameLength = nameBytes;
          return h;
        });
  return platform::STATUS_INVALID_PARAMETER;
}

// The value named exactly `name` (letter case aside; zero characters count).
RegValue* FindValueExactly(RegKey& key, std::u16string_view name) {
  auto it = std::find_if(key.values.begin(), key.values.end(),
                         [&](const RegValue& v) { return CompareNames(v.name, name) == 0; });
  return it == key.values.end() ? nullptr : &*it;
}

}  // namespace

// The full native path named by `attributes`: absolute, or below an open key.
static NTSTATUS NativePathOf(Machine& m, const platform::ObjectAttributes& attributes, std::u16string& path) {
  if (attributes.name.size() > 32767) return platform::STATUS_OBJECT_NAME_INVALID;
  if (attributes.rootDirectory != platform::kNullHandle) {
    auto* parent = m.handles.Get<NativeKeyObject>(attributes.rootDirectory);
    if (parent == nullptr) return platform::STATUS_INVALID_HANDLE;
    if (!attributes.name.empty() && attributes.name.front() == u'\\')
      return platform::STATUS_OBJECT_PATH_SYNTAX_BAD;
    path = parent->path + u"\\" + std::u16string(attributes.name);
  } else {
    if (attributes.name.empty() || attributes.name.front() != u'\\')
      return platform::STATUS_OBJECT_PATH_SYNTAX_BAD;
    path = attributes.name;
  }
  return platform::STATUS_SUCCESS;
}

NTSTATUS SimNtdll::NtOpenKey(platform::Handle& handle, DWORD /*access*/,
                             const platform::ObjectAttributes& attributes) {
  std::lock_guard lock(m_.mutex);
  handle = platform::kNullHandle;
  std::u16string path;
  if (NTSTATUS s = NativePathOf(m_, attributes, path); s != platform::STATUS_SUCCESS) return s;
  RegKey* key = m_.FindKey(path);
  if (key == nullptr) return platform::STATUS_OBJECT_NAME_NOT_FOUND;
  if (key->fail.nativeOpen) return platform::STATUS_ACCESS_DENIED;
  if (m_.onNativeKeyOpen) m_.onNativeKeyOpen(m_, path);
  handle = m_.handles.Add(std::make_unique<NativeKeyObject>(std::move(path)));
  return platform::STATUS_SUCCESS;
}

NTSTATUS SimNtdll::NtEnumerateKey(platform::Handle keyHandle, DWORD index, DWORD infoClass,
                                  std::span<std::byte> buffer, DWORD& resultLength) {
  std::lock_guard lock(m_.mutex);
  resultLength = 0;
  NTSTATUS status;
  RegKey* key = KeyOf(m_, keyHandle, status);
  if (key == nullptr) return status;
  if (infoClass != platform::records::KeyBasicInformation) return platform::STATUS_INVALID_PARAMETER;
  if (index >= key->subkeys.size()) return platform::STATUS_NO_MORE_ENTRIES;
  const RegKey& sub = *key->subkeys[index];
  return WriteRecord<platform::records::KEY_BASIC_INFORMATION>(
      buffer, resultLength, sub.name, {}, [&](std::uint32_t nameBytes, std::uint32_t) {
        auto h = platform::records::Zeroed<platform::records::KEY_BASIC_INFORMATION>();
        h.LastWriteTime = static_cast<std::int64_t>(sub.lastWrite);
        h.NameLength = nameBytes;
        return h;
      });
}

NTSTATUS SimNtdll::NtEnumerateValueKey(platform::Handle keyHandle, DWORD index, DWORD infoClass,
                                       std::span<std::byte> buffer, DWORD& resultLength) {
  std::lock_guard lock(m_.mutex);
  resultLength = 0;
  NTSTATUS status;
  RegKey* key = KeyOf(m_, keyHandle, status);
  if (key == nullptr) return status;
  if (index >= key->values.size()) return platform::STATUS_NO_MORE_ENTRIES;
  return ValueRecord(key->values[index], infoClass, buffer, resultLength);
}

NTSTATUS SimNtdll::NtQueryValueKey(platform::Handle keyHandle, std::u16string_view valueName, DWORD infoClass,
                                   std::span<std::byte> buffer, DWORD& resultLength) {
  std::lock_guard lock(m_.mutex);
  resultLength = 0;
  NTSTATUS status;
  RegKey* key = KeyOf(m_, keyHandle, status);
  if (key == nullptr) return status;
  const RegValue* v = FindValueExactly(*key, valueName);
  if (v == nullptr) return platform::STATUS_OBJECT_NAME_NOT_FOUND;
  return ValueRecord(*v, infoClass, buffer, resultLength);
}

NTSTATUS SimNtdll::NtCreateKey(platform::Handle& handle, DWORD /*access*/,
                               const platform::ObjectAttributes& attributes, DWORD& disposition) {
  std::lock_guard lock(m_.mutex);
  handle = platform::kNullHandle;
  disposition = 0;
  std::u16string path;
  if (NTSTATUS s = NativePathOf(m_, attributes, path); s != platform::STATUS_SUCCESS) return s;
  while (path.size() > 1 && path.back() == u'\\') path.pop_back();
  RegKey* key = m_.FindKey(path);
  if (key != nullptr) {
    if (key->fail.nativeOpen) return platform::STATUS_ACCESS_DENIED;
    disposition = platform::REG_OPENED_EXISTING_KEY;
  } else {
    // Only the last component is created; a missing parent fails as on a real system.
    const std::size_t slash = path.rfind(u'\\');
    RegKey* parent = slash == 0 ? nullptr : m_.FindKey(std::u16string_view(path).substr(0, slash));
    if (parent == nullptr) return platform::STATUS_OBJECT_NAME_NOT_FOUND;
    auto created = std::make_unique<RegKey>();
    created->name = path.substr(slash + 1);
    created->sddl = kDefaultKeySddl;
    parent->AddSubkey(std::move(created));
    disposition = platform::REG_CREATED_NEW_KEY;
  }
  handle = m_.handles.Add(std::make_unique<NativeKeyObject>(std::move(path)));
  return platform::STATUS_SUCCESS;
}

NTSTATUS SimNtdll::NtSetValueKey(platform::Handle keyHandle, std::u16string_view valueName, DWORD type,
                                 std::span<const std::byte> data) {
  std::lock_guard lock(m_.mutex);
  NTSTATUS status;
  RegKey* key = KeyOf(m_, keyHandle, status);
  if (key == nullptr) return status;
  RegValue* v = FindValueExactly(*key, valueName);
  if (v == nullptr) {
    key->values.emplace_back();
    v = &key->values.back();
    v->name = valueName;
  }
  v->type = type;
  v->data.resize(data.size());
  std::transform(data.begin(), data.end(), v->data.begin(),
                 [](std::byte b) { return std::to_integer<std::uint8_t>(b); });
  return platform::STATUS_SUCCESS;
}

NTSTATUS SimNtdll::NtDeleteKey(platform::Handle keyHandle) {
  std::lock_guard lock(m_.mutex);
  NTSTATUS status;
  RegKey* key = KeyOf(m_, keyHandle, status);
  if (key == nullptr) return status;
  if (!key->subkeys.empty() || key->parent == nullptr) return platform::STATUS_CANNOT_DELETE;
  key->parent->RemoveSubkey(key);
  return platform::STATUS_SUCCESS;
}

NTSTATUS SimNtdll::NtDeleteValueKey(platform::Handle keyHandle, std::u16string_view valueName) {
  std::lock_guard lock(m_.mutex);
  NTSTATUS status;
  RegKey* key = KeyOf(m_, keyHandle, status);
  if (key == nullptr) return status;
  const RegValue* v = FindValueExactly(*key, valueName);
  if (v == nullptr) return platform::STATUS_OBJECT_NAME_NOT_FOUND;
  key->values.erase(key->values.begin() + (v - key->values.data()));
  return platform::STATUS_SUCCESS;
}

}  // namespace sim

namespace sim {

platform::NTSTATUS SimNtdll::RtlFormatCurrentUserKeyPath(std::u16string& path) {
  std::lock_guard lock(m_.mutex);
  path = u"\\Registry\\User\\";
  for (char c : m_.system.userSid) path += static_cast<char16_t>(static_cast<unsigned char>(c));
  return platform::STATUS_SUCCESS;
}

}  // namespace sim
