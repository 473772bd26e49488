// "Export...": the Deep Scan's rows into a file the user picks, as JSON or CSV.
#pragma once

#include <string>

#include "app/deep_scan.h"
#include "ui/ui_context.h"
#include "ui/windows_ui.h"

namespace ui {

enum class ExportFormat { json, csv };

// Asks for the file (the standard overwrite prompt guards an existing one) and writes every
// row of the session, whatever the page's filter hides. Errors are shown to the user.
void ExportDeepScan(UiContext& context, HWND owner, const app::TDeepScanSession& session);

// Writes `bytes` to `path` through a temporary file in the same folder renamed into place, so
// a failure never leaves a half-written file under the name. `replace`: the user agreed to
// replace an existing file; without it an existing file stays and `exists` is set.
struct WriteResult {
  bool exists = false;
  std::wstring error;  // empty on success
};
WriteResult WriteWholeFile(const std::wstring& path, const std::string& bytes, bool replace);

}  // namespace ui
