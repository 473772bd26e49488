// The stream listing on a real file with an alternate stream made through CreateFileW.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/session.h"
#include "files/ads.h"
#include "files/file_list.h"
#include "platform/handles.h"
#include "platform/records.h"
#include "platform/win32/win32_platform.h"
#include "tests/win32/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

class RealStreamsTest : public ::testing::Test {
 protected:
  RealStreamsTest() : scope_(win32::RealPlatform()) { app::RunStartup(); }

  platform::ScopedPlatform scope_;
  wintest::ScratchFolder scratch_{"umbra-streams-"};
  const fs::path& dir_ = scratch_.path();
};

struct FileCloser {
  void operator()(platform::Handle h) const { platform::Current().kernel32.CloseHandle(h); }
};
using FileHandle = platform::UniqueHandle<FileCloser, platform::kInvalidHandle>;

// What the system offers for listing streams, asked directly: the first backup read, and the
// native stream query where that read is not supported.
struct Routes {
  bool backupRead = false;
  platform::DWORD backupReadError = 0;
  platform::NTSTATUS streamQuery = platform::STATUS_UNSUCCESSFUL;
};

Routes Probe(const fs::path& file) {
  auto& k32 = platform::Current().kernel32;
  FileHandle h(k32.CreateFileW(file.u16string(), platform::GENERIC_READ,
                               platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                               platform::OPEN_EXISTING, platform::FILE_FLAG_BACKUP_SEMANTICS));
  Routes r;
  if (!h) return r;
  std::byte head[platform::records::kHeadBytes<platform::records::WIN32_STREAM_ID>];
  std::uintptr_t context = 0;
  platform::DWORD got = 0;
  r.backupRead = k32.BackupRead(h.get(), head, got, false, true, context);
  r.backupReadError = r.backupRead ? 0 : k32.GetLastError();
  if (context != 0) k32.BackupRead(h.get(), {}, got, true, false, context);
  std::vector<std::byte> info(4096);
  platform::IoStatus io;
  r.streamQuery = platform::Current().ntdll.NtQueryInformationFile(h.get(), io, info,
                                                                   platform::records::FileStreamInformation);
  return r;
}

TEST_F(RealStreamsTest, AlternateStreamMadeByCreateFileIsListedWithItsSize) {
  const fs::path file = dir_ / "s.txt";
  std::ofstream(file) << "main!";
  fs::path stream = file;
  stream += ":extra";
  std::ofstream(stream) << "12345678";  // opened with CreateFileW on the wide path

  files::TFileADSList all, alternate;
  all.Refresh(file.u16string(), files::TFileADSList::kAllKinds);
  alternate.Refresh(file.u16string(), files::TFileADSList::kAlternateOnly);
  const Routes routes = Probe(file);

  if (routes.backupRead || routes.streamQuery == platform::STATUS_SUCCESS) {
    bool main = false;
    for (int i = 0; i < all.Count(); ++i)
      main |=
          all.Items(i).StreamID == files::siStandard && all.Items(i).Name.empty() && all.Items(i).Size == 5;
    EXPECT_TRUE(main) << "no main stream of 5 bytes";
    ASSERT_EQ(alternate.Count(), 1);
    EXPECT_EQ(alternate.Items(0).Name, ":extra:$DATA");
    EXPECT_EQ(alternate.Items(0).Size, 8);
    EXPECT_EQ(alternate.Items(0).StreamID, files::siAlternate);
    return;
  }

  // Wine 8 has neither route: BackupRead is a stub answering ERROR_NOT_SUPPORTED and the stream
  // query is an unsupported class. Its file system keeps no streams either: CreateFileW on
  // "s.txt:extra" made a file of that very name beside s.txt.
  EXPECT_EQ(routes.backupReadError, platform::ERROR_NOT_SUPPORTED);
  EXPECT_EQ(routes.streamQuery, platform::STATUS_NOT_IMPLEMENTED);
  EXPECT_EQ(all.Count(), 0);
  EXPECT_EQ(alternate.Count(), 0);
  files::TNTFileEnumerator native;
  native.InformationLevel = 1;
  native.Enumerate(dir_.u16string());
  bool separate = false;
  for (const auto& e : native.Entries) separate |= e.Name == u"s.txt:extra" && e.Size == 8;
  EXPECT_TRUE(separate) << "the stream is neither listed nor a file of its own";
}

}  // namespace
