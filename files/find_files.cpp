// File searches by match rule over the Win32 find functions.
#include "files/find_files.h"

#include <deque>

#include "base/match_rules.h"
#include "platform/handles.h"

namespace files {

namespace {

constexpr std::string_view kRegexPrefix = "<regexpr>";
constexpr std::string_view kDoubled = "\\\\";  // a path separator inside a "<regexpr>" pattern

// A pattern taken apart: the folder to list (single backslashes, ending in one unless empty),
// the name part after it, and the rule the entries' full paths must satisfy.
struct Parts {
  std::string prefix;      // "", a prefix up to its ">", or "<regexpr>"
  std::string folderText;  // the folder as written in the pattern (doubled separators for regexpr)
  std::string folder;
  std::string name;
};

std::string Undouble(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text.substr(i, 2) == kDoubled) ++i;
  }
  return out;
}

Parts Split(std::string_view pattern) {
  Parts p;
  if (pattern.starts_with(kRegexPrefix)) {
    p.prefix = kRegexPrefix;
    const std::string_view rest = pattern.substr(kRegexPrefix.size());
    const std::size_t sep = rest.rfind(kDoubled);
    const std::size_t nameAt = sep == std::string_view::npos ? 0 : sep + kDoubled.size();
    p.folderText = rest.substr(0, nameAt);
    p.folder = Undouble(p.folderText);
    p.name = rest.substr(nameAt);
    return p;
  }
  std::string_view rest = pattern;
  if (pattern.starts_with('<')) {
    const std::size_t close = pattern.find('>');
    const std::size_t restAt = close == std::string_view::npos ? pattern.size() : close + 1;
    p.prefix = pattern.substr(0, restAt);
    rest = pattern.substr(restAt);
  }
  const std::size_t slash = rest.rfind('\\');
  const std::size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
  p.folderText = p.folder = rest.substr(0, nameAt);
  p.name = rest.substr(nameAt);
  return p;
}

// The entry name as the 8-bit find record gives it to a zero-terminated reader, without the
// blanks and control characters around it.
std::string EntryName(const platform::Kernel32::FindDataA& rec) {
  std::string_view name(rec.fileName);
  name = name.substr(0, name.find('\0'));
  auto low = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!name.empty() && low(name.front())) name.remove_prefix(1);
  while (!name.empty() && low(name.back())) name.remove_suffix(1);
  return std::string(name);
}

// Lists `mask` and keeps the wanted entries; with a rule, only those whose full path satisfies it.
std::vector<std::string> Search(const std::string& folder, const std::string& mask, const std::string* rule,
                                bool includeFiles, bool includeFolders, int resultForm) {
  std::vector<std::string> out;
  if (resultForm != 0 && resultForm != 1) return out;
  auto& k32 = platform::Current().kernel32;
  platform::Kernel32::FindDataA rec;
  platform::FindHandle find(k32.FindFirstFileA(mask, rec));
  for (bool more = static_cast<bool>(find); more; more = k32.FindNextFileA(find.get(), rec)) {
    const std::string name = EntryName(rec);
    const bool isFolder = (rec.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!(isFolder ? includeFolders : includeFiles)) continue;
    if (rule != nullptr && !base::MatchRule(folder + name, *rule, true, 1)) continue;
    out.push_back(resultForm == 0 ? name : folder + name);
  }
  return out;
}

// A folder name put into a regular expression so that it matches only itself, its separators
// doubled as the pattern writes them.
std::string RegexLiteral(std::string_view path) {
  static constexpr std::string_view kSpecial = "^$.|?*+()[]{}";
  std::string out;
  for (char c : path) {
    if (c == '\\')
      out += kDoubled;
    else {
      if (kSpecial.find(c) != std::string_view::npos) out += '\\';
      out += c;
    }
  }
  return out;
}

bool IsDotPath(std::string_view path) {
  return path == "." || path == ".." || path.ends_with("\\.") || path.ends_with("\\..");
}

}  // namespace

std::vector<std::string> FindFiles(std::string_view pattern, bool includeFiles, bool includeFolders,
                                   int resultForm) {
  const Parts p = Split(pattern);
  if (p.prefix.empty())
    return Search(p.folder, std::string(pattern), nullptr, includeFiles, includeFolders, resultForm);
  const std::string rule(pattern);
  return Search(p.folder, p.folder + "*.*", &rule, includeFiles, includeFolders, resultForm);
}

std::vector<std::string> FindFilesTree(std::string_view pattern, bool includeFiles, bool includeFolders,
                                       bool walkSubfolders, bool fullPaths) {
  const Parts p = Split(pattern);
  const std::string& base = p.folder;
  std::vector<std::string> out;
  std::deque<std::string> queue{base};
  while (!queue.empty()) {
    const std::string folder = std::move(queue.front());
    queue.pop_front();
    const std::string below = folder.substr(base.size());
    auto take = [&](const std::vector<std::string>& found) {
      for (const std::string& path : found) {
        if (IsDotPath(path)) continue;
        out.push_back(fullPaths ? path : below + path.substr(folder.size()));
      }
    };
    if (includeFiles || includeFolders) {
      std::string rule, mask;
      if (p.prefix.empty()) {
        mask = folder + p.name;
      } else {
        // A folder found by the walk goes into the rule as the literal it is: a name such as
        // "a (1)" or "[x" must neither change what the expression matches nor break it.
        const std::string folderRule = p.prefix == kRegexPrefix ? p.folderText + RegexLiteral(below) : folder;
        rule = p.prefix + folderRule + p.name;
        mask = folder + "*.*";
      }
      const std::string* r = p.prefix.empty() ? nullptr : &rule;
      if (includeFiles) take(Search(folder, mask, r, true, false, 1));
      if (includeFolders) take(Search(folder, mask, r, false, true, 1));
    }
    if (walkSubfolders)
      // Every subfolder is walked whatever the rule says about its name: the rule picks results,
      // not the folders to look in.
      for (const std::string& sub : Search(folder, folder + "*.*", nullptr, false, true, 1))
        if (!IsDotPath(sub)) queue.push_back(sub + "\\");
  }
  return out;
}

}  // namespace files
