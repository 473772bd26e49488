// The quick command: the six cross-view indicators.
#include <iostream>

#include "app/hooks.h"
#include "app/quick_scan.h"
#include "cli/commands.h"

namespace cli {

void AddQuickCommand(CLI::App& app) {
  static Options options;
  auto* quick = app.add_subcommand("quick", "run the Quick Scan indicators");
  AddCommonOptions(*quick, options);
  SetAction(*quick, options, [](const Options& o) {
    const app::QuickScanReport report = app::RunQuickScan();
    if (o.json)
      std::cout << app::QuickScanJson(report).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                << "\n";
    else {
      std::cout << app::QuickScanText(report);
      // What hid them, when the program's own listing functions are patched.
      if (report.anythingFound()) {
        const auto lines = app::QuickScanExplanation();
        if (!lines.empty()) std::cout << "\n";
        for (const auto& line : lines) std::cout << line << "\n";
      }
    }
    return report.anythingFound() ? kExitFound : kExitClean;
  });
}

}  // namespace cli
