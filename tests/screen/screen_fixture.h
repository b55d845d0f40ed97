// A started runtime with the screen facility initialised, and helpers that
// read the back buffer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "drawing/context.h"
#include "screen/screen.h"
#include "window/window_fixture.h"

class ScreenFixture : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    ASSERT_NE(ScreenSystemInit(), nullptr);
  }

  // The scene's window and screen: 640 x 480 at the top left, on the retrace.
  HWND OpenSceneScreen() {
    HWND window = OpenScene();
    EXPECT_NE(window, nullptr);
    EXPECT_EQ(ScreenOpenInWindow(window, 0, 0, 640, 480, 0, 0, 0), 1);
    return window;
  }

  // A pixel of the back buffer as 0x00RRGGBB (only while nothing holds it).
  static uint32_t BackBufferPixel(int x, int y) {
    D3DLOCKED_RECT locked{};
    if (FAILED(Screen.backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return 0xDEADBEEF;
    const auto* row = static_cast<const uint8_t*>(locked.pBits) + static_cast<ptrdiff_t>(y) * locked.Pitch;
    uint32_t value = 0;
    if (Screen.screenDepth == 32) {
      value = reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
    } else {
      const uint16_t p = reinterpret_cast<const uint16_t*>(row)[x];
      value = Screen.pixelFormatCode == PixelFormat565
                  ? ((p >> 11) << 19) | (((p >> 5) & 0x3F) << 10) | ((p & 0x1F) << 3)
                  : (((p >> 10) & 0x1F) << 19) | (((p >> 5) & 0x1F) << 11) | ((p & 0x1F) << 3);
    }
    Screen.backBuffer->UnlockRect();
    return value;
  }

  static RECT WindowRectIn(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    POINT topLeft = {r.left, r.top};
    POINT bottomRight = {r.right, r.bottom};
    ScreenToClient(parent, &topLeft);
    ScreenToClient(parent, &bottomRight);
    return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  }
};
