// The pure rules of the Deep Scan's registry walk: the access rule, its exempt keys, the verbose text.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/security_text.h"
#include "platform/types.h"

namespace registry {

// Keys whose access list keeps the administrators out on every healthy system (services that
// run under their own account, shell state the administrators do not own). Only under
// HKEY_LOCAL_MACHINE; `fullPath` is the key path without a trailing "\" in the system code
// page. The fixed names compare with letter case, the control-set patterns ignore it.
bool IsAclExemptKey(platform::HKEY root, std::string_view fullPath);

// True when the access list has entries and none of them concerns the administrators or gives
// Everyone or the user (`userSid`, "" when unknown) full access, read access or listing
// access. What an entry allows or denies does not matter: any mention counts.
bool AclLacksAdmin(std::span<const base::TAceFields> entries, std::string_view userSid);
// The same over a descriptor in SDDL.
bool SddlLacksAdmin(std::string_view sddl, std::string_view userSid);

// The text of the verbose box: the key path, then the native and the Win32 list of values
// (`values`) or subkeys, one name a line, lines ended by CR LF.
std::u16string VerboseText(std::u16string_view keyPath, bool values,
                           const std::vector<std::u16string>& native,
                           const std::vector<std::u16string>& win32);

// True when an argument after the program's own name is "-" or "/" and then `name` in any
// letter case (ASCII).
bool HasCommandLineSwitch(const std::vector<std::string>& arguments, std::string_view name);

}  // namespace registry
