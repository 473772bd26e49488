// Reads handle tables and name buffers defensively: counts and lengths are checked against the buffer.
#include "processes/handle_table.h"

#include <algorithm>
#include <cstring>

#include "platform/records.h"

namespace processes {
namespace {

namespace rec = platform::records;

template <typename T>
T Get(std::span<const std::byte> buffer, std::size_t offset) {
  T v{};
  std::memcpy(&v, buffer.data() + offset, sizeof v);
  return v;
}

template <typename Record, typename Count, typename Convert>
std::vector<HandleTableEntry> Parse(std::span<const std::byte> buffer, std::size_t head, Convert convert) {
  std::vector<HandleTableEntry> out;
  if (buffer.size() < head) return out;
  const auto claimed = static_cast<std::uint64_t>(Get<Count>(buffer, 0));
  const std::uint64_t fits = (buffer.size() - head) / sizeof(Record);
  const auto count = static_cast<std::size_t>(std::min(claimed, fits));
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    out.push_back(convert(Get<Record>(buffer, head + i * sizeof(Record))));
  return out;
}

}  // namespace

std::vector<HandleTableEntry> ParseHandleTable(std::span<const std::byte> buffer) {
  return Parse<rec::SystemHandleTableEntryInfo, std::uint32_t>(
      buffer, rec::kHandleTableEntriesOffset, [](const rec::SystemHandleTableEntryInfo& e) {
        return HandleTableEntry{e.UniqueProcessId,  e.CreatorBackTraceIndex, e.ObjectTypeIndex,
                                e.HandleAttributes, e.HandleValue,           e.Object,
                                e.GrantedAccess};
      });
}

std::vector<HandleTableEntry> ParseHandleTableEx(std::span<const std::byte> buffer) {
  return Parse<rec::SystemHandleTableEntryInfoEx, std::uintptr_t>(
      buffer, rec::kHandleTableExEntriesOffset, [](const rec::SystemHandleTableEntryInfoEx& e) {
        return HandleTableEntry{static_cast<std::uint32_t>(e.UniqueProcessId),
                                e.CreatorBackTraceIndex,
                                e.ObjectTypeIndex,
                                static_cast<std::uint8_t>(e.HandleAttributes),
                                static_cast<std::uint32_t>(e.HandleValue),
                                e.Object,
                                e.GrantedAccess};
      });
}

std::u16string ParseObjectName(std::span<const std::byte> buffer) {
  const std::size_t head = sizeof(rec::UnicodeStringHeader);
  if (buffer.size() < head) return {};
  const auto h = Get<rec::UnicodeStringHeader>(buffer, 0);
  const std::size_t chars = h.Length / 2;
  if (chars == 0 || head + chars * 2 > buffer.size()) return {};
  std::u16string name(chars, u'\0');
  std::memcpy(name.data(), buffer.data() + head, chars * 2);
  return name;
}

std::u16string ParseFileNameInformation(std::span<const std::byte> buffer, std::size_t maxChars) {
  const std::size_t head = rec::kFileNameInformationNameOffset;
  if (buffer.size() < head) return {};
  const std::size_t chars = std::min(
      {static_cast<std::size_t>(Get<std::uint32_t>(buffer, 0) / 2), maxChars, (buffer.size() - head) / 2});
  std::u16string name(chars, u'\0');
  std::memcpy(name.data(), buffer.data() + head, chars * 2);
  return name;
}

}  // namespace processes
