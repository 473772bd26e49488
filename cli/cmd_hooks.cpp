// The hooks command: each process's modules compared with their files, code and import slots.
#include <iostream>
#include <string>
#include <vector>

#include "app/hooks.h"
#include "app/text.h"
#include "cli/commands.h"
#include "cli/host.h"

namespace cli {
namespace {

struct HooksOptions {
  std::vector<std::uint32_t> pids;
  bool all = false;
};

int RunHooks(const Options& o, const HooksOptions& h) {
  std::vector<std::uint32_t> pids = h.pids;
  if (h.all) {
    std::vector<app::ListedProcess> listed;
    std::string error;
    if (!app::ListProcesses(listed, error)) {
      std::cerr << "umbrascopec: " << error << "\n";
      return kExitError;
    }
    for (const auto& p : listed) pids.push_back(p.pid);
  }
  if (pids.empty()) pids.push_back(app::OwnProcessId());

  const bool progress = !o.quiet && StandardErrorIsTerminal() && pids.size() > 1;
  const auto result = app::ScanHooks(pids, [&](std::size_t done, std::size_t total, std::uint32_t pid) {
    if (progress)
      std::cerr << "\rprocess " << (done + 1) << " of " << total << " (" << pid << ")   " << std::flush;
  });
  if (progress) std::cerr << "\r" << std::string(40, ' ') << "\r" << std::flush;

  if (o.json) {
    std::cout << app::HooksJson(result).dump(2) << "\n";
  } else {
    std::cout << app::HooksText(result);
    std::cerr << app::NotCheckedText(result);
    if (!o.quiet)
      std::cerr << result.checkedPids.size() << " of " << pids.size() << " processes checked, "
                << result.hooks.size() << (result.hooks.size() == 1 ? " hook" : " hooks") << " found\n";
  }
  if (result.checkedPids.empty()) return kExitError;
  return result.hooks.empty() ? kExitClean : kExitFound;
}

}  // namespace

void AddHooksCommand(CLI::App& app) {
  static Options options;
  static HooksOptions hooks;
  auto* command = app.add_subcommand(
      "hooks",
      "compare each module's code and import slots in memory with its file (default: this program's "
      "own process)");
  command->add_option("PID", hooks.pids, "process IDs");
  command->add_flag("--all", hooks.all, "every process of the process snapshot");
  AddCommonOptions(*command, options);
  SetAction(*command, options, [](const Options& o) { return RunHooks(o, hooks); });
}

}  // namespace cli
