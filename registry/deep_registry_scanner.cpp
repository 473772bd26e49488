// The Deep Scan's registry walk: every key of the chosen hives listed by Win32 and natively.
#include "registry/deep_registry_scanner.h"

#include <optional>
#include <string_view>
#include <unordered_set>

#include "base/names.h"
#include "base/os_flags.h"
#include "base/security_text.h"
#include "platform/platform.h"
#include "registry/deep_registry_rules.h"
#include "registry/key_security.h"
#include "registry/nt_registry.h"
#include "registry/win32_registry.h"

namespace registry {
namespace {

using Names = std::vector<std::u16string>;

constexpr const char* kVerboseCaption = "Umbrascope verbose";

bool HasZero(std::u16string_view name) { return name.find(u'\0') != std::u16string_view::npos; }

bool IsAscii(std::u16string_view text) {
  for (const char16_t c : text)
    if (c >= 0x80) return false;
  return true;
}

void Fold(base::FoldedNameSet& set, const Names& names) {
  set.Reserve(names.size());
  for (const auto& name : names) set.Add(name);
}

// The Win32 names of one key, asked for each native name. Usually both views list the same
// names in the same order, which one pass over the two lists shows; otherwise a name is looked
// up as written first, and only the names not found so go through the case-folding set (each
// fold a call into the system's locale tables). The answers are those of the folding set alone.
class TWin32Names {
 public:
  TWin32Names(const Names& win32, const Names& native) : win32_(win32), same_(win32 == native) {}

  bool Contains(const std::u16string& nativeName) {
    if (same_) return true;
    if (!exact_) exact_.emplace(win32_.begin(), win32_.end());
    if (exact_->contains(nativeName)) return true;
    if (!folded_) {
      folded_.emplace();
      Fold(*folded_, win32_);
    }
    return folded_->Contains(nativeName);
  }

 private:
  const Names& win32_;
  const bool same_;
  std::optional<std::unordered_set<std::u16string_view>> exact_;
  std::optional<base::FoldedNameSet> folded_;
};

}  // namespace

struct TRootKitScannerRegistry::State {
  std::atomic<std::uint64_t> keys{0}, findings{0}, recheckDrops{0};
};

namespace {

// The second look at one key before its "Invisible to Win32" findings stand: the Win32 view
// listed again (a listing, never an open by name, which a filter of the listings lets
// through) and the native view listed again. A name counts as hidden only when the native
// view still shows it and the Win32 view still does not; when either view cannot be taken a
// second time, the first answer stands.
struct TRecheck {
  bool taken = false;
  base::FoldedNameSet win32Keys, win32Values, nativeKeys, nativeValues;

  bool StillHidden(const std::u16string& name, bool value) const {
    if (!taken) return true;
    return value ? nativeValues.Contains(name) && !win32Values.Contains(name)
                 : nativeKeys.Contains(name) && !win32Keys.Contains(name);
  }
};

// One hive walked by one scanner: its two registry objects, the walk stack and the four name
// lists, reused for every key.
class THiveWalk {
 public:
  THiveWalk(TRootKitScannerRegistry& scanner, base::TSynchronizer& sync, std::atomic<std::uint64_t>& keys,
            std::atomic<std::uint64_t>& findings, std::atomic<std::uint64_t>& drops, platform::HKEY root)
      : s_(scanner),
        sync_(sync),
        keys_(keys),
        findings_(findings),
        drops_(drops),
        root_(root),
        k32_(platform::Current().kernel32) {}

  void Run() {
    try {
      userSid_ = base::CurrentUserSidString();
    } catch (const std::exception&) {
      userSid_.clear();  // the access rule then trusts only the "WD" entries
    }
    native_.RootKey = root_;
    win32_.SetRootKey(root_);
    stack_.assign(1, u"\\");
    while (!stack_.empty() && !s_.Terminated()) {
      const std::u16string path = std::move(stack_.back());
      stack_.pop_back();
      s_.OnProgress.Fire(sync_, root_, path);
      ++keys_;
      Examine(path);
    }
  }

 private:
  void Examine(const std::u16string& path) {
    nativeKeys_.clear();
    nativeValues_.clear();
    win32Keys_.clear();
    win32Values_.clear();
    // A key the Win32 side cannot open is neither examined nor walked, and not reported.
    if (!OpenWin32(path)) return;
    try {
      ListWin32(win32Keys_, win32Values_);
      win32_.CloseKey();
      if (!s_.NativeCompare) {
        for (const auto& name : win32Keys_) stack_.push_back(path + name + u"\\");
        return;
      }
      bool opened = false;
      try {
        if (native_.OpenKey(path)) {
          opened = true;
          native_.GetKeyNames(nativeKeys_);
          native_.GetValueNames(nativeValues_);
          native_.CloseKey();
          Compare(path);
        }
      } catch (...) {
        native_.CloseKey();  // errors of the native half end only the comparison
      }
      // A key that does not open natively is not walked into: its subtree is unknown there.
      if (opened)
        for (const auto& name : nativeKeys_) stack_.push_back(path + name + u"\\");
    } catch (...) {
      win32_.CloseKey();
      if (!path.empty()) KeyFinding(path, kCouldNotOpenKey, u"");
    }
  }

  // On the NT family the key is opened by its UTF-16 path: in 8-bit text a name with characters
  // outside the code page would turn into "?"s, and the key would be skipped or, worse, another
  // key's names compared with this key's native ones.
  bool OpenWin32(const std::u16string& path) {
    if (s_.NativeCompare) return win32_.OpenKeyReadOnlyW(path);
    return win32_.OpenKeyReadOnly(k32_.WideCharToMultiByte(platform::CP_ACP, path));
  }

  // The Win32 names of the open key: UTF-16 on the NT family, else the 8-bit listings widened.
  void ListWin32(Names& keys, Names& values) {
    if (s_.NativeCompare) {
      win32_.GetKeyNamesW(keys);
      win32_.GetValueNamesW(values);
      return;
    }
    std::vector<std::string> narrow;
    win32_.GetKeyNames(narrow);
    for (const auto& n : narrow) keys.push_back(k32_.MultiByteToWideChar(platform::CP_ACP, n));
    win32_.GetValueNames(narrow);
    for (const auto& n : narrow) values.push_back(k32_.MultiByteToWideChar(platform::CP_ACP, n));
  }

  void Compare(const std::u16string& path) {
    TWin32Names knownValues(win32Values_, nativeValues_), knownKeys(win32Keys_, nativeKeys_);
    std::vector<bool> missingValues(nativeValues_.size()), missingKeys(nativeKeys_.size());
    bool candidates = false;
    for (std::size_t i = 0; i < nativeValues_.size(); ++i)
      candidates |= missingValues[i] = !knownValues.Contains(nativeValues_[i]);
    for (std::size_t i = 0; i < nativeKeys_.size(); ++i)
      candidates |= missingKeys[i] = !knownKeys.Contains(nativeKeys_[i]);
    TRecheck recheck;
    if (candidates) Relist(path, recheck);

    for (std::size_t i = 0; i < nativeValues_.size(); ++i) {
      const auto& name = nativeValues_[i];
      if (HasZero(name)) ValueFinding(path, kZeroCharInValueName, name);
      if (missingValues[i]) Invisible(path, name, true, recheck);
    }
    for (std::size_t i = 0; i < nativeKeys_.size(); ++i) {
      const auto& name = nativeKeys_[i];
      if (HasZero(name)) KeyFinding(path, kZeroCharInKeyName, name);
      if (LacksAdmin(path, name)) KeyFinding(path, kNoAdminInAcl, name);
      if (missingKeys[i]) Invisible(path, name, false, recheck);
    }
  }

  void Relist(const std::u16string& path, TRecheck& recheck) {
    Names keys, values;
    try {
      if (!OpenWin32(path)) return;
      ListWin32(keys, values);
      win32_.CloseKey();
      Fold(recheck.win32Keys, keys);
      Fold(recheck.win32Values, values);
      if (!native_.OpenKey(path)) return;
      native_.GetKeyNames(keys);
      native_.GetValueNames(values);
      native_.CloseKey();
      Fold(recheck.nativeKeys, keys);
      Fold(recheck.nativeValues, values);
      recheck.taken = true;
    } catch (...) {
      win32_.CloseKey();
      native_.CloseKey();
    }
  }

  void Invisible(const std::u16string& path, const std::u16string& name, bool value,
                 const TRecheck& recheck) {
    if (!recheck.StillHidden(name, value)) {
      ++drops_;
      return;
    }
    if (value)
      ValueFinding(path, kInvisibleToWin32, name);
    else
      KeyFinding(path, kInvisibleToWin32, name);
    if (s_.Verbose && s_.OnVerbose) {
      const auto text =
          VerboseText(path, value, value ? nativeValues_ : nativeKeys_, value ? win32Values_ : win32Keys_);
      s_.OnVerbose(kVerboseCaption, k32_.WideCharToMultiByte(platform::CP_ACP, text));
    }
  }

  // The access rule for the subkey `name` of `path`. A name with a zero character is not read:
  // the Win32 path would end at the zero and name another key, whose descriptor says nothing.
  bool LacksAdmin(const std::u16string& path, const std::u16string& name) {
    if (HasZero(name)) return false;
    const std::u16string wide = path + name;
    const std::string full = k32_.WideCharToMultiByte(platform::CP_ACP, wide);
    // The descriptor is read by the 8-bit path: one the code page cannot hold would name another key.
    if (!IsAscii(wide) && k32_.MultiByteToWideChar(platform::CP_ACP, full) != wide) return false;
    if (IsAclExemptKey(root_, full)) return false;
    try {
      return SddlLacksAdmin(jtGetRegistrySecurityString(root_, full, base::kOwnerGroupDacl, 0), userSid_);
    } catch (...) {
      return false;  // an unreadable descriptor is no finding
    }
  }

  void KeyFinding(const std::u16string& path, const char* kind, const std::u16string& name) {
    ++findings_;
    s_.OnKeyFinding.Fire(sync_, root_, path, std::string(kind), name);
  }
  void ValueFinding(const std::u16string& path, const char* kind, const std::u16string& name) {
    ++findings_;
    s_.OnValueFinding.Fire(sync_, root_, path, std::string(kind), name);
  }

  TRootKitScannerRegistry& s_;
  base::TSynchronizer& sync_;
  std::atomic<std::uint64_t>& keys_;
  std::atomic<std::uint64_t>& findings_;
  std::atomic<std::uint64_t>& drops_;
  const platform::HKEY root_;
  platform::Kernel32& k32_;
  std::string userSid_;
  TNtRegistry native_;
  TMyRegistry win32_;
  std::vector<std::u16string> stack_;
  Names nativeKeys_, nativeValues_, win32Keys_, win32Values_;
};

}  // namespace

TRootKitScannerRegistry::TRootKitScannerRegistry(std::shared_ptr<base::TSynchronizer> sync)
    : sync_(std::move(sync)), state_(std::make_unique<State>()) {
  Verbose = HasCommandLineSwitch(platform::Current().kernel32.CommandLineArguments(), "verbose");
  OSFlags = base::GetOSFlags();
  NativeCompare = (OSFlags & base::kOSFlagNTFamily) != 0;
}

TRootKitScannerRegistry::~TRootKitScannerRegistry() = default;

void TRootKitScannerRegistry::Execute() {
  state_->keys = 0;
  state_->findings = 0;
  state_->recheckDrops = 0;
  try {
    for (const auto& name : RootKeys) {
      if (Terminated()) break;
      THiveWalk walk(*this, *sync_, state_->keys, state_->findings, state_->recheckDrops,
                     RootKeyFromName(name));
      walk.Run();
    }
  } catch (...) {
    // Nothing escapes the scanner thread; the end is reported all the same.
  }
  OnTerminate.Fire(*sync_);
}

TRegistryScanCounts TRootKitScannerRegistry::Counts() const {
  return {state_->keys.load(), state_->findings.load(), state_->recheckDrops.load()};
}

}  // namespace registry
