// The screen against the substitute's fault injection: missing library, no
// display modes, failing device calls, the lost-device road on a test clock,
// desktop formats, and reference counts.
#include <vector>

#include "drawing/context.h"
#include "hosted/hooks.h"
#include "screen/screen_fixture.h"

namespace {

// A millisecond clock that only Sleep moves.
DWORD fakeNow;
std::vector<DWORD> sleeps;
DWORD FakeTick() { return fakeNow; }
void FakeSleep(DWORD ms) {
  sleeps.push_back(ms);
  fakeNow += ms;
}

// Fresh Direct3D state for each test; the facility itself comes up in the
// tests that need it, since some change what initialisation sees.
class ScreenFaultsTest : public WindowFixture {
 protected:
  void SetUp() override {
    hosted::ResetD3D9();
    fakeNow = 0xFFFFFFF0u;  // the wait must survive the counter's wrap
    sleeps.clear();
    hosted::SetKernelClock(FakeTick, FakeSleep);
    WindowFixture::SetUp();
  }
  void TearDown() override {
    if (currentContext != nullptr) {
      ScreenReleaseTarget(currentContext, 0);
      ContextDiscard(currentContext);
    }
    WindowFixture::TearDown();
    hosted::SetModuleMissing("d3d9.dll", false);
    hosted::SetKernelClock(nullptr, nullptr);
    hosted::ResetD3D9();
  }

  HWND OpenSceneScreen() {
    EXPECT_NE(ScreenSystemInit(), nullptr);
    HWND window = OpenScene();
    EXPECT_EQ(ScreenOpenInWindow(window, 0, 0, 640, 480, 0, 0, 0), 1);
    return window;
  }
};

TEST_F(ScreenFaultsTest, MissingLibraryFailsWithOnlyTheHiddenBaseWindow) {
  hosted::SetModuleMissing("d3d9.dll", true);
  EXPECT_EQ(ScreenSystemInit(), nullptr);
  EXPECT_EQ(Screen.spriteTable, nullptr);
  EXPECT_EQ(Screen.d3d, nullptr);
  ASSERT_TRUE(IsWindow(Screen.baseWindow));
  EXPECT_FALSE(IsWindowVisible(Screen.baseWindow));
  EXPECT_FALSE(hosted::DisplayState(Screen.baseWindow).visible);

  // Once the library is back, a later call starts again and succeeds.
  hosted::SetModuleMissing("d3d9.dll", false);
  EXPECT_NE(ScreenSystemInit(), nullptr);
}

TEST_F(ScreenFaultsTest, NoDisplayModesReleasesTheInterfaceOnce) {
  const int before = hosted::D3D9LiveObjects();
  hosted::SetD3D9ZeroModes(true);
  EXPECT_EQ(ScreenSystemInit(), nullptr);
  EXPECT_EQ(Screen.d3d, nullptr);
  EXPECT_EQ(Screen.spriteTable, nullptr);
  EXPECT_EQ(hosted::D3D9LiveObjects(), before);
}

// The back buffer takes the desktop's format, and the drawing target
// describes it well enough that a pixel the drawing layer writes into the
// locked memory shows the colour GDI writes for it.
TEST_F(ScreenFaultsTest, EachDesktopFormatGivesItsDepthAndLayout) {
  for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}) {
    SCOPED_TRACE(pixels::Name(format));
    hosted::SetD3D9DesktopFormat(format);
    HWND window = OpenSceneScreen();
    EXPECT_EQ(Screen.presentParams.BackBufferFormat, format);
    EXPECT_EQ(Screen.screenDepth, 8 * pixels::BytesPerPixel(format));
    DrawContext* target = ScreenDrawTarget();
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->targetDepth, Screen.screenDepth);
    ASSERT_NE(DrawBegin(target), nullptr);
    SetPixelV(target->dc, 0, 0, 0x3C8AE5);
    target->slots.PaintPixelColor(target, 1, 0, 0x3C8AE5);
    EXPECT_EQ(target->dcState, DcGivenUpForPixels) << "the pixel went through the device context";
    DrawEnd();
    const pixels::Picture picture = BackBufferPicture();
    EXPECT_NE(picture.at(0, 0), 0u);
    EXPECT_EQ(picture.at(1, 0), picture.at(0, 0));
    ScreenClose();
    DestroyWindow(window);
  }
}

TEST_F(ScreenFaultsTest, FailedDeviceLeavesTheChildAndReportsFailure) {
  ASSERT_NE(ScreenSystemInit(), nullptr);
  HWND window = OpenScene();
  hosted::FailD3D9CreateDevice(true);
  EXPECT_EQ(ScreenOpenInWindow(window, 0, 0, 640, 480, 0, 0, 0), 0);
  EXPECT_EQ(Screen.screenOpen, 0);
  EXPECT_EQ(Screen.device, nullptr);
  // Only what the failure road undoes is undone: the child stays.
  EXPECT_TRUE(IsWindow(Screen.childWindow));
  EXPECT_EQ(Screen.screenWidth, 640);
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(hosted::D3D9Calls().present, 0u);

  hosted::FailD3D9CreateDevice(false);
  HWND stale = Screen.childWindow;
  EXPECT_EQ(ScreenOpenInWindow(window, 0, 0, 640, 480, 0, 0, 0), 1);
  EXPECT_NE(Screen.childWindow, stale);
}

TEST_F(ScreenFaultsTest, FlipPresentsTheWholeBufferIntoTheChildsClientArea) {
  OpenSceneScreen();
  hosted::ResetD3D9();
  EXPECT_EQ(ScreenFlip(), 1);
  hosted::D3D9CallCounts calls = hosted::D3D9Calls();
  EXPECT_EQ(calls.testCooperativeLevel, 1u);
  EXPECT_EQ(calls.present, 1u);
  hosted::D3D9Present shown = hosted::D3D9LastPresent();
  EXPECT_EQ(shown.window, Screen.childWindow);
  EXPECT_EQ(shown.source.right, 640);
  EXPECT_EQ(shown.source.bottom, 480);
  EXPECT_EQ(shown.destination.right, 640);
  EXPECT_EQ(shown.destination.bottom, 480);
  EXPECT_TRUE(sleeps.empty());
  EXPECT_EQ(Screen.deviceActive, 1);
}

TEST_F(ScreenFaultsTest, StretchedScreenPresentsIntoTheFittedChild) {
  ASSERT_NE(ScreenSystemInit(), nullptr);
  HWND window = reinterpret_cast<HWND>(WindowOpen(0, 0, 0, 800, 600, TEXT("Cube"), 0xCA0000));
  ASSERT_EQ(ScreenOpenInWindow(window, 10, 20, 640, 480, 1, 5, 7), 1);
  hosted::ResetD3D9();
  // A size change of the parent fits the child again and presents.
  SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(800, 600));
  EXPECT_EQ(hosted::D3D9Calls().present, 1u);
  hosted::D3D9Present shown = hosted::D3D9LastPresent();
  EXPECT_EQ(shown.source.right, 640);
  EXPECT_EQ(shown.destination.right, 785);
  EXPECT_EQ(shown.destination.bottom, 573);
  EXPECT_EQ(shown.pixels.size(), 785u * 573u);
}

TEST_F(ScreenFaultsTest, ChildPaintPresentsAgain) {
  OpenSceneScreen();
  Poll();
  hosted::ResetD3D9();
  InvalidateRect(Screen.childWindow, nullptr, TRUE);
  UpdateWindow(Screen.childWindow);
  EXPECT_EQ(hosted::D3D9Calls().present, 1u);
}

TEST_F(ScreenFaultsTest, LostDeviceBackWithinTheWaitPresentsAfterThreeSleeps) {
  OpenSceneScreen();
  hosted::ResetD3D9();
  hosted::ScriptD3D9CooperativeLevel({D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3D_OK});
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(sleeps, (std::vector<DWORD>{1, 1, 1}));
  EXPECT_EQ(hosted::D3D9Calls().present, 1u);
  EXPECT_EQ(hosted::D3D9Calls().reset, 0u);
  EXPECT_EQ(Screen.deviceActive, 1);
}

TEST_F(ScreenFaultsTest, DeviceLostFor32MillisecondsStopsPresenting) {
  OpenSceneScreen();
  hosted::ResetD3D9();
  hosted::ScriptD3D9CooperativeLevel(std::vector<HRESULT>(100, D3DERR_DEVICELOST));
  EXPECT_EQ(ScreenFlip(), 0);
  EXPECT_EQ(Screen.deviceActive, 0);
  // One sleep per millisecond until 32 have passed on the tick counter.
  EXPECT_EQ(sleeps.size(), 32u);
  EXPECT_EQ(hosted::D3D9Calls().testCooperativeLevel, 33u);
  EXPECT_EQ(hosted::D3D9Calls().present, 0u);

  // From now on the device is left alone.
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(hosted::D3D9Calls().testCooperativeLevel, 33u);
  EXPECT_EQ(hosted::D3D9Calls().present, 0u);
}

TEST_F(ScreenFaultsTest, NotResetResetsWithTheStoredParametersAndTakesTheNewBackBuffer) {
  OpenSceneScreen();
  const D3DPRESENT_PARAMETERS stored = Screen.presentParams;
  hosted::ResetD3D9();
  hosted::ScriptD3D9CooperativeLevel({D3DERR_DEVICENOTRESET});
  const int live = hosted::D3D9LiveObjects();
  EXPECT_EQ(ScreenFlip(), 1);
  hosted::D3D9CallCounts calls = hosted::D3D9Calls();
  EXPECT_EQ(calls.reset, 1u);
  EXPECT_EQ(calls.getBackBuffer, 1u);
  EXPECT_EQ(calls.present, 1u);
  EXPECT_TRUE(sleeps.empty());
  EXPECT_EQ(Screen.deviceActive, 1);
  EXPECT_EQ(Screen.presentParams.BackBufferWidth, stored.BackBufferWidth);
  EXPECT_EQ(Screen.presentParams.hDeviceWindow, stored.hDeviceWindow);
  // One back buffer reference, as before: the old one was given back.
  EXPECT_EQ(hosted::D3D9LiveObjects(), live);
  DrawContext* target = ScreenDrawTarget();
  ASSERT_NE(target, nullptr);
  ScreenReleaseTarget(target, 1);
  ContextDiscard(target);
}

TEST_F(ScreenFaultsTest, NotResetDuringTheWaitEndsTheWaitAndResets) {
  OpenSceneScreen();
  hosted::ResetD3D9();
  hosted::ScriptD3D9CooperativeLevel({D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET});
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(sleeps.size(), 2u);
  EXPECT_EQ(hosted::D3D9Calls().testCooperativeLevel, 3u);
  EXPECT_EQ(hosted::D3D9Calls().reset, 1u);
  EXPECT_EQ(hosted::D3D9Calls().present, 1u);
}

TEST_F(ScreenFaultsTest, FailedResetStopsPresenting) {
  OpenSceneScreen();
  hosted::ResetD3D9();
  hosted::FailD3D9Reset(true);
  hosted::ScriptD3D9CooperativeLevel({D3DERR_DEVICENOTRESET});
  EXPECT_EQ(ScreenFlip(), 0);
  EXPECT_EQ(Screen.deviceActive, 0);
  EXPECT_EQ(hosted::D3D9Calls().present, 0u);
  // No back buffer to draw on now, and nothing crashes for it.
  EXPECT_EQ(ScreenDrawTarget(), nullptr);
  EXPECT_EQ(ScreenFlip(), 1);
}

TEST_F(ScreenFaultsTest, DriverInternalErrorAtAnyPollGivesUpAtOnce) {
  for (int lostPolls = 0; lostPolls < 3; ++lostPolls) {
    OpenSceneScreen();
    hosted::ResetD3D9();
    sleeps.clear();
    std::vector<HRESULT> script(static_cast<size_t>(lostPolls), D3DERR_DEVICELOST);
    script.push_back(D3DERR_DRIVERINTERNALERROR);
    hosted::ScriptD3D9CooperativeLevel(script);
    EXPECT_EQ(ScreenFlip(), 0) << lostPolls;
    EXPECT_EQ(Screen.deviceActive, 0);
    EXPECT_EQ(sleeps.size(), static_cast<size_t>(lostPolls));
    EXPECT_EQ(hosted::D3D9Calls().present, 0u);
    ScreenClose();
  }
}

TEST_F(ScreenFaultsTest, FailingPresentStillAnswersOneButStopsPresenting) {
  OpenSceneScreen();
  hosted::ResetD3D9();
  hosted::FailD3D9Present(true);
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(Screen.deviceActive, 0);
  EXPECT_EQ(hosted::D3D9Calls().present, 1u);
  hosted::FailD3D9Present(false);
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(hosted::D3D9Calls().present, 1u);
  EXPECT_EQ(hosted::D3D9Calls().testCooperativeLevel, 1u);
}

TEST_F(ScreenFaultsTest, RefusedDeviceContextCreatesNoTarget) {
  OpenSceneScreen();
  hosted::FailD3D9GetDC(true);
  EXPECT_EQ(ScreenDrawTarget(), nullptr);
  EXPECT_EQ(currentContext, nullptr);
}

TEST_F(ScreenFaultsTest, RefusedContextGivesTheDeviceContextBack) {
  OpenSceneScreen();
  hosted::ResetD3D9();
  // The context record is the first MainHeap allocation of the call.
  hosted::FailNthAllocation(1);
  EXPECT_EQ(ScreenDrawTarget(), nullptr);
  hosted::FailNthAllocation(0);
  EXPECT_EQ(hosted::D3D9Calls().getDC, 1u);
  EXPECT_EQ(hosted::D3D9Calls().releaseDC, 1u);
  DrawContext* target = ScreenDrawTarget();
  ASSERT_NE(target, nullptr);
  ScreenReleaseTarget(target, 1);
  ContextDiscard(target);
}

TEST_F(ScreenFaultsTest, ReferencesBalanceAfterCloseAndEnd) {
  const int before = hosted::D3D9LiveObjects();
  OpenSceneScreen();
  EXPECT_GT(hosted::D3D9LiveObjects(), before + 1);
  ScreenClose();
  // Only the interface is left after the screen closes.
  EXPECT_EQ(hosted::D3D9LiveObjects(), before + 1);
  ScreenSystemEnd();
  EXPECT_EQ(hosted::D3D9LiveObjects(), before);
  EXPECT_EQ(Screen.spriteTable, nullptr);
  ScreenSystemEnd();
  EXPECT_EQ(hosted::D3D9LiveObjects(), before);
}

TEST_F(ScreenFaultsTest, NoMessageIsTakenWhileAWindowedScreenIsAttached) {
  HWND window = OpenSceneScreen();
  Poll();
  for (int i = 0; i < 5; ++i) PostMessageW(window, WM_USER + 1, static_cast<WPARAM>(i), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ScreenFlip(), 1);
  MSG msg;
  int left = 0;
  while (PeekMessageW(&msg, window, WM_USER + 1, WM_USER + 1, PM_REMOVE)) ++left;
  EXPECT_EQ(left, 5);
}

}  // namespace
