// Windows console: arguments in the system code page; standard output switched to binary mode;
// Ctrl+C and Ctrl+Break.
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "cli/host.h"
#include "platform/types.h"

namespace cli {
namespace {
std::atomic<bool> g_interrupted{false};
// The C runtime turns the console's Ctrl+C and Ctrl+Break events into these signals (on a
// thread of the console's); its handler is reset to the default before it runs, so a second
// press ends the program.
extern "C" void OnInterrupt(int) { g_interrupted.store(true); }
}  // namespace

std::uint32_t ArgumentCodePage() { return platform::CP_ACP; }

void SetBinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

bool LiveSystemByDefault() { return true; }

void CatchInterrupt() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGBREAK, OnInterrupt);
}

bool InterruptRequested() { return g_interrupted.load(); }

// Without --image the live system is scanned.

}  // namespace cli
