// Fuzzes the directory-record walk of the native listing with hostile NtQueryDirectoryFile buffers.
#include <cstddef>
#include <cstdint>

#include "files/file_list.h"
#include "tests/fuzz/fuzz_check.h"

// Input: one byte choosing the information level (0 to 3; others must be refused), then the
// buffer as the query left it, walked by the listing's own record walk.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int level = data[0] % 5;
  const auto buffer = fuzz::Bytes(data + 1, size - 1);
  const auto records = files::ParseDirectoryRecords(buffer, level);
  fuzz::Check(level <= 3 || records.empty(), "a record read at an unknown information level");
  // Each record after the first starts at least one byte further on.
  fuzz::Check(records.size() <= buffer.size(), "more records than start offsets");
  for (const auto& r : records) {
    fuzz::Check(r.name.size() <= 260, "name longer than 260 characters");
    fuzz::Check(r.name.size() * 2 <= buffer.size(), "name longer than the buffer");
    fuzz::Check(r.shortName.size() <= 12, "short name longer than 12 characters");
    for (const std::uint64_t t : {r.creation, r.lastAccess, r.lastWrite, r.change}) {
      const double days = files::DosDateTimeValue(t);
      // 0.0 outside 1980..2107; inside, 1980-01-01 is day 29221 and 2108-01-01 day 75972.
      fuzz::Check(days == 0.0 || (days >= 29221.0 && days < 75972.0), "date value outside the DOS range");
    }
  }
  return 0;
}
