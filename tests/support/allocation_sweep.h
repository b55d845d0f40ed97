// Every allocation of an operation refused in turn, through the substitute's
// heap fault injection (hosted lane only).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <vector>

#include "hosted/hooks.h"

// Runs `attempt` with its first, then its second, ... heap allocation
// refused until an attempt succeeds (returns true). After each refused
// attempt the heaps hold the blocks they held before it, and `afterRefusal`
// may check the rest. Returns the number of refused attempts; injection is
// off afterwards.
inline unsigned SweepAllocationFailures(std::initializer_list<HANDLE> heaps, const std::function<bool()>& attempt,
                                        const std::function<void(unsigned n)>& afterRefusal = nullptr) {
  constexpr unsigned kLimit = 1000;
  for (unsigned n = 1; n <= kLimit; ++n) {
    std::vector<size_t> before;
    for (HANDLE heap : heaps) before.push_back(hosted::HeapLiveBlocks(heap));
    hosted::FailNthAllocation(n);
    const bool succeeded = attempt();
    hosted::FailNthAllocation(0);
    if (succeeded) return n - 1;
    const size_t* expected = before.data();
    for (HANDLE heap : heaps) EXPECT_EQ(hosted::HeapLiveBlocks(heap), *expected++) << "allocation " << n << " refused";
    if (afterRefusal) afterRefusal(n);
  }
  ADD_FAILURE() << "the operation still fails with allocation " << kLimit << " refused";
  return kLimit;
}
