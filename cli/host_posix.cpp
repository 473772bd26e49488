// POSIX terminals: arguments in UTF-8; standard output is already byte for byte.
#include "cli/host.h"
#include "platform/types.h"

namespace cli {

std::uint32_t ArgumentCodePage() { return platform::CP_UTF8; }

void SetBinaryStandardOutput() {}

}  // namespace cli
