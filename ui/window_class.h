// Window procedures that reach the object a window was created for, and page classes registered once.
#pragma once

#include "ui/windows_ui.h"

namespace ui {

// The object passed to CreateWindowEx, kept in the window's user data from WM_NCCREATE on; its
// `window` member is set then. Null for the few messages that come before.
template <typename T>
T* AttachedObject(HWND hwnd, UINT msg, LPARAM lp) {
  auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window = hwnd;
  }
  return self;
}

// A window procedure that hands every message to the object's `Handle`.
template <typename T>
LRESULT CALLBACK ForwardingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (T* self = AttachedObject<T>(hwnd, msg, lp)) return self->Handle(msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// Registers a page's window class (dialog-coloured, arrow cursor) unless it already is.
inline void RegisterPageClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc) {
  WNDCLASSEXW wc{sizeof(wc)};
  if (GetClassInfoExW(instance, name, &wc)) return;
  wc = WNDCLASSEXW{sizeof(wc)};
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

}  // namespace ui
