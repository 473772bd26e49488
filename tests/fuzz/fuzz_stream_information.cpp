// Fuzzes the reader of class-22 stream information buffers (one record per data stream).
#include <cstddef>
#include <cstdint>

#include "files/ads.h"
#include "tests/fuzz/fuzz_check.h"

// Input: the buffer as NtQueryInformationFile left it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto buffer = fuzz::Bytes(data, size);
  const auto streams = files::ParseStreamInformation(buffer);
  // Every record needs its 24-byte head inside the buffer and the walk moves forward by at
  // least one byte (records may overlap), so the count is bounded by the buffer's length.
  fuzz::Check(size < 24 ? streams.empty() : streams.size() <= size - 23, "more records than start offsets");
  for (const auto& s : streams) fuzz::Check(s.Name.size() * 2 + 24 <= size, "name longer than the buffer");
  return 0;
}
