// Path macros ("<$WINDIR>"): the start-up table of system folders and the three ways texts are expanded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace results {

// The macro table: ordered "<$NAME>=value" lines. One macro may have several lines; reading
// and changing a macro acts on its first line (names compare case-insensitively).
class TMacroTable {
 public:
  struct Line {
    std::string name;  // the whole macro, "<$" and ">" included
    std::string value;
  };
  // The first line's value; "" when there is none.
  std::string Value(std::string_view name) const;
  // A non-empty value replaces the first line's value (or appends a line); an empty value
  // removes the first line.
  void SetValue(std::string_view name, std::string_view value);
  void Append(std::string_view name, std::string_view value);
  const std::vector<Line>& Lines() const { return lines_; }
  void Clear() { lines_.clear(); }

 private:
  std::vector<Line>::iterator Find(std::string_view name);
  std::vector<Line> lines_;
};

// Every macro once, in the order first met, with the sorted set of values it has had.
class TMacroGroups {
 public:
  struct Group {
    std::string name;
    std::vector<std::string> values;  // case-insensitive order, no case-insensitive duplicates
  };
  void Merge(const TMacroTable& table);
  const std::vector<Group>& Groups() const { return groups_; }
  void Clear() { groups_.clear(); }

 private:
  std::vector<Group> groups_;
};

struct TPathSolveConfig {
  std::int32_t Csidl;  // -1: no shell folder
  const char* Name;    // without "<$" and ">"
};

struct TPathRegistryUpdaterRecord {
  const char* Macro;
  platform::HKEY RootKey;
  const char* KeyPath;
  const char* ValueName;
  bool OnlyIn32BitPass;
  bool KeyIsAbsolute;
  bool Overwrite;
  const char* Suffix;
  const char* CutAt;
};

struct TTemplateCopyRecord {
  const char* Target;
  const char* Source;
};

// Builds the table and the variant groups from the running machine: a pass with the 64-bit
// registry view, a merge, a pass with the 32-bit view, a merge. Runs once at start-up.
void BuildPathMacros();
const TMacroTable& PathMacroTable();
const TMacroGroups& PathMacroGroups();

// The shell folder for a CSIDL number, with registry and system-folder fallbacks; "" if unknown.
std::string MySpecialDir(int csidl);

// One value per macro.
std::string ExpandPathMacros(std::string_view text);
// Appends to `list` every variant of `text`: one per combination of the macros' known values.
void ExpandPathMacroVariants(std::string_view text, std::vector<std::string>& list);
// Replaces every line holding "<$" by its variants, in place.
void ExpandPathMacroList(std::vector<std::string>& lines);

// The escaping a value gets when the text is a regular expression.
std::string EscapeForRegExpr(std::string_view value);

}  // namespace results
