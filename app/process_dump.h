// Saving a process's rebuilt in-memory image: the dump, its failure message and the file name proposed for
// it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace app {

struct ProcessDump {
  bool ok = false;
  std::vector<std::byte> bytes;  // the rebuilt file; empty when the dump failed
  std::u16string proposedName;   // where to save it; empty when nothing names the image
};

// Dumps the process's main image with its file layout rebuilt and proposes a file name: the
// image name with ".bin" (a leading "\??\" dropped), or, when the image name is unknown, the
// first module's name with ".bin" on the user's desktop.
ProcessDump DumpProcess(std::uint32_t processId);

// The proposal for given image and first-module names (either may be empty).
std::u16string ProposedDumpName(std::u16string_view imageName, std::u16string_view firstModule);

// What the user is told when the dump failed.
std::string DumpFailedMessage(std::uint32_t processId);

}  // namespace app
