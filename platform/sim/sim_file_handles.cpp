// The simulated file handle and what the Win32 file functions do with it: open, size, map.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

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

Handle SimKernel32::CreateFileW(std::u16string_view path, DWORD access, DWORD, DWORD disposition,
                                DWORD flagsAndAttributes) {
  std::lock_guard lock(m_.mutex);
  if (disposition != OPEN_EXISTING) {  // the scanners only ever open what is there
    SetLastError(ERROR_INVALID_PARAMETER);
    return kInvalidHandle;
  }
  FileNode* n = m_.FindFile(path);
  if (n == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return kInvalidHandle;
  }
  // Folders open only for backup semantics; an unreadable file refuses read access.
  if ((n->folder && (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0) ||
      ((access & GENERIC_READ) != 0 && n->fail.read)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return kInvalidHandle;
  }
  SetLastError(ERROR_SUCCESS);
  return m_.handles.Add(OpenSimFile(*n, access));
}

Handle SimKernel32::CreateFileA(std::string_view path, DWORD access, DWORD share, DWORD disposition,
                                DWORD flagsAndAttributes) {
  return CreateFileW(FromCodePage(m_.system.codePage, path), access, share, disposition, flagsAndAttributes);
}

DWORD SimKernel32::GetFileSize(Handle file, DWORD* high) {
  const auto* f = m_.handles.Get<SimFile>(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  if (high != nullptr) *high = static_cast<DWORD>(f->size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(f->size);
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
