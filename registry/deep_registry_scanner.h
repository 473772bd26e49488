// The Deep Scan's registry walk: every key of the chosen hives listed by Win32 and natively.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/synchronize.h"
#include "platform/types.h"

namespace registry {

// Finding kinds of the registry walk.
inline constexpr const char* kInvisibleToWin32 = "Invisible to Win32";
inline constexpr const char* kZeroCharInKeyName = "Zero char in key name";
inline constexpr const char* kZeroCharInValueName = "Zero char in value name";
inline constexpr const char* kNoAdminInAcl = "No admin in ACL";
inline constexpr const char* kCouldNotOpenKey = "Could not open key";

struct TRegistryScanCounts {
  std::uint64_t keys = 0;          // KeyCount: keys taken off the stack
  std::uint64_t findings = 0;
  std::uint64_t recheckDrops = 0;
};

// One walk. Key paths begin and end with "\" (the root is "\"). Reports reach the owner
// through `sync`; `Terminate` is honoured before the next key.
class TRootKitScannerRegistry {
 public:
  explicit TRootKitScannerRegistry(std::shared_ptr<base::TSynchronizer> sync);
  ~TRootKitScannerRegistry();
  TRootKitScannerRegistry(const TRootKitScannerRegistry&) = delete;
  TRootKitScannerRegistry& operator=(const TRootKitScannerRegistry&) = delete;

  std::vector<std::string> RootKeys;  // "HKEY_LOCAL_MACHINE", "HKU", ...
  bool Verbose = false;               // the "verbose" switch of the command line, read at construction
  std::uint32_t OSFlags = 0;
  bool NativeCompare = false;

  base::TEventSlot<platform::HKEY, std::u16string> OnProgress;  // root, key path
  // root, key path of the parent, kind text, subkey or value name ("" for "Could not open key")
  base::TEventSlot<platform::HKEY, std::u16string, std::string, std::u16string> OnKeyFinding;
  base::TEventSlot<platform::HKEY, std::u16string, std::string, std::u16string> OnValueFinding;
  base::TEventSlot<> OnTerminate;
  // The verbose box: caption and text, shown from the scanner thread itself (the walk waits).
  std::function<void(const std::string& caption, const std::string& text)> OnVerbose;

  void Execute();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  TRegistryScanCounts Counts() const;

 private:
  struct State;
  std::shared_ptr<base::TSynchronizer> sync_;
  std::atomic<bool> terminated_{false};
  std::unique_ptr<State> state_;
};

}  // namespace registry
