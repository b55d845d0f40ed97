// The whole program against the platform: the frame loop runs until a close
// request from outside, and the process ends with exit code 0.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "platform.h"
#include "scene/scene.h"
#include "screen/screen.h"

namespace {

// Frames turned so far, read from the loop's thread: the rotation advances
// angleY by one degree per frame from 2.
int StepsSeen() {
  const int32_t y = std::atomic_ref<int32_t>(Scene.angleY).load(std::memory_order_relaxed);
  return (y + 358) % 360;
}

// Waits until the program has turned `frames` frames, then asks its window
// to close the way the close button does. A loop that stalls ends the
// process with code 3 instead.
void CloseAfter(int frames) {
  std::thread([frames] {
    for (int waited = 0; waited < 60000; ++waited) {
      HWND window = std::atomic_ref<HWND>(Screen.parentWindow).load();
      if (window != nullptr && StepsSeen() >= frames) {
        // The parent sees this only if the loop really ran.
        std::fprintf(stderr, "closing after %d frames\n", frames);
        std::fflush(stderr);
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return;
      }
      Sleep(1);
    }
    ExitProcess(3);
  }).detach();
}

TEST(CubeProgram, RunsItsFrameLoopUntilAskedToCloseAndExitsWithZero) {
  // A fresh process, not a fork of this one with its earlier tests' state.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        CloseAfter(120);
        CubeMain();
      },
      ::testing::ExitedWithCode(0), "closing after 120 frames");
}

}  // namespace
