// Shared test fixtures.
#pragma once

#include <gtest/gtest.h>

#include "runtime/runtime.h"

// Gives each test a fresh MainHeap and string heap, as the runtime has them
// after start-up, and destroys both afterwards.
class RuntimeHeapsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};
