// The Deep Scan's rows and summaries as a text table and as JSON (UTF-8, zeros as \u0000).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "app/deep_scan.h"

namespace app {

// Keys in the order of the console contract.
nlohmann::ordered_json DeepRowJson(const TDeepScanRow& row);
// {"fileScan":{...},"registryScan":{...}}
nlohmann::ordered_json DeepSummaryJson(const TDeepScanSession& session);
// {"rows":[...],"fileScan":{...},"registryScan":{...}}
nlohmann::ordered_json DeepScanJson(const TDeepScanSession& session);
// The rows as a table (Type, Object, Location, Details, and the product of a known row), then
// both finish lines.
std::string DeepScanText(const TDeepScanSession& session);
// One JSON value on one line, as the console writes it.
std::string JsonLine(const nlohmann::ordered_json& value);

}  // namespace app
