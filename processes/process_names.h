// Names of processes by ID, and device paths turned into drive paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace processes {

// Start-up: whether GetProcessImageFileNameA is available on this system.
void BindProcessImageFileName();
bool HasProcessImageFileName();

// "\Device\HarddiskVolume1\x" -> "C:\x" for the first drive (in letter order) whose device
// name begins the path and ends at a backslash there (so \Device\HarddiskVolume1 does not
// capture \Device\HarddiskVolume10\...); otherwise the path unchanged.
std::string DevicePathToDrivePath(std::string_view path);

// Each opens the process for query and read; "" when it cannot be opened or the name read.
std::string ProcessModuleFileName(std::uint32_t processId);
std::string ProcessImageFileName(std::uint32_t processId);  // device form
std::string ProcessFileNameByID(std::uint32_t processId);   // drive form where possible

}  // namespace processes
