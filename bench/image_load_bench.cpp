// Cost of loading a system image with one large folder: short names and folder inserts must stay linear.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "platform/sim/image_loader.h"

namespace {

// A folder of `n` files whose names agree in their first characters, the hard case for
// short-name generation.
std::string FolderImage(int n) {
  std::string json = R"({"umbrascopeImage": 1, "files": [)";
  char name[64];
  for (int i = 0; i < n; ++i) {
    std::snprintf(name, sizeof name, R"(%s{"path": "C:\\big\\file%06d.txt"})", i == 0 ? "" : ",", i);
    json += name;
  }
  return json + "]}";
}

void BM_LoadImageFolder(benchmark::State& state) {
  const std::string json = FolderImage(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto machine = sim::LoadImage(json, "bench.json");
    benchmark::DoNotOptimize(machine.get());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_LoadImageFolder)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
