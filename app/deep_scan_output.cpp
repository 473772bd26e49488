// Deep Scan presentation: text table and JSON.
#include "app/deep_scan_output.h"

#include <algorithm>
#include <array>
#include <sstream>

#include "app/text.h"

namespace app {

nlohmann::ordered_json DeepRowJson(const TDeepScanRow& row) {
  nlohmann::ordered_json j;
  j["type"] = row.Type;
  j["object"] = Utf8(row.Object);
  j["location"] = Utf8(row.Location);
  j["details"] = Utf8FromCodePage(row.Details);
  j["kind"] = row.Kind;
  j["known"] = row.Known;
  j["product"] = Utf8FromCodePage(row.Product);
  j["explanation"] = Utf8FromCodePage(row.Explanation);
  return j;
}

nlohmann::ordered_json DeepSummaryJson(const TDeepScanSession& session) {
  const TFileScanSummary f = session.FileSummary();
  const TRegistryScanSummary r = session.RegistrySummary();
  nlohmann::ordered_json out;
  auto& file = out["fileScan"];
  file["folders"] = f.folders;
  file["files"] = f.files;
  file["findings"] = f.findings;
  file["recheckDrops"] = f.recheckDrops;
  file["seconds"] = f.seconds;
  file["finished"] = f.finished;
  auto& reg = out["registryScan"];
  reg["keys"] = r.keys;
  reg["findings"] = r.findings;
  reg["recheckDrops"] = r.recheckDrops;
  reg["seconds"] = r.seconds;
  reg["finished"] = r.finished;
  return out;
}

nlohmann::ordered_json DeepScanJson(const TDeepScanSession& session) {
  nlohmann::ordered_json out;
  auto& rows = out["rows"] = nlohmann::ordered_json::array();
  for (const auto& row : session.Rows()) rows.push_back(DeepRowJson(row));
  nlohmann::ordered_json summary = DeepSummaryJson(session);
  out["fileScan"] = std::move(summary["fileScan"]);
  out["registryScan"] = std::move(summary["registryScan"]);
  return out;
}

std::string JsonLine(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string DeepScanText(const TDeepScanSession& session) {
  std::ostringstream out;
  const auto& rows = session.Rows();
  if (rows.empty()) {
    out << "No findings.\n";
  } else {
    std::vector<std::array<std::string, 5>> cells;
    cells.push_back({"Type", "Object", "Location", "Details", "Known"});
    for (const auto& row : rows)
      cells.push_back({row.Type, ShowZeros(Utf8(row.Object)), ShowZeros(Utf8(row.Location)),
                       Utf8FromCodePage(row.Details), row.Known ? "! " + Utf8FromCodePage(row.Product) : ""});
    std::array<std::size_t, 5> width{};
    for (const auto& line : cells)
      for (std::size_t c = 0; c < line.size(); ++c) width[c] = std::max(width[c], line[c].size());
    for (const auto& line : cells) {
      std::string text;
      for (std::size_t c = 0; c < line.size(); ++c) {
        text += line[c];
        if (c + 1 < line.size()) text += std::string(width[c] - line[c].size() + 2, ' ');
      }
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out << text << "\n";
    }
  }
  out << "\n"
      << ShowZeros(Utf8(session.FileProgressLabel())) << "\n"
      << ShowZeros(Utf8(session.RegistryProgressLabel())) << "\n";
  return out.str();
}

}  // namespace app
