// The simulated native key functions: the true registry tree, names at their full counted length.
#include <algorithm>
#include <cstring>

#include "platform/records.h"
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

void Put32(std::span<std::byte> b, std::size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
void Put64(std::span<std::byte> b, std::size_t at, std::uint64_t v) { std::memcpy(b.data() + at, &v, 8); }

// Writes a record of `header` fixed bytes followed by the name (and `data`) under the
// system's rules: too small for the header -> BUFFER_TOO_SMALL; the header fits but not the
// rest -> BUFFER_OVERFLOW with the header written; `resultLength` always the full size.
template <typename WriteHeader>
NTSTATUS WriteRecord(std::span<std::byte> buffer, DWORD& resultLength, std::size_t header,
                     std::u16string_view name, std::span<const std::uint8_t> data, WriteHeader writeHeader) {
  const std::size_t nameBytes = name.size() * 2;
  const std::size_t dataAt = data.empty() ? header + nameBytes : (header + nameBytes + 3) & ~std::size_t{3};
  const std::size_t full = dataAt + data.size();
  resultLength = static_cast<DWORD>(full);
  if (buffer.size() < header) return platform::STATUS_BUFFER_TOO_SMALL;
  writeHeader(static_cast<std::uint32_t>(nameBytes), static_cast<std::uint32_t>(dataAt));
  if (buffer.size() < full) return platform::STATUS_BUFFER_OVERFLOW;
  if (nameBytes != 0) std::memcpy(buffer.data() + header, name.data(), nameBytes);
  if (!data.empty()) std::memcpy(buffer.data() + dataAt, data.data(), data.size());
  return platform::STATUS_SUCCESS;
}

NTSTATUS ValueRecord(const RegValue& v, DWORD infoClass, std::span<std::byte> buffer, DWORD& resultLength) {
  namespace r = platform::records;
  if (infoClass == r::KeyValueBasicInformation)
    return WriteRecord(buffer, resultLength, offsetof(r::KEY_VALUE_BASIC_INFORMATION, Name), v.name, {},
                       [&](std::uint32_t nameBytes, std::uint32_t) {
                         Put32(buffer, 0, 0);
                         Put32(buffer, 4, v.type);
                         Put32(buffer, 8, nameBytes);
                       });
  if (infoClass == r::KeyValueFullInformation)
    return WriteRecord(buffer, resultLength, offsetof(r::KEY_VALUE_FULL_INFORMATION, Name), v.name, v.data,
                       [&](std::uint32_t nameBytes, std::uint32_t dataAt) {
                         Put32(buffer, 0, 0);
                         Put32(buffer, 4, v.type);
                         Put32(buffer, 8, dataAt);
                         Put32(buffer, 12, static_cast<std::uint32_t>(v.data.size()));
                         Put32(buffer, 16, nameBytes);
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
  return WriteRecord(buffer, resultLength, offsetof(platform::records::KEY_BASIC_INFORMATION, Name), sub.name,
                     {}, [&](std::uint32_t nameBytes, std::uint32_t) {
                       Put64(buffer, 0, sub.lastWrite);
                       Put32(buffer, 8, 0);
                       Put32(buffer, 12, nameBytes);
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
  if (!data.empty()) std::memcpy(v->data.data(), data.data(), data.size());
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
