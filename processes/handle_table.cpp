// Reads handle tables and name buffers defensively: counts and lengths are checked against the buffer.
#include "processes/handle_table.h"

#include <algorithm>

#include "platform/record_io.h"

namespace processes {
namespace {

namespace rec = platform::records;

// A table: head Table (with its count), then entries of Entry one after the other.
template <typename Table, typename Entry, typename Convert>
std::vector<HandleTableEntry> Parse(std::span<const std::byte> buffer, Convert convert) {
  std::vector<HandleTableEntry> out;
  const rec::RecordReader in(buffer);
  const auto head = in.Head<Table>(0);
  if (!head) return out;
  constexpr std::size_t first = rec::kHeadBytes<Table>;
  const auto claimed = static_cast<std::uint64_t>(head->NumberOfHandles);
  const std::uint64_t fits = (buffer.size() - first) / sizeof(Entry);
  const auto count = static_cast<std::size_t>(std::min(claimed, fits));
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) out.push_back(convert(*in.Get<Entry>(first + i * sizeof(Entry))));
  return out;
}

}  // namespace

std::vector<HandleTableEntry> ParseHandleTable(std::span<const std::byte> buffer) {
  return Parse<rec::SystemHandleInformation, rec::SystemHandleTableEntryInfo>(
      buffer, [](const rec::SystemHandleTableEntryInfo& e) {
        return HandleTableEntry{e.UniqueProcessId,  e.CreatorBackTraceIndex, e.ObjectTypeIndex,
                                e.HandleAttributes, e.HandleValue,           e.Object,
                                e.GrantedAccess};
      });
}

std::vector<HandleTableEntry> ParseHandleTableEx(std::span<const std::byte> buffer) {
  return Parse<rec::SystemHandleInformationEx, rec::SystemHandleTableEntryInfoEx>(
      buffer, [](const rec::SystemHandleTableEntryInfoEx& e) {
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
  const rec::RecordReader in(buffer);
  const auto head = in.Head<rec::UnicodeStringHeader>(0);
  if (!head) return {};
  // Whole characters only; a length pointing past the buffer names nothing.
  const std::size_t bytes = head->Length / 2 * 2;
  return in.Text(rec::kHeadBytes<rec::UnicodeStringHeader>, bytes).value_or(std::u16string());
}

std::u16string ParseFileNameInformation(std::span<const std::byte> buffer, std::size_t maxChars) {
  const rec::RecordReader in(buffer);
  const auto head = in.Head<rec::FILE_NAME_INFORMATION>(0);
  if (!head) return {};
  return in.TextWithin(rec::kHeadBytes<rec::FILE_NAME_INFORMATION>, head->FileNameLength, maxChars);
}

}  // namespace processes
