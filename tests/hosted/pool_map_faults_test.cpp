#include <gtest/gtest.h>

#include "hosted/hooks.h"
#include "runtime/pool.h"
#include "runtime/stringmap.h"
#include "support/allocation_sweep.h"
#include "support/test_support.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

class PoolMapFaultTest : public RuntimeHeapsTest {
 protected:
  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    StringMapsInit();
    mainBlocks = hosted::HeapLiveBlocks(MainHeap);
    stringBlocks = hosted::HeapLiveBlocks(StringHeap);
  }
  void TearDown() override {
    hosted::FailNthAllocation(0);
    RuntimeHeapsTest::TearDown();
  }
  // Nothing the test made is still allocated.
  void ExpectNothingLeft() {
    EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), mainBlocks);
    EXPECT_EQ(hosted::HeapLiveBlocks(StringHeap), stringBlocks);
  }
  size_t mainBlocks = 0;
  size_t stringBlocks = 0;
};

TEST_F(PoolMapFaultTest, PrivatePoolCreationFailsCleanly) {
  hosted::FailNthAllocation(1);
  EXPECT_EQ(PoolCreate(28, 16, 256, 2), nullptr);
  hosted::FailNthAllocation(1);
  EXPECT_EQ(PoolCreate(28, 16, 256, PoolLockOwn), nullptr);
  ExpectNothingLeft();
}

TEST_F(PoolMapFaultTest, SharedPoolCreationLeavesNothingHalfRegistered) {
  // The first allocation is the registry node, the second the pool.
  BlockPool* pool = nullptr;
  EXPECT_EQ(SweepAllocationFailures({MainHeap, StringHeap},
                                    [&] { return (pool = PoolCreate(28, 16, 65536, PoolShared)) != nullptr; }),
            2u);
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(pool->registryNode->refCount, 1);
  EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), mainBlocks + 2);
  // Joining an existing pool needs no memory at all.
  unsigned long long calls = hosted::HeapAllocationCalls();
  EXPECT_EQ(PoolCreate(28, 16, 65536, PoolShared), pool);
  EXPECT_EQ(hosted::HeapAllocationCalls(), calls);
  PoolDestroy(pool);
  PoolDestroy(pool);
  ExpectNothingLeft();
}

TEST_F(PoolMapFaultTest, ChunksCostOneHeapCallPerGroup) {
  BlockPool* pool = PoolCreate(28, 16, 256, 2);
  ASSERT_NE(pool, nullptr);
  std::vector<void*> blocks;
  unsigned long long calls = hosted::HeapAllocationCalls();
  blocks.push_back(PoolAlloc(pool));
  EXPECT_EQ(hosted::HeapAllocationCalls(), calls + 1);
  for (int i = 0; i < 15; ++i) blocks.push_back(PoolAlloc(pool));
  EXPECT_EQ(hosted::HeapAllocationCalls(), calls + 1);
  blocks.push_back(PoolAlloc(pool));
  EXPECT_EQ(hosted::HeapAllocationCalls(), calls + 2);
  // Reusing freed blocks takes nothing from the heap either.
  PoolFree(pool, blocks[3]);
  blocks[3] = PoolAlloc(pool);
  EXPECT_EQ(hosted::HeapAllocationCalls(), calls + 2);
  for (void* block : blocks) ASSERT_NE(block, nullptr);
  EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), mainBlocks + 3);
  for (void* block : blocks) PoolFree(pool, block);
  // Chunks whose blocks are all free are back in the heap.
  EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), mainBlocks + 1);
  PoolDestroy(pool);
  ExpectNothingLeft();
}

TEST_F(PoolMapFaultTest, AllocationFallsBackToASingleSlotChunk) {
  BlockPool* pool = PoolCreate(28, 16, 256, 2);
  ASSERT_NE(pool, nullptr);
  hosted::FailNthAllocation(1);
  void* block = PoolAlloc(pool);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(pool->totalBlocks, 1);
  // A one-slot chunk is full from the start.
  EXPECT_EQ(pool->partialChunks, nullptr);
  ASSERT_NE(pool->fullChunks, nullptr);
  EXPECT_EQ(pool->fullChunks->capacity, 1);
  // The next block comes from a normal chunk again.
  void* next = PoolAlloc(pool);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(pool->totalBlocks, 17);
  ASSERT_NE(pool->partialChunks, nullptr);
  EXPECT_EQ(pool->partialChunks->capacity, 16);
  PoolFree(pool, block);
  EXPECT_EQ(pool->totalBlocks, 16);
  EXPECT_EQ(pool->fullChunks, nullptr);
  PoolFree(pool, next);
  PoolDestroy(pool);
  ExpectNothingLeft();
}

TEST_F(PoolMapFaultTest, AllocationFailsWhenNotEvenOneSlotFits) {
  // A heap that cannot grow: a whole group never fits, one slot once.
  HANDLE bounded = HeapCreate(0, 0, 64 * 1024);
  ASSERT_NE(bounded, nullptr);
  HANDLE saved = MainHeap;
  MainHeap = bounded;
  BlockPool* pool = PoolCreate(40000, 16, 256, 2);
  ASSERT_NE(pool, nullptr);
  void* only = PoolAlloc(pool);
  ASSERT_NE(only, nullptr);
  EXPECT_EQ(pool->totalBlocks, 1);
  EXPECT_EQ(PoolAlloc(pool), nullptr);
  EXPECT_EQ(pool->totalBlocks, 1);
  PoolFree(pool, only);
  EXPECT_EQ(pool->totalBlocks, 0);
  PoolDestroy(pool);
  EXPECT_EQ(hosted::HeapLiveBlocks(bounded), 0u);
  MainHeap = saved;
  HeapDestroy(bounded);
}

TEST_F(PoolMapFaultTest, MapAllocationFailuresLeaveNothingBehind) {
  // Map record, buckets, registry node, entry pool: fail each in turn.
  void* var = nullptr;
  EXPECT_EQ(SweepAllocationFailures(
                {MainHeap, StringHeap}, [&] { return MapAlloc(8, TypeStruct, nullptr, &var, 1024) != nullptr; },
                [&](unsigned n) { EXPECT_EQ(var, nullptr) << n; }),
            4u);
  // A variable that held a map is 0 after a failed allocation into it.
  ASSERT_NE(var, nullptr);
  hosted::FailNthAllocation(1);
  EXPECT_EQ(MapAlloc(8, TypeStruct, nullptr, &var, 1024), nullptr);
  EXPECT_EQ(var, nullptr);
  ExpectNothingLeft();
}

TEST_F(PoolMapFaultTest, InsertFailuresKeepTheMapAsItWas) {
  void* var = nullptr;
  auto* map = static_cast<StringMap*>(MapAlloc(8, TypeStruct, nullptr, &var, 64));
  ASSERT_NE(map, nullptr);
  ASSERT_NE(MapInsert(map, TEXT("first")), nullptr);
  // The key's copy fails: no entry, and its block is back in the pool.
  hosted::FailNthAllocation(1);
  EXPECT_EQ(MapInsert(map, TEXT("second")), nullptr);
  EXPECT_EQ(map->count, 1);
  EXPECT_EQ(MapFind(map, TEXT("second")), nullptr);
  EXPECT_EQ(map->pool->partialChunks->freeCount, 1);
  ASSERT_NE(MapInsert(map, TEXT("second")), nullptr);
  EXPECT_EQ(map->count, 2);
  MapFree(map);
  EXPECT_EQ(var, nullptr);
  ExpectNothingLeft();
}

struct Named {
  WCHAR* name;
  int32_t value;
};
const LayoutWord NamedLayout[] = {0, LayoutEnd};

TEST_F(PoolMapFaultTest, FreeReleasesKeysAndElementFields) {
  void* var = nullptr;
  auto* map = static_cast<StringMap*>(MapAlloc(sizeof(Named), TypeStruct, NamedLayout, &var, 32));
  ASSERT_NE(map, nullptr);
  for (const WCHAR* key : {TEXT("one"), TEXT("two"), TEXT("three")}) {
    auto* e = static_cast<Named*>(MapInsert(map, key));
    ASSERT_NE(e, nullptr);
    StringAssign(&e->name, key);
  }
  EXPECT_EQ(hosted::HeapLiveBlocks(StringHeap), stringBlocks + 6);
  EXPECT_EQ(MapDelete(map, TEXT("two")), 1);
  EXPECT_EQ(hosted::HeapLiveBlocks(StringHeap), stringBlocks + 4);
  MapFree(map);
  ExpectNothingLeft();
}

TEST_F(PoolMapFaultTest, FailedCopyKeepsTheDestination) {
  void* sourceVar = nullptr;
  void* destVar = nullptr;
  auto* source = static_cast<StringMap*>(MapAlloc(sizeof(Named), TypeStruct, NamedLayout, &sourceVar, 32));
  auto* dest = static_cast<StringMap*>(MapAlloc(sizeof(Named), TypeStruct, NamedLayout, &destVar, 32));
  ASSERT_NE(source, nullptr);
  ASSERT_NE(dest, nullptr);
  for (const WCHAR* key : {TEXT("a"), TEXT("b"), TEXT("c"), TEXT("d")}) {
    auto* e = static_cast<Named*>(MapInsert(source, key));
    ASSERT_NE(e, nullptr);
    StringAssign(&e->name, key);
  }
  auto* kept = static_cast<Named*>(MapInsert(dest, TEXT("kept")));
  ASSERT_NE(kept, nullptr);
  StringAssign(&kept->name, TEXT("kept"));
  size_t mainBefore = hosted::HeapLiveBlocks(MainHeap);
  size_t stringsBefore = hosted::HeapLiveBlocks(StringHeap);
  // The buckets are the first allocation, then each entry copies its key
  // and then its name. A failed field copy is not seen by the caller (the
  // field stays empty), so only the buckets and keys are failed here.
  for (unsigned failing : {1u, 2u, 4u, 8u}) {
    hosted::FailNthAllocation(failing);
    EXPECT_EQ(MapCopy(source, dest, 0), 0) << "failing allocation " << failing;
    hosted::FailNthAllocation(0);
    EXPECT_EQ(dest->count, 1);
    ASSERT_NE(MapFind(dest, TEXT("kept")), nullptr);
    EXPECT_EQ(MapFind(dest, TEXT("a")), nullptr);
    EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), mainBefore);
    EXPECT_EQ(hosted::HeapLiveBlocks(StringHeap), stringsBefore);
  }
  EXPECT_EQ(MapCopy(source, dest, 0), 1);
  EXPECT_EQ(dest->count, 4);
  MapFree(source);
  MapFree(dest);
  ExpectNothingLeft();
}

std::atomic<int> OnceRuns{0};
std::atomic<bool> OnceFinished{false};
void SlowOnce() {
  ++OnceRuns;
  Sleep(50);
  OnceFinished = true;
}

// Runs RunOnce from eight threads released together; returns how many
// returned before the function had finished.
int RaceRunOnce(OnceWord* once) {
  std::atomic<int> early{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < 8; ++t) {
    workers.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      RunOnce(once, SlowOnce);
      if (!OnceFinished.load()) ++early;
    });
  }
  go = true;
  for (std::thread& worker : workers) worker.join();
  return early.load();
}

TEST(RunOnceFallbackTest, WithoutThePlatformFacilityTheOnceWordProtocolRuns) {
  hosted::SetModuleMissing("kernel32.dll", true);
  static OnceWord once = INIT_ONCE_STATIC_INIT;
  OnceRuns = 0;
  OnceFinished = false;
  EXPECT_EQ(RaceRunOnce(&once), 0);
  EXPECT_EQ(OnceRuns.load(), 1);
  // The word ends in its "done" state, and later calls return at once.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(once.Ptr), 2u);
  RunOnce(&once, SlowOnce);
  EXPECT_EQ(OnceRuns.load(), 1);
  hosted::SetModuleMissing("kernel32.dll", false);
}

TEST(RunOnceFallbackTest, ThePlatformPathGivesTheLibraryBack) {
  static OnceWord once = INIT_ONCE_STATIC_INIT;
  OnceRuns = 0;
  OnceFinished = false;
  int loads = hosted::ModuleLoadCount("kernel32.dll");
  EXPECT_EQ(RaceRunOnce(&once), 0);
  EXPECT_EQ(OnceRuns.load(), 1);
  EXPECT_EQ(hosted::ModuleLoadCount("kernel32.dll"), loads);
}

TEST_F(PoolMapFaultTest, SharedPoolsWorkWithoutThePlatformFacility) {
  hosted::SetModuleMissing("kernel32.dll", true);
  BlockPool* pool = PoolCreate(12, 16, 256, PoolShared);
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(PoolCreate(12, 16, 256, PoolShared), pool);
  PoolDestroy(pool);
  PoolDestroy(pool);
  hosted::SetModuleMissing("kernel32.dll", false);
  ExpectNothingLeft();
}

}  // namespace
