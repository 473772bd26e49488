// POSIX: a rename that never replaces. A hard link fails on an existing name; where the file
// system has no hard links, the kernel's no-replace rename; only where neither exists, a look
// before an ordinary rename.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

#include "cli/out_file.h"

namespace cli {

void RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                            std::error_code& ec) {
  ec.clear();
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return;
  }
  const int linkError = errno;
  if (linkError != EPERM && linkError != EOPNOTSUPP && linkError != ENOTSUP && linkError != EMLINK) {
    ec.assign(linkError, std::generic_category());
    return;
  }
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno != EINVAL && errno != ENOSYS) {
    ec.assign(errno, std::generic_category());
    return;
  }
#endif
  std::error_code probe;
  if (std::filesystem::exists(std::filesystem::symlink_status(to, probe))) {
    ec = std::make_error_code(std::errc::file_exists);
    return;
  }
  std::filesystem::rename(from, to, ec);
}

}  // namespace cli
