// Security descriptors as SDDL text: reading them, SIDs and accounts, splitting and naming tokens.
#include "base/security_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "platform/platform.h"

namespace base {
namespace {

using platform::DWORD;

// A message of the form "...(%s)!" with the error's text in place of %s.
std::string WithErrorText(std::string_view before, DWORD error, std::string_view after) {
  return std::string(before) + SystemErrorText(error) + std::string(after);
}

struct Token {
  std::string_view token;
  std::string_view name;
};

constexpr std::array<Token, 8> kAceTypes = {{{"A", "ACCESS_ALLOWED_ACE_TYPE"},
                                             {"D", "ACCESS_DENIED_ACE_TYPE "},
                                             {"OA", "ACCESS_ALLOWED_OBJECT_ACE_TYPE "},
                                             {"OD", "ACCESS_DENIED_OBJECT_ACE_TYPE "},
                                             {"AU", "SYSTEM_AUDIT_ACE_TYPE "},
                                             {"AL", "SYSTEM_ALARM_ACE_TYPE "},
                                             {"OU", "SYSTEM_AUDIT_OBJECT_ACE_TYPE "},
                                             {"OL", "SYSTEM_ALARM_OBJECT_ACE_TYPE "}}};

constexpr std::array<Token, 7> kAceFlags = {{{"CI", "CONTAINER_INHERIT_ACE"},
                                             {"OI", "OBJECT_INHERIT_ACE"},
                                             {"NP", "NO_PROPAGATE_INHERIT_ACE"},
                                             {"IO", "INHERIT_ONLY_ACE"},
                                             {"ID", "INHERITED_ACE"},
                                             {"SA", "SUCCESSFUL_ACCESS_ACE_FLAG"},
                                             {"FA", "FAILED_ACCESS_ACE_FLAG"}}};

constexpr std::array<Token, 25> kRights = {{{"GA", "GENERIC_ALL"},
                                            {"GR", "GENERIC_READ"},
                                            {"GW", "GENERIC_WRITE"},
                                            {"GX", "GENERIC_EXECUTE"},
                                            {"RC", "READ_CONTROL"},
                                            {"SD", "DELETE"},
                                            {"WD", "WRITE_DAC"},
                                            {"WO", "WRITE_OWNER"},
                                            {"RP", "ADS_RIGHT_DS_READ_PROP"},
                                            {"WP", "ADS_RIGHT_DS_WRITE_PROP"},
                                            {"CC", "ADS_RIGHT_DS_CREATE_CHILD"},
                                            {"DC", "ADS_RIGHT_DS_DELETE_CHILD"},
                                            {"LC", "ADS_RIGHT_DS_LIST"},
                                            {"SW", "ADS_RIGHT_DS_SELF"},
                                            {"LO", "ADS_RIGHT_DS_LIST_OBJECT"},
                                            {"DT", "ADS_RIGHT_DS_DELETE_TREE"},
                                            {"CR", "ADS_RIGHT_DS_CONTROL_ACCESS"},
                                            {"FA", "FILE_ALL_ACCESS"},
                                            {"FR", "FILE_GENERIC_READ"},
                                            {"FW", "FILE_GENERIC_WRITE"},
                                            {"FX", "FILE_GENERIC_EXECUTE"},
                                            {"KA", "KEY_ALL_ACCESS"},
                                            {"KR", "KEY_READ"},
                                            {"KW", "KEY_WRITE"},
                                            {"KX", "KEY_EXECUTE"}}};

constexpr std::array<Token, 38> kSidAliases = {{{"AO", "Account operators"},
                                                {"RU", "Alias to allow previous Windows 2000"},
                                                {"AN", "Anonymous logon"},
                                                {"AU", "Authenticated users"},
                                                {"BA", "Built-in administrators"},
                                                {"BG", "Built-in guests"},
                                                {"BO", "Backup operators"},
                                                {"BU", "Built-in users"},
                                                {"CA", "Certificate publishers"},
                                                {"CG", "Creator group"},
                                                {"CO", "Creator owner"},
                                                {"DA", "Domain administrators"},
                                                {"DC", "Domain computers"},
                                                {"DD", "Domain controllers"},
                                                {"DG", "Domain guests"},
                                                {"DU", "Domain users"},
                                                {"EA", "Enterprise administrators"},
                                                {"ED", "Enterprise domain controllers"},
                                                {"WD", "Everyone"},
                                                {"PA", "Group Policy administrators"},
                                                {"IU", "Interactively logged-on user"},
                                                {"LA", "Local administrator"},
                                                {"LG", "Local guest"},
                                                {"LS", "Local service account"},
                                                {"SY", "Local system"},
                                                {"NU", "Network logon user"},
                                                {"NO", "Network configuration operators"},
                                                {"NS", "Network service account"},
                                                {"PO", "Printer operators"},
                                                {"PS", "Principal self"},
                                                {"PU", "Power users"},
                                                {"RS", "RAS servers group"},
                                                {"RD", "Terminal server users"},
                                                {"RE", "Replicator"},
                                                {"RC", "Restricted code"},
                                                {"SA", "Schema administrators"},
                                                {"SO", "Server operators"},
                                                {"SU", "Service logon user"}}};

// The table's name for a token (compared case-sensitively), or "?Unknown:<token>?".
template <std::size_t N>
std::string NameOf(const std::array<Token, N>& table, std::string_view token) {
  for (const auto& t : table)
    if (t.token == token) return std::string(t.name);
  return "?Unknown:" + std::string(token) + "?";
}

// A field read two characters at a time (a single last character is ignored), the names
// joined with ",".
template <std::size_t N>
std::string PairNames(const std::array<Token, N>& table, std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i + 1 < field.size(); i += 2) {
    if (!out.empty()) out += ',';
    out += NameOf(table, field.substr(i, 2));
  }
  return out;
}

// The standard rights of a mask given as "0x" and hex digits, each name followed by ",". The
// digits are read up to the first character that is none; more than eight keep the last eight.
std::string HexRightNames(std::string_view digits) {
  std::uint32_t value = 0;
  for (char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) break;
    value = (value << 4) | static_cast<std::uint32_t>(d);
  }
  static constexpr std::pair<std::uint32_t, std::string_view> kMasks[] = {
      {0x04000000, "SYSTEM_ACCESS"}, {0x08000000, "DELETE"},       {0x10000000, "READ_CONTROL"},
      {0x20000000, "CHANGE_ACCESS"}, {0x40000000, "CHANGE_OWNER"}, {0x80000000, "SYNCHRONIZE"},
      {0xF8000000, "STD_RIGHTS_ALL"}};
  std::string out;
  for (const auto& [mask, name] : kMasks) {
    if ((value & mask) != mask) continue;
    out += std::string(name) + ",";
    value &= ~mask;
  }
  return out;
}

// The items of a comma list, empty ones left out.
std::vector<std::string> CommaItems(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const auto comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!item.empty()) items.push_back(std::move(item));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

}  // namespace

std::string SystemErrorText(DWORD error) {
  std::string text = platform::Current().kernel32.FormatMessageA(error);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text.empty() ? "error " + std::to_string(error) : text;
}

std::string jtGetFileSecurityString(std::string_view path, DWORD information) {
  auto& api = platform::Current();
  constexpr std::string_view kRead = "jtGetFileSecurityString.GetFileSecurity failed (";
  // Asks for the size, then reads. A descriptor that grew in between is asked for again.
  std::vector<std::byte> descriptor;
  DWORD needed = 0;
  for (int attempt = 0;; ++attempt) {
    if (api.advapi32.GetFileSecurityA(path, information, descriptor, needed)) break;
    const DWORD error = api.kernel32.GetLastError();
    if (error != platform::ERROR_INSUFFICIENT_BUFFER || attempt == 3)
      throw ESecurityError(WithErrorText(kRead, error, ")!"));
    descriptor.assign(needed, std::byte{0});
  }
  descriptor.resize(std::min<std::size_t>(descriptor.size(), needed));
  std::string text;
  if (!api.advapi32.ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor, platform::SDDL_REVISION_1, information, text))
    throw ESecurityError(
        WithErrorText("jtGetFileSecurityString.ConvertSecurityDescriptorToStringSecurityDescriptor failed (",
                      api.kernel32.GetLastError(), ")!"));
  return text;
}

std::string jtConvertSecurityDescriptor(const std::vector<std::byte>& descriptor, DWORD information) {
  auto& api = platform::Current();
  std::string text;
  if (!api.advapi32.ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor, platform::SDDL_REVISION_1, information, text))
    throw ESecurityError(WithErrorText(
        "jtConvertSecurityDescriptor.ConvertSecurityDescriptorToStringSecurityDescriptor failed (",
        api.kernel32.GetLastError(), ")!"));
  return text;
}

std::string jtConvertSidToStringSid(const std::vector<std::byte>& sid) {
  auto& api = platform::Current();
  std::string text;
  if (!api.advapi32.ConvertSidToStringSidA(sid, text))
    throw ESecurityError(WithErrorText("jtConvertSidToStringSid.ConvertSidToStringSid failed (",
                                       api.kernel32.GetLastError(), ")!"));
  return text;
}

std::vector<std::byte> jtLookupAccountName(std::string_view account, std::string_view systemName) {
  auto& api = platform::Current();
  constexpr std::string_view kFailed = "jtLookupAccountName.LookupAccountName failed (";
  std::vector<std::byte> sid;
  std::string domain;
  DWORD sidSize = 0, domainSize = 0, use = 0;
  // The sizes first; a look-up that fails for another reason ends here.
  if (!api.advapi32.LookupAccountNameA(systemName, account, sid, sidSize, domain, domainSize, use)) {
    const DWORD error = api.kernel32.GetLastError();
    if (error != platform::ERROR_INSUFFICIENT_BUFFER)
      throw ESecurityError(WithErrorText(kFailed, error, ")!"));
  }
  sid.assign(sidSize, std::byte{0});
  if (!api.advapi32.LookupAccountNameA(systemName, account, sid, sidSize, domain, domainSize, use))
    throw ESecurityError(WithErrorText(kFailed, api.kernel32.GetLastError(), ")!"));
  sid.resize(std::min<std::size_t>(sid.size(), sidSize));
  return sid;
}

std::string CurrentUserSidString() {
  try {
    const std::string user = platform::Current().advapi32.GetUserNameA();
    if (user.empty()) return {};
    return jtConvertSidToStringSid(jtLookupAccountName(user, ""));
  } catch (const ESecurityError&) {
    return {};
  }
}

TSecurityDescriptorParts SplitSecurityDescriptorString(std::string_view sddl) {
  TSecurityDescriptorParts parts;
  const auto open = sddl.find('(');
  const std::string_view head = sddl.substr(0, open);
  if (const auto colon = head.find(':'); colon != std::string_view::npos) {
    parts.PartLetter = std::string(head.substr(0, colon));
    parts.PartFlags = std::string(head.substr(colon + 1));
  }
  if (open == std::string_view::npos) return parts;
  // Cut after each ")"; text after the last one is kept as a last (malformed) entry.
  std::string_view rest = sddl.substr(open);
  while (!rest.empty()) {
    const auto close = rest.find(')');
    const std::size_t n = close == std::string_view::npos ? rest.size() : close + 1;
    parts.Entries.emplace_back(rest.substr(0, n));
    rest.remove_prefix(n);
  }
  return parts;
}

TAceFields SplitAceString(std::string_view entry) {
  TAceFields f;
  if (entry.size() <= 2 || entry.front() != '(' || entry.back() != ')') return f;
  std::string_view inner = entry.substr(1, entry.size() - 2);
  std::string* fields[] = {&f.Type, &f.Flags, &f.Rights, &f.ObjectGuid, &f.InheritGuid, &f.Account};
  for (std::string* field : fields) {
    const auto semi = inner.find(';');
    *field = std::string(inner.substr(0, semi));
    if (semi == std::string_view::npos) break;
    inner.remove_prefix(semi + 1);
  }
  return f;
}

std::vector<TAceFields> SplitAccessEntries(std::string_view sddl) {
  const std::vector<std::string> texts = SplitSecurityDescriptorString(sddl).Entries;
  std::vector<TAceFields> entries;
  entries.reserve(texts.size());
  for (const auto& text : texts) entries.push_back(SplitAceString(text));
  return entries;
}

std::string AceTypeName(std::string_view token) { return NameOf(kAceTypes, token); }
std::string AceFlagNames(std::string_view flags) { return PairNames(kAceFlags, flags); }
std::string AceRightNames(std::string_view rights) {
  if (rights.starts_with("0x")) return HexRightNames(rights.substr(2));
  return PairNames(kRights, rights);
}

std::string SidAliasName(std::string_view account) {
  if (account.size() != 2) return std::string(account);
  for (const auto& t : kSidAliases)
    if (t.token == account) return std::string(t.name);
  return "Unknown(?): " + std::string(account);
}

std::string AccountDisplayName(std::string_view sidText, std::string_view computerName) {
  // An entry without an account names none; some systems would read "" as the null SID.
  if (sidText.empty()) return {};
  auto& api = platform::Current().advapi32;
  try {
    std::vector<std::byte> sid;
    if (!api.ConvertStringSidToSidA(sidText, sid)) return SidAliasName(sidText);
    std::string name, domain;
    DWORD nameSize = 0, domainSize = 0, use = 0;
    std::string_view system;
    api.LookupAccountSidA(system, sid, name, nameSize, domain, domainSize, use);
    if (nameSize == 0) {
      // Not known here: the account may be one of the given computer's.
      system = computerName;
      domainSize = 0;
      api.LookupAccountSidA(system, sid, name, nameSize, domain, domainSize, use);
    }
    ++nameSize;
    ++domainSize;
    if (!api.LookupAccountSidA(system, sid, name, nameSize, domain, domainSize, use))
      return SidAliasName(sidText);
    if (!name.empty() && !domain.empty()) return name + " (" + domain + ")";
    if (!name.empty()) return name;
  } catch (const std::exception&) {
  }
  return SidAliasName(sidText);
}

void FillSecurityTree(std::string_view sddl, const TAddSecurityNode& addNode, std::string_view computerName,
                      int accountImage, int groupImage, int leafImage) {
  for (const TAceFields& f : SplitAccessEntries(sddl)) {
    const int account = addNode(-1, AccountDisplayName(f.Account, computerName), accountImage);
    if (!f.Type.empty()) addNode(addNode(account, "ACE Type", groupImage), AceTypeName(f.Type), leafImage);
    if (!f.Flags.empty()) {
      const int group = addNode(account, "ACE Flags", groupImage);
      for (const auto& name : CommaItems(AceFlagNames(f.Flags))) addNode(group, name, leafImage);
    }
    const int rights = addNode(account, "Rights", groupImage);
    for (const auto& name : CommaItems(AceRightNames(f.Rights))) addNode(rights, name, leafImage);
    if (!f.ObjectGuid.empty()) addNode(addNode(account, "Object GUID", groupImage), f.ObjectGuid, leafImage);
    if (!f.InheritGuid.empty())
      addNode(addNode(account, "Inherit GUID", groupImage), f.InheritGuid, leafImage);
  }
}

}  // namespace base
