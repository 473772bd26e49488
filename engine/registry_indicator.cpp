// The hidden-registry indicator: subkeys and values of one key compared between the two views.
#include "engine/registry_indicator.h"

#include <string_view>
#include <vector>

#include "base/names.h"
#include "platform/platform.h"
#include "registry/nt_registry.h"
#include "registry/win32_registry.h"

namespace engine {

namespace {

using Names = std::vector<std::u16string>;

bool HasZero(std::u16string_view name) { return name.find(u'\0') != std::u16string_view::npos; }

// The Win32 names for case-insensitive, locale-aware look-ups, as a user would see two names
// as the same: one hash look-up per native name, so a key with many values costs linear time.
base::FoldedNameSet Known(const Names& list) {
  base::FoldedNameSet set;
  set.Reserve(list.size());
  for (const auto& name : list) set.Add(name);
  return set;
}

}  // namespace

platform::HKEY TRootKitIndicatorRegistry::RootKeyValue() const {
  return registry::RootKeyFromName(Param("rootkey"));
}

void TRootKitIndicatorRegistry::RunTest() {
  TRootKitIndicator::RunTest();
  auto& k32 = platform::Current().kernel32;
  const std::string keyPath = KeyPath();
  const platform::HKEY root = RootKeyValue();
  const std::u16string prefix =
      k32.MultiByteToWideChar(platform::CP_ACP, registry::RootKeyName(root) + keyPath);
  auto report = [&](const std::u16string& name, std::int32_t kind) {
    AddResult(prefix + name, kind);
    State_ = kStateFound;
  };

  Names win32Keys, win32Values;
  registry::TMyRegistry win32;
  win32.SetRootKey(root);
  if (win32.OpenKeyReadOnly(keyPath)) {
    // An error while listing ends the comparison; what was found so far stands.
    try {
      win32.GetKeyNamesW(win32Keys);
      win32.GetValueNamesW(win32Values);
      win32.CloseKey();

      if (IsNTFamily()) {
        registry::TNtRegistry native;
        native.RootKey = root;
        if (native.OpenKey(k32.MultiByteToWideChar(platform::CP_ACP, keyPath))) {
          try {
            Names nativeKeys, nativeValues;
            native.GetKeyNames(nativeKeys);
            native.GetValueNames(nativeValues);
            const base::FoldedNameSet knownKeys = Known(win32Keys);
            for (const auto& name : nativeKeys)
              if (HasZero(name) || !knownKeys.Contains(name)) report(name, kKindKey);
            const base::FoldedNameSet knownValues = Known(win32Values);
            for (const auto& name : nativeValues)
              if (HasZero(name) || !knownValues.Contains(name)) report(name, kKindValue);
          } catch (const std::exception&) {
          }
          native.CloseKey();
        }
      }

      // Names a Win32 program cannot handle, whatever the native view says.
      for (const auto& name : win32Keys)
        if (HasZero(name)) report(name, kKindKey);
      for (const auto& name : win32Values)
        if (HasZero(name)) report(name, kKindValue);
    } catch (const std::exception&) {
    }
  }
  if (State_ == kStateNotRun) State_ = kStateNothingFound;
}

std::string TRootKitIndicatorRegistry::ResultText() const {
  return ResultNamesText("No hidden entries detected.", "Hidden entries: ");
}

}  // namespace engine
