// The substitute's kernel32 driven through its hooks: injected faults,
// counters, and answers Windows gives only by crashing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "hosted/hooks.h"
#include "platform.h"
#include "support/child_process.h"

namespace {

class HeapHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    heap = HeapCreate(0, 4096, 0);
    ASSERT_NE(heap, nullptr);
  }
  void TearDown() override {
    hosted::FailNthAllocation(0);
    HeapDestroy(heap);
  }
  HANDLE heap = nullptr;
};

TEST_F(HeapHooksTest, NthAllocationFailsAndLaterOnesSucceed) {
  auto callsBefore = hosted::HeapAllocationCalls();
  hosted::FailNthAllocation(3);
  void* first = HeapAlloc(heap, 0, 10);
  void* second = HeapAlloc(heap, HEAP_ZERO_MEMORY, 10);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  SetLastError(0);
  EXPECT_EQ(HeapAlloc(heap, 0, 10), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 2u);
  for (int i = 0; i < 5; ++i) EXPECT_NE(HeapAlloc(heap, 0, 10), nullptr) << i;
  EXPECT_EQ(hosted::HeapAllocationCalls() - callsBefore, 8u);
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 7u);
}

TEST_F(HeapHooksTest, InjectionCanBeTurnedOff) {
  hosted::FailNthAllocation(1);
  hosted::FailNthAllocation(0);
  EXPECT_NE(HeapAlloc(heap, 0, 10), nullptr);
}

TEST_F(HeapHooksTest, FailedReAllocChangesNothing) {
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, 0, 24));
  ASSERT_NE(p, nullptr);
  std::memset(p, 0x11, 24);
  auto callsBefore = hosted::HeapAllocationCalls();
  hosted::FailNthAllocation(1);
  SetLastError(0);
  EXPECT_EQ(HeapReAlloc(heap, HEAP_ZERO_MEMORY, p, 4096), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(hosted::HeapAllocationCalls() - callsBefore, 1u);
  EXPECT_EQ(HeapSize(heap, 0, p), 24u);
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 1u);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(p[i], 0x11);
  // Injection is spent: the same call now succeeds.
  EXPECT_NE(HeapReAlloc(heap, 0, p, 4096), nullptr);
}

TEST_F(HeapHooksTest, BlocksWithoutZeroFlagAreNotZeroed) {
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, 0, 64));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_NE(p[i], 0) << "byte " << i;
  // Growth without the flag is not zeroed either.
  p = static_cast<unsigned char*>(HeapReAlloc(heap, 0, p, 128));
  ASSERT_NE(p, nullptr);
  for (int i = 64; i < 128; ++i) ASSERT_NE(p[i], 0) << "byte " << i;
}

TEST_F(HeapHooksTest, LiveBlocksFollowAllocAndFree) {
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 0u);
  void* a = HeapAlloc(heap, 0, 1);
  void* b = HeapAlloc(heap, 0, 0);
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 2u);
  void* moved = HeapReAlloc(heap, 0, a, 10000);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 2u);
  EXPECT_FALSE(HeapFree(heap, 0, reinterpret_cast<char*>(b) + 1));
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 2u);
  EXPECT_TRUE(HeapFree(heap, 0, moved));
  EXPECT_TRUE(HeapFree(heap, 0, b));
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 0u);
}

TEST(HeapHooks, DestroyReleasesEverythingAndRetiresTheHandle) {
  size_t heapsBefore = hosted::HeapLiveHeaps();
  HANDLE heap = HeapCreate(0, 0, 0);
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(hosted::HeapLiveHeaps(), heapsBefore + 1);
  void* block = nullptr;
  for (int i = 0; i < 100; ++i) block = HeapAlloc(heap, 0, 16 + i);
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 100u);
  ASSERT_TRUE(HeapDestroy(heap));
  EXPECT_EQ(hosted::HeapLiveHeaps(), heapsBefore);
  EXPECT_EQ(hosted::HeapLiveBlocks(heap), 0u);

  // Windows would fault on a destroyed heap; the substitute refuses instead.
  SetLastError(0);
  EXPECT_EQ(HeapAlloc(heap, 0, 8), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(HeapFree(heap, 0, block));
  EXPECT_EQ(HeapReAlloc(heap, 0, block, 8), nullptr);
  EXPECT_EQ(HeapSize(heap, 0, block), static_cast<SIZE_T>(-1));
  SetLastError(0);
  EXPECT_FALSE(HeapDestroy(heap));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  // A new heap never takes over the old handle.
  HANDLE next = HeapCreate(0, 0, 0);
  EXPECT_NE(next, heap);
  EXPECT_TRUE(HeapDestroy(next));
  EXPECT_TRUE(HeapDestroy(nullptr));
}

TEST(HeapHooks, ProcessHeapIsNotCountedAsCreated) {
  size_t heaps = hosted::HeapLiveHeaps();
  void* p = HeapAlloc(GetProcessHeap(), 0, 8);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(hosted::HeapLiveHeaps(), heaps);
  EXPECT_GE(hosted::HeapLiveBlocks(GetProcessHeap()), 1u);
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, p));
}

class ModuleHooksTest : public ::testing::Test {
 protected:
  void TearDown() override {
    hosted::SetModuleMissing("user32.dll", false);
    hosted::SetModuleMissing("msimg32.dll", false);
    hosted::SetModuleMissing("kernel32.dll", false);
  }
};

TEST_F(ModuleHooksTest, MissingModuleCannotBeLoadedOrFound) {
  // A preloaded module and one loaded only at run time.
  static const struct {
    const char* name;
    LPCWSTR wideName;
    const char* upper;
    const char* exported;
  } modules[] = {{"user32.dll", TEXT("user32"), "USER32.DLL", "DestroyWindow"},
                 {"msimg32.dll", TEXT("msimg32"), "MSIMG32.DLL", "AlphaBlend"}};
  for (const auto& m : modules) {
    SCOPED_TRACE(m.name);
    int loads = hosted::ModuleLoadCount(m.name);
    hosted::SetModuleMissing(m.upper, true);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(m.name), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryW(m.wideName), nullptr);
    EXPECT_EQ(GetModuleHandleA(m.name), nullptr);
    EXPECT_EQ(hosted::ModuleLoadCount(m.name), loads);

    hosted::SetModuleMissing(m.name, false);
    HMODULE module = LoadLibraryA(m.name);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(hosted::ModuleLoadCount(m.name), loads + 1);
    EXPECT_NE(GetProcAddress(module, m.exported), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(hosted::ModuleLoadCount(m.name), loads);
  }
}

TEST_F(ModuleHooksTest, EvenKernel32CanBeMissing) {
  hosted::SetModuleMissing("kernel32", true);
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("kernel32.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA("kernel32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ModuleHooksTest, LoadCountFollowsLoadAndFree) {
  // A preloaded module counts loads above its permanent one and never drops
  // below that.
  int base = hosted::ModuleLoadCount("kernel32.dll");
  EXPECT_GE(base, 1);
  HMODULE a = LoadLibraryA("kernel32.dll");
  HMODULE b = LoadLibraryA("Kernel32");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(hosted::ModuleLoadCount("kernel32.dll"), base + 2);
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(hosted::ModuleLoadCount("kernel32.dll"), base + 1);
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(hosted::ModuleLoadCount("kernel32.dll"), base);
  for (int i = 0; i < base + 2; ++i) EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(hosted::ModuleLoadCount("kernel32.dll"), 1);
  EXPECT_EQ(hosted::ModuleLoadCount("no-such.dll"), 0);
}

class VersionHooksTest : public ::testing::Test {
 protected:
  void TearDown() override { hosted::ResetVersion(); }
};

TEST_F(VersionHooksTest, ReportsWhatWasSetAndResets) {
  hosted::SetVersion(10, 0, 19045, VER_PLATFORM_WIN32_NT);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(&info));
  EXPECT_EQ(info.dwMajorVersion, 10u);
  EXPECT_EQ(info.dwMinorVersion, 0u);
  EXPECT_EQ(info.dwBuildNumber, 19045u);
  EXPECT_EQ(info.szCSDVersion[0], 0);

  hosted::SetVersion(5, 1, 2600, VER_PLATFORM_WIN32_NT, true);
  std::memset(&info, 0x55, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  SetLastError(0);
  EXPECT_FALSE(GetVersionExW(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(info.dwMajorVersion, 0x55555555u);

  hosted::ResetVersion();
  OSVERSIONINFOEXW ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex)));
  EXPECT_EQ(ex.dwMajorVersion, 6u);
  EXPECT_EQ(ex.dwMinorVersion, 1u);
  EXPECT_EQ(ex.dwBuildNumber, 7601u);
  EXPECT_EQ(ex.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(ex.wServicePackMajor, 1);
  EXPECT_EQ(std::u16string(ex.szCSDVersion), u"Service Pack 1");
}

TEST(ProcessHooks, NullVersionRecordFailsInsteadOfCrashing) {
  SetLastError(0);
  EXPECT_FALSE(GetVersionExW(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ProcessHooks, ExitProcessFlushesAndEndsWithOtherThreadsRunning) {
  ChildProcess child;
  ASSERT_TRUE(child.Fork([] {
    // Fully buffered, so the text reaches the pipe only if ExitProcess flushes.
    static char buffer[4096];
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    std::printf("last words");
    std::thread([] {
      for (;;) Sleep(1);
    }).detach();
    ExitProcess(7);
  }));
  EXPECT_EQ(child.Finish(), 7);
  EXPECT_EQ(child.out, "last words");
}

TEST(TlsHooks, ValuesOfAFreedSlotAreClearedInEveryThread) {
  DWORD index = TlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  std::atomic<int> step{0};
  void* seenAfterFree = &step;
  int value = 0;
  std::thread other([&] {
    TlsSetValue(index, &value);
    step = 1;
    while (step != 2) std::this_thread::yield();
    seenAfterFree = TlsGetValue(index);
  });
  while (step != 1) std::this_thread::yield();
  ASSERT_TRUE(TlsFree(index));
  step = 2;
  other.join();
  EXPECT_EQ(seenAfterFree, nullptr);
}

}  // namespace
