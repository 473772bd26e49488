// The catalogue of known findings: the built-in INI text, read once into the entries the lookup needs.
#include "results/catalogue.h"

#include <utility>

#include "results/path_macros.h"

namespace results {

extern const std::string_view kResultInfoIni;  // generated from resources/result-info.ini

std::string_view ResultInfoIniText() { return kResultInfoIni; }

namespace {

// INI section and key names compare without regard to letter case; they are ASCII.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Lines end in CR LF; a lone LF ends one too, and the last line may have no end at all.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The in-memory INI document: sections in the order first met (a section named twice gets
// the keys of both), each with its key=value pairs in order.
struct TIniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;

  // A key given twice reads as its first occurrence.
  const std::string* Read(std::string_view key) const {
    for (const auto& [k, v] : keys)
      if (SameName(k, key)) return &v;
    return nullptr;
  }
};

std::vector<TIniSection> ParseIni(const std::vector<std::string>& lines) {
  std::vector<TIniSection> sections;
  TIniSection* current = nullptr;
  for (const std::string& raw : lines) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      const std::string_view name = line.substr(1, line.size() - 2);
      current = nullptr;
      for (auto& s : sections)
        if (SameName(s.name, name)) current = &s;
      if (current == nullptr) current = &sections.emplace_back(TIniSection{std::string(name), {}});
      continue;
    }
    const std::size_t eq = line.find('=');
    if (current == nullptr || eq == std::string_view::npos) continue;  // no section yet, or no key
    current->keys.emplace_back(std::string(Trim(line.substr(0, eq))), std::string(line.substr(eq + 1)));
  }
  return sections;
}

}  // namespace

void TResultInfoCatalogue::LoadCatalogue() { LoadFromText(ResultInfoIniText()); }

void TResultInfoCatalogue::LoadFromText(std::string_view iniText) {
  entries_.clear();
  try {
    std::vector<std::string> lines = SplitLines(iniText);
    ExpandPathMacroList(lines);
    std::vector<TEntry> entries;
    for (const TIniSection& section : ParseIni(lines)) {
      TEntry entry;
      // Location0, Location1, ...: the first missing number ends the list.
      for (unsigned n = 0;; ++n) {
        const std::string* location = section.Read("Location" + std::to_string(n));
        if (location == nullptr) break;
        std::string key = *location;
        // "\0" stands for one zero character, and only its first occurrence does.
        if (const std::size_t at = key.find("\\0"); at != std::string::npos) key.replace(at, 2, 1, '\0');
        entry.locations.push_back(std::move(key));
      }
      const std::string* product = section.Read("Product");
      const std::string* details = section.Read("Details");
      entry.product = product != nullptr ? *product : "Unknown product";
      entry.details = details != nullptr ? *details : "No details available.";
      entries.push_back(std::move(entry));
    }
    entries_ = std::move(entries);
  } catch (...) {
    entries_.clear();  // a damaged catalogue is an empty one: rows simply get no mark
  }
}

bool TResultInfoCatalogue::Lookup(std::string_view rowKey, std::string& product, std::string& details) const {
  // Every section is looked at, so the last one that matches decides.
  const TEntry* hit = nullptr;
  for (const TEntry& entry : entries_)
    for (const std::string& location : entry.locations)
      if (location == rowKey) {  // exact bytes: letter case counts, "?" and "*" are literal
        hit = &entry;
        break;
      }
  if (hit == nullptr) return false;
  product = hit->product;
  details = hit->details;
  return true;
}

bool TResultInfoCatalogue::Empty() const { return entries_.empty(); }

}  // namespace results
