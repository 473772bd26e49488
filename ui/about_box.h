// The about box: control identifiers shared with its resource script, and its helpers.
#pragma once

#define IDD_ABOUT 700
#define IDC_ABOUT_ICON 701
#define IDC_ABOUT_PRODUCT 703
#define IDC_ABOUT_VERSION 704
#define IDC_ABOUT_DESCRIPTION 705
#define IDC_ABOUT_LEGAL 706
#define IDC_ABOUT_TRANSLATIONS 707
#define IDC_ABOUT_UPDATES 708

#ifndef RC_INVOKED
#include <optional>
#include <string>
#include <vector>

#include "ui/windows_ui.h"

namespace ui {

// "--update-server URL" (or "--update-server=URL") in a command line; nullopt without one.
std::optional<std::wstring> UpdateServerFromCommandLine(const wchar_t* commandLine);

// The version strings of a program file, one "name=value" line per name, in the order the box
// reads them (the name and "=" alone for a string the resource lacks); empty when the file has
// no version resource.
std::vector<std::wstring> ReadVersionStrings(const std::wstring& file, unsigned pairIndex = 0);
unsigned VersionTranslationCount(const std::wstring& file);

}  // namespace ui
#endif
