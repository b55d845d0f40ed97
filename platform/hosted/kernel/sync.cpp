// Critical sections, interlocked operations and one-time initialisation.
// All state lives in the caller's own records, so nothing is allocated and a
// zero-filled record is already usable.
#include <atomic>
#include <cstdint>

#include "platform.h"

namespace kernel {
namespace {

// Lock word of a critical section, kept in LockCount.
enum : LONG { kFree = 0, kHeld = 1, kContended = 2 };

// One-time initialisation state, kept in the low bits of the record; the
// caller's context sits above them once initialisation has succeeded.
enum : uintptr_t { kOnceIdle = 0, kOnceRunning = 1, kOnceDone = 2, kOnceStateBits = 3 };

HANDLE ThreadTag() {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
}

std::atomic_ref<LONG> LockWord(LPCRITICAL_SECTION section) {
  return std::atomic_ref<LONG>(section->LockCount);
}

std::atomic_ref<HANDLE> Owner(LPCRITICAL_SECTION section) {
  return std::atomic_ref<HANDLE>(section->OwningThread);
}

void TakeOwnership(LPCRITICAL_SECTION section) {
  Owner(section).store(ThreadTag(), std::memory_order_relaxed);
  section->RecursionCount = 1;
}

}  // namespace
}  // namespace kernel

using namespace kernel;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
  *section = CRITICAL_SECTION{};
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
  *section = CRITICAL_SECTION{};
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
  // Only this thread can have stored its own tag, so a relaxed read is enough
  // to recognise re-entry.
  if (Owner(section).load(std::memory_order_relaxed) == ThreadTag()) {
    ++section->RecursionCount;
    return;
  }
  auto word = LockWord(section);
  LONG state = kFree;
  if (!word.compare_exchange_strong(state, kHeld, std::memory_order_acquire)) {
    // Marking the word contended makes the holder wake us on leaving.
    if (state != kContended) state = word.exchange(kContended, std::memory_order_acquire);
    while (state != kFree) {
      word.wait(kContended, std::memory_order_relaxed);
      state = word.exchange(kContended, std::memory_order_acquire);
    }
  }
  TakeOwnership(section);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  if (Owner(section).load(std::memory_order_relaxed) == ThreadTag()) {
    ++section->RecursionCount;
    return TRUE;
  }
  LONG state = kFree;
  if (!LockWord(section).compare_exchange_strong(state, kHeld, std::memory_order_acquire)) return FALSE;
  TakeOwnership(section);
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
  // Leaving a section this thread does not hold is ignored rather than
  // letting the lock word go wrong for its real owner.
  if (Owner(section).load(std::memory_order_relaxed) != ThreadTag() || section->RecursionCount <= 0) return;
  if (--section->RecursionCount > 0) return;
  Owner(section).store(nullptr, std::memory_order_relaxed);
  auto word = LockWord(section);
  if (word.exchange(kFree, std::memory_order_release) == kContended) word.notify_one();
}

LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedIncrement(LONG volatile* target) {
  // Wraps as on Windows; done unsigned to keep it defined.
  return static_cast<LONG>(__atomic_add_fetch(reinterpret_cast<volatile ULONG*>(target), 1u, __ATOMIC_SEQ_CST));
}

LONG InterlockedDecrement(LONG volatile* target) {
  return static_cast<LONG>(__atomic_sub_fetch(reinterpret_cast<volatile ULONG*>(target), 1u, __ATOMIC_SEQ_CST));
}

PVOID InterlockedCompareExchangePointer(PVOID volatile* target, PVOID exchange, PVOID comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

BOOL WINAPI InitOnceExecuteOnce(PINIT_ONCE initOnce, PINIT_ONCE_FN fn, PVOID parameter, LPVOID* context) {
  std::atomic_ref<PVOID> record(initOnce->Ptr);
  for (;;) {
    PVOID seen = record.load(std::memory_order_acquire);
    uintptr_t bits = reinterpret_cast<uintptr_t>(seen);
    if ((bits & kOnceStateBits) == kOnceDone) {
      if (context != nullptr) *context = reinterpret_cast<PVOID>(bits & ~uintptr_t{kOnceStateBits});
      return TRUE;
    }
    if (bits == kOnceRunning) {
      record.wait(seen, std::memory_order_acquire);
      continue;
    }
    if (record.compare_exchange_weak(seen, reinterpret_cast<PVOID>(kOnceRunning), std::memory_order_acquire)) break;
  }
  PVOID made = nullptr;
  PVOID* out = context != nullptr ? context : &made;
  // A failed initialiser, or one whose context uses the reserved low bits,
  // leaves the record idle so that a later call tries again.
  bool ok = fn(initOnce, parameter, out) && (reinterpret_cast<uintptr_t>(*out) & kOnceStateBits) == 0;
  uintptr_t final = ok ? (reinterpret_cast<uintptr_t>(*out) | kOnceDone) : kOnceIdle;
  record.store(reinterpret_cast<PVOID>(final), std::memory_order_release);
  record.notify_all();
  return ok ? TRUE : FALSE;
}
