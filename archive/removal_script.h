// Removal scripts: the findings of both scans as a script in one of three dialects, one line
// per memo line, for the user to hand to a removal tool or a helper.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

// The dialects, by their number in the Log page's "Type of log" group.
inline constexpr std::uint8_t kScriptFerrox = 0;    // the include-file format of our main product
inline constexpr std::uint8_t kScriptAvenger = 1;   // a script for the Avenger removal tool
inline constexpr std::uint8_t kScriptComboFix = 2;  // a script for ComboFix

// The list a finding goes to. The callers map their finding kinds (image indices) onto these;
// processes have no list and never reach a script.
enum class TScriptList { None, Files, Folders, Keys, Values };

// One row of the Quick Scan findings list: a full path, or root key name + key path + name.
struct TScriptQuickRow {
  TScriptList List = TScriptList::None;
  std::u16string Text;
};

// One row of the Deep Scan list. Location + Object is the full path or full registry name.
struct TScriptDeepRow {
  TScriptList List = TScriptList::None;
  std::u16string Location;
  std::u16string Object;
  std::u16string Details;  // the finding text, such as "Invisible to Win32"
};

// Our own wording in the scripts, kept here so every program writes the same: the second header
// line of the include-file dialect (our legal notice), and the support forum the Log page
// sends its readers to.
inline constexpr std::u16string_view kFerroxLegalNoticeLine =
    u"// Umbrascope (c) Brightmoor Limited. Provided as is, without warranty; check every line "
    u"before you use it.";
inline constexpr std::string_view kSupportForumAddress = "https://forum.umbrascope.invalid/";
// The advice shown beside a script: "Please do not blindly use this script; ..." with the forum.
std::string RemovalScriptAdvice();

// The comment that follows a line in which zero characters were made visible.
inline constexpr std::u16string_view kZeroCharAttention =
    u"// Attention: entries with a zero character will not be displayed correctly and may not work!";

// A text without zero characters comes back unchanged. Otherwise each zero character becomes a
// backslash and the digit 0, and CR LF and the attention comment follow in the same string
// (one entry, shown as two lines).
std::u16string EscapeZeroChars(std::u16string_view text);

// Replaces `output` with the script of `logType` (kScriptFerrox, kScriptAvenger or
// kScriptComboFix) over the Quick Scan rows, then the Deep Scan rows, each in list order.
// The include-file dialect measures every file entry (size and MD5) on the current machine.
// Any other type raises std::invalid_argument.
void BuildRemovalScript(std::uint8_t logType, const std::vector<TScriptQuickRow>& quick,
                        const std::vector<TScriptDeepRow>& deep, std::vector<std::u16string>& output);

// The dialect's number for its console name ("ferrox", "avenger", "combofix"); false for others.
bool ScriptTypeFromName(std::string_view name, std::uint8_t& logType);

// The lines as UTF-8 text, each ended by `lineEnd`; the CR LF inside a line (before the attention
// comment) becomes `lineEnd` too, so the text has one kind of line end.
std::string RemovalScriptText(const std::vector<std::u16string>& lines, std::string_view lineEnd);

}  // namespace archive
