// A file's data streams: the backup image, the native stream query and one handle for every use.
#include <gtest/gtest.h>

#include <vector>

#include "app/session.h"
#include "files/ads.h"
#include "files/file_list.h"
#include "platform/handles.h"
#include "platform/records.h"
#include "tests/conformance/backend.h"
#include "tests/conformance/buffers.h"

namespace conformance {
namespace {

using namespace platform;
namespace rec = platform::records;

CONFORMANCE_SUITE(Streams);

using FileHandle = KernelFileHandle;

FileHandle OpenForBackup(Kernel32& k32, const std::u16string& path) {
  return FileHandle(k32.CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS));
}

struct StreamSeen {
  DWORD id = 0;
  std::u16string name;
  std::int64_t size = 0;
  bool operator==(const StreamSeen&) const = default;
};

void PrintTo(const StreamSeen& s, std::ostream* os) {
  *os << s.id << " '" << Units(s.name) << "' " << s.size;
}

const std::string kMain = "main!";
const std::string kExtra = "12345678";

TEST_P(Streams, BackupReadGivesEveryStreamWithItsHead) {
  const auto file = B().MakeFileWithStream(kMain, u"extra", kExtra);
  auto& k32 = P().kernel32;
  const auto h = OpenForBackup(k32, file);
  ASSERT_TRUE(h) << "error " << k32.GetLastError();

  // The whole image, read until a read gives nothing (a read may end at each stream's end).
  std::vector<std::byte> image;
  std::uintptr_t context = 0;
  bool read = true;
  for (int calls = 0; read && calls < 100; ++calls) {
    std::vector<std::byte> chunk(4096);
    DWORD got = 0;
    read = k32.BackupRead(h.get(), chunk, got, false, false, context);
    if (!read || got == 0) break;
    image.insert(image.end(), chunk.begin(), chunk.begin() + got);
  }
  const DWORD error = read ? ERROR_SUCCESS : k32.GetLastError();
  if (context != 0) {
    DWORD none = 0;
    k32.BackupRead(h.get(), {}, none, true, false, context);
  }
  ASSERT_EQ(error, Expected().backupReadError);
  if (!read) return;

  std::vector<StreamSeen> seen;
  const auto bytes = std::span<const std::byte>(image);
  for (std::size_t at = 0; at < bytes.size() && seen.size() < 10;) {
    StreamSeen s;
    s.id = Field<std::uint32_t>(bytes, at);
    s.size = Field<std::int64_t>(bytes, at + offsetof(rec::WIN32_STREAM_ID, Size));
    const auto nameBytes = Field<std::uint32_t>(bytes, at + offsetof(rec::WIN32_STREAM_ID, dwStreamNameSize));
    s.name = Text(bytes, at + offsetof(rec::WIN32_STREAM_ID, cStreamName), nameBytes);
    seen.push_back(s);
    at += offsetof(rec::WIN32_STREAM_ID, cStreamName) + nameBytes + static_cast<std::size_t>(s.size);
  }
  EXPECT_EQ(seen,
            (std::vector<StreamSeen>{{BACKUP_DATA, u"", 5}, {BACKUP_ALTERNATE_DATA, u":extra:$DATA", 8}}));
}

TEST_P(Streams, TheStreamQueryListsEveryDataStream) {
  const auto file = B().MakeFileWithStream(kMain, u"extra", kExtra);
  auto& k32 = P().kernel32;
  const auto h = OpenForBackup(k32, file);
  ASSERT_TRUE(h) << "error " << k32.GetLastError();
  std::vector<std::byte> info(4096);
  IoStatus io;
  const NTSTATUS s = P().ntdll.NtQueryInformationFile(h.get(), io, info, rec::FileStreamInformation);
  ASSERT_EQ(s, Expected().streamQuery);
  if (s != STATUS_SUCCESS) return;

  std::vector<StreamSeen> seen;
  for (std::size_t at = 0; seen.size() < 10;) {
    StreamSeen st;
    st.size = Field<std::int64_t>(info, at + offsetof(rec::FILE_STREAM_INFORMATION, StreamSize));
    st.name = Text(info, at + offsetof(rec::FILE_STREAM_INFORMATION, StreamName),
                   Field<std::uint32_t>(info, at + offsetof(rec::FILE_STREAM_INFORMATION, StreamNameLength)));
    seen.push_back(st);
    const auto next = Field<std::uint32_t>(info, at);
    if (next == 0) break;
    at += next;
  }
  EXPECT_EQ(seen, (std::vector<StreamSeen>{{0, u"::$DATA", 5}, {0, u":extra:$DATA", 8}}));

  // Room for less than the first record: an overflow, nothing listed.
  std::vector<std::byte> small(sizeof(rec::FILE_STREAM_INFORMATION));
  io = {};
  EXPECT_EQ(P().ntdll.NtQueryInformationFile(h.get(), io, small, rec::FileStreamInformation),
            STATUS_BUFFER_OVERFLOW);
}

TEST_P(Streams, TheStreamListingSeesTheAlternateStreamOrAFileOfItsName) {
  const auto file = B().MakeFileWithStream(kMain, u"extra", kExtra);
  P();
  app::RunStartup();
  files::TFileADSList all, alternate;
  all.Refresh(file, files::TFileADSList::kAllKinds);
  alternate.Refresh(file, files::TFileADSList::kAlternateOnly);
  const std::u16string folder = file.substr(0, file.find_last_of(u'\\'));
  files::TNTFileEnumerator native;
  native.InformationLevel = 1;
  native.Enumerate(folder);
  std::vector<std::u16string> names;
  for (const auto& e : native.Entries) names.push_back(e.Name);
  std::sort(names.begin(), names.end());

  if (Expected().alternateStreams) {
    bool main = false;
    for (int i = 0; i < all.Count(); ++i)
      main |=
          all.Items(i).StreamID == files::siStandard && all.Items(i).Name.empty() && all.Items(i).Size == 5;
    EXPECT_TRUE(main) << "no main stream of 5 bytes";
    ASSERT_EQ(alternate.Count(), 1);
    EXPECT_EQ(alternate.Items(0).Name, ":extra:$DATA");
    EXPECT_EQ(alternate.Items(0).Size, 8);
    EXPECT_EQ(alternate.Items(0).StreamID, files::siAlternate);
    EXPECT_EQ(names, std::vector<std::u16string>{u"streams.txt"});
    return;
  }
  // Without streams in the file system the named stream became a file beside the first, and
  // neither route lists anything.
  EXPECT_EQ(all.Count(), 0);
  EXPECT_EQ(alternate.Count(), 0);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"streams.txt", u"streams.txt:extra"}));
}

// Size, mapping and backup reads all work on the handle either CreateFile answers.
TEST_P(Streams, EveryFileFunctionWorksOnEitherCreateFileHandle) {
  const auto file = B().MakeFileWithStream(kMain, u"extra", kExtra);
  auto& k32 = P().kernel32;
  const std::string narrow(file.begin(), file.end());
  FileHandle wide = OpenForBackup(k32, file);
  FileHandle eight(k32.CreateFileA(narrow, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(wide);
  ASSERT_TRUE(eight);
  for (const FileHandle* h : {&wide, &eight}) {
    SCOPED_TRACE(h == &wide ? "CreateFileW" : "CreateFileA");
    DWORD high = 1;
    EXPECT_EQ(k32.GetFileSize(h->get(), &high), kMain.size());
    EXPECT_EQ(high, 0u);
    const Handle mapping = k32.CreateFileMappingA(h->get(), PAGE_READONLY, 0, 0);
    ASSERT_NE(mapping, kNullHandle) << "error " << k32.GetLastError();
    const std::byte* view = k32.MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kMain.size());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), kMain.size()), kMain);
    k32.UnmapViewOfFile(view);
    k32.CloseHandle(mapping);

    std::vector<std::byte> image(4096);
    std::uintptr_t context = 0;
    DWORD got = 0;
    const bool read = k32.BackupRead(h->get(), image, got, false, false, context);
    EXPECT_EQ(read ? ERROR_SUCCESS : k32.GetLastError(), Expected().backupReadError);
    if (context != 0) k32.BackupRead(h->get(), {}, got, true, false, context);
  }
}

}  // namespace
}  // namespace conformance
