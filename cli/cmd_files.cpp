// The files commands of the console program: the native facts and the data streams of one file.
#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/file_properties.h"
#include "app/text.h"
#include "base/names.h"
#include "base/security_text.h"
#include "cli/commands.h"
#include "cli/confirm.h"
#include "cli/host.h"
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

// A path from the command line: "<NUL>" stands for a zero character, as the output shows it
// (no Win32 name can hold "<" or ">", so the spelling is never a name of its own).
std::u16string PathArgument(const std::string& arg) {
  std::u16string wide = platform::Current().kernel32.MultiByteToWideChar(platform::CP_UTF8, arg);
  for (std::size_t at = 0; (at = wide.find(u"<NUL>", at)) != std::u16string::npos; ++at)
    wide.replace(at, 5, 1, u'\0');
  return wide;
}

// The security tree as nested objects: {"text", "image", "children"}.
nlohmann::json SecurityTree(const std::vector<app::SecurityNode>& nodes, int parent) {
  nlohmann::json out = nlohmann::json::array();
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].parent == parent)
      out.push_back({{"text", app::Utf8FromCodePage(nodes[i].text)},
                     {"image", nodes[i].image},
                     {"children", SecurityTree(nodes, static_cast<int>(i))}});
  return out;
}

void PrintTree(const nlohmann::json& nodes, int depth) {
  for (const auto& n : nodes) {
    std::cout << std::string(2 + depth * 2, ' ') << n["text"].get<std::string>() << "\n";
    PrintTree(n["children"], depth + 1);
  }
}

nlohmann::json Properties(const app::FileProperties& f, const std::optional<files::TFileListEntry>& facts) {
  nlohmann::json j;
  if (facts) {
    j = {{"name", app::Utf8(facts->Name)},
         {"shortName", app::Utf8(facts->ShortName)},
         {"size", facts->Size},
         {"allocationSize", facts->AllocationSize},
         {"creationTime", facts->CreationTime},
         {"lastAccessTime", facts->LastAccessTime},
         {"lastWriteTime", facts->LastWriteTime},
         {"changeTime", facts->ChangeTime},
         {"attributes", facts->Attributes}};
  } else {
    j = {{"size", f.size},
         {"allocationSize", f.allocationSize},
         {"creationTime", f.creationTime},
         {"lastAccessTime", f.lastAccessTime},
         {"lastWriteTime", f.lastWriteTime},
         {"changeTime", f.changeTime}};
    if (f.attributes) j["attributes"] = *f.attributes;
  }
  j["fileName"] = app::Utf8(f.fileName);
  j["sizeText"] = app::SizeWithBytes(f.size);
  j["sizeOnDiskText"] = app::SizeWithBytes(f.allocationSize);
  j["created"] = app::DateTimeText(f.creationTime);
  j["accessed"] = app::DateTimeText(f.lastAccessTime);
  j["written"] = app::DateTimeText(f.lastWriteTime);
  j["changed"] = app::DateTimeText(f.changeTime);
  j["views"] = {{"native", f.nativeOpened}, {"win32Listing", f.win32Listed}, {"win32Open", f.win32Opened}};
  j["sddl"] = app::Utf8FromCodePage(f.sddl);
  j["security"] = SecurityTree(f.security, -1);
  return j;
}

}  // namespace

void AddFileCommands(CLI::App& /*app*/, CLI::App& show, CLI::App& remove) {
  static Options options;
  static std::string path;
  auto* file = show.add_subcommand("file", "print what the native and Win32 views say of one file");
  file->add_option("PATH", path, "full Win32 path of the file (<NUL> for a zero character)")->required();
  AddCommonOptions(*file, options);
  SetAction(*file, options, [](const Options& o) {
    const std::u16string widePath = PathArgument(path);
    const auto facts = NativeFacts(widePath);
    const app::FileProperties props = app::GatherFileProperties(widePath);
    if (!facts && !props.nativeOpened && !props.win32Listed && !props.win32Opened) {
      std::cerr << "umbrascopec: " << path << ": not found by the native listing of its folder\n";
      return kExitError;
    }
    nlohmann::json j = Properties(props, facts);
    const nlohmann::json streams = Streams(widePath);
    if (o.json) {
      j["streams"] = streams;
      std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
      return kExitClean;
    }
    for (const auto& [key, value] : j.items()) {
      if (key == "security" || key == "views") continue;
      std::cout << key << ": "
                << (value.is_string() ? app::ShowZeros(value.get<std::string>()) : value.dump()) << "\n";
    }
    std::cout << "views: native " << (props.nativeOpened ? "yes" : "no") << ", Win32 listing "
              << (props.win32Listed ? "yes" : "no") << ", Win32 open " << (props.win32Opened ? "yes" : "no")
              << "\n";
    std::cout << "security: " << (j["security"].empty() ? "(not readable)" : "") << "\n";
    PrintTree(j["security"], 0);
    PrintStreams(streams);
    return kExitClean;
  });

  static Options deleteOptions;
  static std::string deletePath;
  static bool yes = false;
  auto* del = remove.add_subcommand("file", "delete one file, natively first");
  del->add_option("PATH", deletePath, "full Win32 path of the file (<NUL> for a zero character)")->required();
  del->add_flag("--yes", yes, "delete without asking, even at a terminal");
  AddCommonOptions(*del, deleteOptions, false);
  SetAction(*del, deleteOptions, [](const Options& o) {
    const app::ResolvedFile target = app::ResolveOneFile(PathArgument(deletePath));
    const std::string shown = app::ShowZeros(deletePath);
    if (!target.error.empty()) {
      std::cerr << "umbrascopec: " << shown << ": " << target.error << "; nothing deleted\n";
      return kExitError;
    }
    if (!Confirmed("Delete the file " + shown + "?", yes)) {
      std::cerr << "umbrascopec: nothing deleted\n";
      return kExitError;
    }
    NoteSimulatedChange(o);
    const app::FileDeletion d = app::DeleteFileNativeFirst(target.path);
    if (!d.deleted) {
      char status[16];
      std::snprintf(status, sizeof status, "0x%08X", d.nativeStatus);
      std::cerr << "umbrascopec: " << app::kCouldNotDeleteFile << " " << shown << ": "
                << app::kCouldNotDeleteYet << " (native status " << status << ", DeleteFileW error "
                << d.win32Error << ": " << base::SystemErrorText(d.win32Error) << ")\n";
      return kExitError;
    }
    std::cout << "deleted: " << shown << (d.native ? " (native)" : " (Win32)") << "\n" << d.status << "\n";
    return kExitClean;
  });
}

}  // namespace cli
