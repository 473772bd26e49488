// The Deep Scan as console commands run it: the drive and hive options with their checks, and
// one run to its end with live progress on standard error and Ctrl+C.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/deep_scan.h"
#include "app/owner_sync.h"

namespace cli {

// Exit status of a Deep Scan stopped by Ctrl+C.
inline constexpr int kExitInterrupted = 130;

// The Deep Scan's options, filled by the parser.
struct DeepOptions {
  std::vector<std::string> drives;
  std::vector<std::string> hives;
  bool verbose = false;
  // Set by AddDeepOptions: whether --drives or --hives was given at all.
  const CLI::Option* drivesOption = nullptr;
  const CLI::Option* hivesOption = nullptr;
};

// Adds --drives, --hives and --verbose to `command` (--quiet comes with the common options).
void AddDeepOptions(CLI::App& command, DeepOptions& deep);

// The drives ("C:") and hives the walks take.
struct DeepSelection {
  std::vector<std::string> drives;
  std::vector<std::string> hives;
};

// The options' drives and hives, checked against this machine; without the option, the system
// drive and HKEY_LOCAL_MACHINE. A bad selection is said in one line on standard error and
// gives nothing.
std::optional<DeepSelection> CheckDeepSelection(const DeepOptions& deep);

class ProgressLines;

// One Deep Scan: set the session's handlers (OnRow) before Run, read its rows and summaries after.
class DeepScanRun {
 public:
  DeepScanRun();
  ~DeepScanRun();
  DeepScanRun(const DeepScanRun&) = delete;
  DeepScanRun& operator=(const DeepScanRun&) = delete;

  app::TDeepScanSession& Session() { return session_; }

  // Runs both walks to their end on this thread. Progress is drawn on standard error when it is
  // a terminal (never with `quiet`); the first Ctrl+C stops both walks after their current
  // folder or key. Returns whether Ctrl+C stopped them.
  bool Run(const DeepSelection& selection, const DeepOptions& deep, bool quiet);

 private:
  std::mutex errLock_;  // progress (this thread) and verbose lists (registry thread) share stderr
  std::unique_ptr<ProgressLines> progress_;
  std::shared_ptr<app::TMailboxSynchronizer> mailbox_;
  app::TDeepScanSession session_;  // last: its threads are joined before the rest goes
};

}  // namespace cli
