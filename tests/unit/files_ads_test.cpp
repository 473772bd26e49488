// Backup-image parsing of stream headers and the stream entry model.
#include <gtest/gtest.h>

#include <vector>

#include "files/ads.h"
#include "platform/record_io.h"
#include "test_support.h"

namespace {

namespace rec = platform::records;

// One stream: header, `nameBytes` of UTF-16 name (may be odd), `dataPresent` bytes of data.
void PutStream(std::vector<std::byte>& out, std::uint32_t id, std::u16string_view name,
               std::uint32_t nameBytes, std::uint64_t size, std::size_t dataPresent) {
  auto head = rec::Zeroed<rec::WIN32_STREAM_ID>();
  head.dwStreamId = id;
  head.Size = static_cast<std::int64_t>(size);
  head.dwStreamNameSize = nameBytes;
  const std::size_t at = rec::AppendRecord(out, head, name);
  out.resize(at + rec::kHeadBytes<rec::WIN32_STREAM_ID> + nameBytes);
  out.insert(out.end(), dataPresent, std::byte{0x41});
}

TEST(BackupImage, WalksStreamsAndStopsAtDamage) {
  std::vector<std::byte> image;
  PutStream(image, 1, u"", 0, 5, 5);
  PutStream(image, 4, u":extra:$DATA", 24, 3, 3);
  auto streams = files::ParseBackupImage(image);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].Header.Id, 1u);
  EXPECT_EQ(streams[0].Header.Size, 5u);
  EXPECT_EQ(streams[1].Name, u":extra:$DATA");

  struct Case {
    const char* what;
    std::vector<std::byte> tail;
    std::size_t delivered;  // of the two good streams plus the damaged one
  };
  std::vector<Case> cases;
  {
    std::vector<std::byte> t(7, std::byte{1});
    cases.push_back({"truncated header", t, 2});
  }
  {
    std::vector<std::byte> t;
    PutStream(t, 4, u":x:$DATA", 16, 0, 0);
    t.resize(t.size() - 3);
    cases.push_back({"truncated name", t, 2});
  }
  {
    std::vector<std::byte> t;
    PutStream(t, 4, u":x:$DATA", 16, 100, 10);
    cases.push_back({"data shorter than its size", t, 2});
  }
  {
    std::vector<std::byte> t;
    PutStream(t, 4, u":x:$DATA", 16, ~0ull, 0);
    cases.push_back({"huge data size", t, 2});
  }
  {
    auto head = rec::Zeroed<rec::WIN32_STREAM_ID>();
    head.dwStreamId = 4;
    head.dwStreamNameSize = 0xFFFFFFF0u;  // far past the end; no name follows
    std::vector<std::byte> t;
    rec::AppendRecord(t, head);
    cases.push_back({"huge name size", t, 2});
  }
  {
    std::vector<std::byte> t;
    PutStream(t, 4, u":ab", 5, 0, 0);
    cases.push_back({"odd name size", t, 3});
  }
  for (const auto& c : cases) {
    std::vector<std::byte> img = image;
    img.insert(img.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(files::ParseBackupImage(img).size(), c.delivered) << c.what;
  }
}

TEST(BackupImage, NamesDropAnOddByteAndKeepZeroCharacters) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::u16string name;
  } cases[] = {
      {{':', 0, 'a', 0, 'b'}, u":a"},
      {{':', 0, 'a', 0, 0, 0, 'b', 0}, std::u16string(u":a\0b", 4)},
      {{}, u""},
      {{'x'}, u""},
      {{0xAC, 0x20}, u"\u20AC"},
  };
  for (const auto& c : cases) {
    std::vector<std::byte> b;
    for (auto v : c.bytes) b.push_back(static_cast<std::byte>(v));
    EXPECT_EQ(files::DecodeBackupStreamName(b), c.name);
  }
}

TEST(FileADSList, FilterKindsNamesAndKnownStreams) {
  sim::MachineBuilder builder;
  testing_support::SimMachineFixture fx(builder);
  struct Case {
    std::uint32_t id;
    std::uint16_t filter;
    bool kept;
  } cases[] = {
      {1, files::TFileADSList::kAllKinds, true},
      {1, files::TFileADSList::kAlternateOnly, false},
      {4, files::TFileADSList::kAlternateOnly, true},
      {20, files::TFileADSList::kAllKinds, false},
      {20, 0xFFFF, false},
      {20, 0, true},
      {15, 0x8000, true},
  };
  for (const auto& c : cases) EXPECT_EQ(files::StreamPassesFilter(c.id, c.filter), c.kept) << c.id;

  files::TFileADSList list;
  EXPECT_EQ(list.Filter, 1023);
  files::TBackupStreamHeader h;
  h.Id = 4;
  h.Size = 9;
  list.Add(h, u":caf\u00E9\u4E2D:$DATA", files::TFileADSList::kAlternateOnly);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0).StreamID, files::siAlternate);
  EXPECT_EQ(list.Items(0).Size, 9);
  EXPECT_EQ(list.Items(0).Name.back(), 'A');
  EXPECT_NE(list.Items(0).Name.find('?'), std::string::npos);  // not in the 8-bit code page

  struct Known {
    const char* name;
    bool known;
  } known[] = {
      {":Zone.Identifier:$DATA", true},
      {":zone.identifier:$DATA", false},
      {":\x05SummaryInformation:$DATA", true},
      {":favicon:$DATA", true},
      {":extra:$DATA", false},
      {"", false},
  };
  for (const auto& k : known)
    EXPECT_EQ(files::TFileADSList::IsKnownStream({k.name, 0, 4}), k.known) << k.name;
  EXPECT_EQ(files::TFileADSList::StreamKindName(5), "Hard link");
  EXPECT_EQ(files::TFileADSList::StreamKindName(10), "");
}

}  // namespace
