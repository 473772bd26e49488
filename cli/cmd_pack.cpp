// The pack command: the Deep Scan, then the archive of what it found. On a simulated machine the
// archive is written inside it and copied out to the real folder, which it never overwrites.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "app/pack.h"
#include "app/text.h"
#include "cli/commands.h"
#include "cli/deep_run.h"
#include "cli/host.h"
#include "cli/out_file.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "results/path_macros.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

struct PackOptions {
  std::optional<std::string> out;
};

std::string Shown(const std::string& codePageText) {
  return app::ShowZeros(app::Utf8FromCodePage(codePageText));
}

bool IsMachineFolder(const std::string& path) {
  const auto attributes = platform::Current().kernel32.GetFileAttributesA(path);
  return attributes != platform::INVALID_FILE_ATTRIBUTES &&
         (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The whole content of a file of the scanned machine.
std::optional<std::string> ReadMachineFile(const std::string& path, std::string& error) {
  std::string reason;
  auto bytes = app::ReadMachineFile(path, reason);
  if (!bytes) error = "cannot read " + Shown(path) + ": " + reason;
  return bytes;
}

// Where the archive is written on a simulated machine before it is copied out: its desktop,
// or the root of its system drive when the image has no desktop folder.
std::string SystemDriveRoot() {
  const std::string windows = platform::Current().kernel32.GetWindowsDirectoryA();
  return windows.size() >= 2 ? windows.substr(0, 2) + "\\" : std::string("C:\\");
}

int RunPack(const Options& o, const DeepOptions& d, const PackOptions& p) {
  const auto selection = CheckDeepSelection(d);
  if (!selection) return kExitError;
  const bool live = LiveSystemByDefault() && !o.image;

  // The folder is checked before the scan, not after it.
  std::optional<fs::path> realFolder;
  app::TPackPlace place;
  if (live) {
    if (p.out) {
      place.folder = *p.out;
      if (!IsMachineFolder(place.folder)) {
        std::cerr << "umbrascopec: " << *p.out << " is not a folder\n";
        return kExitError;
      }
    }
  } else {
    realFolder = fs::path(p.out ? *p.out : ".");
    std::error_code ec;
    if (!fs::is_directory(*realFolder, ec)) {
      std::cerr << "umbrascopec: " << realFolder->string() << " is not a folder\n";
      return kExitError;
    }
    const std::string desktop = results::ExpandPathMacros("<$DESKTOP>");
    place.folder = IsMachineFolder(desktop) ? desktop : SystemDriveRoot();
    place.nameTaken = [folder = *realFolder](const std::string& fileName) {
      // Anything but a plain "not there" (a dangling link, a folder that cannot be read) is taken.
      std::error_code probe;
      return fs::symlink_status(folder / app::Utf8FromCodePage(fileName), probe).type() !=
             fs::file_type::not_found;
    };
  }

  DeepScanRun run;
  const bool stopped = run.Run(*selection, d, o.quiet);
  app::TPackResult result;
  try {
    result = app::PackSuspiciousFiles(run.Session().Rows(), place);
  } catch (const app::PackError& e) {
    std::cerr << "umbrascopec: " << Shown(e.what()) << "\n";
    return kExitError;
  }

  std::string shownPath = Shown(result.archivePath);
  std::string message = result.message;
  if (realFolder) {
    std::string error;
    const auto bytes = ReadMachineFile(result.archivePath, error);
    const fs::path target = *realFolder / app::Utf8FromCodePage(result.fileName);
    if (!bytes || !WriteReportFile(target, *bytes, false, error)) {
      std::cerr << "umbrascopec: no archive was written: " << error << "\n";
      return kExitError;
    }
    std::error_code ec;
    const fs::path shown = fs::absolute(target, ec).lexically_normal();
    shownPath = (ec ? target : shown).string();
    message = app::PackMessage(Shown(result.fileName), (ec ? *realFolder : shown.parent_path()).string());
  }
  std::cout << shownPath << "\n";
  if (!o.quiet) std::cerr << message << "\n";
  for (const auto& e : result.notAdded)
    std::cerr << "umbrascopec: could not add " << Shown(e.path) << ": " << Shown(e.reason) << "\n";
  if (stopped) {
    std::cerr << "Stopped by Ctrl+C: the archive holds what was found until then.\n";
    return kExitInterrupted;
  }
  return result.notAdded.empty() ? kExitClean : kExitFound;
}

}  // namespace

void AddPackCommand(CLI::App& app) {
  static Options options;
  static DeepOptions deep;
  static PackOptions pack;
  auto* command = app.add_subcommand(
      "pack",
      "run the Deep Scan, then pack the files, folders, keys and values it found into a cabinet archive");
  AddCommonOptions(*command, options, false);
  command->add_option(
      "--out", pack.out,
      "the folder the archive goes into (default: the desktop; with a system image, the current "
      "folder)");
  AddDeepOptions(*command, deep);
  SetAction(*command, options, [](const Options& o) { return RunPack(o, deep, pack); });
}

}  // namespace cli
