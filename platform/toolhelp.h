// The ToolHelp and PSAPI surface: process, thread, module and heap snapshots.
#pragma once

#include <span>

#include "platform/records.h"
#include "platform/types.h"

namespace platform {

class ToolHelp {
 public:
  virtual ~ToolHelp() = default;

  // --- snapshots ---
  // kInvalidHandle on failure; the snapshot is closed with Kernel32::CloseHandle. The First and
  // Next functions fail (false, ERROR_BAD_LENGTH) unless dwSize holds the record's size.
  virtual Handle CreateToolhelp32Snapshot(DWORD flags, DWORD processId) = 0;
  virtual bool Process32First(Handle snapshot, records::ProcessEntry32& entry) = 0;
  virtual bool Process32Next(Handle snapshot, records::ProcessEntry32& entry) = 0;
  virtual bool Thread32First(Handle snapshot, records::ThreadEntry32& entry) = 0;
  virtual bool Thread32Next(Handle snapshot, records::ThreadEntry32& entry) = 0;
  virtual bool Module32First(Handle snapshot, records::ModuleEntry32& entry) = 0;
  virtual bool Module32Next(Handle snapshot, records::ModuleEntry32& entry) = 0;
  virtual bool Heap32ListFirst(Handle snapshot, records::HeapList32& entry) = 0;
  virtual bool Heap32ListNext(Handle snapshot, records::HeapList32& entry) = 0;

  // --- psapi ---
  // Fills `ids` with as many process IDs as fit; `bytesReturned` is what was written.
  virtual bool EnumProcesses(std::span<DWORD> ids, DWORD& bytesReturned) = 0;
  // The file of `module` (0: the main module) of an opened process, cut to the buffer like the
  // real function; answers the characters copied, 0 on failure. Zero-terminated when it fits.
  virtual DWORD GetModuleFileNameExA(Handle process, Handle module, std::span<char> buffer) = 0;
  virtual DWORD GetModuleFileNameExW(Handle process, Handle module, std::span<char16_t> buffer) = 0;
  // GetProcessImageFileName is bound at run time; older systems lack it.
  virtual bool HasGetProcessImageFileName() = 0;
  // The main module in device form (\Device\HarddiskVolume1\...); 0 on failure.
  virtual DWORD GetProcessImageFileNameA(Handle process, std::span<char> buffer) = 0;
  virtual DWORD GetProcessImageFileNameW(Handle process, std::span<char16_t> buffer) = 0;
};

}  // namespace platform
