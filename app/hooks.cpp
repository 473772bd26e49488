// The hook scan of one or more processes and its text and JSON output.
#include "app/hooks.h"

#include <cstdio>
#include <cstring>

#include "app/text.h"
#include "platform/platform.h"
#include "processes/snapshots.h"

namespace app {
namespace {

std::string Hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  for (const std::uint8_t b : bytes) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x", b);
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

std::string Kind(processes::HookKind k) {
  return k == processes::HookKind::CodeModified ? "Code modified in memory" : "Import redirected";
}

std::string TargetText(const processes::HookFinding& f) {
  if (f.targetModule.empty()) return f.target != 0 ? Hex(f.target) + " (outside every module)" : "unknown";
  if (!f.targetFunction.empty()) return Utf8(f.targetModule) + "!" + f.targetFunction;
  return Utf8(f.targetModule) + "+" + Hex(f.target);
}

// The module name without ".dll", in lower case, as the explanation names it.
std::string Short(std::u16string name) {
  std::string s = Utf8(name);
  for (auto& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (s.size() > 4 && s.ends_with(".dll")) s.resize(s.size() - 4);
  return s;
}

// Which Win32 listing a function belongs to, or nullptr.
const char* ListingOf(std::string_view fn) {
  const auto starts = [&](std::string_view p) { return fn.starts_with(p); };
  if (starts("FindFirstFile") || starts("FindNextFile")) return "file";
  if (starts("RegEnumKey") || starts("RegEnumValue")) return "registry";
  if (starts("Process32First") || starts("Process32Next") || fn == "CreateToolhelp32Snapshot" ||
      fn == "EnumProcesses" || fn == "K32EnumProcesses")
    return "process";
  return nullptr;
}

// The modules that export the listing functions, whose code the explanation compares.
bool ExportsListings(std::u16string_view module) {
  std::u16string m(module);
  for (auto& c : m)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  for (const char16_t* name :
       {u"kernel32.dll", u"kernelbase.dll", u"advapi32.dll", u"ntdll.dll", u"psapi.dll"})
    if (m == name) return true;
  return false;
}

}  // namespace

bool ListProcesses(std::vector<ListedProcess>& out, std::string& error) {
  processes::TSnapshotListTH32Simple snap;
  if (!snap.TakeSnapshot(0, true, false, false, false)) {
    error = "cannot take the process snapshot (error " +
            std::to_string(platform::Current().kernel32.GetLastError()) + ")";
    return false;
  }
  auto& k32 = platform::Current().kernel32;
  for (const auto& e : snap.ProcessList.Items)
    out.push_back(
        {e.th32ProcessID,
         k32.MultiByteToWideChar(platform::CP_ACP,
                                 std::string_view(e.szExeFile, strnlen(e.szExeFile, sizeof e.szExeFile)))});
  return true;
}

std::uint32_t OwnProcessId() { return platform::Current().kernel32.GetCurrentProcessId(); }

processes::HookScanResult ScanHooks(
    const std::vector<std::uint32_t>& pids,
    const std::function<void(std::size_t, std::size_t, std::uint32_t)>& progress) {
  processes::HookScanResult all;
  for (std::size_t i = 0; i < pids.size(); ++i) {
    if (progress) progress(i, pids.size(), pids[i]);
    auto r = processes::ScanProcessHooks(pids[i]);
    for (auto& h : r.hooks) all.hooks.push_back(std::move(h));
    for (auto& n : r.notChecked) all.notChecked.push_back(std::move(n));
    for (auto p : r.checkedPids) all.checkedPids.push_back(p);
  }
  return all;
}

std::string HookText(const processes::HookFinding& f) {
  std::string line = std::to_string(f.pid) + " " + ShowZeros(Utf8(f.processName)) + "  ";
  if (f.kind == processes::HookKind::CodeModified) {
    line += ShowZeros(Utf8(f.module)) + "!" + f.function + "  " + Kind(f.kind) + " (" +
            std::to_string(f.size) + (f.size == 1 ? " byte)" : " bytes)");
  } else {
    line += ShowZeros(Utf8(f.module)) + " imports " + f.importedFrom + "  " + Kind(f.kind);
  }
  return line + "  -> " + ShowZeros(TargetText(f));
}

std::string HooksText(const processes::HookScanResult& result) {
  std::string out;
  for (const auto& f : result.hooks) out += HookText(f) + "\n";
  return out;
}

std::string NotCheckedText(const processes::HookScanResult& result) {
  std::string out;
  for (const auto& n : result.notChecked)
    out += "not checked: process " + std::to_string(n.pid) +
           (n.module.empty() ? "" : " " + ShowZeros(Utf8(n.module))) + ": " + n.reason + "\n";
  return out;
}

nlohmann::ordered_json HooksJson(const processes::HookScanResult& result) {
  nlohmann::ordered_json j;
  j["hooks"] = nlohmann::ordered_json::array();
  for (const auto& f : result.hooks) {
    nlohmann::ordered_json h;
    h["process"] = f.pid;
    h["processName"] = Utf8(f.processName);
    h["module"] = Utf8(f.module);
    h["kind"] = Kind(f.kind);
    h["address"] = Hex(f.address);
    h["size"] = f.size;
    h["function"] = f.function;
    h["importedFrom"] = f.importedFrom;
    h["bytes"] = HexBytes(f.current);
    h["originalBytes"] = HexBytes(f.original);
    h["target"] = f.target != 0 ? Hex(f.target) : "";
    h["targetModule"] = Utf8(f.targetModule);
    h["targetFunction"] = f.targetFunction;
    j["hooks"].push_back(std::move(h));
  }
  j["notChecked"] = nlohmann::ordered_json::array();
  for (const auto& n : result.notChecked)
    j["notChecked"].push_back({{"process", n.pid}, {"module", Utf8(n.module)}, {"reason", n.reason}});
  j["checked"] = result.checkedPids;
  return j;
}

std::vector<std::string> ExplanationLines(const processes::HookScanResult& result) {
  std::vector<std::string> lines;
  for (const auto& f : result.hooks) {
    // The function a code patch lies on, or the one an import slot should hold.
    const std::string fn = f.kind == processes::HookKind::CodeModified
                               ? f.function
                               : f.importedFrom.substr(f.importedFrom.find('!') + 1);
    const char* listing = ListingOf(fn);
    if (listing == nullptr) continue;
    const std::string where = f.targetModule.empty() ? "memory outside every module" : Utf8(f.targetModule);
    std::string line = std::string("the Win32 ") + listing + " listing is filtered: ";
    if (f.kind == processes::HookKind::CodeModified)
      line += Short(f.module) + "!" + fn + " jumps into " + where;
    else
      line += Utf8(f.module) + "'s import of " + f.importedFrom + " leads into " + where;
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> QuickScanExplanation() {
  processes::HookScanOptions options;
  const std::uint32_t self = OwnProcessId();
  bool first = true;
  // The listing DLLs' code, and the scanner's own imports of them (the main module comes first).
  options.checkModule = [&first](std::u16string_view m) {
    const bool main = first;
    first = false;
    return main || ExportsListings(m);
  };
  return ExplanationLines(processes::ScanProcessHooks(self, options));
}

}  // namespace app
