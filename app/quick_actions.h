// What the Quick Scan page does with one finding: the process it names, and its include-file line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/quick_scan.h"

namespace app {

// The process a process finding names: its text before the first ":" (or all of it: the handle
// indicator reports the bare ID), read as a decimal number; 0 when that is not a number that
// fits a process ID.
std::uint32_t ProcessIdOfFinding(std::string_view text);

// The most findings any indicator row shows in its tile (at most five).
int MaxResultCount(const QuickScanReport& report);

// The include-file line copied for a finding, UTF-8. `copy` is false when the kind has no line
// (folders) or the line cannot be written; then `error` says why, or is empty when the kind
// simply has none.
struct FindingLine {
  bool copy = false;
  std::string line;
  std::string error;
};
FindingLine IncludeFileLine(const QuickFinding& finding);

}  // namespace app
