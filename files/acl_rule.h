// The access rule of the file walk: does a descriptor leave the administrators a way in?
#pragma once

#include <span>
#include <string_view>

#include "base/security_text.h"

namespace files {

// True when one of the entries lets administrators reach the object, so the object is no
// finding. The entry type and flags are not looked at: a deny entry for the administrators
// still shows that someone thought of them. An account is "open" when it is everyone ("WD")
// or the user the scan runs as (`userSid`, "" when unknown). An entry lets them in when
//  - its account is "DA", "BA" or "LA" (any rights);
//  - its account is open and its rights are "FA", "GA" or "0x1200a9", or hold "LC" first at
//    an odd 1-based position (a rights token, not the tail of one);
//  - its account is "BU" with rights "0x1200a9" or holding "FR";
//  - for a file only, its account is open with rights exactly "GR" or "FR".
bool AclLetsAdminsIn(std::span<const base::TAceFields> entries, std::string_view userSid, bool folder);

// The whole test over an SDDL text: a finding when the DACL has entries and none of them lets
// the administrators in. An empty DACL gives no finding.
bool AclDeniesAdmins(std::string_view sddl, std::string_view userSid, bool folder);

}  // namespace files
