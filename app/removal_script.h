// The removal script over the rows both scan pages hold: what the Log page and the console's
// script command call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/deep_scan.h"
#include "app/quick_scan.h"

namespace app {

// The findings of every Quick Scan row, in the order the findings list shows them.
std::vector<QuickFinding> QuickFindings(const QuickScanReport& report);

// The script of `logType` (archive::kScriptFerrox, kScriptAvenger, kScriptComboFix) over the
// Quick Scan findings and the Deep Scan rows; one string a memo line.
std::vector<std::u16string> BuildRemovalScript(std::uint8_t logType, const std::vector<QuickFinding>& quick,
                                               const std::vector<TDeepScanRow>& deep);
// How many entries (files, folders, keys, values) such a script holds; processes do not count.
std::size_t RemovalScriptEntries(const std::vector<QuickFinding>& quick,
                                 const std::vector<TDeepScanRow>& deep);

}  // namespace app
