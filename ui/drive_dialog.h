// The "Select drives..." dialog: which drives and registry hives the Deep Scan walks.
#pragma once

#include <string>
#include <vector>

#include "ui/ui_context.h"
#include "ui/windows_ui.h"

namespace ui {

// Control IDs, for keyboard handling and for test drivers that look for the lists.
inline constexpr int kDriveListId = 2001;
inline constexpr int kHiveListId = 2002;

// Shows the dialog modally with the drives ("C:") and hives ("HKEY_LOCAL_MACHINE") of the
// lists ticked (whole caption, letter case ignored). On OK both lists become the ticked
// captions in list order and the answer is true; on Cancel they stay and the answer is false.
// The hive list is shown only `withHives`. Drives and volumes are those of the scanned
// machine (a system image or the live system).
bool SelectDrives(UiContext& context, HWND owner, std::vector<std::string>& drives,
                  std::vector<std::string>& hives, bool withHives);

}  // namespace ui
