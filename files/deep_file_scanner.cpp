// The Deep Scan's file walk (being built: the walk ends at once).
#include "files/deep_file_scanner.h"

namespace files {

struct TRootKitScannerFiles::State {};

TRootKitScannerFiles::TRootKitScannerFiles(std::shared_ptr<base::TSynchronizer> sync)
    : sync_(std::move(sync)), state_(std::make_unique<State>()) {}
TRootKitScannerFiles::~TRootKitScannerFiles() = default;
void TRootKitScannerFiles::Execute() { OnTerminate.Fire(*sync_); }
TFileScanCounts TRootKitScannerFiles::Counts() const { return {}; }

}  // namespace files
