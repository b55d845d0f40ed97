// A drawing target for tests: a top-down DIB section behind one memory DC,
// handed to the drawing layer as a lockable surface the way the screen hands
// out its back buffer. The device context and the pixel lock exclude each
// other, and every hook call is counted.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "drawing/context.h"
#include "drawing/driver.h"
#include "platform.h"
#include "support/pixels.h"

namespace draw_test {

class Surface;
// The surface whose hooks the current context calls; tests run one at a time.
inline Surface* activeSurface = nullptr;

class Surface : public pixels::Canvas {
 public:
  // Hook calls since the surface was made.
  int acquireCalls = 0;
  int lockCalls = 0;
  std::vector<int32_t> releaseFlags;
  // What the surface hands out now.
  bool dcOut = false;
  bool locked = false;

  Surface(int w, int h, D3DFORMAT f) : Canvas(w, h, f) {}
  ~Surface() {
    if (activeSurface == this) activeSurface = nullptr;
  }

  int32_t formatCode() const {
    return format == D3DFMT_X8R8G8B8 ? PixelFormat8888 : format == D3DFMT_R5G6B5 ? PixelFormat565 : PixelFormat555;
  }
  int32_t depth() const { return format == D3DFMT_X8R8G8B8 ? 32 : 16; }

  // The provider: takes its device context, creates the context, fills the
  // target fields. Null, with the device context given back, when the
  // context cannot be made.
  DrawContext* Provide() {
    activeSurface = this;
    dcOut = true;
    DrawContext* context = ContextCreateGdi();
    if (context == nullptr) {
      dcOut = false;
      return nullptr;
    }
    context->releaseTarget = Release;
    context->targetWidth = width;
    context->targetHeight = height;
    context->targetDepth = depth();
    context->targetKind = TargetLockableSurface;
    context->pixels = nullptr;
    context->pixelFormat = formatCode();
    context->acquireDc = Acquire;
    context->lockPixels = Lock;
    context->dc = dc;
    context->grabAs24 = 1;
    return context;
  }

 private:
  // The same device context every time, as long as it is held.
  static HDC Acquire(DrawContext* context) {
    Surface* s = activeSurface;
    ++s->acquireCalls;
    if (context->dc != nullptr) return context->dc;
    if (context->pixels != nullptr) {
      s->locked = false;
      context->pixels = nullptr;
    }
    s->dcOut = true;
    context->dc = s->dc;
    return context->dc;
  }

  // Giving the device context up ends it, as a surface's does: the next one
  // starts with a new DC's objects and state, so whatever the session wants
  // in it must be selected again.
  static void* Lock(DrawContext* context, int32_t* pitchOut) {
    Surface* s = activeSurface;
    ++s->lockCalls;
    if (context->dc != nullptr) {
      SelectObject(s->dc, GetStockObject(WHITE_BRUSH));
      SelectObject(s->dc, GetStockObject(BLACK_PEN));
      SelectObject(s->dc, GetStockObject(SYSTEM_FONT));
      SetROP2(s->dc, R2_COPYPEN);
      SetBkMode(s->dc, OPAQUE);
      SetTextColor(s->dc, 0);
      SetBkColor(s->dc, 0xFFFFFF);
      SetTextAlign(s->dc, TA_NOUPDATECP);
      s->dcOut = false;
      context->dc = nullptr;
    }
    GetPixel(s->dc, 0, 0);
    s->locked = true;
    context->pixels = s->bits;
    *pitchOut = s->pitch;
    return context->pixels;
  }

  // The end of a session leaves the DC as the session left it, so that tests
  // can look at what is selected.
  static void Release(DrawContext* context, int32_t flag) {
    Surface* s = activeSurface;
    s->releaseFlags.push_back(flag);
    s->dcOut = false;
    s->locked = false;
    context->dc = nullptr;
    context->pixels = nullptr;
  }
};

// The DC's current object of a kind, read by displacing it for a moment.
inline HGDIOBJ Selected(HDC dc, int stockOfKind) {
  HGDIOBJ current = SelectObject(dc, GetStockObject(stockOfKind));
  SelectObject(dc, current);
  return current;
}

// The context slot exists once per process, as after start-up.
inline void EnsureContextSlot() {
  if (contextSlot == TLS_OUT_OF_INDEXES) DrawContextInit();
}

}  // namespace draw_test
