// Fuzzes the readers of registry enumeration and value records (key names, value names, value data).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/record_io.h"
#include "registry/nt_registry.h"
#include "tests/fuzz/fuzz_check.h"

// Input: 4 bytes of the length the call reported as written (it may claim more than the buffer),
// then the record. Every reader sees the same bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace rec = platform::records;
  const auto returned = rec::RecordReader(fuzz::Bytes(data, size)).Get<std::uint32_t>(0);
  if (!returned) return 0;
  const auto record = fuzz::Bytes(data + sizeof *returned, size - sizeof *returned);
  const std::size_t limit = std::min<std::size_t>(record.size(), *returned);

  if (const auto key = registry::KeyNameOfRecord(record, *returned))
    fuzz::Check(key->size() * 2 + rec::kHeadBytes<rec::KEY_BASIC_INFORMATION> <= limit,
                "key name beyond what was written");
  if (const auto value = registry::ValueNameOfRecord(record, *returned))
    fuzz::Check(value->size() * 2 + rec::kHeadBytes<rec::KEY_VALUE_BASIC_INFORMATION> <= limit,
                "value name beyond what was written");
  if (const auto raw = registry::ValueOfRecord(record, *returned)) {
    fuzz::Check(raw->Data.size() <= limit, "value data beyond what was written");
    const std::u16string text = registry::TextOfData(raw->Data);
    fuzz::Check(text.size() == raw->Data.size() / 2, "text not read at the data's length");
  }
  return 0;
}
