// Thread-local storage slots. Every thread gets its own value array; the
// arrays are registered so that freeing a slot clears it in every thread,
// as Windows does, and a reused slot never shows an old value.
#include <array>
#include <atomic>
#include <bitset>
#include <mutex>
#include <unordered_set>

#include "platform.h"

namespace kernel {
namespace {

// The 64 basic slots plus Windows' 1024 expansion slots.
constexpr DWORD kSlotCount = TLS_MINIMUM_AVAILABLE + 1024;

struct ThreadValues;

struct Slots {
  std::mutex lock;
  std::bitset<kSlotCount> used;
  std::unordered_set<ThreadValues*> threads;
};

// Never destroyed: threads may still end after static destructors ran.
Slots& TheSlots() {
  static Slots* slots = new Slots;
  return *slots;
}

struct ThreadValues {
  // Another thread's TlsFree may clear a value at any time.
  std::array<std::atomic<void*>, kSlotCount> values{};

  ThreadValues() {
    Slots& slots = TheSlots();
    std::lock_guard guard(slots.lock);
    slots.threads.insert(this);
  }
  ~ThreadValues() {
    Slots& slots = TheSlots();
    std::lock_guard guard(slots.lock);
    slots.threads.erase(this);
  }
};

ThreadValues& Mine() {
  thread_local ThreadValues values;
  return values;
}

// Caller holds the slots lock.
void ClearEverywhere(Slots& slots, DWORD index) {
  for (ThreadValues* thread : slots.threads) thread->values[index].store(nullptr, std::memory_order_relaxed);
}

}  // namespace
}  // namespace kernel

using namespace kernel;

DWORD WINAPI TlsAlloc() {
  Slots& slots = TheSlots();
  std::lock_guard guard(slots.lock);
  for (DWORD index = 0; index < kSlotCount; ++index) {
    if (slots.used[index]) continue;
    slots.used[index] = true;
    ClearEverywhere(slots, index);
    return index;
  }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return TLS_OUT_OF_INDEXES;
}

BOOL WINAPI TlsFree(DWORD index) {
  Slots& slots = TheSlots();
  std::lock_guard guard(slots.lock);
  if (index >= kSlotCount || !slots.used[index]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  slots.used[index] = false;
  ClearEverywhere(slots, index);
  return TRUE;
}

// Like Windows, the value calls check only the range, not whether the slot
// is allocated.
BOOL WINAPI TlsSetValue(DWORD index, LPVOID value) {
  if (index >= kSlotCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Mine().values[index].store(value, std::memory_order_relaxed);
  return TRUE;
}

LPVOID WINAPI TlsGetValue(DWORD index) {
  if (index >= kSlotCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Callers tell a stored null from a failure by the last error.
  SetLastError(ERROR_SUCCESS);
  return Mine().values[index].load(std::memory_order_relaxed);
}
