// Walks over an executable image as the loader lays it out: sections, relocations, imports, exports.
#include "platform/pe_walks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/record_io.h"

namespace platform::pe {
namespace {

namespace rec = records;

// Limits no real image reaches, so a hostile one cannot make a walk run for hours.
constexpr std::size_t kMaxDescriptors = 4096;
constexpr std::size_t kMaxSlots = 1u << 18;
constexpr std::size_t kMaxNameChars = 4096;
constexpr std::uint32_t kMaxExports = 1u << 18;

std::string Hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

// The zero-terminated text at `at`, at most kMaxNameChars; nothing when `at` is outside or the
// text runs to the end of the span without its terminator.
std::optional<std::string> TextAt(const rec::RecordReader& r, std::uint64_t at) {
  if (at >= r.size()) return std::nullopt;
  std::string s;
  for (std::size_t i = static_cast<std::size_t>(at); i < r.size(); ++i) {
    const auto c = *r.Get<std::uint8_t>(i);
    if (c == 0) return s;
    if (s.size() == kMaxNameChars) return std::nullopt;
    s.push_back(static_cast<char>(c));
  }
  return std::nullopt;
}

}  // namespace

bool ReadLayoutFacts(std::span<const std::byte> file, LayoutFacts& facts, std::string& error) {
  const rec::RecordReader r(file);
  facts = LayoutFacts{};
  const auto dos = r.Get<rec::IMAGE_DOS_HEADER>(0);
  if (!dos || dos->e_magic != 0x5A4D) {
    error = "not an executable image (no MZ header)";
    return false;
  }
  if (dos->e_lfanew < 0) {
    error = "the PE header offset is negative";
    return false;
  }
  const auto peAt = static_cast<std::size_t>(dos->e_lfanew);
  const auto pe = r.Get<rec::ImagePeHeader>(peAt);
  if (!pe || pe->Signature != 0x00004550) {
    error = "not a PE image (no PE header)";
    return false;
  }
  const std::size_t optAt = peAt + sizeof(rec::ImagePeHeader);
  const auto magic = r.Get<std::uint16_t>(optAt);
  if (magic == std::uint16_t{0x20B}) {
    const auto h = r.Get<rec::ImageOptionalHeader64>(optAt);
    if (!h || pe->FileHeader.SizeOfOptionalHeader < sizeof(rec::ImageOptionalHeader64)) {
      error = "the optional header is cut short";
      return false;
    }
    facts.pe32plus = true;
    facts.imageBase = (std::uint64_t{h->ImageBaseHigh} << 32) | h->ImageBaseLow;
    facts.sizeOfImage = h->SizeOfImage;
    facts.sizeOfHeaders = h->SizeOfHeaders;
    const std::size_t n = std::min<std::size_t>(h->NumberOfRvaAndSizes, rec::kImageReadDirectories);
    std::copy_n(h->DataDirectory, n, facts.directories);
  } else if (magic == std::uint16_t{0x10B}) {
    const auto h = r.Get<rec::ImageOptionalHeader32>(optAt);
    if (!h || pe->FileHeader.SizeOfOptionalHeader < sizeof(rec::ImageOptionalHeader32)) {
      error = "the optional header is cut short";
      return false;
    }
    facts.imageBase = h->ImageBase;
    facts.sizeOfImage = h->SizeOfImage;
    facts.sizeOfHeaders = h->SizeOfHeaders;
    const std::size_t n = std::min<std::size_t>(h->NumberOfRvaAndSizes, rec::kImageReadDirectories);
    std::copy_n(h->DataDirectory, n, facts.directories);
  } else {
    error = "unknown optional header magic";
    return false;
  }
  const std::size_t tableAt = optAt + pe->FileHeader.SizeOfOptionalHeader;
  for (std::size_t i = 0; i < pe->FileHeader.NumberOfSections; ++i) {
    const auto s = r.Get<rec::IMAGE_SECTION_HEADER>(tableAt + i * sizeof(rec::IMAGE_SECTION_HEADER));
    if (!s) {
      error = "the section table is cut short";
      return false;
    }
    facts.sections.push_back(*s);
  }
  return true;
}

bool LayOutImage(std::span<const std::byte> file, const LayoutFacts& facts, std::vector<std::byte>& image,
                 std::string& error) {
  image.clear();
  if (facts.sizeOfImage == 0 || facts.sizeOfImage > kMaxLaidOutImage) {
    error = "the image size " + Hex(facts.sizeOfImage) + " is not one a module can have";
    return false;
  }
  image.assign(facts.sizeOfImage, std::byte{0});
  const std::size_t headers = std::min<std::size_t>({facts.sizeOfHeaders, file.size(), image.size()});
  std::memcpy(image.data(), file.data(), headers);
  for (const auto& s : facts.sections) {
    const std::string name(reinterpret_cast<const char*>(s.Name),
                           strnlen(reinterpret_cast<const char*>(s.Name), 8));
    // The loader copies the raw bytes, no more than the section takes in memory.
    std::uint64_t count = s.SizeOfRawData;
    if (s.VirtualSize != 0 && s.VirtualSize < count) count = s.VirtualSize;
    if (count == 0) continue;
    if (std::uint64_t{s.PointerToRawData} + count > file.size()) {
      error = "section " + name + " lies beyond the end of the file";
      image.clear();
      return false;
    }
    if (std::uint64_t{s.VirtualAddress} + count > image.size()) {
      error = "section " + name + " lies beyond the image size";
      image.clear();
      return false;
    }
    std::memcpy(image.data() + s.VirtualAddress, file.data() + s.PointerToRawData,
                static_cast<std::size_t>(count));
  }
  return true;
}

bool WalkRelocations(std::span<const std::byte> directory, std::vector<Relocation>& out, std::string& error) {
  const rec::RecordReader r(directory);
  std::size_t at = 0;
  while (at < r.size()) {
    const auto block = r.Get<rec::IMAGE_BASE_RELOCATION>(at);
    if (!block) {
      error = "the relocation block at offset " + Hex(at) + " is cut short";
      return false;
    }
    if (block->SizeOfBlock < sizeof(rec::IMAGE_BASE_RELOCATION)) {
      error = "the relocation block at offset " + Hex(at) + " has size " + std::to_string(block->SizeOfBlock);
      return false;
    }
    if (!r.Holds(at, block->SizeOfBlock)) {
      error = "the relocation block at offset " + Hex(at) + " runs past the directory";
      return false;
    }
    const std::size_t entries = (block->SizeOfBlock - sizeof(rec::IMAGE_BASE_RELOCATION)) / 2;
    for (std::size_t i = 0; i < entries; ++i) {
      const std::uint16_t e = *r.Get<std::uint16_t>(at + sizeof(rec::IMAGE_BASE_RELOCATION) + 2 * i);
      const std::uint16_t type = e >> 12;
      const std::uint32_t rva = block->VirtualAddress + (e & 0xFFFu);
      if (type == rec::kImageRelBasedAbsolute) continue;
      if (type != rec::kImageRelBasedHighLow && type != rec::kImageRelBasedDir64) {
        error = "relocation type " + std::to_string(type) + " at RVA " + Hex(rva) + " is not supported";
        return false;
      }
      out.push_back({rva, type});
    }
    at += block->SizeOfBlock;
  }
  return true;
}

bool ApplyRelocations(std::span<std::byte> image, std::span<const Relocation> relocations,
                      std::uint64_t delta, std::string& error) {
  rec::RecordWriter w(image);
  const rec::RecordReader r(image);
  for (const auto& rel : relocations) {
    bool done = false;
    if (rel.type == rec::kImageRelBasedDir64) {
      if (const auto v = r.Get<std::uint64_t>(rel.rva)) done = w.Put<std::uint64_t>(rel.rva, *v + delta);
    } else if (const auto v = r.Get<std::uint32_t>(rel.rva)) {
      done = w.Put<std::uint32_t>(rel.rva, static_cast<std::uint32_t>(*v + delta));
    }
    if (!done) {
      error = "a relocation at RVA " + Hex(rel.rva) + " lies outside the image";
      return false;
    }
  }
  return true;
}

bool RelocateImage(std::vector<std::byte>& image, const LayoutFacts& facts, std::uint64_t loadBase,
                   std::string& error) {
  const std::uint64_t delta = loadBase - facts.imageBase;
  if (delta == 0) return true;
  const auto dir = facts.directories[rec::kImageDirectoryBaseReloc];
  if (dir.VirtualAddress == 0 || dir.Size == 0) {
    error = "the module was loaded away from its preferred base " + Hex(facts.imageBase) +
            " but has no relocations";
    return false;
  }
  const auto bytes = rec::RecordReader(image).Bytes(dir.VirtualAddress, dir.Size);
  if (!bytes) {
    error = "the relocation directory lies outside the image";
    return false;
  }
  std::vector<Relocation> relocations;
  if (!WalkRelocations(*bytes, relocations, error)) return false;
  return ApplyRelocations(image, relocations, delta, error);
}

bool WalkImports(std::span<const std::byte> image, const LayoutFacts& facts, std::vector<ImportSlot>& out,
                 std::string& error) {
  const auto dir = facts.directories[rec::kImageDirectoryImport];
  if (dir.VirtualAddress == 0 || dir.Size == 0) return true;
  const rec::RecordReader r(image);
  const std::size_t width = facts.pe32plus ? 8 : 4;
  const std::uint64_t ordinalFlag = facts.pe32plus ? 0x8000000000000000ull : 0x80000000ull;
  std::size_t slots = 0;
  for (std::size_t i = 0;; ++i) {
    if (i == kMaxDescriptors) {
      error = "more than " + std::to_string(kMaxDescriptors) + " import descriptors";
      return false;
    }
    const std::uint64_t at = std::uint64_t{dir.VirtualAddress} + i * sizeof(rec::IMAGE_IMPORT_DESCRIPTOR);
    const auto d =
        at < r.size() ? r.Get<rec::IMAGE_IMPORT_DESCRIPTOR>(static_cast<std::size_t>(at)) : std::nullopt;
    if (!d) {
      error = "import descriptor " + std::to_string(i) + " lies outside the image";
      return false;
    }
    if (d->Name == 0 && d->FirstThunk == 0 && d->OriginalFirstThunk == 0) return true;
    const auto dll = TextAt(r, d->Name);
    if (!dll) {
      error = "the name of import descriptor " + std::to_string(i) + " cannot be read";
      return false;
    }
    // The names come from the lookup table; the loader overwrites the address table.
    const std::uint32_t names = d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk;
    for (std::size_t k = 0;; ++k) {
      const std::uint64_t thunkAt = std::uint64_t{names} + k * width;
      const std::uint64_t slotAt = std::uint64_t{d->FirstThunk} + k * width;
      std::optional<std::uint64_t> thunk;
      if (thunkAt + width <= r.size() && slotAt + width <= r.size()) {
        if (facts.pe32plus)
          thunk = r.Get<std::uint64_t>(static_cast<std::size_t>(thunkAt));
        else if (const auto t = r.Get<std::uint32_t>(static_cast<std::size_t>(thunkAt)))
          thunk = *t;
      }
      if (!thunk) {
        error = "the thunks of " + *dll + " run outside the image";
        return false;
      }
      if (*thunk == 0) break;
      if (++slots > kMaxSlots) {
        error = "more than " + std::to_string(kMaxSlots) + " imported functions";
        return false;
      }
      ImportSlot slot;
      slot.dll = *dll;
      slot.slotRva = static_cast<std::uint32_t>(slotAt);
      if (*thunk & ordinalFlag) {
        slot.ordinal = static_cast<std::uint32_t>(*thunk & 0xFFFF);
      } else {
        const auto name = TextAt(r, (*thunk & 0x7FFFFFFFull) + 2);  // after the hint
        if (!name) {
          error = "an imported name of " + *dll + " cannot be read";
          return false;
        }
        slot.function = *name;
      }
      out.push_back(std::move(slot));
    }
  }
}

bool WalkExports(std::span<const std::byte> image, const LayoutFacts& facts, std::vector<ExportEntry>& out,
                 std::string& error) {
  const auto dir = facts.directories[rec::kImageDirectoryExport];
  if (dir.VirtualAddress == 0 || dir.Size == 0) return true;
  const rec::RecordReader r(image);
  const auto ed = r.Get<rec::IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress);
  if (!ed) {
    error = "the export directory lies outside the image";
    return false;
  }
  if (ed->NumberOfFunctions > kMaxExports || ed->NumberOfNames > kMaxExports ||
      !r.Holds(ed->AddressOfFunctions, std::size_t{ed->NumberOfFunctions} * 4) ||
      !r.Holds(ed->AddressOfNames, std::size_t{ed->NumberOfNames} * 4) ||
      !r.Holds(ed->AddressOfNameOrdinals, std::size_t{ed->NumberOfNames} * 2)) {
    error = "the export tables lie outside the image";
    return false;
  }
  const std::size_t first = out.size();
  for (std::uint32_t i = 0; i < ed->NumberOfFunctions; ++i) {
    ExportEntry e;
    e.ordinal = ed->Base + i;
    e.rva = *r.Get<std::uint32_t>(ed->AddressOfFunctions + std::size_t{i} * 4);
    if (e.rva >= dir.VirtualAddress && e.rva - dir.VirtualAddress < dir.Size) {
      const auto text = TextAt(r, e.rva);
      if (!text) {
        error = "a forwarder text cannot be read";
        return false;
      }
      e.forwarder = *text;
    }
    out.push_back(std::move(e));
  }
  for (std::uint32_t i = 0; i < ed->NumberOfNames; ++i) {
    const std::uint16_t index = *r.Get<std::uint16_t>(ed->AddressOfNameOrdinals + std::size_t{i} * 2);
    const auto name = TextAt(r, *r.Get<std::uint32_t>(ed->AddressOfNames + std::size_t{i} * 4));
    if (!name) {
      error = "an export name cannot be read";
      return false;
    }
    if (index < ed->NumberOfFunctions && out[first + index].name.empty()) out[first + index].name = *name;
  }
  return true;
}

}  // namespace platform::pe
