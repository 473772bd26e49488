// Windows: the C runtime's rename never replaces an existing file.
#include <cerrno>
#include <cstdio>

#include "cli/out_file.h"

namespace cli {

void RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                            std::error_code& ec) {
  ec.clear();
  if (::_wrename(from.c_str(), to.c_str()) != 0) ec.assign(errno, std::generic_category());
}

}  // namespace cli
