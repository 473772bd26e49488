// The simulated native file functions: opening folders and listing them record by record.
#include <algorithm>
#include <iterator>

#include "platform/record_io.h"
#include "platform/records.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"
#include "platform/sim/sim_platform.h"

namespace sim {

namespace {

using namespace platform;
using records::RecordWriter;

// The node named by a native path: "\??\C:\..." or "\Device\HarddiskVolumeN\...".
NTSTATUS ResolveNativePath(Machine& m, std::u16string_view path, FileNode*& node) {
  constexpr std::u16string_view kDos = u"\\??\\";
  if (path.substr(0, kDos.size()) == kDos) {
    node = m.FindFile(path.substr(kDos.size()));
  } else {
    node = nullptr;
    for (auto& v : m.volumes) {
      const std::u16string& dev = v.device;
      if (dev.empty() || path.size() < dev.size() || CompareNames(path.substr(0, dev.size()), dev) != 0)
        continue;
      if (path.size() > dev.size() && path[dev.size()] != u'\\') continue;
      std::u16string win32(1, v.drive);
      win32 += u':';
      win32 += path.substr(dev.size());
      node = m.FindFile(win32);
      break;
    }
    if (node == nullptr && path.substr(0, 8) != u"\\Device\\") return STATUS_OBJECT_NAME_INVALID;
  }
  return node != nullptr ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

struct ListedEntry {
  std::u16string_view name;
  const FileNode* facts;  // times, sizes and attributes come from here
};

std::size_t HeadSize(std::uint32_t infoClass) {
  switch (infoClass) {
    case records::FileNamesInformation:
      return records::kHeadBytes<records::FILE_NAMES_INFORMATION>;
    case records::FileDirectoryInformation:
      return records::kHeadBytes<records::FILE_DIRECTORY_INFORMATION>;
    case records::FileFullDirectoryInformation:
      return records::kHeadBytes<records::FILE_FULL_DIR_INFORMATION>;
    case records::FileBothDirectoryInformation:
      return records::kHeadBytes<records::FILE_BOTH_DIR_INFORMATION>;
    default:
      return 0;
  }
}

// The head of a directory class that carries the entry's facts.
template <typename R>
R FactsHead(const FileNode& f, std::uint32_t nameBytes) {
  auto r = records::Zeroed<R>();
  r.CreationTime = static_cast<std::int64_t>(f.times.creation);
  r.LastAccessTime = static_cast<std::int64_t>(f.times.lastAccess);
  r.LastWriteTime = static_cast<std::int64_t>(f.times.lastWrite);
  r.ChangeTime = static_cast<std::int64_t>(f.times.change);
  r.EndOfFile = static_cast<std::int64_t>(f.folder ? 0 : f.size);
  r.AllocationSize = static_cast<std::int64_t>(f.folder ? 0 : f.allocationSize);
  r.FileAttributes = f.attributes;
  r.FileNameLength = nameBytes;
  // Directory records that carry an EA size give a reparse point's tag there instead.
  if constexpr (requires { r.EaSize; })
    if ((f.attributes & kFileAttributeReparsePoint) != 0) r.EaSize = f.reparseTag;
  return r;
}

// The smallest buffer the call accepts: the class's whole struct, padding included, as the
// real call checks it (a buffer of the bare fixed part is refused).
std::size_t MinimumBuffer(std::uint32_t infoClass) {
  switch (infoClass) {
    case records::FileNamesInformation:
      return sizeof(records::FILE_NAMES_INFORMATION);
    case records::FileDirectoryInformation:
      return sizeof(records::FILE_DIRECTORY_INFORMATION);
    case records::FileFullDirectoryInformation:
      return sizeof(records::FILE_FULL_DIR_INFORMATION);
    case records::FileBothDirectoryInformation:
      return sizeof(records::FILE_BOTH_DIR_INFORMATION);
    default:
      return 0;
  }
}

// Writes one record at `at` (the buffer holds at least its head), its NextEntryOffset 0. The
// name is cut to what fits; the length field always gives the full length, as the real call
// does. Answers where the record ends.
std::size_t WriteRecord(RecordWriter& out, std::size_t at, std::uint32_t infoClass, const ListedEntry& e) {
  const auto nameBytes = static_cast<std::uint32_t>(e.name.size() * 2);
  switch (infoClass) {
    case records::FileNamesInformation: {
      auto r = records::Zeroed<records::FILE_NAMES_INFORMATION>();
      r.FileNameLength = nameBytes;
      out.PutHead(at, r);
      break;
    }
    case records::FileDirectoryInformation:
      out.PutHead(at, FactsHead<records::FILE_DIRECTORY_INFORMATION>(*e.facts, nameBytes));
      break;
    case records::FileFullDirectoryInformation:
      out.PutHead(at, FactsHead<records::FILE_FULL_DIR_INFORMATION>(*e.facts, nameBytes));
      break;
    default: {
      auto r = FactsHead<records::FILE_BOTH_DIR_INFORMATION>(*e.facts, nameBytes);
      const FileNode& f = *e.facts;
      if (f.parent != nullptr && e.name == f.name) {
        const std::size_t n = std::min<std::size_t>(f.shortName.size(), std::size(r.ShortName));
        r.ShortNameLength = static_cast<std::uint8_t>(n * 2);
        std::copy_n(f.shortName.begin(), n, r.ShortName);
      }
      out.PutHead(at, r);
      break;
    }
  }
  const std::size_t head = HeadSize(infoClass);
  return at + head + out.PutText(at + head, e.name);
}

}  // namespace

NTSTATUS SimNtdll::NtOpenFile(Handle& handle, DWORD access, const ObjectAttributes& attributes, IoStatus& io,
                              DWORD share, DWORD options) {
  std::lock_guard lock(m_.mutex);
  handle = kNullHandle;
  FileNode* node = nullptr;
  NTSTATUS s = ResolveNativePath(m_, attributes.name, node);
  if (s == STATUS_SUCCESS && node->fail.nativeOpen) s = STATUS_ACCESS_DENIED;
  if (s == STATUS_SUCCESS && (options & FILE_DIRECTORY_FILE) != 0 && !node->folder)
    s = STATUS_NOT_A_DIRECTORY;
  if (s == STATUS_SUCCESS && (options & FILE_NON_DIRECTORY_FILE) != 0 && node->folder)
    s = STATUS_OBJECT_NAME_INVALID;
  const bool deleteOnClose = (options & FILE_DELETE_ON_CLOSE) != 0;
  if (s == STATUS_SUCCESS && deleteOnClose) {
    if (!DeletesFile(access) || node->parent == nullptr)
      s = node->parent == nullptr ? STATUS_CANNOT_DELETE : STATUS_INVALID_PARAMETER;
    else if ((node->attributes & FILE_ATTRIBUTE_READONLY) != 0)
      s = STATUS_CANNOT_DELETE;
    else if (node->folder && !node->children.empty())
      s = STATUS_DIRECTORY_NOT_EMPTY;
  }
  if (s == STATUS_SUCCESS) s = CheckOpen(*node, access, share);
  io.status = s;
  io.information = 0;
  if (s != STATUS_SUCCESS) return s;
  auto file = OpenSimFile(*node, access);
  file->synchronous = (options & (FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT)) != 0;
  handle = AddOpen(m_, std::move(file), share, deleteOnClose);
  io.information = 1;  // FILE_OPENED
  return s;
}

NTSTATUS SimNtdll::NtQueryDirectoryFile(Handle file, Handle, IoStatus& io, std::span<std::byte> buffer,
                                        std::uint32_t infoClass, bool returnSingleEntry,
                                        const std::u16string_view* fileName, bool restartScan) {
  std::lock_guard lock(m_.mutex);
  io.information = 0;
  auto* open = m_.handles.Get<SimFile>(file);
  NTSTATUS s = STATUS_SUCCESS;
  const std::size_t head = HeadSize(infoClass);
  if (open == nullptr)
    s = NotAFileStatus(m_, file);
  else if (!open->CanReadData())  // listing needs FILE_LIST_DIRECTORY, the read-data bit
    s = STATUS_ACCESS_DENIED;
  else if (!open->node->folder)
    s = STATUS_INVALID_PARAMETER;
  else if (head == 0)
    s = STATUS_INVALID_INFO_CLASS;
  else if (buffer.size() < MinimumBuffer(infoClass))
    s = STATUS_INFO_LENGTH_MISMATCH;
  if (s != STATUS_SUCCESS) return io.status = s;

  FileNode& dir = *open->node;
  if (restartScan) open->position = 0;
  const bool fromStart = open->position == 0;
  const std::size_t dots = open->hasDots ? 2 : 0;
  const std::size_t total = dots + dir.children.size();
  // An injected break-off: the listing fails once N of the folder's own entries were returned.
  const std::size_t limit =
      dir.fail.nativeListAfter ? std::min(total, dots + *dir.fail.nativeListAfter) : total;
  auto entryAt = [&](std::size_t i) -> ListedEntry {
    if (i == 0 && dots) return {u".", &dir};
    if (i == 1 && dots) return {u"..", dir.parent};
    const FileNode& c = *dir.children[i - dots];
    return {c.name, &c};
  };

  // A mask without wildcards names one entry: it is found by its place in the ordered children
  // rather than by trying every name, so a look-up of one name costs a search, not a listing.
  if (fileName != nullptr && *fileName != u"." && *fileName != u".." &&
      fileName->find_first_of(u"*?<>\"") == std::u16string_view::npos && open->position < limit) {
    auto it =
        std::lower_bound(dir.children.begin(), dir.children.end(), *fileName,
                         [](const auto& c, std::u16string_view n) { return CompareNames(c->name, n) < 0; });
    const std::size_t at = dots + static_cast<std::size_t>(it - dir.children.begin());
    const bool found = it != dir.children.end() && CompareNames((*it)->name, *fileName) == 0;
    open->position = found && at >= open->position ? std::min(at, limit) : limit;
  }

  RecordWriter out(buffer);
  std::size_t used = 0, last = std::size_t(-1), written = 0;
  while (open->position < limit) {
    const ListedEntry e = entryAt(open->position);
    if (fileName != nullptr && !WildcardMatch(*fileName, e.name)) {
      ++open->position;
      continue;
    }
    const std::size_t at = (used + 7) & ~std::size_t{7};
    const std::size_t need = head + e.name.size() * 2;
    if (written > 0 && (at + need > buffer.size())) break;  // the next call returns it
    if (written == 0 && at + head > buffer.size()) break;
    if (last != std::size_t(-1))
      out.Put<std::uint32_t>(last + records::kNextEntryOffsetAt, static_cast<std::uint32_t>(at - last));
    out.Clear(at, need);
    used = WriteRecord(out, at, infoClass, e);
    last = at;
    ++written;
    ++open->position;
    if (at + need > buffer.size()) {  // a name cut short: the caller needs a larger buffer
      io.information = used;
      return io.status = STATUS_BUFFER_OVERFLOW;
    }
    if (returnSingleEntry) break;
  }
  io.information = used;
  if (written > 0) return io.status = STATUS_SUCCESS;
  if (open->position < total) return io.status = STATUS_UNSUCCESSFUL;  // broken off
  // A mask that matches nothing from the start of a scan says so, unlike the end of a listing.
  if (fileName != nullptr && fromStart) return io.status = STATUS_NO_SUCH_FILE;
  return io.status = STATUS_NO_MORE_FILES;
}

namespace {

// A Win32 search: the matching entries are taken when it starts, as the rootkit filtered them.
struct SimFind : SimObject {
  std::vector<platform::Kernel32::FindDataW> entries;
  std::size_t next = 0;
  FileNode* folder = nullptr;  // for the machine's afterWin32List hook
};

// `name` is what the listing shows; a folder's own "." and ".." entries carry no short name.
platform::Kernel32::FindDataW FindRecord(std::u16string_view name, const FileNode& f, bool folder,
                                         bool dotEntry) {
  platform::Kernel32::FindDataW d;
  d.attributes =
      folder ? (f.attributes | FILE_ATTRIBUTE_DIRECTORY) : (f.attributes & ~FILE_ATTRIBUTE_DIRECTORY);
  d.creationTime = f.times.creation;
  d.lastAccessTime = f.times.lastAccess;
  d.lastWriteTime = f.times.lastWrite;
  d.size = f.folder ? 0 : f.size;
  d.fileName = name;
  if (!dotEntry) d.alternateFileName = f.shortName;
  d.reparseTag = (f.attributes & kFileAttributeReparsePoint) != 0 ? f.reparseTag : 0;
  return d;
}

}  // namespace

Handle SimKernel32::FindFirstFileW(std::u16string_view mask, FindDataW& data) {
  std::lock_guard lock(m_.mutex);
  // A path in native form ("\\?\C:\..." or "\??\C:\...") is searched as it stands.
  for (std::u16string_view prefix : {u"\\\\?\\", u"\\??\\"})
    if (mask.substr(0, prefix.size()) == prefix) mask.remove_prefix(prefix.size());
  const std::size_t slash = mask.rfind(u'\\');
  std::u16string_view pattern = slash == std::u16string_view::npos ? mask : mask.substr(slash + 1);
  const std::u16string_view folderPath = slash == std::u16string_view::npos ? u"" : mask.substr(0, slash + 1);
  FileNode* dir = m_.FindFile(folderPath);
  if (dir == nullptr || !dir->folder) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return kInvalidHandle;
  }
  if (dir->fail.win32List) {
    SetLastError(ERROR_ACCESS_DENIED);
    return kInvalidHandle;
  }
  if (pattern == u"*.*") pattern = u"*";  // "*.*" matches names without a dot too
  auto find = std::make_unique<SimFind>();
  find->entries.reserve(dir->children.size() + 2);
  auto take = [&](std::u16string_view name, const FileNode& f, bool folder, bool dotEntry) {
    if (WildcardMatch(pattern, name)) find->entries.push_back(FindRecord(name, f, folder, dotEntry));
  };
  if (dir->parent != nullptr) {
    take(u".", *dir, true, true);
    take(u"..", *dir->parent, true, true);
  }
  for (const auto& c : dir->children) {
    if (c->hidden || m_.HiddenByPattern(c->name)) continue;
    take(c->Win32Name(), *c, c->win32Folder.value_or(c->folder), false);
  }
  if (find->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return kInvalidHandle;
  }
  data = find->entries[0];
  find->next = 1;
  find->folder = dir;
  SetLastError(ERROR_SUCCESS);
  return m_.handles.Add(std::move(find));
}

bool SimKernel32::FindNextFileW(Handle h, FindDataW& data) {
  std::lock_guard lock(m_.mutex);
  auto* find = m_.handles.Get<SimFind>(h);
  if (find == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (find->next >= find->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return false;
  }
  data = find->entries[find->next++];
  return true;
}

namespace {
platform::Kernel32::FindDataA Narrow(std::uint32_t cp, const platform::Kernel32::FindDataW& w) {
  return {w.attributes,
          w.creationTime,
          w.lastAccessTime,
          w.lastWriteTime,
          w.size,
          ToCodePage(cp, w.fileName),
          ToCodePage(cp, w.alternateFileName),
          w.reparseTag};
}
}  // namespace

Handle SimKernel32::FindFirstFileA(std::string_view mask, FindDataA& data) {
  FindDataW w;
  const Handle h = FindFirstFileW(FromCodePage(m_.system.codePage, mask), w);
  if (h != kInvalidHandle) data = Narrow(m_.system.codePage, w);
  return h;
}

bool SimKernel32::FindNextFileA(Handle h, FindDataA& data) {
  FindDataW w;
  if (!FindNextFileW(h, w)) return false;
  data = Narrow(m_.system.codePage, w);
  return true;
}

bool SimKernel32::FindClose(Handle h) {
  std::lock_guard lock(m_.mutex);
  auto* find = m_.handles.Get<SimFind>(h);
  FileNode* folder = find != nullptr ? find->folder : nullptr;
  if (find == nullptr || !m_.handles.Close(h)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (m_.afterWin32List && folder != nullptr) m_.afterWin32List(m_, *folder);
  return true;
}

bool SimKernel32::FileTimeToLocalFileTime(std::uint64_t fileTime, std::uint64_t& localTime) {
  localTime = fileTime;  // the simulated machine keeps every time as local time
  return true;
}

}  // namespace sim
