// A drawing target for tests: a top-down DIB section behind one memory DC,
// handed to the drawing layer as a lockable surface the way the screen hands
// out its back buffer. The device context and the pixel lock exclude each
// other, and every hook call is counted.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "drawing/context.h"
#include "drawing/driver.h"
#include "platform.h"

namespace draw_test {

enum class Format { X8R8G8B8, R5G6B5, X1R5G5B5 };

class Surface;
// The surface whose hooks the current context calls; tests run one at a time.
inline Surface* activeSurface = nullptr;

class Surface {
 public:
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  void* bits = nullptr;
  int width;
  int height;
  int pitch;
  Format format;

  // Hook calls since the surface was made.
  int acquireCalls = 0;
  int lockCalls = 0;
  std::vector<int32_t> releaseFlags;
  // What the surface hands out now.
  bool dcOut = false;
  bool locked = false;

  Surface(int w, int h, Format f) : width(w), height(h), format(f) {
    const int bytes = f == Format::X8R8G8B8 ? 4 : 2;
    pitch = (w * bytes + 3) / 4 * 4;
    struct {
      BITMAPINFOHEADER header;
      DWORD masks[3];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = w;
    info.header.biHeight = -h;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bytes * 8);
    info.header.biCompression = f == Format::X8R8G8B8 ? BI_RGB : BI_BITFIELDS;
    if (f == Format::R5G6B5) {
      info.masks[0] = 0xF800, info.masks[1] = 0x07E0, info.masks[2] = 0x001F;
    } else if (f == Format::X1R5G5B5) {
      info.masks[0] = 0x7C00, info.masks[1] = 0x03E0, info.masks[2] = 0x001F;
    }
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    previousBitmap = SelectObject(dc, bitmap);
  }
  ~Surface() {
    if (activeSurface == this) activeSurface = nullptr;
    SelectObject(dc, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  bool usable() const { return dc != nullptr && bitmap != nullptr && bits != nullptr; }
  int32_t formatCode() const {
    return format == Format::X8R8G8B8 ? PixelFormat8888 : format == Format::R5G6B5 ? PixelFormat565 : PixelFormat555;
  }
  int32_t depth() const { return format == Format::X8R8G8B8 ? 32 : 16; }

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

  // The raw pixel at (x, y). GetPixel first: a call that answers a value
  // flushes whatever drawing Windows has batched for the DC.
  uint32_t Raw(int x, int y) const {
    GetPixel(dc, 0, 0);
    return Stored(x, y);
  }
  // Every pixel's colour bits set to one raw value.
  void FillRaw(uint32_t value) {
    GetPixel(dc, 0, 0);
    for (int y = 0; y < height; ++y) {
      auto* row = static_cast<unsigned char*>(bits) + static_cast<ptrdiff_t>(y) * pitch;
      for (int x = 0; x < width; ++x) {
        if (format == Format::X8R8G8B8) {
          std::memcpy(row + x * 4, &value, 4);
        } else {
          const auto v = static_cast<uint16_t>(value);
          std::memcpy(row + x * 2, &v, 2);
        }
      }
    }
  }
  // Pixels whose colour (alpha aside) differs from `value`.
  long CountOther(uint32_t value) const {
    const uint32_t mask = format == Format::X8R8G8B8 ? 0xFFFFFF : 0xFFFF;
    GetPixel(dc, 0, 0);
    long count = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) count += (Stored(x, y) & mask) != (value & mask);
    return count;
  }

 private:
  HGDIOBJ previousBitmap = nullptr;

  uint32_t Stored(int x, int y) const {
    const auto* row = static_cast<const unsigned char*>(bits) + static_cast<ptrdiff_t>(y) * pitch;
    if (format == Format::X8R8G8B8) {
      uint32_t v;
      std::memcpy(&v, row + x * 4, 4);
      return v;
    }
    uint16_t v;
    std::memcpy(&v, row + x * 2, 2);
    return v;
  }

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
