// Native folder listing through NtOpenFile and NtQueryDirectoryFile.
#include "files/file_list.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <type_traits>

#include "platform/handles.h"
#include "platform/record_io.h"

namespace files {

namespace {

namespace rec = platform::records;

constexpr std::array<std::uint32_t, 4> kLevelClasses = {
    rec::FileNamesInformation,
    rec::FileDirectoryInformation,
    rec::FileFullDirectoryInformation,
    rec::FileBothDirectoryInformation,
};

constexpr std::size_t kMaxNameChars = 260;
constexpr std::size_t kMaxShortNameChars = std::size(rec::FILE_BOTH_DIR_INFORMATION{}.ShortName);
// Many records per call: the record walk keeps the file system's order, and the end of the
// listing is still read from the buffer alone.
constexpr std::size_t kBufferBytes = 64 * 1024;

// The record of class R at `at`; nothing when its head does not fit or its name length is 0.
template <typename R>
std::optional<DirectoryRecord> ReadRecord(const rec::RecordReader& in, std::size_t at) {
  const auto head = in.Head<R>(at);
  if (!head || head->FileNameLength == 0) return std::nullopt;
  DirectoryRecord r;
  r.next = head->NextEntryOffset;
  if constexpr (!std::is_same_v<R, rec::FILE_NAMES_INFORMATION>) {
    r.creation = static_cast<std::uint64_t>(head->CreationTime);
    r.lastAccess = static_cast<std::uint64_t>(head->LastAccessTime);
    r.lastWrite = static_cast<std::uint64_t>(head->LastWriteTime);
    r.change = static_cast<std::uint64_t>(head->ChangeTime);
    r.size = head->EndOfFile;
    r.allocationSize = head->AllocationSize;
    r.attributes = head->FileAttributes;
  }
  if constexpr (requires { head->EaSize; }) r.eaSize = head->EaSize;
  if constexpr (std::is_same_v<R, rec::FILE_BOTH_DIR_INFORMATION>) {
    // The short name has a field of its own in the head; its length cannot reach past it.
    const std::size_t chars = std::min<std::size_t>(head->ShortNameLength / 2, kMaxShortNameChars);
    r.shortName.assign(head->ShortName, chars);
  }
  r.name = in.TextWithin(at + rec::kHeadBytes<R>, head->FileNameLength, kMaxNameChars);
  return r;
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
  const rec::RecordReader in(buffer);
  switch (level) {
    case 0:
      return ReadRecord<rec::FILE_NAMES_INFORMATION>(in, offset);
    case 1:
      return ReadRecord<rec::FILE_DIRECTORY_INFORMATION>(in, offset);
    case 2:
      return ReadRecord<rec::FILE_FULL_DIR_INFORMATION>(in, offset);
    case 3:
      return ReadRecord<rec::FILE_BOTH_DIR_INFORMATION>(in, offset);
    default:
      return std::nullopt;
  }
}

std::vector<DirectoryRecord> ParseDirectoryRecords(std::span<const std::byte> buffer, int level) {
  std::vector<DirectoryRecord> out;
  rec::WalkChain(buffer.size(), [&](std::size_t at) -> std::optional<std::uint32_t> {
    auto r = ParseDirectoryRecord(buffer, at, level);
    if (!r) return std::nullopt;
    out.push_back(std::move(*r));
    return out.back().next;
  });
  return out;
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
  for (std::size_t query = 0; query < kMaxDirectoryQueries; ++query) {
    std::fill(buffer.begin(), buffer.end(), std::byte{0});
    io = {};
    // Only a query that finished with success has records to read: the end of the listing, a
    // failure on the way and an answer still pending all end it.
    if (nt.NtQueryDirectoryFile(dir.get(), platform::kNullHandle, io, buffer, kLevelClasses[level], false,
                                nullptr, false) != platform::STATUS_SUCCESS)
      break;
    const auto records = ParseDirectoryRecords(buffer, level);
    if (records.empty()) break;
    for (const auto& r : records) {
      try {
        if (level == 0)
          AddName(r.name);
        else {
          const std::size_t before = Entries.size();
          AddEntry(r.name, r.shortName, toDate(r.change), toDate(r.lastWrite), toDate(r.lastAccess),
                   toDate(r.creation), r.allocationSize, r.size, r.attributes);
          if (level >= 2 && Entries.size() > before &&
              (r.attributes & platform::kFileAttributeReparsePoint) != 0)
            Entries.back().ReparseTag = r.eaSize;
        }
      } catch (const std::exception&) {
        // One entry that cannot be stored is lost; the listing goes on.
      }
    }
  }
}

}  // namespace files
