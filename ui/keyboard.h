// Keyboard helpers for the pages' controls.
#pragma once

#include "ui/windows_ui.h"

namespace ui {

// A read-only text (edit or rich edit) keeps its arrow keys but lets Tab, Shift+Tab, Enter and
// Escape go to the window's navigation: there is nothing to type into it.
void LetTabLeave(HWND readOnlyText);

}  // namespace ui
