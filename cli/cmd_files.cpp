// The files commands of the console program: the native facts and the data streams of one file.
#include <algorithm>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/text.h"
#include "base/names.h"
#include "cli/commands.h"
#include "files/ads.h"
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
  for (const auto& entry : e.Entries)
    if (base::SameIgnoringCase(entry.Name, name)) return entry;
  return std::nullopt;
}

// Every stream of `path`, all kinds, in the order the system lists them.
nlohmann::json Streams(const std::u16string& path) {
  files::TFileADSList list;
  list.Refresh(std::u16string_view(path), files::TFileADSList::kAllKinds);
  nlohmann::json out = nlohmann::json::array();
  for (int i = 0; i < list.Count(); ++i) {
    const auto& e = list.Items(i);
    out.push_back({{"name", app::Utf8(e.WideName)},
                   {"size", e.Size},
                   {"kind", e.StreamID},
                   {"kindName", files::TFileADSList::StreamKindName(e.StreamID)},
                   {"known", files::TFileADSList::IsKnownStream(e)}});
  }
  return out;
}

// Terminal columns of a UTF-8 text, near enough for aligning names: one per code point.
std::size_t Columns(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(
      utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// One line per stream: name (zero characters made visible), size, kind, and whether the name
// is one ordinary software creates.
void PrintStreams(const nlohmann::json& streams) {
  std::cout << "streams: " << streams.size() << "\n";
  std::size_t width = 0;
  std::vector<std::string> names;
  for (const auto& s : streams) {
    names.push_back(s["name"].get<std::string>().empty() ? "(unnamed)"
                                                         : app::ShowZeros(s["name"].get<std::string>()));
    width = std::max(width, Columns(names.back()));
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto& s = streams[i];
    std::cout << "  " << names[i] << std::string(width - Columns(names[i]), ' ') << "  " << std::setw(12)
              << s["size"].get<std::int64_t>() << "  " << s["kindName"].get<std::string>()
              << (s["known"].get<bool>() ? "  (known)" : "") << "\n";
  }
}

}  // namespace

void AddFileCommands(CLI::App& /*app*/, CLI::App& show, CLI::App& /*remove*/) {
  static Options options;
  static std::string path;
  auto* file = show.add_subcommand("file", "print the native facts and the data streams of one file");
  file->add_option("PATH", path, "full Win32 path of the file")->required();
  AddCommonOptions(*file, options);
  SetAction(*file, options, [](const Options& o) {
    auto& k32 = platform::Current().kernel32;
    const std::u16string widePath = k32.MultiByteToWideChar(platform::CP_UTF8, path);
    const auto facts = NativeFacts(widePath);
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
    const nlohmann::json streams = Streams(widePath);
    if (o.json) {
      j["streams"] = streams;
      std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
      for (const auto& [key, value] : j.items())
        std::cout << key << ": "
                  << (value.is_string() ? app::ShowZeros(value.get<std::string>()) : value.dump()) << "\n";
      PrintStreams(streams);
    }
    return kExitClean;
  });
}

}  // namespace cli
