// Native folder listing: the second view of a folder, read below the Win32 functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace files {

struct TFileListEntry {
  std::u16string Name;
  std::u16string ShortName;
  std::uint32_t Attributes = 0;
  std::int64_t Size = 0;
  std::int64_t AllocationSize = 0;
  double CreationTime = 0.0;
  double LastAccessTime = 0.0;
  double LastWriteTime = 0.0;
  double ChangeTime = 0.0;
  // Levels 2 and 3, for a reparse point (attribute 0x400): its tag, which the record carries in
  // its EA-size field. 0 otherwise.
  std::uint32_t ReparseTag = 0;
};

class TFileEnumeratorBase {
 public:
  virtual ~TFileEnumeratorBase() = default;

  std::vector<TFileListEntry> Entries;
  bool IncludeDotEntries = false;

  std::size_t Count() const { return Entries.size(); }
  TFileListEntry Entry(std::size_t index) const { return Entries[index]; }

  void AddEntry(std::u16string name, std::u16string shortName, double changeTime, double lastWriteTime,
                double lastAccessTime, double creationTime, std::int64_t allocationSize, std::int64_t size,
                std::uint32_t attributes);
  void AddName(std::u16string name);
};

// The most directory queries one listing makes. Each query hands back up to 64 KiB of records:
// at least 107 entries even with 255-character names at the widest level, several hundred with
// ordinary names, so 4096 queries cover more than 400,000 entries, well beyond the largest
// folders Windows keeps. A filter driver that answers success for ever (always the same batch,
// say) then ends after 4096 buffers instead of filling memory.
inline constexpr std::size_t kMaxDirectoryQueries = 4096;

class TNTFileEnumerator : public TFileEnumeratorBase {
 public:
  std::uint32_t WaitTimeout = 5000;
  std::uint8_t InformationLevel = 0;

  void Enumerate(std::u16string_view folder);
};

// "\??\" goes in front of a drive path ("C:\..."); anything else is used as it stands.
std::u16string NativeFolderPath(std::u16string_view folder);

// FILETIME (already local) -> days since 1899-12-30 through the DOS date and time, so the value
// has two-second resolution and covers 1980 to 2107; outside that range it is 0.0.
double DosDateTimeValue(std::uint64_t localFileTime);

// One record read from a directory-query buffer. `next` is the NextEntryOffset (0: the last).
struct DirectoryRecord {
  std::u16string name;
  std::u16string shortName;
  std::uint32_t attributes = 0;
  std::int64_t size = 0, allocationSize = 0;
  std::uint64_t creation = 0, lastAccess = 0, lastWrite = 0, change = 0;
  std::uint32_t eaSize = 0;  // levels 2 and 3: a reparse point's tag when attributes have 0x400
  std::uint32_t next = 0;
};

// Reads the record of information level 0..3 at `offset`. Names are taken at their counted
// length, zero characters included, but never beyond the buffer or 260 characters. Nothing when
// the head does not fit or the name length is 0 (the end of a listing).
std::optional<DirectoryRecord> ParseDirectoryRecord(std::span<const std::byte> buffer, std::size_t offset,
                                                    int level);
// The records of one query's buffer, from its start along their next-entry offsets. The walk
// ends at a record that cannot be read, at a next offset of 0 and at one that would leave the
// buffer.
std::vector<DirectoryRecord> ParseDirectoryRecords(std::span<const std::byte> buffer, int level);

}  // namespace files
