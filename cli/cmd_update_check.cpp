// `update-check`: asks our update server whether a newer version exists, and downloads it on request.
#include <iostream>
#include <optional>
#include <string>

#include "app/text.h"
#include "app/update_check.h"
#include "cli/commands.h"

namespace cli {
namespace {

struct UpdateOptions {
  std::optional<std::string> server;
  bool download = false;
};

// The product name the server sees, as the desktop program sends it.
constexpr const char* kUserAgent = "Umbrascope";

int RunUpdateCheck(const UpdateOptions& u) {
  const std::string address = app::UpdateAddress(app::UpdateServer(u.server));
  const app::UpdateDecision d = app::CheckForUpdates(address, UMBRA_VERSION, kUserAgent);
  switch (d.outcome) {
    case app::UpdateOutcome::kSearchFailed:
      std::cerr << app::Utf8FromCodePage(d.message) << "\n";
      return kExitError;
    case app::UpdateOutcome::kUpToDate:
      std::cout << app::Utf8FromCodePage(d.message) << "\n";
      return kExitClean;
    case app::UpdateOutcome::kNewerNoUrl:
      std::cout << app::Utf8FromCodePage(d.message) << "\n";
      return kExitFound;
    case app::UpdateOutcome::kNewerOffer:
      break;
  }
  // A console has no Yes/No box: the offer is the address, and --download is the Yes.
  std::cout << app::Utf8FromCodePage("There's a new version, " + d.version + ", available.\n" + d.notifyText)
            << "\nDownload: " << app::Utf8FromCodePage(d.url) << "\n";
  if (!u.download) return kExitFound;
  std::cout.flush();
  // Saved, never started: whoever runs this decides what to do with the file.
  const app::DownloadResult r = app::DownloadUpdate(d, app::DesktopFolder(), kUserAgent);
  if (!r.ok) {
    std::cerr << app::Utf8FromCodePage(r.message) << "\n";
    return kExitError;
  }
  std::cout << app::Utf8FromCodePage(r.message) << "\n";
  std::cerr << "umbrascopec: saved as " << app::Utf8FromCodePage(r.savedPath) << "\n";
  return kExitFound;
}

}  // namespace

void AddUpdateCheckCommand(CLI::App& app) {
  static Options options;
  static UpdateOptions update;
  auto* command = app.add_subcommand(
      "update-check", "ask the update server whether a newer version exists (exit 0 none, 1 newer, 2 error)");
  command->add_option("--server", update.server,
                      "the update server, e.g. https://host:port (default: the registry value "
                      "HKCU\\Software\\Umbrascope\\UpdateServer, else ours)");
  command->add_flag("--download", update.download,
                    "save a newer version on the desktop (it is never started)");
  AddCommonOptions(*command, options, false);
  SetAction(*command, options, [](const Options&) { return RunUpdateCheck(update); });
}

}  // namespace cli
