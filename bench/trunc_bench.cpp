#include <benchmark/benchmark.h>

#include "runtime/trunc.h"

#include <vector>

namespace {

// Screen coordinates and grey levels, as the face renderer converts them.
std::vector<double> Inputs() {
  std::vector<double> values;
  for (int i = 0; i < 1024; ++i) values.push_back((i * 37 % 1280) * 0.73 - 160.0);
  return values;
}

void BM_TruncToInt(benchmark::State& state) {
  std::vector<double> values = Inputs();
  for (auto _ : state) {
    int32_t sum = 0;
    for (double x : values) sum += TruncToInt(x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_TruncToInt);

// Baseline: the language's own truncating conversion.
void BM_StaticCast(benchmark::State& state) {
  std::vector<double> values = Inputs();
  for (auto _ : state) {
    int32_t sum = 0;
    for (double x : values) {
      benchmark::DoNotOptimize(x);
      sum += static_cast<int32_t>(x);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_StaticCast);

}  // namespace
