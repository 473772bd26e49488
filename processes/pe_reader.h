// Reads the headers, the section table and the import, export, resource and debug directories of an
// executable image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/records.h"

namespace processes {

// A header or section-table error of TPEReader::Read; the message says what could not be read.
class PEReaderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TImportTableListData {
  std::uint64_t Thunk = 0;  // the RVA of the hint/name entry (64-bit in a PE32+ image)
  std::string DllName;
  std::string FunctionName;
};

// One imported function: "dll:function", with what it was made of.
struct TImportLine {
  std::string Text;
  TImportTableListData Data;
};

struct TResourceEntry {
  std::string TypeName;
  std::string Name;
  std::uint32_t TypeID = 0;      // 0 when the type is named
  std::uint32_t NameID = 0;      // 0 when named
  std::uint32_t DataOffset = 0;  // file offset of the data (its RVA less the section's delta)
  std::uint32_t Size = 0;
  std::uint32_t CodePage = 0;
  std::uint32_t LanguageID = 0;
};

// The image is read from a byte span the caller keeps; every read is bounds-checked, so a
// hostile image ends in an error message, never in a read outside the span.
class TPEReader {
 public:
  // Clears everything, then reads the headers and, unless switched off, the section table and
  // the optional directories. Header and section-table errors throw PEReaderError; a failed
  // optional pass sets its failure flag and keeps what it had collected.
  void Read(std::span<const std::byte> image);

  std::size_t SectionCount() const { return Sections.size(); }
  platform::records::IMAGE_SECTION_HEADER GetSection(std::size_t index) const { return Sections.at(index); }

  // Where data directory `index` lies in the file (see the .cpp); false when it is empty.
  bool DirectoryToFile(std::size_t index, std::uint32_t& fileOffset, std::uint32_t& delta,
                       std::uint32_t& size) const;

  // Switching a directory pass on also switches the section table on.
  void SetReadImports(bool on);
  void SetReadExports(bool on);
  void SetReadResources(bool on);
  void SetReadDebugInfo(bool on);
  void SetReadSections(bool on) { ReadSections_ = on; }

  // A PE32+ (64-bit) image: OptionalHeader64 holds its optional header, else OptionalHeader32.
  bool IsPE32Plus() const { return PE32Plus_; }
  std::uint64_t ImageBase() const;
  platform::records::IMAGE_DATA_DIRECTORY Directory(std::size_t index) const;

  platform::records::IMAGE_DOS_HEADER DosHeader{};
  platform::records::ImagePeHeader PeHeader{};
  platform::records::ImageOptionalHeader32 OptionalHeader32{};
  platform::records::ImageOptionalHeader64 OptionalHeader64{};
  std::vector<platform::records::IMAGE_SECTION_HEADER> Sections;

  platform::records::IMAGE_EXPORT_DIRECTORY ExportDirectory{};
  std::vector<std::string> ExportNames;
  std::vector<std::uint32_t> ExportOrdinals;
  std::vector<std::uint32_t> ExportAddresses;
  std::vector<TImportLine> Imports;
  std::vector<std::string> ResourceLines;
  std::vector<TResourceEntry> Resources;
  std::vector<std::string> DebugLines;

  // Turns a resource's UTF-16 name into 8-bit text: the system's code page by default.
  std::function<std::string(std::u16string_view)> NarrowText = &TPEReader::PlatformNarrow;
  static std::string PlatformNarrow(std::u16string_view text);

  bool ImportsFailed = false;
  bool ExportsFailed = false;
  bool ResourcesFailed = false;
  bool DebugFailed = false;

  bool ReadSections() const { return ReadSections_; }
  bool ReadImports() const { return ReadImports_; }
  bool ReadExports() const { return ReadExports_; }
  bool ReadResources() const { return ReadResources_; }
  bool ReadDebugInfo() const { return ReadDebugInfo_; }

 private:
  void Clear();
  void ReadHeaders(std::span<const std::byte> image, std::size_t& sectionTable);
  void ReadImportPass(std::span<const std::byte> image);
  void ReadExportPass(std::span<const std::byte> image);
  void ReadResourcePass(std::span<const std::byte> image);
  void ReadDebugPass(std::span<const std::byte> image);

  bool PE32Plus_ = false;
  bool ReadSections_ = true;
  bool ReadImports_ = true;
  bool ReadExports_ = true;
  bool ReadResources_ = true;
  bool ReadDebugInfo_ = false;
};

}  // namespace processes
