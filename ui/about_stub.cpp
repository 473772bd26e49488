// Placeholder for the about box until it is built.
#include "ui/dialogs.h"

namespace ui {

void SetAboutUpdateFileName(const std::wstring&) {}
void ShowAboutBox(UiContext&, HWND owner, const std::wstring& title, bool) {
  MessageBoxW(owner, L"Umbrascope", title.c_str(), MB_OK);
}

}  // namespace ui
