// The screen against the substitute's fault injection: missing library, no
// display modes, failing device calls, the lost-device road on a test clock,
// desktop formats, and reference counts.
#include <cstring>
#include <vector>

#include "drawing/context.h"
#include "hosted/hooks.h"
#include "screen/screen_fixture.h"

namespace {

// A clock that only sleeping moves; each sleep is kept in milliseconds.
uint64_t fakeMicros;
std::vector<DWORD> sleeps;
uint64_t FakeNow() { return fakeMicros; }
void FakeSleepUntil(uint64_t micros) {
  sleeps.push_back(static_cast<DWORD>((micros - fakeMicros) / 1000));
  fakeMicros = micros;
}

// Fresh Direct3D state for each test; the facility itself comes up in the
// tests that need it, since some change what initialisation sees.
class ScreenFaultsTest : public WindowFixture {
 protected:
  void SetUp() override {
    hosted::ResetD3D9();
    // The wait must survive GetTickCount's wrap.
    fakeMicros = uint64_t{0xFFFFFFF0u} * 1000;
    sleeps.clear();
    hosted::SetClock(FakeNow, FakeSleepUntil);
    WindowFixture::SetUp();
  }
  void TearDown() override {
    if (currentContext != nullptr) {
      ScreenReleaseTarget(currentContext, 0);
      ContextDiscard(currentContext);
    }
    WindowFixture::TearDown();
    hosted::SetModuleMissing("d3d9.dll", false);
    hosted::SetClock(nullptr, nullptr);
    hosted::ResetD3D9();
  }

  // Its presents do not wait for a retrace, so the clock's sleeps are the
  // lost-device wait's alone.
  HWND OpenSceneScreen() {
    EXPECT_NE(ScreenSystemInit(), nullptr);
    HWND window = OpenScene();
    EXPECT_EQ(ScreenOpenInWindowEx(window, 0, 0, 640, 480, 0, 0, 0, 0), 1);
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

// An adapter may offer modes in one display format only (Wine on a 24-bit
// X server has none in X1R5G5B5): modes in any one of the three are enough.
TEST_F(ScreenFaultsTest, ModesInAnyOneDisplayFormatAreEnough) {
  for (D3DFORMAT only : {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}) {
    hosted::SetD3D9ModeFormat(only);
    EXPECT_NE(ScreenSystemInit(), nullptr) << only;
    ScreenSystemEnd();
  }
}

// Each desktop in turn: the format the adapter reports, what the screen
// records, and what a pixel written through the drawing layer stores. The
// 16-bit A1R5G5B5 desktop follows R5G6B5, so a layout kept from the screen
// before would store the wrong bits.
TEST_F(ScreenFaultsTest, EachDesktopFormatGivesItsDepthLayoutAndPixels) {
  const struct {
    D3DFORMAT desktop;
    D3DFORMAT reported;
    int32_t depth;
    int32_t code;
    uint32_t red;  // the raw pixel of pure red
  } desktops[] = {
      {D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 32, PixelFormat8888, 0xFF0000},
      {D3DFMT_A8B8G8R8, D3DFMT_X8R8G8B8, 32, PixelFormat8888, 0xFF0000},
      {D3DFMT_R5G6B5, D3DFMT_R5G6B5, 16, PixelFormat565, 0xF800},
      {D3DFMT_A1R5G5B5, D3DFMT_A1R5G5B5, 16, PixelFormatNone, 0x7C00},
      {D3DFMT_X8B8G8R8, D3DFMT_X8R8G8B8, 32, PixelFormat8888, 0xFF0000},
      {D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, 16, PixelFormat555, 0x7C00},
  };
  for (const auto& row : desktops) {
    hosted::SetD3D9DesktopFormat(row.desktop);
    HWND window = OpenSceneScreen();
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(Screen.d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, row.reported) << row.desktop;
    EXPECT_EQ(Screen.presentParams.BackBufferFormat, row.reported) << row.desktop;
    EXPECT_EQ(Screen.screenDepth, row.depth) << row.desktop;
    EXPECT_EQ(Screen.pixelFormatCode, row.code) << row.desktop;

    ASSERT_NE(DrawBegin(ScreenDrawTarget()), nullptr) << row.desktop;
    EXPECT_EQ(currentContext->targetDepth, row.depth) << row.desktop;
    EXPECT_EQ(currentContext->pixelFormat, row.code) << row.desktop;
    currentContext->slots.PaintPixelColor(currentContext, 5, 3, 0x0000FF);
    DrawEnd();
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(Screen.backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    uint32_t stored = 0;
    const int bytes = row.depth / 8;
    std::memcpy(&stored, static_cast<const uint8_t*>(locked.pBits) + 3 * locked.Pitch + 5 * bytes, bytes);
    Screen.backBuffer->UnlockRect();
    EXPECT_EQ(stored & 0xFFFFFFu, row.red) << row.desktop;
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
