// Walks over an executable image as the loader lays it out: sections at their RVAs, base
// relocations, import slots and exports. Pure functions over byte spans; every read is
// bounds-checked, so a hostile image ends in an error text, never in a read outside the span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/records.h"

namespace platform::pe {

// The header facts a layout needs, read from the file by whoever parsed it.
struct LayoutFacts {
  bool pe32plus = false;
  std::uint64_t imageBase = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::vector<records::IMAGE_SECTION_HEADER> sections;
  records::IMAGE_DATA_DIRECTORY directories[records::kImageReadDirectories] = {};
};

// No real module comes near this; a header asking for more is refused, not allocated.
inline constexpr std::uint32_t kMaxLaidOutImage = 512u << 20;

// Reads the headers of `file` (PE32 or PE32+) into `facts`; false with `error` set when they
// are not those of an executable image.
bool ReadLayoutFacts(std::span<const std::byte> file, LayoutFacts& facts, std::string& error);

// The image as the loader maps it, before relocation: the headers at 0, each section's raw
// bytes at its RVA, zeros elsewhere, `sizeOfImage` bytes. False (with `error`) when a section
// lies outside the file or the image.
bool LayOutImage(std::span<const std::byte> file, const LayoutFacts& facts, std::vector<std::byte>& image,
                 std::string& error);

struct Relocation {
  std::uint32_t rva = 0;
  std::uint16_t type = 0;  // kImageRelBasedHighLow or kImageRelBasedDir64
};

// The entries of the base relocation directory `directory` (its bytes), absolute entries
// dropped. False with `error` for a block shorter than its head, one that runs past the
// directory, or a relocation type the loader of this program does not apply.
bool WalkRelocations(std::span<const std::byte> directory, std::vector<Relocation>& out, std::string& error);

// Adds `delta` to every relocated field of `image`; false when one lies outside it (nothing
// further is changed then).
bool ApplyRelocations(std::span<std::byte> image, std::span<const Relocation> relocations,
                      std::uint64_t delta, std::string& error);

// Reads the relocation directory out of a laid-out image and applies it for `loadBase`. An
// image without relocations loaded away from its preferred base fails, as with the loader.
bool RelocateImage(std::vector<std::byte>& image, const LayoutFacts& facts, std::uint64_t loadBase,
                   std::string& error);

// One slot of an import address table.
struct ImportSlot {
  std::string dll;       // as the descriptor names it ("KERNEL32.dll")
  std::string function;  // empty for an import by ordinal
  std::uint32_t ordinal = 0;
  std::uint32_t slotRva = 0;  // where the loader writes the function's address
};

// Every slot of the import descriptors of a laid-out image. False with `error` when the
// descriptors or a thunk array cannot be read; `out` keeps the slots read so far.
bool WalkImports(std::span<const std::byte> image, const LayoutFacts& facts, std::vector<ImportSlot>& out,
                 std::string& error);

struct ExportEntry {
  std::string name;  // empty for an export by ordinal only
  std::uint32_t ordinal = 0;
  std::uint32_t rva = 0;
  std::string forwarder;  // "NTDLL.RtlAllocateHeap" when the export lies in another module
};

// The export directory of a laid-out image; nothing for an image without one. False with
// `error` when the directory's tables do not lie inside the image.
bool WalkExports(std::span<const std::byte> image, const LayoutFacts& facts, std::vector<ExportEntry>& out,
                 std::string& error);

}  // namespace platform::pe
