// The cabinet writer on the real cabinet.dll and real files: one cabinet of a folder's files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/cabinet_writer.h"
#include "platform/handles.h"
#include "platform/win32/win32_platform.h"
#include "tests/unit/cabinet_test_support.h"

namespace {

// The test run fills UMBRA_CAB_DIR\src from the host side and checks UMBRA_CAB_DIR\out\test.cab
// with an extractor there; here the writer packs the folder through cabinet.dll and the file
// table is compared with what the listing says of each source.
TEST(RealCabinetTest, PacksAFoldersFilesIntoOneCabinet) {
  const char* dirEnv = std::getenv("UMBRA_CAB_DIR");
  if (dirEnv == nullptr) GTEST_SKIP() << "UMBRA_CAB_DIR not set";
  const std::string dir = dirEnv;
  platform::ScopedPlatform scope(win32::RealPlatform());
  auto& k32 = platform::Current().kernel32;

  struct Source {
    std::string path;
    std::uint64_t size, lastWrite;
    std::uint32_t attributes;
  };
  std::vector<Source> sources;
  platform::Kernel32::FindDataA fd;
  {
    platform::FindHandle find(k32.FindFirstFileA(dir + "\\src\\*", fd));
    ASSERT_TRUE(find) << dir;
    do {
      if (fd.attributes & 0x10) continue;  // folders, "." and ".."
      sources.push_back({dir + "\\src\\" + fd.fileName, fd.size, fd.lastWriteTime, fd.attributes});
    } while (k32.FindNextFileA(find.get(), fd));
  }
  ASSERT_FALSE(sources.empty());

  // Host files by their own names; open information from the listing.
  testing_support::HostFileHandler files("");
  {
    archive::TCabinetWriter w;
    w.FileHandler = &files;
    w.OnGetTempFile = [&, n = 0](std::string& name, bool& ok) mutable {
      name = dir + "\\out\\t" + std::to_string(++n) + ".tmp";
      if (std::FILE* f = std::fopen(name.c_str(), "wb")) std::fclose(f);  // made as GetTempFileNameA makes it
      ok = true;
    };
    w.OnGetOpenInfo = [&](const std::string& name, std::uint16_t& date, std::uint16_t& time,
                          std::uint16_t& attributes, std::int32_t& handle, int& result) {
      for (const auto& s : sources)
        if (s.path == name) {
          attributes = static_cast<std::uint16_t>(s.attributes & 0x27);
          testing_support::DosDateTimeOf(s.lastWrite, date, time);
        }
      handle = files.Open(name, archive::kOpenReadOnly | archive::kOpenBinary, 0, result);
    };
    w.CreateCabinet(dir + "\\out\\test.cab", "", 1, 0x7FFFFFFF, 0x7FFFFFFF);
    for (const auto& s : sources) w.AddFile(s.path, s.path, archive::kCompressMSZIP, 0);
    w.FlushCabinet(true);  // as the archive asks
    w.CloseCabinet();
  }

  auto entries = testing_support::ReadCabinetEntries(testing_support::ReadHostFile(dir + "\\out\\test.cab"));
  ASSERT_EQ(entries.size(), sources.size());
  for (std::size_t i = 0; i < sources.size(); ++i) {
    SCOPED_TRACE(sources[i].path);
    EXPECT_EQ(entries[i].name, sources[i].path);
    EXPECT_EQ(entries[i].size, sources[i].size);
    EXPECT_EQ(entries[i].compression & platform::tcompMASK_TYPE, platform::tcompTYPE_MSZIP);
    EXPECT_EQ(entries[i].attributes & 0x27, sources[i].attributes & 0x27);
    std::uint16_t date = 0, time = 0;
    testing_support::DosDateTimeOf(sources[i].lastWrite, date, time);
    EXPECT_EQ(entries[i].date, date);
    EXPECT_EQ(entries[i].time, time);
  }
}

}  // namespace
