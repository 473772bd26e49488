// Cost of the hidden-process check from handles on a machine with many file or key handles.
#include <benchmark/benchmark.h>

#include <string>

#include "app/session.h"
#include "engine/process_indicators.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"

namespace {

// What the handles of the walked process are: the three cases compare the file handles'
// name look-ups against handles that never need the helper thread.
enum HandleKind : int {
  kKeys = 0,           // registry keys: named by the object-name query
  kNamedFiles = 1,     // files whose object name answers
  kNamelessFiles = 2,  // files without an object name: each one goes to the helper
};

constexpr std::uint32_t kFileType = 28;  // the file object type of 5.1, the default system
constexpr std::uint32_t kKeyType = 20;

void BM_HandleProcessesCheck(benchmark::State& state) {
  const auto kind = static_cast<HandleKind>(state.range(0));
  const auto n = static_cast<std::uint32_t>(state.range(1));
  sim::MachineBuilder b;
  b.AddProcess(4, u"System");
  auto& p = b.AddProcess(600, u"busy.exe", u"C:\\busy.exe");
  p.handles.reserve(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::string text = "\\Device\\HarddiskVolume1\\data\\file" + std::to_string(i);
    std::u16string name(text.begin(), text.end());
    if (kind == kNamelessFiles) name.clear();
    p.handles.push_back({4 * (i + 1), kind == kKeys ? kKeyType : kFileType, 0x12019F, 0x81000000u + i,
                         std::move(name), false});
  }
  sim::ScopedSimMachine scoped(b.Build());
  app::RunStartup();
  engine::TRootKitIndicatorHandleProcesses ind("description=x");
  for (auto _ : state) {
    ind.RunTest();
    benchmark::DoNotOptimize(ind.Results().size());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_HandleProcessesCheck)
    ->ArgNames({"kind", "handles"})
    ->Args({kKeys, 20000})
    ->Args({kNamedFiles, 20000})
    ->Args({kNamelessFiles, 20000})
    ->Unit(benchmark::kMillisecond);

}  // namespace
