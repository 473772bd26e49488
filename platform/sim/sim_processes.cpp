// The simulated processes: ToolHelp snapshots, PSAPI, process handles, the handle table and file attributes.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/record_io.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/sim_process_handle.h"

namespace sim {
namespace {

namespace rec = platform::records;
using platform::DWORD;
using platform::Handle;
using platform::NTSTATUS;

// The pseudo handle GetCurrentProcess answers, as on Windows.
constexpr Handle kCurrentProcess = platform::kInvalidHandle;

struct ProcessObject : SimObject {
  std::uint32_t pid = 0;
  DWORD access = 0;  // what OpenProcess was asked for
};

// A handle of another process duplicated into the scanning one.
struct DuplicateObject : SimObject {
  std::uint32_t ownerPid = 0;
  HandleEntry entry;
};

struct SnapshotObject : SimObject {
  std::vector<rec::ProcessEntry32> processes;
  std::vector<rec::ThreadEntry32> threads;
  std::vector<rec::ModuleEntry32> modules;
  std::vector<rec::HeapList32> heaps;
  std::size_t nextProcess = 0, nextThread = 0, nextModule = 0, nextHeap = 0;
};

// The calling thread's last error lives with the simulated kernel32.
void SetError(Machine& m, DWORD error) { SimKernel32(m).SetLastError(error); }

Process* FindProcess(Machine& m, std::uint32_t pid) {
  for (auto& p : m.processes)
    if (p.pid == pid) return &p;
  return nullptr;
}

// What the rootkit leaves of the process list: EnumProcesses and the process snapshot.
bool VisibleToWin32(const Machine& m, const Process& p) { return !p.hidden && !m.HiddenByPattern(p.exeFile); }

template <std::size_t N>
void CopyName(char (&out)[N], const std::string& text) {
  std::memset(out, 0, N);
  std::memcpy(out, text.data(), std::min(text.size(), N - 1));
}

// The device form of a Win32 path: "C:\x" -> "\Device\HarddiskVolume1\x".
std::u16string DevicePath(Machine& m, const std::u16string& path) {
  if (path.size() < 2 || path[1] != u':') return path;
  const Volume* v = m.FindVolume(path[0]);
  return v == nullptr ? path : v->device + path.substr(2);
}

// Copies `text` into a caller's buffer the way the PSAPI name functions do: cut to the buffer,
// zero-terminated when there is room, answering the characters copied.
template <typename Char, typename Str>
DWORD CopyOut(const Str& text, std::span<Char> buffer) {
  if (buffer.empty()) return 0;
  const std::size_t n = std::min(text.size(), buffer.size());
  std::copy_n(text.begin(), n, buffer.begin());
  if (n < buffer.size()) buffer[n] = Char{};
  return static_cast<DWORD>(n);
}

}  // namespace

// --- kernel32 ---

Handle SimKernel32::OpenProcess(DWORD access, bool, DWORD processId) {
  std::lock_guard lock(m_.mutex);
  const Process* p = FindProcess(m_, processId);
  if (p == nullptr) {
    SetLastError(platform::ERROR_INVALID_PARAMETER);
    return platform::kNullHandle;
  }
  if (!p->openable) {
    SetLastError(platform::ERROR_ACCESS_DENIED);
    return platform::kNullHandle;
  }
  auto obj = std::make_unique<ProcessObject>();
  obj->pid = processId;
  obj->access = access;
  return m_.handles.Add(std::move(obj));
}

bool SimKernel32::CloseHandle(Handle handle) {
  if (handle == kCurrentProcess) return true;
  if (!CloseSimHandle(m_, handle)) {
    SetLastError(platform::ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

Handle SimKernel32::GetCurrentProcess() { return kCurrentProcess; }

bool SimKernel32::DuplicateHandle(Handle sourceProcess, Handle source, Handle targetProcess, Handle& target,
                                  DWORD, bool, DWORD) {
  std::lock_guard lock(m_.mutex);
  const auto* owner = m_.handles.Get<ProcessObject>(sourceProcess);
  // Only copies into the scanning process are simulated; that is all the scanners make.
  if (owner == nullptr || targetProcess != kCurrentProcess) {
    SetLastError(platform::ERROR_INVALID_HANDLE);
    return false;
  }
  const Process* p = FindProcess(m_, owner->pid);
  const HandleEntry* entry = nullptr;
  if (p != nullptr)
    for (const auto& h : p->handles)
      if (h.value == source) entry = &h;
  if (entry == nullptr) {
    SetLastError(platform::ERROR_INVALID_HANDLE);
    return false;
  }
  auto obj = std::make_unique<DuplicateObject>();
  obj->ownerPid = owner->pid;
  obj->entry = *entry;
  target = m_.handles.Add(std::move(obj));
  return true;
}

bool SimKernel32::IsWow64Process(Handle process, bool& wow64) {
  if (process != kCurrentProcess && m_.handles.Get<ProcessObject>(process) == nullptr) {
    SetLastError(platform::ERROR_INVALID_HANDLE);
    return false;
  }
  wow64 = process == kCurrentProcess && m_.system.wow64;
  return true;
}

// Nobody listens to the debugger output of a simulated machine.
void SimKernel32::OutputDebugStringA(std::string_view) {}

DWORD SimKernel32::GetFileAttributesA(std::string_view path) {
  std::lock_guard lock(m_.mutex);
  const FileNode* n = m_.FindFile(FromCodePage(m_.system.codePage, path));
  if (n == nullptr) {
    SetLastError(platform::ERROR_FILE_NOT_FOUND);
    return platform::INVALID_FILE_ATTRIBUTES;
  }
  return n->attributes | (n->folder ? platform::FILE_ATTRIBUTE_DIRECTORY : 0);
}

// --- ToolHelp ---

Handle SimToolHelp::CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
  std::lock_guard lock(m_.mutex);
  const std::uint32_t cp = m_.system.codePage;
  if (flags & platform::TH32CS_SNAPTHREAD) {
    auto& f = m_.fail;
    if (f.threadSnapshotsAfter && ++f.threadSnapshots > *f.threadSnapshotsAfter) {
      SetError(m_, platform::ERROR_NOT_ENOUGH_MEMORY);
      return platform::kInvalidHandle;
    }
  }
  auto snap = std::make_unique<SnapshotObject>();
  if (flags & platform::TH32CS_SNAPPROCESS) {
    for (const auto& p : m_.processes) {
      if (!VisibleToWin32(m_, p)) continue;
      rec::ProcessEntry32 e{};
      e.dwSize = sizeof e;
      e.th32ProcessID = p.pid;
      e.cntThreads = static_cast<std::uint32_t>(p.threads.size());
      e.th32ParentProcessID = p.parentPid;
      e.pcPriClassBase = 8;
      CopyName(e.szExeFile, ToCodePage(cp, p.exeFile));
      snap->processes.push_back(e);
    }
  }
  // The thread snapshot always covers the whole system, whatever process is named.
  if (flags & platform::TH32CS_SNAPTHREAD) {
    for (const auto& p : m_.processes)
      for (const auto& t : p.threads) {
        rec::ThreadEntry32 e{};
        e.dwSize = sizeof e;
        e.cntUsage = t.usage;
        e.th32ThreadID = t.tid;
        e.th32OwnerProcessID = p.pid;
        e.tpBasePri = t.basePriority;
        e.tpDeltaPri = t.deltaPriority;
        e.dwFlags = t.flags;
        snap->threads.push_back(e);
      }
  }
  if (flags & (platform::TH32CS_SNAPMODULE | platform::TH32CS_SNAPHEAPLIST)) {
    // Process 0 names the caller: the process GetCurrentProcessId names, when the machine holds
    // it (otherwise there is nothing to list).
    const Process* p =
        processId == 0 ? FindProcess(m_, SimKernel32(m_).GetCurrentProcessId()) : FindProcess(m_, processId);
    if (processId != 0 && (p == nullptr || !p->openable)) {
      SetError(m_, p == nullptr ? platform::ERROR_INVALID_PARAMETER : platform::ERROR_ACCESS_DENIED);
      return platform::kInvalidHandle;
    }
    if (p != nullptr && (flags & platform::TH32CS_SNAPMODULE))
      for (const auto& mod : p->modules) {
        rec::ModuleEntry32 e{};
        e.dwSize = sizeof e;
        e.th32ModuleID = mod.id;
        e.th32ProcessID = p->pid;
        e.GlblcntUsage = mod.globalUsage;
        e.ProccntUsage = mod.processUsage;
        e.modBaseAddr = static_cast<std::uintptr_t>(mod.base);
        e.modBaseSize = mod.size;
        e.hModule = static_cast<std::uintptr_t>(mod.base);
        CopyName(e.szModule, ToCodePage(cp, mod.name));
        CopyName(e.szExePath, ToCodePage(cp, mod.path));
        snap->modules.push_back(e);
      }
    if (p != nullptr && (flags & platform::TH32CS_SNAPHEAPLIST))
      for (const auto& h : p->heaps) {
        rec::HeapList32 e{};
        e.dwSize = sizeof e;
        e.th32ProcessID = p->pid;
        e.th32HeapID = static_cast<std::uintptr_t>(h.id);
        e.dwFlags = h.flags;
        snap->heaps.push_back(e);
      }
  }
  return m_.handles.Add(std::move(snap));
}

namespace {
// First/Next over one list of a snapshot: checks the record size, copies the next record.
template <typename Rec>
bool NextRecord(Machine& m, Handle snapshot, Rec& entry, std::vector<Rec> SnapshotObject::*list,
                std::size_t SnapshotObject::*cursor, bool first) {
  auto* snap = m.handles.Get<SnapshotObject>(snapshot);
  if (snap == nullptr) {
    SetError(m, platform::ERROR_INVALID_HANDLE);
    return false;
  }
  if (entry.dwSize != sizeof(Rec)) {
    SetError(m, platform::ERROR_BAD_LENGTH);
    return false;
  }
  if (first) snap->*cursor = 0;
  const auto& items = snap->*list;
  if (snap->*cursor >= items.size()) {
    SetError(m, platform::ERROR_NO_MORE_FILES);
    return false;
  }
  entry = items[(snap->*cursor)++];
  return true;
}
}  // namespace

bool SimToolHelp::Process32First(Handle s, rec::ProcessEntry32& e) {
  return NextRecord(m_, s, e, &SnapshotObject::processes, &SnapshotObject::nextProcess, true);
}
bool SimToolHelp::Process32Next(Handle s, rec::ProcessEntry32& e) {
  return NextRecord(m_, s, e, &SnapshotObject::processes, &SnapshotObject::nextProcess, false);
}
bool SimToolHelp::Thread32First(Handle s, rec::ThreadEntry32& e) {
  return NextRecord(m_, s, e, &SnapshotObject::threads, &SnapshotObject::nextThread, true);
}
bool SimToolHelp::Thread32Next(Handle s, rec::ThreadEntry32& e) {
  return NextRecord(m_, s, e, &SnapshotObject::threads, &SnapshotObject::nextThread, false);
}
bool SimToolHelp::Module32First(Handle s, rec::ModuleEntry32& e) {
  return NextRecord(m_, s, e, &SnapshotObject::modules, &SnapshotObject::nextModule, true);
}
bool SimToolHelp::Module32Next(Handle s, rec::ModuleEntry32& e) {
  return NextRecord(m_, s, e, &SnapshotObject::modules, &SnapshotObject::nextModule, false);
}
bool SimToolHelp::Heap32ListFirst(Handle s, rec::HeapList32& e) {
  return NextRecord(m_, s, e, &SnapshotObject::heaps, &SnapshotObject::nextHeap, true);
}
bool SimToolHelp::Heap32ListNext(Handle s, rec::HeapList32& e) {
  return NextRecord(m_, s, e, &SnapshotObject::heaps, &SnapshotObject::nextHeap, false);
}

// --- PSAPI ---

bool SimToolHelp::EnumProcesses(std::span<DWORD> ids, DWORD& bytesReturned) {
  std::lock_guard lock(m_.mutex);
  std::size_t n = 0;
  for (const auto& p : m_.processes)
    if (VisibleToWin32(m_, p) && n < ids.size()) ids[n++] = p.pid;
  bytesReturned = static_cast<DWORD>(n * sizeof(DWORD));
  return true;
}

namespace {
// The process behind an opened process handle, or nullptr (error set).
Process* OpenedProcess(Machine& m, Handle process) {
  const auto* obj = m.handles.Get<ProcessObject>(process);
  Process* p = obj == nullptr ? nullptr : FindProcess(m, obj->pid);
  if (p == nullptr) SetError(m, platform::ERROR_INVALID_HANDLE);
  return p;
}

// The Win32 path of a module of `p` (0: the main module); empty when there is none.
std::u16string ModulePath(const Process& p, Handle module) {
  if (module == 0) return p.imagePath;
  for (const auto& mod : p.modules)
    if (mod.base == module) return mod.path;
  return {};
}
}  // namespace

DWORD SimToolHelp::GetModuleFileNameExA(Handle process, Handle module, std::span<char> buffer) {
  std::lock_guard lock(m_.mutex);
  const Process* p = OpenedProcess(m_, process);
  if (p == nullptr) return 0;
  const std::u16string path = ModulePath(*p, module);
  if (path.empty()) {
    SetError(m_, platform::ERROR_PARTIAL_COPY);  // what system processes answer
    return 0;
  }
  return CopyOut(ToCodePage(m_.system.codePage, path), buffer);
}

DWORD SimToolHelp::GetModuleFileNameExW(Handle process, Handle module, std::span<char16_t> buffer) {
  std::lock_guard lock(m_.mutex);
  const Process* p = OpenedProcess(m_, process);
  if (p == nullptr) return 0;
  const std::u16string path = ModulePath(*p, module);
  if (path.empty()) {
    SetError(m_, platform::ERROR_PARTIAL_COPY);
    return 0;
  }
  return CopyOut(path, buffer);
}

bool SimToolHelp::HasGetProcessImageFileName() { return true; }

DWORD SimToolHelp::GetProcessImageFileNameA(Handle process, std::span<char> buffer) {
  std::lock_guard lock(m_.mutex);
  const Process* p = OpenedProcess(m_, process);
  if (p == nullptr) return 0;
  if (p->imagePath.empty()) {
    SetError(m_, platform::ERROR_PARTIAL_COPY);
    return 0;
  }
  return CopyOut(ToCodePage(m_.system.codePage, DevicePath(m_, p->imagePath)), buffer);
}

DWORD SimToolHelp::GetProcessImageFileNameW(Handle process, std::span<char16_t> buffer) {
  std::lock_guard lock(m_.mutex);
  const Process* p = OpenedProcess(m_, process);
  if (p == nullptr) return 0;
  if (p->imagePath.empty()) {
    SetError(m_, platform::ERROR_PARTIAL_COPY);
    return 0;
  }
  return CopyOut(DevicePath(m_, p->imagePath), buffer);
}

// --- ntdll ---

NTSTATUS SimNtdll::NtQuerySystemInformation(DWORD infoClass, std::span<std::byte> buffer,
                                            DWORD& returnLength) {
  std::lock_guard lock(m_.mutex);
  const bool extended = infoClass == platform::SystemExtendedHandleInformation;
  if (infoClass != platform::SystemHandleInformation && !extended) return platform::STATUS_INVALID_INFO_CLASS;
  if (auto& f = m_.fail; f.handleTablesAfter && ++f.handleTables > *f.handleTablesAfter)
    return platform::STATUS_ACCESS_DENIED;
  std::size_t count = 0;
  for (const auto& p : m_.processes) count += p.handles.size();
  const std::size_t head = extended ? rec::kHandleTableExEntriesOffset : rec::kHandleTableEntriesOffset;
  const std::size_t size =
      extended ? sizeof(rec::SystemHandleTableEntryInfoEx) : sizeof(rec::SystemHandleTableEntryInfo);
  const std::size_t needed = head + count * size;
  returnLength = static_cast<DWORD>(needed);
  if (buffer.size() < needed) return platform::STATUS_INFO_LENGTH_MISMATCH;
  rec::RecordWriter out(buffer);
  if (extended) {
    auto table = rec::Zeroed<rec::SystemHandleInformationEx>();
    table.NumberOfHandles = count;
    out.PutHead(0, table);
  } else {
    auto table = rec::Zeroed<rec::SystemHandleInformation>();
    table.NumberOfHandles = static_cast<std::uint32_t>(count);
    out.PutHead(0, table);
  }
  std::size_t offset = head;
  // Every process with its handles, hidden ones included: the rootkit cannot filter this table.
  for (const auto& p : m_.processes)
    for (const auto& h : p.handles) {
      if (extended) {
        auto e = rec::Zeroed<rec::SystemHandleTableEntryInfoEx>();
        e.Object = static_cast<std::uintptr_t>(h.object);
        e.UniqueProcessId = p.pid;
        e.HandleValue = h.value;
        e.GrantedAccess = h.access;
        e.ObjectTypeIndex = static_cast<std::uint16_t>(h.typeNumber);
        out.Put(offset, e);
      } else {
        auto e = rec::Zeroed<rec::SystemHandleTableEntryInfo>();
        e.UniqueProcessId = static_cast<std::uint16_t>(p.pid);
        e.ObjectTypeIndex = static_cast<std::uint8_t>(h.typeNumber);
        e.HandleValue = static_cast<std::uint16_t>(h.value);
        e.Object = static_cast<std::uintptr_t>(h.object);
        e.GrantedAccess = h.access;
        out.Put(offset, e);
      }
      offset += size;
    }
  return platform::STATUS_SUCCESS;
}

NTSTATUS SimNtdll::NtQueryObject(Handle handle, DWORD infoClass, std::span<std::byte> buffer,
                                 DWORD& returnLength) {
  if (infoClass != platform::ObjectNameInformation) return platform::STATUS_INVALID_INFO_CLASS;
  const auto dup = m_.handles.Copy<DuplicateObject>(handle);
  if (!dup && m_.handles.Get<SimObject>(handle) == nullptr) return platform::STATUS_INVALID_HANDLE;
  // A handle whose file-name query blocks answers no object name, so callers fall back to it.
  std::u16string name;
  if (dup && !dup->entry.blocks && !dup->entry.fileNameOnly) name = dup->entry.name;
  const std::size_t head = sizeof(rec::UnicodeStringHeader);
  const std::size_t needed = head + (name.empty() ? 0 : (name.size() + 1) * 2);
  returnLength = static_cast<DWORD>(needed);
  if (buffer.size() < needed) return platform::STATUS_INFO_LENGTH_MISMATCH;
  auto h = rec::Zeroed<rec::UnicodeStringHeader>();
  h.Length = static_cast<std::uint16_t>(name.size() * 2);
  h.MaximumLength = static_cast<std::uint16_t>(name.empty() ? 0 : h.Length + 2);
  h.Buffer = name.empty() ? 0 : reinterpret_cast<std::uintptr_t>(buffer.data() + head);
  rec::RecordWriter out(buffer);
  out.PutHead(0, h);
  if (!name.empty()) out.Clear(head + out.PutText(head, name), sizeof(char16_t));  // the terminator
  return platform::STATUS_SUCCESS;
}

namespace {
// Never opened: a blocking query waits on it for ever, holding nothing of the machine.
struct Gate {
  std::mutex mutex;
  std::condition_variable cv;
};
}  // namespace

NTSTATUS SimNtdll::NtQueryInformationFile(Handle file, platform::IoStatus& io, std::span<std::byte> buffer,
                                          DWORD infoClass) {
  // --- files: streams ---
  if (infoClass == rec::FileStreamInformation) return QueryStreamInformation(file, io, buffer);
  // --- files: times and sizes ---
  if (infoClass == rec::FileBasicInformation || infoClass == rec::FileStandardInformation)
    return QueryFileFacts(m_, file, io, buffer, infoClass);
  const auto dup = m_.handles.Copy<DuplicateObject>(file);
  if (!dup) return platform::STATUS_INVALID_HANDLE;
  if (infoClass != platform::FileNameInformation) return platform::STATUS_INVALID_INFO_CLASS;
  if (dup->entry.blocks) {
    // Like a synchronous read on a pipe nobody writes to. The gate is never freed, so a
    // thread left waiting here cannot touch freed memory when the program ends.
    static Gate* gate = new Gate;
    std::unique_lock lock(gate->mutex);
    gate->cv.wait(lock, [] { return false; });
  }
  const std::u16string name = dup->entry.name;
  const std::size_t head = rec::kHeadBytes<rec::FILE_NAME_INFORMATION>;
  if (buffer.size() < head) return platform::STATUS_INFO_LENGTH_MISMATCH;
  const std::size_t room = (buffer.size() - head) / 2;
  const std::size_t n = std::min(room, name.size());
  auto info = rec::Zeroed<rec::FILE_NAME_INFORMATION>();
  info.FileNameLength = static_cast<std::uint32_t>(name.size() * 2);
  rec::RecordWriter out(buffer);
  out.PutHead(0, info);
  out.PutText(head, std::u16string_view(name).substr(0, n));
  io.status = n < name.size() ? platform::STATUS_BUFFER_OVERFLOW : platform::STATUS_SUCCESS;
  io.information = head + n * 2;
  return io.status;
}

// --- process handles for the other process functions ---

Process* ProcessOfHandle(Machine& m, Handle process, DWORD access, ProcessHandleError& error) {
  const auto* obj = m.handles.Get<ProcessObject>(process);
  if (obj == nullptr) {
    error = m.handles.Get<SimObject>(process) == nullptr ? ProcessHandleError::kInvalid
                                                         : ProcessHandleError::kWrongType;
    return nullptr;
  }
  // The limited query right is part of the full one, as on Windows.
  const DWORD granted =
      obj->access |
      ((obj->access & platform::PROCESS_QUERY_INFORMATION) ? platform::PROCESS_QUERY_LIMITED_INFORMATION : 0);
  Process* p = FindProcess(m, obj->pid);
  if (p == nullptr) {
    error = ProcessHandleError::kGone;
    return nullptr;
  }
  if ((granted & access) != access) {
    error = ProcessHandleError::kAccessDenied;
    return nullptr;
  }
  return p;
}

}  // namespace sim
