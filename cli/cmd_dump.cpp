// The dump command: a process's main image copied out of its memory, saved with its file layout rebuilt.
#include <filesystem>
#include <iostream>
#include <string>

#include "app/process_dump.h"
#include "app/text.h"
#include "cli/commands.h"
#include "cli/out_file.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

struct DumpOptions {
  std::uint32_t pid = 0;
  std::string out;
};

fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Shown(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

// The last part of a proposed name, which is a path on the machine the process runs on.
std::u16string LastPart(const std::u16string& name) {
  const auto cut = name.find_last_of(u"\\/");
  return cut == std::u16string::npos ? name : name.substr(cut + 1);
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::symlink_status(p, ec).type() != fs::file_type::not_found && !ec;
}

int RunDump(const Options& o, const DumpOptions& d) {
  const fs::path out = PathOf(d.out);
  std::error_code ec;
  const bool folder = fs::is_directory(out, ec);
  // Said before the process is read; the write checks again.
  if (!folder && Exists(out)) {
    std::cerr << "umbrascopec: " << Shown(out) << " already exists; dump never replaces a file\n";
    return kExitError;
  }
  const app::ProcessDump dump = app::DumpProcess(d.pid);
  if (!dump.ok) {
    std::cerr << "umbrascopec: " << app::DumpFailedMessage(d.pid) << "\n";
    return kExitError;
  }
  fs::path target = out;
  if (folder) {
    std::u16string name = LastPart(dump.proposedName);
    if (name.empty()) {
      // Nothing names the image: the process ID does.
      const std::string pid = std::to_string(d.pid);
      name = u"process-" + std::u16string(pid.begin(), pid.end()) + u".bin";
    }
    target = out / PathOf(app::Utf8(name));
    if (Exists(target)) {
      std::cerr << "umbrascopec: " << Shown(target) << " already exists; dump never replaces a file\n";
      return kExitError;
    }
  }
  std::string error;
  const std::string_view bytes(reinterpret_cast<const char*>(dump.bytes.data()), dump.bytes.size());
  if (!WriteReportFile(target, bytes, false, error)) {
    const std::string force = "; use --force to replace it";
    if (error.ends_with(force))
      error.replace(error.size() - force.size(), force.size(), "; dump never replaces a file");
    std::cerr << "umbrascopec: " << error << "\n";
    return kExitError;
  }
  std::cout << Shown(target) << "\n";
  if (!o.quiet)
    std::cerr << "Process " << d.pid << ": " << dump.bytes.size()
              << " bytes of its image, sections at their file positions (close to the file it was started "
                 "from, not identical)\n";
  return kExitClean;
}

}  // namespace

void AddDumpCommand(CLI::App& app) {
  static Options options;
  static DumpOptions dump;
  auto* command = app.add_subcommand(
      "dump", "save the in-memory image of a process as a file with its sections at their file positions");
  command->add_option("PID", dump.pid, "process ID")->required();
  command->add_option("--out", dump.out, "the file to write, or a folder for the proposed name")->required();
  AddCommonOptions(*command, options, false);
  SetAction(*command, options, [](const Options& o) { return RunDump(o, dump); });
}

}  // namespace cli
