// Resolves stored process and module file names to full paths.
#include "processes/process_model.h"

#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "results/path_macros.h"

namespace processes {
namespace {

bool FileExists(std::string_view path) {
  const platform::DWORD a = platform::Current().kernel32.GetFileAttributesA(path);
  return a != platform::INVALID_FILE_ATTRIBUTES && (a & platform::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string UpperAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

// Removes `prefix` from the front of `text` when it stands there, ignoring letter case.
bool DropPrefix(std::string& text, std::string_view prefix) {
  if (text.size() < prefix.size() || UpperAscii(std::string_view(text).substr(0, prefix.size())) != prefix)
    return false;
  text.erase(0, prefix.size());
  return true;
}

std::vector<std::string> ExistingVariants(const std::string& text) {
  std::vector<std::string> variants;
  results::ExpandPathMacroVariants(text, variants);
  std::erase_if(variants, [](const std::string& v) { return !FileExists(v); });
  return variants;
}

}  // namespace

std::string ResolveProcessFileName(std::string_view stored) {
  std::string text(stored);
  if (FileExists(text)) return text;
  if (UpperAscii(std::string_view(text).substr(0, std::min<std::size_t>(8, text.size()))) == "RUNDLL32") {
    if (const std::size_t blank = text.find(' '); blank != std::string::npos) {
      text.erase(0, blank + 1);
      if (const std::size_t comma = text.find(','); comma != std::string::npos) text.erase(comma);
      if (FileExists(text)) return text;
    }
  }
  std::string base = "<$SYSDIR>";
  DropPrefix(text, "\\??\\");
  DropPrefix(text, "%SYSTEMROOT%");
  DropPrefix(text, "\\SYSTEMROOT\\");
  if (UpperAscii(std::string_view(text).substr(0, std::min<std::size_t>(10, text.size()))) == "\\SYSTEM32\\")
    text.erase(0, 1);
  if (DropPrefix(text, "%PROGRAMFILES%")) base = "<$PROGRAMFILES>";

  std::vector<std::string> variants = ExistingVariants("<$WINDIR>\\" + text);
  if (variants.empty()) variants = ExistingVariants(base + "\\" + text);
  const std::string windows = platform::Current().kernel32.GetWindowsDirectoryA();
  for (auto it = variants.rbegin(); it != variants.rend(); ++it)
    if (!windows.empty() && !it->empty() && (*it)[0] == windows[0]) {
      text = *it;
      break;
    }
  for (std::size_t at; (at = text.find("\\\\")) != std::string::npos;) text.erase(at, 1);
  return text;
}

}  // namespace processes
