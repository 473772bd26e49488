// The simulated machine: file reading, writing, renaming and deleting; events.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/sim/builder.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"
#include "platform/sim/sim_platform.h"

namespace sim {

using namespace platform;

namespace {

// Copies the file's bytes from `offset` into `buffer`; the part of the size beyond the stored
// content reads as zeros. Answers the count copied.
std::size_t ReadAt(const std::string& content, std::uint64_t size, std::uint64_t offset,
                   std::span<std::byte> buffer) {
  if (offset >= size) return 0;
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - offset));
  std::fill_n(buffer.begin(), count, std::byte{0});
  if (offset < content.size())
    std::memcpy(buffer.data(), content.data() + offset, std::min<std::uint64_t>(count, content.size() - offset));
  return count;
}

std::size_t ReadAt(const FileNode& n, std::uint64_t offset, std::span<std::byte> buffer) {
  return ReadAt(n.content, n.size, offset, buffer);
}

// An event's state lives apart from its handle, so a wait that runs while another thread
// closes the handle still has it.
struct EventState {
  std::mutex mutex;
  std::condition_variable changed;
  bool manualReset = false;
  bool signalled = false;
};

struct EventObject : SimObject {
  std::shared_ptr<EventState> state = std::make_shared<EventState>();
};

void Signal(Machine& m, Handle event) {
  if (auto* e = m.handles.Get<EventObject>(event)) {
    std::lock_guard lock(e->state->mutex);
    e->state->signalled = true;
    e->state->changed.notify_all();
  }
}

}  // namespace

bool SimKernel32::ReadFile(Handle file, std::span<std::byte> buffer, DWORD& bytesRead) {
  std::lock_guard lock(m_.mutex);
  bytesRead = 0;
  if (m_.handles.Get<SimDevice>(file) != nullptr) return true;  // nothing to read, at once
  auto* f = m_.handles.Get<SimFile>(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (f->folder || !f->CanReadData()) {
    SetLastError(f->folder ? ERROR_INVALID_FUNCTION : ERROR_ACCESS_DENIED);
    return false;
  }
  const std::size_t n = f->streamData ? ReadAt(*f->content, f->size, f->filePosition, buffer)
                                      : ReadAt(*f->node, f->filePosition, buffer);
  f->filePosition += n;
  bytesRead = static_cast<DWORD>(n);
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool SimKernel32::WriteFile(Handle file, std::span<const std::byte> data, DWORD& bytesWritten) {
  std::lock_guard lock(m_.mutex);
  bytesWritten = 0;
  if (m_.handles.Get<SimDevice>(file) != nullptr) {  // the device takes everything and keeps nothing
    bytesWritten = static_cast<DWORD>(data.size());
    return true;
  }
  auto* f = m_.handles.Get<SimFile>(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (f->folder || !WritesData(f->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  FileNode& n = *f->node;
  // A handle that may only append writes at the end, wherever its position is.
  const bool appendOnly = (f->access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0;
  const std::uint64_t at = appendOnly ? n.size : f->filePosition;
  const std::uint64_t end = at + data.size();
  // The stored content grows to hold the write; a gap before it and the sized tail are zeros.
  if (n.content.size() < end) n.content.resize(static_cast<std::size_t>(std::max<std::uint64_t>(end, 0)));
  if (!data.empty()) std::memcpy(n.content.data() + at, data.data(), data.size());
  if (end > n.size) {
    n.size = end;
    n.allocationSize = (end + 4095) / 4096 * 4096;
  }
  n.times.lastWrite = n.times.change = Now(m_);
  n.attributes |= FILE_ATTRIBUTE_ARCHIVE;
  f->size = n.size;
  f->filePosition = end;
  bytesWritten = static_cast<DWORD>(data.size());
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool SimKernel32::SetFilePointerEx(Handle file, std::int64_t distance, std::int64_t* newPosition,
                                   DWORD moveMethod) {
  std::lock_guard lock(m_.mutex);
  if (m_.handles.Get<SimDevice>(file) != nullptr) {
    if (newPosition != nullptr) *newPosition = 0;
    return true;
  }
  auto* f = m_.handles.Get<SimFile>(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  std::int64_t base = 0;
  switch (moveMethod) {
    case FILE_BEGIN:
      break;
    case FILE_CURRENT:
      base = static_cast<std::int64_t>(f->filePosition);
      break;
    case FILE_END:
      base = f->folder ? 0 : static_cast<std::int64_t>(f->node->size);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
  }
  if ((distance < 0 && base + distance < 0) || (distance > 0 && base > INT64_MAX - distance)) {
    SetLastError(distance < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
    return false;
  }
  f->filePosition = static_cast<std::uint64_t>(base + distance);
  if (newPosition != nullptr) *newPosition = base + distance;
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool SimKernel32::DeleteFileA(std::string_view path) {
  return DeleteFileW(FromCodePage(m_.system.codePage, path));
}

bool SimKernel32::DeleteFileW(std::u16string_view path) {
  std::lock_guard lock(m_.mutex);
  const Win32Target t = ResolveWin32(m_, path);
  // A device is no file: there is nothing to delete, and the file of that name is not touched.
  DWORD error = t.device ? ERROR_ACCESS_DENIED : t.error;
  FileNode* n = t.node;
  if (error == 0 && (n == nullptr || n->parent == nullptr)) error = ERROR_FILE_NOT_FOUND;
  if (error == 0 && (n->folder || (n->attributes & FILE_ATTRIBUTE_READONLY) != 0))
    error = ERROR_ACCESS_DENIED;
  if (error == 0) {
    const NTSTATUS s = CheckOpen(*n, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (s != STATUS_SUCCESS)
      error = s == STATUS_SHARING_VIOLATION ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED;
  }
  if (error != 0) {
    SetLastError(error);
    return false;
  }
  // Handles that share deletion keep the file until the last of them closes.
  if (n->opens.empty())
    n->parent->RemoveChild(n);
  else
    n->deletePending = true;
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool SimKernel32::MoveFileExA(std::string_view from, std::string_view to, DWORD flags) {
  std::lock_guard lock(m_.mutex);
  const Win32Target source = ResolveWin32(m_, FromCodePage(m_.system.codePage, from));
  const Win32Target target = ResolveWin32(m_, FromCodePage(m_.system.codePage, to));
  auto fail = [&](DWORD e) {
    SetLastError(e);
    return false;
  };
  if (source.device || target.device) return fail(ERROR_ACCESS_DENIED);
  if (source.error != 0) return fail(source.error);
  FileNode* n = source.node;
  if (n == nullptr || n->parent == nullptr) return fail(ERROR_FILE_NOT_FOUND);
  if (target.error != 0) return fail(target.error);
  if (target.parent == nullptr || target.name.empty()) return fail(ERROR_ACCESS_DENIED);
  // Renaming opens the file for deletion.
  if (CheckOpen(*n, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) != STATUS_SUCCESS)
    return fail(ERROR_SHARING_VIOLATION);
  for (const FileNode* up = target.parent; up != nullptr; up = up->parent)
    if (up == n) return fail(ERROR_SHARING_VIOLATION);  // a folder into itself
  auto volumeOf = [](const FileNode* x) {
    while (x->parent != nullptr) x = x->parent;
    return x;
  };
  if (volumeOf(n) != volumeOf(target.parent) && (flags & MOVEFILE_COPY_ALLOWED) == 0)
    return fail(ERROR_NOT_SAME_DEVICE);
  FileNode* existing = target.node;
  if (existing == n) existing = nullptr;  // a new spelling of the same name
  if (existing != nullptr) {
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) return fail(ERROR_ALREADY_EXISTS);
    if (existing->folder || n->folder || !existing->opens.empty() || existing->locked ||
        (existing->attributes & FILE_ATTRIBUTE_READONLY) != 0)
      return fail(ERROR_ACCESS_DENIED);
  }
  // Take the node out of its folder and put it in under the new name: open handles follow it.
  FileNode* oldParent = n->parent;
  auto it = std::find_if(oldParent->children.begin(), oldParent->children.end(),
                         [&](const auto& c) { return c.get() == n; });
  std::unique_ptr<FileNode> moving = std::move(*it);
  oldParent->children.erase(it);
  if (existing != nullptr) target.parent->RemoveChild(existing);
  moving->name = target.name;
  moving->times.change = Now(m_);
  target.parent->AddChild(std::move(moving));
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool SimKernel32::GetFileTime(Handle file, std::uint64_t* creation, std::uint64_t* lastAccess,
                              std::uint64_t* lastWrite) {
  std::lock_guard lock(m_.mutex);
  const auto* f = m_.handles.Get<SimFile>(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const FileTimes& t = f->node->times;
  if (creation != nullptr) *creation = t.creation;
  if (lastAccess != nullptr) *lastAccess = t.lastAccess;
  if (lastWrite != nullptr) *lastWrite = t.lastWrite;
  return true;
}

bool SimKernel32::FileTimeToDosDateTime(std::uint64_t fileTime, std::uint16_t& dosDate,
                                        std::uint16_t& dosTime) {
  // DOS dates count years from 1980 in seven bits: 1980 to 2107.
  const SystemTime t = ToSystemTime(fileTime);
  if (t.year < 1980 || t.year > 2107) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  dosDate = static_cast<std::uint16_t>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
  dosTime = static_cast<std::uint16_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
  return true;
}

std::uint32_t SimKernel32::GetTempFileNameA(std::string_view path, std::string_view prefix,
                                            std::uint32_t unique, std::string& tempFileName) {
  std::lock_guard lock(m_.mutex);
  std::string folder(path);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  const std::string stem = folder + std::string(prefix.substr(0, 3));
  auto nameOf = [&](std::uint32_t number) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", number);
    return stem + hex + ".TMP";
  };
  unique &= 0xFFFF;
  if (unique != 0) {  // the caller's number: named, not made
    tempFileName = nameOf(unique);
    return unique;
  }
  const Win32Target dir = ResolveWin32(m_, FromCodePage(m_.system.codePage, folder));
  if (dir.error != 0 || dir.node == nullptr || !dir.node->folder) {
    SetLastError(ERROR_DIRECTORY);
    return 0;
  }
  // The system starts from its tick count; the simulation from 1, so runs repeat.
  for (std::uint32_t number = 1; number <= 0xFFFF; ++number) {
    const std::string name = nameOf(number);
    const Handle h = CreateFileA(name, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (h == kInvalidHandle) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return 0;
    }
    CloseHandle(h);
    tempFileName = name;
    SetLastError(ERROR_SUCCESS);
    return number;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

Handle SimKernel32::CreateEventA(bool manualReset, bool initialState) {
  auto e = std::make_unique<EventObject>();
  e->state->manualReset = manualReset;
  e->state->signalled = initialState;
  return m_.handles.Add(std::move(e));
}

bool SimKernel32::SetEvent(Handle event) {
  auto* e = m_.handles.Get<EventObject>(event);
  if (e == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  Signal(m_, event);
  return true;
}

bool SimKernel32::ResetEvent(Handle event) {
  auto* e = m_.handles.Get<EventObject>(event);
  if (e == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  std::lock_guard lock(e->state->mutex);
  e->state->signalled = false;
  return true;
}

DWORD SimKernel32::WaitForSingleObject(Handle object, DWORD milliseconds) {
  // Simulated I/O completes within its call, so a file handle is always signalled.
  if (m_.handles.Get<SimFile>(object) != nullptr || m_.handles.Get<SimDevice>(object) != nullptr)
    return WAIT_OBJECT_0;
  std::shared_ptr<EventState> state;
  if (auto* e = m_.handles.Get<EventObject>(object)) state = e->state;
  if (!state) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock lock(state->mutex);
  auto ready = [&] { return state->signalled; };
  if (milliseconds == INFINITE)
    state->changed.wait(lock, ready);
  else if (!state->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready))
    return WAIT_TIMEOUT;
  if (!state->manualReset) state->signalled = false;
  return WAIT_OBJECT_0;
}

NTSTATUS SimNtdll::NtReadFile(Handle file, Handle event, IoStatus& io, std::span<std::byte> buffer,
                              const std::int64_t* byteOffset) {
  std::lock_guard lock(m_.mutex);
  auto* f = m_.handles.Get<SimFile>(file);
  if (f == nullptr) return NotAFileStatus(m_, file);
  if (event != kNullHandle) {
    auto* e = m_.handles.Get<EventObject>(event);
    if (e == nullptr) return STATUS_INVALID_HANDLE;
    std::lock_guard eventLock(e->state->mutex);
    e->state->signalled = false;  // the request resets its event first
  }
  NTSTATUS s = STATUS_SUCCESS;
  if (!f->CanReadData())
    s = STATUS_ACCESS_DENIED;
  else if (f->folder)
    s = STATUS_INVALID_DEVICE_REQUEST;
  else if ((byteOffset == nullptr && !f->synchronous) || (byteOffset != nullptr && *byteOffset < 0))
    s = STATUS_INVALID_PARAMETER;  // only a synchronous handle has a position of its own
  // A request refused at once writes no status block and signals nothing, as on Windows.
  if (s != STATUS_SUCCESS) return s;
  const std::uint64_t at = byteOffset != nullptr ? static_cast<std::uint64_t>(*byteOffset) : f->filePosition;
  if (at >= f->node->size && !buffer.empty()) return STATUS_END_OF_FILE;
  const std::size_t n = ReadAt(*f->node, at, buffer);
  if (f->synchronous) f->filePosition = at + n;
  io.status = STATUS_SUCCESS;
  io.information = n;
  if (event != kNullHandle) Signal(m_, event);
  return STATUS_SUCCESS;
}

}  // namespace sim
