// Pure readers of the buffers the handle enumeration gets back: handle tables, object and file names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace processes {

// One entry of either handle table, widened to the extended table's field sizes.
struct HandleTableEntry {
  std::uint32_t ProcessID = 0;
  std::uint16_t CreatorBackTraceIndex = 0;
  std::uint16_t ObjectTypeNumber = 0;
  std::uint8_t Flags = 0;
  std::uint32_t Handle = 0;
  std::uintptr_t ObjectPointer = 0;
  std::uint32_t GrantedAccess = 0;
};

// The entries of a class-16 table (16-bit process IDs). A count that claims more entries than
// the buffer holds is cut to what is there; a buffer too short for the count gives nothing.
std::vector<HandleTableEntry> ParseHandleTable(std::span<const std::byte> buffer);
// The entries of a class-64 table (full process IDs and handle values).
std::vector<HandleTableEntry> ParseHandleTableEx(std::span<const std::byte> buffer);

// The text of an object-name buffer (UNICODE_STRING header, text after it), at its counted
// length: zero characters inside the name survive. Empty for an unnamed object or a header
// whose length points past the buffer's end.
std::u16string ParseObjectName(std::span<const std::byte> buffer);

// The name of a file-name buffer: the length in bytes, then the text; at most `maxChars`
// characters and never past the buffer's end.
std::u16string ParseFileNameInformation(std::span<const std::byte> buffer, std::size_t maxChars);

}  // namespace processes
