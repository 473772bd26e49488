// The host facts the confirmation needs, from the _posix/_win pair.
#pragma once

namespace cli {
bool StandardInputIsTerminal();
// Without --image the program scans the live system on Windows and the demo image elsewhere.
bool HostIsWindows();
}  // namespace cli
