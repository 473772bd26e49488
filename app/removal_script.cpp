// The scans' rows handed to the removal script builder: finding kinds become its lists.
#include "app/removal_script.h"

#include "archive/removal_script.h"
#include "base/utf.h"
#include "engine/indicator.h"
#include "platform/platform.h"

namespace app {
namespace {

archive::TScriptList ListOfKind(std::int32_t kind) {
  switch (kind) {
    case engine::kKindFile:
      return archive::TScriptList::Files;
    case engine::kKindFolder:
      return archive::TScriptList::Folders;
    case engine::kKindKey:
      return archive::TScriptList::Keys;
    case engine::kKindValue:
      return archive::TScriptList::Values;
    default:
      return archive::TScriptList::None;  // processes and anything else
  }
}

}  // namespace

std::vector<QuickFinding> QuickFindings(const QuickScanReport& report) {
  std::vector<QuickFinding> findings;
  for (const auto& row : report.rows)
    findings.insert(findings.end(), row.findings.begin(), row.findings.end());
  return findings;
}

std::vector<std::u16string> BuildRemovalScript(std::uint8_t logType, const std::vector<QuickFinding>& quick,
                                               const std::vector<TDeepScanRow>& deep) {
  std::vector<archive::TScriptQuickRow> quickRows;
  quickRows.reserve(quick.size());
  for (const auto& f : quick) {
    // The page's texts are UTF-8 made from UTF-16, so they convert back whole.
    quickRows.push_back({ListOfKind(f.kind), base::Utf8ToUtf16(f.text).value_or(u"")});
  }
  std::vector<archive::TScriptDeepRow> deepRows;
  deepRows.reserve(deep.size());
  auto& k32 = platform::Current().kernel32;
  for (const auto& row : deep)
    deepRows.push_back({ListOfKind(row.Kind), row.Location, row.Object,
                        k32.MultiByteToWideChar(platform::CP_ACP, row.Details)});
  std::vector<std::u16string> lines;
  archive::BuildRemovalScript(logType, quickRows, deepRows, lines);
  return lines;
}

std::size_t RemovalScriptEntries(const std::vector<QuickFinding>& quick,
                                 const std::vector<TDeepScanRow>& deep) {
  std::size_t n = 0;
  for (const auto& f : quick) n += ListOfKind(f.kind) != archive::TScriptList::None;
  for (const auto& row : deep) n += ListOfKind(row.Kind) != archive::TScriptList::None;
  return n;
}

}  // namespace app
