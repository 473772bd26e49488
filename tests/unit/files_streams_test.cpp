// Stream listing end to end on simulated files: both routes, the walk's failures, hostile records.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "base/utf.h"
#include "files/ads.h"
#include "platform/records.h"
#include "tests/unit/test_support.h"

namespace {

using platform::records::FILE_STREAM_INFORMATION;

constexpr std::uint64_t kFiveGiB = 5ull << 30;

struct Listed {
  std::u16string name;
  std::int64_t size;
  int kind;
  bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Listed& l) {
  return os << "{" << base::Utf16ToUtf8(l.name) << ", " << l.size << ", " << l.kind << "}";
}

std::vector<Listed> Entries(const files::TFileADSList& list) {
  std::vector<Listed> out;
  for (int i = 0; i < list.Count(); ++i)
    out.push_back({list.Items(i).WideName, list.Items(i).Size, list.Items(i).StreamID});
  return out;
}

class StreamListTest : public ::testing::Test {
 protected:
  StreamListTest() {
    b.File(u"C:\\Temp\\plain.txt", "hello");
    auto& a = b.File(u"C:\\Temp\\a.txt", "main");
    a.streams = {{u"extra", "xyz", 3},
                 {u"Zone.Identifier", "[ZoneTransfer]", 14},
                 {std::u16string(u"a\0b", 3), "", 10},
                 {u"caf\u00E9\u4E2D", "", 4},
                 {u"big", "", kFiveGiB}};
    b.Folder(u"C:\\Temp\\dir").streams = {{u"onfolder", "cfg", 3}};
    b.Folder(u"C:\\Temp\\nostreams");
    auto& denied = b.File(u"C:\\Temp\\denied.txt", "x");
    denied.streams = {{u"s", "1", 1}};
    denied.fail.streams = true;
    auto& unreadable = b.File(u"C:\\Temp\\unreadable.txt", "x");
    unreadable.streams = {{u"s", "1", 1}};
    unreadable.fail.read = true;
    b.File(u"C:\\Temp\\caf\u00E9.txt", "12").streams = {{u"s", "", 7}};
    auto& many = b.File(u"C:\\Temp\\many.txt");
    for (int i = 0; i < 200; ++i)
      many.streams.push_back({u"stream-number-" + base::Utf8ToUtf16(std::to_string(i)).value(), "", 1});
    fx.emplace(b);
  }
  sim::Machine& machine() { return fx->machine(); }

  sim::MachineBuilder b;
  std::optional<testing_support::SimMachineFixture> fx;
};

// Both routes give the same listing: backup reads, and the native stream query that stands in
// where the system has no backup reads.
TEST_F(StreamListTest, RefreshListsKindsNamesAndSizesOnBothRoutes) {
  const std::vector<Listed> aStreams = {{u":extra:$DATA", 3, 4},
                                        {u":Zone.Identifier:$DATA", 14, 4},
                                        {std::u16string(u":a\0b:$DATA", 10), 10, 4},
                                        {u":caf\u00E9\u4E2D:$DATA", 4, 4},
                                        {u":big:$DATA", static_cast<std::int64_t>(kFiveGiB), 4}};
  std::vector<Listed> aAll = {{u"", 4, 1}};
  aAll.insert(aAll.end(), aStreams.begin(), aStreams.end());
  struct Case {
    std::u16string path;
    std::uint16_t filter;
    std::vector<Listed> expected;
  } cases[] = {
      {u"C:\\Temp\\plain.txt", 1023, {{u"", 5, 1}}},
      {u"C:\\Temp\\plain.txt", 16, {}},
      {u"C:\\Temp\\plain.txt", 4, {}},
      {u"C:\\Temp\\a.txt", 16, aStreams},
      {u"C:\\Temp\\a.txt", 1023, aAll},
      {u"C:\\Temp\\a.txt", 0, aAll},
      {u"C:\\Temp\\dir", 1023, {{u":onfolder:$DATA", 3, 4}}},
      {u"C:\\Temp\\nostreams", 1023, {}},
      {u"C:\\Temp\\denied.txt", 1023, {}},
      {u"C:\\Temp\\unreadable.txt", 1023, {}},
      {u"C:\\Temp\\missing.txt", 1023, {}},
  };
  for (bool backupRead : {true, false}) {
    machine().system.backupRead = backupRead;
    for (const auto& c : cases) {
      const std::size_t handles = machine().handles.size();
      files::TFileADSList list;
      list.Refresh(std::u16string_view(c.path), c.filter);
      EXPECT_EQ(Entries(list), c.expected) << base::Utf16ToUtf8(c.path) << " filter " << c.filter
                                           << (backupRead ? " (backup reads)" : " (stream query)");
      EXPECT_EQ(machine().handles.size(), handles) << "a handle or read context was left open";
    }
    files::TFileADSList many;
    many.Refresh(u"C:\\Temp\\many.txt", files::TFileADSList::kAlternateOnly);
    EXPECT_EQ(many.Count(), 200);
  }
}

TEST_F(StreamListTest, EightBitNamesAndKnownStreams) {
  files::TFileADSList list;
  list.Refresh(std::string_view("C:\\Temp\\caf\xE9.txt"), files::TFileADSList::kAlternateOnly);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0).Name, ":s:$DATA");
  EXPECT_EQ(list.Items(0).Size, 7);

  list.Refresh(std::string_view("C:\\Temp\\a.txt"), files::TFileADSList::kAlternateOnly);
  ASSERT_EQ(list.Count(), 5);
  EXPECT_TRUE(files::TFileADSList::IsKnownStream(list.Items(1)));
  EXPECT_FALSE(files::TFileADSList::IsKnownStream(list.Items(0)));
  EXPECT_EQ(list.Items(2).Name, std::string(":a\0b:$DATA", 10));  // converted at its counted length
  EXPECT_EQ(list.Items(3).Name, ":caf\xE9?:$DATA");               // beyond the code page: '?'
}

// The simulated backup image is the real format: read whole, the image parser takes it apart.
TEST_F(StreamListTest, SimulatedBackupImageHasTheRealFormat) {
  auto& k32 = platform::Current().kernel32;
  const platform::Handle h =
      k32.CreateFileW(u"C:\\Temp\\dir", platform::GENERIC_READ, platform::FILE_SHARE_READ,
                      platform::OPEN_EXISTING, platform::FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(h, platform::kInvalidHandle);
  std::vector<std::byte> image;
  std::uintptr_t context = 0;
  std::byte chunk[7];
  platform::DWORD got = 0;
  while (k32.BackupRead(h, chunk, got, false, true, context) && got > 0)
    image.insert(image.end(), chunk, chunk + got);
  k32.BackupRead(h, {}, got, true, false, context);
  k32.CloseHandle(h);

  const auto streams = files::ParseBackupImage(image);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].Header.Id, platform::BACKUP_ALTERNATE_DATA);
  EXPECT_EQ(streams[0].Name, u":onfolder:$DATA");
  ASSERT_EQ(image.size(), 20u + 30u + 3u);
  EXPECT_EQ(std::memcmp(image.data() + 50, "cfg", 3), 0);

  // A folder opens only for backup; without the flag it is refused as Windows refuses it.
  EXPECT_EQ(k32.CreateFileW(u"C:\\Temp\\dir", platform::GENERIC_READ, 0, platform::OPEN_EXISTING, 0),
            platform::kInvalidHandle);
  EXPECT_EQ(k32.GetLastError(), platform::ERROR_ACCESS_DENIED);
}

TEST_F(StreamListTest, BackupSeekStopsAtTheEndOfItsStream) {
  auto& k32 = platform::Current().kernel32;
  const platform::Handle h =
      k32.CreateFileW(u"C:\\Temp\\a.txt", platform::GENERIC_READ, platform::FILE_SHARE_READ,
                      platform::OPEN_EXISTING, platform::FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(h, platform::kInvalidHandle);
  std::uintptr_t context = 0;
  std::byte head[20];
  platform::DWORD got = 0, low = 0, high = 0;
  ASSERT_TRUE(k32.BackupRead(h, head, got, false, true, context));
  ASSERT_EQ(got, 20u);
  EXPECT_FALSE(k32.BackupSeek(h, 10, 0, low, high, context));  // the main stream holds 4 bytes
  EXPECT_EQ(k32.GetLastError(), platform::ERROR_SEEK);
  EXPECT_EQ(low, 4u);
  ASSERT_TRUE(k32.BackupRead(h, head, got, false, true, context));
  files::TBackupStreamHeader next;
  ASSERT_TRUE(files::ParseBackupStreamHeader(head, next));
  EXPECT_EQ(next.Id, platform::BACKUP_ALTERNATE_DATA);
  EXPECT_EQ(next.NameSize, 24u);
  k32.BackupRead(h, {}, got, true, false, context);
  EXPECT_EQ(context, 0u);
  k32.CloseHandle(h);
}

// A backup image in memory that can fail its n-th read or seek, and hand out short reads.
class MemorySource final : public files::TBackupSource {
 public:
  MemorySource(std::vector<std::byte> image, int failRead, int failSeek, std::size_t chunk)
      : image_(std::move(image)), failRead_(failRead), failSeek_(failSeek), chunk_(chunk) {}
  bool Read(std::span<std::byte> buffer, std::size_t& got) override {
    if (++reads_ == failRead_) return false;
    got = std::min({buffer.size(), image_.size() - at_, chunk_});
    std::memcpy(buffer.data(), image_.data() + at_, got);
    at_ += got;
    return true;
  }
  bool Seek(std::uint64_t count) override {
    if (++seeks_ == failSeek_ || count > image_.size() - at_) return false;
    at_ += static_cast<std::size_t>(count);
    return true;
  }

 private:
  std::vector<std::byte> image_;
  int failRead_, failSeek_;
  std::size_t chunk_, at_ = 0;
  int reads_ = 0, seeks_ = 0;
};

void PutLE(std::vector<std::byte>& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::byte>(i < 8 ? (v >> (8 * i)) & 0xFF : 0));
}

void PutStream(std::vector<std::byte>& out, std::uint32_t id, std::u16string_view name, std::uint64_t size,
               std::uint32_t nameBytes = ~0u) {
  PutLE(out, id, 4);
  PutLE(out, 0, 4);
  PutLE(out, size, 8);
  PutLE(out, nameBytes != ~0u ? nameBytes : name.size() * 2, 4);
  for (char16_t c : name) PutLE(out, c, 2);
  out.insert(out.end(), static_cast<std::size_t>(size), std::byte{0x5A});
}

TEST(BackupWalk, EndsAtTheFirstFailureKeepingWhatCameBefore) {
  std::vector<std::byte> image;
  PutStream(image, 1, u"", 6);          // reads: 1 head; seek 1
  PutStream(image, 4, u":x:$DATA", 2);  // reads: 2 head, 3 name; seek 2
  PutStream(image, 4, u":y:$DATA", 0);  // reads: 4 head, 5 name; no seek
  struct Case {
    const char* what;
    int failRead, failSeek;
    std::size_t chunk;
    std::size_t delivered;
  } cases[] = {
      {"whole image", 0, 0, 4096, 3},
      {"one byte per read", 0, 0, 1, 3},
      {"first read fails", 1, 0, 4096, 0},
      {"second head unreadable", 2, 0, 4096, 1},
      {"second name unreadable", 3, 0, 4096, 1},
      {"second stream's data cannot be skipped", 0, 2, 4096, 1},
      {"first stream's data cannot be skipped", 0, 1, 4096, 0},
  };
  for (const auto& c : cases) {
    MemorySource source(image, c.failRead, c.failSeek, c.chunk);
    std::size_t delivered = 0;
    files::WalkBackupStreams(source,
                             [&](const files::TBackupStreamHeader&, std::u16string_view) { ++delivered; });
    EXPECT_EQ(delivered, c.delivered) << c.what;
  }

  std::vector<std::byte> hostile;
  PutStream(hostile, 4, u":x:$DATA", 0);
  PutStream(hostile, 4, u"", 0, 0xFFFFFFF0u);  // a name size no stream has; nothing follows
  MemorySource source(hostile, 0, 0, 4096);
  std::vector<std::u16string> names;
  files::WalkBackupStreams(
      source, [&](const files::TBackupStreamHeader&, std::u16string_view n) { names.emplace_back(n); });
  EXPECT_EQ(names, std::vector<std::u16string>{u":x:$DATA"});
}

// One FILE_STREAM_INFORMATION record; `next` 0 ends the chain.
void PutInfo(std::vector<std::byte>& out, std::uint32_t next, std::u16string_view name, std::int64_t size,
             std::uint32_t nameBytes = ~0u) {
  const std::size_t at = out.size();
  PutLE(out, next, 4);
  PutLE(out, nameBytes != ~0u ? nameBytes : name.size() * 2, 4);
  PutLE(out, static_cast<std::uint64_t>(size), 8);
  PutLE(out, 0, 8);
  for (char16_t c : name) PutLE(out, c, 2);
  if (next != 0 && out.size() - at < next) out.resize(at + next);
}

TEST(StreamInformation, WalksForwardAndStopsAtDamage) {
  struct Case {
    const char* what;
    std::vector<std::byte> buffer;
    std::vector<std::u16string> names;
  };
  std::vector<Case> cases;
  {
    std::vector<std::byte> b;
    PutInfo(b, 40, u"::$DATA", 5);
    PutInfo(b, 0, u":x:$DATA", 3);
    cases.push_back({"two records", b, {u"::$DATA", u":x:$DATA"}});
  }
  {
    std::vector<std::byte> b;
    PutInfo(b, 0, u"::$DATA", 5);
    PutInfo(b, 0, u":x:$DATA", 3);
    cases.push_back({"a zero offset ends the chain", b, {u"::$DATA"}});
  }
  {
    std::vector<std::byte> b;
    PutInfo(b, 4000, u"::$DATA", 5);
    cases.push_back({"next record past the end", b, {u"::$DATA"}});
  }
  {
    std::vector<std::byte> b;
    PutInfo(b, 40, u"::$DATA", 5);
    PutInfo(b, 0, u":x:$DATA", 3, 400);
    cases.push_back({"name longer than the buffer", b, {u"::$DATA"}});
  }
  {
    std::vector<std::byte> b;
    PutInfo(b, 40, u"::$DATA", 5);
    b.resize(b.size() + 10);
    cases.push_back({"truncated record head", b, {u"::$DATA"}});
  }
  {
    std::vector<std::byte> b;
    PutInfo(b, 0, std::u16string(u":a\0b:$DATA", 10), 1);
    cases.push_back({"counted name", b, {std::u16string(u":a\0b:$DATA", 10)}});
  }
  {
    std::vector<std::byte> b;
    PutInfo(b, 0, u":ab", 1, 5);
    cases.push_back({"odd name length", b, {u":a"}});
  }
  cases.push_back({"empty buffer", {}, {}});
  for (const auto& c : cases) {
    std::vector<std::u16string> names;
    for (const auto& info : files::ParseStreamInformation(c.buffer)) names.push_back(info.Name);
    EXPECT_EQ(names, c.names) << c.what;
  }
}

}  // namespace
