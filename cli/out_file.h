// Report files the console writes to the real file system (also when it scans a system image):
// written whole under a temporary name, then renamed into place, never over an existing file
// unless asked to.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace cli {

// Writes `bytes` to `path`. Without `replace` an existing file is never touched. The bytes go
// to a temporary file next to `path` first, which is renamed to `path` only once it is complete,
// so a failure leaves `path` as it was. False with a one-line reason in `error` on failure.
bool WriteReportFile(const std::filesystem::path& path, std::string_view bytes, bool replace,
                     std::string& error);

// Renames `from` to `to`, failing (without touching `to`) when `to` exists. Host-specific.
void RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                            std::error_code& ec);

}  // namespace cli
