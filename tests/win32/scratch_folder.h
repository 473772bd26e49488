// A fresh folder under the temporary folder for one test, removed with all it holds afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace wintest {

class ScratchFolder {
 public:
  // The name joins `prefix`, the run's random seed and the test's name, so runs and tests that
  // share a temporary folder never meet in it.
  explicit ScratchFolder(const std::string& prefix) {
    const auto* unit = ::testing::UnitTest::GetInstance();
    path_ = std::filesystem::temp_directory_path() /
            (prefix + std::to_string(unit->random_seed()) + unit->current_test_info()->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace wintest
