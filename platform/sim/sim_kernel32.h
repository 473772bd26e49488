// The simulated kernel32.
#pragma once

#include "platform/kernel32.h"
#include "platform/sim/machine.h"

namespace sim {

class SimKernel32 final : public platform::Kernel32 {
 public:
  explicit SimKernel32(Machine& m) : m_(m) {}

  platform::DWORD GetLastError() override;
  void SetLastError(platform::DWORD error) override;
  std::string FormatMessageA(platform::DWORD messageId) override;

  bool GetVersionExA(platform::OsVersionInfo& info) override;
  std::string GetComputerNameA() override;
  std::string GetWindowsDirectoryA() override;
  std::string GetSystemDirectoryA() override;
  std::string GetTempPathA() override;
  std::string GetModuleFileNameA() override;
  std::vector<std::string> CommandLineArguments() override;
  void GetLocalTime(platform::SystemTime& time) override;
  platform::DWORD GetCurrentProcessId() override;

  std::uint32_t GetACP() override;
  std::string WideCharToMultiByte(std::uint32_t codePage, std::u16string_view text) override;
  std::u16string MultiByteToWideChar(std::uint32_t codePage, std::string_view text) override;
  int CompareStringW(std::uint32_t locale, std::uint32_t flags, std::u16string_view a,
                     std::u16string_view b) override;
  int CompareStringA(std::uint32_t locale, std::uint32_t flags, std::string_view a,
                     std::string_view b) override;
  std::u16string LCMapStringW(std::uint32_t locale, std::uint32_t flags, std::u16string_view text) override;

  platform::DWORD GetLogicalDrives() override;
  unsigned GetDriveTypeW(std::u16string_view rootPath) override;
  bool GetVolumeInformationW(std::u16string_view rootPath, VolumeInformation& info) override;
  std::optional<std::u16string> QueryDosDeviceW(std::u16string_view deviceName) override;

  // --- files ---
  bool FileTimeToLocalFileTime(std::uint64_t fileTime, std::uint64_t& localTime) override;
  platform::Handle FindFirstFileW(std::u16string_view mask, FindDataW& data) override;
  bool FindNextFileW(platform::Handle find, FindDataW& data) override;
  platform::Handle FindFirstFileA(std::string_view mask, FindDataA& data) override;
  bool FindNextFileA(platform::Handle find, FindDataA& data) override;
  bool FindClose(platform::Handle find) override;
  platform::DWORD GetFileAttributesA(std::string_view path) override;

  // --- files: handles ---
  platform::Handle CreateFileW(std::u16string_view path, platform::DWORD access, platform::DWORD share,
                               platform::DWORD disposition, platform::DWORD flagsAndAttributes) override;
  platform::Handle CreateFileA(std::string_view path, platform::DWORD access, platform::DWORD share,
                               platform::DWORD disposition, platform::DWORD flagsAndAttributes) override;
  platform::DWORD GetFileSize(platform::Handle file, platform::DWORD* high) override;
  platform::Handle CreateFileMappingA(platform::Handle file, platform::DWORD protect,
                                      platform::DWORD maximumSizeHigh,
                                      platform::DWORD maximumSizeLow) override;
  const std::byte* MapViewOfFile(platform::Handle mapping, platform::DWORD access, platform::DWORD offsetHigh,
                                 platform::DWORD offsetLow, std::size_t bytes) override;
  bool UnmapViewOfFile(const std::byte* view) override;

  // --- files: reading, writing, naming ---
  bool ReadFile(platform::Handle file, std::span<std::byte> buffer, platform::DWORD& bytesRead) override;
  bool WriteFile(platform::Handle file, std::span<const std::byte> data, platform::DWORD& bytesWritten) override;
  bool SetFilePointerEx(platform::Handle file, std::int64_t distance, std::int64_t* newPosition,
                        platform::DWORD moveMethod) override;
  bool DeleteFileA(std::string_view path) override;
  bool DeleteFileW(std::u16string_view path) override;
  bool MoveFileExA(std::string_view from, std::string_view to, platform::DWORD flags) override;
  bool GetFileTime(platform::Handle file, std::uint64_t* creation, std::uint64_t* lastAccess,
                   std::uint64_t* lastWrite) override;
  bool FileTimeToDosDateTime(std::uint64_t fileTime, std::uint16_t& dosDate, std::uint16_t& dosTime) override;
  std::uint32_t GetTempFileNameA(std::string_view path, std::string_view prefix, std::uint32_t unique,
                                 std::string& tempFileName) override;

  // --- events and waiting ---
  platform::Handle CreateEventA(bool manualReset, bool initialState) override;
  bool SetEvent(platform::Handle event) override;
  bool ResetEvent(platform::Handle event) override;
  platform::DWORD WaitForSingleObject(platform::Handle object, platform::DWORD milliseconds) override;

  // --- files: streams ---
  bool BackupRead(platform::Handle file, std::span<std::byte> buffer, platform::DWORD& bytesRead, bool abort,
                  bool processSecurity, std::uintptr_t& context) override;
  bool BackupSeek(platform::Handle file, platform::DWORD lowBytesToSeek, platform::DWORD highBytesToSeek,
                  platform::DWORD& lowBytesSeeked, platform::DWORD& highBytesSeeked,
                  std::uintptr_t& context) override;

  // --- processes ---
  platform::Handle OpenProcess(platform::DWORD access, bool inherit, platform::DWORD processId) override;
  bool CloseHandle(platform::Handle handle) override;
  platform::Handle GetCurrentProcess() override;
  bool DuplicateHandle(platform::Handle sourceProcess, platform::Handle source, platform::Handle targetProcess,
                       platform::Handle& target, platform::DWORD access, bool inherit,
                       platform::DWORD options) override;
  bool IsWow64Process(platform::Handle process, bool& wow64) override;
  bool TerminateProcess(platform::Handle process, std::uint32_t exitCode) override;

  // --- process memory ---
  void GetSystemInfo(SystemInfo& info) override;
  std::size_t VirtualQueryEx(platform::Handle process, std::uint64_t address, std::span<std::byte> buffer) override;
  bool ReadProcessMemory(platform::Handle process, std::uint64_t address, std::span<std::byte> buffer,
                         std::size_t& bytesRead) override;
  void OutputDebugStringA(std::string_view text) override;

 private:
  std::uint32_t ResolveCodePage(std::uint32_t cp) const;
  Machine& m_;
};

}  // namespace sim
