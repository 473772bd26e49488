// Windows hosts: whether standard input is a console; the live system is the default machine.
#include <io.h>
#include <stdio.h>

#include "cli/confirm_host.h"

namespace cli {
bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
bool HostIsWindows() { return true; }
}  // namespace cli
