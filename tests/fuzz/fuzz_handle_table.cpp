// Fuzzes the readers of handle tables (classes 16 and 64) and of object and file name buffers.
#include <cstddef>
#include <cstdint>

#include "platform/records.h"
#include "processes/handle_table.h"
#include "tests/fuzz/fuzz_check.h"

namespace rec = platform::records;

// Input: one byte giving the most characters a file name may have, then the buffer; every
// reader sees the same bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t maxChars = data[0];
  const auto buffer = fuzz::Bytes(data + 1, size - 1);

  const auto table = processes::ParseHandleTable(buffer);
  fuzz::Check(table.empty() ||
                  rec::kHandleTableEntriesOffset + table.size() * sizeof(rec::SystemHandleTableEntryInfo) <=
                      buffer.size(),
              "more class-16 entries than the buffer holds");
  const auto tableEx = processes::ParseHandleTableEx(buffer);
  fuzz::Check(tableEx.empty() || rec::kHandleTableExEntriesOffset +
                                         tableEx.size() * sizeof(rec::SystemHandleTableEntryInfoEx) <=
                                     buffer.size(),
              "more class-64 entries than the buffer holds");

  const auto object = processes::ParseObjectName(buffer);
  fuzz::Check(object.empty() || sizeof(rec::UnicodeStringHeader) + object.size() * 2 <= buffer.size(),
              "object name beyond the buffer");
  const auto file = processes::ParseFileNameInformation(buffer, maxChars);
  fuzz::Check(file.size() <= maxChars, "file name longer than asked for");
  fuzz::Check(file.empty() || rec::kFileNameInformationNameOffset + file.size() * 2 <= buffer.size(),
              "file name beyond the buffer");
  return 0;
}
