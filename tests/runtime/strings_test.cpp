// String values and the string heap.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

class Strings : public RuntimeHeapsTest {};

TEST_F(Strings, AssignCopiesTheTextIntoItsOwnBlock) {
  WCHAR source[] = TEXT("abc");
  WCHAR* slot = nullptr;
  StringAssign(&slot, source);
  ASSERT_NE(slot, nullptr);
  EXPECT_NE(slot, source);
  EXPECT_EQ(std::memcmp(slot, TEXT("abc"), 4 * sizeof(WCHAR)), 0) << "text and its terminating zero";
  EXPECT_EQ(HeapSize(StringHeap, 0, slot), 16u) << "3 characters take 2 * 3 + 10 bytes";
  source[0] = 'x';
  EXPECT_EQ(slot[0], 'a');
  StringFree(slot);
}

TEST_F(Strings, AssignFromNullLeavesTheSlotUntouched) {
  WCHAR marker = 0;
  WCHAR* slot = &marker;
  StringAssign(&slot, nullptr);
  EXPECT_EQ(slot, &marker);
}

TEST_F(Strings, EmptyTextTakesTenBytes) {
  WCHAR* slot = nullptr;
  StringAssign(&slot, TEXT(""));
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot[0], 0);
  EXPECT_EQ(HeapSize(StringHeap, 0, slot), 10u);
  StringFree(slot);
  StringFree(nullptr);
}

}  // namespace
