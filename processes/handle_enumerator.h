// Walks the system handle table and names the objects, file names through a time-limited helper thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/types.h"
#include "processes/handle_table.h"

namespace processes {

// The feedback: one call per table entry, on the calling thread; Name is empty when no name
// was found. Process IDs and handle values are those of the extended table where the system
// has one, so they are not cut to 16 bits.
using TOnHandle =
    std::function<void(std::uint32_t ProcessID, std::uint16_t CreatorBackTraceIndex,
                       std::uint16_t ObjectTypeNumber, std::uint8_t Flags, std::uint32_t Handle,
                       std::uintptr_t ObjectPointer, std::uint32_t GrantedAccess, const std::string& Name)>;

class TjtHandleEnumerator {
 public:
  TOnHandle OnHandle;
  std::uint32_t HandleCount = 0;
  std::uint32_t BufferSize = 0;
  platform::OsVersionInfo VersionInfo;
  // How long a file-name lookup may take before its helper thread is abandoned.
  std::chrono::milliseconds FileNameTimeout{100};
  // File-name helper threads the last walk started: one that is reused, plus one for each
  // helper given up on a query that did not return in time.
  std::uint32_t HelperThreadsStarted = 0;

  // Throws std::runtime_error when OnHandle is not set. Walks the table on every NT-family
  // version; names are looked up from major version 5 on.
  void Enumerate();
};

// The number of the file object type by version where it is known (27 on 5.0, 28 on 5.1).
// The walk learns it on any system from a file handle of its own.
std::optional<std::uint16_t> FileObjectTypeNumber(const platform::OsVersionInfo& version);

// Reads the handle table of class 16 or 64: 4096 bytes first, then the size the system
// reports (again with some room when the table grew in between). Nothing on failure.
std::optional<std::vector<HandleTableEntry>> ReadHandleTable(platform::DWORD infoClass,
                                                             std::uint32_t* bufferSize);

// The name of an object through NtQueryObject, in the system code page; empty when it has none.
std::string QueryObjectName(platform::Handle handle);

}  // namespace processes
