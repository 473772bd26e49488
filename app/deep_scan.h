// The Deep Scan session: both scanner threads, their rows with catalogue marks, progress and
// finish texts, refresh and stop. Shared by the console program and the desktop program.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/owner_sync.h"
#include "engine/indicator.h"
#include "platform/types.h"
#include "results/catalogue.h"

namespace files {
class TRootKitScannerFiles;
}
namespace registry {
class TRootKitScannerRegistry;
}

namespace app {

// Row images of the shared image list: the finding kinds the Quick Scan uses too.
using engine::kKindFile;
using engine::kKindFolder;
using engine::kKindKey;
using engine::kKindValue;
// Details marker images: plain, and the warning sign of a row the catalogue knows.
inline constexpr std::int32_t kMarkerPlain = 6;
inline constexpr std::int32_t kMarkerKnown = 7;

// One Deep Scan finding. Location + Object is the full path or the full registry name.
struct TDeepScanRow {
  std::string Type;  // "File", "Folder", "Key", "Value"
  std::int32_t Kind = 0;
  std::u16string Object;
  std::u16string Location;
  std::string Details;  // the finding text
  bool Known = false;   // the catalogue has an entry for Location + Object
  std::string Product;  // of the catalogue entry (system code page); empty when not known
  std::string Explanation;

  std::int32_t Marker() const { return Known ? kMarkerKnown : kMarkerPlain; }
  std::u16string FullName() const { return Location + Object; }
};

// What one scanner did; live while it runs, fixed when it has ended.
struct TFileScanSummary {
  bool ran = false;  // a file scan was started since the last refresh
  std::uint64_t folders = 0;
  std::uint64_t files = 0;
  std::uint64_t findings = 0;
  std::uint64_t recheckDrops = 0;
  double seconds = 0;
  bool finished = false;  // the walk ended by itself, without a request to stop
};
struct TRegistryScanSummary {
  bool ran = false;
  std::uint64_t keys = 0;
  std::uint64_t findings = 0;
  std::uint64_t recheckDrops = 0;
  double seconds = 0;
  bool finished = false;
};

using TScanClock = std::function<std::chrono::steady_clock::time_point()>;

// A full path cut after its last "\": "C:\Windows\x.sys" gives Location "C:\Windows\" and
// Object "x.sys"; without "\" the Location is empty.
void SplitFindingPath(std::u16string_view path, std::u16string& location, std::u16string& object);
// The rows of the scanners' reports: a file or folder path cut into Location and Object, and
// a registry finding as hive name + key path and name.
TDeepScanRow PathRow(const char* type, std::int32_t kind, std::u16string_view path, const std::string& text);
TDeepScanRow RegistryRow(const char* type, std::int32_t kind, platform::HKEY root,
                         std::u16string_view keyPath, const std::string& text, std::u16string_view name);
// Looks the row's full name up in the catalogue (in the system code page) and marks it.
void MarkRow(const results::TResultInfoCatalogue& catalogue, TDeepScanRow& row);
// "hh:nn:ss". Hours go on past 23 (a scan of 25 hours shows 25:00:00, not 01:00:00).
std::string FormatElapsed(std::chrono::steady_clock::duration elapsed);

inline constexpr const char* kFileScannerStarting = "File scanner starting....";
inline constexpr const char* kRegistryScannerStarting = "Registry scanner starting....";

class TDeepScanSession {
 public:
  // Reports reach the session through `sync` on the owner thread, the one that creates the
  // session and calls every member. The built-in catalogue is loaded here. `clock` is for
  // tests; the default is the steady clock.
  explicit TDeepScanSession(std::shared_ptr<TOwnerSynchronizer> sync, TScanClock clock = {});
  // Stops what still runs (nothing more is reported) and joins every thread it started,
  // abandoned ones included: a thread never outlives the machine and the session it reads.
  ~TDeepScanSession();
  TDeepScanSession(const TDeepScanSession&) = delete;
  TDeepScanSession& operator=(const TDeepScanSession&) = delete;

  // Starts a file scanner on `drives` ("C:") and a registry scanner on `hives`
  // ("HKEY_LOCAL_MACHINE"), each only if none is running. An empty list still starts its
  // scanner, which finishes at once.
  void StartScan(const std::vector<std::string>& drives, const std::vector<std::string>& hives);
  // The page's refresh, without the new start: the running scanners lose their finding and
  // termination handlers, are told to stop and are forgotten without waiting; the rows go.
  // Nothing of the abandoned scans is shown any more. The caller then runs StartScan.
  void Refresh();
  // Asks both scanners to stop after their current folder or key, keeping every handler: the
  // rows of that folder or key still come, then the termination handlers (scans marked as
  // stopped). For the console's Ctrl+C.
  void Terminate();

  bool FileScanRunning() const { return file_ != nullptr; }
  bool RegistryScanRunning() const { return registry_ != nullptr; }
  bool Running() const { return FileScanRunning() || RegistryScanRunning(); }

  const std::u16string& FileProgressLabel() const { return fileLabel_; }
  const std::u16string& RegistryProgressLabel() const { return registryLabel_; }
  const std::vector<TDeepScanRow>& Rows() const { return rows_; }
  TFileScanSummary FileSummary() const;
  TRegistryScanSummary RegistrySummary() const;

  results::TResultInfoCatalogue& Catalogue() { return catalogue_; }
  // The information panel's text of a row: "product: details" when the catalogue knows it,
  // else nothing.
  std::optional<std::string> InfoText(const TDeepScanRow& row) const;

  // A row has been appended (owner thread).
  std::function<void(const TDeepScanRow&)> OnRow;
  // A scanner has ended (owner thread), after its finish text was set.
  std::function<void(TDeepScanSession&)> OnScanFinished;
  // Set before StartScan: the registry scanner's verbose switch (unset: the scanner's own
  // reading of the command line) and where its verbose lists go. The lists are shown from the
  // scanner thread, so the receiver must be safe to call from there.
  std::optional<bool> Verbose;
  std::function<void(const std::string& caption, const std::string& text)> OnVerbose;

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  struct FileRun;
  struct RegistryRun;

  void AddRow(TDeepScanRow row);
  void FileScanEnded();
  void RegistryScanEnded();
  // Keeps a thread to be joined later; joins the kept ones that have already ended.
  void Retire(Worker worker);
  std::chrono::steady_clock::time_point Now() const;

  std::shared_ptr<TOwnerSynchronizer> sync_;
  TScanClock clock_;
  results::TResultInfoCatalogue catalogue_;
  std::u16string fileLabel_;
  std::u16string registryLabel_;
  std::vector<TDeepScanRow> rows_;
  std::unique_ptr<FileRun> file_;
  std::unique_ptr<RegistryRun> registry_;
  TFileScanSummary fileSummary_;
  TRegistryScanSummary registrySummary_;
  std::vector<Worker> retired_;
};

}  // namespace app
