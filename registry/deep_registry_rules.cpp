// The access rule, its exempt keys and the verbose text of the registry walk.
#include "registry/deep_registry_rules.h"

#include <array>

#include "base/match_rules.h"

namespace registry {
namespace {

constexpr std::array<std::string_view, 5> kExactExempt = {
    "\\SYSTEM\\CurrentControlSet\\Services\\DcomLaunch",
    "\\SYSTEM\\CurrentControlSet\\Services\\RpcSs",
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\HotStart",
    "\\SOFTWARE\\Microsoft\\Security Center\\Svc",
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Applets\\SysTray\\BattMeter\\Flyout",
};
constexpr std::array<std::string_view, 2> kWildcardExempt = {
    "\\SYSTEM\\ControlSet???\\Services\\DcomLaunch",
    "\\SYSTEM\\ControlSet???\\Services\\RpcSs",
};

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameAsciiIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// "LC" as one of the two-letter rights: starting at an even offset (odd when counted from 1).
bool ListsChildren(std::string_view rights) {
  for (std::size_t at = 0; at + 1 < rights.size(); at += 2)
    if (rights.substr(at, 2) == "LC") return true;
  return false;
}

bool ConcernsAdmin(const base::TAceFields& e, std::string_view userSid) {
  const std::string_view account = e.Account;
  if (account == "DA" || account == "BA" || account == "LA") return true;
  const bool everyoneOrUser = account == "WD" || (!userSid.empty() && account == userSid);
  if (!everyoneOrUser) return false;
  const std::string_view rights = e.Rights;
  return rights == "KA" || rights == "KR" || rights == "GA" || rights == "0x1200a9" || ListsChildren(rights);
}

}  // namespace

bool IsAclExemptKey(platform::HKEY root, std::string_view fullPath) {
  if (root != platform::HKEY_LOCAL_MACHINE) return false;
  for (const auto exact : kExactExempt)
    if (fullPath == exact) return true;
  // The patterns hold no "*": only a path of their length can match them.
  for (const auto pattern : kWildcardExempt)
    if (fullPath.size() == pattern.size() && base::MatchWildcard(fullPath, pattern, true)) return true;
  return false;
}

bool AclLacksAdmin(std::span<const base::TAceFields> entries, std::string_view userSid) {
  if (entries.empty()) return false;
  for (const auto& e : entries)
    if (ConcernsAdmin(e, userSid)) return false;
  return true;
}

bool SddlLacksAdmin(std::string_view sddl, std::string_view userSid) {
  return AclLacksAdmin(base::SplitAccessEntries(sddl), userSid);
}

std::u16string VerboseText(std::u16string_view keyPath, bool values,
                           const std::vector<std::u16string>& native,
                           const std::vector<std::u16string>& win32) {
  const std::u16string crlf = u"\r\n";
  std::u16string text(keyPath);
  text += crlf + crlf + (values ? u"Native value list:" : u"Native key list:") + crlf;
  for (const auto& name : native) text += name + crlf;
  text += crlf + crlf + (values ? u"Win32 value list:" : u"Win32 key list:") + crlf;
  for (const auto& name : win32) text += name + crlf;
  return text;
}

bool HasCommandLineSwitch(const std::vector<std::string>& arguments, std::string_view name) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view a = arguments[i];
    if (!a.empty() && (a[0] == '-' || a[0] == '/') && SameAsciiIgnoringCase(a.substr(1), name)) return true;
  }
  return false;
}

}  // namespace registry
