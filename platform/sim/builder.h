// Builds simulated machines in code: for tests, benchmarks and the image loader.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/sim/machine.h"

namespace sim {

// Paths are Win32 paths ("C:\WINDOWS\x.sys"); keys are full registry names with a long or
// short root ("HKEY_LOCAL_MACHINE\SOFTWARE\x", "HKLM\SOFTWARE\x"). Missing parents are created
// plain. Names may hold zero characters. Errors (no volume for the drive, an unknown root, a
// file where a folder is needed) throw std::invalid_argument with a readable message.
class MachineBuilder {
 public:
  MachineBuilder();  // one fixed NTFS drive C, default system facts

  Machine& machine() { return *machine_; }

  Volume& AddVolume(char16_t drive, unsigned type = platform::DRIVE_FIXED);
  // Removes every volume (before adding the image's own).
  void ClearVolumes();

  FileNode& Folder(std::u16string_view path);
  FileNode& File(std::u16string_view path, std::string content = {});
  // True when a file or folder already exists at `path`.
  bool Exists(std::u16string_view path);

  RegKey& Key(std::u16string_view fullKey);
  RegValue& Value(std::u16string_view fullKey, std::u16string_view name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
  RegValue& StringValue(std::u16string_view fullKey, std::u16string_view name,
                        std::u16string_view text);  // REG_SZ, stored with its terminator
  RegValue& DwordValue(std::u16string_view fullKey, std::u16string_view name, std::uint32_t v);

  // --- many registry keys at once ---
  // One key of a bulk add: its full name and the values it gets, in their order.
  struct BulkKey {
    std::u16string fullKey;
    std::vector<RegValue> values;
  };
  // Adds `keys` (missing parents created plain, existing keys reused) in time linear in the
  // number of keys, values and path characters: keys are found through an index of their
  // paths instead of a search per level, and the subkeys of every key that gained some are put
  // in order once at the end. Answers the keys in the order given; a value listed twice for a
  // key throws std::invalid_argument, as Value does.
  std::vector<RegKey*> AddKeys(std::vector<BulkKey> keys);

  Process& AddProcess(std::uint32_t pid, std::u16string_view exeFile,
                      std::u16string_view imagePath = {});

  void Hide(std::u16string_view pattern);

  // Default times for files and keys created from here on.
  void SetDefaultTime(FileTime t) { defaultTime_ = t; }

  std::unique_ptr<Machine> Build();

 private:
  FileNode& Node(std::u16string_view path, bool folder);
  std::unique_ptr<Machine> machine_;
  FileTime defaultTime_;
  std::uint64_t nextFileId_ = 1;
};

// The native key path of a full registry name: "HKLM\SOFTWARE" -> "\Registry\Machine\SOFTWARE".
// Nothing when the root is unknown or has no place in the simulated registry.
std::optional<std::u16string> NativeKeyPath(std::u16string_view fullKey, const std::string& userSid);

// "YYYY-MM-DDTHH:MM:SS" <-> FILETIME / SYSTEMTIME.
std::optional<platform::SystemTime> ParseLocalTime(std::string_view text);
FileTime ToFileTime(const platform::SystemTime& t);
platform::SystemTime ToSystemTime(FileTime t);

// --- image loader ---

// The shell folders a fresh Windows XP installation answers for its user: 36 and 37 from the
// system's directories, the program-files folder on the system drive and the profile folders
// under "Documents and Settings" (CSIDL number -> folder).
std::map<int, std::u16string> DefaultShellFolders(const SystemFacts& system);

// True when `name` is already a valid 8.3 name; the file system then keeps no separate short name.
bool IsShortName(std::u16string_view name);
// The 8.3 name the file system would generate for `name` ("Long File.txt" -> "LONGFI~1.TXT"),
// with the lowest "~N" for which `taken` (asked with upper-case candidates) answers false.
// `nextTry`, when given, remembers per stem where to resume within one folder.
std::u16string GenerateShortName(std::u16string_view name,
                                 const std::function<bool(const std::u16string&)>& taken,
                                 std::unordered_map<std::u16string, unsigned>* nextTry = nullptr);

}  // namespace sim
