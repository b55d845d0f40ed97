// What the hosted substitute must do as Windows does. Runs on both lanes:
// against the real kernel32 under Wine and against the substitute.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform.h"

namespace {

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

}  // namespace
