// Private heaps. Each heap owns a table of its live blocks, so a pointer is
// accepted only if this heap handed it out: nothing is ever read in front of
// a caller's pointer, and a foreign or stale pointer fails cleanly.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "hosted/hooks.h"
#include "platform.h"

namespace kernel {
namespace {

static_assert(sizeof(void*) < 8 || alignof(std::max_align_t) >= 16,
              "heap blocks must be 16-byte aligned on 64-bit");

// Fresh blocks are filled with this, so code that assumes zeroed memory
// without asking for it shows up in tests.
constexpr unsigned char kUninitialisedFill = 0xCD;

// Larger requests fail without asking the system: no machine commits this
// much, and sanitiser builds abort on such requests instead of failing.
constexpr SIZE_T kLargestBlock = sizeof(void*) == 8 ? SIZE_T{1} << 40 : SIZE_T{0x7FFF0000};

struct Heap {
  std::mutex lock;
  // block -> size the caller asked for
  std::unordered_map<void*, SIZE_T> blocks;
  // 0: growable; otherwise the total the blocks may reach
  SIZE_T maximum = 0;
  SIZE_T used = 0;

  bool Fits(SIZE_T oldSize, SIZE_T newSize) const {
    if (newSize > kLargestBlock) return false;
    if (maximum == 0) return true;
    return newSize <= maximum && used - oldSize <= maximum - newSize;
  }
};

// Heap handles are opaque numbers that are never reused, so a handle kept
// after HeapDestroy cannot reach a later heap.
struct Registry {
  std::shared_mutex lock;
  std::unordered_map<HANDLE, std::unique_ptr<Heap>> heaps;
  uintptr_t nextId = 2;
  Heap processHeap;
};

// Handle values in the style of Windows heap handles (64 KB granules).
constexpr unsigned kHandleShift = 16;
const HANDLE kProcessHeapHandle = reinterpret_cast<HANDLE>(uintptr_t{1} << kHandleShift);

// Never destroyed: code running from static destructors may still free.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

std::atomic<unsigned> failCountdown{0};
std::atomic<unsigned long long> allocationCalls{0};

// Counts the call and says whether fault injection makes it fail.
bool InjectedFailure() {
  allocationCalls.fetch_add(1, std::memory_order_relaxed);
  unsigned n = failCountdown.load(std::memory_order_relaxed);
  while (n != 0) {
    if (failCountdown.compare_exchange_weak(n, n - 1, std::memory_order_acq_rel)) return n == 1;
  }
  return false;
}

// Caller holds the registry lock (shared at least).
Heap* Find(Registry& registry, HANDLE handle) {
  if (handle == kProcessHeapHandle) return &registry.processHeap;
  auto it = registry.heaps.find(handle);
  return it == registry.heaps.end() ? nullptr : it->second.get();
}

// Even a zero-byte block must be a distinct address.
SIZE_T StorageSize(SIZE_T bytes) { return bytes == 0 ? 1 : bytes; }

void ReleaseAll(Heap& heap) {
  for (auto& [block, size] : heap.blocks) std::free(block);
  heap.blocks.clear();
  heap.used = 0;
}

}  // namespace
}  // namespace kernel

using namespace kernel;

HANDLE WINAPI GetProcessHeap() { return kProcessHeapHandle; }

HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T maximumSize) {
  Registry& registry = TheRegistry();
  std::unique_lock guard(registry.lock);
  auto heap = std::make_unique<Heap>();
  heap->maximum = maximumSize;
  HANDLE handle = reinterpret_cast<HANDLE>(registry.nextId++ << kHandleShift);
  registry.heaps.emplace(handle, std::move(heap));
  return handle;
}

BOOL WINAPI HeapDestroy(HANDLE handle) {
  // Windows accepts a null heap and does nothing.
  if (handle == nullptr) return TRUE;
  Registry& registry = TheRegistry();
  std::unique_lock guard(registry.lock);
  auto it = registry.heaps.find(handle);
  if (it == registry.heaps.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ReleaseAll(*it->second);
  registry.heaps.erase(it);
  return TRUE;
}

LPVOID WINAPI HeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
  bool injected = InjectedFailure();
  Registry& registry = TheRegistry();
  std::shared_lock registryGuard(registry.lock);
  Heap* heap = Find(registry, handle);
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::lock_guard guard(heap->lock);
  void* block = nullptr;
  if (!injected && heap->Fits(0, bytes)) block = std::malloc(StorageSize(bytes));
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // Table growth can itself run out of memory; the block must not leak then.
  try {
    heap->blocks.emplace(block, bytes);
  } catch (...) {
    std::free(block);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  heap->used += bytes;
  std::memset(block, (flags & HEAP_ZERO_MEMORY) ? 0 : kUninitialisedFill, bytes);
  return block;
}

LPVOID WINAPI HeapReAlloc(HANDLE handle, DWORD flags, LPVOID block, SIZE_T bytes) {
  bool injected = InjectedFailure();
  // Windows answers a null block with null and leaves the last error alone.
  if (block == nullptr) return nullptr;
  Registry& registry = TheRegistry();
  std::shared_lock registryGuard(registry.lock);
  Heap* heap = Find(registry, handle);
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::lock_guard guard(heap->lock);
  auto it = heap->blocks.find(block);
  if (it == heap->blocks.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SIZE_T oldSize = it->second;
  void* moved = nullptr;
  if (!injected && heap->Fits(oldSize, bytes)) {
    if (bytes <= oldSize) {
      // Shrinking keeps the block where it is, which also serves
      // HEAP_REALLOC_IN_PLACE_ONLY.
      moved = block;
    } else if (!(flags & HEAP_REALLOC_IN_PLACE_ONLY)) {
      moved = std::realloc(block, StorageSize(bytes));
    }
  }
  if (moved == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (moved != block) {
    // Erasing first leaves room in the table, so re-inserting cannot fail.
    heap->blocks.erase(it);
    it = heap->blocks.emplace(moved, bytes).first;
  } else {
    it->second = bytes;
  }
  heap->used = heap->used - oldSize + bytes;
  if (bytes > oldSize) {
    std::memset(static_cast<unsigned char*>(moved) + oldSize,
                (flags & HEAP_ZERO_MEMORY) ? 0 : kUninitialisedFill, bytes - oldSize);
  }
  return moved;
}

BOOL WINAPI HeapFree(HANDLE handle, DWORD, LPVOID block) {
  if (block == nullptr) return TRUE;
  Registry& registry = TheRegistry();
  std::shared_lock registryGuard(registry.lock);
  Heap* heap = Find(registry, handle);
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard guard(heap->lock);
  auto it = heap->blocks.find(block);
  if (it == heap->blocks.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  heap->used -= it->second;
  heap->blocks.erase(it);
  std::free(block);
  return TRUE;
}

SIZE_T WINAPI HeapSize(HANDLE handle, DWORD, LPCVOID block) {
  Registry& registry = TheRegistry();
  std::shared_lock registryGuard(registry.lock);
  Heap* heap = Find(registry, handle);
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<SIZE_T>(-1);
  }
  std::lock_guard guard(heap->lock);
  auto it = heap->blocks.find(const_cast<void*>(block));
  if (it == heap->blocks.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<SIZE_T>(-1);
  }
  return it->second;
}

namespace hosted {

void FailNthAllocation(unsigned n) { failCountdown.store(n, std::memory_order_release); }

unsigned long long HeapAllocationCalls() { return allocationCalls.load(std::memory_order_relaxed); }

size_t HeapLiveBlocks(HANDLE handle) {
  Registry& registry = TheRegistry();
  std::shared_lock registryGuard(registry.lock);
  Heap* heap = Find(registry, handle);
  if (heap == nullptr) return 0;
  std::lock_guard guard(heap->lock);
  return heap->blocks.size();
}

size_t HeapLiveHeaps() {
  Registry& registry = TheRegistry();
  std::shared_lock registryGuard(registry.lock);
  return registry.heaps.size();
}

}  // namespace hosted
