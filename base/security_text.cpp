// Security descriptors as SDDL text (being built: every operation answers "nothing" for now).
#include "base/security_text.h"

namespace base {

std::string jtGetFileSecurityString(std::string_view, platform::DWORD) {
  throw ESecurityError("jtGetFileSecurityString: not available yet");
}
std::string jtConvertSecurityDescriptor(const std::vector<std::byte>&, platform::DWORD) {
  throw ESecurityError("jtConvertSecurityDescriptor: not available yet");
}
std::string jtConvertSidToStringSid(const std::vector<std::byte>&) {
  throw ESecurityError("jtConvertSidToStringSid: not available yet");
}
std::vector<std::byte> jtLookupAccountName(std::string_view, std::string_view) {
  throw ESecurityError("jtLookupAccountName: not available yet");
}
std::string CurrentUserSidString() { return {}; }
TSecurityDescriptorParts SplitSecurityDescriptorString(std::string_view) { return {}; }
TAceFields SplitAceString(std::string_view) { return {}; }
std::string AceTypeName(std::string_view) { return {}; }
std::string AceFlagNames(std::string_view) { return {}; }
std::string AceRightNames(std::string_view) { return {}; }
std::string SidAliasName(std::string_view) { return {}; }
std::string AccountDisplayName(std::string_view sidText, std::string_view) { return std::string(sidText); }
void FillSecurityTree(std::string_view, const TAddSecurityNode&, std::string_view, int, int, int) {}

}  // namespace base
