// Registry properties: the location split, the key's contents and access list, native deletion.
#include "app/registry_properties.h"

#include <cstdio>
#include <exception>
#include <utility>

#include "base/security_text.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "registry/key_security.h"
#include "registry/nt_registry.h"
#include "registry/win32_registry.h"

namespace app {
namespace {

constexpr int kAccountImage = 3, kGroupImage = 0, kLeafImage = 4;

bool HasZero(std::u16string_view s) { return s.find(u'\0') != std::u16string_view::npos; }

// What a failed native status means to the user.
std::string StatusText(platform::NTSTATUS status) {
  switch (status) {
    case platform::STATUS_OBJECT_NAME_NOT_FOUND:
    case platform::STATUS_OBJECT_PATH_NOT_FOUND:
    case platform::STATUS_KEY_DELETED:
      return "the key does not exist";
    case platform::STATUS_ACCESS_DENIED:
      return "access is denied";
    case platform::STATUS_CANNOT_DELETE:
      return "the native layer cannot delete it";
    default: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(status));
      return std::string("the native layer answers status ") + hex;
    }
  }
}

// The key path as the native layer takes it: without the closing "\" the location keeps.
std::u16string WithoutClosingBackslash(std::u16string path) {
  if (!path.empty() && path.back() == u'\\') path.pop_back();
  return path;
}

// Why `path` below `root` cannot be opened natively, asked once more for the status.
std::string OpenFailure(platform::HKEY root, const std::u16string& path) {
  const std::u16string full = *registry::TNtRegistry::NativeRootPath(root) + path;
  platform::ObjectAttributes attributes;
  attributes.name = full;  // a view: `full` must outlive the call
  platform::NtHandle key;
  return StatusText(platform::Current().ntdll.NtOpenKey(key.put(), platform::KEY_READ, attributes));
}

// Refusals shared by every native open of a location's key; empty when it may be opened.
std::string CannotOpen(const TRegistryLocation& l, const std::u16string& path) {
  if (!l.Parsed) return "not a registry location (no \\ after the root key)";
  if (!registry::TNtRegistry::NativeRootPath(l.RootKey))
    return "the native view reaches HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_USER only";
  // The native layer would see the path cut at the zero character: another key than the one named.
  if (HasZero(path)) return "a key path holding a zero character is not opened";
  return {};
}

// Builds the nested tree from the nodes FillSecurityTree adds one at a time.
struct FlatNode {
  int parent;
  std::string text;
  int image;
};
std::vector<TSecurityNode> Nest(const std::vector<FlatNode>& flat, int parent) {
  std::vector<TSecurityNode> out;
  for (std::size_t i = 0; i < flat.size(); ++i)
    if (flat[i].parent == parent)
      out.push_back({flat[i].text, flat[i].image, Nest(flat, static_cast<int>(i))});
  return out;
}

// The access list of `path` through the read-only Win32 open of its 8-bit form.
void LoadSecurity(TRegistryProperties& p, const std::u16string& path) {
  auto& k32 = platform::Current().kernel32;
  const std::string path8 = k32.WideCharToMultiByte(platform::CP_ACP, path);
  // A name the code page cannot spell would reach the system as another key's name.
  if (HasZero(path) || k32.MultiByteToWideChar(platform::CP_ACP, path8) != path) {
    p.SecurityError = "the key's path cannot be written in the system code page";
    return;
  }
  std::vector<FlatNode> flat;
  try {
    const std::string sddl =
        registry::jtGetRegistrySecurityString(p.Location.RootKey, path8, base::kOwnerGroupDacl, 0);
    base::FillSecurityTree(
        sddl,
        [&](int parent, const std::string& text, int image) {
          flat.push_back({parent, text, image});
          return static_cast<int>(flat.size() - 1);
        },
        "", kAccountImage, kGroupImage, kLeafImage);
  } catch (const std::exception& e) {
    p.SecurityError = e.what();
  }
  p.Security = Nest(flat, -1);
}

}  // namespace

TRegistryLocation ParseRegistryLocation(std::u16string_view location) {
  TRegistryLocation l;
  const std::size_t first = location.find(u'\\');
  if (first == std::u16string_view::npos) return l;
  const std::size_t last = location.rfind(u'\\');
  l.Parsed = true;
  l.RootKeyName =
      platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, location.substr(0, first));
  l.RootKey = registry::RootKeyFromName(location.substr(0, first));
  l.ItemName = location.substr(last + 1);
  l.KeyPath = location.substr(first, last - first + 1);
  return l;
}

TRegistryProperties LoadRegistryKeyProperties(std::u16string_view location) {
  TRegistryProperties p;
  p.Location = ParseRegistryLocation(location);
  if (!p.Location.Parsed) return p;
  const std::u16string path = p.Location.KeyPath + p.Location.ItemName;
  LoadSecurity(p, path);
  if (!CannotOpen(p.Location, path).empty()) return p;
  registry::TNtRegistry reg;
  reg.RootKey = p.Location.RootKey;
  if (!reg.OpenKey(path)) return p;
  p.ContentsOpened = true;
  std::vector<std::u16string> names;
  reg.GetKeyNames(names);
  for (auto& n : names) p.Contents.push_back({true, std::move(n)});
  reg.GetValueNames(names);
  for (auto& n : names) p.Contents.push_back({false, std::move(n)});
  return p;
}

TRegistryProperties LoadRegistryValueProperties(std::u16string_view location) {
  TRegistryProperties p;
  p.IsValue = true;
  p.Location = ParseRegistryLocation(location);
  if (!p.Location.Parsed) return p;
  LoadSecurity(p, WithoutClosingBackslash(p.Location.KeyPath));
  p.Contents.push_back({false, p.Location.ItemName});
  return p;
}

TRegistryDeletion DeleteRegistryKey(const TRegistryLocation& l) {
  const std::u16string path = l.KeyPath + l.ItemName;
  if (std::string why = CannotOpen(l, path); !why.empty()) return {false, why};
  // "HKLM\SOFTWARE\Test\" names no key of its own; deleting "" below the path would remove
  // the parent instead.
  if (l.ItemName.empty()) return {false, "the location names no key (it ends with \\)"};
  // Opened, never created: a missing key is reported, not made and deleted again.
  registry::TNtRegistry reg;
  reg.RootKey = l.RootKey;
  if (!reg.OpenKey(path)) return {false, OpenFailure(l.RootKey, path)};
  std::vector<std::u16string> subkeys;
  reg.GetKeyNames(subkeys);
  if (!subkeys.empty())
    return {false, "it holds " + std::to_string(subkeys.size()) +
                       (subkeys.size() == 1 ? " subkey" : " subkeys") +
                       "; only a key without subkeys is deleted"};
  const platform::NTSTATUS status = platform::Current().ntdll.NtDeleteKey(reg.KeyHandle());
  if (status != platform::STATUS_SUCCESS) return {false, StatusText(status)};
  return {true, {}};
}

TRegistryDeletion DeleteRegistryValue(const TRegistryLocation& l) {
  const std::u16string keyPath = WithoutClosingBackslash(l.KeyPath);
  if (std::string why = CannotOpen(l, keyPath); !why.empty()) return {false, why};
  registry::TNtRegistry reg;
  reg.RootKey = l.RootKey;
  if (!reg.OpenKey(keyPath)) return {false, OpenFailure(l.RootKey, keyPath)};
  if (!reg.QueryValue(l.ItemName)) return {false, "no such value in the native view"};
  // Counted name: the value "a", zero, "b" is not the value "a".
  const platform::NTSTATUS status = platform::Current().ntdll.NtDeleteValueKey(reg.KeyHandle(), l.ItemName);
  if (status != platform::STATUS_SUCCESS) return {false, StatusText(status)};
  return {true, {}};
}

}  // namespace app
