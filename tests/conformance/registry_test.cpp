// Keys and values, native and Win32: counted names with zero characters, short buffers, the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/handles.h"
#include "platform/records.h"
#include "tests/conformance/backend.h"
#include "tests/conformance/buffers.h"

namespace conformance {
namespace {

using namespace platform;
namespace rec = platform::records;

CONFORMANCE_SUITE(NativeRegistry);
CONFORMANCE_SUITE(Win32Registry);

const std::u16string kZeroValue(u"a\0b", 3);
const std::u16string kZeroKey(u"k\0x", 3);

std::vector<std::byte> Dword(std::uint32_t v) {
  std::vector<std::byte> d(4);
  std::memcpy(d.data(), &v, 4);
  return d;
}

// Two values and two subkeys that differ only after a zero character from a plain name.
KeySpec ZeroNames() {
  return KeySpec{{kZeroKey, u"plain"}, {{u"a", REG_DWORD, Dword(1)}, {kZeroValue, REG_DWORD, Dword(2)}}};
}

NtHandle OpenNative(Ntdll& nt, const std::u16string& path, Handle root = kNullHandle) {
  NtHandle h;
  EXPECT_EQ(nt.NtOpenKey(h.put(), KEY_ALL_ACCESS, ObjectAttributes{path, OBJ_CASE_INSENSITIVE, root}),
            STATUS_SUCCESS)
      << Units(path);
  return h;
}

std::u16string KeyName(std::span<const std::byte> b) {
  return Text(b, offsetof(rec::KEY_BASIC_INFORMATION, Name),
              Field<std::uint32_t>(b, offsetof(rec::KEY_BASIC_INFORMATION, NameLength)));
}
std::u16string ValueName(std::span<const std::byte> b) {
  return Text(b, offsetof(rec::KEY_VALUE_BASIC_INFORMATION, Name),
              Field<std::uint32_t>(b, offsetof(rec::KEY_VALUE_BASIC_INFORMATION, NameLength)));
}

// Every name the native enumeration gives, sorted (the order is not what is checked here).
template <typename Enumerate>
std::vector<std::u16string> AllNames(Enumerate enumerate,
                                     std::u16string (*name)(std::span<const std::byte>)) {
  std::vector<std::u16string> names;
  for (DWORD i = 0; i < 100; ++i) {
    std::vector<std::byte> buffer(512);
    DWORD length = 0;
    const NTSTATUS s = enumerate(i, buffer, length);
    if (s == STATUS_NO_MORE_ENTRIES) break;
    EXPECT_EQ(s, STATUS_SUCCESS) << "index " << i;
    if (s != STATUS_SUCCESS) break;
    names.push_back(name(std::span(buffer).first(std::min<std::size_t>(length, buffer.size()))));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_P(NativeRegistry, NamesWithZeroCharactersAreListedWhole) {
  const TestKey k = B().MakeKey(ZeroNames());
  auto& nt = P().ntdll;
  const auto key = OpenNative(nt, k.nativePath);
  const auto values = AllNames(
      [&](DWORD i, std::span<std::byte> b, DWORD& n) {
        return nt.NtEnumerateValueKey(key.get(), i, rec::KeyValueBasicInformation, b, n);
      },
      ValueName);
  EXPECT_EQ(values, (std::vector<std::u16string>{u"a", kZeroValue}));
  const auto keys =
      AllNames([&](DWORD i, std::span<std::byte> b,
                   DWORD& n) { return nt.NtEnumerateKey(key.get(), i, rec::KeyBasicInformation, b, n); },
               KeyName);
  EXPECT_EQ(keys, (std::vector<std::u16string>{kZeroKey, u"plain"}));
}

TEST_P(NativeRegistry, AZeroCharacterNameIsOpenedQueriedAndDeletedExactly) {
  const TestKey k = B().MakeKey(ZeroNames());
  auto& nt = P().ntdll;
  const auto key = OpenNative(nt, k.nativePath);

  const auto sub = OpenNative(nt, kZeroKey, key.get());
  EXPECT_TRUE(sub);
  NtHandle cut;
  EXPECT_EQ(nt.NtOpenKey(cut.put(), KEY_READ, ObjectAttributes{u"k", OBJ_CASE_INSENSITIVE, key.get()}),
            STATUS_OBJECT_NAME_NOT_FOUND);

  std::vector<std::byte> full(256);
  DWORD length = 0;
  ASSERT_EQ(nt.NtQueryValueKey(key.get(), kZeroValue, rec::KeyValueFullInformation, full, length),
            STATUS_SUCCESS);
  EXPECT_EQ(Field<std::uint32_t>(full, offsetof(rec::KEY_VALUE_FULL_INFORMATION, Type)), REG_DWORD);
  EXPECT_EQ(Field<std::uint32_t>(full, offsetof(rec::KEY_VALUE_FULL_INFORMATION, DataLength)), 4u);
  const auto dataAt = Field<std::uint32_t>(full, offsetof(rec::KEY_VALUE_FULL_INFORMATION, DataOffset));
  EXPECT_EQ(Field<std::uint32_t>(full, dataAt), 2u) << "the value named a, zero, b";

  EXPECT_EQ(nt.NtDeleteValueKey(key.get(), kZeroValue), STATUS_SUCCESS);
  EXPECT_EQ(nt.NtDeleteValueKey(key.get(), kZeroValue), STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(nt.NtQueryValueKey(key.get(), u"a", rec::KeyValueBasicInformation, full, length), STATUS_SUCCESS)
      << "the plain name is another value";
}

// The rules for a record that does not fit: too small for the fixed part, room for the fixed
// part only, exactly enough; the needed size is reported each time. Past the end: no more entries.
TEST_P(NativeRegistry, ShortBuffersGetTheFixedPartAndTheSizeNeeded) {
  const TestKey k = B().MakeKey(KeySpec{{u"subkey"}, {{u"value", REG_DWORD, Dword(7)}}});
  auto& nt = P().ntdll;
  const auto key = OpenNative(nt, k.nativePath);
  struct Kind {
    const char* label;
    std::size_t head;
    std::function<NTSTATUS(DWORD, std::span<std::byte>, DWORD&)> call;
    std::u16string (*name)(std::span<const std::byte>);
  };
  const Kind kinds[] = {
      {"key", offsetof(rec::KEY_BASIC_INFORMATION, Name),
       [&](DWORD i, std::span<std::byte> b, DWORD& n) {
         return nt.NtEnumerateKey(key.get(), i, rec::KeyBasicInformation, b, n);
       },
       KeyName},
      {"value", offsetof(rec::KEY_VALUE_BASIC_INFORMATION, Name),
       [&](DWORD i, std::span<std::byte> b, DWORD& n) {
         return nt.NtEnumerateValueKey(key.get(), i, rec::KeyValueBasicInformation, b, n);
       },
       ValueName},
  };
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.label);
    const std::u16string name = kind.label == std::string("key") ? u"subkey" : u"value";
    const DWORD needed = static_cast<DWORD>(kind.head + name.size() * 2);
    struct Case {
      std::size_t bytes;
      NTSTATUS want;
    };
    const NTSTATUS belowFixedPart =
        kind.label == std::string("key") ? STATUS_BUFFER_TOO_SMALL : Expected().valueBelowFixedPart;
    for (const Case c : {Case{4, belowFixedPart}, Case{kind.head, STATUS_BUFFER_OVERFLOW},
                         Case{kind.head + 2, STATUS_BUFFER_OVERFLOW}, Case{needed, STATUS_SUCCESS}}) {
      SCOPED_TRACE(c.bytes);
      std::vector<std::byte> buffer(c.bytes);
      DWORD length = 0;
      EXPECT_EQ(kind.call(0, buffer, length), c.want);
      EXPECT_EQ(length, needed);
      if (c.bytes < kind.head) continue;
      const std::size_t copied = std::min(c.bytes - kind.head, name.size() * 2);
      EXPECT_EQ(Field<std::uint32_t>(buffer, kind.head - 4),
                Expected().cutRecordHoldsFullNameLength ? name.size() * 2 : copied)
          << "the name length";
      if (c.want == STATUS_SUCCESS) {
        EXPECT_EQ(kind.name(buffer), name);
      }
    }
    std::vector<std::byte> buffer(256);
    DWORD length = 0;
    EXPECT_EQ(kind.call(1, buffer, length), STATUS_NO_MORE_ENTRIES);
  }
}

struct Win32Key {
  Advapi32& api;
  HKEY key = 0;
  ~Win32Key() {
    if (key != 0) api.RegCloseKey(key);
  }
};

TEST_P(Win32Registry, EnumerationGivesCountedNamesWithTheirZeroCharacters) {
  const TestKey k = B().MakeKey(ZeroNames());
  Win32Key key{P().advapi32};
  ASSERT_EQ(key.api.RegOpenKeyExW(k.root, k.subKey, 0, KEY_READ, key.key), ERROR_SUCCESS);
  std::vector<std::u16string> values, keys;
  DWORD type = 0;
  std::u16string name;
  for (DWORD i = 0; key.api.RegEnumValueW(key.key, i, name, 256, type) == ERROR_SUCCESS; ++i)
    values.push_back(name);
  for (DWORD i = 0; key.api.RegEnumKeyExW(key.key, i, name, 256) == ERROR_SUCCESS; ++i) keys.push_back(name);
  std::sort(values.begin(), values.end());
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(values, (std::vector<std::u16string>{u"a", kZeroValue}));
  EXPECT_EQ(keys, (std::vector<std::u16string>{kZeroKey, u"plain"}));

  // A path is read up to its first zero character: "k\0x" opens as "k", which does not exist.
  Win32Key sub{key.api};
  EXPECT_EQ(key.api.RegOpenKeyExW(key.key, kZeroKey, 0, KEY_READ, sub.key), ERROR_FILE_NOT_FOUND);
}

// A name needs its length plus the terminator: one character less answers ERROR_MORE_DATA.
TEST_P(Win32Registry, NamesLongerThanTheBufferAnswerMoreData) {
  const TestKey k = B().MakeKey(KeySpec{{u"plain"}, {{u"value", REG_DWORD, Dword(7)}}});
  Win32Key key{P().advapi32};
  ASSERT_EQ(key.api.RegOpenKeyExW(k.root, k.subKey, 0, KEY_READ, key.key), ERROR_SUCCESS);
  struct Case {
    const char* label;
    std::function<DWORD(DWORD index, std::u16string&, DWORD capacity)> call;
    std::u16string name;
  };
  DWORD type = 0;
  const Case cases[] = {
      {"RegEnumKeyExW",
       [&](DWORD i, std::u16string& n, DWORD c) { return key.api.RegEnumKeyExW(key.key, i, n, c); },
       u"plain"},
      {"RegEnumValueW",
       [&](DWORD i, std::u16string& n, DWORD c) { return key.api.RegEnumValueW(key.key, i, n, c, type); },
       u"value"},
      {"RegEnumKeyExA",
       [&](DWORD i, std::u16string& n, DWORD c) {
         std::string narrow;
         const DWORD rc = key.api.RegEnumKeyExA(key.key, i, narrow, c);
         n.assign(narrow.begin(), narrow.end());
         return rc;
       },
       u"plain"},
      {"RegEnumValueA",
       [&](DWORD i, std::u16string& n, DWORD c) {
         std::string narrow;
         const DWORD rc = key.api.RegEnumValueA(key.key, i, narrow, c, type);
         n.assign(narrow.begin(), narrow.end());
         return rc;
       },
       u"value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const DWORD length = static_cast<DWORD>(c.name.size());
    std::u16string name;
    EXPECT_EQ(c.call(0, name, 1), ERROR_MORE_DATA);
    EXPECT_EQ(c.call(0, name, length), ERROR_MORE_DATA);
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(c.call(0, name, length + 1), ERROR_SUCCESS);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(c.call(1, name, 256), ERROR_NO_MORE_ITEMS);
  }
}

// An index names the same entry whatever was asked before: forwards, backwards, twice in a
// row (as after ERROR_MORE_DATA), or from another handle of the same key.
TEST_P(Win32Registry, AnIndexNamesTheSameEntryInAnyOrderOfAsking) {
  const TestKey k = B().MakeKey(KeySpec{{u"k1", u"k2", u"k3", u"k4", u"k5"},
                                        {{u"v1", REG_DWORD, Dword(1)},
                                         {u"v2", REG_DWORD, Dword(2)},
                                         {u"v3", REG_DWORD, Dword(3)},
                                         {u"v4", REG_DWORD, Dword(4)}}});
  Win32Key key{P().advapi32}, other{P().advapi32};
  ASSERT_EQ(key.api.RegOpenKeyExW(k.root, k.subKey, 0, KEY_READ, key.key), ERROR_SUCCESS);
  ASSERT_EQ(key.api.RegOpenKeyExW(k.root, k.subKey, 0, KEY_READ, other.key), ERROR_SUCCESS);
  DWORD type = 0;
  auto keyAt = [&](HKEY h, DWORD i) {
    std::u16string name;
    return key.api.RegEnumKeyExW(h, i, name, 256) == ERROR_SUCCESS ? name : u"(none)";
  };
  auto valueAt = [&](HKEY h, DWORD i) {
    std::u16string name;
    return key.api.RegEnumValueW(h, i, name, 256, type) == ERROR_SUCCESS ? name : u"(none)";
  };
  std::vector<std::u16string> keys, values;
  for (DWORD i = 0; i < 5; ++i) keys.push_back(keyAt(key.key, i));
  for (DWORD i = 0; i < 4; ++i) values.push_back(valueAt(key.key, i));
  EXPECT_EQ(keyAt(key.key, 5), u"(none)");
  EXPECT_EQ(valueAt(key.key, 4), u"(none)");
  for (const DWORD i : {3u, 1u, 1u, 4u, 0u, 2u, 2u}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(keyAt(key.key, i), keys[i]);
    EXPECT_EQ(keyAt(other.key, 4 - i), keys[4 - i]);
    EXPECT_EQ(valueAt(key.key, i % 4), values[i % 4]);
    EXPECT_EQ(valueAt(other.key, 3 - i % 4), values[3 - i % 4]);
  }
}

// The UTF-16 open reaches a key whatever its name holds: the walk opens keys so, as an 8-bit
// path cannot carry characters outside the code page.
TEST_P(Win32Registry, TheWideOpenTakesNamesOutsideTheCodePage) {
  const std::u16string name = u"\u041A\u043B\u044E\u0447 \u03A9";
  const TestKey k = B().MakeKey(KeySpec{{name}, {}});
  Win32Key key{P().advapi32};
  ASSERT_EQ(key.api.RegOpenKeyExW(k.root, k.subKey + u"\\" + name, 0, KEY_READ, key.key), ERROR_SUCCESS);
  RegKeyInfo info;
  EXPECT_EQ(key.api.RegQueryInfoKeyW(key.key, info), ERROR_SUCCESS);
  EXPECT_EQ(info.subKeys, 0u);
}

TEST_P(Win32Registry, ValueDataAndKeyFactsReportTheSizesNeeded) {
  const std::u16string text = u"C:\\WINDOWS";
  std::vector<std::byte> textData((text.size() + 1) * 2);
  std::memcpy(textData.data(), text.c_str(), textData.size());
  const TestKey k = B().MakeKey(
      KeySpec{{u"one", u"longer"}, {{u"s", REG_SZ, textData}, {u"longest name", REG_DWORD, Dword(7)}}});
  Win32Key key{P().advapi32};
  ASSERT_EQ(key.api.RegOpenKeyExW(k.root, k.subKey, 0, KEY_READ, key.key), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(key.api.RegQueryValueExW(key.key, u"s", type, {}, size), ERROR_SUCCESS) << "size only";
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, textData.size());
  std::vector<std::byte> small(4);
  size = static_cast<DWORD>(small.size());
  EXPECT_EQ(key.api.RegQueryValueExW(key.key, u"s", type, small, size), ERROR_MORE_DATA);
  EXPECT_EQ(size, textData.size());
  std::vector<std::byte> whole(textData.size());
  size = static_cast<DWORD>(whole.size());
  EXPECT_EQ(key.api.RegQueryValueExW(key.key, u"s", type, whole, size), ERROR_SUCCESS);
  EXPECT_EQ(whole, textData);
  EXPECT_EQ(key.api.RegQueryValueExW(key.key, u"missing", type, whole, size), ERROR_FILE_NOT_FOUND);

  RegKeyInfo info;
  ASSERT_EQ(key.api.RegQueryInfoKeyW(key.key, info), ERROR_SUCCESS);
  EXPECT_EQ(info.subKeys, 2u);
  EXPECT_EQ(info.values, 2u);
  EXPECT_EQ(info.maxSubKeyLen, 6u);
  EXPECT_EQ(info.maxValueNameLen, 12u);
  EXPECT_EQ(info.maxValueLen, textData.size());
}

}  // namespace
}  // namespace conformance
