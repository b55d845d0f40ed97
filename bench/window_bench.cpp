#include <benchmark/benchmark.h>

#include "runtime/runtime.h"
#include "runtime/stringmap.h"
#include "window/events.h"
#include "window/window.h"

#include <deque>

namespace {

// Fresh heaps and the posted-events facility as start-up leaves it: empty
// queue, empty binding table, hidden window.
struct BenchEvents {
  BenchEvents() : saved(MainHeap) {
    MainHeap = HeapCreate(0, 4096, 0);
    Globals.instance = GetModuleHandleW(nullptr);
    StringsInit();
    StringMapsInit();
    PostedEventsInit();
  }
  ~BenchEvents() {
    PostedEventsEnd();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    StringsEnd();
    MainHeapDestroy();
    MainHeap = saved;
  }
  HANDLE saved;
};

// One event in and out: the merge test, a pool node, the five binding
// lookups and the fetch.
void BM_EventAppendFetch(benchmark::State& state) {
  BenchEvents events;
  for (auto _ : state) {
    EventAppend(EventRepaint, 0, 0, 0, 0, nullptr);
    benchmark::DoNotOptimize(EventFetch());
  }
}
BENCHMARK(BM_EventAppendFetch);

// Baseline: the same record through a standard double-ended queue.
void BM_DequePushPop(benchmark::State& state) {
  std::deque<EventNode> queue;
  for (auto _ : state) {
    queue.push_back(EventNode{nullptr, EventRepaint, 0, 0, 0, 0, nullptr});
    benchmark::DoNotOptimize(queue.front().code);
    queue.pop_front();
  }
}
BENCHMARK(BM_DequePushPop);

// The frame loop's poll when nothing happened: an empty fetch and an empty
// peek.
void BM_WindowPollEventEmpty(benchmark::State& state) {
  BenchEvents events;
  for (auto _ : state) benchmark::DoNotOptimize(WindowPollEvent());
}
BENCHMARK(BM_WindowPollEventEmpty);

// Baseline: the native part alone, one empty peek.
void BM_PeekMessageEmpty(benchmark::State& state) {
  BenchEvents events;
  MSG msg;
  for (auto _ : state) benchmark::DoNotOptimize(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD));
}
BENCHMARK(BM_PeekMessageEmpty);

}  // namespace
