// The Deep Scan's hand-over to a window: a worker's report becomes a posted message that the
// window answers on the main thread by running every queued report.
#pragma once

#include <memory>

#include "app/posted_sync.h"
#include "ui/windows_ui.h"

namespace ui {

// The message a window gets when reports wait; its handler calls DrainWindowSync.
inline constexpr UINT kSyncMessage = WM_APP + 41;

// A hand-over that posts kSyncMessage to `window`. Once the window is gone, posting fails and
// the workers go on without their reports being run.
std::shared_ptr<app::TPostedSynchronizer> MakeWindowSync(HWND window);

// Runs the waiting reports; an error of one report is kept away from the window procedure.
void DrainWindowSync(app::TPostedSynchronizer& sync);

}  // namespace ui
