// Start-up and shutdown under memory failure, and the version probe of the
// image drawing step, driven through the substitute's hooks.
#include <gtest/gtest.h>

#include "hosted/hooks.h"
#include "runtime/facilities.h"
#include "runtime/runtime.h"
#include "support/test_support.h"
#include "system/startup.h"

namespace {

const signed char kTables[] = {1};

// Every allocation of start-up, failed in turn: start-up carries on, shutdown
// releases everything, and no heap is left behind.
TEST(StartupFaults, EveryFailedAllocationStillStartsAndEndsCleanly) {
  const size_t heapsBefore = hosted::HeapLiveHeaps();
  unsigned long long allocations = 0;
  {
    const unsigned long long before = hosted::HeapAllocationCalls();
    RuntimeStart(kTables);
    allocations = hosted::HeapAllocationCalls() - before;
    RuntimeRelease();
  }
  ASSERT_GT(allocations, 5u);
  for (unsigned n = 1; n <= allocations; ++n) {
    SCOPED_TRACE(n);
    hosted::FailNthAllocation(n);
    RuntimeStart(kTables);
    hosted::FailNthAllocation(0);
    ASSERT_NE(MainHeap, nullptr);
    RuntimeRelease();
    EXPECT_EQ(hosted::HeapLiveHeaps(), heapsBefore);
  }
}

TEST(StartupFaults, ProcessStillExitsWithZeroWhenStartUpRanOutOfMemory) {
  EXPECT_EXIT(
      {
        hosted::FailNthAllocation(3);
        RuntimeStart(kTables);
        RuntimeEnd();
      },
      ::testing::ExitedWithCode(0), "");
}

class StateRecordFaults : public RuntimeHeapsTest {};

TEST_F(StateRecordFaults, AFailedAllocationNeverReachesTheInitialiser) {
  static int calls;
  calls = 0;
  hosted::FailNthAllocation(1);
  EXPECT_EQ(StateRecordNew(40, [](void*) { ++calls; }, nullptr), nullptr);
  EXPECT_EQ(calls, 0);
}

TEST_F(StateRecordFaults, AFailedStringAssignLeavesTheEmptyString) {
  WCHAR* slot = reinterpret_cast<WCHAR*>(static_cast<uintptr_t>(0x10));  // stale value the caller already freed
  hosted::FailNthAllocation(1);
  StringAssign(&slot, TEXT("lost"));
  EXPECT_EQ(slot, nullptr);
  const size_t before = hosted::HeapLiveBlocks(StringHeap);
  StringAssign(&slot, TEXT("kept"));
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(hosted::HeapLiveBlocks(StringHeap), before + 1) << "string values live in the string heap";
  StringFree(slot);
  EXPECT_EQ(hosted::HeapLiveBlocks(StringHeap), before);
}

// The themes flag: old systems have none, whatever the libraries say.
class ThemeFlag : public ::testing::Test {
 protected:
  void TearDown() override {
    hosted::ResetVersion();
    ImageDrawingEnd();
  }
};

TEST_F(ThemeFlag, OldSystemsAndMissingThemeLibrariesTurnThemesOff) {
  struct Case {
    DWORD major, minor, platform;
    bool fail;
  } cases[] = {
      {4, 10, VER_PLATFORM_WIN32_WINDOWS, false},  // Windows 98
      {4, 0, VER_PLATFORM_WIN32_NT, false},        // NT 4
      {5, 0, VER_PLATFORM_WIN32_NT, false},        // Windows 2000
      {10, 0, VER_PLATFORM_WIN32_NT, false},       // no theme library in the substitute yet
      {10, 0, VER_PLATFORM_WIN32_NT, true},        // version unknown: the theme test decides
  };
  for (const Case& c : cases) {
    hosted::SetVersion(c.major, c.minor, 1000, c.platform, c.fail);
    ImageDrawing.themed = 7;
    ImageDrawingInit();
    EXPECT_EQ(ImageDrawing.themed, 0) << c.major << "." << c.minor;
    ImageDrawingEnd();
  }
}

TEST_F(ThemeFlag, MissingImageLibraryLeavesNullHandles) {
  hosted::SetModuleMissing("msimg32.dll", true);
  ImageDrawingInit();
  EXPECT_EQ(ImageDrawing.msimg32, nullptr);
  EXPECT_EQ(ImageDrawing.alphaBlend, nullptr);
  hosted::SetModuleMissing("msimg32.dll", false);
}

}  // namespace
