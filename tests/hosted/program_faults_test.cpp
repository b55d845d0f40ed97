// The whole program when its opening fails: it ends quietly, with exit code
// 0, through every end step, and shows no window it could not use.
#include <gtest/gtest.h>

#include <cstdio>

#include "hosted/hooks.h"
#include "platform.h"
#include "scene/program_watch.h"
#include "scene/scene.h"

namespace {

BOOL CALLBACK CountVisible(HWND window, LPARAM count) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

void ReportVisibleWindows() {
  int visible = 0;
  EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&visible));
  std::fprintf(stderr, "%d windows shown\n", visible);
}

TEST(ProgramFaults, AFailedOpeningEndsThroughEveryEndStep) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    const char* name;
    void (*fault)();
    const char* expected;
  } cases[] = {
      // The screen system comes up before any window opens.
      {"no d3d9.dll", [] { hosted::SetModuleMissing("d3d9.dll", true); }, "0 windows shown\nall 11 end steps ran"},
      {"no display modes", [] { hosted::SetD3D9ZeroModes(true); }, "0 windows shown\nall 11 end steps ran"},
      {"no device", [] { hosted::FailD3D9CreateDevice(true); }, "all 11 end steps ran"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(
        {
          c.fault();
          program_watch::Watch(ReportVisibleWindows);
          CubeMain();
        },
        ::testing::ExitedWithCode(0), c.expected);
  }
}

}  // namespace
