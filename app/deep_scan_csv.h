// The Deep Scan's rows as CSV for spreadsheets: the JSON row keys as the header line.
#pragma once

#include <string>
#include <vector>

#include "app/deep_scan.h"

namespace app {

// UTF-8 with a byte-order mark, CRLF line ends, fields quoted where they need it. Zero
// characters are written as "<NUL>" (a spreadsheet would cut the cell there). Names come from
// the scanned machine, that is from whoever hid them: a cell that a spreadsheet would take for
// a formula (it begins with =, +, -, @, a tab or a carriage return) gets a leading apostrophe.
std::string DeepRowsCsv(const std::vector<TDeepScanRow>& rows);

}  // namespace app
