// What the properties of one file show, gathered view by view, and its deletion, native first.
#include "app/file_properties.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "base/names.h"
#include "base/security_text.h"
#include "files/ads.h"
#include "files/file_list.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/record_io.h"
#include "platform/records.h"

namespace app {

namespace {

using namespace platform;

constexpr std::u16string_view kNativePrefix = u"\\??\\";
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::u16string WithPrefix(std::u16string_view path) {
  if (path.substr(0, kNativePrefix.size()) == kNativePrefix) return std::u16string(path);
  return std::u16string(kNativePrefix) + std::u16string(path);
}

std::u16string_view WithoutPrefix(std::u16string_view path) {
  return path.substr(0, kNativePrefix.size()) == kNativePrefix ? path.substr(kNativePrefix.size()) : path;
}

bool Done(NTSTATUS s) { return s == STATUS_SUCCESS || s == STATUS_PENDING; }

double LocalValue(std::uint64_t fileTime) {
  if (fileTime == 0) return 0.0;
  std::uint64_t local = 0;
  if (!Current().kernel32.FileTimeToLocalFileTime(fileTime, local)) return 0.0;
  return files::DosDateTimeValue(local);
}

void Native(FileProperties& f) {
  auto& nt = Current().ntdll;
  NtHandle h;
  IoStatus io;
  const ObjectAttributes name{f.fileName, OBJ_CASE_INSENSITIVE};
  if (nt.NtOpenFile(h.put(), FILE_READ_ATTRIBUTES | FILE_READ_DATA, name, io, kShareAll,
                    FILE_OPEN_FOR_BACKUP_INTENT) != STATUS_SUCCESS) {
    h.release();
    return;
  }
  f.nativeOpened = true;
  std::vector<std::byte> standard(28), basic(40);
  if (Done(nt.NtQueryInformationFile(h.get(), io, standard, records::FileStandardInformation))) {
    const records::RecordReader r(standard);
    f.size = r.Get<std::int64_t>(offsetof(records::FILE_STANDARD_INFORMATION, EndOfFile)).value_or(0);
    f.allocationSize =
        r.Get<std::int64_t>(offsetof(records::FILE_STANDARD_INFORMATION, AllocationSize)).value_or(0);
  }
  if (Done(nt.NtQueryInformationFile(h.get(), io, basic, records::FileBasicInformation))) {
    const records::RecordReader r(basic);
    auto time = [&](std::size_t at) { return r.Get<std::uint64_t>(at).value_or(0); };
    f.creation = time(offsetof(records::FILE_BASIC_INFORMATION, CreationTime));
    f.lastAccess = time(offsetof(records::FILE_BASIC_INFORMATION, LastAccessTime));
    f.lastWrite = time(offsetof(records::FILE_BASIC_INFORMATION, LastWriteTime));
    f.change = time(offsetof(records::FILE_BASIC_INFORMATION, ChangeTime));
    f.attributes = r.Get<std::uint32_t>(offsetof(records::FILE_BASIC_INFORMATION, FileAttributes));
  }
}

void Win32(FileProperties& f) {
  auto& k32 = Current().kernel32;
  Kernel32::FindDataW d;
  {
    const FindHandle find(k32.FindFirstFileW(f.fileName, d));
    if (find) {
      f.win32Listed = true;
      if (f.size == 0) f.size = static_cast<std::int64_t>(d.size);
      if (f.creation == 0) f.creation = d.creationTime;
      if (f.lastAccess == 0) f.lastAccess = d.lastAccessTime;
      if (f.lastWrite == 0) f.lastWrite = d.lastWriteTime;
    }
  }
  if (f.size != 0) return;
  const KernelFileHandle h(
      k32.CreateFileW(f.fileName, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
  if (!h) return;
  DWORD high = 0;
  const DWORD low = k32.GetFileSize(h.get(), &high);
  if (low == INVALID_FILE_SIZE && k32.GetLastError() != ERROR_SUCCESS) return;
  f.win32Opened = true;
  f.size = static_cast<std::int64_t>((std::uint64_t{high} << 32) | low);
}

void Security(FileProperties& f, const std::string& path) {
  try {
    f.sddl = base::jtGetFileSecurityString(path, base::kOwnerGroupDacl);
    base::FillSecurityTree(
        f.sddl,
        [&](int parent, const std::string& text, int image) {
          f.security.push_back(SecurityNode{parent, text, image});
          return static_cast<int>(f.security.size()) - 1;
        },
        "", 0, 1, 2);
  } catch (const std::exception&) {  // an unreadable descriptor leaves the tree empty
    f.sddl.clear();
    f.security.clear();
  }
}

void Streams(FileProperties& f, const std::string& path) {
  try {
    files::TFileADSList list;
    list.Refresh(std::string_view(path), files::TFileADSList::kAllKinds);
    for (int i = 0; i < list.Count(); ++i) {
      const auto& e = list.Items(i);
      f.streams.push_back(
          StreamRow{e.WideName, e.Size, SizeText(e.Size), files::TFileADSList::StreamKindName(e.StreamID)});
    }
  } catch (const std::exception&) {
    f.streams.clear();
  }
}

}  // namespace

FileProperties GatherFileProperties(std::u16string_view path) {
  FileProperties f;
  f.fileName = WithPrefix(path);
  Native(f);
  Win32(f);
  f.creationTime = LocalValue(f.creation);
  f.lastAccessTime = LocalValue(f.lastAccess);
  f.lastWriteTime = LocalValue(f.lastWrite);
  f.changeTime = LocalValue(f.change);
  const std::string plain = Current().kernel32.WideCharToMultiByte(CP_ACP, WithoutPrefix(f.fileName));
  Security(f, plain);
  Streams(f, plain);
  return f;
}

std::string SizeText(std::int64_t bytes) {
  static constexpr const char* kUnits[] = {" B", " KB", " MB", " GB", " TB", " PB"};
  int unit = 0;
  while (bytes > 1024 && unit < 5) {
    bytes /= 1024;
    ++unit;
  }
  return std::to_string(bytes) + kUnits[unit];
}

std::string SizeWithBytes(std::int64_t bytes) {
  return SizeText(bytes) + " (" + std::to_string(bytes) + " bytes)";
}

std::string DateTimeText(double value) {
  if (!(value > 0)) return "?";
  // Days since 1899-12-30 and the fraction of the day.
  const auto days = static_cast<std::int64_t>(std::floor(value));
  auto seconds = static_cast<std::int64_t>(std::llround((value - static_cast<double>(days)) * 86400.0));
  std::int64_t z = days - 25569 + 719468;  // to days since 1970-01-01, then the civil calendar
  if (seconds >= 86400) {
    seconds -= 86400;
    ++z;
  }
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld", static_cast<long long>(y), m, d,
                static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60));
  return text;
}

ResolvedFile ResolveOneFile(std::u16string_view path) {
  ResolvedFile r;
  const std::u16string_view plain = WithoutPrefix(path);
  const std::size_t slash = plain.rfind(u'\\');
  if (plain.size() < 4 || plain[1] != u':' || plain[2] != u'\\' || slash + 1 == plain.size()) {
    r.error = "not the full path of a file (a drive, a backslash and the names)";
    return r;
  }
  if (plain.find_first_of(u"*?") != std::u16string_view::npos) {
    r.error = "holds a wildcard (* or ?); give the one file to delete";
    return r;
  }
  files::TNTFileEnumerator listing;
  listing.InformationLevel = 3;
  listing.Enumerate(plain.substr(0, slash + 1));
  const std::u16string_view name = plain.substr(slash + 1);
  std::size_t matches = 0;
  bool folder = false;
  for (const auto& e : listing.Entries)
    if (base::SameIgnoringCase(e.Name, name)) {
      ++matches;
      folder = (e.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
  if (matches == 0)
    r.error = "not found by the native listing of its folder";
  else if (matches > 1)
    r.error = "names " + std::to_string(matches) + " entries that differ only in letter case";
  else if (folder)
    r.error = "is a folder, not a file";
  else
    r.path = std::u16string(path);
  return r;
}

FileDeletion DeleteFileNativeFirst(std::u16string_view path) {
  FileDeletion result;
  const std::u16string_view plain = WithoutPrefix(path);
  const std::u16string native = WithPrefix(plain);
  auto& nt = Current().ntdll;
  Handle h = kNullHandle;
  IoStatus io;
  result.nativeStatus =
      nt.NtOpenFile(h, DELETE, ObjectAttributes{native, OBJ_CASE_INSENSITIVE}, io, 0, FILE_DELETE_ON_CLOSE);
  if (Done(result.nativeStatus)) {
    result.nativeStatus = nt.NtClose(h);
    result.deleted = result.native = Done(result.nativeStatus);
  }
  if (!result.deleted) {
    auto& k32 = Current().kernel32;
    result.deleted = k32.DeleteFileW(plain);
    if (!result.deleted) result.win32Error = k32.GetLastError();
  }
  result.status = result.deleted ? kFileDeleted : kCouldNotDeleteYet;
  return result;
}

}  // namespace app
