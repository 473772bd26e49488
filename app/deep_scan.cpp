// The Deep Scan session: scanner threads, hand-over handlers, rows and texts.
#include "app/deep_scan.h"

#include <cstdio>

#include "files/deep_file_scanner.h"
#include "platform/platform.h"
#include "registry/deep_registry_scanner.h"
#include "registry/win32_registry.h"

namespace app {

struct TDeepScanSession::FileRun {
  std::shared_ptr<files::TRootKitScannerFiles> scanner;
  Worker worker;
  std::chrono::steady_clock::time_point start;
};
struct TDeepScanSession::RegistryRun {
  std::shared_ptr<registry::TRootKitScannerRegistry> scanner;
  Worker worker;
  std::chrono::steady_clock::time_point start;
};

namespace {

std::u16string Wide(std::string_view text) {
  return platform::Current().kernel32.MultiByteToWideChar(platform::CP_ACP, text);
}

// Whole milliseconds: the summaries show elapsed time, not clock noise.
double Seconds(std::chrono::steady_clock::duration d) {
  return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()) / 1000.0;
}

// Runs `body` on a thread of its own; `done` says when it has returned, so the session can
// join it without blocking.
template <typename Body>
std::thread StartThread(const std::shared_ptr<std::atomic<bool>>& done, Body body) {
  return std::thread([done, body = std::move(body)]() mutable {
    body();
    done->store(true, std::memory_order_release);
  });
}

}  // namespace

void SplitFindingPath(std::u16string_view path, std::u16string& location, std::u16string& object) {
  const auto cut = path.rfind(u'\\');
  if (cut == std::u16string_view::npos) {
    location.clear();
    object.assign(path);
    return;
  }
  location.assign(path.substr(0, cut + 1));
  object.assign(path.substr(cut + 1));
}

TDeepScanRow PathRow(const char* type, std::int32_t kind, std::u16string_view path, const std::string& text) {
  TDeepScanRow row;
  row.Type = type;
  row.Kind = kind;
  SplitFindingPath(path, row.Location, row.Object);
  row.Details = text;
  return row;
}

TDeepScanRow RegistryRow(const char* type, std::int32_t kind, platform::HKEY root,
                         std::u16string_view keyPath, const std::string& text, std::u16string_view name) {
  TDeepScanRow row;
  row.Type = type;
  row.Kind = kind;
  row.Object = name;
  row.Location = Wide(registry::RootKeyName(root));
  row.Location += keyPath;
  row.Details = text;
  return row;
}

void MarkRow(const results::TResultInfoCatalogue& catalogue, TDeepScanRow& row) {
  const std::string key = platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, row.FullName());
  row.Product.clear();
  row.Explanation.clear();
  row.Known = catalogue.Lookup(key, row.Product, row.Explanation);
  if (!row.Known) {
    row.Product.clear();
    row.Explanation.clear();
  }
}

std::string FormatElapsed(std::chrono::steady_clock::duration elapsed) {
  long long total = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
  if (total < 0) total = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  return text;
}

TDeepScanSession::TDeepScanSession(std::shared_ptr<TOwnerSynchronizer> sync, TScanClock clock)
    : sync_(std::move(sync)),
      clock_(std::move(clock)),
      fileLabel_(Wide(kFileScannerStarting)),
      registryLabel_(Wide(kRegistryScannerStarting)) {
  try {
    catalogue_.LoadCatalogue();
  } catch (...) {
    // An unreadable catalogue leaves every row with the plain marker.
  }
}

TDeepScanSession::~TDeepScanSession() {
  auto silence = [](auto& scanner) {
    scanner.OnFolderScan.Clear();
    scanner.OnFileFinding.Clear();
    scanner.OnFolderFinding.Clear();
    scanner.OnTerminate.Clear();
    scanner.Terminate();
  };
  if (file_) {
    silence(*file_->scanner);
    retired_.push_back(std::move(file_->worker));
  }
  if (registry_) {
    auto& s = *registry_->scanner;
    s.OnProgress.Clear();
    s.OnKeyFinding.Clear();
    s.OnValueFinding.Clear();
    s.OnTerminate.Clear();
    s.Terminate();
    retired_.push_back(std::move(registry_->worker));
  }
  // A report already on its way would wait for this thread, which is about to wait for the
  // worker: the hand-over lets such reports go unrun, then the threads are joined.
  sync_->Release();
  for (auto& w : retired_)
    if (w.thread.joinable()) w.thread.join();
}

std::chrono::steady_clock::time_point TDeepScanSession::Now() const {
  return clock_ ? clock_() : std::chrono::steady_clock::now();
}

void TDeepScanSession::Retire(Worker worker) {
  std::erase_if(retired_, [](Worker& w) {
    if (!w.done->load(std::memory_order_acquire)) return false;
    w.thread.join();
    return true;
  });
  retired_.push_back(std::move(worker));
}

void TDeepScanSession::StartScan(const std::vector<std::string>& drives,
                                 const std::vector<std::string>& hives) {
  if (!file_) {
    auto run = std::make_unique<FileRun>();
    run->scanner = std::make_shared<files::TRootKitScannerFiles>(sync_);
    auto& s = *run->scanner;
    s.Drives = drives;
    s.OnFolderScan.Set([this](const std::u16string& folder) {
      fileLabel_ = Wide("Currently scanning folder ") + folder + Wide("...");
    });
    s.OnFileFinding.Set([this](const std::u16string& path, const std::string& text) {
      AddRow(PathRow("File", kKindFile, path, text));
    });
    s.OnFolderFinding.Set([this](const std::u16string& path, const std::string& text) {
      AddRow(PathRow("Folder", kKindFolder, path, text));
    });
    s.OnTerminate.Set([this] { FileScanEnded(); });
    fileSummary_ = {};
    fileSummary_.ran = true;
    run->start = Now();
    run->worker.done = std::make_shared<std::atomic<bool>>(false);
    run->worker.thread = StartThread(run->worker.done, [scanner = run->scanner] { scanner->Execute(); });
    file_ = std::move(run);
  }
  if (!registry_) {
    auto run = std::make_unique<RegistryRun>();
    run->scanner = std::make_shared<registry::TRootKitScannerRegistry>(sync_);
    auto& s = *run->scanner;
    s.RootKeys = hives;
    if (Verbose) s.Verbose = *Verbose;
    if (OnVerbose) s.OnVerbose = OnVerbose;
    s.OnProgress.Set([this](platform::HKEY root, const std::u16string& keyPath) {
      registryLabel_ = Wide("Currently scanning " + registry::RootKeyName(root)) + keyPath + Wide("...");
    });
    s.OnKeyFinding.Set([this](platform::HKEY root, const std::u16string& keyPath, const std::string& text,
                              const std::u16string& name) {
      AddRow(RegistryRow("Key", kKindKey, root, keyPath, text, name));
    });
    s.OnValueFinding.Set([this](platform::HKEY root, const std::u16string& keyPath, const std::string& text,
                                const std::u16string& name) {
      AddRow(RegistryRow("Value", kKindValue, root, keyPath, text, name));
    });
    s.OnTerminate.Set([this] { RegistryScanEnded(); });
    registrySummary_ = {};
    registrySummary_.ran = true;
    run->start = Now();
    run->worker.done = std::make_shared<std::atomic<bool>>(false);
    run->worker.thread = StartThread(run->worker.done, [scanner = run->scanner] { scanner->Execute(); });
    registry_ = std::move(run);
  }
}

void TDeepScanSession::Refresh() {
  if (file_) {
    auto& s = *file_->scanner;
    // The progress handler stays: it only moves the label, and stops with the walk.
    s.OnFileFinding.Clear();
    s.OnFolderFinding.Clear();
    s.OnTerminate.Clear();
    s.Terminate();
    Retire(std::move(file_->worker));
    file_.reset();
  }
  if (registry_) {
    auto& s = *registry_->scanner;
    s.OnKeyFinding.Clear();
    s.OnValueFinding.Clear();
    s.OnTerminate.Clear();
    s.Terminate();
    Retire(std::move(registry_->worker));
    registry_.reset();
  }
  rows_.clear();
  fileSummary_ = {};
  registrySummary_ = {};
}

void TDeepScanSession::Terminate() {
  if (file_) file_->scanner->Terminate();
  if (registry_) registry_->scanner->Terminate();
}

void TDeepScanSession::AddRow(TDeepScanRow row) {
  MarkRow(catalogue_, row);
  rows_.push_back(std::move(row));
  if (OnRow) OnRow(rows_.back());
}

void TDeepScanSession::FileScanEnded() {
  const auto elapsed = Now() - file_->start;
  fileSummary_ = FileSummary();
  fileSummary_.seconds = Seconds(elapsed);
  fileSummary_.finished = !file_->scanner->Terminated();
  fileLabel_ = Wide("Finished scanning filesystem in " + FormatElapsed(elapsed) + ".");
  // The worker is inside this call: it can be joined only once it has returned.
  Retire(std::move(file_->worker));
  file_.reset();
  if (OnScanFinished) OnScanFinished(*this);
}

void TDeepScanSession::RegistryScanEnded() {
  const auto elapsed = Now() - registry_->start;
  registrySummary_ = RegistrySummary();
  registrySummary_.seconds = Seconds(elapsed);
  registrySummary_.finished = !registry_->scanner->Terminated();
  registryLabel_ = Wide("Finished scanning registry in " + FormatElapsed(elapsed) + ".");
  Retire(std::move(registry_->worker));
  registry_.reset();
  if (OnScanFinished) OnScanFinished(*this);
}

TFileScanSummary TDeepScanSession::FileSummary() const {
  if (!file_) return fileSummary_;
  TFileScanSummary s = fileSummary_;
  const auto c = file_->scanner->Counts();
  s.folders = c.folders;
  s.files = c.files;
  s.findings = c.findings;
  s.recheckDrops = c.recheckDrops;
  s.seconds = Seconds(Now() - file_->start);
  return s;
}

TRegistryScanSummary TDeepScanSession::RegistrySummary() const {
  if (!registry_) return registrySummary_;
  TRegistryScanSummary s = registrySummary_;
  const auto c = registry_->scanner->Counts();
  s.keys = c.keys;
  s.findings = c.findings;
  s.recheckDrops = c.recheckDrops;
  s.seconds = Seconds(Now() - registry_->start);
  return s;
}

std::optional<std::string> TDeepScanSession::InfoText(const TDeepScanRow& row) const {
  std::string product, details;
  const std::string key = platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, row.FullName());
  if (!catalogue_.Lookup(key, product, details)) return std::nullopt;
  return product + ": " + details;
}

}  // namespace app
