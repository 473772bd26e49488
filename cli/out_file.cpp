// Writing a report file completely or not at all.
#include "cli/out_file.h"

#include <atomic>
#include <chrono>
#include <fstream>

namespace cli {
namespace {

namespace fs = std::filesystem;

// A name next to `path` that no other writer picks: the time and a counter.
fs::path TemporaryName(const fs::path& path) {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path temp = path;
  temp += ".partial-" + std::to_string(now) + "-" + std::to_string(counter++);
  return temp;
}

}  // namespace

bool WriteReportFile(const fs::path& path, std::string_view bytes, bool replace, std::string& error) {
  std::error_code ec;
  if (!replace && fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec) {
    error = path.string() + " already exists; use --force to replace it";
    return false;
  }
  fs::path temp = TemporaryName(path);
  for (int tries = 0; fs::exists(fs::symlink_status(temp, ec)) && tries < 100; ++tries)
    temp = TemporaryName(path);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
      error = "cannot write " + path.string() +
              (fs::is_directory(folder, ec) ? ": cannot create a file in its folder"
                                            : ": the folder " + folder.string() + " does not exist");
      return false;
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      fs::remove(temp, ec);
      error = "cannot write " + path.string() + " completely (disk full?); nothing was written";
      return false;
    }
  }
  if (replace)
    fs::rename(temp, path, ec);
  else
    RenameWithoutReplacing(temp, path, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    // Windows says "access denied" where POSIX says "exists".
    if (!replace && (ec == std::errc::file_exists || fs::exists(fs::symlink_status(path, ignored))))
      error = path.string() + " already exists; use --force to replace it";
    else
      error = "cannot write " + path.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace cli
