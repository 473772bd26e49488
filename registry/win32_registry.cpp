// The Win32 registry class and the single-value helpers over the platform's advapi32.
#include "registry/win32_registry.h"

#include <algorithm>
#include <array>
#include <functional>

#include "base/os_flags.h"
#include "platform/platform.h"
#include "platform/record_io.h"

namespace registry {
namespace {

using platform::DWORD;
using platform::HKEY;

platform::Advapi32& Api() { return platform::Current().advapi32; }

struct HiveName {
  HKEY key;
  const char* longName;
  const char* shortName;
};
constexpr std::array<HiveName, 7> kHives = {{
    {platform::HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
    {platform::HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {platform::HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
    {platform::HKEY_USERS, "HKEY_USERS", "HKUS"},
    {platform::HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA", "HKPD"},
    {platform::HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG", "HKCC"},
    {platform::HKEY_DYN_DATA, "HKEY_DYN_DATA", "HKDD"},
}};

// Exact, case-sensitive comparison of a UTF-16 or 8-bit text with an ASCII name.
template <typename S>
bool SameAscii(S text, std::string_view ascii) {
  if (text.size() != ascii.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (static_cast<std::uint32_t>(text[i]) != static_cast<unsigned char>(ascii[i])) return false;
  return true;
}

template <typename S>
HKEY RootFromName(S name) {
  for (const auto& h : kHives)
    if (SameAscii(name, h.longName) || SameAscii(name, h.shortName)) return h.key;
  return 0;
}

template <typename View, typename Str>
bool SplitKey(View text, HKEY& rootKey, Str& keyPath) {
  const auto slash = text.find(typename View::value_type('\\'));
  if (slash == View::npos) return false;
  rootKey = RootFromName(text.substr(0, slash));
  if (rootKey == 0) return false;
  keyPath = Str(text.substr(slash));
  return true;
}

template <typename View, typename Str>
bool SplitValue(View text, HKEY& rootKey, Str& keyPath, Str& name) {
  Str all;
  if (!SplitKey(text, rootKey, all)) return false;
  const auto last = all.rfind(typename View::value_type('\\'));
  name = all.substr(last + 1);
  keyPath = all.substr(0, last + 1);
  return true;
}

// A zero-terminated reading of a counted text.
template <typename S>
S UpToZero(S text) {
  const auto zero = text.find(typename S::value_type{0});
  return zero == S::npos ? std::move(text) : text.substr(0, zero);
}

}  // namespace

TRegDataType DataTypeOf(DWORD rawType) {
  switch (rawType) {
    case platform::REG_NONE:
      return TRegDataType::rdNotSet;
    case platform::REG_SZ:
      return TRegDataType::rdString;
    case platform::REG_EXPAND_SZ:
      return TRegDataType::rdExpandString;
    case platform::REG_BINARY:
      return TRegDataType::rdBinary;
    case platform::REG_DWORD:
      return TRegDataType::rdInteger;
    default:
      return rawType >= 5 && rawType <= 11 ? TRegDataType::rdOther : TRegDataType::rdUnknown;
  }
}

void TMyRegistry::SetRootKey(HKEY root) {
  CloseKey();
  rootKey_ = root;
}

void TMyRegistry::SetBitness(int bits) {
  if (bits == 32) {
    bitness_ = 32;
    access_ &= ~platform::KEY_WOW64_64KEY;
  } else if (bits == 64) {
    bitness_ = 64;
    access_ = (access_ & ~platform::KEY_WOW64_32KEY) | platform::KEY_WOW64_64KEY;
  } else {
    throw ERegistryException("Windows Registry only supported with 32 or 64 bits!");
  }
}

void TMyRegistry::SetViewMode(int mode) {
  if (mode == 0 || mode == 1) {
    SetBitness(32);
    viewMode_ = 1;
  } else if (mode == 2) {
    SetBitness(64);
    viewMode_ = 2;
  }
}

DWORD TMyRegistry::ViewBits() const {
  DWORD bits = access_ & platform::KEY_WOW64_RES;
  if (bitness_ == 64) bits |= platform::KEY_WOW64_64KEY;
  return bits;
}

// Tries the read-only access masks in turn with `open` (one of the two RegOpenKeyEx forms) and
// keeps the first key that opens; `sub8` is the opened path as 8-bit text, for CurrentPath.
bool TMyRegistry::OpenFirstReadOnly(bool relative, std::string sub8,
                                    const std::function<DWORD(HKEY, DWORD, RegKeyHandle&)>& open) {
  const HKEY base = relative && currentKey_ ? currentKey_.get() : rootKey_;
  for (const DWORD mask : {platform::KEY_READ, DWORD{0x20009}, platform::KEY_QUERY_VALUE}) {
    const DWORD access = mask | ViewBits();
    RegKeyHandle opened;
    lastOpenError_ = open(base, access, opened);
    if (lastOpenError_ != platform::ERROR_SUCCESS) continue;
    std::string newPath =
        relative && currentKey_ && !currentPath_.empty() ? currentPath_ + "\\" + sub8 : std::move(sub8);
    CloseKey();
    currentKey_ = std::move(opened);
    currentPath_ = std::move(newPath);
    access_ = access;
    return true;
  }
  return false;
}

bool TMyRegistry::OpenKeyReadOnly(std::string_view path) {
  const bool relative = path.empty() || path.front() != '\\';
  const std::string_view sub = relative ? path : path.substr(1);
  return OpenFirstReadOnly(relative, std::string(sub), [&](HKEY base, DWORD access, RegKeyHandle& opened) {
    return Api().RegOpenKeyExA(base, sub, 0, access, opened.put());
  });
}

bool TMyRegistry::OpenKeyReadOnlyW(std::u16string_view path) {
  const bool relative = path.empty() || path.front() != u'\\';
  const std::u16string_view sub = relative ? path : path.substr(1);
  // The current path is kept as 8-bit text, as the other open keeps it.
  std::string sub8 = platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, sub);
  return OpenFirstReadOnly(relative, std::move(sub8), [&](HKEY base, DWORD access, RegKeyHandle& opened) {
    return Api().RegOpenKeyExW(base, sub, 0, access, opened.put());
  });
}

bool TMyRegistry::KeyExists(std::string_view path) {
  const DWORD saved = access_;
  const bool relative = path.empty() || path.front() != '\\';
  const std::string_view sub = relative ? path : path.substr(1);
  const HKEY base = relative && currentKey_ ? currentKey_.get() : rootKey_;
  RegKeyHandle opened;
  const bool ok =
      Api().RegOpenKeyExA(base, sub, 0, 0x20009 | ViewBits(), opened.put()) == platform::ERROR_SUCCESS;
  access_ = saved;
  return ok;
}

void TMyRegistry::CloseKey() {
  currentKey_.reset();
  currentPath_.clear();
}

bool TMyRegistry::GetKeyInfo(TRegKeyInfo& info) {
  info = TRegKeyInfo{};
  platform::RegKeyInfo raw;
  if (!currentKey_ || Api().RegQueryInfoKeyW(currentKey_.get(), raw) != platform::ERROR_SUCCESS) return false;
  info.numSubKeys = raw.subKeys;
  info.maxSubKeyLen = raw.maxSubKeyLen;
  info.numValues = raw.values;
  info.maxValueLen = raw.maxValueNameLen;
  info.maxDataLen = raw.maxValueLen;
  // Name lengths come in characters; 8-bit callers may need two bytes for each.
  if (base::IsNTFamily(base::GetOSFlags())) {
    info.maxSubKeyLen *= 2;
    info.maxValueLen *= 2;
  }
  return true;
}

// The listings run index by index up to the count RegQueryInfoKey gave. "No more items" before
// that count is an ordinary end (a filter shortening the list, or entries removed meanwhile).
// Any other error means the listing broke off: the names after it are unknown, so the listing
// raises rather than answering a short list that a comparison would take for the whole truth.
// A name longer than the buffer (it grew since the count was taken) is asked for again with a
// bigger buffer instead of being dropped.
namespace {

// The largest buffer a listing grows to: value names hold up to 16,383 characters, key names
// 255; twice that leaves room for the 8-bit forms of double-byte code pages.
constexpr DWORD kLargestNameBuffer = 2 * 16384;

template <typename Name, typename Enumerate>
void ListNames(const char* what, HKEY root, const std::string& path, DWORD count, DWORD capacity,
               Enumerate enumerate, std::vector<Name>& list) {
  Name name;
  for (DWORD i = 0; i < count; ++i) {
    DWORD rc = enumerate(i, name, capacity);
    while (rc == platform::ERROR_MORE_DATA && capacity < kLargestNameBuffer) {
      capacity = std::min(kLargestNameBuffer, capacity * 2);
      rc = enumerate(i, name, capacity);
    }
    if (rc == platform::ERROR_NO_MORE_ITEMS) return;
    if (rc != platform::ERROR_SUCCESS)
      throw ERegistryException(std::string("Listing the ") + what + " of " + RootKeyName(root) + "\\" + path +
                               " failed at index " + std::to_string(i) + " (error " + std::to_string(rc) +
                               ")");
    list.push_back(UpToZero(name));
  }
}

}  // namespace

// The wide lists size their buffer from the longest name the key reports (in characters,
// without the terminator), so a long name is read whole, as the native view reads it, instead
// of failing with ERROR_MORE_DATA and looking hidden.
void TMyRegistry::GetKeyNamesW(std::vector<std::u16string>& list) {
  list.clear();
  TRegKeyInfo info;
  if (!GetKeyInfo(info)) return;
  const HKEY key = currentKey_.get();
  ListNames(
      "subkeys", rootKey_, currentPath_, info.numSubKeys, std::max<DWORD>(info.maxSubKeyLen + 1, 256),
      [&](DWORD i, std::u16string& name, DWORD capacity) {
        return Api().RegEnumKeyExW(key, i, name, capacity);
      },
      list);
}

void TMyRegistry::GetValueNamesW(std::vector<std::u16string>& list) {
  list.clear();
  TRegKeyInfo info;
  if (!GetKeyInfo(info)) return;
  const HKEY key = currentKey_.get();
  DWORD type = 0;
  ListNames(
      "values", rootKey_, currentPath_, info.numValues, std::max<DWORD>(info.maxValueLen + 1, 512),
      [&](DWORD i, std::u16string& name, DWORD capacity) {
        return Api().RegEnumValueW(key, i, name, capacity, type);
      },
      list);
}

// The 8-bit lists keep only what a call answered, under the same rules.
void TMyRegistry::GetKeyNames(std::vector<std::string>& list) {
  list.clear();
  TRegKeyInfo info;
  if (!GetKeyInfo(info)) return;
  const HKEY key = currentKey_.get();
  ListNames(
      "subkeys", rootKey_, currentPath_, info.numSubKeys, info.maxSubKeyLen + 1,
      [&](DWORD i, std::string& name, DWORD capacity) { return Api().RegEnumKeyExA(key, i, name, capacity); },
      list);
}

void TMyRegistry::GetValueNames(std::vector<std::string>& list) {
  list.clear();
  TRegKeyInfo info;
  if (!GetKeyInfo(info)) return;
  const HKEY key = currentKey_.get();
  DWORD type = 0;
  ListNames(
      "values", rootKey_, currentPath_, info.numValues, info.maxValueLen + 1,
      [&](DWORD i, std::string& name, DWORD capacity) {
        return Api().RegEnumValueA(key, i, name, capacity, type);
      },
      list);
}

bool TMyRegistry::GetDataInfo(std::string_view name, TRegDataInfo& info) {
  info = TRegDataInfo{};
  DWORD type = 0, size = 0;
  if (!currentKey_ ||
      Api().RegQueryValueExA(currentKey_.get(), name, type, {}, size) != platform::ERROR_SUCCESS)
    return false;
  info.regData = DataTypeOf(type);
  info.rawType = type;
  info.dataSize = size;
  return true;
}

bool TMyRegistry::ValueExists(std::string_view name) {
  TRegDataInfo info;
  return GetDataInfo(name, info);
}

std::vector<std::uint8_t> TMyRegistry::ReadData(std::string_view name, DWORD& type) {
  DWORD size = 0;
  if (!currentKey_ ||
      Api().RegQueryValueExA(currentKey_.get(), name, type, {}, size) != platform::ERROR_SUCCESS)
    throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
  // The value may grow between the two calls: ask again with the size the system wants.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<std::uint8_t> data(size);
    DWORD got = size;
    const DWORD rc = Api().RegQueryValueExA(
        currentKey_.get(), name, type,
        std::span<std::byte>(reinterpret_cast<std::byte*>(data.data()), data.size()), got);
    if (rc == platform::ERROR_SUCCESS) {
      data.resize(std::min<std::size_t>(got, data.size()));
      return data;
    }
    if (rc != platform::ERROR_MORE_DATA) break;
    size = got;
  }
  throw ERegistryException("Failed to get data for '" + std::string(name) + "'");
}

std::string TMyRegistry::ReadString(std::string_view name) {
  DWORD type = 0;
  const auto data = ReadData(name, type);
  const auto cls = DataTypeOf(type);
  if (cls != TRegDataType::rdString && cls != TRegDataType::rdExpandString)
    throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
  return UpToZero(std::string(data.begin(), data.end()));
}

std::u16string TMyRegistry::ReadStringW(std::u16string_view name) {
  DWORD type = 0, size = 0;
  if (!currentKey_ ||
      Api().RegQueryValueExW(currentKey_.get(), name, type, {}, size) != platform::ERROR_SUCCESS ||
      (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ))
    throw ERegistryException("Invalid data type for a UTF-16 string value");
  std::vector<std::byte> data(size);
  if (Api().RegQueryValueExW(currentKey_.get(), name, type, data, size) != platform::ERROR_SUCCESS)
    throw ERegistryException("Failed to get data for a UTF-16 string value");
  std::u16string text(std::min<std::size_t>(size, data.size()) / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(std::to_integer<unsigned>(data[2 * i]) |
                                    (std::to_integer<unsigned>(data[2 * i + 1]) << 8));
  return UpToZero(std::move(text));
}

std::string TMyRegistry::ReadMultiString(std::string_view name) {
  DWORD type = 0;
  auto data = ReadData(name, type);
  if (type != platform::REG_MULTI_SZ)
    throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
  while (!data.empty() && data.back() == 0) data.pop_back();
  std::string text;
  for (const auto b : data) {
    if (b == 0)
      text += "\r\n";
    else
      text += static_cast<char>(b);
  }
  return text;
}

std::int32_t TMyRegistry::ReadInteger(std::string_view name) {
  DWORD type = 0;
  const auto data = ReadData(name, type);
  if (type != platform::REG_DWORD || data.size() < 4)
    throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
  return *platform::records::RecordReader(std::as_bytes(std::span(data))).Get<std::int32_t>(0);
}

std::size_t TMyRegistry::ReadBinaryData(std::string_view name, std::span<std::byte> buffer) {
  DWORD type = 0;
  const auto data = ReadData(name, type);
  const auto cls = DataTypeOf(type);
  if (cls != TRegDataType::rdBinary && cls != TRegDataType::rdUnknown)
    throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
  if (buffer.size() < data.size())
    throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
  std::copy(data.begin(), data.end(), reinterpret_cast<std::uint8_t*>(buffer.data()));
  return data.size();
}

std::vector<std::uint8_t> TMyRegistry::ReadRawData(std::string_view name) {
  DWORD type = 0;
  return ReadData(name, type);
}

HKEY RootKeyFromName(std::string_view name) { return RootFromName(name); }
HKEY RootKeyFromName(std::u16string_view name) { return RootFromName(name); }

std::string RootKeyName(HKEY root) {
  for (const auto& h : kHives)
    if (h.key == root) return h.longName;
  return std::to_string(root);
}

bool SplitKeyText(std::string_view text, HKEY& rootKey, std::string& keyPath) {
  return SplitKey(text, rootKey, keyPath);
}
bool SplitKeyText(std::u16string_view text, HKEY& rootKey, std::u16string& keyPath) {
  return SplitKey(text, rootKey, keyPath);
}
bool SplitValueText(std::string_view text, HKEY& rootKey, std::string& keyPath, std::string& name) {
  return SplitValue(text, rootKey, keyPath, name);
}
bool SplitValueText(std::u16string_view text, HKEY& rootKey, std::u16string& keyPath, std::u16string& name) {
  return SplitValue(text, rootKey, keyPath, name);
}

bool ReadRegistryString(HKEY rootKey, std::string_view keyPath, std::string_view name, int bitness,
                        std::string& text) {
  TMyRegistry reg;
  reg.SetBitness(bitness);  // a wrong bitness is the caller's mistake and raises
  try {
    reg.SetRootKey(rootKey);
    if (!reg.OpenKeyReadOnly(keyPath)) return false;
    TRegDataInfo info;
    if (!reg.GetDataInfo(name, info)) return false;
    if (info.rawType == platform::REG_SZ || info.rawType == platform::REG_EXPAND_SZ) {
      text = reg.ReadString(name);
      return true;
    }
    if (info.rawType == platform::REG_MULTI_SZ) {
      text = reg.ReadMultiString(name);
      return true;
    }
  } catch (const ERegistryException&) {
  }
  return false;
}

bool ReadRegistryStringW(HKEY rootKey, std::string_view keyPath, std::u16string_view name, int bitness,
                         std::u16string& text) {
  TMyRegistry reg;
  reg.SetBitness(bitness);
  try {
    reg.SetRootKey(rootKey);
    if (!reg.OpenKeyReadOnly(keyPath)) return false;
    DWORD type = 0, size = 0;
    if (Api().RegQueryValueExW(reg.CurrentKey(), name, type, {}, size) != platform::ERROR_SUCCESS ||
        type != platform::REG_SZ)
      return false;
    text = reg.ReadStringW(name);
    return true;
  } catch (const ERegistryException&) {
  }
  return false;
}

bool ReadRegistryInteger(HKEY rootKey, std::string_view keyPath, std::string_view name, std::int32_t& value) {
  try {
    TMyRegistry reg;
    reg.SetRootKey(rootKey);
    if (!reg.OpenKeyReadOnly(keyPath)) return false;
    TRegDataInfo info;
    if (!reg.GetDataInfo(name, info) || info.rawType != platform::REG_DWORD) return false;
    value = reg.ReadInteger(name);
    return true;
  } catch (const ERegistryException&) {
  }
  return false;
}

bool RegistryKeyExists(HKEY rootKey, std::string_view keyPath, int viewMode) {
  try {
    TMyRegistry reg;
    if (viewMode == 0) reg.SetBitness(32);
    if (viewMode == 1) reg.SetBitness(64);
    reg.SetRootKey(rootKey);
    return reg.KeyExists(keyPath);
  } catch (const ERegistryException&) {
  }
  return false;
}

}  // namespace registry
