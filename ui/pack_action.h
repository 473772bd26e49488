// "Pack Suspicious Files": the archive of what the Deep Scan rows name, and its message.
#pragma once

#include "ui/windows_ui.h"

#include <vector>

#include "app/deep_scan.h"
#include "ui/ui_context.h"

namespace ui {

// Writes the archive and tells the user where it went, or why no archive was written, and names
// every object that could not be added. On a live machine the archive goes to the desktop; on a
// system image it is written inside the simulated machine and copied to the real desktop, where
// it never replaces an existing file.
void PackSuspiciousFilesAction(UiContext& context, HWND owner, const std::vector<app::TDeepScanRow>& rows);

}  // namespace ui
