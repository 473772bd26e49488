// Quick Scan run and presentation.
#include "app/quick_scan.h"

#include <algorithm>
#include <sstream>

#include "app/text.h"
#include "engine/indicator_list.h"

namespace app {

bool QuickScanReport::anythingFound() const {
  return std::any_of(rows.begin(), rows.end(), [](const QuickRow& r) { return r.state == 1; });
}

QuickScanReport RunQuickScan() {
  engine::TRootKitIndicatorList list;
  list.RunAll();
  QuickScanReport report;
  for (int i = 0; i < list.Count(); ++i) {
    const engine::TRKIListRow row = list.FillListItem(i);
    const auto& ind = *list.Item(i).Indicator;
    QuickRow r;
    r.description = Utf8FromCodePage(row.Caption);
    r.state = row.Icon;
    r.details = Utf8FromCodePage(row.SubItems.at(0));
    r.result = Utf8FromCodePage(row.SubItems.at(1));
    for (std::size_t k = 0; k < ind.Results().size(); ++k)
      r.findings.push_back({Utf8FromCodePage(ind.Results()[k]), ind.ResultKind(k)});
    r.tileColumns = row.TileColumns;
    report.rows.push_back(std::move(r));
  }
  return report;
}

namespace {
const char* StateWord(int state) {
  switch (state) {
    case 1:
      return "FOUND";
    case 2:
      return "clean";
    default:
      return "not run";
  }
}
const char* KindWord(std::int32_t kind) {
  switch (kind) {
    case 0:
      return "process";
    case 2:
      return "folder";
    case 3:
      return "file";
    case 4:
      return "key";
    case 5:
      return "value";
    default:
      return "?";
  }
}
}  // namespace

std::string QuickScanText(const QuickScanReport& report) {
  std::ostringstream out;
  std::size_t width = 0;
  for (const auto& r : report.rows) width = std::max(width, r.description.size());
  for (const auto& r : report.rows) {
    // One block per indicator, as its row shows it: caption and state, the "Details" and
    // "Result" texts, then the tile's findings (at most five).
    out << "[" << StateWord(r.state) << "] " << ShowZeros(r.description)
        << std::string(width - std::min(width, r.description.size()), ' ') << "  " << ShowZeros(r.details)
        << "\n";
    out << "    " << ShowZeros(r.result) << "\n";
    const std::size_t shown = std::min<std::size_t>(r.findings.size(), 5);
    for (std::size_t k = 0; k < shown; ++k) out << "    - " << ShowZeros(r.findings[k].text) << "\n";
    if (r.findings.size() > shown) out << "    (" << r.findings.size() - shown << " more below)\n";
  }
  bool any = false;
  for (const auto& r : report.rows) any = any || !r.findings.empty();
  if (any) {
    out << "\nFindings:\n";
    for (const auto& r : report.rows)
      for (const auto& f : r.findings) out << "  " << KindWord(f.kind) << "\t" << ShowZeros(f.text) << "\n";
  }
  return out.str();
}

nlohmann::json QuickScanJson(const QuickScanReport& report) {
  nlohmann::json indicators = nlohmann::json::array();
  for (const auto& r : report.rows) {
    nlohmann::json findings = nlohmann::json::array();
    for (const auto& f : r.findings) findings.push_back({{"text", f.text}, {"kind", f.kind}});
    indicators.push_back({{"description", r.description},
                          {"state", r.state},
                          {"details", r.details},
                          {"result", r.result},
                          {"findings", std::move(findings)}});
  }
  return {{"indicators", std::move(indicators)}};
}

}  // namespace app
