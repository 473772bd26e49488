// One page of the main window's page control: a child window of its own over the tab's area.
#pragma once

#include "ui/windows_ui.h"

#include "ui/ui_context.h"

namespace ui {

class Page {
 public:
  virtual ~Page() = default;
  // Creates the page's window (hidden) as a child of `parent`.
  virtual void Create(HWND parent, UiContext& context) = 0;
  virtual HWND Window() const = 0;
  // Places the page over `area` (client coordinates of the parent).
  virtual void Layout(const RECT& area) { MoveWindow(Window(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE); }
  // Lets the page see a key message first (accelerators such as F5 or Ctrl+C); true: handled.
  virtual bool PreTranslate(MSG&) { return false; }
};

}  // namespace ui
