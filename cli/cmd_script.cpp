// The script command: both scans as the desktop program runs them, then the removal script.
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>

#include "app/quick_scan.h"
#include "app/removal_script.h"
#include "archive/removal_script.h"
#include "cli/commands.h"
#include "cli/deep_run.h"
#include "cli/out_file.h"

namespace cli {
namespace {

struct ScriptOptions {
  std::string type = "ferrox";
  std::optional<std::string> out;
  bool force = false;
};

int RunScript(const Options& o, const DeepOptions& d, const ScriptOptions& s) {
  std::uint8_t logType = archive::kScriptFerrox;
  archive::ScriptTypeFromName(s.type, logType);  // the parser allows only the three names
  const auto selection = CheckDeepSelection(d);
  if (!selection) return kExitError;
  // Said before the scans run, not after them; the write checks again.
  if (s.out && !s.force && std::filesystem::exists(std::filesystem::symlink_status(*s.out))) {
    std::cerr << "umbrascopec: " << *s.out << " already exists; use --force to replace it\n";
    return kExitError;
  }

  // The desktop program's order: the Quick Scan runs first, then the Deep Scan.
  const auto quick = app::QuickFindings(app::RunQuickScan());
  DeepScanRun run;
  const bool stopped = run.Run(*selection, d, o.quiet);
  const auto& rows = run.Session().Rows();
  const auto lines = app::BuildRemovalScript(logType, quick, rows);

  if (s.out) {
    // A file for Windows tools: Windows line ends.
    std::string error;
    if (!WriteReportFile(*s.out, archive::RemovalScriptText(lines, "\r\n"), s.force, error)) {
      std::cerr << "umbrascopec: " << error << "\n";
      return kExitError;
    }
  } else {
    std::cout << archive::RemovalScriptText(lines, "\n");
  }
  if (!o.quiet) std::cerr << archive::RemovalScriptAdvice() << "\n";
  if (stopped) {
    std::cerr << "Stopped by Ctrl+C: the script holds what was found until then.\n";
    return kExitInterrupted;
  }
  return app::RemovalScriptEntries(quick, rows) == 0 ? kExitClean : kExitFound;
}

}  // namespace

void AddScriptCommand(CLI::App& app) {
  static Options options;
  static DeepOptions deep;
  static ScriptOptions script;
  auto* command = app.add_subcommand(
      "script", "run the Quick Scan and the Deep Scan, then print a removal script of their findings");
  AddCommonOptions(*command, options, false);
  command->add_option("--type", script.type, "the script's dialect: ferrox (default), avenger or combofix")
      ->check(CLI::IsMember({"ferrox", "avenger", "combofix"}));
  command->add_option("--out", script.out, "write the script to this file (CR LF line ends) instead");
  command->add_flag("--force", script.force, "let --out replace an existing file");
  AddDeepOptions(*command, deep);
  SetAction(*command, options, [](const Options& o) { return RunScript(o, deep, script); });
}

}  // namespace cli
