// What one process shows of itself: image names and the threads, modules and heaps of its snapshot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/records.h"

namespace processes {

struct TProcessDetails {
  std::uint32_t ProcessID = 0;
  std::u16string ImageName;        // Win32 path of the main module; empty when unreadable
  std::u16string NativeImageName;  // device path
  bool Opened = false;             // the process could be opened for query and read
  bool SnapshotTaken = false;
  std::vector<platform::records::ThreadEntry32> Threads;  // only the process's own
  std::vector<platform::records::ModuleEntry32> Modules;
  std::vector<platform::records::HeapList32> Heaps;
};

// Loads everything the process properties show; failures leave the parts empty.
TProcessDetails LoadProcessDetails(std::uint32_t processId);

}  // namespace processes
