// The machine a conformance test runs on: its platform, and the objects each test needs on it.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace conformance {

// One entry of a folder made for a test.
struct Entry {
  std::u16string name;
  bool folder = false;
  std::string content;
};

// One value of a key made for a test. Names are counted: zero characters are part of them.
struct Value {
  std::u16string name;
  platform::DWORD type = platform::REG_DWORD;
  std::vector<std::byte> data;
};

struct KeySpec {
  std::vector<std::u16string> subkeys;
  std::vector<Value> values;
};

// A key made for a test, named as the native calls and as the Win32 calls see it.
struct TestKey {
  std::u16string nativePath;  // "\Registry\User\<sid>\Software\..."
  platform::HKEY root = platform::HKEY_CURRENT_USER;
  std::u16string subKey;  // below `root`, without a leading backslash
};

// How the machine under test answers where Wine does not answer as Windows does. Each field
// names one behaviour the scanners rely on; kWineDiffers is the one place that says how Wine
// answers, and the tests assert that answer there.
struct Answers {
  // What BackupRead fails with on a plain file (0: it reads the backup image).
  platform::DWORD backupReadError;
  // What NtQueryInformationFile answers for the stream class on a plain file.
  platform::NTSTATUS streamQuery;
  // "name:stream" opened through CreateFileW names a stream of "name" (false: a file of its own).
  bool alternateStreams;
  // What Process32First fails with when dwSize is smaller than the record.
  platform::DWORD badRecordSizeError;
  // A handle-table buffer smaller than one entry still learns the size needed.
  bool tinyTableBufferGetsSize;
  // How a file's object name starts.
  std::u16string_view fileObjectNamePrefix;
  // What NtQueryObject answers when the name does not fit.
  platform::NTSTATUS objectNameShortBuffer;
  // A key or value record cut short still holds the full name length (false: the bytes copied).
  bool cutRecordHoldsFullNameLength;
  // What NtEnumerateValueKey answers for a buffer smaller than the fixed part.
  platform::NTSTATUS valueBelowFixedPart;
  // How many characters more than the text and its terminator LookupAccountSidA asks for.
  platform::DWORD accountSizeSlack;
  // A successful LookupAccountSidA counts the terminators in the lengths it answers.
  bool accountLengthsCountTerminator;
  // What ReadProcessMemory fails with on an address where nothing is mapped.
  platform::DWORD unmappedReadError;
  // FileTimeToDosDateTime refuses a time after 2107, which seven bits of years cannot hold.
  bool dosDatesEndIn2107;
  // ReadProcessMemory reads free addresses next to a region (as zeros) instead of failing.
  bool freeMemoryReads;
};

inline constexpr Answers kWindows{0,
                                  platform::STATUS_SUCCESS,
                                  true,
                                  platform::ERROR_BAD_LENGTH,
                                  true,
                                  u"\\Device\\",
                                  platform::STATUS_INFO_LENGTH_MISMATCH,
                                  true,
                                  platform::STATUS_BUFFER_TOO_SMALL,
                                  0,
                                  false,
                                  platform::ERROR_PARTIAL_COPY,
                                  true,
                                  false};
// Wine 8 on a Linux file system, measured.
inline constexpr Answers kWineDiffers{platform::ERROR_NOT_SUPPORTED,     // BackupRead is a stub
                                      platform::STATUS_NOT_IMPLEMENTED,  // no stream class
                                      false,  // the host file system keeps no streams
                                      platform::ERROR_INSUFFICIENT_BUFFER,
                                      false,      // the size is only reported once the buffer holds one entry
                                      u"\\??\\",  // names in DOS form ("\??\Z:\...")
                                      platform::STATUS_BUFFER_OVERFLOW, false,
                                      platform::STATUS_BUFFER_OVERFLOW,
                                      1,  // the 8-bit look-up asks one more than it writes
                                      true,
                                      998,    // ERROR_NOACCESS: the read faults as an own-process copy
                                      false,  // years past 2107 wrap into the seven bits
                                      // The server reads the Linux process past its protections:
                                      // only what Linux never mapped fails.
                                      true};

class Backend {
 public:
  virtual ~Backend() = default;

  // --- set-up: every Make* call comes before the first Platform() call ---
  // A fresh folder holding `entries`; its Win32 path without a trailing backslash.
  virtual std::u16string MakeFolder(const std::vector<Entry>& entries) = 0;
  // A fresh file with `main` as its data and one alternate stream; the file's Win32 path.
  virtual std::u16string MakeFileWithStream(const std::string& main, const std::u16string& stream,
                                            const std::string& data) = 0;
  // A fresh, writable key below the current user's key, holding `spec`.
  virtual TestKey MakeKey(const KeySpec& spec) = 0;
  // `bytes` in this process's memory, for the life of the backend; where they lie.
  virtual std::uint64_t MakeMemory(const std::string& bytes) = 0;

  // --- the machine ---
  virtual platform::Platform& Platform() = 0;
  // A file handle this process holds (valid for the backend's life), and how the file's name ends.
  virtual platform::Handle OwnFileHandle() = 0;
  virtual std::u16string OwnFileName() = 0;
  // The executable file name a process snapshot gives this process ("x.exe").
  virtual std::string OwnExeFile() = 0;
  virtual const Answers& Expected() = 0;
  virtual bool Simulated() const = 0;
};

// The backend of this build: the simulated machine natively, the real DLLs on Windows.
std::unique_ptr<Backend> MakeBackend();

// The parameter of every machine test: how to make this build's backend. Printed the same in
// both builds, so their lists of tests are the same text.
struct MachineChoice {
  std::unique_ptr<Backend> (*make)();
};
inline void PrintTo(const MachineChoice&, std::ostream* os) { *os << "this build's machine"; }

// Every conformance suite derives from this: it makes the backend and installs its platform
// (for the product code the tests call) at the first use.
class MachineTest : public ::testing::TestWithParam<MachineChoice> {
 protected:
  MachineTest() : backend_(GetParam().make()) {}
  Backend& B() { return *backend_; }
  platform::Platform& P() {
    if (!scope_) scope_.emplace(backend_->Platform());
    return backend_->Platform();
  }
  const Answers& Expected() { return backend_->Expected(); }

 private:
  std::unique_ptr<Backend> backend_;
  std::optional<platform::ScopedPlatform> scope_;
};

// The instances are named after no backend, so both builds list the same tests.
inline std::string MachineName(const ::testing::TestParamInfo<MachineChoice>&) { return "Machine"; }

}  // namespace conformance

// Declares a suite of machine tests and runs it on this build's backend.
#define CONFORMANCE_SUITE(Suite)                                                                         \
  class Suite : public ::conformance::MachineTest {};                                                    \
  INSTANTIATE_TEST_SUITE_P(On, Suite,                                                                    \
                           ::testing::Values(::conformance::MachineChoice{&::conformance::MakeBackend}), \
                           ::conformance::MachineName)
