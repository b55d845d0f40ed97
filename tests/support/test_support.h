// Shared test fixtures.
#pragma once

#include <gtest/gtest.h>

#include "runtime/runtime.h"

// Blocks allocated in a heap now (the substitute counts them; on Windows the
// heap is walked).
size_t LiveHeapBlocks(HANDLE heap);

// Gives each test a fresh MainHeap and string heap, as the runtime has them
// after start-up, and destroys both afterwards.
class RuntimeHeapsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};
