// Cost of the Deep Scan's registry walk on synthetic hives, against a loop making the same calls.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "base/security_text.h"
#include "base/synchronize.h"
#include "platform/platform.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"
#include "registry/deep_registry_scanner.h"
#include "registry/key_security.h"
#include "registry/nt_registry.h"
#include "registry/win32_registry.h"

namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// `n` keys below HKLM\SOFTWARE\Bench in groups of a hundred, each with two values; nothing is
// hidden, so the walk and the loop below make the same calls.
std::unique_ptr<sim::Machine> HiveMachine(int n) {
  sim::MachineBuilder b;
  std::vector<sim::MachineBuilder::BulkKey> keys;
  keys.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    sim::MachineBuilder::BulkKey k;
    k.fullKey =
        Wide("HKLM\\SOFTWARE\\Bench\\Group " + std::to_string(i / 100) + "\\Key " + std::to_string(i % 100));
    k.values.push_back(sim::RegValue{u"", 1, {'d', 0, 0, 0}, false});
    k.values.push_back(sim::RegValue{u"Setting", 4, {1, 0, 0, 0}, false});
    keys.push_back(std::move(k));
  }
  b.AddKeys(std::move(keys));
  return b.Build();
}

void BM_DeepRegistry(benchmark::State& state) {
  sim::ScopedSimMachine scoped(HiveMachine(static_cast<int>(state.range(0))));
  app::RunStartup();
  std::uint64_t keys = 0;
  for (auto _ : state) {
    registry::TRootKitScannerRegistry scanner(std::make_shared<base::TDirectSynchronizer>());
    scanner.RootKeys = {"HKEY_LOCAL_MACHINE"};
    scanner.OnProgress.Set([](platform::HKEY, const std::u16string&) {});
    scanner.Execute();
    keys = scanner.Counts().keys;
  }
  state.counters["keys"] = static_cast<double>(keys);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(keys));
}

// The walk's platform calls alone: per key the path in 8-bit text, the Win32 open and both
// Win32 listings, the native open and both native listings, and one descriptor read per
// native subkey.
void BM_DeepRegistryMinimal(benchmark::State& state) {
  sim::ScopedSimMachine scoped(HiveMachine(static_cast<int>(state.range(0))));
  app::RunStartup();
  auto& k32 = platform::Current().kernel32;
  std::uint64_t keys = 0;
  for (auto _ : state) {
    keys = 0;
    registry::TMyRegistry win32;
    win32.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    registry::TNtRegistry native;
    native.RootKey = platform::HKEY_LOCAL_MACHINE;
    std::vector<std::u16string> stack{u"\\"}, nk, nv, wk, wv;
    while (!stack.empty()) {
      const std::u16string path = std::move(stack.back());
      stack.pop_back();
      ++keys;
      if (!win32.OpenKeyReadOnly(k32.WideCharToMultiByte(platform::CP_ACP, path))) continue;
      win32.GetKeyNamesW(wk);
      win32.GetValueNamesW(wv);
      win32.CloseKey();
      if (!native.OpenKey(path)) continue;
      native.GetKeyNames(nk);
      native.GetValueNames(nv);
      native.CloseKey();
      for (const auto& name : nk) {
        try {
          benchmark::DoNotOptimize(registry::jtGetRegistrySecurityString(
              platform::HKEY_LOCAL_MACHINE, k32.WideCharToMultiByte(platform::CP_ACP, path + name),
              base::kOwnerGroupDacl, 0));
        } catch (const std::exception&) {
        }
        stack.push_back(path + name + u"\\");
      }
      benchmark::DoNotOptimize(wk.size() + wv.size() + nv.size());
    }
  }
  state.counters["keys"] = static_cast<double>(keys);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(keys));
}

// Building the hive alone: the bulk add must stay linear in the number of keys.
void BM_BulkAddKeys(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(HiveMachine(static_cast<int>(state.range(0))));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_BulkAddKeys)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepRegistry)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepRegistryMinimal)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
