// Keyboard helpers: a subclass that stops read-only texts from keeping Tab to themselves.
#include "ui/keyboard.h"

namespace ui {
namespace {

LRESULT CALLBACK ReadOnlyText(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == WM_GETDLGCODE) return DefSubclassProc(hwnd, msg, wp, lp) & ~(DLGC_WANTTAB | DLGC_WANTALLKEYS);
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &ReadOnlyText, 1);
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

void LetTabLeave(HWND readOnlyText) {
  if (readOnlyText) SetWindowSubclass(readOnlyText, &ReadOnlyText, 1, 0);
}

}  // namespace ui
