// Security descriptors as SDDL text: reading them, SIDs and accounts, splitting and naming tokens.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace base {

// Raised by every operation here that wraps a platform call; the message names the operation
// and the call.
class ESecurityError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The system's text for an error code as the messages here quote it: without the closing full
// stop and line break ("Access is denied"), or "error <code>" when the system has no text.
std::string SystemErrorText(platform::DWORD error);

// The information bits the scanners ask for: owner, group and DACL.
inline constexpr platform::DWORD kOwnerGroupDacl = 7;

// The descriptor of a file or folder (8-bit path in the system code page) as SDDL.
std::string jtGetFileSecurityString(std::string_view path, platform::DWORD information);
// A self-relative descriptor as SDDL (revision 1).
std::string jtConvertSecurityDescriptor(const std::vector<std::byte>& descriptor, platform::DWORD information);
// A binary SID as "S-1-...".
std::string jtConvertSidToStringSid(const std::vector<std::byte>& sid);
// The binary SID of an account; an empty system name means the local machine.
std::vector<std::byte> jtLookupAccountName(std::string_view account, std::string_view systemName);

// The SID text of the user the program runs as, through the user name and an account look-up;
// "" when any step fails (the scanners then trust only "WD" entries).
std::string CurrentUserSidString();

// The head of an SDDL string and its access-control entries, each with its parentheses.
struct TSecurityDescriptorParts {
  std::string PartLetter;
  std::string PartFlags;
  std::vector<std::string> Entries;
};
TSecurityDescriptorParts SplitSecurityDescriptorString(std::string_view sddl);

// The six fields of one entry; all empty unless the entry is "(...)" and longer than two.
struct TAceFields {
  std::string Type, Flags, Rights, ObjectGuid, InheritGuid, Account;
};
TAceFields SplitAceString(std::string_view entry);
// Every entry of an SDDL string split into its fields, in order.
std::vector<TAceFields> SplitAccessEntries(std::string_view sddl);

// Readable names of the tokens.
std::string AceTypeName(std::string_view token);
std::string AceFlagNames(std::string_view flags);
std::string AceRightNames(std::string_view rights);
std::string SidAliasName(std::string_view account);
// "name (domain)", "name", or the alias name when the SID cannot be looked up.
std::string AccountDisplayName(std::string_view sidText, std::string_view computerName);

// Adds one node under `parent` (-1: at the top level) and answers the new node's id.
using TAddSecurityNode = std::function<int(int parent, const std::string& text, int image)>;
// The tree the properties dialogs show: one account node per entry with its groups and leaves.
void FillSecurityTree(std::string_view sddl, const TAddSecurityNode& addNode, std::string_view computerName,
                      int accountImage, int groupImage, int leafImage);

}  // namespace base
