// The registry commands of the console program: what the native view says of a key or a value.
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/registry_properties.h"
#include "app/text.h"
#include "cli/commands.h"
#include "cli/confirm.h"
#include "cli/host.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/record_io.h"
#include "registry/nt_registry.h"
#include "registry/win32_registry.h"

namespace cli {

namespace {

// Names holding a zero character cannot be typed; "<NUL>" stands for one, as the output writes it.
std::u16string FromArgument(const std::string& arg) {
  auto& k32 = platform::Current().kernel32;
  std::u16string text = k32.MultiByteToWideChar(ArgumentCodePage(), arg);
  for (std::size_t at; (at = text.find(u"<NUL>")) != std::u16string::npos;) text.replace(at, 5, 1, u'\0');
  return text;
}

std::string Shown(std::u16string_view name) { return app::ShowZeros(app::Utf8(name)); }

std::string TypeName(platform::DWORD type) {
  static const char* const kNames[] = {"REG_NONE",
                                       "REG_SZ",
                                       "REG_EXPAND_SZ",
                                       "REG_BINARY",
                                       "REG_DWORD",
                                       "REG_DWORD_BIG_ENDIAN",
                                       "REG_LINK",
                                       "REG_MULTI_SZ",
                                       "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR",
                                       "REG_RESOURCE_REQUIREMENTS_LIST",
                                       "REG_QWORD"};
  return type < std::size(kNames) ? kNames[type] : "type " + std::to_string(type);
}

std::string Hex(const std::vector<std::byte>& data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i != 0) out += ',';
    const auto b = std::to_integer<unsigned>(data[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// The data as a reader expects it: text for the string types, a number for 32- and 64-bit
// values of the right size, strings for a multi-string, hex bytes otherwise.
nlohmann::json DataOf(const registry::TRawValue& v) {
  switch (v.Type) {
    case platform::REG_SZ:
    case platform::REG_EXPAND_SZ: {
      std::u16string text = registry::TextOfData(v.Data);
      if (!text.empty() && text.back() == u'\0') text.pop_back();
      return app::Utf8(text);
    }
    case platform::REG_MULTI_SZ: {
      std::u16string text = registry::TextOfData(v.Data);
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      nlohmann::json list = nlohmann::json::array();
      std::size_t start = 0;
      while (start <= text.size() && !text.empty()) {
        const std::size_t end = std::min(text.find(u'\0', start), text.size());
        list.push_back(app::Utf8(text.substr(start, end - start)));
        start = end + 1;
      }
      return list;
    }
    case platform::REG_DWORD:
      if (v.Data.size() == sizeof(std::uint32_t))
        return *platform::records::RecordReader(v.Data).Get<std::uint32_t>(0);
      break;
    case platform::REG_QWORD:
      if (v.Data.size() == sizeof(std::uint64_t))
        return *platform::records::RecordReader(v.Data).Get<std::uint64_t>(0);
      break;
    default:
      break;
  }
  return Hex(v.Data);
}

nlohmann::json ValueJson(std::u16string_view name, const registry::TRawValue& v) {
  return {
      {"name", app::Utf8(name)}, {"type", TypeName(v.Type)}, {"size", v.Data.size()}, {"data", DataOf(v)}};
}

std::string DataText(const nlohmann::json& data) {
  if (data.is_string()) return app::ShowZeros(data.get<std::string>());
  if (data.is_array()) {
    std::string out;
    for (const auto& s : data) out += (out.empty() ? "" : " | ") + app::ShowZeros(s.get<std::string>());
    return out;
  }
  return data.dump();
}

void PrintJson(const nlohmann::json& j) {
  std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

// The access list as nested nodes; texts arrive in the system code page.
nlohmann::json SecurityJson(const std::vector<app::TSecurityNode>& nodes) {
  nlohmann::json out = nlohmann::json::array();
  for (const auto& n : nodes)
    out.push_back({{"text", app::Utf8FromCodePage(n.Text)}, {"children", SecurityJson(n.Children)}});
  return out;
}

void AddSecurity(nlohmann::json& j, const app::TRegistryProperties& p) {
  j["security"] = SecurityJson(p.Security);
  if (!p.SecurityError.empty()) j["securityError"] = app::Utf8FromCodePage(p.SecurityError);
}

void PrintSecurityNodes(const nlohmann::json& nodes, int depth) {
  for (const auto& n : nodes) {
    std::cout << std::string(2 * depth, ' ') << n["text"].get<std::string>() << "\n";
    PrintSecurityNodes(n["children"], depth + 1);
  }
}

void PrintSecurity(const nlohmann::json& j, const std::string& whose) {
  std::cout << "security of " << whose << ":\n";
  PrintSecurityNodes(j["security"], 1);
  if (j.contains("securityError"))
    std::cout << "  (" << (j["security"].empty() ? "not read" : "read in part") << ": "
              << j["securityError"].get<std::string>() << ")\n";
}

// The location text of a key or value argument with its long root name: "HKLM\X" ->
// "HKEY_LOCAL_MACHINE\X". Nothing when the argument names no root key.
std::optional<std::u16string> LocationOf(const std::string& target) {
  platform::HKEY root = 0;
  std::u16string keyPath;
  if (!registry::SplitKeyText(FromArgument(target), root, keyPath)) return std::nullopt;
  const std::string name = registry::RootKeyName(root);
  return std::u16string(name.begin(), name.end()) + keyPath;
}

// Why the native view cannot open a key: asked once more, for the status.
std::string OpenFailure(platform::HKEY root, const std::u16string& keyPath) {
  const std::u16string full = *registry::TNtRegistry::NativeRootPath(root) + keyPath;
  platform::ObjectAttributes attributes;
  attributes.name = full;
  platform::NtHandle key;
  const platform::NTSTATUS status =
      platform::Current().ntdll.NtOpenKey(key.put(), platform::KEY_READ, attributes);
  switch (status) {
    case platform::STATUS_OBJECT_NAME_NOT_FOUND:
    case platform::STATUS_OBJECT_PATH_NOT_FOUND:
      return "the key does not exist";
    case platform::STATUS_ACCESS_DENIED:
      return "access is denied";
    default:
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(status));
      return std::string("the native layer answers status ") + hex;
  }
}

// Opens `keyPath` below `root` in the native view, or says why not on stderr.
bool OpenNative(registry::TNtRegistry& reg, platform::HKEY root, const std::u16string& keyPath,
                const std::string& shown) {
  reg.RootKey = root;
  if (!registry::TNtRegistry::NativeRootPath(root)) {
    std::cerr << "umbrascopec: " << shown
              << ": the native view reaches HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_USER only\n";
    return false;
  }
  if (keyPath.find(u'\0') != std::u16string::npos) {
    std::cerr << "umbrascopec: " << shown << ": a key path holding a zero character is not opened\n";
    return false;
  }
  if (!reg.OpenKey(keyPath)) {
    std::cerr << "umbrascopec: cannot open key " << shown << ": " << OpenFailure(root, keyPath) << "\n";
    return false;
  }
  return true;
}

int ShowKey(const std::string& target, const Options& o) {
  platform::HKEY root = 0;
  std::u16string keyPath;
  std::u16string text = FromArgument(target);
  if (text.find(u'\\') == std::u16string::npos) text += u'\\';
  if (!registry::SplitKeyText(text, root, keyPath)) {
    std::cerr << "umbrascopec: " << target
              << ": not a registry key (expected a hive such as HKLM, then \\ and the path)\n";
    return kExitError;
  }
  const std::string shown = registry::RootKeyName(root) + Shown(keyPath);
  registry::TNtRegistry reg;
  if (!OpenNative(reg, root, keyPath, shown)) return kExitError;
  const std::string rootName = registry::RootKeyName(root);
  const app::TRegistryProperties props =
      app::LoadRegistryKeyProperties(std::u16string(rootName.begin(), rootName.end()) + keyPath);
  std::vector<std::u16string> keys, values;
  for (const auto& row : props.Contents) (row.IsKey ? keys : values).push_back(row.Name);
  nlohmann::json j = {{"key", registry::RootKeyName(root) + app::Utf8(keyPath)},
                      {"subkeys", nlohmann::json::array()},
                      {"values", nlohmann::json::array()}};
  for (const auto& k : keys) j["subkeys"].push_back(app::Utf8(k));
  for (const auto& name : values) {
    const auto v = reg.QueryValue(name);
    j["values"].push_back(v ? ValueJson(name, *v)
                            : nlohmann::json{{"name", app::Utf8(name)}, {"error", "unreadable"}});
  }
  AddSecurity(j, props);
  if (o.json) {
    PrintJson(j);
    return kExitClean;
  }
  std::cout << "key: " << shown << "\n"
            << "subkeys: " << keys.size() << "\n";
  for (const auto& k : keys) std::cout << "  " << Shown(k) << "\n";
  std::cout << "values: " << values.size() << "\n";
  for (const auto& v : j["values"]) {
    const std::string name = v["name"].get<std::string>();
    std::cout << "  " << (name.empty() ? "(default)" : app::ShowZeros(name)) << "\t";
    if (v.contains("error"))
      std::cout << "(unreadable)\n";
    else
      std::cout << v["type"].get<std::string>() << "\t" << DataText(v["data"]) << "\n";
  }
  PrintSecurity(j, "the key");
  return kExitClean;
}

int ShowValue(const std::string& target, const Options& o) {
  platform::HKEY root = 0;
  std::u16string keyPath, name;
  if (!registry::SplitValueText(FromArgument(target), root, keyPath, name)) {
    std::cerr << "umbrascopec: " << target
              << ": not a registry value (expected a hive such as HKLM, the key path, then \\ and the value "
                 "name)\n";
    return kExitError;
  }
  const std::string rootName = registry::RootKeyName(root);
  const app::TRegistryProperties props =
      app::LoadRegistryValueProperties(std::u16string(rootName.begin(), rootName.end()) + keyPath + name);
  if (keyPath.size() > 1 && keyPath.back() == u'\\') keyPath.pop_back();
  const std::string keyShown = registry::RootKeyName(root) + Shown(keyPath);
  registry::TNtRegistry reg;
  if (!OpenNative(reg, root, keyPath, keyShown)) return kExitError;
  const auto v = reg.QueryValue(name);
  if (!v) {
    std::cerr << "umbrascopec: " << keyShown << "\\" << Shown(name) << ": no such value in the native view\n";
    return kExitError;
  }
  nlohmann::json j = ValueJson(name, *v);
  j["key"] = registry::RootKeyName(root) + app::Utf8(keyPath);
  AddSecurity(j, props);
  if (o.json) {
    PrintJson(j);
    return kExitClean;
  }
  std::cout << "key: " << keyShown << "\n"
            << "name: " << (name.empty() ? "(default)" : Shown(name)) << "\n"
            << "type: " << j["type"].get<std::string>() << "\n"
            << "size: " << v->Data.size() << "\n"
            << "data: " << DataText(j["data"]) << "\n";
  PrintSecurity(j, "the key holding it");
  return kExitClean;
}

struct DeleteOptions {
  Options common;
  bool yes = false;
  std::string target;
};

// Deletes the one key or value the argument names; exit 2 with the reason when it cannot.
int Delete(const DeleteOptions& d, bool value) {
  const auto location = LocationOf(d.target);
  if (!location) {
    std::cerr << "umbrascopec: " << d.target << ": not a registry " << (value ? "value" : "key")
              << " (expected a hive such as HKLM, the key path, then \\ and the name)\n";
    return kExitError;
  }
  const app::TRegistryLocation l = app::ParseRegistryLocation(*location);
  const std::string kind = value ? "value" : "key";
  std::string shown = l.RootKeyName + Shown(l.KeyPath);
  shown += value && l.ItemName.empty() ? "(default)" : Shown(l.ItemName);
  if (!Confirmed("Delete the " + kind + " " + shown + "?", d.yes)) {
    std::cerr << "umbrascopec: " << shown << ": not deleted (not confirmed)\n";
    return kExitError;
  }
  const app::TRegistryDeletion r = value ? app::DeleteRegistryValue(l) : app::DeleteRegistryKey(l);
  if (!r.Deleted) {
    std::cerr << "umbrascopec: cannot delete " << kind << " " << shown << ": " << r.Message << "\n";
    return kExitError;
  }
  std::cout << "deleted " << kind << " " << shown << "\n";
  NoteSimulatedChange(d.common);
  return kExitClean;
}

}  // namespace

void AddRegistryCommands(CLI::App& /*app*/, CLI::App& show, CLI::App& remove) {
  static Options keyOptions, valueOptions;
  static std::string keyTarget, valueTarget;
  auto* key = show.add_subcommand(
      "key", "print the subkeys and values of a key as the native view lists them, and its access list");
  key->add_option("TARGET", keyTarget,
                  "the key, e.g. HKLM\\SOFTWARE\\Microsoft (<NUL> stands for a zero character)")
      ->required();
  AddCommonOptions(*key, keyOptions);
  SetAction(*key, keyOptions, [](const Options& o) { return ShowKey(keyTarget, o); });

  auto* value = show.add_subcommand(
      "value", "print the type and data of a value as the native view reads it, and its key's access list");
  value
      ->add_option("TARGET", valueTarget,
                   "the key path, then \\ and the value name (<NUL> stands for a zero character)")
      ->required();
  AddCommonOptions(*value, valueOptions);
  SetAction(*value, valueOptions, [](const Options& o) { return ShowValue(valueTarget, o); });

  static DeleteOptions deleteKey, deleteValue;
  for (auto* d : {&deleteKey, &deleteValue}) {
    const bool isValue = d == &deleteValue;
    auto* cmd = remove.add_subcommand(
        isValue ? "value" : "key",
        isValue ? "delete one value through the native layer, its name matched exactly (zero characters too)"
                : "delete one key without subkeys through the native layer");
    cmd->add_option("TARGET", d->target,
                    isValue ? "the key path, then \\ and the value name (<NUL> stands for a zero character)"
                            : "the key, e.g. HKLM\\SOFTWARE\\Example")
        ->required();
    cmd->add_flag("--yes", d->yes, "do not ask first");
    AddCommonOptions(*cmd, d->common, false);
    SetAction(*cmd, d->common, [d, isValue](const Options&) { return Delete(*d, isValue); });
  }
}

}  // namespace cli
