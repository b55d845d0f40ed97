#include <benchmark/benchmark.h>

#include "runtime/pool.h"
#include "runtime/runtime.h"

#include <cstdlib>

namespace {

// The event queue's node size: the pool's main customer.
constexpr int32_t BlockSize = 28;

// A MainHeap for the duration of one benchmark.
struct BenchHeap {
  BenchHeap() : saved(MainHeap) { MainHeap = HeapCreate(0, 4096, 0); }
  ~BenchHeap() {
    HeapDestroy(MainHeap);
    MainHeap = saved;
  }
  HANDLE saved;
};

// One block stays taken, as the event queue keeps one, so the first chunk
// stays and every pair is served from it.
void BM_PoolAllocFree(benchmark::State& state) {
  BenchHeap heap;
  BlockPool* pool = PoolCreate(BlockSize, 16, 256, 2);
  void* pinned = PoolAlloc(pool);
  for (auto _ : state) {
    void* block = PoolAlloc(pool);
    benchmark::DoNotOptimize(block);
    PoolFree(pool, block);
  }
  PoolFree(pool, pinned);
  PoolDestroy(pool);
}
BENCHMARK(BM_PoolAllocFree);

// Without a held block every pair takes a chunk from the heap and gives it
// back: the pool's worst case.
void BM_PoolAllocFreeEmptyPool(benchmark::State& state) {
  BenchHeap heap;
  BlockPool* pool = PoolCreate(BlockSize, 16, 256, 2);
  for (auto _ : state) {
    void* block = PoolAlloc(pool);
    benchmark::DoNotOptimize(block);
    PoolFree(pool, block);
  }
  PoolDestroy(pool);
}
BENCHMARK(BM_PoolAllocFreeEmptyPool);

// A locked pool pays for its critical section on every call.
void BM_PoolAllocFreeLocked(benchmark::State& state) {
  BenchHeap heap;
  BlockPool* pool = PoolCreate(BlockSize, 16, 256, PoolLockOwn);
  void* pinned = PoolAlloc(pool);
  for (auto _ : state) {
    void* block = PoolAlloc(pool);
    benchmark::DoNotOptimize(block);
    PoolFree(pool, block);
  }
  PoolFree(pool, pinned);
  PoolDestroy(pool);
}
BENCHMARK(BM_PoolAllocFreeLocked);

// Baseline: the C library's allocator for the same size.
void BM_MallocFree(benchmark::State& state) {
  for (auto _ : state) {
    void* block = std::malloc(BlockSize);
    benchmark::DoNotOptimize(block);
    std::free(block);
  }
}
BENCHMARK(BM_MallocFree);

// Baseline: the platform heap the pool takes its chunks from.
void BM_HeapAllocFree(benchmark::State& state) {
  BenchHeap heap;
  for (auto _ : state) {
    void* block = HeapAlloc(MainHeap, 0, BlockSize);
    benchmark::DoNotOptimize(block);
    HeapFree(MainHeap, 0, block);
  }
}
BENCHMARK(BM_HeapAllocFree);

// A burst of 256 blocks taken and then given back, as a queue fills and drains.
void BM_PoolBurst256(benchmark::State& state) {
  BenchHeap heap;
  BlockPool* pool = PoolCreate(BlockSize, 16, 256, 2);
  void* pinned = PoolAlloc(pool);
  void* blocks[256];
  for (auto _ : state) {
    for (void*& block : blocks) block = PoolAlloc(pool);
    benchmark::DoNotOptimize(blocks);
    for (void* block : blocks) PoolFree(pool, block);
  }
  PoolFree(pool, pinned);
  PoolDestroy(pool);
}
BENCHMARK(BM_PoolBurst256);

void BM_MallocBurst256(benchmark::State& state) {
  void* blocks[256];
  for (auto _ : state) {
    for (void*& block : blocks) block = std::malloc(BlockSize);
    benchmark::DoNotOptimize(blocks);
    for (void* block : blocks) std::free(block);
  }
}
BENCHMARK(BM_MallocBurst256);

}  // namespace
