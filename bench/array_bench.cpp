#include <benchmark/benchmark.h>

#include <cstdlib>

#include "runtime/array.h"
#include "runtime/runtime.h"

namespace {

constexpr int32_t Floats = 24;
constexpr SIZE_T BlockBytes = sizeof(ArrayHeader) + Floats * sizeof(float);

HANDLE BenchHeap() {
  if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
  return MainHeap;
}

// The scene's array: 24 floats allocated into a variable and released.
void BM_ArrayAllocFree24Floats(benchmark::State& state) {
  BenchHeap();
  void* var = nullptr;
  for (auto _ : state) {
    void* data = ArrayAlloc(4, Floats, TypeFloat, nullptr, &var);
    benchmark::DoNotOptimize(data);
    ArrayFree(data);
  }
}
BENCHMARK(BM_ArrayAllocFree24Floats);

// Baseline: the same block straight from the heap, zeroed by the heap.
void BM_HeapAllocZeroedFreeSameBytes(benchmark::State& state) {
  HANDLE heap = BenchHeap();
  for (auto _ : state) {
    void* block = HeapAlloc(heap, HEAP_ZERO_MEMORY, BlockBytes);
    benchmark::DoNotOptimize(block);
    HeapFree(heap, 0, block);
  }
}
BENCHMARK(BM_HeapAllocZeroedFreeSameBytes);

// Baseline: the C library's zeroed allocation of the same bytes.
void BM_CallocFreeSameBytes(benchmark::State& state) {
  for (auto _ : state) {
    void* block = std::calloc(1, BlockBytes);
    benchmark::DoNotOptimize(block);
    std::free(block);
  }
}
BENCHMARK(BM_CallocFreeSameBytes);

}  // namespace
