// POSIX terminals: arguments in UTF-8; standard output is already byte for byte; SIGINT.
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "cli/host.h"
#include "platform/types.h"

namespace cli {
namespace {
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
extern "C" void OnInterrupt(int) { g_interrupted.store(true); }
}  // namespace

std::uint32_t ArgumentCodePage() { return platform::CP_UTF8; }

void SetBinaryStandardOutput() {}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool LiveSystemByDefault() { return false; }

void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // One shot: a second Ctrl+C gets the default action and ends the program at once.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return g_interrupted.load(); }

// Only Windows has a live system to scan; elsewhere every run is on a simulated machine.

}  // namespace cli
