// POSIX hosts: whether standard input is a terminal; no live Windows system to change.
#include <unistd.h>

#include "cli/confirm_host.h"

namespace cli {
bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool HostIsWindows() { return false; }
}  // namespace cli
