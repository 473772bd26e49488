// The modal windows the pages open: the three properties dialogs and the about box.
#pragma once

#include "ui/windows_ui.h"

#include <cstdint>
#include <string>

#include "ui/ui_context.h"

namespace ui {

// Each answers true when the dialog was closed with OK.
bool ShowFileProperties(UiContext& context, HWND owner, const std::u16string& path, bool allowDelete);
bool ShowRegistryKey(UiContext& context, HWND owner, const std::u16string& location, bool allowDelete);
bool ShowRegistryValue(UiContext& context, HWND owner, const std::u16string& location, bool allowDelete);
bool ShowProcess(UiContext& context, HWND owner, std::uint32_t processId, bool allowTerminate);

// The about box: shown modally; with `autoCheck` the update check runs at once. The update
// file name ("umbrascope.ini" from the main window) makes the "Updates" button visible.
void SetAboutUpdateFileName(const std::wstring& name);
void ShowAboutBox(UiContext& context, HWND owner, const std::wstring& title, bool autoCheck);

}  // namespace ui
