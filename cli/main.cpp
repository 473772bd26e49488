// umbrascopec: the console program. Every scan for scripts and terminals; exit 0 clean, 1 found, 2 error.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "cli/commands.h"

namespace cli {
namespace {
// The action chosen by the parser, run after parsing so errors map to exit status 2.
struct Pending {
  Action action;
  const Options* options = nullptr;
};
Pending g_pending;
}  // namespace

void AddCommonOptions(CLI::App& command, Options& options, bool withJson) {
  command.add_option("--image", options.image, "scan this system image (JSON) instead of the live system");
  if (withJson) command.add_flag("--json", options.json, "machine-readable output");
  command.add_flag("--quiet", options.quiet, "no progress on standard error");
}

void SetAction(CLI::App& command, Options& options, Action action) {
  command.callback([&options, action = std::move(action)] { g_pending = {action, &options}; });
}

}  // namespace cli

int main(int argc, char** argv) {
  CLI::App app{"umbrascopec: finds what a user-mode rootkit hides, by listing the system twice",
               "umbrascopec"};
  app.set_version_flag("--version", std::string("umbrascopec ") + UMBRA_VERSION);
  app.require_subcommand(0, 1);
  auto* show = app.add_subcommand("show", "show what the native view says of one object");
  show->require_subcommand(1);
  auto* remove = app.add_subcommand("delete", "delete one object through the native layer");
  remove->require_subcommand(1);
  cli::AddQuickCommand(app);
  cli::AddDeepCommand(app);
  cli::AddRegistryCommands(app, *show, *remove);
  cli::AddFileCommands(app, *show, *remove);
  cli::AddProcessCommands(app, *show, *remove);
  cli::AddExportCommands(app);
  cli::AddScriptCommand(app);
  cli::AddPackCommand(app);
  cli::AddDumpCommand(app);
  cli::AddHooksCommand(app);
  // Errors are one line on standard error, so scripts can log or show them as they come.
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    std::string text = e.what();
    for (char& c : text)
      if (c == '\n' || c == '\r') c = ' ';
    return "umbrascopec: " + text + " (see umbrascopec --help)\n";
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return cli::kExitError;
  }
  if (!cli::g_pending.action) {
    std::cerr << "umbrascopec: no command given (see umbrascopec --help)\n";
    return cli::kExitError;
  }
  try {
    auto session = app::Session::Open(cli::g_pending.options->image, std::cerr);
    app::RunStartup();
    const int status = cli::g_pending.action(*cli::g_pending.options);
    // A report that did not reach its reader is an error, not a result.
    if (!std::cout.flush()) {
      std::cerr << "umbrascopec: cannot write the report to standard output\n";
      return cli::kExitError;
    }
    return status;
  } catch (const app::MachineError& e) {
    std::cerr << "umbrascopec: " << e.what() << "\n";
    return cli::kExitError;
  } catch (const std::exception& e) {
    std::cerr << "umbrascopec: error: " << e.what() << "\n";
    return cli::kExitError;
  }
}
