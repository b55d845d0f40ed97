// Drawing calls on a device context: they resolve handles and state, then
// hand plain pixels and rectangles to the rasteriser.
#include <utility>

#include "internal.h"

namespace gdi {

// Handle values up to here are system colour indexes plus one.
constexpr uintptr_t kSystemColourBrushes = 31;

bool FillRectDc(HDC handle, const RECT& rect, HBRUSH brushHandle) {
  Dc* dc = LookupDc(handle);
  if (dc == nullptr) return false;
  // A brush handle that is no brush leaves the DC's own brush to fill, as
  // FillRect selects the given one only when it can.
  if (dc->target.bits == nullptr) return true;
  COLORREF color;
  // Small values name a system colour plus one, as in window classes.
  const uintptr_t value = reinterpret_cast<uintptr_t>(brushHandle);
  if (value >= 1 && value <= kSystemColourBrushes) {
    color = GetSysColor(static_cast<int>(value - 1));
  } else {
    const Object* brush = Lookup(brushHandle, OBJ_BRUSH);
    if (brush == nullptr) brush = Lookup(dc->brush, OBJ_BRUSH);
    if (brush == nullptr || brush->null) return true;
    color = brush->color;
  }
  // FillRect copies the brush whatever the DC's raster operation.
  raster::FillRect(dc->target, rect.left, rect.top, rect.right, rect.bottom, R2_COPYPEN,
                   raster::ColorToPixel(dc->target.format, color));
  return true;
}

}  // namespace gdi

BOOL WINAPI SetPixelV(HDC handle, int x, int y, COLORREF color) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr) return FALSE;
  const gdi::Bitmap& t = dc->target;
  // Clipped away is not a failure.
  if (t.bits == nullptr || x < 0 || y < 0 || x >= t.width || y >= t.height) return TRUE;
  gdi::raster::WritePixel(t, x, y, gdi::raster::ColorToPixel(t.format, color));
  return TRUE;
}

COLORREF WINAPI GetPixel(HDC handle, int x, int y) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr) return CLR_INVALID;
  const gdi::Bitmap& t = dc->target;
  // A memory DC's own 1x1 bitmap is black.
  if (t.bits == nullptr) return dc->memory && x == 0 && y == 0 ? RGB(0, 0, 0) : CLR_INVALID;
  if (x < 0 || y < 0 || x >= t.width || y >= t.height) return CLR_INVALID;
  return gdi::raster::PixelToColor(t.format, gdi::raster::ReadPixel(t, x, y));
}

BOOL WINAPI Rectangle(HDC handle, int left, int top, int right, int bottom) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr) return FALSE;
  const gdi::Bitmap& t = dc->target;
  if (t.bits == nullptr) return TRUE;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (left == right || top == bottom) return TRUE;
  const gdi::Object* pen = gdi::Lookup(dc->pen, OBJ_PEN);
  const gdi::Object* brush = gdi::Lookup(dc->brush, OBJ_BRUSH);
  const bool outline = pen != nullptr && !pen->null;
  const int rop = dc->rop2;
  // The brush covers the inside of the outline; without a pen it also takes
  // the outline's top and left edges, never the right and bottom ones.
  if (brush != nullptr && !brush->null) {
    const uint32_t pixel = gdi::raster::ColorToPixel(t.format, brush->color);
    if (outline) {
      gdi::raster::FillRect(t, left + 1, top + 1, right - 1, bottom - 1, rop, pixel);
    } else {
      gdi::raster::FillRect(t, left, top, right - 1, bottom - 1, rop, pixel);
    }
  }
  if (outline) {
    const uint32_t pixel = gdi::raster::ColorToPixel(t.format, pen->color);
    // The outline is a closed path of four lines, each without its end
    // point: every pixel once, except on rectangles one pixel thin, where
    // the lines come back over each other and raster operations that read
    // the destination see it twice.
    gdi::raster::FillRect(t, left, top, right - 1, top + 1, rop, pixel);
    gdi::raster::FillRect(t, right - 1, top, right, bottom - 1, rop, pixel);
    gdi::raster::FillRect(t, left + 1, bottom - 1, right, bottom, rop, pixel);
    gdi::raster::FillRect(t, left, top + 1, left + 1, bottom, rop, pixel);
  }
  return TRUE;
}

BOOL WINAPI Polygon(HDC handle, const POINT* points, int count) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr || points == nullptr || count < 2) return FALSE;
  const gdi::Bitmap& t = dc->target;
  if (t.bits == nullptr) return TRUE;
  const gdi::Object* pen = gdi::Lookup(dc->pen, OBJ_PEN);
  const gdi::Object* brush = gdi::Lookup(dc->brush, OBJ_BRUSH);
  if (brush != nullptr && !brush->null)
    gdi::raster::FillPolygonAlternate(t, points, count, dc->rop2, gdi::raster::ColorToPixel(t.format, brush->color));
  // The outline closes the path back to the first point.
  if (pen != nullptr && !pen->null) {
    const uint32_t pixel = gdi::raster::ColorToPixel(t.format, pen->color);
    for (int i = 0; i < count; ++i) gdi::raster::Line(t, points[i], points[(i + 1) % count], dc->rop2, pixel);
  }
  return TRUE;
}
