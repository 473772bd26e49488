// Compares every loaded module's code and import slots in a process with the module's file on
// disk, so a patched function entry or a redirected import names the module that placed it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace processes {

enum class HookKind { CodeModified, ImportRedirected };

struct HookFinding {
  std::uint32_t pid = 0;
  std::u16string processName;
  std::u16string module;  // e.g. u"kernelbase.dll"
  HookKind kind{};
  std::uint64_t address = 0;  // first patched byte, or the import slot
  std::uint32_t size = 0;     // patched bytes / IAT slot
  std::string function;       // export name at/before the patch ("FindNextFileW") or "+0x1a2b"
  std::string importedFrom;   // import: "kernel32.dll!FindFirstFileW" (what the slot should hold)
  std::vector<std::uint8_t> original, current;  // code patches
  std::uint64_t target = 0;                     // 0 with an empty module: unknown
  std::u16string targetModule;
  std::string targetFunction;
};

// A process (module empty) or one module of it that could not be compared, and why.
struct NotChecked {
  std::uint32_t pid = 0;
  std::u16string module;
  std::string reason;
};

struct HookScanResult {
  std::vector<HookFinding> hooks;
  std::vector<NotChecked> notChecked;
  std::vector<std::uint32_t> checkedPids;
};

// Scans one process through the platform's module snapshot, file and memory calls.
HookScanResult ScanProcessHooks(std::uint32_t pid);

struct HookScanOptions {
  // Which modules to compare (code and imports), by their snapshot name; empty: every one.
  // Others are still read when a target or an import leads into them.
  std::function<bool(std::u16string_view module)> checkModule;
};
HookScanResult ScanProcessHooks(std::uint32_t pid, const HookScanOptions& options);

}  // namespace processes
