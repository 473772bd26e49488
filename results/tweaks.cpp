// Reads tweak values below HKEY_LOCAL_MACHINE\SOFTWARE\Brightmoor Limited\Tweaks.
#include "results/tweaks.h"

#include <string>

#include "platform/platform.h"
#include "registry/win32_registry.h"

namespace results {

bool ReadTweak(std::string_view name, std::uint8_t& value) {
  static constexpr std::string_view kTweaks = "\\SOFTWARE\\Brightmoor Limited\\Tweaks\\";
  const std::string program = platform::Current().kernel32.GetModuleFileNameA();
  const std::string file = program.substr(program.find_last_of('\\') + 1);
  std::int32_t v = 0;
  if (registry::ReadRegistryInteger(platform::HKEY_LOCAL_MACHINE, std::string(kTweaks) + file, name, v) ||
      registry::ReadRegistryInteger(platform::HKEY_LOCAL_MACHINE, kTweaks, name, v)) {
    value = static_cast<std::uint8_t>(v & 0xFF);
    return true;
  }
  return false;
}

}  // namespace results
