#include "drawing/context.h"
#include "screen/screen.h"

DrawContext* ScreenDrawTarget() {
  // No back buffer (no screen, or a reset that failed): nothing to draw on.
  if (Screen.backBuffer == nullptr) return nullptr;
  HDC dc = nullptr;
  if (FAILED(Screen.backBuffer->GetDC(&dc))) return nullptr;
  DrawContext* context = ContextCreateGdi();
  if (context == nullptr) {
    // Holding on to the device context would block every later target.
    Screen.backBuffer->ReleaseDC(dc);
    return nullptr;
  }
  context->targetKind = TargetLockableSurface;
  context->dc = dc;
  context->pixels = nullptr;
  context->pixelFormat = Screen.pixelFormatCode;
  context->acquireDc = ScreenAcquireDc;
  context->lockPixels = ScreenLockPixels;
  context->grabAs24 = 1;
  context->targetWidth = Screen.screenWidth;
  context->targetHeight = Screen.screenHeight;
  context->targetDepth = Screen.screenDepth;
  context->releaseTarget = ScreenReleaseTarget;
  return context;
}

// The hooks find no back buffer only after a reset that failed while the
// target was out; the old surface went with that reset, so there is nothing
// left to give back.

void ScreenReleaseTarget(DrawContext* context, int32_t /*flag*/) {
  if (Screen.backBuffer == nullptr) {
    context->dc = nullptr;
    context->pixels = nullptr;
    return;
  }
  if (context->dc != nullptr) {
    Screen.backBuffer->ReleaseDC(context->dc);
    context->dc = nullptr;
  }
  if (context->pixels != nullptr) {
    Screen.backBuffer->UnlockRect();
    context->pixels = nullptr;
  }
}

HDC ScreenAcquireDc(DrawContext* context) {
  if (context->dc != nullptr) return context->dc;
  if (Screen.backBuffer == nullptr) return nullptr;
  if (context->pixels != nullptr) {
    Screen.backBuffer->UnlockRect();
    context->pixels = nullptr;
  }
  HDC dc = nullptr;
  if (FAILED(Screen.backBuffer->GetDC(&dc))) return nullptr;
  context->dc = dc;
  return dc;
}

void* ScreenLockPixels(DrawContext* context, int32_t* pitchOut) {
  if (Screen.backBuffer == nullptr) return context->pixels;
  if (context->dc != nullptr) {
    Screen.backBuffer->ReleaseDC(context->dc);
    context->dc = nullptr;
  }
  D3DLOCKED_RECT locked{};
  if (SUCCEEDED(Screen.backBuffer->LockRect(&locked, nullptr, 0))) {
    context->pixels = locked.pBits;
    *pitchOut = locked.Pitch;
  }
  return context->pixels;
}
