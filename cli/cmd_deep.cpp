// The deep command: the file and registry walks of the Deep Scan, as a table, JSON or JSON lines.
#include <cctype>
#include <chrono>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/deep_scan.h"
#include "app/deep_scan_output.h"
#include "app/owner_sync.h"
#include "app/text.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "platform/platform.h"
#include "registry/win32_registry.h"
#include "results/path_macros.h"

namespace cli {
namespace {

constexpr int kExitInterrupted = 130;

struct DeepOptions {
  std::vector<std::string> drives;
  std::vector<std::string> hives;
  bool drivesGiven = false;
  bool hivesGiven = false;
  bool jsonLines = false;
  bool verbose = false;
};

// A bad selection, said in one line on standard error.
struct SelectionError {
  std::string message;
};

std::vector<std::string> CheckDrives(const std::vector<std::string>& items) {
  const platform::DWORD present = platform::Current().kernel32.GetLogicalDrives();
  std::vector<std::string> drives;
  for (const auto& item : items) {
    if (item.empty()) continue;  // --drives "" scans no drive
    if (item.size() != 2 || item[1] != ':' || !std::isalpha(static_cast<unsigned char>(item[0])))
      throw SelectionError{"--drives: '" + item + "' is not a drive letter and a colon, such as C:"};
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(item[0])));
    if ((present & (1u << (letter - 'A'))) == 0)
      throw SelectionError{"--drives: " + item + " is not a drive of this machine"};
    drives.push_back(std::string(1, letter) + ":");
  }
  return drives;
}

std::vector<std::string> CheckHives(const std::vector<std::string>& items) {
  std::vector<std::string> hives;
  for (const auto& item : items) {
    if (item.empty()) continue;  // --hives "" scans no hive
    if (registry::RootKeyFromName(item) == 0)
      throw SelectionError{"--hives: " + item + " is not a registry hive"};
    hives.push_back(item);
  }
  return hives;
}

// At most `bytes` bytes of UTF-8, not cutting a character.
std::string Cut(std::string text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// Two lines of live progress on standard error, redrawn in place.
class ProgressLines {
 public:
  explicit ProgressLines(bool enabled) : enabled_(enabled) {}

  void Draw(const app::TDeepScanSession& session, std::chrono::steady_clock::duration elapsed) {
    if (!enabled_) return;
    const auto f = session.FileSummary();
    const auto r = session.RegistrySummary();
    const std::string clock = "[" + app::FormatElapsed(elapsed) + "] ";
    const std::string files = clock + std::to_string(f.folders) + " folders, " + std::to_string(f.files) +
                              " files, " + std::to_string(session.Rows().size()) + " rows | " +
                              app::ShowZeros(app::Utf8(session.FileProgressLabel()));
    const std::string keys = clock + std::to_string(r.keys) + " keys | " +
                             app::ShowZeros(app::Utf8(session.RegistryProgressLabel()));
    std::cerr << "\r\x1b[2K" << Cut(files, 79) << "\n\x1b[2K" << Cut(keys, 79) << "\x1b[1A\r" << std::flush;
    shown_ = true;
  }
  void Clear() {
    if (!shown_) return;
    std::cerr << "\r\x1b[2K\n\x1b[2K\x1b[1A\r" << std::flush;
    shown_ = false;
  }

 private:
  bool enabled_;
  bool shown_ = false;
};

int RunDeep(const Options& o, const DeepOptions& d) {
  std::vector<std::string> drives, hives;
  try {
    drives = d.drivesGiven ? CheckDrives(d.drives) : CheckDrives({results::ExpandPathMacros("<$SYSDRIVE>")});
    hives = d.hivesGiven ? CheckHives(d.hives) : std::vector<std::string>{"HKEY_LOCAL_MACHINE"};
  } catch (const SelectionError& e) {
    std::cerr << "umbrascopec: " << e.message << "\n";
    return kExitError;
  }

  std::mutex errLock;  // progress (main thread) and verbose lists (registry thread) share stderr
  ProgressLines progress(!o.quiet && StandardErrorIsTerminal());
  auto mailbox = std::make_shared<app::TMailboxSynchronizer>();
  app::TDeepScanSession session(mailbox);
  // Set explicitly: the scanner's own look at the command line knows "-verbose" and
  // "/verbose", not this program's "--verbose".
  session.Verbose = d.verbose;
  session.OnVerbose = [&](const std::string& caption, const std::string& text) {
    std::string shown;
    for (char c : app::ShowZeros(app::Utf8FromCodePage(text)))
      if (c != '\r') shown += c;
    std::lock_guard lock(errLock);
    progress.Clear();
    std::cerr << app::Utf8FromCodePage(caption) << ":\n" << shown << "\n" << std::flush;
  };
  if (d.jsonLines)
    session.OnRow = [](const app::TDeepScanRow& row) {
      std::cout << app::JsonLine(app::DeepRowJson(row)) << "\n" << std::flush;
    };

  CatchInterrupt();
  const auto started = std::chrono::steady_clock::now();
  auto nextDraw = started;
  bool stopping = false;
  session.StartScan(drives, hives);
  while (session.Running()) {
    if (!stopping && InterruptRequested()) {
      // Both walks end after their current folder or key; what they report until then counts.
      session.Terminate();
      stopping = true;
    }
    mailbox->RunNext(std::chrono::milliseconds(100));
    const auto now = std::chrono::steady_clock::now();
    if (now >= nextDraw) {
      std::lock_guard lock(errLock);
      progress.Draw(session, now - started);
      nextDraw = now + std::chrono::milliseconds(200);
    }
  }
  {
    std::lock_guard lock(errLock);
    progress.Clear();
  }

  if (d.jsonLines) {
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
  auto* command =
      app.add_subcommand("deep", "walk whole drives and registry hives in both views (the Deep Scan)");
  AddCommonOptions(*command, options);
  auto* drives =
      command
          ->add_option("--drives", deep.drives, "drives to walk, such as C:,D: (default: the system drive)")
          ->delimiter(',');
  auto* hives = command
                    ->add_option("--hives", deep.hives,
                                 "hives to walk: HKEY_LOCAL_MACHINE,HKEY_USERS (default: HKEY_LOCAL_MACHINE)")
                    ->delimiter(',');
  auto* lines = command->add_flag("--json-lines", deep.jsonLines,
                                  "one JSON object per row as it is found, then one summary line");
  lines->excludes(command->get_option("--json"));
  command->add_flag(
      "--verbose", deep.verbose,
      "print the registry walk's native and Win32 lists of each invisible entry on standard error");
  SetAction(*command, options, [drives, hives](const Options& o) {
    deep.drivesGiven = drives->count() > 0;
    deep.hivesGiven = hives->count() > 0;
    return RunDeep(o, deep);
  });
}

}  // namespace cli
