// Drawing calls on a device context: they resolve handles and state, then
// hand plain pixels and rectangles to the rasteriser.
#include "internal.h"

namespace gdi {

bool FillRectDc(HDC handle, const RECT& rect, HBRUSH brushHandle) {
  Dc* dc = LookupDc(handle);
  if (dc == nullptr) return false;
  // A brush handle that is no brush leaves the DC's own brush to fill, as
  // FillRect selects the given one only when it can.
  const Object* brush = Lookup(brushHandle, OBJ_BRUSH);
  if (brush == nullptr) brush = Lookup(dc->brush, OBJ_BRUSH);
  if (brush == nullptr) return true;
  if (brush->null || dc->target.bits == nullptr) return true;
  // FillRect copies the brush whatever the DC's raster operation.
  raster::FillRect(dc->target, rect.left, rect.top, rect.right, rect.bottom, R2_COPYPEN,
                   raster::ColorToPixel(dc->target.format, brush->color));
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
  if (t.bits == nullptr || x < 0 || y < 0 || x >= t.width || y >= t.height) return CLR_INVALID;
  return gdi::raster::PixelToColor(t.format, gdi::raster::ReadPixel(t, x, y));
}
