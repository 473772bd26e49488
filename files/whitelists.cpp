// Built-in path whitelists: sorted insertion under the user's locale, drive-free matching.
#include "files/whitelists.h"

#include <algorithm>

#include "base/match_rules.h"
#include "platform/platform.h"
#include "results/path_macros.h"

namespace files {

namespace {

// CompareStringA result less 2: negative, zero or positive like strcmp.
int CompareIgnoringCase(std::string_view a, std::string_view b) {
  return platform::Current().kernel32.CompareStringA(platform::LOCALE_USER_DEFAULT, platform::NORM_IGNORECASE,
                                                     a, b) -
         platform::CSTR_EQUAL;
}

std::string_view WithoutFirst(std::string_view s) { return s.empty() ? s : s.substr(1); }

}  // namespace

void TDriveStrippedWhiteList::AddStripped(std::string_view path) { Add(WithoutFirst(path)); }

void TDriveStrippedWhiteList::Add(std::string_view entry) {
  const auto at = std::lower_bound(
      entries_.begin(), entries_.end(), entry,
      [](const std::string& e, std::string_view v) { return CompareIgnoringCase(e, v) < 0; });
  if (at != entries_.end() && CompareIgnoringCase(*at, entry) == 0) return;
  entries_.insert(at, std::string(entry));
}

bool TDriveStrippedWhiteList::Matches(std::string_view path) const {
  const std::string_view candidate = WithoutFirst(path);
  for (const std::string& e : entries_) {
    const bool wild = e.find_first_of("*?") != std::string::npos;
    if (wild ? base::MatchWildcard(candidate, e, true) : CompareIgnoringCase(e, candidate) == 0) return true;
  }
  return false;
}

TACLWhiteList::TACLWhiteList() {
  Add(":\\hiberfil.sys");
  Add(":\\USERDATA\\*");
  Add(":\\System Volume Information");
  Add(":\\Windows\\bthservsdp.dat");
  AddStripped(results::ExpandPathMacros("<$WINDIR>\\bthservsdp.dat"));
  Add(":\\Windows\\System32\\LogFiles\\WMI\\RtBackup");
  AddStripped(results::ExpandPathMacros("<$SYSDIR>\\LogFiles\\WMI\\RtBackup"));
  AddStripped(
      results::ExpandPathMacros("<$COMMONAPPDATA>\\Microsoft\\Network\\Connections\\Pbk\\rasphone.pbk"));
  AddStripped(results::ExpandPathMacros("<$COMMONAPPDATA>\\Microsoft\\Office\\Data\\*"));
}

TADSWhiteList::TADSWhiteList() {
  AddStripped(results::ExpandPathMacros("<$COMMONAPPDATA>\\TEMP:????????:$DATA"));
}

}  // namespace files
