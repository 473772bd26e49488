// The simulated security functions: descriptors of files, SDDL conversion, SIDs and accounts.
#include "platform/sim/sim_security.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"
#include "platform/sim/sim_platform.h"

namespace sim {
namespace {

using platform::DWORD;

// A descriptor made here is a self-relative header (revision 1, control SE_SELF_RELATIVE, no
// owner, group or ACL offsets) followed by a tag and the SDDL text of the parts it holds. Only
// this file's conversion reads past the header; the binary owner, group and ACLs of a real
// descriptor are not simulated, since every caller turns descriptors into SDDL at once.
constexpr std::size_t kHeaderSize = 20;
constexpr char kTag[4] = {'S', 'D', 'D', 'L'};
constexpr std::uint16_t kSelfRelative = 0x8000;
constexpr std::uint16_t kDaclPresent = 0x0004;

// One account the look-ups know.
struct KnownAccount {
  std::string sid;
  std::string name;
  std::string domain;
  DWORD use;
};

// The well-known SIDs every machine has, with the names an English system gives them.
struct WellKnown {
  const char* alias;  // "" when SDDL has no alias for it
  const char* sid;
  const char* name;
  const char* domain;
  DWORD use;
};
constexpr WellKnown kWellKnown[] = {
    {"WD", "S-1-1-0", "Everyone", "", platform::SidTypeWellKnownGroup},
    {"CO", "S-1-3-0", "CREATOR OWNER", "", platform::SidTypeWellKnownGroup},
    {"CG", "S-1-3-1", "CREATOR GROUP", "", platform::SidTypeWellKnownGroup},
    {"NU", "S-1-5-2", "NETWORK", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"IU", "S-1-5-4", "INTERACTIVE", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"SU", "S-1-5-6", "SERVICE", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"AN", "S-1-5-7", "ANONYMOUS LOGON", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"ED", "S-1-5-9", "ENTERPRISE DOMAIN CONTROLLERS", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"PS", "S-1-5-10", "SELF", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"AU", "S-1-5-11", "Authenticated Users", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"RC", "S-1-5-12", "RESTRICTED", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"SY", "S-1-5-18", "SYSTEM", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"LS", "S-1-5-19", "LOCAL SERVICE", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"NS", "S-1-5-20", "NETWORK SERVICE", "NT AUTHORITY", platform::SidTypeWellKnownGroup},
    {"BA", "S-1-5-32-544", "Administrators", "BUILTIN", platform::SidTypeAlias},
    {"BU", "S-1-5-32-545", "Users", "BUILTIN", platform::SidTypeAlias},
    {"BG", "S-1-5-32-546", "Guests", "BUILTIN", platform::SidTypeAlias},
    {"PU", "S-1-5-32-547", "Power Users", "BUILTIN", platform::SidTypeAlias},
    {"AO", "S-1-5-32-548", "Account Operators", "BUILTIN", platform::SidTypeAlias},
    {"SO", "S-1-5-32-549", "Server Operators", "BUILTIN", platform::SidTypeAlias},
    {"PO", "S-1-5-32-550", "Print Operators", "BUILTIN", platform::SidTypeAlias},
    {"BO", "S-1-5-32-551", "Backup Operators", "BUILTIN", platform::SidTypeAlias},
    {"RE", "S-1-5-32-552", "Replicator", "BUILTIN", platform::SidTypeAlias},
    {"RU", "S-1-5-32-554", "Pre-Windows 2000 Compatible Access", "BUILTIN", platform::SidTypeAlias},
    {"RD", "S-1-5-32-555", "Remote Desktop Users", "BUILTIN", platform::SidTypeAlias},
    {"NO", "S-1-5-32-556", "Network Configuration Operators", "BUILTIN", platform::SidTypeAlias},
};

// Aliases relative to the machine's own domain: its SID followed by the relative id.
struct DomainAlias {
  const char* alias;
  int rid;
};
constexpr DomainAlias kDomainAliases[] = {{"LA", 500}, {"LG", 501}, {"DA", 512}, {"DU", 513},
                                          {"DG", 514}, {"DC", 515}, {"DD", 516}, {"CA", 517},
                                          {"SA", 518}, {"EA", 519}, {"PA", 520}};

void SetError(Machine& m, DWORD error) { SimKernel32(m).SetLastError(error); }

// Win32 callers pass zero-terminated texts: whatever follows a zero character is unseen.
std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpcaseChar(static_cast<unsigned char>(x)) == UpcaseChar(static_cast<unsigned char>(y));
         });
}

// "S-1-5-21-1-2-3-1000" -> "S-1-5-21-1-2-3": the machine's domain, from the user's SID.
std::string MachineDomainSid(const Machine& m) {
  const std::string& user = m.system.userSid;
  const auto dash = user.rfind('-');
  return user.compare(0, 9, "S-1-5-21-") == 0 && dash != std::string::npos ? user.substr(0, dash)
                                                                           : std::string();
}

// Every account the machine knows: the image's own first (they may rename a well-known one),
// then the user, then the well-known SIDs.
std::vector<KnownAccount> Accounts(const Machine& m) {
  const std::uint32_t cp = m.system.codePage;
  std::vector<KnownAccount> all;
  for (const auto& a : m.accounts)
    all.push_back({a.sid, ToCodePage(cp, a.name), ToCodePage(cp, a.domain), platform::SidTypeUser});
  all.push_back({m.system.userSid, ToCodePage(cp, m.system.userName), ToCodePage(cp, m.system.computerName),
                 platform::SidTypeUser});
  for (const auto& w : kWellKnown) all.push_back({w.sid, w.name, w.domain, w.use});
  // Accounts the image names in a well-known group's domain are that kind of group.
  for (auto& a : all)
    if (a.use == platform::SidTypeUser && a.domain == "BUILTIN") a.use = platform::SidTypeAlias;
  return all;
}

// Empty, the computer's own name or "\\" and it: the local machine.
bool IsLocal(const Machine& m, std::string_view systemName) {
  systemName = UpToZero(systemName);
  if (systemName.starts_with("\\\\")) systemName.remove_prefix(2);
  return systemName.empty() || SameText(systemName, ToCodePage(m.system.codePage, m.system.computerName));
}

std::optional<std::uint64_t> Number(std::string_view text, std::uint64_t max) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || v > max) return std::nullopt;
  return v;
}

// Copies a name into the caller's buffer of `capacity` characters (terminator included).
bool HandOut(std::string_view text, std::string& out, DWORD& capacity) {
  const auto needed = static_cast<DWORD>(text.size() + 1);
  if (capacity < needed) {
    capacity = needed;
    return false;
  }
  out = std::string(text);
  capacity = needed - 1;
  return true;
}

}  // namespace

std::string SelectSddlParts(std::string_view sddl, DWORD information) {
  // A part starts at its letter, the character before a ':' outside any entry's parentheses.
  struct Part {
    char letter;
    std::string_view text;  // the whole part, "O:BA"
  };
  std::vector<Part> parts;
  std::vector<std::size_t> starts;
  int depth = 0;
  for (std::size_t i = 0; i < sddl.size(); ++i) {
    if (sddl[i] == '(') ++depth;
    if (sddl[i] == ')' && depth > 0) --depth;
    if (depth == 0 && sddl[i] == ':' && i > 0) starts.push_back(i - 1);
  }
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : sddl.size();
    parts.push_back({sddl[starts[k]], sddl.substr(starts[k], end - starts[k])});
  }
  // The image's "" is an empty DACL and nothing else.
  if (sddl.empty()) parts.push_back({'D', "D:"});
  std::string out;
  const std::pair<char, DWORD> order[] = {{'O', platform::OWNER_SECURITY_INFORMATION},
                                          {'G', platform::GROUP_SECURITY_INFORMATION},
                                          {'D', platform::DACL_SECURITY_INFORMATION},
                                          {'S', platform::SACL_SECURITY_INFORMATION}};
  for (const auto& [letter, bit] : order) {
    if ((information & bit) == 0) continue;
    for (const auto& p : parts)
      if (p.letter == letter) {
        out += p.text;
        break;
      }
  }
  return out;
}

std::vector<std::byte> MakeDescriptor(std::string_view sddl, DWORD information) {
  const std::string text = SelectSddlParts(sddl, information);
  std::vector<std::byte> d(kHeaderSize + sizeof kTag + text.size());
  d[0] = std::byte{1};  // revision
  std::uint16_t control = kSelfRelative;
  if (text.find("D:") != std::string::npos) control |= kDaclPresent;
  std::memcpy(d.data() + 2, &control, 2);
  std::memcpy(d.data() + kHeaderSize, kTag, sizeof kTag);
  std::memcpy(d.data() + kHeaderSize + sizeof kTag, text.data(), text.size());
  return d;
}

std::optional<std::string> DescriptorText(std::span<const std::byte> d) {
  if (d.size() < kHeaderSize + sizeof kTag || d[0] != std::byte{1}) return std::nullopt;
  std::uint16_t control = 0;
  std::memcpy(&control, d.data() + 2, 2);
  if ((control & kSelfRelative) == 0 || std::memcmp(d.data() + kHeaderSize, kTag, sizeof kTag) != 0)
    return std::nullopt;
  const auto* text = reinterpret_cast<const char*>(d.data() + kHeaderSize + sizeof kTag);
  return std::string(text, d.size() - kHeaderSize - sizeof kTag);
}

std::optional<std::vector<std::byte>> SidFromText(const Machine& m, std::string_view text) {
  if (text.size() == 2) {
    for (const auto& w : kWellKnown)
      if (text == w.alias) return SidFromText(m, w.sid);
    const std::string domain = MachineDomainSid(m);
    for (const auto& a : kDomainAliases)
      if (text == a.alias && !domain.empty()) return SidFromText(m, domain + "-" + std::to_string(a.rid));
    return std::nullopt;
  }
  if (!text.starts_with("S-") && !text.starts_with("s-")) return std::nullopt;
  std::vector<std::string_view> fields;
  for (std::string_view rest = text.substr(2);;) {
    const auto dash = rest.find('-');
    fields.push_back(rest.substr(0, dash));
    if (dash == std::string_view::npos) break;
    rest.remove_prefix(dash + 1);
  }
  // Revision 1, the authority, and 1 to 15 sub-authorities.
  if (fields.size() < 3 || fields.size() > 17 || fields[0] != "1") return std::nullopt;
  const auto authority = Number(fields[1], 0xFFFFFFFFFFFFull);
  if (!authority) return std::nullopt;
  std::vector<std::byte> sid(8 + 4 * (fields.size() - 2));
  sid[0] = std::byte{1};
  sid[1] = static_cast<std::byte>(fields.size() - 2);
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<std::byte>(*authority >> (8 * (5 - i)));
  for (std::size_t k = 2; k < fields.size(); ++k) {
    const auto sub = Number(fields[k], 0xFFFFFFFFu);
    if (!sub) return std::nullopt;
    const auto v = static_cast<std::uint32_t>(*sub);
    std::memcpy(sid.data() + 8 + 4 * (k - 2), &v, 4);  // little-endian, as the system keeps them
  }
  return sid;
}

std::optional<std::string> SidToText(std::span<const std::byte> sid) {
  if (sid.size() < 8 || sid[0] != std::byte{1}) return std::nullopt;
  const auto count = static_cast<std::size_t>(sid[1]);
  if (count > 15 || sid.size() < 8 + 4 * count) return std::nullopt;
  std::uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | static_cast<std::uint8_t>(sid[2 + i]);
  std::string text = "S-1-";
  if (authority <= 0xFFFFFFFFu) {
    text += std::to_string(authority);
  } else {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(authority));
    text += hex;
  }
  for (std::size_t k = 0; k < count; ++k) {
    std::uint32_t v = 0;
    std::memcpy(&v, sid.data() + 8 + 4 * k, 4);
    text += "-" + std::to_string(v);
  }
  return text;
}

bool SimAdvapi32::GetFileSecurityA(std::string_view fileName, DWORD information,
                                   std::span<std::byte> descriptor, DWORD& needed) {
  std::lock_guard lock(m_.mutex);
  const std::u16string path = FromCodePage(m_.system.codePage, UpToZero(fileName));
  const FileNode* node = m_.FindFile(path);
  if (node == nullptr) {
    // Missing in a folder that exists: the file is not found; otherwise its path is not.
    const auto slash = path.find_last_of(u'\\');
    const FileNode* parent = slash == std::u16string::npos ? nullptr : m_.FindFile(path.substr(0, slash));
    SetError(m_, parent != nullptr && parent->folder ? platform::ERROR_FILE_NOT_FOUND
                                                     : platform::ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (node->fail.security) {
    SetError(m_, platform::ERROR_ACCESS_DENIED);
    return false;
  }
  const auto d = MakeDescriptor(node->sddl, information);
  needed = static_cast<DWORD>(d.size());
  if (descriptor.size() < d.size()) {
    SetError(m_, platform::ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::memcpy(descriptor.data(), d.data(), d.size());
  SetError(m_, platform::ERROR_SUCCESS);
  return true;
}

bool SimAdvapi32::ConvertSecurityDescriptorToStringSecurityDescriptorA(std::span<const std::byte> descriptor,
                                                                       DWORD revision, DWORD information,
                                                                       std::string& text) {
  text.clear();
  if (revision != platform::SDDL_REVISION_1) {
    SetError(m_, platform::ERROR_UNKNOWN_REVISION);
    return false;
  }
  const auto held = DescriptorText(descriptor);
  if (!held) {
    SetError(m_, platform::ERROR_INVALID_SECURITY_DESCR);
    return false;
  }
  text = SelectSddlParts(*held, information);
  SetError(m_, platform::ERROR_SUCCESS);
  return true;
}

bool SimAdvapi32::ConvertStringSidToSidA(std::string_view text, std::vector<std::byte>& sid) {
  std::lock_guard lock(m_.mutex);
  sid.clear();
  auto binary = SidFromText(m_, UpToZero(text));
  if (!binary) {
    SetError(m_, platform::ERROR_INVALID_SID);
    return false;
  }
  sid = std::move(*binary);
  return true;
}

bool SimAdvapi32::ConvertSidToStringSidA(std::span<const std::byte> sid, std::string& text) {
  text.clear();
  auto t = SidToText(sid);
  if (!t) {
    SetError(m_, platform::ERROR_INVALID_SID);
    return false;
  }
  text = std::move(*t);
  return true;
}

bool SimAdvapi32::LookupAccountNameA(std::string_view systemName, std::string_view accountName,
                                     std::span<std::byte> sid, DWORD& sidSize, std::string& domain,
                                     DWORD& domainSize, DWORD& use) {
  std::lock_guard lock(m_.mutex);
  if (!IsLocal(m_, systemName)) {
    SetError(m_, platform::RPC_S_SERVER_UNAVAILABLE);
    return false;
  }
  // "name" or "domain\name".
  accountName = UpToZero(accountName);
  std::string_view wantedDomain;
  const auto slash = accountName.find('\\');
  const bool qualified = slash != std::string_view::npos;
  if (qualified) {
    wantedDomain = accountName.substr(0, slash);
    accountName.remove_prefix(slash + 1);
  }
  for (const auto& a : Accounts(m_)) {
    if (!SameText(a.name, accountName) || (qualified && !SameText(a.domain, wantedDomain))) continue;
    const auto binary = SidFromText(m_, a.sid);
    if (!binary) continue;
    const auto needSid = static_cast<DWORD>(binary->size());
    const auto needDomain = static_cast<DWORD>(a.domain.size() + 1);
    const DWORD sidCapacity = std::min<DWORD>(sidSize, static_cast<DWORD>(sid.size()));
    if (sidCapacity < needSid || domainSize < needDomain) {
      sidSize = needSid;
      domainSize = needDomain;
      SetError(m_, platform::ERROR_INSUFFICIENT_BUFFER);
      return false;
    }
    std::memcpy(sid.data(), binary->data(), binary->size());
    sidSize = needSid;
    domain = a.domain;
    domainSize = needDomain - 1;
    use = a.use;
    SetError(m_, platform::ERROR_SUCCESS);
    return true;
  }
  SetError(m_, platform::ERROR_NONE_MAPPED);
  return false;
}

bool SimAdvapi32::LookupAccountSidA(std::string_view systemName, std::span<const std::byte> sid,
                                    std::string& name, DWORD& nameSize, std::string& domain,
                                    DWORD& domainSize, DWORD& use) {
  std::lock_guard lock(m_.mutex);
  const auto text = SidToText(sid);
  if (!text) {
    SetError(m_, platform::ERROR_INVALID_SID);
    return false;
  }
  if (!IsLocal(m_, systemName)) {
    SetError(m_, platform::RPC_S_SERVER_UNAVAILABLE);
    return false;
  }
  for (const auto& a : Accounts(m_)) {
    if (!SameText(a.sid, *text)) continue;
    if (nameSize < a.name.size() + 1 || domainSize < a.domain.size() + 1) {
      nameSize = static_cast<DWORD>(a.name.size() + 1);
      domainSize = static_cast<DWORD>(a.domain.size() + 1);
      SetError(m_, platform::ERROR_INSUFFICIENT_BUFFER);
      return false;
    }
    HandOut(a.name, name, nameSize);
    HandOut(a.domain, domain, domainSize);
    use = a.use;
    SetError(m_, platform::ERROR_SUCCESS);
    return true;
  }
  SetError(m_, platform::ERROR_NONE_MAPPED);
  return false;
}

}  // namespace sim
