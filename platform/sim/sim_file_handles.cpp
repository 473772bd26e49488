// The simulated file handle and what the Win32 file functions do with it: open, size, map.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/sim/builder.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_platform.h"

namespace sim {

using namespace platform;

bool SimFile::CanReadData() const { return (access & (GENERIC_READ | FILE_READ_DATA)) != 0; }

std::unique_ptr<SimFile> OpenSimFile(FileNode& node, DWORD access) {
  auto f = std::make_unique<SimFile>();
  f->node = &node;
  f->folder = node.folder;
  f->access = access;
  f->hasDots = node.parent != nullptr;
  f->content = std::make_shared<const std::string>(node.content);
  f->size = node.folder ? 0 : node.size;
  f->allocationSize = node.folder ? 0 : node.allocationSize;
  f->streams = node.streams;
  f->streamsFail = node.fail.streams;
  return f;
}

platform::NTSTATUS NotAFileStatus(Machine& m, Handle h) {
  return m.handles.Get<SimObject>(h) != nullptr ? STATUS_OBJECT_TYPE_MISMATCH : STATUS_INVALID_HANDLE;
}

namespace {

// A section over a file's data, as CreateFileMapping makes it. It keeps the data it maps, so
// closing the file handle first leaves the mapping usable, as on Windows.
struct MappingObject : SimObject {
  std::shared_ptr<const std::string> content;
  std::uint64_t size = 0;
};

// Views handed out by MapViewOfFile, by address. Addresses are unique in the program, so one
// table serves every simulated machine.
std::mutex g_viewsMutex;
std::map<const std::byte*, std::unique_ptr<std::byte[]>> g_views;

}  // namespace

namespace {

DWORD Win32Error(NTSTATUS s) {
  return s == STATUS_SHARING_VIOLATION ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED;
}

// A file the create dispositions make: plain, with the machine's default descriptor.
FileNode& NewFile(Machine& m, FileNode& parent, std::u16string_view name, DWORD attributes) {
  static std::atomic<std::uint64_t> nextId{0x7F0000000000ULL};  // clear of the builder's ids
  auto n = std::make_unique<FileNode>();
  n->name = name;
  n->attributes = attributes;
  const FileTime now = Now(m);
  n->times = {now, now, now, now};
  n->sddl = kDefaultFileSddl;
  n->fileId = ++nextId;
  if (!IsShortName(name))
    n->shortName = GenerateShortName(name, [&](const std::u16string& candidate) {
      return std::any_of(parent.children.begin(), parent.children.end(),
                         [&](const auto& c) { return CompareNames(c->shortName, candidate) == 0; });
    });
  return *parent.AddChild(std::move(n));
}

}  // namespace

// "C:\dir\file:name" or "C:\dir\file:name:$DATA": the path of the file and the stream's name;
// false for a path without a stream part.
bool SplitStreamPath(std::u16string_view path, std::u16string_view& file, std::u16string& stream) {
  const std::size_t nameStart = path.find_last_of(u'\\') == std::u16string_view::npos ? 0 : path.find_last_of(u'\\') + 1;
  const std::size_t colon = path.find(u':', std::max<std::size_t>(nameStart, 2));
  if (colon == std::u16string_view::npos || colon < nameStart) return false;
  file = path.substr(0, colon);
  stream = std::u16string(path.substr(colon + 1));
  if (stream.size() >= 6 && Upcase(stream.substr(stream.size() - 6)) == u":$DATA") stream.resize(stream.size() - 6);
  return true;
}

// Opening a named stream for reading, as backup and analysis tools do: its data stands for the file's.
Handle OpenStreamForReading(Machine& m, SimKernel32& k32, std::u16string_view filePath, const std::u16string& name,
                            DWORD access, DWORD share) {
  const Win32Target t = ResolveWin32(m, filePath);
  FileNode* n = t.error == 0 ? t.node : nullptr;
  const Stream* stream = nullptr;
  if (n != nullptr)
    for (const auto& s : n->streams)
      if (CompareNames(s.name, name) == 0) stream = &s;
  if (stream == nullptr || name.empty()) {
    k32.SetLastError(t.error != 0 ? t.error : ERROR_FILE_NOT_FOUND);
    return kInvalidHandle;
  }
  if ((ReadsData(access) && (n->fail.read || n->fail.streams)) || WritesData(access)) {
    k32.SetLastError(ERROR_ACCESS_DENIED);
    return kInvalidHandle;
  }
  auto f = OpenSimFile(*n, access);
  f->folder = false;
  f->content = std::make_shared<const std::string>(stream->content);
  f->size = stream->size;
  f->allocationSize = (stream->size + 4095) / 4096 * 4096;
  f->streams.clear();
  f->streamData = true;
  k32.SetLastError(ERROR_SUCCESS);
  return AddOpen(m, std::move(f), share, false);
}

Handle SimKernel32::CreateFileW(std::u16string_view path, DWORD access, DWORD share, DWORD disposition,
                                DWORD flagsAndAttributes) {
  std::lock_guard lock(m_.mutex);
  std::u16string_view streamFile;
  std::u16string streamName;
  if (disposition == OPEN_EXISTING && SplitStreamPath(path, streamFile, streamName))
    return OpenStreamForReading(m_, *this, streamFile, streamName, access, share);
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return kInvalidHandle;
  }
  const bool deleteOnClose = (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  if (deleteOnClose) access |= DELETE;  // as kernel32 asks for it
  const Win32Target t = ResolveWin32(m_, path);
  if (t.device) {
    SetLastError(ERROR_SUCCESS);
    return m_.handles.Add(std::make_unique<SimDevice>());
  }
  if (t.error != 0) {
    SetLastError(t.error);
    return kInvalidHandle;
  }
  FileNode* n = t.node;
  const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  // The attribute bits a new or replaced file takes: those given, always with the archive bit.
  const DWORD attributes =
      ((flagsAndAttributes & 0xFFFF) & ~(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY)) |
      FILE_ATTRIBUTE_ARCHIVE;
  DWORD error = ERROR_SUCCESS;
  if (n != nullptr) {
    if (disposition == CREATE_NEW) {
      SetLastError(ERROR_FILE_EXISTS);
      return kInvalidHandle;
    }
    // Folders open only for backup semantics and are never truncated; an unreadable file
    // refuses read access; a read-only file refuses writing.
    const bool refused =
        (n->folder && ((flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0 || truncates)) ||
        (ReadsData(access) && n->fail.read) ||
        ((n->attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
         (WritesData(access) || DeletesFile(access) || truncates)) ||
        (truncates && !WritesData(access));
    if (refused) {
      SetLastError(ERROR_ACCESS_DENIED);
      return kInvalidHandle;
    }
    if (const NTSTATUS s = CheckOpen(*n, access, share); s != STATUS_SUCCESS) {
      SetLastError(Win32Error(s));
      return kInvalidHandle;
    }
    if (truncates) {
      n->content.clear();
      n->size = n->allocationSize = 0;
      n->times.lastWrite = n->times.change = Now(m_);
      if (disposition == CREATE_ALWAYS) n->attributes = attributes;
    }
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) error = ERROR_ALREADY_EXISTS;
  } else {
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return kInvalidHandle;
    }
    if (t.parent == nullptr || t.name.empty()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return kInvalidHandle;
    }
    n = &NewFile(m_, *t.parent, t.name, attributes);
  }
  SetLastError(error);
  return AddOpen(m_, OpenSimFile(*n, access), share, deleteOnClose);
}

Handle SimKernel32::CreateFileA(std::string_view path, DWORD access, DWORD share, DWORD disposition,
                                DWORD flagsAndAttributes) {
  return CreateFileW(FromCodePage(m_.system.codePage, path), access, share, disposition, flagsAndAttributes);
}

DWORD SimKernel32::GetFileSize(Handle file, DWORD* high) {
  std::lock_guard lock(m_.mutex);
  const auto* f = m_.handles.Get<SimFile>(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  // The file's present size: a write through any handle shows at once, as on Windows.
  const std::uint64_t size = f->folder ? 0 : f->node->size;
  if (high != nullptr) *high = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

Handle SimKernel32::CreateFileMappingA(Handle file, DWORD, DWORD maximumSizeHigh, DWORD maximumSizeLow) {
  const auto* f = m_.handles.Get<SimFile>(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return kNullHandle;
  }
  // A folder has no data to map. Its error is the one Wine answers (ERROR_INVALID_HANDLE); Windows
  // refuses too. A read-only mapping needs a handle that may read.
  if (f->folder || !f->CanReadData()) {
    SetLastError(f->folder ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
    return kNullHandle;
  }
  const std::uint64_t wanted = (std::uint64_t{maximumSizeHigh} << 32) | maximumSizeLow;
  const std::uint64_t size = wanted == 0 ? f->size : wanted;
  if (size == 0 || size > f->size) {
    SetLastError(size == 0 ? ERROR_FILE_INVALID : ERROR_ACCESS_DENIED);
    return kNullHandle;
  }
  auto obj = std::make_unique<MappingObject>();
  obj->content = f->content;
  obj->size = size;
  return m_.handles.Add(std::move(obj));
}

const std::byte* SimKernel32::MapViewOfFile(Handle mapping, DWORD, DWORD offsetHigh, DWORD offsetLow,
                                            std::size_t bytes) {
  const auto* map = m_.handles.Get<MappingObject>(mapping);
  const std::uint64_t offset = (std::uint64_t{offsetHigh} << 32) | offsetLow;
  if (map == nullptr || offset % 65536 != 0 || offset >= map->size) {
    SetLastError(map == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (bytes == 0) bytes = static_cast<std::size_t>(map->size - offset);
  if (bytes > map->size - offset) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // The bytes beyond the stored content read as zeros, like the unwritten part of a sparse file.
  auto view = std::make_unique<std::byte[]>(bytes);  // zero-filled
  const std::string& c = *map->content;
  if (offset < c.size())
    std::memcpy(view.get(), c.data() + offset, std::min<std::uint64_t>(bytes, c.size() - offset));
  const std::byte* address = view.get();
  std::lock_guard lock(g_viewsMutex);
  g_views.emplace(address, std::move(view));
  return address;
}

bool SimKernel32::UnmapViewOfFile(const std::byte* view) {
  std::lock_guard lock(g_viewsMutex);
  if (g_views.erase(view) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

}  // namespace sim
