// Process names through PSAPI, with device prefixes mapped to drive letters.
#include "processes/process_names.h"

#include <array>

#include "platform/handles.h"
#include "platform/platform.h"

namespace processes {
namespace {

bool g_hasImageFileName = false;
constexpr std::size_t kNameBuffer = 261;

platform::KernelHandle OpenForQuery(std::uint32_t processId) {
  return platform::KernelHandle(platform::Current().kernel32.OpenProcess(
      platform::PROCESS_QUERY_INFORMATION | platform::PROCESS_VM_READ, false, processId));
}

}  // namespace

void BindProcessImageFileName() {
  g_hasImageFileName = platform::Current().toolhelp.HasGetProcessImageFileName();
}
bool HasProcessImageFileName() { return g_hasImageFileName; }

std::string DevicePathToDrivePath(std::string_view path) {
  auto& k32 = platform::Current().kernel32;
  const platform::DWORD drives = k32.GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((drives & (1u << i)) == 0) continue;
    const std::u16string drive{static_cast<char16_t>(u'A' + i), u':'};
    const auto device = k32.QueryDosDeviceW(drive);
    if (!device || device->empty()) continue;
    const std::string prefix = k32.WideCharToMultiByte(platform::CP_ACP, *device);
    if (path.size() >= prefix.size() && path.substr(0, prefix.size()) == prefix &&
        (path.size() == prefix.size() || path[prefix.size()] == '\\'))
      return std::string{static_cast<char>('A' + i), ':'} + std::string(path.substr(prefix.size()));
  }
  return std::string(path);
}

std::string ProcessModuleFileName(std::uint32_t processId) {
  const auto process = OpenForQuery(processId);
  if (!process) return {};
  std::array<char, kNameBuffer> buf{};
  const platform::DWORD n = platform::Current().toolhelp.GetModuleFileNameExA(process.get(), 0, buf);
  return std::string(buf.data(), std::min<std::size_t>(n, buf.size()));
}

std::string ProcessImageFileName(std::uint32_t processId) {
  if (!g_hasImageFileName) return {};
  const auto process = OpenForQuery(processId);
  if (!process) return {};
  std::array<char, kNameBuffer> buf{};
  const platform::DWORD n = platform::Current().toolhelp.GetProcessImageFileNameA(process.get(), buf);
  return std::string(buf.data(), std::min<std::size_t>(n, buf.size()));
}

std::string ProcessFileNameByID(std::uint32_t processId) {
  if (g_hasImageFileName) return DevicePathToDrivePath(ProcessImageFileName(processId));
  return ProcessModuleFileName(processId);
}

}  // namespace processes
