// The security descriptor of a registry key as SDDL text (being built).
#include "registry/key_security.h"

#include "base/security_text.h"

namespace registry {

std::string jtGetRegistrySecurityString(platform::HKEY, std::string_view, platform::DWORD, int) {
  throw base::ESecurityError("jtGetRegistrySecurityString: not available yet");
}

}  // namespace registry
