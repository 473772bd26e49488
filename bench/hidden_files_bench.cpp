// Cost of the hidden-files comparison as the folder grows: it must stay linear.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "app/session.h"
#include "engine/nt_files_indicator.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"

namespace {

void BM_HiddenFilesComparison(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  sim::MachineBuilder b;
  auto& dir = b.Folder(u"C:\\WINDOWS");
  for (int i = 0; i < n; ++i) {
    auto node = std::make_unique<sim::FileNode>();
    const std::string name = "file" + std::to_string(i) + ".dll";
    node->name.assign(name.begin(), name.end());
    node->hidden = i % 100 == 0;
    dir.children.push_back(std::move(node));  // names added unsorted, then ordered once
  }
  std::sort(dir.children.begin(), dir.children.end(),
            [](const auto& x, const auto& y) { return sim::CompareNames(x->name, y->name) < 0; });
  for (auto& c : dir.children) c->parent = &dir;
  sim::ScopedSimMachine scoped(b.Build());
  app::RunStartup();
  engine::TRootKitIndicatorNTFiles ind("filepath=C:\\WINDOWS\\");
  for (auto _ : state) {
    ind.RunTest();
    benchmark::DoNotOptimize(ind.Results().size());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_HiddenFilesComparison)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
