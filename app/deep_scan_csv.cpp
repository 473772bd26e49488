// CSV output of the Deep Scan rows.
#include "app/deep_scan_csv.h"

#include "app/text.h"

namespace app {
namespace {

std::string Field(std::string text) {
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
    text.insert(text.begin(), '\'');
  if (text.find_first_of(",\"\r\n") == std::string::npos &&
      (text.empty() || (text.front() != ' ' && text.back() != ' ')))
    return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace

std::string DeepRowsCsv(const std::vector<TDeepScanRow>& rows) {
  std::string out = "\xEF\xBB\xBFtype,object,location,details,kind,known,product,explanation\r\n";
  for (const auto& row : rows) {
    const std::string cells[] = {row.Type,
                                 ShowZeros(Utf8(row.Object)),
                                 ShowZeros(Utf8(row.Location)),
                                 ShowZeros(Utf8FromCodePage(row.Details)),
                                 std::to_string(row.Kind),
                                 row.Known ? "true" : "false",
                                 ShowZeros(Utf8FromCodePage(row.Product)),
                                 ShowZeros(Utf8FromCodePage(row.Explanation))};
    bool first = true;
    for (const auto& cell : cells) {
      if (!first) out += ',';
      first = false;
      out += Field(cell);
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace app
