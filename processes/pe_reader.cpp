// Reads the headers, the section table and the import, export, resource and debug directories of an
// executable image.
#include "processes/pe_reader.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "platform/record_io.h"

namespace processes {
namespace {

namespace rec = platform::records;

constexpr std::uint16_t kMzSignature = 0x5A4D;
constexpr std::uint32_t kPeSignature = 0x00004550;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kRsdsSignature = 0x53445352;
constexpr std::size_t kDllNameChars = 255;
// Limits that no real image comes near, so that a hostile one cannot make a pass run for
// hours or a resource walk recurse until the stack is gone.
constexpr std::size_t kNameChars = 4096;
constexpr std::size_t kImportThunks = 1u << 16;
constexpr int kResourceDepth = 16;

[[noreturn]] void Fail(const std::string& message) { throw PEReaderError(message); }

// A position in a byte span that may lie anywhere, before it or after it: reads outside fail.
class Cursor {
 public:
  explicit Cursor(std::span<const std::byte> bytes, std::int64_t at = 0) : r_(bytes), at_(at) {}
  std::int64_t At() const { return at_; }
  void Seek(std::int64_t at) { at_ = at; }
  std::int64_t Size() const { return static_cast<std::int64_t>(r_.size()); }

  template <typename T>
  bool Read(T& out) {
    if (at_ < 0) return false;
    const auto v = r_.Get<T>(static_cast<std::size_t>(at_));
    if (!v) return false;
    out = *v;
    at_ += static_cast<std::int64_t>(sizeof(T));
    return true;
  }

  // The zero-terminated text at the cursor, at most `max` characters; nothing when the
  // cursor is not inside the span. A text the span ends in is taken as far as it goes.
  std::optional<std::string> Text(std::size_t max) const {
    if (at_ < 0 || at_ >= Size()) return std::nullopt;
    std::string s;
    for (std::size_t i = static_cast<std::size_t>(at_); i < r_.size() && s.size() < max; ++i) {
      const char c = static_cast<char>(*r_.Get<std::uint8_t>(i));
      if (c == '\0') break;
      s.push_back(c);
    }
    return s;
  }

  const rec::RecordReader& Reader() const { return r_; }

 private:
  rec::RecordReader r_;
  std::int64_t at_;
};

// The bytes from `fileOffset` on, at most `size` of them, cut to what the image holds.
std::span<const std::byte> DirectoryBytes(std::span<const std::byte> image, std::uint32_t fileOffset,
                                          std::uint32_t size) {
  if (fileOffset >= image.size()) return {};
  const std::size_t rest = image.size() - fileOffset;
  return image.subspan(fileOffset, size < rest ? size : rest);
}

std::string Hex8(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v));
  return buf;
}

const char* ResourceTypeName(std::uint32_t id) {
  switch (id) {
    case 1:
      return "RT_CURSOR";
    case 2:
      return "RT_BITMAP";
    case 3:
      return "RT_ICON";
    case 4:
      return "RT_MENU";
    case 5:
      return "RT_DIALOG";
    case 6:
      return "RT_STRING";
    case 7:
      return "RT_FONTDIR";
    case 8:
      return "RT_FONT";
    case 9:
      return "RT_ACCELERATOR";
    case 10:
      return "RT_RCDATA";
    case 11:
      return "RT_MESSAGETABLE";
    case 12:
      return "RT_GROUP_CURSOR";
    case 14:
      return "RT_GROUP_ICON";
    case 16:
      return "RT_VERSION";
    case 17:
      return "RT_DLGINCLUDE";
    case 19:
      return "RT_PLUGPLAY";
    case 20:
      return "RT_VXD";
    case 21:
      return "RT_ANICURSOR";
    case 22:
      return "RT_ANIICON";
    case 23:
      return "RT_HTML";
    case 24:
      return "RT_MANIFEST";
    default:
      return nullptr;
  }
}

std::string DebugTypeName(std::uint32_t type) {
  static const char* const kNames[] = {"Unknown",   "COFF",  "CodeView",  "FPO",       "Misc",
                                       "Exception", "Fixup", "Unknown:7", "Unknown:8", "Borland"};
  if (type < std::size(kNames)) return kNames[type];
  return "Unknown:" + std::to_string(type);
}

// The walk of the resource tree, over the directory's bytes (whose offsets are relative to it).
class ResourceWalk {
 public:
  ResourceWalk(TPEReader& reader, std::span<const std::byte> bytes, std::uint32_t delta)
      : reader_(reader),
        bytes_(bytes),
        delta_(delta),
        budget_(bytes.size() / sizeof(rec::IMAGE_RESOURCE_DIRECTORY_ENTRY)) {}

  void Walk(std::int64_t at, int level) {
    if (level > kResourceDepth) Fail("PEReader: Could not read PE Resource Directory!");
    Cursor c(bytes_, at);
    rec::IMAGE_RESOURCE_DIRECTORY dir;
    if (!c.Read(dir)) Fail("PEReader: Could not read PE Resource Directory!");
    const std::size_t count = std::size_t{dir.NumberOfNamedEntries} + dir.NumberOfIdEntries;
    std::vector<rec::IMAGE_RESOURCE_DIRECTORY_ENTRY> entries;
    for (std::size_t i = 0; i < count; ++i) {
      rec::IMAGE_RESOURCE_DIRECTORY_ENTRY e;
      // A tree holds each entry once; more visits than its bytes hold entries means a
      // directory is shared or loops back on itself.
      if (budget_ == 0 || !c.Read(e)) Fail("PEReader: Could not read PE Resource Directory Entry!");
      --budget_;
      entries.push_back(e);
    }
    for (const auto& e : entries) Entry(e, level);
  }

 private:
  static constexpr std::uint32_t kHigh = 0x80000000u;

  std::string EntryText(const rec::IMAGE_RESOURCE_DIRECTORY_ENTRY& e, int level, bool subdirectory) {
    if (e.Name & kHigh) {
      Cursor c(bytes_, e.Name & ~kHigh);
      std::uint16_t chars = 0;
      if (!c.Read(chars)) Fail("PEReader: Could not read PE Resource Directory Entry!");
      const auto text = c.Reader().Text(static_cast<std::size_t>(c.At()), std::size_t{chars} * 2);
      if (!text) Fail("PEReader: Could not read PE Resource Directory Entry!");
      return reader_.NarrowText ? reader_.NarrowText(*text) : std::string(text->begin(), text->end());
    }
    if (level == 0 && subdirectory) {
      if (const char* name = ResourceTypeName(e.Name)) return name;
    }
    return std::to_string(e.Name);
  }

  void Entry(const rec::IMAGE_RESOURCE_DIRECTORY_ENTRY& e, int level) {
    const bool subdirectory = (e.OffsetToData & kHigh) != 0;
    const std::string text = EntryText(e, level, subdirectory);
    const std::uint32_t id = (e.Name & kHigh) ? 0 : e.Name;
    if (subdirectory) {
      if (level == 0) {
        typeName_ = text;
        typeID_ = id;
      } else if (level == 1) {
        name_ = text;
        nameID_ = id;
      }
      reader_.ResourceLines.push_back("Resource Directory: " + text);
      Walk(e.OffsetToData & ~kHigh, level + 1);
      return;
    }
    reader_.ResourceLines.push_back("Resource Data: " + text);
    Cursor c(bytes_, e.OffsetToData);
    rec::IMAGE_RESOURCE_DATA_ENTRY data;
    if (!c.Read(data)) Fail("PEReader: Could not read PE Resource Data Entry!");
    reader_.ResourceLines.push_back("Offset: $" + Hex8(data.OffsetToData) + " Size: $" + Hex8(data.Size) +
                                    " Codepage: $" + Hex8(data.CodePage) + " Reserved: $" +
                                    Hex8(data.Reserved));
    reader_.Resources.push_back(TResourceEntry{typeName_, name_, typeID_, nameID_, data.OffsetToData - delta_,
                                               data.Size, data.CodePage, id});
  }

  TPEReader& reader_;
  std::span<const std::byte> bytes_;
  std::uint32_t delta_;
  std::size_t budget_;
  std::string typeName_, name_;
  std::uint32_t typeID_ = 0, nameID_ = 0;
};

}  // namespace

std::string TPEReader::PlatformNarrow(std::u16string_view text) {
  return platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, text);
}

void TPEReader::SetReadImports(bool on) {
  ReadImports_ = on;
  if (on) ReadSections_ = true;
}
void TPEReader::SetReadExports(bool on) {
  ReadExports_ = on;
  if (on) ReadSections_ = true;
}
void TPEReader::SetReadResources(bool on) {
  ReadResources_ = on;
  if (on) ReadSections_ = true;
}
void TPEReader::SetReadDebugInfo(bool on) {
  ReadDebugInfo_ = on;
  if (on) ReadSections_ = true;
}

std::uint64_t TPEReader::ImageBase() const {
  if (PE32Plus_) return (std::uint64_t{OptionalHeader64.ImageBaseHigh} << 32) | OptionalHeader64.ImageBaseLow;
  return OptionalHeader32.ImageBase;
}

rec::IMAGE_DATA_DIRECTORY TPEReader::Directory(std::size_t index) const {
  if (index >= rec::kImageReadDirectories) return {};
  return PE32Plus_ ? OptionalHeader64.DataDirectory[index] : OptionalHeader32.DataDirectory[index];
}

void TPEReader::Clear() {
  DosHeader = {};
  PeHeader = {};
  OptionalHeader32 = {};
  OptionalHeader64 = {};
  PE32Plus_ = false;
  Sections.clear();
  ExportDirectory = {};
  ExportNames.clear();
  ExportOrdinals.clear();
  ExportAddresses.clear();
  Imports.clear();
  ResourceLines.clear();
  Resources.clear();
  DebugLines.clear();
  ImportsFailed = ExportsFailed = ResourcesFailed = DebugFailed = false;
}

void TPEReader::Read(std::span<const std::byte> image) {
  Clear();
  if (image.size() < sizeof(rec::IMAGE_DOS_HEADER)) Fail("PEReader: File to small!");
  std::size_t sectionTable = 0;
  ReadHeaders(image, sectionTable);
  if (!ReadSections_) return;

  Cursor c(image, static_cast<std::int64_t>(sectionTable));
  Sections.reserve(PeHeader.FileHeader.NumberOfSections);
  for (std::size_t i = 0; i < PeHeader.FileHeader.NumberOfSections; ++i) {
    rec::IMAGE_SECTION_HEADER s;
    if (!c.Read(s)) Fail("PEReader: Could not read PE section entry!");
    Sections.push_back(s);
  }

  const auto guarded = [&](bool on, bool& failed, void (TPEReader::*pass)(std::span<const std::byte>)) {
    if (!on) return;
    try {
      (this->*pass)(image);
    } catch (const PEReaderError&) {
      failed = true;
    }
  };
  guarded(ReadImports_, ImportsFailed, &TPEReader::ReadImportPass);
  guarded(ReadExports_, ExportsFailed, &TPEReader::ReadExportPass);
  guarded(ReadResources_, ResourcesFailed, &TPEReader::ReadResourcePass);
  guarded(ReadDebugInfo_, DebugFailed, &TPEReader::ReadDebugPass);
}

void TPEReader::ReadHeaders(std::span<const std::byte> image, std::size_t& sectionTable) {
  const rec::RecordReader r(image);
  // The DOS header in two steps, so that a file that is no executable at all is told apart
  // from one whose header is cut short.
  if (!r.Holds(0, 10)) Fail("PEReader: Could not read MZ header!");
  if (*r.Get<std::uint16_t>(0) != kMzSignature) Fail("PEReader: Missing MZ header!");
  const auto dos = r.Get<rec::IMAGE_DOS_HEADER>(0);
  if (!dos) Fail("PEReader: Could not read MZ DOS header!");
  DosHeader = *dos;

  const std::int64_t peAt = DosHeader.e_lfanew;
  if (static_cast<std::int64_t>(image.size()) < peAt + 160)
    Fail("PEReader: Invalid PE format (size problem #1)!");
  Cursor c(image, peAt);
  if (!c.Read(PeHeader)) Fail("PEReader: Could not read PE header!");
  if (PeHeader.Signature != kPeSignature) Fail("PEReader: Missing PE header!");

  // The section table follows the optional header at the size the file header gives, however
  // much of it is read here.
  const std::uint16_t optionalSize = PeHeader.FileHeader.SizeOfOptionalHeader;
  if (optionalSize != 0) {
    std::uint16_t magic = 0;
    Cursor peek = c;
    const bool plus = peek.Read(magic) && magic == kPe32PlusMagic;
    const bool read = plus ? c.Read(OptionalHeader64) : c.Read(OptionalHeader32);
    if (!read) Fail("PEReader: Could not read PE optional header!");
    PE32Plus_ = plus;
  }
  sectionTable =
      static_cast<std::size_t>(peAt + static_cast<std::int64_t>(sizeof(rec::ImagePeHeader)) + optionalSize);
}

bool TPEReader::DirectoryToFile(std::size_t index, std::uint32_t& fileOffset, std::uint32_t& delta,
                                std::uint32_t& size) const {
  if (index >= rec::kImageReadDirectories) return false;
  const rec::IMAGE_DATA_DIRECTORY dir = Directory(index);
  if (dir.VirtualAddress == 0 || dir.Size == 0) return false;
  const std::uint32_t rva = dir.VirtualAddress;
  for (const auto& s : Sections) {
    if (s.VirtualAddress <= rva && std::uint64_t{rva} < std::uint64_t{s.VirtualAddress} + s.VirtualSize) {
      const std::uint32_t into = rva - s.VirtualAddress;
      fileOffset = s.PointerToRawData + into;
      // A directory beyond its section's raw data has no bytes in the file.
      size = into < s.SizeOfRawData ? s.SizeOfRawData - into : 0;
      delta = rva - fileOffset;
      return true;
    }
  }
  fileOffset = rva;
  size = dir.Size;
  delta = 0;
  return true;
}

void TPEReader::ReadImportPass(std::span<const std::byte> image) {
  std::uint32_t fileOffset = 0, delta = 0, size = 0;
  if (!DirectoryToFile(1, fileOffset, delta, size)) return;
  const auto bytes = DirectoryBytes(image, fileOffset, size);
  const std::int64_t base = Directory(1).VirtualAddress;
  const std::uint64_t ordinalFlag = PE32Plus_ ? 0x8000000000000000ull : 0x80000000ull;
  std::size_t thunksLeft = kImportThunks;

  Cursor descriptors(bytes);
  for (;;) {
    rec::IMAGE_IMPORT_DESCRIPTOR d;
    if (!descriptors.Read(d)) Fail("PEReader: Could not read PE Import Descriptor entry!");
    if (d.OriginalFirstThunk == 0 && d.TimeDateStamp == 0 && d.ForwarderChain == 0 && d.Name == 0 &&
        d.FirstThunk == 0)
      break;
    try {
      std::string dll = "?";
      if (d.Name != 0) {
        const auto name = Cursor(bytes, d.Name - base).Text(kDllNameChars);
        if (!name) Fail("PEReader: Could not read PE Import Descriptor entry!");
        dll = *name;
      }
      std::vector<std::uint64_t> thunks;
      Cursor t(bytes, std::int64_t{d.OriginalFirstThunk != 0 ? d.OriginalFirstThunk : d.FirstThunk} - base);
      for (;;) {
        std::uint64_t value = 0;
        std::uint32_t value32 = 0;
        const bool read = PE32Plus_ ? t.Read(value) : (t.Read(value32) && ((value = value32), true));
        if (!read) Fail("PEReader: Could not read PE Import By Name RVA!");
        if (value == 0) break;
        if (thunksLeft == 0) throw std::length_error("imports");
        --thunksLeft;
        thunks.push_back(value);
      }
      for (const std::uint64_t value : thunks) {
        // An import by ordinal has no hint/name entry.
        if (value & ordinalFlag) Fail("PEReader: Could not read PE Import By Name entry hint!");
        Cursor h(bytes, static_cast<std::int64_t>(value & 0x7FFFFFFFFFFFFFFFull) - base);
        std::uint16_t hint = 0;
        if (!h.Read(hint)) Fail("PEReader: Could not read PE Import By Name entry hint!");
        const std::string function = h.Text(kNameChars).value_or(std::string());
        if (!function.empty()) Imports.push_back(TImportLine{dll + ":" + function, {value, dll, function}});
      }
    } catch (const PEReaderError&) {
      // This descriptor ends here; the next one is read.
    } catch (const std::length_error&) {
      Fail("PEReader: Too many imported functions!");
    }
  }
}

void TPEReader::ReadExportPass(std::span<const std::byte> image) {
  std::uint32_t fileOffset = 0, delta = 0, size = 0;
  if (!DirectoryToFile(0, fileOffset, delta, size)) return;
  const auto bytes = DirectoryBytes(image, fileOffset, size);
  const std::int64_t base = Directory(0).VirtualAddress;
  Cursor c(bytes);
  if (!c.Read(ExportDirectory)) Fail("PEReader: Could not read Export table!");
  const auto& ed = ExportDirectory;

  // Each table is checked to lie in the directory's bytes before anything is made for it, so
  // a count from a hostile header cannot make the reader allocate more than the image holds.
  const auto table = [&](std::uint32_t rva, std::size_t count, std::size_t width, const char* message) {
    const std::int64_t at = std::int64_t{rva} - base;
    if (at < 0 || !c.Reader().Holds(static_cast<std::size_t>(at), count * width)) Fail(message);
    return static_cast<std::size_t>(at);
  };
  const std::size_t ordinalsAt = table(ed.AddressOfNameOrdinals, ed.NumberOfNames, 2,
                                       "PEReader: Could not read PE Export Name Table (ordinals)!");
  const std::size_t functionsAt = table(ed.AddressOfFunctions, ed.NumberOfFunctions, 4,
                                        "PEReader: Could not read PE Export Name Table (functions)!");
  const std::size_t namesAt =
      table(ed.AddressOfNames, ed.NumberOfNames, 4, "PEReader: Could not read PE Export Name Table (names)!");

  std::vector<std::uint16_t> nameOrdinals(ed.NumberOfNames);
  for (std::size_t i = 0; i < nameOrdinals.size(); ++i)
    nameOrdinals[i] = *c.Reader().Get<std::uint16_t>(ordinalsAt + 2 * i);
  ExportAddresses.resize(ed.NumberOfFunctions);
  for (std::size_t i = 0; i < ExportAddresses.size(); ++i)
    ExportAddresses[i] = *c.Reader().Get<std::uint32_t>(functionsAt + 4 * i);
  std::vector<std::string> names(ed.NumberOfNames);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::int64_t at = std::int64_t{*c.Reader().Get<std::uint32_t>(namesAt + 4 * i)} - base;
    const auto name = Cursor(bytes, at).Text(kNameChars);
    if (!name) {
      char message[160];
      std::snprintf(message, sizeof message,
                    "PEReader: Could not read PE Export Name Table (names) at position %lld of a total %lld!",
                    static_cast<long long>(at), static_cast<long long>(bytes.size()));
      Fail(message);
    }
    names[i] = *name;
  }

  // The first name given for each function index, found in one pass instead of a search per
  // function.
  std::vector<std::int64_t> firstName(65536, -1);
  for (std::size_t j = 0; j < nameOrdinals.size(); ++j)
    if (firstName[nameOrdinals[j]] < 0) firstName[nameOrdinals[j]] = static_cast<std::int64_t>(j);
  ExportNames.assign(ed.NumberOfFunctions, std::string());
  ExportOrdinals.resize(ed.NumberOfFunctions);
  for (std::size_t i = 0; i < ExportOrdinals.size(); ++i) {
    ExportOrdinals[i] = static_cast<std::uint32_t>(i) + ed.Base;
    if (i < firstName.size() && firstName[i] >= 0)
      ExportNames[i] = names[static_cast<std::size_t>(firstName[i])];
  }
}

void TPEReader::ReadResourcePass(std::span<const std::byte> image) {
  std::uint32_t fileOffset = 0, delta = 0, size = 0;
  if (!DirectoryToFile(2, fileOffset, delta, size)) return;
  if (image.size() < fileOffset) return;
  ResourceWalk(*this, DirectoryBytes(image, fileOffset, size), delta).Walk(0, 0);
}

void TPEReader::ReadDebugPass(std::span<const std::byte> image) {
  std::uint32_t fileOffset = 0, delta = 0, size = 0;
  if (!DirectoryToFile(6, fileOffset, delta, size)) return;
  Cursor c(DirectoryBytes(image, fileOffset, size));
  rec::IMAGE_DEBUG_DIRECTORY d;
  if (!c.Read(d)) Fail("PEReader: Could not read PE Debug Directory!");
  DebugLines.push_back("Type: " + DebugTypeName(d.Type));

  Cursor raw(image, d.PointerToRawData);
  std::uint32_t signature = 0;
  if (!raw.Read(signature) || signature != kRsdsSignature) Fail("PEReader: unknown debug information");
  DebugLines.push_back("Subtype: RSDS (Visual Studio, new since .NET)");
  raw.Seek(raw.At() + 20);  // the GUID and the age
  std::string pdb = raw.Text(100).value_or(std::string());
  pdb.erase(0, pdb.find_first_not_of(' ') == std::string::npos ? pdb.size() : pdb.find_first_not_of(' '));
  DebugLines.push_back("PDB: " + pdb);
}

}  // namespace processes
