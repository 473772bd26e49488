// The catalogue of known findings: which product a Deep Scan row comes from, and why it is harmless.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace results {

// The catalogue text built into the program (INI, 8-bit, CR LF line ends).
std::string_view ResultInfoIniText();

class TResultInfoCatalogue {
 public:
  // Reads the built-in text, expands its path macros and keeps the sections; errors leave
  // the catalogue empty.
  void LoadCatalogue();
  void LoadFromText(std::string_view iniText);
  // Looks a row key (Location + Object in the system code page) up. The last section that
  // matches gives product and details.
  bool Lookup(std::string_view rowKey, std::string& product, std::string& details) const;
  bool Empty() const;

 private:
  // One section as the lookup reads it: its locations (numbered without a gap, the first of
  // each number, "\0" already made a zero character), product and details with defaults.
  struct TEntry {
    std::vector<std::string> locations;
    std::string product;
    std::string details;
  };
  std::vector<TEntry> entries_;
};

}  // namespace results
