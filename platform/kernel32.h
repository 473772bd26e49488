// The kernel32 surface the scanners call: versions, code pages, comparison, drives, system folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

// Each function keeps the real function's meaning; buffers become return values where the
// caller only ever wanted the text. Functions that fail set the calling thread's last error.
class Kernel32 {
 public:
  virtual ~Kernel32() = default;

  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;
  // The system's text for an error code (FormatMessageA from the system's table, no inserts),
  // as the system gives it: a sentence usually ending with CR LF. "" with ERROR_MR_MID_NOT_FOUND
  // when the system has no text for the code.
  virtual std::string FormatMessageA(DWORD messageId) = 0;

  // --- system facts ---
  virtual bool GetVersionExA(OsVersionInfo& info) = 0;
  virtual std::string GetComputerNameA() = 0;
  virtual std::string GetWindowsDirectoryA() = 0;
  virtual std::string GetSystemDirectoryA() = 0;
  virtual std::string GetTempPathA() = 0;  // ends with a backslash
  virtual std::string GetModuleFileNameA() = 0;  // the program's own file
  virtual std::vector<std::string> CommandLineArguments() = 0;  // argv as the program got it
  virtual void GetLocalTime(SystemTime& time) = 0;
  virtual DWORD GetCurrentProcessId() = 0;

  // --- code pages and comparison ---
  virtual std::uint32_t GetACP() = 0;
  // Counted conversions: zero characters are converted like any other character. Characters
  // the code page cannot hold become its default character ('?').
  virtual std::string WideCharToMultiByte(std::uint32_t codePage, std::u16string_view text) = 0;
  virtual std::u16string MultiByteToWideChar(std::uint32_t codePage, std::string_view text) = 0;
  // CSTR_LESS_THAN / CSTR_EQUAL / CSTR_GREATER_THAN, 0 on failure.
  virtual int CompareStringW(std::uint32_t locale, std::uint32_t flags, std::u16string_view a,
                             std::u16string_view b) = 0;
  virtual int CompareStringA(std::uint32_t locale, std::uint32_t flags, std::string_view a,
                             std::string_view b) = 0;
  // LCMapStringW with LCMAP_UPPERCASE (the only mapping the scanners use).
  virtual std::u16string LCMapStringW(std::uint32_t locale, std::uint32_t flags,
                                      std::u16string_view text) = 0;

  // --- drives and volumes ---
  virtual DWORD GetLogicalDrives() = 0;
  virtual unsigned GetDriveTypeW(std::u16string_view rootPath) = 0;
  struct VolumeInformation {
    std::u16string label;
    DWORD serialNumber = 0;
    DWORD maximumComponentLength = 0;
    DWORD fileSystemFlags = 0;
    std::u16string fileSystemName;
  };
  virtual bool GetVolumeInformationW(std::u16string_view rootPath, VolumeInformation& info) = 0;
  // The first target of a DOS device name ("C:"), e.g. \Device\HarddiskVolume1.
  virtual std::optional<std::u16string> QueryDosDeviceW(std::u16string_view deviceName) = 0;

  // --- files (Win32 view) ---
  // FILETIME values as 64-bit counts of 100 ns since 1601.
  virtual bool FileTimeToLocalFileTime(std::uint64_t fileTime, std::uint64_t& localTime) = 0;

  // WIN32_FIND_DATA. `fileName` holds the whole name the system wrote, zero characters
  // included; a caller that reads it as a zero-terminated text stops at the first zero.
  template <typename Text>
  struct FindData {
    DWORD attributes = 0;
    std::uint64_t creationTime = 0, lastAccessTime = 0, lastWriteTime = 0;
    std::uint64_t size = 0;
    Text fileName;
    Text alternateFileName;
    // dwReserved0: the reparse tag when `attributes` has FILE_ATTRIBUTE_REPARSE_POINT (0x400),
    // else 0.
    DWORD reparseTag = 0;
  };
  using FindDataW = FindData<std::u16string>;
  using FindDataA = FindData<std::string>;
  // kInvalidHandle on failure (last error ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ...).
  virtual Handle FindFirstFileW(std::u16string_view mask, FindDataW& data) = 0;
  virtual bool FindNextFileW(Handle find, FindDataW& data) = 0;  // false + ERROR_NO_MORE_FILES at the end
  virtual Handle FindFirstFileA(std::string_view mask, FindDataA& data) = 0;
  virtual bool FindNextFileA(Handle find, FindDataA& data) = 0;
  virtual bool FindClose(Handle find) = 0;
  virtual DWORD GetFileAttributesA(std::string_view path) = 0;  // INVALID_FILE_ATTRIBUTES on failure

  // --- files: handles ---
  // CreateFileA/W, without security attributes or template, and NtOpenFile hand out the same
  // kind of file handle: every function here, the backup reads and the native file queries take
  // any of them. Folders open only with FILE_FLAG_BACKUP_SEMANTICS. kInvalidHandle on failure.
  virtual Handle CreateFileW(std::u16string_view path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flagsAndAttributes) = 0;
  virtual Handle CreateFileA(std::string_view path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flagsAndAttributes) = 0;
  // Low part of the size (0 for a folder); the high part in `high` when given.
  // INVALID_FILE_SIZE with an error set on failure.
  virtual DWORD GetFileSize(Handle file, DWORD* high) = 0;
  // A read-only mapping of the file (of a handle opened for reading); 0 on failure: an empty
  // file or a folder cannot be mapped.
  virtual Handle CreateFileMappingA(Handle file, DWORD protect, DWORD maximumSizeHigh,
                                    DWORD maximumSizeLow) = 0;
  // A view of `bytes` bytes from the offset (a multiple of 64 KiB); nullptr on failure.
  virtual const std::byte* MapViewOfFile(Handle mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                                         std::size_t bytes) = 0;
  virtual bool UnmapViewOfFile(const std::byte* view) = 0;

  // --- files: reading, writing, naming ---
  // CreateFileA/W above also create: CREATE_NEW (fails with ERROR_FILE_EXISTS), CREATE_ALWAYS
  // (truncates), OPEN_ALWAYS, TRUNCATE_EXISTING; the parent folder must exist.
  // Synchronous reads and writes at the handle's position, which they advance. A read at the
  // end succeeds with 0 bytes. A write needs GENERIC_WRITE access (ERROR_ACCESS_DENIED).
  virtual bool ReadFile(Handle file, std::span<std::byte> buffer, DWORD& bytesRead) = 0;
  virtual bool WriteFile(Handle file, std::span<const std::byte> data, DWORD& bytesWritten) = 0;
  // FILE_BEGIN / FILE_CURRENT / FILE_END; the new position in `newPosition` when given. A
  // position before the start fails with ERROR_NEGATIVE_SEEK; one past the end is allowed.
  virtual bool SetFilePointerEx(Handle file, std::int64_t distance, std::int64_t* newPosition,
                                DWORD moveMethod) = 0;
  virtual bool DeleteFileA(std::string_view path) = 0;
  virtual bool DeleteFileW(std::u16string_view path) = 0;
  // Renames a file; without MOVEFILE_REPLACE_EXISTING an existing target fails with
  // ERROR_ALREADY_EXISTS and is left alone.
  virtual bool MoveFileExA(std::string_view from, std::string_view to, DWORD flags) = 0;
  // FILETIME values (100 ns since 1601, UTC) of an open file; a null pointer skips that time.
  virtual bool GetFileTime(Handle file, std::uint64_t* creation, std::uint64_t* lastAccess,
                           std::uint64_t* lastWrite) = 0;
  virtual bool FileTimeToDosDateTime(std::uint64_t fileTime, std::uint16_t& dosDate,
                                     std::uint16_t& dosTime) = 0;
  // Creates an empty file "<path><prefix (3 characters)><hex>.TMP" when `unique` is 0 and gives
  // its name; returns the number used, 0 on failure.
  virtual std::uint32_t GetTempFileNameA(std::string_view path, std::string_view prefix, std::uint32_t unique,
                                         std::string& tempFileName) = 0;

  // --- events and waiting ---
  // An unnamed event without security attributes; 0 on failure.
  virtual Handle CreateEventA(bool manualReset, bool initialState) = 0;
  virtual bool SetEvent(Handle event) = 0;
  virtual bool ResetEvent(Handle event) = 0;
  // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
  virtual DWORD WaitForSingleObject(Handle object, DWORD milliseconds) = 0;

  // --- files: streams ---
  // The next bytes of the object's backup image: per stream a records::WIN32_STREAM_ID head,
  // its name and its data; `bytesRead` is 0 at the end of the image. `context` starts at 0 and
  // stays the caller's until a call with `abort` true releases it (buffer unused then).
  virtual bool BackupRead(Handle file, std::span<std::byte> buffer, DWORD& bytesRead, bool abort,
                          bool processSecurity, std::uintptr_t& context) = 0;
  // Skips data within the current stream only: when the stream ends first it moves to that end,
  // reports the bytes moved and fails with ERROR_SEEK.
  virtual bool BackupSeek(Handle file, DWORD lowBytesToSeek, DWORD highBytesToSeek, DWORD& lowBytesSeeked,
                          DWORD& highBytesSeeked, std::uintptr_t& context) = 0;

  // --- processes ---
  // 0 on failure (last error set).
  virtual Handle OpenProcess(DWORD access, bool inherit, DWORD processId) = 0;
  virtual bool CloseHandle(Handle handle) = 0;
  virtual Handle GetCurrentProcess() = 0;  // the pseudo handle
  virtual bool DuplicateHandle(Handle sourceProcess, Handle source, Handle targetProcess, Handle& target,
                               DWORD access, bool inherit, DWORD options) = 0;
  virtual bool IsWow64Process(Handle process, bool& wow64) = 0;
  // Needs PROCESS_TERMINATE access.
  virtual bool TerminateProcess(Handle process, std::uint32_t exitCode) = 0;

  // --- process memory ---
  // The parts of SYSTEM_INFO the memory walk needs.
  struct SystemInfo {
    std::uint16_t processorArchitecture = 0;
    DWORD pageSize = 0;
    std::uint64_t minimumApplicationAddress = 0;
    std::uint64_t maximumApplicationAddress = 0;
    std::uint64_t activeProcessorMask = 0;
    DWORD numberOfProcessors = 0;
    DWORD allocationGranularity = 0;
  };
  virtual void GetSystemInfo(SystemInfo& info) = 0;
  // Writes the MEMORY_BASIC_INFORMATION record of platform/records.h for the build's pointer
  // width into `buffer` for the region holding `address`; returns the bytes written, 0 on
  // failure (ERROR_INVALID_PARAMETER past the highest address). Needs PROCESS_QUERY_INFORMATION.
  virtual std::size_t VirtualQueryEx(Handle process, std::uint64_t address, std::span<std::byte> buffer) = 0;
  // Needs PROCESS_VM_READ; fails (ERROR_PARTIAL_COPY) when any part of the range is unreadable.
  virtual bool ReadProcessMemory(Handle process, std::uint64_t address, std::span<std::byte> buffer,
                                 std::size_t& bytesRead) = 0;
  virtual void OutputDebugStringA(std::string_view text) = 0;
};

}  // namespace platform
