// The simulated Windows machine's state: volumes and files, registry, processes, the rootkit.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/handles.h"
#include "platform/types.h"

namespace sim {

// FILETIME value: 100-ns intervals since 1601-01-01 (local time; the simulation has no zones).
using FileTime = std::uint64_t;

struct FileTimes {
  FileTime creation = 0, lastAccess = 0, lastWrite = 0, change = 0;
};

struct Stream {
  std::u16string name;  // without the leading ":" and the ":$DATA" suffix
  std::string content;
  std::uint64_t size = 0;  // may exceed content; the rest reads as zeros
};

// Failures injected into one file or folder.
struct FileFailures {
  bool nativeOpen = false;                         // NtOpenFile: access denied
  std::optional<std::uint32_t> nativeListAfter;    // native listing breaks off after N entries
  bool win32List = false;                          // FindFirstFile on this folder fails
  bool security = false;                           // its security descriptor cannot be read
  bool streams = false;                            // its streams cannot be listed
  bool read = false;                               // its data cannot be read
};

// One handle open on a file or folder: what it may do and what it lets others do, so that a
// conflicting open fails and a deletion waits for the last handle, as on Windows.
struct FileOpen {
  const void* handleObject = nullptr;
  std::uint32_t access = 0;  // generic rights as passed
  std::uint32_t share = 0;
  bool deleteOnClose = false;
};

struct FileNode {
  std::u16string name;  // counted; may hold zero characters; empty for a drive's root
  bool folder = false;
  std::string content;
  std::uint64_t size = 0;
  std::uint64_t allocationSize = 0;
  std::uint32_t attributes = 0x20;
  // The reparse tag of an entry with attribute 0x400 (FILE_ATTRIBUTE_REPARSE_POINT): what the
  // full and both directory records carry in EaSize and WIN32_FIND_DATA in dwReserved0.
  std::uint32_t reparseTag = 0;
  FileTimes times;
  std::u16string shortName;
  std::string sddl;  // "" is an empty DACL
  std::vector<Stream> streams;
  bool hidden = false;                 // filtered from the Win32 view
  std::optional<bool> win32Folder;     // what the Win32 listing reports it as, when it differs
  std::optional<std::u16string> win32Name;  // how the Win32 listing spells it, when it differs
  bool locked = false;                 // in use: opening it for deletion fails
  FileFailures fail;
  std::uint64_t fileId = 0;
  // Kept by the file functions while the machine runs; never in an image.
  std::vector<FileOpen> opens;
  bool deletePending = false;  // removed when its last handle closes

  FileNode* parent = nullptr;
  // Ordered as the file system lists them: by name compared ordinally after upper-casing.
  std::vector<std::unique_ptr<FileNode>> children;

  std::u16string_view Win32Name() const { return win32Name ? *win32Name : name; }
  FileNode* FindChild(std::u16string_view childName);  // case-insensitive
  FileNode* AddChild(std::unique_ptr<FileNode> child);  // keeps the order; returns the child
  bool RemoveChild(const FileNode* child);
};

struct Volume {
  char16_t drive = u'C';  // upper-case letter
  unsigned type = platform::DRIVE_FIXED;
  std::u16string label;
  std::u16string fileSystem = u"NTFS";
  bool readable = true;
  std::u16string device;  // \Device\HarddiskVolume<n>
  std::uint32_t serialNumber = 0;
  std::unique_ptr<FileNode> root;
};

struct RegValue {
  std::u16string name;  // counted; "" is the default value
  std::uint32_t type = 1;
  std::vector<std::uint8_t> data;
  bool hidden = false;
  std::optional<std::u16string> win32Name;  // how the Win32 listing spells it, when it differs

  std::u16string_view Win32Name() const { return win32Name ? *win32Name : name; }
};

struct KeyFailures {
  bool win32Open = false;
  bool nativeOpen = false;
  bool security = false;
  bool win32List = false;
};

struct RegKey {
  std::u16string name;  // counted; may hold zero characters
  std::string sddl;
  bool hidden = false;
  std::optional<std::u16string> win32Name;  // how the Win32 listing spells it, when it differs
  KeyFailures fail;
  std::vector<RegValue> values;  // in the order of the image
  FileTime lastWrite = 0;

  RegKey* parent = nullptr;
  std::vector<std::unique_ptr<RegKey>> subkeys;  // ordered like file names

  std::u16string_view Win32Name() const { return win32Name ? *win32Name : name; }
  RegKey* FindSubkey(std::u16string_view subkeyName);  // case-insensitive
  RegKey* AddSubkey(std::unique_ptr<RegKey> key);
  bool RemoveSubkey(const RegKey* key);
  RegValue* FindValue(std::u16string_view valueName);  // case-insensitive
};

struct Thread {
  std::uint32_t tid = 0;
  std::int32_t basePriority = 8;
  std::int32_t deltaPriority = 0;
  std::uint32_t usage = 0;
  std::uint32_t flags = 0;
};

struct HandleEntry {
  std::uint32_t value = 0;
  std::uint32_t typeNumber = 0;
  std::uint32_t access = 0;
  std::uint64_t object = 0;
  std::u16string name;  // what NtQueryObject / the file-name query answers
  bool blocks = false;  // a file-name query on it never returns
  // NtQueryObject answers no name for it; only the file-name query gives `name`. Set in code only.
  bool fileNameOnly = false;
};

// Bytes a hook wrote over a module's code: at an RVA, or at an export's entry when named.
struct ModulePatch {
  std::uint32_t rva = 0;
  std::string exportName;
  std::string bytes;
};

// An import address table slot that holds `target` instead of the export's address.
struct ImportPatch {
  std::string dll;
  std::string function;
  std::uint64_t target = 0;
};

struct Module {
  std::u16string name;
  std::u16string path;
  std::uint64_t base = 0;
  std::uint32_t size = 0;
  std::uint32_t id = 0;
  std::uint32_t globalUsage = 0;
  std::uint32_t processUsage = 0;
  // Applied by MapModuleImages after the module's file is laid out in memory.
  std::vector<ModulePatch> patches;
  std::vector<ImportPatch> importPatches;
};

struct Heap {
  std::uint64_t id = 0;
  std::uint32_t flags = 0;
};

struct MemoryRegion {
  std::uint64_t base = 0;
  std::string content;
};

struct Process {
  std::uint32_t pid = 0;
  std::uint32_t parentPid = 0;
  std::u16string exeFile;
  std::u16string imagePath;  // Win32 form
  bool hidden = false;
  bool openable = true;
  bool debugged = false;
  std::uint32_t sessionId = 0;
  std::vector<Thread> threads;
  std::vector<HandleEntry> handles;
  std::vector<Module> modules;
  std::vector<Heap> heaps;
  std::vector<MemoryRegion> memory;
};

// Whole-system views that stop answering part-way through a scan, so a test can let the first
// look succeed and a second one fail. The calls of each kind are counted from the machine's
// start, and every call after the first N fails (nothing: never). Set in code only.
struct SystemFailures {
  // CreateToolhelp32Snapshot of threads: INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY.
  std::optional<std::uint32_t> threadSnapshotsAfter;
  // NtQuerySystemInformation of a handle table (either class, size questions included):
  // STATUS_ACCESS_DENIED.
  std::optional<std::uint32_t> handleTablesAfter;
  std::uint32_t threadSnapshots = 0, handleTables = 0;  // the calls so far
};

struct Account {
  std::string sid;
  std::u16string name;
  std::u16string domain;
};

struct SystemFacts {
  std::uint32_t major = 5, minor = 1, build = 2600;
  std::u16string computerName = u"DEMO-PC";
  std::u16string userName = u"User";
  std::string userSid = "S-1-5-21-1-2-3-1000";
  std::u16string windowsDirectory = u"C:\\WINDOWS";
  std::u16string systemDirectory = u"C:\\WINDOWS\\system32";
  std::u16string tempPath = u"C:\\WINDOWS\\Temp\\";
  std::uint32_t codePage = 1252;
  std::vector<std::u16string> commandLine = {u"umbrascope.exe"};
  std::u16string programFile = u"C:\\Program Files\\Umbrascope\\umbrascope.exe";
  bool wow64 = false;
  // What GetCurrentProcessId answers: the program's own process, which an image may describe.
  std::uint32_t currentProcessId = 0x7FF0;
  // false: BackupRead answers ERROR_NOT_SUPPORTED, as Wine's does; the stream listing then
  // needs its other route. Set in code only (images always have backup reads).
  bool backupRead = true;
  // false: CompareString fails (0, ERROR_INVALID_PARAMETER), as for a locale the system cannot
  // compare in. Set in code only.
  bool compareStrings = true;
  std::map<int, std::u16string> shellFolders;  // CSIDL -> folder
  std::optional<platform::SystemTime> localTime;  // nothing: the host's clock
};

inline constexpr const char* kDefaultFileSddl =
    "O:BAG:SYD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)";
inline constexpr const char* kDefaultKeySddl =
    "O:BAG:SYD:(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KR;;;BU)";

// The whole machine. The registry is one tree below "\Registry" ("Machine" and "User" under
// it), as the native layer names keys; HKEY_CLASSES_ROOT and HKEY_CURRENT_CONFIG are views
// into the machine hive, HKEY_CURRENT_USER the user's SID below "User".
// Where every simulated process's environment block lies, and its bytes: a record of the
// build's pointer width holding what the image says (`debugged`, `sessionId`). The process
// memory functions serve it besides the image's `memory` regions; the basic-information query
// points at it.
inline constexpr std::uint64_t kProcessEnvironmentBlockAddress = 0x7FFDF000;
std::string ProcessEnvironmentBlock(const Process& process);

struct Machine {
  SystemFacts system;
  std::vector<Account> accounts;
  std::vector<Volume> volumes;  // ordered by drive letter
  RegKey registry;              // the "\Registry" key
  std::deque<Process> processes;  // deque: references from the builder stay valid
  std::vector<std::u16string> hide;  // the rootkit's wildcard patterns
  HandleTable handles;               // every open simulated handle
  SystemFailures fail;
  // Runs when a Win32 listing of a folder is closed (FindClose), under the machine's lock, with
  // the folder that was listed: lets a test change the folder between two looks at it, as a
  // program writing files while a scan runs does. Set in code only.
  std::function<void(Machine&, FileNode& folder)> afterWin32List;
  // Runs when NtOpenKey is about to open an existing key, with the key's native path, the machine
  // locked: lets a test change the registry between the views of one key that a scan takes
  // (a value created after the Win32 listing). Set in code only.
  std::function<void(Machine&, std::u16string_view nativePath)> onNativeKeyOpen;

  // The platform functions lock this while they read or change the machine, so a scanner
  // thread and the main thread may call them at once.
  mutable std::recursive_mutex mutex;

  Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  Volume* FindVolume(char16_t drive);
  // The node at a Win32 path "C:\a\b" (case-insensitive), or nullptr.
  FileNode* FindFile(std::u16string_view path);
  // The key at a native path "\Registry\Machine\..." (case-insensitive), or nullptr.
  RegKey* FindKey(std::u16string_view nativePath);
  // True when the rootkit filters this name (a `hide` pattern matches it).
  bool HiddenByPattern(std::u16string_view name) const;
};

// Case-insensitive wildcard match of `*` and `?` as the rootkit's hide list uses it.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name);

// Upper-casing used for name order and case-insensitive look-ups in the simulation
// (ASCII and Latin-1 letters; what the machine's names need).
char16_t UpcaseChar(char16_t c);
std::u16string Upcase(std::u16string_view s);
// Ordinal comparison after upper-casing: <0, 0, >0.
int CompareNames(std::u16string_view a, std::u16string_view b);

}  // namespace sim
