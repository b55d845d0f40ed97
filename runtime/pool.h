// Block pools: fixed-size blocks from growing chunks, with a process-wide
// registry of shared pools.
#pragma once

#include "platform.h"

#include <cstdint>

// Creation flags: bits 0-1 lock mode (1 = the pool has a lock of its own),
// bit 2 shared.
constexpr int32_t PoolLockOwn = 1;
constexpr int32_t PoolShared = 4;

// Every slot starts with a header word: the chunk's address while the block
// is in use, the link to the next free block while it is free.
constexpr int32_t PoolSlotHeader = sizeof(void*);

struct PoolChunk {
  PoolChunk* next;
  PoolChunk* prev;
  void* freeList;
  int32_t capacity;
  int32_t nextUnused;
  int32_t freeCount;
  // capacity slots follow
};

struct BlockPool;

struct PoolRegistryNode {
  PoolRegistryNode* next;
  PoolRegistryNode* prev;
  BlockPool* pool;
  int32_t slotSize;
  int32_t flags;
  int32_t refCount;
};

struct BlockPool {
  PoolChunk* fullChunks;
  PoolChunk* partialChunks;
  PoolRegistryNode* registryNode;
  int32_t totalBlocks;
  int32_t slotSize;
  int32_t growMin;
  int32_t growMax;
  int32_t locked;
  CRITICAL_SECTION lock;
};

BlockPool* PoolCreate(int32_t blockSize, int32_t growMin, int32_t growMax, int32_t flags);
void* PoolAlloc(BlockPool* pool);
void PoolFree(BlockPool* pool, void* block);
void PoolClear(BlockPool* pool);
void PoolDestroy(BlockPool* pool);

// Runs fn exactly once per once-word, process-wide; concurrent callers
// return only after it has finished. The word has the platform's one-time
// initialisation size so the platform's facility can use it directly.
using OnceWord = INIT_ONCE;
void RunOnce(OnceWord* once, void (*fn)());
void PoolRegistryInit();
// Empties the shared-pool registry without touching its nodes: called when
// MainHeap, which holds the nodes and their pools, is about to be destroyed.
void PoolRegistryForget();
