// Windows console: arguments in the system code page; standard output switched to binary mode.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "cli/host.h"
#include "platform/types.h"

namespace cli {

std::uint32_t ArgumentCodePage() { return platform::CP_ACP; }

void SetBinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace cli
