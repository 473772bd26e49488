// Placeholders for the properties dialogs until they are built.
#include "ui/dialogs.h"

namespace ui {

bool ShowFileProperties(UiContext&, HWND, const std::u16string&, bool) { return false; }
bool ShowRegistryKey(UiContext&, HWND, const std::u16string&, bool) { return false; }
bool ShowRegistryValue(UiContext&, HWND, const std::u16string&, bool) { return false; }
bool ShowProcess(UiContext&, HWND, std::uint32_t, bool) { return false; }

}  // namespace ui
