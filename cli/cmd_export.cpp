// The export command: registry-editor text of a key, for help requests.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "cli/host.h"
#include "platform/platform.h"
#include "registry/reg_export.h"
#include "registry/win32_registry.h"

namespace cli {
namespace {

// Arguments come in the system code page on Windows and as UTF-8 elsewhere; keys are looked up
// in the code page of the machine being scanned.
std::string ToSystemCodePage(const std::string& arg) {
  if (ArgumentCodePage() == platform::CP_ACP) return arg;
  auto& k32 = platform::Current().kernel32;
  return k32.WideCharToMultiByte(platform::CP_ACP, k32.MultiByteToWideChar(ArgumentCodePage(), arg));
}

std::string Cause(platform::DWORD error) {
  switch (error) {
    case platform::ERROR_FILE_NOT_FOUND:
      return "the key does not exist";
    case platform::ERROR_ACCESS_DENIED:
      return "access is denied";
    default:
      return "error " + std::to_string(error);
  }
}

int ExportKeyCommand(const std::string& target, bool view64) {
  std::string text = ToSystemCodePage(target);
  if (text.find('\\') == std::string::npos) text += '\\';  // a hive on its own
  platform::HKEY root = 0;
  std::string keyPath;
  if (!registry::SplitKeyText(text, root, keyPath)) {
    std::cerr << "umbrascopec: " << target
              << ": not a registry key (expected a hive such as HKEY_LOCAL_MACHINE or HKLM, then \\ and the "
                 "path)\n";
    return kExitError;
  }
  registry::TMyRegistry probe;
  probe.SetRootKey(root);
  probe.SetBitness(view64 ? 64 : 32);
  if (!probe.OpenKeyReadOnly(keyPath)) {
    // Once more, for the cause.
    registry::RegKeyHandle key;
    const std::string sub = keyPath.starts_with('\\') ? keyPath.substr(1) : keyPath;
    const platform::DWORD error = platform::Current().advapi32.RegOpenKeyExA(
        root, sub, 0, platform::KEY_READ | (view64 ? platform::KEY_WOW64_64KEY : 0), key.put());
    std::cerr << "umbrascopec: cannot open key " << registry::RootKeyName(root) << keyPath << ": "
              << Cause(error) << "\n";
    return kExitError;
  }
  probe.CloseKey();

  // The text is a .reg file as the registry editor reads it: 8-bit, CR LF line ends.
  std::ostringstream out;
  out << "REGEDIT4\r\n";
  registry::ExportKey(root, keyPath, true, view64, false, out);
  const std::string bytes = out.str();
  SetBinaryStandardOutput();
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
  return kExitClean;
}

}  // namespace

void AddExportCommands(CLI::App& app) {
  static Options options;
  static std::string target;
  static bool view64 = false;
  auto* exportCommand = app.add_subcommand("export", "write registry-editor (.reg) text to standard output");
  exportCommand->require_subcommand(1);
  auto* key = exportCommand->add_subcommand("key", "a key with its values and all its subkeys, recursively");
  key->add_option("TARGET", target, "the key, e.g. HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run")
      ->required();
  key->add_flag("--view64", view64, "read the 64-bit registry view");
  AddCommonOptions(*key, options, false);
  SetAction(*key, options, [](const Options&) { return ExportKeyCommand(target, view64); });
}

}  // namespace cli
