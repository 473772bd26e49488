// The simulated Win32 registry functions: keys opened by path, listings filtered by the rootkit.
#include <algorithm>
#include <cstring>

#include "platform/sim/builder.h"
#include "platform/sim/sim_others.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/sim_security.h"

namespace sim {
namespace {

using platform::DWORD;
using platform::HKEY;

// A key opened through the Win32 functions. It remembers the native path rather than the
// node, so a key deleted through another handle answers ERROR_KEY_DELETED instead of
// leaving a dangling pointer.
struct Win32KeyObject : SimObject {
  explicit Win32KeyObject(std::u16string p) : path(std::move(p)) {}
  std::u16string path;
  // Where the last subkey and value enumeration of this handle stopped, so a listing that asks
  // for index 0, 1, 2, ... costs one step per index instead of a scan from the start each time.
  struct Cursor {
    const void* items = nullptr;  // the list it walked, and its size then
    std::size_t count = 0;
    DWORD index = 0;     // the index last answered
    std::size_t at = 0;  // its position in the list
  };
  Cursor keys, values;
};

bool IsPredefined(HKEY key) { return key >= platform::HKEY_CLASSES_ROOT && key <= platform::HKEY_DYN_DATA; }

std::optional<std::u16string> RootPath(HKEY key, const std::string& userSid) {
  switch (key) {
    case platform::HKEY_CLASSES_ROOT:
      return NativeKeyPath(u"HKCR", userSid);
    case platform::HKEY_CURRENT_USER:
      return NativeKeyPath(u"HKCU", userSid);
    case platform::HKEY_LOCAL_MACHINE:
      return NativeKeyPath(u"HKLM", userSid);
    case platform::HKEY_USERS:
      return NativeKeyPath(u"HKU", userSid);
    case platform::HKEY_CURRENT_CONFIG:
      return NativeKeyPath(u"HKCC", userSid);
    default:
      return std::nullopt;  // performance data and dynamic data have no keys here
  }
}

// Win32 callers pass zero-terminated texts: whatever follows a zero character is unseen.
template <typename S>
S UpToZero(S text) {
  const auto zero = text.find(typename S::value_type{0});
  return zero == S::npos ? text : text.substr(0, zero);
}

std::string_view AsChars(const std::vector<std::uint8_t>& d) {
  return {reinterpret_cast<const char*>(d.data()), d.size()};
}

// UTF-16LE bytes -> text (an odd last byte is dropped, as the system does).
std::u16string FromLE(const std::vector<std::uint8_t>& d) {
  std::u16string s(d.size() / 2, u'\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(d[2 * i] | (d[2 * i + 1] << 8));
  return s;
}

bool IsStringType(DWORD type) {
  return type == platform::REG_SZ || type == platform::REG_EXPAND_SZ || type == platform::REG_MULTI_SZ;
}

DWORD CopyOut(std::string_view bytes, std::span<std::byte> data, DWORD& size) {
  size = static_cast<DWORD>(bytes.size());
  if (data.data() == nullptr) return platform::ERROR_SUCCESS;
  if (data.size() < bytes.size()) return platform::ERROR_MORE_DATA;
  if (!bytes.empty()) std::memcpy(data.data(), bytes.data(), bytes.size());
  return platform::ERROR_SUCCESS;
}

}  // namespace

// Resolves a predefined root or an open key to its node; nullptr with the error otherwise.
static RegKey* ResolveKey(Machine& m, HKEY key, DWORD& error, std::u16string* path = nullptr) {
  std::u16string p;
  if (IsPredefined(key)) {
    auto root = RootPath(key, m.system.userSid);
    if (!root) {
      error = platform::ERROR_INVALID_HANDLE;
      return nullptr;
    }
    p = *root;
  } else if (auto* obj = m.handles.Get<Win32KeyObject>(key)) {
    p = obj->path;
  } else {
    error = platform::ERROR_INVALID_HANDLE;
    return nullptr;
  }
  RegKey* k = m.FindKey(p);
  if (k == nullptr) {
    // A missing hive root (no HKEY_CURRENT_USER in the image) is simply not found.
    error = IsPredefined(key) ? platform::ERROR_FILE_NOT_FOUND : platform::ERROR_KEY_DELETED;
    return nullptr;
  }
  if (path != nullptr) *path = std::move(p);
  return k;
}

static bool VisibleToWin32(const Machine& m, const std::u16string& name, bool hidden) {
  return !hidden && !m.HiddenByPattern(name);
}

DWORD SimAdvapi32::RegOpenKeyExW(HKEY key, std::u16string_view subKey, DWORD, DWORD, HKEY& result) {
  std::lock_guard lock(m_.mutex);
  result = 0;
  DWORD error = platform::ERROR_SUCCESS;
  std::u16string path;
  if (ResolveKey(m_, key, error, &path) == nullptr) return error;
  subKey = UpToZero(subKey);
  if (!subKey.empty() && subKey.front() == u'\\') return platform::ERROR_BAD_PATHNAME;
  if (!subKey.empty()) path += u"\\" + std::u16string(subKey);
  const RegKey* k = m_.FindKey(path);
  if (k == nullptr) return platform::ERROR_FILE_NOT_FOUND;
  if (k->fail.win32Open) return platform::ERROR_ACCESS_DENIED;
  result = m_.handles.Add(std::make_unique<Win32KeyObject>(std::move(path)));
  return platform::ERROR_SUCCESS;
}

DWORD SimAdvapi32::RegOpenKeyExA(HKEY key, std::string_view subKey, DWORD options, DWORD access,
                                 HKEY& result) {
  return RegOpenKeyExW(key, FromCodePage(m_.system.codePage, UpToZero(subKey)), options, access, result);
}

DWORD SimAdvapi32::RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return platform::ERROR_SUCCESS;
  if (m_.handles.Get<Win32KeyObject>(key) == nullptr) return platform::ERROR_INVALID_HANDLE;
  m_.handles.Close(key);
  return platform::ERROR_SUCCESS;
}

DWORD SimAdvapi32::RegQueryInfoKeyW(HKEY key, platform::RegKeyInfo& info) {
  std::lock_guard lock(m_.mutex);
  DWORD error = platform::ERROR_SUCCESS;
  const RegKey* k = ResolveKey(m_, key, error);
  if (k == nullptr) return error;
  // The rootkit filters the listings only: the counts and lengths tell the truth.
  info = platform::RegKeyInfo{};
  info.subKeys = static_cast<DWORD>(k->subkeys.size());
  for (const auto& s : k->subkeys)
    info.maxSubKeyLen = std::max(info.maxSubKeyLen, static_cast<DWORD>(s->name.size()));
  info.values = static_cast<DWORD>(k->values.size());
  for (const auto& v : k->values) {
    info.maxValueNameLen = std::max(info.maxValueNameLen, static_cast<DWORD>(v.name.size()));
    info.maxValueLen = std::max(info.maxValueLen, static_cast<DWORD>(v.data.size()));
  }
  info.lastWriteTime = k->lastWrite;
  return platform::ERROR_SUCCESS;
}

// The index-th subkey or value the Win32 listing shows, or nullptr with the error. With a
// cursor, a later index of the same unchanged list resumes where the last answer was found;
// the answers are those of a scan from the start.
template <typename Item, typename Items, typename Get>
static const Item* NthVisible(const Machine& m, const Items& items, DWORD index, Get get, DWORD& error,
                              Win32KeyObject::Cursor* cursor) {
  std::size_t from = 0;
  DWORD seen = 0;
  if (cursor != nullptr && cursor->items == &items && cursor->count == items.size() &&
      index >= cursor->index && cursor->at < items.size()) {
    if (index == cursor->index) return &get(items[cursor->at]);
    from = cursor->at + 1;
    seen = cursor->index + 1;
  }
  for (std::size_t at = from; at < items.size(); ++at) {
    const Item& i = get(items[at]);
    if (!VisibleToWin32(m, i.name, i.hidden)) continue;
    if (seen++ == index) {
      if (cursor != nullptr) *cursor = {&items, items.size(), index, at};
      return &i;
    }
  }
  error = platform::ERROR_NO_MORE_ITEMS;
  return nullptr;
}

static const RegKey* NthSubkey(Machine& m, HKEY key, DWORD index, DWORD& error) {
  const RegKey* k = ResolveKey(m, key, error);
  if (k == nullptr) return nullptr;
  if (k->fail.win32List) {
    error = platform::ERROR_ACCESS_DENIED;
    return nullptr;
  }
  auto* object = IsPredefined(key) ? nullptr : m.handles.Get<Win32KeyObject>(key);
  return NthVisible<RegKey>(
      m, k->subkeys, index, [](const auto& p) -> const RegKey& { return *p; }, error,
      object != nullptr ? &object->keys : nullptr);
}

static const RegValue* NthValue(Machine& m, HKEY key, DWORD index, DWORD& error) {
  const RegKey* k = ResolveKey(m, key, error);
  if (k == nullptr) return nullptr;
  if (k->fail.win32List) {
    error = platform::ERROR_ACCESS_DENIED;
    return nullptr;
  }
  auto* object = IsPredefined(key) ? nullptr : m.handles.Get<Win32KeyObject>(key);
  return NthVisible<RegValue>(
      m, k->values, index, [](const auto& v) -> const RegValue& { return v; }, error,
      object != nullptr ? &object->values : nullptr);
}

template <typename S>
static DWORD HandOut(S text, S& name, DWORD capacity) {
  name.clear();
  if (text.size() + 1 > capacity) return platform::ERROR_MORE_DATA;
  name = std::move(text);
  return platform::ERROR_SUCCESS;
}

DWORD SimAdvapi32::RegEnumKeyExW(HKEY key, DWORD index, std::u16string& name, DWORD capacity) {
  std::lock_guard lock(m_.mutex);
  name.clear();
  DWORD error = platform::ERROR_SUCCESS;
  const RegKey* k = NthSubkey(m_, key, index, error);
  return k == nullptr ? error : HandOut(std::u16string(k->Win32Name()), name, capacity);
}

DWORD SimAdvapi32::RegEnumKeyExA(HKEY key, DWORD index, std::string& name, DWORD capacity) {
  std::lock_guard lock(m_.mutex);
  name.clear();
  DWORD error = platform::ERROR_SUCCESS;
  const RegKey* k = NthSubkey(m_, key, index, error);
  return k == nullptr ? error : HandOut(ToCodePage(m_.system.codePage, k->Win32Name()), name, capacity);
}

DWORD SimAdvapi32::RegEnumValueW(HKEY key, DWORD index, std::u16string& name, DWORD capacity, DWORD& type) {
  std::lock_guard lock(m_.mutex);
  name.clear();
  DWORD error = platform::ERROR_SUCCESS;
  const RegValue* v = NthValue(m_, key, index, error);
  if (v == nullptr) return error;
  type = v->type;
  return HandOut(std::u16string(v->Win32Name()), name, capacity);
}

DWORD SimAdvapi32::RegEnumValueA(HKEY key, DWORD index, std::string& name, DWORD capacity, DWORD& type) {
  std::lock_guard lock(m_.mutex);
  name.clear();
  DWORD error = platform::ERROR_SUCCESS;
  const RegValue* v = NthValue(m_, key, index, error);
  if (v == nullptr) return error;
  type = v->type;
  return HandOut(ToCodePage(m_.system.codePage, v->Win32Name()), name, capacity);
}

DWORD SimAdvapi32::RegQueryValueExW(HKEY key, std::u16string_view name, DWORD& type,
                                    std::span<std::byte> data, DWORD& size) {
  std::lock_guard lock(m_.mutex);
  DWORD error = platform::ERROR_SUCCESS;
  RegKey* k = ResolveKey(m_, key, error);
  if (k == nullptr) return error;
  const RegValue* v = k->FindValue(UpToZero(name));
  if (v == nullptr) return platform::ERROR_FILE_NOT_FOUND;
  type = v->type;
  return CopyOut(AsChars(v->data), data, size);
}

DWORD SimAdvapi32::RegQueryValueExA(HKEY key, std::string_view name, DWORD& type, std::span<std::byte> data,
                                    DWORD& size) {
  std::lock_guard lock(m_.mutex);
  DWORD error = platform::ERROR_SUCCESS;
  RegKey* k = ResolveKey(m_, key, error);
  if (k == nullptr) return error;
  const RegValue* v = k->FindValue(FromCodePage(m_.system.codePage, UpToZero(name)));
  if (v == nullptr) return platform::ERROR_FILE_NOT_FOUND;
  type = v->type;
  if (!IsStringType(v->type)) return CopyOut(AsChars(v->data), data, size);
  return CopyOut(ToCodePage(m_.system.codePage, FromLE(v->data)), data, size);
}

DWORD SimAdvapi32::RegGetKeySecurity(HKEY key, DWORD information, std::span<std::byte> descriptor,
                                     DWORD& needed) {
  std::lock_guard lock(m_.mutex);
  DWORD error = platform::ERROR_SUCCESS;
  const RegKey* k = ResolveKey(m_, key, error);
  if (k == nullptr) return error;
  if (k->fail.security) return platform::ERROR_ACCESS_DENIED;
  const auto d = MakeDescriptor(k->sddl, information);
  needed = static_cast<DWORD>(d.size());
  if (descriptor.size() < d.size()) return platform::ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(descriptor.data(), d.data(), d.size());
  return platform::ERROR_SUCCESS;
}

}  // namespace sim
