// What the process properties show of one process, and ending it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "processes/process_details.h"

namespace app {

struct TProcessProperties {
  processes::TProcessDetails Details;  // image names, the process's threads, its modules and heaps
  bool BasicInformationRead = false;   // NtQueryInformationProcess answered
  bool EnvironmentBlockRead = false;   // and the environment block it points at could be read
  bool Debugged = false;
  bool SessionKnown = false;
  std::uint32_t SessionId = 0;
};

// Loads everything; failures leave their parts empty or unknown.
TProcessProperties LoadProcessProperties(std::uint32_t processId);

// The two facts read from a copy of an environment block of the build's pointer width:
// nothing when the copy is too short to hold them.
struct TEnvironmentBlockFacts {
  bool Debugged = false;
  std::uint32_t SessionId = 0;
};
std::optional<TEnvironmentBlockFacts> ReadEnvironmentBlockFacts(std::span<const std::byte> block);

// The label texts: "Yes", "No" or "?"; the session number or "?".
std::string DebuggedText(const TProcessProperties& p);
std::string SessionText(const TProcessProperties& p);

struct TProcessTermination {
  bool Terminated = false;
  std::string Message;  // why not, naming no process (the caller does)
};
// Ends the process with exit code 0. Process 0 and the program's own process are refused.
TProcessTermination TerminateProcessById(std::uint32_t processId);

}  // namespace app
