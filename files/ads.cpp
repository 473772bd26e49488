// Stream listing: the hostile-input-safe parse of backup stream headers and the entry model.
#include "files/ads.h"

#include <array>

#include "platform/platform.h"
#include "platform/records.h"

namespace files {

namespace {

template <typename T>
T ReadLE(std::span<const std::byte> bytes, std::size_t at) {
  T v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    v |= static_cast<T>(static_cast<T>(std::to_integer<std::uint8_t>(bytes[at + i])) << (8 * i));
  return v;
}

}  // namespace

static_assert(kBackupStreamHeaderSize == offsetof(platform::records::WIN32_STREAM_ID, cStreamName));

bool ParseBackupStreamHeader(std::span<const std::byte> bytes, TBackupStreamHeader& header) {
  if (bytes.size() < kBackupStreamHeaderSize) return false;
  header.Id = ReadLE<std::uint32_t>(bytes, 0);
  header.Attributes = ReadLE<std::uint32_t>(bytes, 4);
  header.Size = ReadLE<std::uint64_t>(bytes, 8);
  header.NameSize = ReadLE<std::uint32_t>(bytes, 16);
  return true;
}

std::u16string DecodeBackupStreamName(std::span<const std::byte> name) {
  std::u16string out;
  for (std::size_t i = 0; i + 1 < name.size(); i += 2) {
    out.push_back(static_cast<char16_t>(ReadLE<std::uint16_t>(name, i)));
  }
  return out;
}

bool StreamPassesFilter(std::uint32_t id, std::uint16_t filter) {
  return filter == 0 || (id <= 15 && (filter & (1u << id)) != 0);
}

std::vector<TBackupStream> ParseBackupImage(std::span<const std::byte> image) {
  std::vector<TBackupStream> out;
  std::size_t at = 0;
  for (;;) {
    TBackupStream s;
    if (!ParseBackupStreamHeader(image.subspan(at), s.Header)) break;
    at += kBackupStreamHeaderSize;
    if (s.Header.NameSize > image.size() - at) break;
    s.Name = DecodeBackupStreamName(image.subspan(at, s.Header.NameSize));
    at += s.Header.NameSize;
    if (s.Header.Size > image.size() - at) break;
    at += static_cast<std::size_t>(s.Header.Size);
    out.push_back(std::move(s));
  }
  return out;
}

namespace {

// Reads until `buffer` is full; false when a read fails or the image ends first.
bool ReadFully(TBackupSource& source, std::span<std::byte> buffer) {
  std::size_t have = 0;
  while (have < buffer.size()) {
    std::size_t got = 0;
    if (!source.Read(buffer.subspan(have), got) || got == 0 || got > buffer.size() - have) return false;
    have += got;
  }
  return true;
}

// No stream name is longer than a counted string can hold; a larger size is damage.
constexpr std::uint32_t kMaxStreamNameBytes = 65534;

}  // namespace

void WalkBackupStreams(TBackupSource& source,
                       const std::function<void(const TBackupStreamHeader&, std::u16string_view)>& onStream) {
  std::array<std::byte, kBackupStreamHeaderSize> head{};
  std::vector<std::byte> name;
  for (;;) {
    std::size_t got = 0;
    if (!source.Read(head, got) || got == 0 || got > head.size()) return;  // failed, or the end
    if (got < head.size() && !ReadFully(source, std::span(head).subspan(got))) return;
    TBackupStreamHeader header;
    ParseBackupStreamHeader(head, header);
    if (header.NameSize > kMaxStreamNameBytes) return;
    name.resize(header.NameSize);
    if (!name.empty() && !ReadFully(source, name)) return;
    if (header.Size != 0 && !source.Seek(header.Size)) return;
    onStream(header, DecodeBackupStreamName(name));
  }
}

std::vector<TStreamInformation> ParseStreamInformation(std::span<const std::byte> buffer) {
  using Record = platform::records::FILE_STREAM_INFORMATION;
  constexpr std::size_t kHead = offsetof(Record, StreamName);
  std::vector<TStreamInformation> out;
  std::size_t at = 0;
  while (at <= buffer.size() && buffer.size() - at >= kHead) {
    const auto next = ReadLE<std::uint32_t>(buffer, at + offsetof(Record, NextEntryOffset));
    const auto nameBytes = ReadLE<std::uint32_t>(buffer, at + offsetof(Record, StreamNameLength));
    if (nameBytes > buffer.size() - at - kHead) break;
    TStreamInformation info;
    info.Size = static_cast<std::int64_t>(ReadLE<std::uint64_t>(buffer, at + offsetof(Record, StreamSize)));
    info.AllocationSize =
        static_cast<std::int64_t>(ReadLE<std::uint64_t>(buffer, at + offsetof(Record, StreamAllocationSize)));
    info.Name = DecodeBackupStreamName(buffer.subspan(at + kHead, nameBytes));
    out.push_back(std::move(info));
    if (next == 0 || next > buffer.size() - at) break;
    at += next;
  }
  return out;
}

void TFileADSList::Add(const TBackupStreamHeader& header, std::u16string_view name, std::uint16_t filter) {
  if (!StreamPassesFilter(header.Id, filter)) return;
  TFileADSEntry e;
  e.StreamID = static_cast<std::uint8_t>(header.Id);
  e.Size = static_cast<std::int64_t>(header.Size);
  e.WideName = name;
  if (!name.empty()) e.Name = platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, name);
  items_.push_back(std::move(e));
}

bool TFileADSList::IsKnownStream(const TFileADSEntry& entry) {
  static constexpr std::array<std::string_view, 7> kKnown = {
      ":Zone.Identifier:$DATA",
      ":\x05SummaryInformation:$DATA",
      ":Updt_\x05SummaryInformation:$DATA",
      ":OEStandardProperty:$DATA",
      ":{4c8cc155-6c1e-11d1-8e41-00c04fb9386d}:$DATA",
      ":encryptable:$DATA",
      ":favicon:$DATA",
  };
  for (std::string_view k : kKnown)
    if (entry.Name == k) return true;
  return false;
}

std::string TFileADSList::StreamKindName(int kind) {
  static constexpr std::array<const char*, 10> kNames = {
      "Invalid",   "Standard", "Extended Attribute", "Security",       "Alternate",
      "Hard link", "Property", "Object identifier",  "Reparse points", "Sparse file",
  };
  return kind >= 0 && kind < 10 ? kNames[static_cast<std::size_t>(kind)] : "";
}

}  // namespace files
