// Saving a process's rebuilt in-memory image: the dump, its failure message and the file name proposed for
// it.
#include "app/process_dump.h"

#include <cstring>

#include "platform/platform.h"
#include "processes/memory_dump.h"
#include "processes/process_details.h"
#include "results/path_macros.h"

namespace app {

std::u16string ProposedDumpName(std::u16string_view imageName, std::u16string_view firstModule) {
  if (!imageName.empty()) {
    std::u16string name(imageName);
    if (name.starts_with(u"\\??\\")) name.erase(0, 4);
    return name + u".bin";
  }
  if (firstModule.empty()) return {};
  auto& k32 = platform::Current().kernel32;
  const std::string desktop = results::ExpandPathMacros("<$DESKTOP>\\");
  return k32.MultiByteToWideChar(platform::CP_ACP, desktop) + std::u16string(firstModule) + u".bin";
}

ProcessDump DumpProcess(std::uint32_t processId) {
  ProcessDump d;
  d.ok = processes::DumpProcessImage(processId, d.bytes);
  if (!d.ok) return d;
  const processes::TProcessDetails details = processes::LoadProcessDetails(processId);
  std::u16string module;
  if (!details.Modules.empty()) {
    const auto& m = details.Modules.front();
    module = platform::Current().kernel32.MultiByteToWideChar(
        platform::CP_ACP, std::string_view(m.szModule, strnlen(m.szModule, sizeof m.szModule)));
  }
  d.proposedName = ProposedDumpName(details.ImageName, module);
  return d;
}

std::string DumpFailedMessage(std::uint32_t processId) {
  return "Could not dump the memory contents of process " + std::to_string(processId) + " to a file.";
}

}  // namespace app
