// Fuzzes the rebuild of a file layout from a memory image: only the image's bytes are read, the output stays
// bounded.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "processes/memory_dump.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto image = fuzz::Bytes(data, size);
  processes::TPEReader reader;
  reader.SetReadImports(false);
  reader.SetReadExports(false);
  reader.SetReadResources(false);
  reader.SetReadDebugInfo(false);
  try {
    reader.Read(image);
  } catch (const processes::PEReaderError&) {
    return 0;
  }
  std::vector<std::byte> out;
  processes::RebuildFileLayout(image, out, reader);
  fuzz::Check(out.size() <= 2 * size + processes::kMaxZeroPadding, "the output outgrew its bound");
  fuzz::Check(reader.SectionCount() != 0 || out.empty(), "output without a section");
  return 0;
}
