// What a simulated machine has without being told: XP's shell folders and generated 8.3 names.
#include <unordered_map>
#include <string_view>

#include "platform/sim/builder.h"

namespace sim {

std::map<int, std::u16string> DefaultShellFolders(const SystemFacts& system) {
  const std::u16string& windows = system.windowsDirectory;
  const std::u16string drive = windows.size() >= 2 && windows[1] == u':' ? windows.substr(0, 2) : u"C:";
  const std::u16string profiles = drive + u"\\Documents and Settings";
  const std::u16string user = profiles + u"\\" + system.userName;
  const std::u16string all = profiles + u"\\All Users";
  const std::u16string programs = drive + u"\\Program Files";
  return {
      {0, user + u"\\Desktop"},  // the shell's desktop answers with the desktop folder
      {2, user + u"\\Start Menu\\Programs"},
      {5, user + u"\\My Documents"},
      {6, user + u"\\Favorites"},
      {7, user + u"\\Start Menu\\Programs\\Startup"},
      {8, user + u"\\Recent"},
      {9, user + u"\\SendTo"},
      {11, user + u"\\Start Menu"},
      {13, user + u"\\My Documents\\My Music"},
      {14, user + u"\\My Documents\\My Videos"},
      {16, user + u"\\Desktop"},
      {19, user + u"\\NetHood"},
      {20, windows + u"\\Fonts"},
      {21, user + u"\\Templates"},
      {22, all + u"\\Start Menu"},
      {23, all + u"\\Start Menu\\Programs"},
      {24, all + u"\\Start Menu\\Programs\\Startup"},
      {25, all + u"\\Desktop"},
      {26, user + u"\\Application Data"},
      {27, user + u"\\PrintHood"},
      {28, user + u"\\Local Settings\\Application Data"},
      {31, all + u"\\Favorites"},
      {32, user + u"\\Local Settings\\Temporary Internet Files"},
      {33, user + u"\\Cookies"},
      {34, user + u"\\Local Settings\\History"},
      {35, all + u"\\Application Data"},
      {36, windows},
      {37, system.systemDirectory},
      {38, programs},
      {39, user + u"\\My Documents\\My Pictures"},
      {40, user},
      {43, programs + u"\\Common Files"},
      {45, all + u"\\Templates"},
      {46, all + u"\\Documents"},
      {53, all + u"\\Documents\\My Music"},
      {54, all + u"\\Documents\\My Pictures"},
      {55, all + u"\\Documents\\My Videos"},
      {62, profiles},
  };
}

namespace {
constexpr std::u16string_view kShortNameSpecials = u"!#$%&'()-@^_`{}~";

bool ShortNameChar(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         kShortNameSpecials.find(c) != std::u16string_view::npos;
}

// Upper case, blanks and dots dropped, characters an 8.3 name cannot hold as "_".
std::u16string CleanShortPart(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s) {
    if (c == u' ' || c == u'.') continue;
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    out += ShortNameChar(c) ? c : u'_';
  }
  return out;
}
}  // namespace

bool IsShortName(std::u16string_view name) {
  const std::size_t dot = name.find(u'.');
  const std::u16string_view stem = name.substr(0, dot);
  const std::u16string_view ext = dot == std::u16string_view::npos ? u"" : name.substr(dot + 1);
  if (stem.empty() || stem.size() > 8 || ext.size() > 3) return false;
  if (dot != std::u16string_view::npos && ext.empty()) return false;  // a trailing dot
  for (char16_t c : stem)
    if (!ShortNameChar(c)) return false;
  for (char16_t c : ext)
    if (!ShortNameChar(c)) return false;  // also refuses a second dot
  return true;
}

std::u16string GenerateShortName(std::u16string_view name,
                                 const std::function<bool(const std::u16string&)>& taken,
                                 std::unordered_map<std::u16string, unsigned>* nextTry) {
  // The extension is what follows the last dot, unless that dot leads the name (".profile").
  const std::size_t dot = name.rfind(u'.');
  const bool hasExt = dot != std::u16string_view::npos && dot != 0;
  std::u16string stem = CleanShortPart(hasExt ? name.substr(0, dot) : name);
  std::u16string ext;
  if (hasExt) ext = CleanShortPart(name.substr(dot + 1)).substr(0, 3);
  if (stem.empty()) stem.push_back(u'_');
  // Within one folder the taken set only grows. A candidate depends only on its base (the
  // stem cut to leave room for "~n"), n and the extension, so once a candidate is known taken,
  // every later name that reaches the same base with numbers of the same length can start
  // past it: a folder of many similar names stays linear instead of quadratic.
  for (unsigned n = 1;;) {
    std::u16string tail = u"~";
    for (char c : std::to_string(n)) tail += static_cast<char16_t>(c);
    std::u16string candidate = stem.substr(0, 8 - tail.size());
    // Numbers of one length on one base form one sequence; a shorter stem can reach the same
    // base with fewer digits, which is another sequence.
    const std::u16string key = candidate + u'~' + static_cast<char16_t>(u'0' + tail.size()) + u'.' + ext;
    if (nextTry != nullptr) {
      if (auto it = nextTry->find(key); it != nextTry->end() && it->second > n) {
        n = it->second;  // the tail may grow, and with it the base: work the candidate out again
        continue;
      }
    }
    candidate += tail;
    if (!ext.empty()) {
      candidate += u'.';
      candidate += ext;
    }
    const bool free = !taken(candidate);
    if (nextTry != nullptr) (*nextTry)[key] = n + 1;
    if (free) return candidate;
    ++n;
  }
}

}  // namespace sim
