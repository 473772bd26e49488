// The console program's commands: each area adds its own to the shared parser.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

namespace cli {

// What every command may take, filled by the parser.
struct Options {
  std::optional<std::string> image;
  bool json = false;
  bool quiet = false;
};

// Exit statuses scripts rely on.
inline constexpr int kExitClean = 0;
inline constexpr int kExitFound = 1;
inline constexpr int kExitError = 2;

// A command body: runs with the session installed and returns the exit status.
using Action = std::function<int(const Options&)>;

// Adds --image, --json and --quiet to a command.
void AddCommonOptions(CLI::App& command, Options& options, bool withJson = true);
// Makes `command` run `action` (after the session is opened and the start-up steps ran).
void SetAction(CLI::App& command, Options& options, Action action);

void AddQuickCommand(CLI::App& app);
// The Deep Scan: whole drives and hives.
void AddDeepCommand(CLI::App& app);
// `show` and `delete` subcommands and further commands of each area.
void AddRegistryCommands(CLI::App& app, CLI::App& show, CLI::App& remove);
void AddFileCommands(CLI::App& app, CLI::App& show, CLI::App& remove);
void AddProcessCommands(CLI::App& app, CLI::App& show, CLI::App& remove);
// Commands that write the registry export text.
void AddExportCommands(CLI::App& app);
// The removal script of both scans' findings.
void AddScriptCommand(CLI::App& app);
// The archive of the Deep Scan's findings.
void AddPackCommand(CLI::App& app);
// A process's in-memory image saved as a file.
void AddDumpCommand(CLI::App& app);
// Code patches and redirected imports in processes' modules.
void AddHooksCommand(CLI::App& app);

}  // namespace cli
