// The access rule of the file walk over split access-control entries.
#include "files/acl_rule.h"

#include <vector>

namespace files {

namespace {

bool AceLetsAdminsIn(const base::TAceFields& ace, std::string_view userSid, bool folder) {
  const std::string_view account = ace.Account, rights = ace.Rights;
  if (account == "DA" || account == "BA" || account == "LA") return true;
  const bool open = account == "WD" || (!userSid.empty() && account == userSid);
  if (open) {
    if (rights == "FA" || rights == "GA" || rights == "0x1200a9") return true;
    const std::size_t lc = rights.find("LC");
    if (lc != std::string_view::npos && lc % 2 == 0) return true;  // 0-based even = 1-based odd
    if (!folder && (rights == "GR" || rights == "FR")) return true;
  }
  if (account == "BU" && (rights == "0x1200a9" || rights.find("FR") != std::string_view::npos)) return true;
  return false;
}

}  // namespace

bool AclLetsAdminsIn(std::span<const base::TAceFields> entries, std::string_view userSid, bool folder) {
  for (const auto& ace : entries)
    if (AceLetsAdminsIn(ace, userSid, folder)) return true;
  return false;
}

bool AclDeniesAdmins(std::string_view sddl, std::string_view userSid, bool folder) {
  const std::vector<base::TAceFields> entries = base::SplitAccessEntries(sddl);
  return !entries.empty() && !AclLetsAdminsIn(entries, userSid, folder);
}

}  // namespace files
