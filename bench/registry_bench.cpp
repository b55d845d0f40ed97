#include <benchmark/benchmark.h>

#include <vector>

#include "runtime/object.h"
#include "runtime/runtime.h"

namespace {

// A power of two, so that cycling through the identifiers costs a mask.
constexpr int LiveDynamic = 256;

// A window-sized table holding number 5 and a few hundred dynamic objects,
// so that a dynamic lookup probes a live set of realistic size.
struct Registry {
  ObjectTable* table = nullptr;
  std::vector<ObjectId> dynamicIds;
  Registry() {
    if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
    table = ObjectTableNew(52, 16, nullptr);
    *static_cast<void**>(ObjectAlloc(table, 5)) = table;
    for (int i = 0; i < LiveDynamic; ++i) {
      void* record = ObjectAlloc(table, ObjectAny);
      *static_cast<void**>(record) = table;
      dynamicIds.push_back(reinterpret_cast<ObjectId>(record));
    }
  }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

void BM_ObjectGetNumbered(benchmark::State& state) {
  ObjectTable* table = TheRegistry().table;
  ObjectId id = 5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(id);
    benchmark::DoNotOptimize(ObjectGet(table, id));
  }
}
BENCHMARK(BM_ObjectGetNumbered);

void BM_ObjectGetDynamic(benchmark::State& state) {
  Registry& registry = TheRegistry();
  size_t i = 0;
  for (auto _ : state) {
    ObjectId id = registry.dynamicIds[i];
    i = (i + 1) & (LiveDynamic - 1);
    benchmark::DoNotOptimize(ObjectGet(registry.table, id));
  }
}
BENCHMARK(BM_ObjectGetDynamic);

// Baseline: an index into an array of records plus the existence test.
void BM_PlainArrayIndex(benchmark::State& state) {
  static void* handle = &handle;
  std::vector<void*> slots(16, nullptr);
  slots[5] = &handle;
  size_t id = 5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(id);
    void* record = id < slots.size() ? slots[id] : nullptr;
    benchmark::DoNotOptimize(record && *static_cast<void**>(record) ? record : nullptr);
  }
}
BENCHMARK(BM_PlainArrayIndex);

}  // namespace
