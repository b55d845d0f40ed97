// A started runtime with the screen facility initialised, and helpers that
// read the back buffer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "drawing/context.h"
#include "screen/screen.h"
#include "support/pixels.h"
#include "window/window_fixture.h"

// The screen's back buffer as a picture (only while nothing holds it);
// empty when it cannot be read.
inline pixels::Picture BackBufferPicture() {
  D3DSURFACE_DESC desc{};
  D3DLOCKED_RECT locked{};
  if (FAILED(Screen.backBuffer->GetDesc(&desc))) return pixels::Picture(0, 0);
  if (FAILED(Screen.backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return pixels::Picture(0, 0);
  pixels::Picture picture = pixels::Picture::FromRaw(locked.pBits, locked.Pitch, desc.Format,
                                                      static_cast<int>(desc.Width), static_cast<int>(desc.Height));
  Screen.backBuffer->UnlockRect();
  return picture;
}

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
