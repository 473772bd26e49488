// Fuzzes the reader of class-22 stream information buffers (one record per data stream).
#include <cstddef>
#include <cstdint>

#include "files/ads.h"
#include "platform/record_io.h"
#include "tests/fuzz/fuzz_check.h"

// Input: the buffer as NtQueryInformationFile left it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto buffer = fuzz::Bytes(data, size);
  const auto streams = files::ParseStreamInformation(buffer);
  // Every record needs its head inside the buffer and the walk moves forward by at least one
  // byte (records may overlap), so the count is bounded by the buffer's length.
  constexpr std::size_t head = platform::records::kHeadBytes<platform::records::FILE_STREAM_INFORMATION>;
  fuzz::Check(size < head ? streams.empty() : streams.size() <= size - head + 1,
              "more records than start offsets");
  for (const auto& s : streams) fuzz::Check(s.Name.size() * 2 + head <= size, "name longer than the buffer");
  return 0;
}
