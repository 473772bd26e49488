// Runs the Quick Scan and renders its rows as a text table or as JSON.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace app {

struct QuickFinding {
  std::string text;  // UTF-8 (may hold zero characters)
  std::int32_t kind = 0;
};

// One indicator row as the Quick Scan page shows it, texts in UTF-8.
struct QuickRow {
  std::string description;
  int state = 0;
  std::string details;
  std::string result;
  std::vector<QuickFinding> findings;  // all of them; the row itself shows the first five
  std::vector<int> tileColumns;
};

struct QuickScanReport {
  std::vector<QuickRow> rows;
  bool anythingFound() const;
};

// Creates the indicator list from the registry, runs it and collects the rows.
QuickScanReport RunQuickScan();

std::string QuickScanText(const QuickScanReport& report);
nlohmann::json QuickScanJson(const QuickScanReport& report);

}  // namespace app
