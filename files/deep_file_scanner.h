// The Deep Scan's file walk: every folder of the chosen drives listed by Win32 and natively.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/synchronize.h"

namespace files {

// Finding texts of the file walk, shown in the Details column.
inline constexpr const char* kInvisibleToWin32 = "Invisible to Win32";
inline constexpr const char* kReservedFilename = "Reserved filename";
inline constexpr const char* kZeroCharInFilename = "Zero char in filename";
inline constexpr const char* kNoAdminInAcl = "No admin in ACL";
inline constexpr const char* kUnknownAds = "Unknown ADS";

// What one walk has done so far; read from any thread.
struct TFileScanCounts {
  std::uint64_t folders = 0;       // folders taken off the stack
  std::uint64_t files = 0;         // native entries checked (files and folders)
  std::uint64_t findings = 0;      // reports made
  std::uint64_t recheckDrops = 0;  // "Invisible to Win32" dropped because a second look found it
};

// One walk. The owner fills `Drives`, sets the events and runs `Execute` on a thread of its
// own; every report reaches the owner through `sync` while the walk waits. `Terminate` is
// honoured before the next folder.
//
// Per folder: the Win32 listing (FindFirstFileW), the native listing (full directory
// information), then for each native entry in listing order "Invisible to Win32", "Reserved
// filename", "Zero char in filename", "No admin in ACL" and the stream check; then the native
// subfolders are pushed in listing order, so the walk is depth first with drives and subfolders
// taken in reverse. An entry missing from the Win32 view is looked at once more (the folder's
// Win32 listing again, the name natively) before it is reported, so files that come and go
// while the scan runs are no finding. Junctions and symbolic links are checked, not entered.
class TRootKitScannerFiles {
 public:
  explicit TRootKitScannerFiles(std::shared_ptr<base::TSynchronizer> sync);
  ~TRootKitScannerFiles();
  TRootKitScannerFiles(const TRootKitScannerFiles&) = delete;
  TRootKitScannerFiles& operator=(const TRootKitScannerFiles&) = delete;

  // Items begin with a drive letter and a colon ("C:"); filled before `Execute`.
  std::vector<std::string> Drives;
  std::uint32_t OSFlags = 0;  // read at construction
  bool IsNTFamily = false;

  base::TEventSlot<std::u16string> OnFolderScan;                // folder about to be scanned
  base::TEventSlot<std::u16string, std::string> OnFileFinding;  // path, finding text
  base::TEventSlot<std::u16string, std::string> OnFolderFinding;
  base::TEventSlot<> OnTerminate;  // the walk has ended (finished or stopped)

  void Execute();  // the whole walk, then OnTerminate
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  TFileScanCounts Counts() const;

 private:
  struct State;
  std::shared_ptr<base::TSynchronizer> sync_;
  std::atomic<bool> terminated_{false};
  std::unique_ptr<State> state_;

  void ScanFolderNative(const std::u16string& folder, std::vector<std::u16string>& stack);
  void ScanFolderWin32Only(const std::u16string& folder, std::vector<std::u16string>& stack);
  void CheckEntry(const std::u16string& path, std::u16string_view name, bool folder, bool invisible);
  bool AclReports(const std::u16string& path, bool folder);
  void CheckStreams(const std::u16string& path);
  void Report(bool folder, const std::u16string& path, const char* text);
};

}  // namespace files
