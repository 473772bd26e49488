// The hook scan of one or more processes and its text and JSON output.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "processes/hook_scan.h"

namespace app {

// The processes the machine's process snapshot lists (every one, hidden ones excluded by the
// snapshot itself), with what the snapshot names them; false when it cannot be taken.
struct ListedProcess {
  std::uint32_t pid = 0;
  std::u16string name;
};
bool ListProcesses(std::vector<ListedProcess>& out, std::string& error);

// The scanner's own process ID as the machine reports it.
std::uint32_t OwnProcessId();

// Scans each process in turn, `progress` told before each (may be empty), and joins the results.
processes::HookScanResult ScanHooks(
    const std::vector<std::uint32_t>& pids,
    const std::function<void(std::size_t done, std::size_t total, std::uint32_t pid)>& progress);

// One line per finding (see the README), "" when there is none.
std::string HookText(const processes::HookFinding& f);
std::string HooksText(const processes::HookScanResult& result);
// One line per process or module not checked, for standard error.
std::string NotCheckedText(const processes::HookScanResult& result);
nlohmann::ordered_json HooksJson(const processes::HookScanResult& result);

// "kernelbase!FindNextFileW jumps into hidekit.dll": what the Quick Scan adds below its rows
// when it found hidden objects; one line per hook on a listing function the scan uses, in the
// scanner's own process. Empty when there is none.
std::vector<std::string> QuickScanExplanation();
// The same lines, from a result already at hand (pure).
std::vector<std::string> ExplanationLines(const processes::HookScanResult& result);

}  // namespace app
