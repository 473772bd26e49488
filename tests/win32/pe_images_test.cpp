// The executable image reader over a real system's libraries, and the memory dump of this very process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "processes/memory_dump.h"
#include "processes/pe_reader.h"

namespace {

namespace fs = std::filesystem;

class RealImages : public ::testing::Test {
 protected:
  RealImages() : scope_(win32::RealPlatform()) {}
  platform::ScopedPlatform scope_;
};

std::vector<std::byte> ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::byte> out(s.size());
  if (!s.empty()) std::memcpy(out.data(), s.data(), s.size());
  return out;
}

// Every library of the system folder reads with all its directories, as real linkers write them.
TEST_F(RealImages, EveryLibraryOfTheSystemFolderReads) {
  const fs::path system = platform::Current().kernel32.GetSystemDirectoryA();
  std::size_t count = 0, plus = 0, withImports = 0, withExports = 0, withResources = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(system, ec)) {
    if (!entry.is_regular_file(ec)) continue;
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".dll") continue;
    const auto bytes = ReadWhole(entry.path());
    SCOPED_TRACE(entry.path().string());
    processes::TPEReader r;
    r.SetReadDebugInfo(true);
    try {
      r.Read(bytes);
    } catch (const processes::PEReaderError& e) {
      ADD_FAILURE() << e.what();
      continue;
    }
    ++count;
    plus += r.IsPE32Plus();
    EXPECT_FALSE(r.ImportsFailed);
    EXPECT_FALSE(r.ExportsFailed);
    EXPECT_FALSE(r.ResourcesFailed);
    withImports += !r.Imports.empty();
    withExports += !r.ExportNames.empty();
    withResources += !r.Resources.empty();
  }
  std::printf(
      "read %zu libraries of %s (%zu PE32+): %zu with imports, %zu with exports, %zu with resources\n", count,
      system.string().c_str(), plus, withImports, withExports, withResources);
  EXPECT_GT(count, 100u);
  EXPECT_GT(withExports, count / 2);
}

// This program's own image, dumped from its memory, has the file's section table and code.
TEST_F(RealImages, DumpOfThisProcessHasTheFilesSections) {
  std::vector<std::byte> dump;
  ASSERT_TRUE(processes::DumpProcessImage(platform::Current().kernel32.GetCurrentProcessId(), dump));
  const auto file = ReadWhole(platform::Current().kernel32.GetModuleFileNameA());
  processes::TPEReader fromFile, fromDump;
  fromFile.SetReadImports(false), fromFile.SetReadExports(false), fromFile.SetReadResources(false);
  fromDump.SetReadImports(false), fromDump.SetReadExports(false), fromDump.SetReadResources(false);
  fromFile.Read(file);
  fromDump.Read(dump);
  ASSERT_EQ(fromDump.SectionCount(), fromFile.SectionCount());
  for (std::size_t i = 0; i < fromFile.SectionCount(); ++i) {
    EXPECT_EQ(fromDump.GetSection(i).PointerToRawData, fromFile.GetSection(i).PointerToRawData);
    EXPECT_EQ(fromDump.GetSection(i).VirtualAddress, fromFile.GetSection(i).VirtualAddress);
  }
  EXPECT_TRUE(fromDump.IsPE32Plus());
}

}  // namespace
