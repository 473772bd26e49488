// The deep command: the file and registry walks of the Deep Scan, as a table, JSON or JSON lines.
#include <iostream>

#include "app/deep_scan.h"
#include "app/deep_scan_output.h"
#include "cli/commands.h"
#include "cli/deep_run.h"

namespace cli {
namespace {

int RunDeep(const Options& o, const DeepOptions& d, bool jsonLines) {
  const auto selection = CheckDeepSelection(d);
  if (!selection) return kExitError;

  DeepScanRun run;
  auto& session = run.Session();
  if (jsonLines)
    session.OnRow = [](const app::TDeepScanRow& row) {
      std::cout << app::JsonLine(app::DeepRowJson(row)) << "\n" << std::flush;
    };
  const bool stopping = run.Run(*selection, d, o.quiet);

  if (jsonLines) {
    nlohmann::ordered_json summary;
    summary["summary"] = app::DeepSummaryJson(session);
    std::cout << app::JsonLine(summary) << "\n";
  } else if (o.json) {
    std::cout << app::DeepScanJson(session).dump(2, ' ', false,
                                                 nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  } else {
    std::cout << app::DeepScanText(session);
    if (stopping) std::cout << "Stopped by Ctrl+C: the rows above are what was found until then.\n";
  }
  if (stopping) return kExitInterrupted;
  return session.Rows().empty() ? kExitClean : kExitFound;
}

}  // namespace

void AddDeepCommand(CLI::App& app) {
  static Options options;
  static DeepOptions deep;
  static bool jsonLines = false;
  auto* command =
      app.add_subcommand("deep", "walk whole drives and registry hives in both views (the Deep Scan)");
  AddCommonOptions(*command, options);
  AddDeepOptions(*command, deep);
  auto* lines = command->add_flag("--json-lines", jsonLines,
                                  "one JSON object per row as it is found, then one summary line");
  lines->excludes(command->get_option("--json"));
  SetAction(*command, options, [](const Options& o) { return RunDeep(o, deep, jsonLines); });
}

}  // namespace cli
