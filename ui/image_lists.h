// The image lists both result pages share: indicator states and finding kinds.
//
// Made once, on first use, at the monitor's scale, and kept for the program's life. They are
// shared: a list view that uses one must have LVS_SHAREIMAGELISTS, or it destroys the list
// when it is destroyed itself (tree views never destroy theirs).
#pragma once

#include "ui/windows_ui.h"

namespace ui {

// 32 x 32 (scaled), index = indicator State: 0 not run, 1 found something, 2 nothing found.
// For the Quick Scan's indicator rows (LVSIL_NORMAL and LVSIL_SMALL).
HIMAGELIST LargeStateImages();

// 16 x 16 (scaled), index = finding kind: 0 process, 1 other (no indicator makes it), 2 folder,
// 3 file, 4 registry key, 5 registry value; then the Deep Scan details markers
// app::kMarkerPlain (6, empty) and app::kMarkerKnown (7, the catalogue's warning sign).
HIMAGELIST SmallKindImages();

}  // namespace ui
