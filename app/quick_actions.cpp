// The Quick Scan page's actions on one finding, kept here so both hosts' tests reach them.
#include "app/quick_actions.h"

#include <algorithm>
#include <limits>

#include "app/text.h"
#include "base/utf.h"
#include "engine/indicator.h"
#include "processes/process_names.h"
#include "registry/win32_registry.h"

namespace app {

std::uint32_t ProcessIdOfFinding(std::string_view text) {
  const std::string_view digits = text.substr(0, text.find(':'));
  if (digits.empty()) return 0;
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

int MaxResultCount(const QuickScanReport& report) {
  std::size_t most = 0;
  for (const auto& row : report.rows) most = std::max(most, row.findings.size());
  return static_cast<int>(std::min<std::size_t>(most, 5));
}

namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

FindingLine Line(std::string line) {
  // The clipboard's text formats end at the first zero character: a name cut there would name
  // another object, so such a line is not offered at all.
  if (line.find('\0') != std::string::npos)
    return {false, {}, "the name holds a zero character, which a line of text cannot carry"};
  return {true, std::move(line), {}};
}

}  // namespace

FindingLine IncludeFileLine(const QuickFinding& finding) {
  switch (finding.kind) {
    case engine::kKindProcess: {
      const std::uint32_t pid = ProcessIdOfFinding(finding.text);
      std::string path = processes::ProcessModuleFileName(pid);
      if (path.empty()) path = processes::ProcessImageFileName(pid);
      // A process that cannot be opened gives an empty path, still a line of its own kind.
      return Line("File:\"<$FILE_EXE>\"," + Quoted(Utf8FromCodePage(path)));
    }
    case engine::kKindFile:
      return Line("File:\"<$FILE_EXE>\"," + Quoted(finding.text));
    case engine::kKindKey:
    case engine::kKindValue: {
      const auto wide = base::Utf8ToUtf16(finding.text);
      platform::HKEY root = 0;
      std::u16string keyPath, name;
      if (!wide || !registry::SplitValueText(*wide, root, keyPath, name))
        return {false, {}, "the text does not begin with a registry root key and \"\\\""};
      return Line((finding.kind == engine::kKindKey ? "RegyKey:" : "RegyValue:") +
                  Quoted(registry::RootKeyName(root)) + "," + Quoted(Utf8(keyPath)) + "," +
                  Quoted(Utf8(name)));
    }
    default:
      return {};
  }
}

}  // namespace app
