// The process-wide choice of Windows API surface: the real DLLs or a simulated machine.
#pragma once

#include "platform/advapi32.h"
#include "platform/cabinet.h"
#include "platform/http.h"
#include "platform/kernel32.h"
#include "platform/ntdll.h"
#include "platform/shell.h"
#include "platform/toolhelp.h"

namespace platform {

struct Platform {
  Kernel32& kernel32;
  Ntdll& ntdll;
  Advapi32& advapi32;
  ToolHelp& toolhelp;
  Shell& shell;
  Cabinet& cabinet;
  Http& http;
};

// The platform the scanners call. Chosen once at start-up, before any thread exists, and only
// read afterwards. Calling it before one is installed is a programming error and aborts.
Platform& Current();

// Installs `p` for the life of this object and restores the previous choice afterwards.
// Programs install theirs at start-up; tests install a fresh simulated machine per test.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& p);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

}  // namespace platform
