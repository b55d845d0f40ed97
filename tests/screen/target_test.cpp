// The back buffer as a drawing target: the context's fields, the two access
// hooks that exclude each other, and a whole frame drawn and presented.
#include "drawing/context.h"
#include "drawing/driver.h"
#include "screen/screen_fixture.h"

namespace {

class ScreenTargetTest : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    OpenSceneScreen();
  }
  void TearDown() override {
    // A target still out would hold the surface past the screen's end.
    if (currentContext != nullptr) {
      ScreenReleaseTarget(currentContext, 0);
      ContextDiscard(currentContext);
    }
    ScreenFixture::TearDown();
  }
};

TEST_F(ScreenTargetTest, TargetDescribesTheBackBuffer) {
  DrawContext* target = ScreenDrawTarget();
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(currentContext, target);
  EXPECT_EQ(target->targetWidth, 640);
  EXPECT_EQ(target->targetHeight, 480);
  EXPECT_EQ(target->targetDepth, Screen.screenDepth);
  EXPECT_EQ(target->pixelFormat, Screen.pixelFormatCode);
  if (Screen.presentParams.BackBufferFormat == D3DFMT_X8R8G8B8) {
    EXPECT_EQ(target->targetDepth, 32);
    EXPECT_EQ(target->pixelFormat, PixelFormat8888);
  }
  EXPECT_EQ(target->targetKind, 7);
  EXPECT_EQ(target->grabAs24, 1);
  EXPECT_EQ(target->pixels, nullptr);
  EXPECT_NE(target->dc, nullptr);
  EXPECT_EQ(target->releaseTarget, &ScreenReleaseTarget);
  EXPECT_EQ(target->acquireDc, &ScreenAcquireDc);
  EXPECT_EQ(target->lockPixels, &ScreenLockPixels);
}

TEST_F(ScreenTargetTest, DeviceContextAndLockNeverHeldTogether) {
  DrawContext* target = ScreenDrawTarget();
  ASSERT_NE(target, nullptr);
  HDC first = target->dc;
  // Held already: handed out again, not taken twice.
  EXPECT_EQ(ScreenAcquireDc(target), first);
  EXPECT_EQ(ScreenAcquireDc(target), first);

  int32_t pitch = 0;
  void* bits = ScreenLockPixels(target, &pitch);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(target->pixels, bits);
  EXPECT_EQ(target->dc, nullptr);
  EXPECT_GE(pitch, 640 * Screen.screenDepth / 8);

  HDC again = ScreenAcquireDc(target);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(target->dc, again);
  EXPECT_EQ(target->pixels, nullptr);

  ScreenReleaseTarget(target, 1);
  EXPECT_EQ(target->dc, nullptr);
  EXPECT_EQ(target->pixels, nullptr);
  // Given back exactly once: the surface hands out a device context again,
  // and a second release has nothing to give.
  ScreenReleaseTarget(target, 1);
  HDC probe = nullptr;
  ASSERT_EQ(Screen.backBuffer->GetDC(&probe), D3D_OK);
  EXPECT_EQ(Screen.backBuffer->ReleaseDC(probe), D3D_OK);
}

TEST_F(ScreenTargetTest, LockAfterLockKeepsThePixelsAndAFailedLockChangesNothing) {
  DrawContext* target = ScreenDrawTarget();
  ASSERT_NE(target, nullptr);
  int32_t pitch = 0;
  void* bits = ScreenLockPixels(target, &pitch);
  ASSERT_NE(bits, nullptr);
  // The surface is locked already, so the second lock fails: the context
  // keeps its pixels and the pitch is left alone.
  int32_t untouched = -5;
  EXPECT_EQ(ScreenLockPixels(target, &untouched), bits);
  EXPECT_EQ(untouched, -5);
  ScreenReleaseTarget(target, 1);
  EXPECT_EQ(target->pixels, nullptr);
}

TEST_F(ScreenTargetTest, SecondTargetIsRefusedWhileTheFirstHoldsTheDeviceContext) {
  DrawContext* first = ScreenDrawTarget();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(ScreenDrawTarget(), nullptr);
  EXPECT_EQ(currentContext, first);
}

TEST_F(ScreenTargetTest, ReleaseOfATargetHoldingNothingDoesNothing) {
  DrawContext* target = ScreenDrawTarget();
  ASSERT_NE(target, nullptr);
  ScreenReleaseTarget(target, 1);
  ScreenReleaseTarget(target, 0);
  EXPECT_EQ(target->dc, nullptr);
  EXPECT_EQ(target->pixels, nullptr);
  ContextDiscard(target);
  EXPECT_EQ(currentContext, nullptr);
}

TEST_F(ScreenTargetTest, AFrameDrawnInASessionLandsInTheBackBufferAndIsPresented) {
  HDC dc = DrawBegin(ScreenDrawTarget());
  ASSERT_NE(dc, nullptr);
  DrawFillRect(0, 0, 640, 480, 0xFFFFFF);
  DrawFillRect(0, 0, 640, 480, 0);
  HBRUSH brush = CreateSolidBrush(0xFFFFFF);
  HPEN pen = CreatePen(PS_SOLID, 1, 0xFFFFFF);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  const POINT square[4] = {{230, 150}, {230, 330}, {410, 330}, {410, 150}};
  EXPECT_TRUE(Polygon(dc, square, 4));
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
  DrawEnd();
  EXPECT_EQ(currentContext, nullptr);

  // The pen's outline takes in the right and bottom edges as well.
  EXPECT_TRUE(pixels::SamePicture(BackBufferPicture(), pixels::Picture(640, 480).Fill(230, 150, 411, 331, 0xFFFFFF)));
  EXPECT_EQ(ScreenFlip(), 1);
  EXPECT_EQ(Screen.deviceActive, 1);
}

}  // namespace
