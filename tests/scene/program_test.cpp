// The whole program against the platform: the frame loop runs until a close
// request from outside, and the process ends with exit code 0.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "platform.h"
#include "program_watch.h"
#include "scene/scene.h"
#include "screen/screen.h"
#include "support/user_input.h"

namespace {

// Frames turned so far, read from the loop's thread: the rotation advances
// angleY by one degree per frame from 2.
int StepsSeen() {
  const int32_t y = std::atomic_ref<int32_t>(Scene.angleY).load(std::memory_order_relaxed);
  return (y + 358) % 360;
}

// The program's window once it has turned `frames` frames; a loop that
// stalls ends the process with code 3 instead.
HWND WaitForFrames(int frames) {
  for (int waited = 0; waited < 60000; ++waited) {
    HWND window = std::atomic_ref<HWND>(Screen.parentWindow).load();
    if (window != nullptr && StepsSeen() >= frames) return window;
    Sleep(1);
  }
  ExitProcess(3);
}

// Waits until the program has turned `frames` frames, then asks its window
// to close the way the close button does.
void CloseAfter(int frames) {
  std::thread([frames] {
    HWND window = WaitForFrames(frames);
    // The parent sees this only if the loop really ran.
    std::fprintf(stderr, "closing after %d frames\n", frames);
    std::fflush(stderr);
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
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

// Only the key's "down now" bit ends the loop: a press and release before
// the first frame leaves just the "pressed since last asked" bit.
TEST(CubeProgram, AnEscapePressedAndReleasedBeforeAFrameDoesNotEndIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        user_input::KeyDown(VK_ESCAPE);
        user_input::KeyUp(VK_ESCAPE);
        CloseAfter(30);
        CubeMain();
      },
      ::testing::ExitedWithCode(0), "closing after 30 frames");
}

// Events waiting together are taken one per frame: after a run of them and
// a close request, the loop turns a frame for each before it ends.
constexpr int kWaitingEvents = 40;
int stepsBeforeEvents = -1;

void ReportFramesForTheEvents() {
  const int frames = (StepsSeen() - stepsBeforeEvents + 360) % 360;
  if (frames > kWaitingEvents) std::fprintf(stderr, "a frame for each waiting event\n");
  else std::fprintf(stderr, "%d frames for %d waiting events\n", frames, kWaitingEvents + 2);
}

TEST(CubeProgram, TakesOneWaitingEventPerFrame) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        program_watch::Watch(ReportFramesForTheEvents);
        std::thread([] {
          HWND window = WaitForFrames(5);
          stepsBeforeEvents = StepsSeen();
          for (int i = 0; i < kWaitingEvents; ++i) PostMessageW(window, WM_USER + 1, 0, 0);
          // The close request itself is two: the command, then the close
          // event it makes.
          PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        }).detach();
        CubeMain();
      },
      ::testing::ExitedWithCode(0), "a frame for each waiting event");
}

}  // namespace
