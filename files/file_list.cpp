// Native folder listing through NtOpenFile and NtQueryDirectoryFile.
#include "files/file_list.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/handles.h"
#include "platform/records.h"

namespace files {

namespace {

struct Level {
  std::uint32_t infoClass;
  std::size_t nameOffset;
};
constexpr std::array<Level, 4> kLevels = {{
    {platform::records::FileNamesInformation, offsetof(platform::records::FILE_NAMES_INFORMATION, FileName)},
    {platform::records::FileDirectoryInformation,
     offsetof(platform::records::FILE_DIRECTORY_INFORMATION, FileName)},
    {platform::records::FileFullDirectoryInformation,
     offsetof(platform::records::FILE_FULL_DIR_INFORMATION, FileName)},
    {platform::records::FileBothDirectoryInformation,
     offsetof(platform::records::FILE_BOTH_DIR_INFORMATION, FileName)},
}};

constexpr std::size_t kMaxNameChars = 260;
// Many records per call: the record walk keeps the file system's order, and the end of the
// listing is still read from the buffer alone.
constexpr std::size_t kBufferBytes = 64 * 1024;

template <typename T>
T Get(std::span<const std::byte> b, std::size_t at) {
  T v;
  std::memcpy(&v, b.data() + at, sizeof v);
  return v;
}

std::u16string ReadName(std::span<const std::byte> b, std::size_t at, std::size_t bytes) {
  const std::size_t avail = at <= b.size() ? b.size() - at : 0;
  const std::size_t chars = std::min<std::size_t>({bytes / 2, avail / 2, kMaxNameChars});
  std::u16string s(chars, u'\0');
  std::memcpy(s.data(), b.data() + at, chars * 2);
  return s;
}

// Days from 1899-12-30 to a civil date.
long DaysFromEpoch(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;  // 25569: 1899-12-30 to 1970-01-01
}

}  // namespace

void TFileEnumeratorBase::AddEntry(std::u16string name, std::u16string shortName, double changeTime,
                                   double lastWriteTime, double lastAccessTime, double creationTime,
                                   std::int64_t allocationSize, std::int64_t size, std::uint32_t attributes) {
  if (!IncludeDotEntries && (name == u"." || name == u"..")) return;
  Entries.push_back(TFileListEntry{std::move(name), std::move(shortName), attributes, size, allocationSize,
                                   creationTime, lastAccessTime, lastWriteTime, changeTime});
}

void TFileEnumeratorBase::AddName(std::u16string name) { AddEntry(std::move(name), {}, 0, 0, 0, 0, 0, 0, 0); }

std::u16string NativeFolderPath(std::u16string_view folder) {
  if (folder.substr(0, 4) != u"\\??\\" && folder.size() >= 3 && folder.substr(1, 2) == u":\\")
    return u"\\??\\" + std::u16string(folder);
  return std::u16string(folder);
}

double DosDateTimeValue(std::uint64_t localFileTime) {
  // 100-ns ticks from 1601-01-01 to 1899-12-30.
  constexpr std::uint64_t kTicksPerDay = 864000000000ULL;
  constexpr std::uint64_t kDaysTo1899 = 109205;
  const std::uint64_t totalDays = localFileTime / kTicksPerDay;
  if (totalDays < kDaysTo1899) return 0.0;
  const long days = static_cast<long>(totalDays - kDaysTo1899);
  if (days < DaysFromEpoch(1980, 1, 1) || days >= DaysFromEpoch(2108, 1, 1)) return 0.0;
  const std::uint64_t secs = (localFileTime % kTicksPerDay) / 10000000ULL;
  const std::uint64_t even = secs - secs % 2;  // DOS time keeps two-second steps
  return static_cast<double>(days) + static_cast<double>(even) / 86400.0;
}

std::optional<DirectoryRecord> ParseDirectoryRecord(std::span<const std::byte> buffer, std::size_t offset,
                                                    int level) {
  if (level < 0 || level > 3 || offset > buffer.size()) return std::nullopt;
  const auto b = buffer.subspan(offset);
  const std::size_t nameAt = kLevels[level].nameOffset;
  if (b.size() < nameAt) return std::nullopt;
  DirectoryRecord r;
  r.next = Get<std::uint32_t>(b, 0);
  const std::uint32_t nameBytes = Get<std::uint32_t>(b, level == 0 ? 8 : 60);
  if (nameBytes == 0) return std::nullopt;
  if (level > 0) {
    r.creation = Get<std::uint64_t>(b, 8);
    r.lastAccess = Get<std::uint64_t>(b, 16);
    r.lastWrite = Get<std::uint64_t>(b, 24);
    r.change = Get<std::uint64_t>(b, 32);
    r.size = Get<std::int64_t>(b, 40);
    r.allocationSize = Get<std::int64_t>(b, 48);
    r.attributes = Get<std::uint32_t>(b, 56);
  }
  if (level == 3) r.shortName = ReadName(b.first(94), 70, Get<std::uint8_t>(b, 68));
  r.name = ReadName(b, nameAt, nameBytes);
  return r;
}

void TNTFileEnumerator::Enumerate(std::u16string_view folder) {
  Entries.clear();
  auto& nt = platform::Current().ntdll;
  auto& k32 = platform::Current().kernel32;
  const std::u16string path = NativeFolderPath(folder);

  // Opened for synchronous I/O: every query has finished writing the buffer before it returns,
  // so no request can outlive the buffer it writes into.
  platform::NtHandle dir;
  platform::IoStatus io;
  const platform::ObjectAttributes attributes{path, platform::OBJ_CASE_INSENSITIVE};
  const platform::NTSTATUS opened = nt.NtOpenFile(
      dir.put(), platform::FILE_LIST_DIRECTORY | platform::SYNCHRONIZE, attributes, io,
      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
      platform::FILE_DIRECTORY_FILE | platform::FILE_WRITE_THROUGH | platform::FILE_SYNCHRONOUS_IO_NONALERT);
  if (opened != platform::STATUS_SUCCESS || !dir) return;
  if (InformationLevel > 3) return;
  const int level = InformationLevel;

  auto toDate = [&](std::uint64_t t) {
    std::uint64_t local = 0;
    return k32.FileTimeToLocalFileTime(t, local) ? DosDateTimeValue(local) : 0.0;
  };
  std::vector<std::byte> buffer(kBufferBytes);
  for (;;) {
    std::fill(buffer.begin(), buffer.end(), std::byte{0});
    io = {};
    nt.NtQueryDirectoryFile(dir.get(), platform::kNullHandle, io, buffer, kLevels[level].infoClass, false,
                            nullptr, false);
    // The status is not needed: a failed or finished query leaves the cleared buffer, whose
    // first record then has name length 0.
    std::size_t offset = 0;
    bool any = false;
    for (;;) {
      const auto r = ParseDirectoryRecord(buffer, offset, level);
      if (!r) break;
      any = true;
      try {
        if (level == 0)
          AddName(r->name);
        else
          AddEntry(r->name, r->shortName, toDate(r->change), toDate(r->lastWrite), toDate(r->lastAccess),
                   toDate(r->creation), r->allocationSize, r->size, r->attributes);
      } catch (const std::exception&) {
        // One entry that cannot be stored is lost; the listing goes on.
      }
      // A next offset must move forward inside the buffer, else the walk ends here.
      if (r->next == 0 || r->next > buffer.size() - offset) break;
      offset += r->next;
    }
    if (!any) break;
  }
}

}  // namespace files
