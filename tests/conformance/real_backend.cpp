// The conformance suite's machine in the Windows build: the real DLLs, with scratch files and keys.
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "platform/record_io.h"
#include "platform/records.h"
#include "platform/win32/win32_platform.h"
#include "tests/conformance/backend.h"

namespace conformance {

namespace {

namespace fs = std::filesystem;
using namespace platform;

// What every key and folder of one test is named after: the run's seed and the test's name,
// so runs and tests sharing a machine never meet.
std::string TestTag() {
  const auto* unit = ::testing::UnitTest::GetInstance();
  const auto* info = unit->current_test_info();
  std::string tag = std::to_string(unit->random_seed()) + "-" + info->test_suite_name() + "-" + info->name();
  for (char& c : tag)
    if (c == '/') c = '_';
  return tag;
}

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Deletes a key and everything below it through the native calls, names with zero
// characters included (the Win32 calls cannot name those).
void DeleteTree(Ntdll& nt, Handle key) {
  for (;;) {
    std::vector<std::byte> buf(1024);
    DWORD length = 0;
    if (nt.NtEnumerateKey(key, 0, records::KeyBasicInformation, buf, length) != STATUS_SUCCESS) break;
    const records::RecordReader record(buf);
    const auto head = record.Head<records::KEY_BASIC_INFORMATION>(0);
    if (!head) break;
    const auto name = record.Text(offsetof(records::KEY_BASIC_INFORMATION, Name), head->NameLength);
    if (!name) break;
    Handle sub = kNullHandle;
    const ObjectAttributes a{*name, OBJ_CASE_INSENSITIVE, key};
    if (nt.NtOpenKey(sub, KEY_ALL_ACCESS, a) != STATUS_SUCCESS) break;
    DeleteTree(nt, sub);
    nt.NtClose(sub);
  }
  nt.NtDeleteKey(key);
}

class RealBackend final : public Backend {
 public:
  RealBackend() : real_(win32::RealPlatform()) {
    // Wine keeps its own settings below the user's key; Windows has no such key.
    HKEY wine = 0;
    if (real_.advapi32.RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Wine", 0, KEY_READ, wine) ==
        ERROR_SUCCESS) {
      onWine_ = true;
      real_.advapi32.RegCloseKey(wine);
    }
  }
  ~RealBackend() override {
    if (ownFile_ != kInvalidHandle) real_.kernel32.CloseHandle(ownFile_);
    for (const auto& path : keys_) {
      Handle key = kNullHandle;
      if (real_.ntdll.NtOpenKey(key, KEY_ALL_ACCESS, ObjectAttributes{path}) != STATUS_SUCCESS) continue;
      DeleteTree(real_.ntdll, key);
      real_.ntdll.NtClose(key);
    }
    std::error_code ec;
    for (const auto& dir : folders_) fs::remove_all(dir, ec);
  }

  std::u16string MakeFolder(const std::vector<Entry>& entries) override {
    const fs::path dir = FreshFolder();
    for (const auto& e : entries) {
      if (e.folder)
        fs::create_directory(dir / e.name);
      else
        std::ofstream(dir / e.name, std::ios::binary) << e.content;
    }
    return dir.u16string();
  }

  std::u16string MakeFileWithStream(const std::string& main, const std::u16string& stream,
                                    const std::string& data) override {
    const fs::path file = FreshFolder() / "streams.txt";
    std::ofstream(file, std::ios::binary) << main;
    fs::path named = file;
    named += u":" + stream;
    std::ofstream(named, std::ios::binary) << data;  // CreateFileW on "file:stream"
    return file.u16string();
  }

  TestKey MakeKey(const KeySpec& spec) override {
    std::u16string user;
    if (real_.ntdll.RtlFormatCurrentUserKeyPath(user) != STATUS_SUCCESS)
      throw std::runtime_error("no current user key");
    TestKey k;
    k.subKey =
        u"Software\\UmbrascopeConformance-" + Widen(TestTag()) + u"-" + Widen(std::to_string(keys_.size()));
    k.nativePath = user + u"\\" + k.subKey;
    // Raw handles closed here: the set-up runs before the platform is installed for the test.
    Ntdll& nt = real_.ntdll;
    Handle key = kNullHandle;
    DWORD disposition = 0;
    if (nt.NtCreateKey(key, KEY_ALL_ACCESS, ObjectAttributes{k.nativePath}, disposition) != STATUS_SUCCESS)
      throw std::runtime_error("cannot create the test key");
    keys_.push_back(k.nativePath);
    bool made = true;
    for (const auto& name : spec.subkeys) {
      Handle sub = kNullHandle;
      made = made && nt.NtCreateKey(sub, KEY_ALL_ACCESS, ObjectAttributes{name, OBJ_CASE_INSENSITIVE, key},
                                    disposition) == STATUS_SUCCESS;
      if (sub != kNullHandle) nt.NtClose(sub);
    }
    for (const auto& v : spec.values)
      made = made && nt.NtSetValueKey(key, v.name, v.type, v.data) == STATUS_SUCCESS;
    nt.NtClose(key);
    if (!made) throw std::runtime_error("cannot fill the test key");
    return k;
  }

  std::uint64_t MakeMemory(const std::string& bytes) override {
    memory_.push_back(std::make_unique<std::string>(bytes));
    return reinterpret_cast<std::uintptr_t>(memory_.back()->data());
  }

  platform::Platform& Platform() override { return real_; }

  platform::Handle OwnFileHandle() override {
    if (ownFile_ == kInvalidHandle)
      ownFile_ = real_.kernel32.CreateFileA(real_.kernel32.GetModuleFileNameA(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL);
    return ownFile_;
  }
  std::u16string OwnFileName() override { return Widen(OwnExeFile()); }
  std::string OwnExeFile() override {
    const std::string exe = real_.kernel32.GetModuleFileNameA();
    return exe.substr(exe.find_last_of('\\') + 1);
  }
  const Answers& Expected() override { return onWine_ ? kWineDiffers : kWindows; }
  bool Simulated() const override { return false; }

 private:
  fs::path FreshFolder() {
    fs::path dir =
        fs::temp_directory_path() / ("umbra-conf-" + TestTag() + "-" + std::to_string(folders_.size()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    folders_.push_back(dir);
    return dir;
  }

  platform::Platform& real_;
  bool onWine_ = false;
  Handle ownFile_ = kInvalidHandle;
  std::vector<std::u16string> keys_;
  std::vector<fs::path> folders_;
  std::vector<std::unique_ptr<std::string>> memory_;
};

}  // namespace

std::unique_ptr<Backend> MakeBackend() { return std::make_unique<RealBackend>(); }

}  // namespace conformance
