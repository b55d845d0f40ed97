// The screen on either platform: initialisation, the windowed screen and its
// subclassing, closing, stretching and the flip.
#include "screen/screen_fixture.h"

#include <cstring>
#include <string>
#include <vector>

#include "drawing/driver.h"
#include "platform/d3d9_params.h"

namespace {

std::u16string ClassOf(HWND window) {
  WCHAR name[64] = {};
  GetClassNameW(window, name, 64);
  return std::u16string(reinterpret_cast<const char16_t*>(name));
}

WNDPROC ProcOf(HWND window) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)); }

// Wine's X11 driver can still be reconfiguring a window it resized; tearing
// the windows down at that moment makes the X server refuse a request and
// ends the process. Letting the messages settle first avoids that.
void SettleAfterResize() {
  for (int i = 0; i < 10; ++i) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
}

class ScreenTest : public ScreenFixture {};

TEST_F(ScreenTest, InitialisesOnceWithAHiddenBaseWindowThatIsNeverClosed) {
  ObjectTable* table = Screen.spriteTable;
  EXPECT_EQ(ScreenSystemInit(), table);
  ASSERT_EQ(Screen.baseWindowReady, 1);
  HWND base = Screen.baseWindow;
  ASSERT_TRUE(IsWindow(base));
  EXPECT_FALSE(IsWindowVisible(base));
  EXPECT_EQ(ClassOf(base), u"MultimediaBase Class");

  EXPECT_EQ(SendMessageW(base, WM_ERASEBKGND, 0, 0), 1);
  EXPECT_EQ(SendMessageW(base, WM_PAINT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(base, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(base));
  EXPECT_EQ(SendMessageW(base, WM_KEYUP, VK_ESCAPE, 0), 0);
  EXPECT_EQ(SendMessageW(base, WM_LBUTTONDOWN, 0, 0), 0);

  // Activation moves presenting only while no windowed screen is attached.
  Screen.deviceActive = 1;
  BaseWindowProc(base, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(Screen.deviceActive, 0);
  BaseWindowProc(base, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(Screen.deviceActive, 1);
  OpenSceneScreen();
  BaseWindowProc(base, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(Screen.deviceActive, 1);
}

TEST_F(ScreenTest, SceneCallMakesA640By480ScreenAtTheTopLeft) {
  HWND window = OpenSceneScreen();
  EXPECT_EQ(Screen.screenWidth, 640);
  EXPECT_EQ(Screen.screenHeight, 480);
  EXPECT_EQ(Screen.windowed, 1);
  EXPECT_EQ(Screen.screenOpen, 1);
  EXPECT_EQ(Screen.deviceActive, 1);
  EXPECT_EQ(Screen.parentWindow, window);

  HWND child = Screen.childWindow;
  ASSERT_TRUE(IsWindow(child));
  EXPECT_EQ(GetParent(child), window);
  EXPECT_EQ(ClassOf(child), u"Static");
  EXPECT_TRUE(IsWindowVisible(child));
  RECT placed = WindowRectIn(window, child);
  EXPECT_EQ(placed.left, 0);
  EXPECT_EQ(placed.top, 0);
  EXPECT_EQ(placed.right, 640);
  EXPECT_EQ(placed.bottom, 480);

  D3DDISPLAYMODE desktop{};
  ASSERT_EQ(Screen.d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
  const D3DPRESENT_PARAMETERS& params = Screen.presentParams;
  EXPECT_EQ(params.BackBufferFormat, desktop.Format);
  EXPECT_EQ(params.BackBufferCount, 1u);
  EXPECT_EQ(params.SwapEffect, D3DSWAPEFFECT_COPY);
  EXPECT_EQ(params.hDeviceWindow, child);
  EXPECT_TRUE(params.Windowed);
  EXPECT_EQ(params.Flags, static_cast<DWORD>(D3DPRESENTFLAG_LOCKABLE_BACKBUFFER));
  EXPECT_EQ(params.PresentationInterval, static_cast<UINT>(D3DPRESENT_INTERVAL_ONE));
  EXPECT_EQ(Screen.screenDepth, ScreenFormatDepth(desktop.Format));

  ASSERT_NE(Screen.backBuffer, nullptr);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(Screen.backBuffer->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 640u);
  EXPECT_EQ(desc.Height, 480u);
  // The new back buffer starts black.
  EXPECT_TRUE(pixels::SamePicture(BackBufferPicture(), pixels::Picture(640, 480)));

  EXPECT_EQ(ProcOf(window), &ParentWindowProc);
  EXPECT_EQ(ProcOf(child), &ChildWindowProc);
  EXPECT_EQ(GetPropW(window, TEXT("zw_dxsize")), reinterpret_cast<HANDLE>(1));
}

TEST_F(ScreenTest, WithoutRetraceWaitPresentsImmediately) {
  HWND window = OpenScene();
  ASSERT_EQ(ScreenOpenInWindowEx(window, 0, 0, 320, 200, 0, 0, 0, 0), 1);
  EXPECT_EQ(Screen.presentParams.PresentationInterval, static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE));
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(Screen.deviceActive, 1);
}

TEST_F(ScreenTest, NoParentFailsAndOpensNothing) {
  EXPECT_EQ(ScreenOpenInWindow(nullptr, 0, 0, 640, 480, 0, 0, 0), 0);
  EXPECT_EQ(Screen.screenOpen, 0);
  EXPECT_EQ(Screen.childWindow, nullptr);
  EXPECT_EQ(Screen.device, nullptr);
}

// Before the screen system starts and after it ends there is nothing to
// open: refused, with no child window made and the parent untouched.
class ScreenWithoutSystemTest : public WindowFixture {};

TEST_F(ScreenWithoutSystemTest, OpenIsRefusedAndLeavesTheParentAsItWas) {
  HWND window = OpenScene();
  ASSERT_NE(window, nullptr);
  const WNDPROC own = ProcOf(window);
  for (const char* when : {"before the start", "after the end"}) {
    SCOPED_TRACE(when);
    if (std::strcmp(when, "after the end") == 0) {
      ASSERT_NE(ScreenSystemInit(), nullptr);
      ScreenSystemEnd();
    }
    const HWND recordedParent = Screen.parentWindow;
    EXPECT_EQ(ScreenOpenInWindow(window, 0, 0, 640, 480, 0, 0, 0), 0);
    EXPECT_EQ(GetWindow(window, GW_CHILD), nullptr);
    EXPECT_EQ(ProcOf(window), own);
    EXPECT_EQ(Screen.screenOpen, 0);
    EXPECT_EQ(Screen.childWindow, nullptr);
    EXPECT_EQ(Screen.parentWindow, recordedParent);
  }
}

TEST_F(ScreenTest, SecondScreenInTheSameWindowReplacesTheFirstAndSubclassesOnce) {
  HWND window = OpenSceneScreen();
  HWND firstChild = Screen.childWindow;
  WNDPROC original = Screen.oldParentProc;
  ASSERT_NE(original, nullptr);
  EXPECT_NE(original, &ParentWindowProc);

  ASSERT_EQ(ScreenOpenInWindow(window, 0, 0, 640, 480, 0, 0, 0), 1);
  EXPECT_FALSE(IsWindow(firstChild));
  EXPECT_TRUE(IsWindow(Screen.childWindow));
  EXPECT_NE(Screen.childWindow, firstChild);
  // Subclassing twice would make the parent procedure call itself.
  EXPECT_EQ(Screen.oldParentProc, original);
  EXPECT_EQ(ProcOf(window), &ParentWindowProc);
  // The window layer still sees the parent's messages.
  EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(window));
}

TEST_F(ScreenTest, CloseTakesTheScreenDownOnceAndKeepsTheParent) {
  HWND window = OpenSceneScreen();
  HWND child = Screen.childWindow;
  ScreenClose();
  EXPECT_EQ(Screen.screenOpen, 0);
  EXPECT_EQ(Screen.windowed, 0);
  EXPECT_EQ(Screen.device, nullptr);
  EXPECT_EQ(Screen.backBuffer, nullptr);
  EXPECT_EQ(Screen.childWindow, nullptr);
  EXPECT_EQ(Screen.screenWidth, 0);
  EXPECT_EQ(Screen.screenHeight, 0);
  EXPECT_EQ(Screen.screenDepth, 0);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(Screen.parentWindow, window);
  EXPECT_EQ(ProcOf(window), &ParentWindowProc);
  EXPECT_EQ(Screen.deviceActive, 1);

  ScreenClose();
  EXPECT_EQ(Screen.screenOpen, 0);
  // The released device is never reached again.
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(ScreenDrawTarget(), nullptr);
  // A parent still subclassed passes size changes on untouched.
  EXPECT_TRUE(SetWindowPos(window, nullptr, 0, 0, 300, 300, SWP_NOMOVE | SWP_NOZORDER));
  EXPECT_TRUE(IsWindow(window));
  SettleAfterResize();
}

// The parent repaints all of its client area, not only where the picture
// was: whatever it shows around the picture may have been drawn for it.
TEST_F(ScreenTest, CloseLeavesTheWholeParentToRepaint) {
  HWND window = reinterpret_cast<HWND>(WindowOpen(0, 0, 0, 800, 600, TEXT("Cube"), 0xCA0000));
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(ScreenOpenInWindow(window, 10, 20, 320, 240, 0, 0, 0), 1);
  Poll();
  ValidateRect(window, nullptr);
  ScreenClose();
  RECT client{}, update{};
  GetClientRect(window, &client);
  ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
  EXPECT_EQ(std::vector<LONG>({update.left, update.top, update.right, update.bottom}),
            std::vector<LONG>({0, 0, client.right, client.bottom}));
  Poll();
}

TEST_F(ScreenTest, AutoStretchFollowsTheParentsClientArea) {
  HWND window = reinterpret_cast<HWND>(WindowOpen(0, 0, 0, 800, 600, TEXT("Cube"), 0xCA0000));
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(ScreenOpenInWindow(window, 10, 20, 640, 480, 1, 5, 7), 1);
  RECT placed = WindowRectIn(window, Screen.childWindow);
  EXPECT_EQ(placed.left, 10);
  EXPECT_EQ(placed.top, 20);
  EXPECT_EQ(placed.right - placed.left, 785);
  EXPECT_EQ(placed.bottom - placed.top, 573);
  // The back buffer keeps its size; presenting stretches it.
  EXPECT_EQ(Screen.screenWidth, 640);
  EXPECT_EQ(Screen.presentParams.BackBufferHeight, 480u);

  RECT outer = {0, 0, 700, 500};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                           SWP_NOMOVE | SWP_NOZORDER));
  placed = WindowRectIn(window, Screen.childWindow);
  EXPECT_EQ(placed.left, 10);
  EXPECT_EQ(placed.right - placed.left, 685);
  EXPECT_EQ(placed.bottom - placed.top, 473);
  EXPECT_EQ(Screen.deviceActive, 1);
  SettleAfterResize();
}

TEST_F(ScreenTest, WithoutAutoStretchTheChildKeepsItsSize) {
  HWND window = OpenSceneScreen();
  ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER));
  RECT placed = WindowRectIn(window, Screen.childWindow);
  EXPECT_EQ(placed.right - placed.left, 640);
  EXPECT_EQ(placed.bottom - placed.top, 480);
  SettleAfterResize();
}

TEST_F(ScreenTest, FlipPresentsWithoutTakingMessages) {
  HWND window = OpenSceneScreen();
  Poll();
  ASSERT_TRUE(PostMessageW(window, WM_USER + 7, 1, 2));
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(Screen.deviceActive, 1);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, window, WM_USER + 7, WM_USER + 7, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 1u);
}

TEST_F(ScreenTest, ChildRepaintsByPresentingAndNeverErases) {
  OpenSceneScreen();
  HWND child = Screen.childWindow;
  EXPECT_EQ(SendMessageW(child, WM_ERASEBKGND, 0, 0), 1);
  InvalidateRect(child, nullptr, TRUE);
  UpdateWindow(child);
  RECT pending{};
  EXPECT_FALSE(GetUpdateRect(child, &pending, FALSE));
  EXPECT_EQ(Screen.deviceActive, 1);
}

// Every back buffer format this platform's device accepts: the depth the
// screen records fits the surface's rows, and where the screen gives the
// drawing layer a layout, writing it directly stores what GDI stores.
TEST_F(ScreenTest, RecordedDepthAndLayoutMatchWhatTheDeviceStores) {
  HWND window = OpenScene();
  const D3DFORMAT formats[] = {D3DFMT_X8R8G8B8,    D3DFMT_A8R8G8B8,    D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8,
                               D3DFMT_R5G6B5,      D3DFMT_X1R5G5B5,    D3DFMT_A1R5G5B5, D3DFMT_R8G8B8,
                               D3DFMT_A2R10G10B10, D3DFMT_A2B10G10R10};
  const Colour colours[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x204080};
  int made = 0;
  for (D3DFORMAT format : formats) {
    D3DPRESENT_PARAMETERS params = WindowedParameters(window, format);
    IDirect3DDevice9* device = nullptr;
    // A format the device refuses never becomes a screen.
    if (FAILED(Screen.d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0x42, &params, &device))) continue;
    ++made;
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
    const int32_t bytes = ScreenFormatDepth(format) / 8;
    const int32_t code = ScreenFormatCode(format);
    if (code != PixelFormatNone) {
      HDC dc = nullptr;
      ASSERT_EQ(surface->GetDC(&dc), D3D_OK) << format;
      for (int x = 0; x < 4; ++x) SetPixelV(dc, x, 0, static_cast<COLORREF>(colours[x]));
      ASSERT_EQ(surface->ReleaseDC(dc), D3D_OK);
    }
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK) << format;
    EXPECT_GE(locked.Pitch, 640 * bytes) << format;
    EXPECT_LT(locked.Pitch, 640 * (bytes + 1)) << format;
    if (code != PixelFormatNone) {
      const uint32_t mask = code == PixelFormat8888 ? 0xFFFFFF : code == PixelFormat565 ? 0xFFFF : 0x7FFF;
      for (int x = 0; x < 4; ++x) {
        uint32_t stored = 0;
        std::memcpy(&stored, static_cast<const uint8_t*>(locked.pBits) + x * bytes, bytes);
        EXPECT_EQ(stored & mask, PixelValue(code, colours[x]) & mask) << format << " " << std::hex << colours[x];
      }
    }
    surface->UnlockRect();
    surface->Release();
    EXPECT_EQ(device->Release(), 0u);
  }
  EXPECT_GT(made, 0);
}

}  // namespace
