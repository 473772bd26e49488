// The macro table, the variant groups and the expansions of texts that name system folders by macro.
#include "results/path_macros.h"

#include <algorithm>
#include <cstddef>

#include "base/names.h"

namespace results {
namespace {

constexpr std::string_view kRegExpr = "<regexpr>";

// The names and values are 8-bit texts in the system code page, compared as the system does.
int CompareText(std::string_view a, std::string_view b) { return base::CompareIgnoringCase(a, b); }
bool SameText(std::string_view a, std::string_view b) { return base::SameIgnoringCase(a, b); }

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Position of `what` in `text` from `from` on, ignoring the letter case of ASCII letters
// (macro names are ASCII).
std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from = 0) {
  if (what.empty() || what.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < what.size() && AsciiUpper(text[i + k]) == AsciiUpper(what[k])) ++k;
    if (k == what.size()) return i;
  }
  return std::string_view::npos;
}

// Every occurrence of `name`, in any letter case, replaced by `value`; inserted text is not
// searched again.
std::string ReplaceAllNoCase(std::string_view text, std::string_view name, std::string_view value) {
  std::string out;
  std::size_t pos = 0;
  for (std::size_t hit; (hit = FindNoCase(text, name, pos)) != std::string_view::npos;
       pos = hit + name.size()) {
    out.append(text.substr(pos, hit - pos));
    out.append(value);
  }
  out.append(text.substr(pos));
  return out;
}

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
  for (std::size_t pos = 0; (pos = text.find(what, pos)) != std::string::npos; pos += with.size())
    text.replace(pos, what.size(), with);
  return text;
}

}  // namespace

std::string EscapeForRegExpr(std::string_view value) {
  std::string s = ReplaceAll(std::string(value), "\\", "\\\\");
  s = ReplaceAll(std::move(s), "(", "\\(");
  s = ReplaceAll(std::move(s), ")", "\\)");
  return ReplaceAll(std::move(s), ".", "\\.");
}

std::vector<TMacroTable::Line>::iterator TMacroTable::Find(std::string_view name) {
  return std::find_if(lines_.begin(), lines_.end(), [&](const Line& l) { return SameText(l.name, name); });
}

std::string TMacroTable::Value(std::string_view name) const {
  for (const auto& l : lines_)
    if (SameText(l.name, name)) return l.value;
  return {};
}

void TMacroTable::SetValue(std::string_view name, std::string_view value) {
  auto it = Find(name);
  if (value.empty()) {
    if (it != lines_.end()) lines_.erase(it);
  } else if (it != lines_.end()) {
    it->value = std::string(value);
  } else {
    Append(name, value);
  }
}

void TMacroTable::Append(std::string_view name, std::string_view value) {
  lines_.push_back(Line{std::string(name), std::string(value)});
}

void TMacroGroups::Merge(const TMacroTable& table) {
  for (const auto& line : table.Lines()) {
    auto g = std::find_if(groups_.begin(), groups_.end(),
                          [&](const Group& x) { return SameText(x.name, line.name); });
    if (g == groups_.end()) {
      groups_.push_back(Group{line.name, {}});
      g = std::prev(groups_.end());
    }
    auto& values = g->values;
    auto at =
        std::lower_bound(values.begin(), values.end(), line.value,
                         [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    if (at == values.end() || CompareText(*at, line.value) != 0) values.insert(at, line.value);
  }
}

std::string ExpandPathMacros(std::string_view text) {
  const auto& lines = PathMacroTable().Lines();
  const bool escape = text.starts_with(kRegExpr) ||
                      text.find(std::string("=") + std::string(kRegExpr)) != std::string_view::npos;
  std::string out(text);
  for (std::size_t i = lines.size(); i-- > 0;) {
    const auto& line = lines[i];
    if (out.find(line.name) == std::string::npos) continue;
    // A line left empty by a later pass must not hide a value an earlier line holds: the
    // last non-empty line decides, and a macro that only ever had empty lines expands to "".
    if (line.value.empty() && std::any_of(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(i),
                                          [&](const TMacroTable::Line& l) {
                                            return !l.value.empty() && SameText(l.name, line.name);
                                          }))
      continue;
    out = ReplaceAllNoCase(out, line.name, escape ? EscapeForRegExpr(line.value) : line.value);
  }
  return out;
}

namespace {

// A text during the variant expansion, with the spans that came from inserted values. Those
// spans are never searched for macros: a folder whose name looks like a macro (registry data
// can say anything) cannot make the expansion repeat itself forever.
struct Variant {
  std::string text;
  std::vector<std::pair<std::size_t, std::size_t>> inserted;  // [begin, end)

  // First occurrence of `name` that does not touch an inserted span.
  std::size_t Find(std::string_view name) const {
    for (std::size_t pos = text.find(name); pos != std::string::npos; pos = text.find(name, pos + 1)) {
      const bool clear = std::none_of(inserted.begin(), inserted.end(), [&](const auto& r) {
        return pos < r.second && r.first < pos + name.size();
      });
      if (clear) return pos;
    }
    return std::string::npos;
  }

  Variant Replaced(std::size_t pos, std::size_t length, const std::string& value) const {
    Variant v{text, {}};
    v.text.replace(pos, length, value);
    for (auto r : inserted) {
      if (r.first >= pos + length) {
        r.first = r.first - length + value.size();
        r.second = r.second - length + value.size();
      }
      v.inserted.push_back(r);
    }
    v.inserted.emplace_back(pos, pos + value.size());
    return v;
  }
};

}  // namespace

void ExpandPathMacroVariants(std::string_view text, std::vector<std::string>& list) {
  const auto& groups = PathMacroGroups().Groups();
  const bool escape = text.starts_with(kRegExpr);
  // Only the entries of this call are expanded; what the caller's list already holds stays.
  std::vector<Variant> work{Variant{std::string(text), {}}};
  for (;;) {
    const TMacroGroups::Group* group = nullptr;
    std::size_t entry = work.size(), pos = std::string::npos;
    for (std::size_t i = work.size(); i-- > 0 && group == nullptr;) {
      for (const auto& g : groups) {
        pos = work[i].Find(g.name);
        if (pos != std::string::npos) {
          group = &g;
          entry = i;
          break;
        }
      }
    }
    if (group == nullptr) break;
    const Variant source = std::move(work[entry]);
    work.erase(work.begin() + static_cast<std::ptrdiff_t>(entry));
    for (const auto& value : group->values)
      work.push_back(source.Replaced(pos, group->name.size(), escape ? EscapeForRegExpr(value) : value));
  }
  for (auto& v : work) list.push_back(std::move(v.text));
}

void ExpandPathMacroList(std::vector<std::string>& lines) {
  for (std::size_t i = lines.size(); i-- > 0;) {
    if (lines[i].find("<$") == std::string::npos) continue;
    std::vector<std::string> variants;
    ExpandPathMacroVariants(lines[i], variants);
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i), variants.begin(), variants.end());
  }
}

}  // namespace results
