#include <gtest/gtest.h>

#include "platform.h"

TEST(Heap, ZeroMemoryFlagGivesZeroedBlock) {
  HANDLE heap = HeapCreate(0, 4096, 0);
  ASSERT_NE(heap, nullptr);
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 100));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0);
  EXPECT_TRUE(HeapDestroy(heap));
}
