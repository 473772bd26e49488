// Cost of the hidden-registry comparison on a Run key with many values, against the listings alone.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/session.h"
#include "engine/registry_indicator.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"
#include "registry/nt_registry.h"
#include "registry/win32_registry.h"

namespace {

constexpr const char* kRunPath = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\";

// A Run key of `n` values, one in a hundred hidden from the Win32 view.
std::unique_ptr<sim::Machine> RunKeyMachine(int n) {
  sim::MachineBuilder b;
  sim::RegKey& run = b.Key(u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  run.values.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const std::string name = "Startup entry " + std::to_string(i);
    sim::RegValue v;
    v.name.assign(name.begin(), name.end());
    v.data = {'x', 0, 0, 0};
    v.hidden = i % 100 == 0;
    run.values.push_back(std::move(v));  // distinct names: no duplicate check needed
  }
  return b.Build();
}

// The whole indicator: both listings and the comparison.
void BM_HiddenRegistryComparison(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  sim::ScopedSimMachine scoped(RunKeyMachine(n));
  app::RunStartup();
  engine::TRootKitIndicatorRegistry ind(std::string("rootkey=HKEY_LOCAL_MACHINE,keypath=") + kRunPath);
  for (auto _ : state) {
    ind.RunTest();
    benchmark::DoNotOptimize(ind.Results().size());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// The same platform calls without the comparison: what the indicator costs beyond this is
// the look-up of every native name among the Win32 names.
void BM_HiddenRegistryListingsOnly(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  sim::ScopedSimMachine scoped(RunKeyMachine(n));
  app::RunStartup();
  std::vector<std::u16string> win32Keys, win32Values, nativeKeys, nativeValues;
  for (auto _ : state) {
    registry::TMyRegistry win32;
    win32.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    win32.OpenKeyReadOnly(kRunPath);
    win32.GetKeyNamesW(win32Keys);
    win32.GetValueNamesW(win32Values);
    win32.CloseKey();
    registry::TNtRegistry native;
    native.RootKey = platform::HKEY_LOCAL_MACHINE;
    native.OpenKey(u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\");
    native.GetKeyNames(nativeKeys);
    native.GetValueNames(nativeValues);
    native.CloseKey();
    benchmark::DoNotOptimize(nativeValues.size() + win32Values.size());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(BM_HiddenRegistryComparison)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HiddenRegistryListingsOnly)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
