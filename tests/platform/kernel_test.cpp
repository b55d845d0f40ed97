// What the hosted substitute must do as Windows does. Runs on both lanes:
// against the real kernel32 under Wine and against the substitute.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform.h"

namespace {

// Where Wine answers differently from Windows, the check names both answers
// (as Wine's own tests do with todo_wine) instead of dropping the check.
bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class HeapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    heap = HeapCreate(0, 4096, 0);
    ASSERT_NE(heap, nullptr);
  }
  void TearDown() override {
    if (heap != nullptr) {
      EXPECT_TRUE(HeapDestroy(heap));
    }
  }
  HANDLE heap = nullptr;
};

TEST_F(HeapTest, ZeroMemoryFlagGivesZeroedBlock) {
  // Dirty the heap first so a reused block would show old bytes.
  auto* dirty = static_cast<unsigned char*>(HeapAlloc(heap, 0, 100));
  ASSERT_NE(dirty, nullptr);
  std::memset(dirty, 0x5A, 100);
  ASSERT_TRUE(HeapFree(heap, 0, dirty));
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 100));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0) << "byte " << i;
  EXPECT_EQ(HeapSize(heap, 0, p), 100u);
}

TEST_F(HeapTest, BlocksAreAlignedDistinctAndSized) {
  void* empty1 = HeapAlloc(heap, 0, 0);
  void* empty2 = HeapAlloc(heap, 0, 0);
  ASSERT_NE(empty1, nullptr);
  ASSERT_NE(empty2, nullptr);
  EXPECT_NE(empty1, empty2);
  EXPECT_EQ(HeapSize(heap, 0, empty1), 0u);
  for (SIZE_T size : {1u, 7u, 24u, 100u, 5000u}) {
    void* p = HeapAlloc(heap, 0, size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(p) % (sizeof(void*) == 8 ? 16 : 8), 0u) << size;
    EXPECT_EQ(HeapSize(heap, 0, p), size);
  }
}

TEST_F(HeapTest, ReAllocKeepsContentAndZeroesGrowth) {
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, 0, 16));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 16; ++i) p[i] = static_cast<unsigned char>(i + 1);
  auto* q = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, p, 4000));
  ASSERT_NE(q, nullptr);
  for (int i = 0; i < 16; ++i) ASSERT_EQ(q[i], i + 1);
  for (int i = 16; i < 4000; ++i) ASSERT_EQ(q[i], 0) << "byte " << i;
  EXPECT_EQ(HeapSize(heap, 0, q), 4000u);
  auto* r = static_cast<unsigned char*>(HeapReAlloc(heap, 0, q, 8));
  ASSERT_NE(r, nullptr);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(r[i], i + 1);
  EXPECT_EQ(HeapSize(heap, 0, r), 8u);
}

TEST_F(HeapTest, FailedReAllocKeepsTheBlock) {
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, 0, 32));
  ASSERT_NE(p, nullptr);
  std::memset(p, 0x42, 32);
  SetLastError(0);
  EXPECT_EQ(HeapReAlloc(heap, 0, p, ~SIZE_T{0} / 2), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(HeapSize(heap, 0, p), 32u);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(p[i], 0x42);
  EXPECT_TRUE(HeapFree(heap, 0, p));
}

TEST_F(HeapTest, FreeAcceptsNullAndRejectsForeignBlocks) {
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  static char notFromAHeap[64];
  SetLastError(0);
  EXPECT_FALSE(HeapFree(heap, 0, notFromAHeap + 16));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  HANDLE other = HeapCreate(0, 4096, 0);
  ASSERT_NE(other, nullptr);
  void* theirs = HeapAlloc(other, 0, 40);
  ASSERT_NE(theirs, nullptr);
  EXPECT_FALSE(HeapFree(heap, 0, theirs));
  EXPECT_EQ(HeapSize(heap, 0, notFromAHeap + 16), static_cast<SIZE_T>(-1));
  // The block survived the wrong heap's attempt.
  EXPECT_TRUE(HeapFree(other, 0, theirs));
  EXPECT_FALSE(HeapFree(other, 0, theirs));
  EXPECT_TRUE(HeapDestroy(other));
}

TEST_F(HeapTest, ConcurrentUseOfOneHeap) {
  constexpr int kThreads = 4, kRounds = 2000;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        auto* p = static_cast<unsigned char*>(HeapAlloc(heap, 0, 24 + i % 50));
        if (p == nullptr) { ++failures; continue; }
        std::memset(p, t, 24);
        p = static_cast<unsigned char*>(HeapReAlloc(heap, 0, p, 200));
        if (p == nullptr || p[23] != t || !HeapFree(heap, 0, p)) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(Heap, FixedHeapRefusesMoreThanItsMaximum) {
  HANDLE fixed = HeapCreate(0, 0, 65536);
  ASSERT_NE(fixed, nullptr);
  SetLastError(0);
  EXPECT_EQ(HeapAlloc(fixed, 0, 100000), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  void* p = HeapAlloc(fixed, 0, 1000);
  EXPECT_NE(p, nullptr);
  EXPECT_TRUE(HeapDestroy(fixed));
}

TEST(Heap, ProcessHeapCannotBeDestroyed) {
  HANDLE process = GetProcessHeap();
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(GetProcessHeap(), process);
  SetLastError(0);
  EXPECT_FALSE(HeapDestroy(process));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  void* p = HeapAlloc(process, 0, 10);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HeapFree(process, 0, p));
}

TEST(Module, NamesMatchAsWindowsMatchesThem) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  EXPECT_EQ(GetModuleHandleA("KERNEL32.DLL"), kernel);
  EXPECT_EQ(GetModuleHandleA("Kernel32"), kernel);
  EXPECT_EQ(GetModuleHandleA("kernel32.dll."), kernel);
  EXPECT_EQ(GetModuleHandleA("C:\\windows\\system32\\kernel32.dll"), kernel);
  EXPECT_EQ(GetModuleHandleW(TEXT("kernel32")), kernel);
  // A trailing dot means "no extension", so ".dll" is not added.
  for (const char* wrong : {"kernel32.", "kernel32.dl", "", "no-such-module.dll"}) {
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleA(wrong), nullptr) << wrong;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << wrong;
  }
  HMODULE self = GetModuleHandleW(nullptr);
  EXPECT_NE(self, nullptr);
  EXPECT_EQ(GetModuleHandleA(nullptr), self);
  EXPECT_NE(self, kernel);
}

TEST(Module, LoadLibraryOfUnknownModuleFails) {
  for (const char* name : {"no-such-module.dll", "no-such-module", ""}) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(name), nullptr) << name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << name;
  }
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(TEXT("no-such-module.dll")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

BOOL WINAPI PassParameter(PINIT_ONCE, PVOID parameter, PVOID* context) {
  *context = parameter;
  return TRUE;
}

TEST(Module, ExportsAreFoundByExactName) {
  HMODULE kernel = LoadLibraryA("Kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  using InitOnceFn = BOOL(WINAPI*)(PINIT_ONCE, PINIT_ONCE_FN, PVOID, LPVOID*);
  auto initOnce = reinterpret_cast<InitOnceFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "InitOnceExecuteOnce")));
  ASSERT_NE(initOnce, nullptr);
  // The export is the real function: it initialises a record.
  INIT_ONCE once = INIT_ONCE_STATIC_INIT;
  PVOID context = nullptr;
  int target = 0;
  EXPECT_TRUE(initOnce(&once, PassParameter, &target, &context));
  EXPECT_EQ(context, &target);

  for (const char* wrong : {"initonceexecuteonce", "NoSuchFunction", ""}) {
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(kernel, wrong), nullptr) << wrong;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << wrong;
  }
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(kernel, MAKEINTRESOURCEA(60000)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(kernel));
}

TEST(Module, InvalidHandlesFailCleanly) {
  HMODULE invented = reinterpret_cast<HMODULE>(static_cast<UINT_PTR>(0x12345678));
  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(invented));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(invented, "InitOnceExecuteOnce"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Module, PreloadedModuleStaysLoadedWhenFreed) {
  HMODULE kernel = LoadLibraryA("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(FreeLibrary(kernel));
  EXPECT_EQ(GetModuleHandleA("kernel32.dll"), kernel);
  EXPECT_NE(GetProcAddress(kernel, "InitOnceExecuteOnce"), nullptr);
}

TEST(Module, FreeLibraryCountsReferences) {
  // Needs a library that is loaded only on demand; the substitute has such
  // a module only once the drawing code brings msimg32.
  if (GetModuleHandleA("msimg32.dll") != nullptr) GTEST_SKIP() << "msimg32 is already loaded";
  HMODULE first = LoadLibraryA("msimg32");
  if (first == nullptr) GTEST_SKIP() << "no on-demand library to count";
  EXPECT_EQ(LoadLibraryA("MSIMG32.DLL"), first);
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(GetModuleHandleA("msimg32.dll"), first);
  EXPECT_TRUE(FreeLibrary(first));
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("msimg32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  // The handle of an unloaded module is no longer usable.
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(first, "AlphaBlend"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Tls, ValuesArePerThread) {
  DWORD index = TlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  SetLastError(1234);
  EXPECT_EQ(TlsGetValue(index), nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  int mine = 0, theirs = 0;
  ASSERT_TRUE(TlsSetValue(index, &mine));
  void* seenByOther = &mine;
  void* otherAfterSet = nullptr;
  std::thread other([&] {
    seenByOther = TlsGetValue(index);
    TlsSetValue(index, &theirs);
    otherAfterSet = TlsGetValue(index);
  });
  other.join();
  EXPECT_EQ(seenByOther, nullptr);
  EXPECT_EQ(otherAfterSet, &theirs);
  EXPECT_EQ(TlsGetValue(index), &mine);

  // Freeing clears the slot, so a later owner of the index starts from null.
  ASSERT_TRUE(TlsFree(index));
  EXPECT_EQ(TlsGetValue(index), nullptr);
  SetLastError(0);
  EXPECT_FALSE(TlsFree(index));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Tls, OutOfRangeIndexesFail) {
  for (DWORD index : {DWORD{1088}, DWORD{5000}, TLS_OUT_OF_INDEXES}) {
    SetLastError(0);
    EXPECT_EQ(TlsGetValue(index), nullptr) << index;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << index;
    SetLastError(0);
    EXPECT_FALSE(TlsSetValue(index, &index)) << index;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << index;
    EXPECT_FALSE(TlsFree(index)) << index;
  }
}

TEST(Tls, RunningOutOfIndexesFailsCleanly) {
  std::vector<DWORD> taken;
  for (;;) {
    DWORD index = TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES) break;
    taken.push_back(index);
    ASSERT_LE(taken.size(), 1088u);
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_GE(taken.size(), 1000u);
  for (DWORD index : taken) EXPECT_TRUE(TlsFree(index));
  DWORD again = TlsAlloc();
  EXPECT_NE(again, TLS_OUT_OF_INDEXES);
  TlsFree(again);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  BOOL otherGotIt = TRUE;
  std::thread([&] { otherGotIt = TryEnterCriticalSection(&section); }).join();
  EXPECT_FALSE(otherGotIt);
  // One Leave is not enough after two entries.
  LeaveCriticalSection(&section);
  std::thread([&] { otherGotIt = TryEnterCriticalSection(&section); }).join();
  EXPECT_FALSE(otherGotIt);
  LeaveCriticalSection(&section);
  std::thread([&] {
    otherGotIt = TryEnterCriticalSection(&section);
    if (otherGotIt) LeaveCriticalSection(&section);
  }).join();
  EXPECT_TRUE(otherGotIt);
  DeleteCriticalSection(&section);
}

TEST(CriticalSection, ProtectsACounterUnderContention) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  constexpr int kThreads = 4, kRounds = 20000;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        EnterCriticalSection(&section);
        EnterCriticalSection(&section);
        long seen = counter;
        if (i % 64 == 0) std::this_thread::yield();
        counter = seen + 1;
        LeaveCriticalSection(&section);
        LeaveCriticalSection(&section);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, long{kThreads} * kRounds);
  DeleteCriticalSection(&section);
}

TEST(Interlocked, ReturnValuesFollowWindows) {
  volatile LONG value = 5;
  EXPECT_EQ(InterlockedCompareExchange(&value, 9, 4), 5);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(InterlockedCompareExchange(&value, 9, 5), 5);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(InterlockedExchange(&value, 3), 9);
  EXPECT_EQ(InterlockedIncrement(&value), 4);
  EXPECT_EQ(InterlockedDecrement(&value), 3);
  value = 0x7FFFFFFF;
  EXPECT_EQ(InterlockedIncrement(&value), static_cast<LONG>(0x80000000u));
  EXPECT_EQ(InterlockedDecrement(&value), 0x7FFFFFFF);

  int a = 0, b = 0;
  PVOID volatile slot = &a;
  EXPECT_EQ(InterlockedCompareExchangePointer(&slot, &b, nullptr), &a);
  EXPECT_EQ(slot, &a);
  EXPECT_EQ(InterlockedCompareExchangePointer(&slot, &b, &a), &a);
  EXPECT_EQ(slot, &b);
  EXPECT_EQ(InterlockedExchangePointer(&slot, nullptr), &b);
  EXPECT_EQ(slot, nullptr);
}

TEST(Interlocked, IncrementsFromManyThreadsAreNotLost) {
  volatile LONG counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50000; ++i) InterlockedIncrement(&counter);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 200000);
}

std::atomic<int> onceRuns{0};

BOOL WINAPI SlowInit(PINIT_ONCE, PVOID parameter, PVOID* context) {
  ++onceRuns;
  // Gives the other threads time to arrive while the first one is inside.
  Sleep(20);
  *context = parameter;
  return TRUE;
}

TEST(InitOnce, RunsOnceForManyThreads) {
  onceRuns = 0;
  INIT_ONCE once = INIT_ONCE_STATIC_INIT;
  static int value;
  std::atomic<int> successes{0}, rightContext{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      PVOID context = nullptr;
      if (InitOnceExecuteOnce(&once, SlowInit, &value, &context)) ++successes;
      if (context == &value) ++rightContext;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(onceRuns.load(), 1);
  EXPECT_EQ(successes.load(), 8);
  EXPECT_EQ(rightContext.load(), 8);
}

int initCalls;

BOOL WINAPI FailingInit(PINIT_ONCE, PVOID, PVOID*) {
  ++initCalls;
  return FALSE;
}

BOOL WINAPI SucceedingInit(PINIT_ONCE, PVOID, PVOID*) {
  ++initCalls;
  return TRUE;
}

TEST(InitOnce, FailureLeavesItUninitialised) {
  INIT_ONCE once = INIT_ONCE_STATIC_INIT;
  initCalls = 0;
  PVOID context = nullptr;
  EXPECT_FALSE(InitOnceExecuteOnce(&once, FailingInit, nullptr, &context));
  EXPECT_FALSE(InitOnceExecuteOnce(&once, FailingInit, nullptr, &context));
  EXPECT_EQ(initCalls, 2);
  EXPECT_TRUE(InitOnceExecuteOnce(&once, SucceedingInit, nullptr, &context));
  // Done now: the failing function is not even called.
  EXPECT_TRUE(InitOnceExecuteOnce(&once, FailingInit, nullptr, &context));
  EXPECT_EQ(initCalls, 3);
}

TEST(Process, IdentifiersAndTime) {
  EXPECT_NE(GetCurrentProcessId(), 0u);
  DWORD mainThread = GetCurrentThreadId();
  EXPECT_EQ(GetCurrentThreadId(), mainThread);
  DWORD otherThread = mainThread;
  std::thread([&] { otherThread = GetCurrentThreadId(); }).join();
  EXPECT_NE(otherThread, mainThread);

  DWORD before = GetTickCount();
  Sleep(60);
  Sleep(0);
  // Sleep never returns early and the tick count is in milliseconds; Wine's
  // count moves in steps of about 16 ms.
  EXPECT_GE(GetTickCount() - before, 40u);
}

TEST(Process, LastErrorIsPerThread) {
  // Starting and joining a thread may touch the last error, so both threads
  // read theirs while the other is known to have set its own.
  std::atomic<int> step{0};
  DWORD seenByOther = 0;
  std::thread other([&] {
    SetLastError(77);
    step = 1;
    while (step != 2) {
    }
    seenByOther = GetLastError();
  });
  while (step != 1) {
  }
  SetLastError(1234);
  step = 2;
  EXPECT_EQ(GetLastError(), 1234u);
  other.join();
  EXPECT_EQ(seenByOther, 77u);
}

TEST(Process, StringLengths) {
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenW(TEXT("cube")), 4);
  EXPECT_EQ(lstrlenA("grey cube"), 9);
}

TEST(Version, RecordSizeMustBeExact) {
  EXPECT_EQ(sizeof(OSVERSIONINFOW), 276u);
  EXPECT_EQ(sizeof(OSVERSIONINFOEXW), 284u);
  const bool wine = RunningUnderWine();
  OSVERSIONINFOEXW info;
  for (DWORD size : {DWORD{0}, DWORD{20}, DWORD{275}, DWORD{277}, DWORD{283}, DWORD{285}, DWORD{1000}}) {
    std::memset(&info, 0x55, sizeof info);
    info.dwOSVersionInfoSize = size;
    SetLastError(0);
    EXPECT_FALSE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) << size;
    EXPECT_EQ(info.dwMajorVersion, 0x55555555u) << "nothing written for size " << size;
    // Wine leaves the last error alone here.
    EXPECT_EQ(GetLastError(), wine ? 0u : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << size;
  }
  OSVERSIONINFOW basic{};
  basic.dwOSVersionInfoSize = sizeof basic;
  ASSERT_TRUE(GetVersionExW(&basic));
  EXPECT_EQ(basic.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_GE(basic.dwMajorVersion, 6u);

  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)));
  EXPECT_EQ(info.dwMajorVersion, basic.dwMajorVersion);
  EXPECT_EQ(info.dwMinorVersion, basic.dwMinorVersion);
  EXPECT_EQ(info.dwBuildNumber, basic.dwBuildNumber);
  EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
}

TEST(Gdi, StockObjectsHaveTheirTypes) {
  const DWORD expected[] = {OBJ_BRUSH, OBJ_BRUSH, OBJ_BRUSH, OBJ_BRUSH, OBJ_BRUSH, OBJ_BRUSH, OBJ_PEN,
                            OBJ_PEN,   OBJ_PEN,   0,         OBJ_FONT,  OBJ_FONT,  OBJ_FONT,  OBJ_FONT,
                            OBJ_FONT,  OBJ_PAL,   OBJ_FONT,  OBJ_FONT,  OBJ_BRUSH, OBJ_PEN};
  std::vector<HGDIOBJ> seen;
  for (int index = 0; index < 20; ++index) {
    HGDIOBJ object = GetStockObject(index);
    if (expected[index] == 0) {
      EXPECT_EQ(object, nullptr) << index;
      continue;
    }
    ASSERT_NE(object, nullptr) << index;
    EXPECT_EQ(GetObjectType(object), expected[index]) << index;
    EXPECT_EQ(GetStockObject(index), object) << "stable handle " << index;
    for (HGDIOBJ earlier : seen) EXPECT_NE(earlier, object) << index;
    seen.push_back(object);
  }
  EXPECT_EQ(GetStockObject(-1), nullptr);
  EXPECT_EQ(GetStockObject(1000), nullptr);
}

TEST(Gdi, DeletingAStockObjectKeepsIt) {
  HGDIOBJ pen = GetStockObject(BLACK_PEN);
  ASSERT_NE(pen, nullptr);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
  EXPECT_EQ(GetStockObject(BLACK_PEN), pen);

  EXPECT_FALSE(DeleteObject(nullptr));
  HGDIOBJ invented = reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(0x1234));
  EXPECT_FALSE(DeleteObject(invented));
  SetLastError(0);
  EXPECT_EQ(GetObjectType(invented), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(User, DestroyingInventedHandlesFails) {
  const bool wine = RunningUnderWine();
  for (UINT_PTR value : {UINT_PTR{0}, UINT_PTR{0x1234}, UINT_PTR{0x10010}}) {
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(reinterpret_cast<HWND>(value))) << value;
    // Wine answers every bad window handle with "access denied".
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(wine ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE)) << value;
    SetLastError(0);
    EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(value))) << value;
    // Wine leaves the last error alone for a bad icon.
    EXPECT_EQ(GetLastError(), wine ? 0u : static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE)) << value;
  }
}

TEST(CommonControls, RecordSizeMustBeExact) {
  INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  EXPECT_TRUE(InitCommonControlsEx(&init));
  init.dwICC = 0;
  EXPECT_TRUE(InitCommonControlsEx(&init));
  for (DWORD size : {DWORD{0}, DWORD{4}, DWORD{12}, DWORD{16}}) {
    init.dwSize = size;
    EXPECT_FALSE(InitCommonControlsEx(&init)) << size;
  }
  EXPECT_FALSE(InitCommonControlsEx(nullptr));
}

}  // namespace
