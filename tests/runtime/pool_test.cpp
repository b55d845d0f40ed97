#include <gtest/gtest.h>

#include "runtime/pool.h"
#include "support/test_support.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr bool Is32Bit = sizeof(void*) == 4;

using PoolTest = RuntimeHeapsTest;

int32_t ChunkCount(PoolChunk* list) {
  int32_t n = 0;
  for (; list; list = list->next) ++n;
  return n;
}

TEST_F(PoolTest, SlotSizeIsRequestRoundedToWordsPlusHeader) {
  struct Case {
    int32_t request;
    int32_t slot32;
    int32_t slot64;
  };
  for (Case c : {Case{28, 32, 40}, Case{5, 12, 16}, Case{0, 4, 8}, Case{8, 12, 16}, Case{9, 16, 24}}) {
    BlockPool* pool = PoolCreate(c.request, 16, 256, 2);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->slotSize, Is32Bit ? c.slot32 : c.slot64) << "request " << c.request;
    EXPECT_EQ(pool->totalBlocks, 0);
    EXPECT_EQ(pool->fullChunks, nullptr);
    EXPECT_EQ(pool->partialChunks, nullptr);
    EXPECT_EQ(pool->registryNode, nullptr);
    EXPECT_EQ(pool->locked, 0);
    PoolDestroy(pool);
  }
}

TEST_F(PoolTest, FirstChunkHandsOutSixteenConsecutiveSlots) {
  BlockPool* pool = PoolCreate(28, 16, 256, 2);
  ASSERT_NE(pool, nullptr);
  std::vector<std::byte*> blocks;
  for (int i = 0; i < 16; ++i) blocks.push_back(static_cast<std::byte*>(PoolAlloc(pool)));
  EXPECT_EQ(pool->totalBlocks, 16);
  for (int i = 1; i < 16; ++i) EXPECT_EQ(blocks[i] - blocks[i - 1], pool->slotSize) << "slot " << i;
  // The chunk is now exhausted and has moved to the full list.
  EXPECT_EQ(pool->partialChunks, nullptr);
  ASSERT_EQ(ChunkCount(pool->fullChunks), 1);
  PoolChunk* first = pool->fullChunks;
  EXPECT_EQ(first->capacity, 16);
  EXPECT_EQ(first->nextUnused, 16);
  EXPECT_EQ(first->freeCount, 0);
  EXPECT_EQ(reinterpret_cast<std::byte*>(first + 1) + PoolSlotHeader, blocks[0]);

  void* seventeenth = PoolAlloc(pool);
  ASSERT_NE(seventeenth, nullptr);
  EXPECT_EQ(pool->totalBlocks, 32);
  ASSERT_EQ(ChunkCount(pool->partialChunks), 1);
  EXPECT_EQ(pool->partialChunks->capacity, 16);
  EXPECT_EQ(pool->partialChunks->nextUnused, 1);
  PoolDestroy(pool);
}

// Records the capacity of every chunk the pool adds while it grows to at
// least `until` blocks, all kept in use.
std::vector<int32_t> GrowthSequence(BlockPool* pool, int32_t until, std::vector<void*>& held) {
  std::vector<int32_t> capacities;
  while (pool->totalBlocks < until) {
    int32_t before = pool->totalBlocks;
    void* block = PoolAlloc(pool);
    if (!block) break;
    held.push_back(block);
    if (pool->totalBlocks != before) capacities.push_back(pool->totalBlocks - before);
  }
  return capacities;
}

TEST_F(PoolTest, ChunksGrowWithThePool) {
  BlockPool* pool = PoolCreate(12, 16, 65536, 2);
  ASSERT_NE(pool, nullptr);
  std::vector<void*> held;
  std::vector<int32_t> got = GrowthSequence(pool, 1200, held);
  // 16 up to 512 blocks, then a sixteenth of the pool in steps of 16:
  // 32 from 512, 48 from 768, 64 once the pool passed 1024.
  std::vector<int32_t> expected;
  expected.insert(expected.end(), 32, 16);
  expected.insert(expected.end(), 8, 32);
  expected.insert(expected.end(), 6, 48);
  expected.insert(expected.end(), 3, 64);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(pool->totalBlocks, 1248);
  EXPECT_EQ(ChunkCount(pool->fullChunks) + ChunkCount(pool->partialChunks), 49);
  for (void* block : held) PoolFree(pool, block);
  EXPECT_EQ(pool->totalBlocks, 0);
  EXPECT_EQ(pool->fullChunks, nullptr);
  EXPECT_EQ(pool->partialChunks, nullptr);
  PoolDestroy(pool);
}

TEST_F(PoolTest, GrowMinAndGrowMaxBoundTheChunkSize) {
  std::vector<void*> held;
  BlockPool* capped = PoolCreate(4, 16, 24, 2);
  ASSERT_NE(capped, nullptr);
  std::vector<int32_t> got = GrowthSequence(capped, 560, held);
  ASSERT_EQ(got.size(), 34u);
  EXPECT_EQ(got[31], 16);
  // 512 / 16 = 32 would be next, but the pool never takes more than 24.
  EXPECT_EQ(got[32], 24);
  EXPECT_EQ(got[33], 24);
  for (void* block : held) PoolFree(capped, block);
  PoolDestroy(capped);

  held.clear();
  BlockPool* big = PoolCreate(4, 100, 256, 2);
  ASSERT_NE(big, nullptr);
  got = GrowthSequence(big, 300, held);
  EXPECT_EQ(got, (std::vector<int32_t>{100, 100, 100}));
  for (void* block : held) PoolFree(big, block);
  PoolDestroy(big);
}

TEST_F(PoolTest, ChunkGoesBackWhenEverySlotItHandedOutIsFree) {
  BlockPool* pool = PoolCreate(28, 16, 256, 2);
  ASSERT_NE(pool, nullptr);
  // The only block of a fresh chunk.
  void* only = PoolAlloc(pool);
  EXPECT_EQ(pool->totalBlocks, 16);
  PoolFree(pool, only);
  EXPECT_EQ(pool->totalBlocks, 0);
  EXPECT_EQ(pool->partialChunks, nullptr);

  // A full first chunk and one block of a second: freeing that block drops
  // the second chunk and keeps the first.
  std::vector<void*> first;
  for (int i = 0; i < 16; ++i) first.push_back(PoolAlloc(pool));
  void* extra = PoolAlloc(pool);
  EXPECT_EQ(pool->totalBlocks, 32);
  PoolFree(pool, extra);
  EXPECT_EQ(pool->totalBlocks, 16);
  EXPECT_EQ(pool->partialChunks, nullptr);
  EXPECT_EQ(ChunkCount(pool->fullChunks), 1);

  // A chunk whose never-used slots remain goes back once its handed-out
  // blocks are free, even from the partial list.
  for (int i = 0; i < 15; ++i) PoolFree(pool, first[i]);
  EXPECT_EQ(pool->totalBlocks, 16);
  PoolFree(pool, first[15]);
  EXPECT_EQ(pool->totalBlocks, 0);
  EXPECT_EQ(pool->fullChunks, nullptr);
  EXPECT_EQ(pool->partialChunks, nullptr);
  PoolDestroy(pool);
}

TEST_F(PoolTest, LastFreedBlockIsReusedFirst) {
  BlockPool* pool = PoolCreate(28, 16, 256, 2);
  ASSERT_NE(pool, nullptr);
  void* a = PoolAlloc(pool);
  void* b = PoolAlloc(pool);
  void* c = PoolAlloc(pool);
  PoolFree(pool, a);
  EXPECT_EQ(PoolAlloc(pool), a);
  PoolFree(pool, a);
  PoolFree(pool, b);
  EXPECT_EQ(PoolAlloc(pool), b);
  EXPECT_EQ(PoolAlloc(pool), a);
  // Only then the slots never handed out.
  void* d = PoolAlloc(pool);
  EXPECT_EQ(static_cast<std::byte*>(d) - static_cast<std::byte*>(c), pool->slotSize);
  PoolClear(pool);
  PoolDestroy(pool);
}

TEST_F(PoolTest, FullChunkBecomesPartialWhenABlockComesBack) {
  BlockPool* pool = PoolCreate(16, 16, 256, 2);
  ASSERT_NE(pool, nullptr);
  std::vector<void*> first;
  for (int i = 0; i < 16; ++i) first.push_back(PoolAlloc(pool));
  PoolChunk* firstChunk = pool->fullChunks;
  void* second = PoolAlloc(pool);
  PoolChunk* secondChunk = pool->partialChunks;
  ASSERT_NE(secondChunk, nullptr);
  ASSERT_NE(secondChunk, firstChunk);

  PoolFree(pool, first[7]);
  // The first chunk leaves the full list and heads the partial list, so the
  // next allocation takes the block just freed.
  EXPECT_EQ(pool->fullChunks, nullptr);
  ASSERT_EQ(ChunkCount(pool->partialChunks), 2);
  EXPECT_EQ(pool->partialChunks, firstChunk);
  EXPECT_EQ(pool->partialChunks->next, secondChunk);
  EXPECT_EQ(secondChunk->prev, firstChunk);
  EXPECT_EQ(PoolAlloc(pool), first[7]);
  EXPECT_EQ(pool->fullChunks, firstChunk);
  EXPECT_EQ(pool->partialChunks, secondChunk);
  EXPECT_EQ(secondChunk->prev, nullptr);

  for (void* block : first) PoolFree(pool, block);
  PoolFree(pool, second);
  EXPECT_EQ(pool->totalBlocks, 0);
  PoolDestroy(pool);
}

TEST_F(PoolTest, BlocksDoNotOverlapAndKeepTheirContent) {
  constexpr int32_t size = 13;
  BlockPool* pool = PoolCreate(size, 16, 256, 2);
  ASSERT_NE(pool, nullptr);
  std::vector<unsigned char*> blocks;
  for (int i = 0; i < 100; ++i) {
    auto* block = static_cast<unsigned char*>(PoolAlloc(pool));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % sizeof(void*), 0u);
    std::memset(block, i, size);
    blocks.push_back(block);
  }
  // Freeing every other block writes free-list links into their slots; the
  // blocks still in use must not notice.
  for (int i = 0; i < 100; i += 2) PoolFree(pool, blocks[i]);
  for (int i = 1; i < 100; i += 2) {
    for (int j = 0; j < size; ++j) ASSERT_EQ(blocks[i][j], i) << "block " << i << " byte " << j;
  }
  PoolClear(pool);
  EXPECT_EQ(pool->totalBlocks, 0);
  EXPECT_EQ(pool->fullChunks, nullptr);
  EXPECT_EQ(pool->partialChunks, nullptr);
  // A cleared pool starts over.
  EXPECT_NE(PoolAlloc(pool), nullptr);
  EXPECT_EQ(pool->totalBlocks, 16);
  PoolDestroy(pool);
}

TEST_F(PoolTest, BadArgumentsAreRefusedOrIgnored) {
  EXPECT_EQ(PoolCreate(-1, 16, 256, 2), nullptr);
  EXPECT_EQ(PoolCreate(8, 0, 256, 2), nullptr);
  EXPECT_EQ(PoolCreate(8, 16, 0, 4), nullptr);
  EXPECT_EQ(PoolAlloc(nullptr), nullptr);
  PoolFree(nullptr, nullptr);
  PoolClear(nullptr);
  PoolDestroy(nullptr);
  BlockPool* pool = PoolCreate(8, 16, 256, 2);
  ASSERT_NE(pool, nullptr);
  PoolFree(pool, nullptr);
  EXPECT_EQ(pool->totalBlocks, 0);
  PoolDestroy(pool);
}

TEST_F(PoolTest, SharedPoolsAreCountedAndLeaveTheRegistryWithTheirLastReference) {
  BlockPool* a = PoolCreate(28, 16, 65536, PoolShared);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(a->registryNode, nullptr);
  EXPECT_EQ(a->registryNode->refCount, 1);
  EXPECT_EQ(a->registryNode->pool, a);
  EXPECT_EQ(a->registryNode->flags, PoolShared);
  EXPECT_EQ(a->registryNode->slotSize, a->slotSize);
  // Requests with the same slot size and flags share; 25 rounds to 28's slot.
  EXPECT_EQ(PoolCreate(28, 16, 256, PoolShared), a);
  EXPECT_EQ(PoolCreate(25, 16, 256, PoolShared), a);
  EXPECT_EQ(a->registryNode->refCount, 3);
  BlockPool* otherFlags = PoolCreate(28, 16, 65536, PoolShared | PoolLockOwn);
  BlockPool* otherSize = PoolCreate(60, 16, 65536, PoolShared);
  ASSERT_NE(otherFlags, nullptr);
  ASSERT_NE(otherSize, nullptr);
  EXPECT_NE(otherFlags, a);
  EXPECT_NE(otherSize, a);
  EXPECT_EQ(otherFlags->locked, 1);
  EXPECT_EQ(a->locked, 0);

  PoolDestroy(a);
  PoolDestroy(a);
  EXPECT_EQ(a->registryNode->refCount, 1);
  EXPECT_NE(PoolAlloc(a), nullptr);
  // The last reference frees the pool; a later request gets a fresh one.
  PoolDestroy(a);
  BlockPool* again = PoolCreate(28, 16, 65536, PoolShared);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->registryNode->refCount, 1);
  EXPECT_EQ(again->totalBlocks, 0);

  // Unlinking a node in the middle keeps its neighbours registered.
  BlockPool* middle = PoolCreate(100, 16, 256, PoolShared);
  ASSERT_NE(middle, nullptr);
  BlockPool* newest = PoolCreate(200, 16, 256, PoolShared);
  PoolDestroy(middle);
  EXPECT_EQ(PoolCreate(200, 16, 256, PoolShared), newest);
  EXPECT_EQ(PoolCreate(60, 16, 256, PoolShared), otherSize);
  EXPECT_EQ(newest->registryNode->refCount, 2);
  EXPECT_EQ(otherSize->registryNode->refCount, 2);
  for (BlockPool* pool : {again, otherFlags, otherSize, otherSize, newest, newest}) PoolDestroy(pool);
}

TEST_F(PoolTest, RegistryForgetsPoolsThatWentWithMainHeap) {
  // Shared pools that are never destroyed go with their heap.
  ASSERT_NE(PoolCreate(36, 16, 256, PoolShared), nullptr);
  ASSERT_NE(PoolCreate(36, 16, 256, PoolShared | PoolLockOwn), nullptr);
  MainHeapDestroy();
  // A new heap may well get the old one's address; its blocks then lie
  // where the old nodes were, holding anything at all.
  MainHeap = HeapCreate(0, 4096, 0);
  ASSERT_NE(MainHeap, nullptr);
  for (int i = 0; i < 16; ++i) {
    void* block = HeapAlloc(MainHeap, 0, sizeof(PoolRegistryNode));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, sizeof(PoolRegistryNode));
  }
  BlockPool* pool = PoolCreate(36, 16, 256, PoolShared);
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(pool->registryNode->refCount, 1);
  EXPECT_EQ(pool->totalBlocks, 0);
  EXPECT_NE(PoolAlloc(pool), nullptr);
  EXPECT_EQ(PoolCreate(36, 16, 256, PoolShared), pool);
  PoolDestroy(pool);
  PoolDestroy(pool);
}

TEST_F(PoolTest, LockedPoolServesSeveralThreads) {
  BlockPool* pool = PoolCreate(24, 16, 256, PoolLockOwn);
  ASSERT_NE(pool, nullptr);
  ASSERT_EQ(pool->locked, 1);
  constexpr int threads = 4;
  constexpr int rounds = 5000;
  std::atomic<int> corrupted{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      uint32_t* held[8];
      for (int round = 0; round < rounds; ++round) {
        int n = 1 + (round + t) % 8;
        for (int i = 0; i < n; ++i) {
          held[i] = static_cast<uint32_t*>(PoolAlloc(pool));
          if (!held[i]) {
            ++failed;
            return;
          }
          for (int w = 0; w < 6; ++w) held[i][w] = static_cast<uint32_t>(t << 24 | round << 4 | i);
        }
        for (int i = 0; i < n; ++i) {
          for (int w = 0; w < 6; ++w) {
            if (held[i][w] != static_cast<uint32_t>(t << 24 | round << 4 | i)) ++corrupted;
          }
          PoolFree(pool, held[i]);
        }
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(corrupted.load(), 0);
  EXPECT_EQ(pool->totalBlocks, 0);
  EXPECT_EQ(pool->fullChunks, nullptr);
  EXPECT_EQ(pool->partialChunks, nullptr);
  PoolDestroy(pool);
}

TEST_F(PoolTest, ConcurrentSharedCreationsMeetInOnePool) {
  constexpr int threads = 8;
  std::vector<BlockPool*> got(threads, nullptr);
  std::atomic<bool> go{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      got[t] = PoolCreate(52, 16, 65536, PoolShared);
    });
  }
  go = true;
  for (std::thread& worker : workers) worker.join();
  ASSERT_NE(got[0], nullptr);
  for (BlockPool* pool : got) EXPECT_EQ(pool, got[0]);
  EXPECT_EQ(got[0]->registryNode->refCount, threads);
  for (BlockPool* pool : got) PoolDestroy(pool);
}

// RunOnce: the function counts its runs and takes its time, so a caller
// that returned early would see it unfinished.
std::atomic<int> OnceRuns{0};
std::atomic<bool> OnceFinished{false};
void SlowOnce() {
  ++OnceRuns;
  Sleep(50);
  OnceFinished = true;
}

TEST(RunOnceTest, RunsOnceForConcurrentCallersWhoAllWaitForIt) {
  static OnceWord once = INIT_ONCE_STATIC_INIT;
  OnceRuns = 0;
  OnceFinished = false;
  constexpr int threads = 8;
  std::atomic<int> early{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      RunOnce(&once, SlowOnce);
      if (!OnceFinished.load()) ++early;
    });
  }
  go = true;
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(OnceRuns.load(), 1);
  EXPECT_EQ(early.load(), 0);
  RunOnce(&once, SlowOnce);
  EXPECT_EQ(OnceRuns.load(), 1);
  // Another word runs the function again.
  static OnceWord other = INIT_ONCE_STATIC_INIT;
  RunOnce(&other, SlowOnce);
  EXPECT_EQ(OnceRuns.load(), 2);
}

}  // namespace
