// The security descriptor of a registry key as SDDL text, read through the Win32 registry.
#include "registry/key_security.h"

#include <algorithm>
#include <vector>

#include "base/security_text.h"
#include "platform/platform.h"
#include "registry/win32_registry.h"

namespace registry {

std::string jtGetRegistrySecurityString(platform::HKEY root, std::string_view keyPath,
                                        platform::DWORD information, int viewFlag) {
  TMyRegistry reg;
  reg.SetRootKey(root);
  reg.SetViewMode(viewFlag);
  if (!reg.OpenKeyReadOnly(keyPath))
    throw base::ESecurityError("jtGetRegistrySecurityString.OpenKeyReadOnly failed: " +
                               base::SystemErrorText(reg.LastOpenError()));
  auto& api = platform::Current().advapi32;
  // Asks for the size, then reads; a descriptor that grew in between is asked for again.
  std::vector<std::byte> descriptor;
  platform::DWORD needed = 0;
  for (int attempt = 0;; ++attempt) {
    const platform::DWORD rc = api.RegGetKeySecurity(reg.CurrentKey(), information, descriptor, needed);
    if (rc == platform::ERROR_SUCCESS) break;
    if (rc != platform::ERROR_INSUFFICIENT_BUFFER || attempt == 3)
      throw base::ESecurityError("jtGetRegistrySecurityString.RegGetKeySecurity failed.");
    descriptor.assign(needed, std::byte{0});
  }
  descriptor.resize(std::min<std::size_t>(descriptor.size(), needed));
  // The key is closed when `reg` goes.
  return base::jtConvertSecurityDescriptor(descriptor, base::kOwnerGroupDacl);
}

}  // namespace registry
