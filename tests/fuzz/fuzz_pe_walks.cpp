// Fuzzes the loader walks: the input is a relocation directory and, whole, a module's file that is
// laid out, relocated and walked for imports and exports. Each ends in an error text or a
// result that lies inside the input, never in a read outside it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/pe_walks.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace pe = platform::pe;
  const auto input = fuzz::Bytes(data, size);
  std::string error;
  std::vector<pe::Relocation> relocations;
  if (pe::WalkRelocations(input, relocations, error))
    fuzz::Check(relocations.size() <= size / 2, "more relocations than the directory holds entries");

  pe::LayoutFacts facts;
  std::vector<std::byte> image;
  if (!pe::ReadLayoutFacts(input, facts, error) || !pe::LayOutImage(input, facts, image, error)) return 0;
  fuzz::Check(image.size() == facts.sizeOfImage, "the laid-out image is not the image size");
  pe::RelocateImage(image, facts, facts.imageBase + 0x10000, error);
  fuzz::Check(image.size() == facts.sizeOfImage, "relocation changed the image size");
  std::vector<pe::ImportSlot> slots;
  pe::WalkImports(image, facts, slots, error);
  for (const auto& s : slots) fuzz::Check(s.slotRva < image.size(), "an import slot outside the image");
  std::vector<pe::ExportEntry> exports;
  pe::WalkExports(image, facts, exports, error);
  fuzz::Check(exports.size() * 4 <= image.size(), "more exports than the image can hold");
  return 0;
}
