// Data streams of one file or folder: stream kinds, the backup-image walk and known benign names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace files {

enum TStreamId : std::uint8_t {
  siInvalid = 0,
  siStandard = 1,
  siExtendedAttribute = 2,
  siSecurity = 3,
  siAlternate = 4,
  siHardLink = 5,
  siProperty = 6,
  siObjectIdentifier = 7,
  siReparsePoints = 8,
  siSparseFile = 9,
};

struct TFileADSEntry {
  std::string Name;  // ":name:$DATA" in the 8-bit code page; empty for the main stream and nameless kinds
  std::int64_t Size = 0;
  std::uint8_t StreamID = siInvalid;
  std::u16string WideName;  // the name as the system gave it, at its full counted length
};

// One stream header of a backup image (20 bytes on the wire).
struct TBackupStreamHeader {
  std::uint32_t Id = 0;
  std::uint32_t Attributes = 0;
  std::uint64_t Size = 0;
  std::uint32_t NameSize = 0;
};
inline constexpr std::size_t kBackupStreamHeaderSize = 20;

// False when fewer than 20 bytes are given.
bool ParseBackupStreamHeader(std::span<const std::byte> bytes, TBackupStreamHeader& header);
// The UTF-16 name of `nameSize` bytes: an odd last byte is dropped; zero characters are kept,
// so a name cannot hide its tail behind one.
std::u16string DecodeBackupStreamName(std::span<const std::byte> name);
// Whether a stream kind passes a 16-bit filter; an empty filter passes every kind.
bool StreamPassesFilter(std::uint32_t id, std::uint16_t filter);

// One stream as it is found in an image: the kind, data size and UTF-16 name.
struct TBackupStream {
  TBackupStreamHeader Header;
  std::u16string Name;
};

// Walks a whole backup image held in memory. A truncated header or name ends the walk; a
// stream whose data is not all there is not delivered.
std::vector<TBackupStream> ParseBackupImage(std::span<const std::byte> image);

// Where a stream walk reads a backup image from: the platform's backup reads of an open file,
// or bytes in memory.
class TBackupSource {
 public:
  virtual ~TBackupSource() = default;
  // Reads up to buffer.size() bytes; `got` 0 at the end of the image. False when the read fails.
  virtual bool Read(std::span<std::byte> buffer, std::size_t& got) = 0;
  // Skips `count` bytes of the current stream's data; false when not all of them could be skipped.
  virtual bool Seek(std::uint64_t count) = 0;
};

// Walks a backup image stream by stream, reading heads and names and skipping data, and hands
// every stream whose data could be skipped to `onStream`. A failed or short read, a name too
// long for any stream, or a failed skip ends the walk.
void WalkBackupStreams(TBackupSource& source,
                       const std::function<void(const TBackupStreamHeader&, std::u16string_view)>& onStream);

// One record of the native stream information (FILE_STREAM_INFORMATION).
struct TStreamInformation {
  std::u16string Name;  // "::$DATA" for the unnamed stream, else ":name:$DATA"; counted
  std::int64_t Size = 0;
  std::int64_t AllocationSize = 0;
};
// Walks the records of a stream information buffer. The walk only moves forward; a record or
// name that does not fit ends it without being delivered.
std::vector<TStreamInformation> ParseStreamInformation(std::span<const std::byte> buffer);

class TFileADSList {
 public:
  static constexpr std::uint16_t kAllKinds = 1023;
  static constexpr std::uint16_t kAlternateOnly = 16;

  // Empties the list, then adds one entry per stream of `path` whose kind passes `filter`. An
  // object that cannot be opened lists nothing; a failure on the way keeps what came before.
  // The 8-bit path is in the system code page; the UTF-16 one reaches every name.
  void Refresh(std::string_view path, std::uint16_t filter);
  void Refresh(std::u16string_view path, std::uint16_t filter);

  int Count() const { return static_cast<int>(items_.size()); }
  const TFileADSEntry& Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  // Adds the stream as an entry when its kind passes `filter`; the name goes to the 8-bit code page.
  void Add(const TBackupStreamHeader& header, std::u16string_view name, std::uint16_t filter);
  void Clear() { items_.clear(); }

  static bool IsKnownStream(const TFileADSEntry& entry);
  static std::string StreamKindName(int kind);

  std::uint16_t Filter = kAllKinds;

 private:
  std::vector<TFileADSEntry> items_;
};

}  // namespace files
