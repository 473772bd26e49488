// Stream listing: the hostile-input-safe parse of backup stream headers and the entry model.
#include "files/ads.h"

#include <array>

#include "platform/platform.h"
#include "platform/record_io.h"

namespace files {

namespace rec = platform::records;

static_assert(kBackupStreamHeaderSize == rec::kHeadBytes<rec::WIN32_STREAM_ID>);

bool ParseBackupStreamHeader(std::span<const std::byte> bytes, TBackupStreamHeader& header) {
  const auto head = rec::RecordReader(bytes).Head<rec::WIN32_STREAM_ID>(0);
  if (!head) return false;
  header.Id = head->dwStreamId;
  header.Attributes = head->dwStreamAttributes;
  header.Size = static_cast<std::uint64_t>(head->Size);
  header.NameSize = head->dwStreamNameSize;
  return true;
}

std::u16string DecodeBackupStreamName(std::span<const std::byte> name) {
  return rec::RecordReader(name).TextWithin(0, name.size());
}

bool StreamPassesFilter(std::uint32_t id, std::uint16_t filter) {
  return filter == 0 || (id <= 15 && (filter & (1u << id)) != 0);
}

std::vector<TBackupStream> ParseBackupImage(std::span<const std::byte> image) {
  const rec::RecordReader in(image);
  std::vector<TBackupStream> out;
  std::size_t at = 0;
  for (;;) {
    TBackupStream s;
    if (!ParseBackupStreamHeader(image.subspan(at), s.Header)) break;
    at += kBackupStreamHeaderSize;
    auto name = in.Text(at, s.Header.NameSize);
    if (!name) break;
    s.Name = std::move(*name);
    at += s.Header.NameSize;
    if (s.Header.Size > image.size() - at) break;  // compared in 64 bits on every build
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
  using Record = rec::FILE_STREAM_INFORMATION;
  const rec::RecordReader in(buffer);
  std::vector<TStreamInformation> out;
  rec::WalkChain(buffer.size(), [&](std::size_t at) -> std::optional<std::uint32_t> {
    const auto head = in.Head<Record>(at);
    if (!head) return std::nullopt;
    auto name = in.Text(at + rec::kHeadBytes<Record>, head->StreamNameLength);
    if (!name) return std::nullopt;
    out.push_back({std::move(*name), head->StreamSize, head->StreamAllocationSize});
    return head->NextEntryOffset;
  });
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
