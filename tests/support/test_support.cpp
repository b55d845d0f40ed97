#include "support/test_support.h"

void RuntimeHeapsTest::SetUp() {
  MainHeap = HeapCreate(0, 4096, 0);
  ASSERT_NE(MainHeap, nullptr);
  StringsInit();
  ASSERT_NE(StringHeap, nullptr);
}

void RuntimeHeapsTest::TearDown() {
  StringsEnd();
  MainHeapDestroy();
}
