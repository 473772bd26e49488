// The Deep Scan options, their checks, and a run to its end with progress and Ctrl+C.
#include "cli/deep_run.h"

#include <cctype>
#include <chrono>
#include <iostream>

#include "app/text.h"
#include "cli/host.h"
#include "platform/platform.h"
#include "registry/win32_registry.h"
#include "results/path_macros.h"

namespace cli {
namespace {

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

bool Given(const CLI::Option* option) { return option != nullptr && option->count() > 0; }

}  // namespace

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

void AddDeepOptions(CLI::App& command, DeepOptions& deep) {
  deep.drivesOption =
      command
          .add_option("--drives", deep.drives, "drives to walk, such as C:,D: (default: the system drive)")
          ->delimiter(',');
  deep.hivesOption = command
                         .add_option("--hives", deep.hives,
                                     "hives to walk: HKEY_LOCAL_MACHINE,HKEY_USERS (default: HKEY_LOCAL_MACHINE)")
                         ->delimiter(',');
  command.add_flag(
      "--verbose", deep.verbose,
      "print the registry walk's native and Win32 lists of each invisible entry on standard error");
}

std::optional<DeepSelection> CheckDeepSelection(const DeepOptions& deep) {
  try {
    DeepSelection s;
    s.drives = Given(deep.drivesOption) ? CheckDrives(deep.drives)
                                        : CheckDrives({results::ExpandPathMacros("<$SYSDRIVE>")});
    s.hives = Given(deep.hivesOption) ? CheckHives(deep.hives) : std::vector<std::string>{"HKEY_LOCAL_MACHINE"};
    return s;
  } catch (const SelectionError& e) {
    std::cerr << "umbrascopec: " << e.message << "\n";
    return std::nullopt;
  }
}

DeepScanRun::DeepScanRun()
    : progress_(std::make_unique<ProgressLines>(false)),
      mailbox_(std::make_shared<app::TMailboxSynchronizer>()),
      session_(mailbox_) {}

DeepScanRun::~DeepScanRun() = default;

bool DeepScanRun::Run(const DeepSelection& selection, const DeepOptions& deep, bool quiet) {
  progress_ = std::make_unique<ProgressLines>(!quiet && StandardErrorIsTerminal());
  // Set explicitly: the scanner's own look at the command line knows "-verbose" and
  // "/verbose", not this program's "--verbose".
  session_.Verbose = deep.verbose;
  session_.OnVerbose = [this](const std::string& caption, const std::string& text) {
    std::string shown;
    for (char c : app::ShowZeros(app::Utf8FromCodePage(text)))
      if (c != '\r') shown += c;
    std::lock_guard lock(errLock_);
    progress_->Clear();
    std::cerr << app::Utf8FromCodePage(caption) << ":\n" << shown << "\n" << std::flush;
  };

  CatchInterrupt();
  const auto started = std::chrono::steady_clock::now();
  auto nextDraw = started;
  bool stopping = false;
  session_.StartScan(selection.drives, selection.hives);
  while (session_.Running()) {
    if (!stopping && InterruptRequested()) {
      // Both walks end after their current folder or key; what they report until then counts.
      session_.Terminate();
      stopping = true;
    }
    mailbox_->RunNext(std::chrono::milliseconds(100));
    const auto now = std::chrono::steady_clock::now();
    if (now >= nextDraw) {
      std::lock_guard lock(errLock_);
      progress_->Draw(session_, now - started);
      nextDraw = now + std::chrono::milliseconds(200);
    }
  }
  std::lock_guard lock(errLock_);
  progress_->Clear();
  return stopping;
}

}  // namespace cli
