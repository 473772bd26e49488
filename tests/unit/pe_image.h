// Test helper: small executable images, written field by field, in file layout or as loaded in memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/records.h"

namespace testing_support {

struct PeSection {
  std::string name;
  std::uint32_t virtualAddress = 0, virtualSize = 0, pointerToRawData = 0, sizeOfRawData = 0;
  std::string data;  // the section's bytes, as in memory from virtualAddress
};

struct PeImage {
  bool plus = false;  // PE32+
  std::int32_t lfanew = 0x80;
  std::uint16_t optionalHeaderSize = 0xFFFF;  // 0xFFFF: the usual 224 (240 for PE32+)
  std::uint64_t imageBase = 0x400000;
  std::vector<PeSection> sections;
  platform::records::IMAGE_DATA_DIRECTORY directories[platform::records::kImageReadDirectories] = {};

  std::uint16_t OptionalSize() const {
    return optionalHeaderSize != 0xFFFF ? optionalHeaderSize : (plus ? 240 : 224);
  }
  std::size_t HeadersEnd() const {
    return static_cast<std::size_t>(lfanew) + 24 + OptionalSize() + 40 * sections.size();
  }

  // Where the first section's data lies in the file (the headers end there).
  std::size_t FirstData() const {
    std::size_t first = 0;
    for (const auto& s : sections)
      if (s.pointerToRawData != 0 && (first == 0 || s.pointerToRawData < first)) first = s.pointerToRawData;
    return first != 0 ? first : HeadersEnd();
  }

  // The headers alone, `size` bytes long (zero-filled past the section table).
  std::string Headers(std::size_t size) const {
    namespace rec = platform::records;
    std::string out(std::max(size, HeadersEnd()), '\0');
    rec::IMAGE_DOS_HEADER dos{};
    dos.e_magic = 0x5A4D;
    dos.e_lfanew = lfanew;
    std::memcpy(out.data(), &dos, sizeof dos);
    rec::ImagePeHeader pe{};
    pe.Signature = 0x00004550;
    pe.FileHeader.Machine = plus ? 0x8664 : 0x14C;
    pe.FileHeader.NumberOfSections = static_cast<std::uint16_t>(sections.size());
    pe.FileHeader.SizeOfOptionalHeader = OptionalSize();
    std::memcpy(out.data() + lfanew, &pe, sizeof pe);
    const std::size_t opt = static_cast<std::size_t>(lfanew) + 24;
    if (plus) {
      rec::ImageOptionalHeader64 h{};
      h.Magic = 0x20B;
      h.ImageBaseLow = static_cast<std::uint32_t>(imageBase);
      h.ImageBaseHigh = static_cast<std::uint32_t>(imageBase >> 32);
      h.NumberOfRvaAndSizes = 16;
      std::memcpy(h.DataDirectory, directories, sizeof directories);
      if (OptionalSize() != 0)
        std::memcpy(out.data() + opt, &h, std::min<std::size_t>(sizeof h, OptionalSize()));
    } else {
      rec::ImageOptionalHeader32 h{};
      h.Magic = 0x10B;
      h.ImageBase = static_cast<std::uint32_t>(imageBase);
      h.NumberOfRvaAndSizes = 16;
      std::memcpy(h.DataDirectory, directories, sizeof directories);
      if (OptionalSize() != 0)
        std::memcpy(out.data() + opt, &h, std::min<std::size_t>(sizeof h, OptionalSize()));
    }
    std::size_t at = opt + OptionalSize();
    for (const auto& s : sections) {
      rec::IMAGE_SECTION_HEADER h{};
      std::memcpy(h.Name, s.name.data(), std::min<std::size_t>(8, s.name.size()));
      h.VirtualAddress = s.virtualAddress;
      h.VirtualSize = s.virtualSize;
      h.PointerToRawData = s.pointerToRawData;
      h.SizeOfRawData = s.sizeOfRawData;
      std::memcpy(out.data() + at, &h, sizeof h);
      at += sizeof h;
    }
    return out;
  }

  // The file: headers up to the first section's data, then each section's data at its file
  // position (at most SizeOfRawData bytes of it, zero-padded to that size).
  std::string File() const {
    std::string out = Headers(FirstData());
    for (const auto& s : sections) {
      if (s.pointerToRawData == 0) continue;
      if (out.size() < s.pointerToRawData + s.sizeOfRawData)
        out.resize(s.pointerToRawData + s.sizeOfRawData, '\0');
      out.replace(s.pointerToRawData, std::min<std::size_t>(s.data.size(), s.sizeOfRawData),
                  s.data.substr(0, s.sizeOfRawData));
    }
    return out;
  }

  // As loaded: the headers at 0, each section's data at its RVA, `size` bytes in all.
  std::string Memory(std::size_t size) const {
    std::string out = Headers(FirstData());
    out.resize(std::max(out.size(), size), '\0');
    for (const auto& s : sections) {
      if (out.size() < s.virtualAddress + s.data.size()) out.resize(s.virtualAddress + s.data.size(), '\0');
      out.replace(s.virtualAddress, s.data.size(), s.data);
    }
    return out;
  }
};

inline std::vector<std::byte> Bytes(const std::string& s) {
  std::vector<std::byte> out(s.size());
  if (!s.empty()) std::memcpy(out.data(), s.data(), s.size());
  return out;
}

// Little-endian fields appended to a section's bytes.
inline void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  if (s.size() < at + 4) s.resize(at + 4, '\0');
  std::memcpy(s.data() + at, &v, 4);
}
inline void Put16(std::string& s, std::size_t at, std::uint16_t v) {
  if (s.size() < at + 2) s.resize(at + 2, '\0');
  std::memcpy(s.data() + at, &v, 2);
}
inline void Put64(std::string& s, std::size_t at, std::uint64_t v) {
  if (s.size() < at + 8) s.resize(at + 8, '\0');
  std::memcpy(s.data() + at, &v, 8);
}
inline void PutText(std::string& s, std::size_t at, const std::string& text) {
  if (s.size() < at + text.size() + 1) s.resize(at + text.size() + 1, '\0');
  std::memcpy(s.data() + at, text.data(), text.size());
  s[at + text.size()] = '\0';
}

}  // namespace testing_support
