#include "runtime/pool.h"

#include "runtime/runtime.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) != 4 || sizeof(PoolChunk) == 24, "a chunk header is 24 bytes on 32-bit targets");
static_assert(sizeof(void*) != 4 || sizeof(PoolRegistryNode) == 24, "a registry node is 24 bytes on 32-bit targets");

namespace {

constexpr int32_t PoolLockModeMask = 3;
// Slots are never larger than this, so chunk sizes stay far from overflow.
constexpr int32_t PoolMaxBlockSize = 0x10000000;

// The shared-pool registry: nodes in MainHeap, newest first. The nodes and
// their pools go with MainHeap; PoolRegistryForget empties the list when
// that heap is about to be destroyed.
struct PoolRegistry {
  PoolRegistryNode* head;
  CRITICAL_SECTION lock;
  OnceWord once;
};
PoolRegistry Registry;

void RegistrySetHead(PoolRegistryNode* node) { Registry.head = node; }

void RegistryEnter() { EnterCriticalSection(&Registry.lock); }

void RegistryLeave() { LeaveCriticalSection(&Registry.lock); }

std::byte* ChunkSlots(PoolChunk* chunk) { return reinterpret_cast<std::byte*>(chunk + 1); }

// Slot headers are pointer-sized words, read and written through these two.
void* SlotWord(void* slot) { return *static_cast<void**>(slot); }
void SetSlotWord(void* slot, void* value) { *static_cast<void**>(slot) = value; }

void ListPush(PoolChunk** list, PoolChunk* chunk) {
  chunk->prev = nullptr;
  chunk->next = *list;
  if (chunk->next) chunk->next->prev = chunk;
  *list = chunk;
}

void ListUnlink(PoolChunk** list, PoolChunk* chunk) {
  if (chunk->prev) {
    chunk->prev->next = chunk->next;
  } else {
    *list = chunk->next;
  }
  if (chunk->next) chunk->next->prev = chunk->prev;
  chunk->next = chunk->prev = nullptr;
}

PoolChunk* ChunkAlloc(int32_t capacity, int32_t slotSize) {
  size_t bytes = sizeof(PoolChunk) + static_cast<size_t>(capacity) * static_cast<size_t>(slotSize);
  auto* chunk = static_cast<PoolChunk*>(HeapAlloc(MainHeap, 0, bytes));
  if (!chunk) return nullptr;
  chunk->next = chunk->prev = nullptr;
  chunk->freeList = nullptr;
  chunk->capacity = capacity;
  chunk->nextUnused = 1;
  chunk->freeCount = 0;
  return chunk;
}

// Adds a new chunk whose first slot is already handed out. Chunks grow with
// the pool, about a sixteenth of its capacity in steps of 16 slots, so big
// pools make few heap calls and small ones stay small.
PoolChunk* PoolGrow(BlockPool* pool) {
  int32_t n = (pool->totalBlocks / 16) & ~15;
  if (n < pool->growMin) {
    n = pool->growMin;
  } else if (n > pool->growMax) {
    n = pool->growMax;
  }
  PoolChunk* chunk = ChunkAlloc(n, pool->slotSize);
  // A heap that cannot give a whole group may still give one slot.
  if (!chunk && n > 1) chunk = ChunkAlloc(1, pool->slotSize);
  if (!chunk) return nullptr;
  pool->totalBlocks += chunk->capacity;
  ListPush(chunk->capacity > 1 ? &pool->partialChunks : &pool->fullChunks, chunk);
  return chunk;
}

void PoolLock(BlockPool* pool) {
  if (pool->locked) EnterCriticalSection(&pool->lock);
}

void PoolUnlock(BlockPool* pool) {
  if (pool->locked) LeaveCriticalSection(&pool->lock);
}

void FreeChunks(PoolChunk* chunk) {
  while (chunk) {
    PoolChunk* next = chunk->next;
    HeapFree(MainHeap, 0, chunk);
    chunk = next;
  }
}

BlockPool* PoolCreatePrivate(int32_t slotSize, int32_t growMin, int32_t growMax, int32_t flags) {
  auto* pool = static_cast<BlockPool*>(HeapAlloc(MainHeap, 0, sizeof(BlockPool)));
  if (!pool) return nullptr;
  pool->fullChunks = nullptr;
  pool->partialChunks = nullptr;
  pool->registryNode = nullptr;
  pool->totalBlocks = 0;
  pool->slotSize = slotSize;
  pool->growMin = growMin;
  pool->growMax = growMax;
  pool->locked = (flags & PoolLockModeMask) == PoolLockOwn ? 1 : 0;
  if (pool->locked) InitializeCriticalSection(&pool->lock);
  return pool;
}

void PoolDestroyPrivate(BlockPool* pool) {
  PoolClear(pool);
  if (pool->locked) DeleteCriticalSection(&pool->lock);
  HeapFree(MainHeap, 0, pool);
}

BOOL WINAPI RunOnceCallback(PINIT_ONCE, PVOID parameter, PVOID*) {
  reinterpret_cast<void (*)()>(parameter)();
  return TRUE;
}

// The once-word's own protocol, for systems without the platform facility.
constexpr uintptr_t OnceNotRun = 0;
constexpr uintptr_t OnceRunning = 1;
constexpr uintptr_t OnceDone = 2;

void RunOnceFallback(OnceWord* once, void (*fn)()) {
  auto old = reinterpret_cast<uintptr_t>(InterlockedCompareExchangePointer(
      &once->Ptr, reinterpret_cast<PVOID>(OnceRunning), reinterpret_cast<PVOID>(OnceNotRun)));
  if (old == OnceNotRun) {
    fn();
    InterlockedExchangePointer(&once->Ptr, reinterpret_cast<PVOID>(OnceDone));
  } else if (old == OnceRunning) {
    // Acquire pairs with the exchange above: whatever fn wrote is visible.
    std::atomic_ref<PVOID> word(once->Ptr);
    while (reinterpret_cast<uintptr_t>(word.load(std::memory_order_acquire)) != OnceDone) Sleep(0);
  }
}

}  // namespace

BlockPool* PoolCreate(int32_t blockSize, int32_t growMin, int32_t growMax, int32_t flags) {
  if (blockSize < 0 || blockSize > PoolMaxBlockSize || growMin < 1 || growMax < 1) return nullptr;
  constexpr int32_t align = PoolSlotHeader;
  int32_t slotSize = (blockSize + align - 1) / align * align + PoolSlotHeader;
  if (!(flags & PoolShared)) return PoolCreatePrivate(slotSize, growMin, growMax, flags);

  RunOnce(&Registry.once, PoolRegistryInit);
  RegistryEnter();
  for (PoolRegistryNode* node = Registry.head; node; node = node->next) {
    if (node->slotSize == slotSize && node->flags == flags) {
      ++node->refCount;
      RegistryLeave();
      return node->pool;
    }
  }
  BlockPool* pool = nullptr;
  auto* node = static_cast<PoolRegistryNode*>(HeapAlloc(MainHeap, 0, sizeof(PoolRegistryNode)));
  if (node) {
    pool = PoolCreatePrivate(slotSize, growMin, growMax, flags & ~PoolShared);
    if (pool) {
      pool->registryNode = node;
      node->pool = pool;
      node->slotSize = slotSize;
      node->flags = flags;
      node->refCount = 1;
      node->prev = nullptr;
      node->next = Registry.head;
      if (node->next) node->next->prev = node;
      RegistrySetHead(node);
    } else {
      HeapFree(MainHeap, 0, node);
    }
  }
  RegistryLeave();
  return pool;
}

void* PoolAlloc(BlockPool* pool) {
  if (!pool) return nullptr;
  PoolLock(pool);
  void* slot;
  PoolChunk* chunk = pool->partialChunks;
  if (chunk) {
    if (chunk->freeCount > 0) {
      slot = chunk->freeList;
      chunk->freeList = SlotWord(slot);
      --chunk->freeCount;
    } else {
      slot = ChunkSlots(chunk) + static_cast<size_t>(chunk->nextUnused) * pool->slotSize;
      ++chunk->nextUnused;
    }
    if (chunk->freeCount == 0 && chunk->nextUnused >= chunk->capacity) {
      ListUnlink(&pool->partialChunks, chunk);
      ListPush(&pool->fullChunks, chunk);
    }
  } else {
    chunk = PoolGrow(pool);
    if (!chunk) {
      PoolUnlock(pool);
      return nullptr;
    }
    slot = ChunkSlots(chunk);
  }
  PoolUnlock(pool);
  SetSlotWord(slot, chunk);
  return static_cast<std::byte*>(slot) + PoolSlotHeader;
}

void PoolFree(BlockPool* pool, void* block) {
  if (!pool || !block) return;
  PoolLock(pool);
  void* slot = static_cast<std::byte*>(block) - PoolSlotHeader;
  auto* chunk = static_cast<PoolChunk*>(SlotWord(slot));
  SetSlotWord(slot, chunk->freeList);
  chunk->freeList = slot;
  ++chunk->freeCount;
  if (chunk->freeCount == chunk->nextUnused) {
    // Only the head of a list has no predecessor, which tells the lists apart.
    ListUnlink(pool->fullChunks == chunk ? &pool->fullChunks : &pool->partialChunks, chunk);
    pool->totalBlocks -= chunk->capacity;
    HeapFree(MainHeap, 0, chunk);
  } else if (chunk->freeCount == 1 && chunk->nextUnused >= chunk->capacity) {
    ListUnlink(&pool->fullChunks, chunk);
    ListPush(&pool->partialChunks, chunk);
  }
  PoolUnlock(pool);
}

void PoolClear(BlockPool* pool) {
  if (!pool) return;
  PoolLock(pool);
  FreeChunks(pool->partialChunks);
  FreeChunks(pool->fullChunks);
  pool->partialChunks = nullptr;
  pool->fullChunks = nullptr;
  pool->totalBlocks = 0;
  PoolUnlock(pool);
}

void PoolDestroy(BlockPool* pool) {
  if (!pool) return;
  if (!pool->registryNode) {
    PoolDestroyPrivate(pool);
    return;
  }
  RegistryEnter();
  PoolRegistryNode* node = pool->registryNode;
  if (--node->refCount <= 0) {
    pool->registryNode = nullptr;
    // The pool's own lock is taken inside the registry lock, never around it.
    PoolDestroyPrivate(pool);
    if (node->prev) {
      node->prev->next = node->next;
    } else if (Registry.head == node) {
      RegistrySetHead(node->next);
    }
    if (node->next) node->next->prev = node->prev;
    HeapFree(MainHeap, 0, node);
  }
  RegistryLeave();
}

void PoolRegistryInit() {
  InitializeCriticalSection(&Registry.lock);
  Registry.head = nullptr;
}

void RunOnce(OnceWord* once, void (*fn)()) {
  HMODULE kernel = LoadLibraryA("Kernel32.dll");
  if (kernel) {
    FARPROC entry = GetProcAddress(kernel, "InitOnceExecuteOnce");
    if (entry) {
      // Going through void (*)() keeps the cast between function types explicit.
      auto execute = reinterpret_cast<BOOL(WINAPI*)(PINIT_ONCE, PINIT_ONCE_FN, PVOID, LPVOID*)>(
          reinterpret_cast<void (*)()>(entry));
      execute(once, RunOnceCallback, reinterpret_cast<PVOID>(fn), nullptr);
    }
    FreeLibrary(kernel);
    if (entry) return;
  }
  RunOnceFallback(once, fn);
}

void PoolRegistryForget() {
  RunOnce(&Registry.once, PoolRegistryInit);
  RegistryEnter();
  Registry.head = nullptr;
  RegistryLeave();
}
