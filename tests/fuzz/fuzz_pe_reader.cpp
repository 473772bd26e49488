// Fuzzes the executable image reader with every directory pass on: it must end in a message, never outside
// the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "processes/pe_reader.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto image = fuzz::Bytes(data, size);
  processes::TPEReader reader;
  reader.SetReadDebugInfo(true);
  // Resource names without a machine to convert them: one byte per character.
  reader.NarrowText = [](std::u16string_view t) { return std::string(t.size(), '?'); };
  try {
    reader.Read(image);
  } catch (const processes::PEReaderError& e) {
    fuzz::Check(std::string(e.what()).starts_with("PEReader: "), "an error without the reader's prefix");
    return 0;
  }
  fuzz::Check(reader.SectionCount() == reader.PeHeader.FileHeader.NumberOfSections, "sections lost");
  fuzz::Check(reader.ExportNames.size() == reader.ExportAddresses.size() || reader.ExportsFailed,
              "export names and addresses differ in number");
  fuzz::Check(reader.ExportAddresses.size() * 4 <= size, "more exports than the input can hold");
  for (const auto& r : reader.Resources)
    fuzz::Check(r.TypeName.size() <= size && r.Name.size() <= size, "a resource name longer than the input");
  for (const auto& i : reader.Imports)
    fuzz::Check(i.Text.size() <= 2 * size + 1, "an import line longer than the input");
  std::uint32_t offset = 0, delta = 0, length = 0;
  for (std::size_t d = 0; d < 16; ++d) reader.DirectoryToFile(d, offset, delta, length);
  return 0;
}
