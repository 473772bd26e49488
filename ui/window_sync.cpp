// The window hand-over: PostMessage as the notification, the drain in the window procedure.
#include "ui/window_sync.h"

namespace ui {

std::shared_ptr<app::TPostedSynchronizer> MakeWindowSync(HWND window) {
  return std::make_shared<app::TPostedSynchronizer>(
      [window] { return PostMessageW(window, kSyncMessage, 0, 0) != FALSE; });
}

void DrainWindowSync(app::TPostedSynchronizer& sync) {
  // A report that throws has already let its worker go; the ones behind it run on.
  for (;;) {
    try {
      sync.RunPosted();
      return;
    } catch (...) {
    }
  }
}

}  // namespace ui
