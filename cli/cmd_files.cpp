// The files commands of the console program: the native facts of one file.
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/text.h"
#include "cli/commands.h"
#include "files/file_list.h"
#include "platform/platform.h"

namespace cli {

namespace {

// The native record of `path` from the level-3 listing of its folder, or nothing.
std::optional<files::TFileListEntry> NativeFacts(const std::u16string& path) {
  const std::size_t slash = path.rfind(u'\\');
  if (slash == std::u16string::npos || slash + 1 == path.size()) return std::nullopt;
  files::TNTFileEnumerator e;
  e.InformationLevel = 3;
  e.Enumerate(path.substr(0, slash + 1));
  const std::u16string name = path.substr(slash + 1);
  auto& k32 = platform::Current().kernel32;
  for (const auto& entry : e.Entries)
    if (k32.CompareStringW(platform::LOCALE_USER_DEFAULT, platform::NORM_IGNORECASE, entry.Name, name) ==
        platform::CSTR_EQUAL)
      return entry;
  return std::nullopt;
}

}  // namespace

void AddFileCommands(CLI::App& /*app*/, CLI::App& show) {
  static Options options;
  static std::string path;
  auto* file = show.add_subcommand("file", "print the native facts of one file");
  file->add_option("PATH", path, "full Win32 path of the file")->required();
  AddCommonOptions(*file, options);
  SetAction(*file, options, [](const Options& o) {
    auto& k32 = platform::Current().kernel32;
    const auto facts = NativeFacts(k32.MultiByteToWideChar(platform::CP_UTF8, path));
    if (!facts) {
      std::cerr << "umbrascopec: " << path << ": not found by the native listing of its folder\n";
      return kExitError;
    }
    nlohmann::json j = {{"name", app::Utf8(facts->Name)},
                        {"shortName", app::Utf8(facts->ShortName)},
                        {"size", facts->Size},
                        {"allocationSize", facts->AllocationSize},
                        {"creationTime", facts->CreationTime},
                        {"lastAccessTime", facts->LastAccessTime},
                        {"lastWriteTime", facts->LastWriteTime},
                        {"changeTime", facts->ChangeTime},
                        {"attributes", facts->Attributes}};
    if (o.json) {
      std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
      for (const auto& [key, value] : j.items())
        std::cout << key << ": "
                  << (value.is_string() ? app::ShowZeros(value.get<std::string>()) : value.dump()) << "\n";
    }
    return kExitClean;
  });
}

}  // namespace cli
