// The Deep Scan's registry walk (being built: the walk ends at once).
#include "registry/deep_registry_scanner.h"

namespace registry {

struct TRootKitScannerRegistry::State {};

TRootKitScannerRegistry::TRootKitScannerRegistry(std::shared_ptr<base::TSynchronizer> sync)
    : sync_(std::move(sync)), state_(std::make_unique<State>()) {}
TRootKitScannerRegistry::~TRootKitScannerRegistry() = default;
void TRootKitScannerRegistry::Execute() { OnTerminate.Fire(*sync_); }
TRegistryScanCounts TRootKitScannerRegistry::Counts() const { return {}; }

}  // namespace registry
