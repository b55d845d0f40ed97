// PatBlt and BitBlt: a rectangle of a DC's pixels meets its brush, and
// another DC's pixels, under any of the 256 ternary raster operations, the
// source converted to the destination's format first (a monochrome device
// bitmap taking the destination's text and background colours), both
// clipped to their bitmaps.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "internal.h"
#include "stretch.h"

namespace gdi {

bool UsesSource(unsigned index) { return (((index >> 2) ^ index) & 0x33) != 0; }

// Bit (pattern << 2 | source << 1 | dest) of the index is the result.
uint32_t Ternary(unsigned index, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t result = 0;
  for (unsigned i = 0; i < 8; ++i)
    if ((index >> i) & 1) result |= ((i & 4) != 0 ? p : ~p) & ((i & 2) != 0 ? s : ~s) & ((i & 1) != 0 ? d : ~d);
  return result;
}

namespace {

constexpr unsigned kSrcCopy = 0xCC;
constexpr unsigned kSrcInvert = 0x66;

// [pos, pos + size) on one axis; a negative size covers the pixels before
// pos + 1, as the platform orders such a rectangle.
void Span(long long pos, long long size, long long& low, long long& high) {
  low = pos;
  high = pos + size;
  if (low > high) {
    const long long first = high + 1;
    high = low + 1;
    low = first;
  }
}

// SRCINVERT between rows of one format that are not the same row.
template <typename P>
void XorRows(const Image& to, const Image& from, int dx, int dy, int sx, int sy, int width, int rows, bool upwards) {
  for (int i = 0; i < rows; ++i) {
    const int r = upwards ? rows - 1 - i : i;
    P* __restrict d = reinterpret_cast<P*>(to.bits + static_cast<ptrdiff_t>(dy + r) * to.pitch) + dx;
    const P* __restrict s = reinterpret_cast<const P*>(from.bits + static_cast<ptrdiff_t>(sy + r) * from.pitch) + sx;
    for (int x = 0; x < width; ++x) d[x] ^= s[x];
  }
}

}  // namespace

}  // namespace gdi

BOOL WINAPI PatBlt(HDC handle, int x, int y, int width, int height, DWORD rop) {
  gdi::Paint paint;
  if (!gdi::StartPaint(handle, paint)) return FALSE;
  // One that reads a source has none to read here.
  const unsigned index = (rop >> 16) & 0xFF;
  if (gdi::UsesSource(index)) return FALSE;
  const gdi::Brush* brush = gdi::Get<gdi::Brush>(paint.dc->brush, OBJ_BRUSH);
  if (brush == nullptr || brush->null) return TRUE;
  // Without the source it is a binary operation on brush and destination.
  const int rop2 = static_cast<int>(((index >> 2) & 0xC) | (index & 3)) + 1;
  long long left, right, top, bottom;
  gdi::Span(x, width, left, right);
  gdi::Span(y, height, top, bottom);
  RECT rect = {static_cast<LONG>(std::clamp<long long>(left, INT_MIN, INT_MAX)),
               static_cast<LONG>(std::clamp<long long>(top, INT_MIN, INT_MAX)),
               static_cast<LONG>(std::clamp<long long>(right, INT_MIN, INT_MAX)),
               static_cast<LONG>(std::clamp<long long>(bottom, INT_MIN, INT_MAX))};
  gdi::Image to;
  if ((brush->hatch >= 0 || paint.target == nullptr) && gdi::DcImage(*paint.dc, to)) {
    // A hatch is a pattern that changes from pixel to pixel, and bitmaps
    // the rasteriser does not draw into take any pattern that way.
    gdi::Box box;
    if (gdi::IntersectBoxes(box, {left, top, right, bottom},
                            {paint.clip.left, paint.clip.top, paint.clip.right, paint.clip.bottom}))
      gdi::DrawPixels(to, box, nullptr, index, gdi::PatternOf(to, *paint.dc));
    return TRUE;
  }
  if (paint.target == nullptr) return TRUE;
  paint.FillRects(&rect, 1, gdi::RopMasksFor(rop2, paint.brushPixel));
  return TRUE;
}

BOOL WINAPI BitBlt(HDC dstHandle, int x, int y, int width, int height, HDC srcHandle, int srcX, int srcY, DWORD rop) {
  const unsigned index = (rop >> 16) & 0xFF;
  if (!gdi::UsesSource(index)) return PatBlt(dstHandle, x, y, width, height, rop);
  gdi::Paint paint;
  const gdi::Dc* src = gdi::LookupDc(srcHandle);
  if (!gdi::StartPaint(dstHandle, paint) || src == nullptr) return FALSE;
  gdi::Image to, from;
  if (!gdi::DcImage(*paint.dc, to) || !gdi::DcImage(*src, from)) return FALSE;
  // The destination's rectangle clipped by the DC and to where the source's
  // lies on its own bitmap.
  long long left, right, top, bottom, srcLeft, srcRight, srcTop, srcBottom;
  gdi::Span(x, width, left, right);
  gdi::Span(y, height, top, bottom);
  gdi::Span(srcX, width, srcLeft, srcRight);
  gdi::Span(srcY, height, srcTop, srcBottom);
  const long long offsetX = srcLeft - left, offsetY = srcTop - top;
  const RECT& clip = paint.clip;
  left = std::max({left, static_cast<long long>(clip.left), std::max(srcLeft, 0LL) - offsetX});
  top = std::max({top, static_cast<long long>(clip.top), std::max(srcTop, 0LL) - offsetY});
  right = std::min({right, static_cast<long long>(clip.right),
                    std::min(srcRight, static_cast<long long>(from.width)) - offsetX});
  bottom = std::min({bottom, static_cast<long long>(clip.bottom),
                     std::min(srcBottom, static_cast<long long>(from.height)) - offsetY});
  if (left >= right || top >= bottom) return TRUE;
  const int dx = static_cast<int>(left), dy = static_cast<int>(top);
  const int sx = static_cast<int>(left + offsetX), sy = static_cast<int>(top + offsetY);
  const int columns = static_cast<int>(right - left), rows = static_cast<int>(bottom - top);
  // Within one bitmap, rows are taken in the order that reads each source
  // row before it is written.
  const bool shared = to.bits == from.bits;
  const bool upwards = shared && dy > sy;
  if (gdi::SameFormat(from, to) && index == gdi::kSrcCopy && to.depth >= 8) {
    const int bytes = to.depth / 8;
    for (int i = 0; i < rows; ++i) {
      const int r = upwards ? rows - 1 - i : i;
      std::memmove(to.bits + static_cast<ptrdiff_t>(dy + r) * to.pitch + static_cast<ptrdiff_t>(dx) * bytes,
                   from.bits + static_cast<ptrdiff_t>(sy + r) * from.pitch + static_cast<ptrdiff_t>(sx) * bytes,
                   static_cast<size_t>(columns) * bytes);
    }
    return TRUE;
  }
  if (gdi::SameFormat(from, to) && index == gdi::kSrcInvert && !(shared && dy == sy) && to.depth >= 16 &&
      to.depth != 24) {
    if (to.depth == 32) gdi::XorRows<uint32_t>(to, from, dx, dy, sx, sy, columns, rows, upwards);
    else gdi::XorRows<uint16_t>(to, from, dx, dy, sx, sy, columns, rows, upwards);
    return TRUE;
  }
  RGBQUAD mono[2];
  if (const RGBQUAD* colours = gdi::MonoColours(from, to, *paint.dc, mono)) from.colors = colours;
  const gdi::Pattern pattern = gdi::PatternOf(to, *paint.dc);
  static thread_local std::vector<uint32_t> source, dest;
  source.resize(static_cast<size_t>(columns));
  dest.resize(static_cast<size_t>(columns));
  for (int i = 0; i < rows; ++i) {
    const int r = upwards ? rows - 1 - i : i;
    gdi::ReadPixels(from, sx, sy + r, columns, source.data());
    gdi::ConvertBlitted(from, to, *src, source.data(), source.data(), columns);
    if (index == gdi::kSrcCopy) {
      gdi::WritePixels(to, dx, dy + r, columns, source.data());
      continue;
    }
    gdi::ReadPixels(to, dx, dy + r, columns, dest.data());
    for (int c = 0; c < columns; ++c) dest[c] = gdi::Ternary(index, pattern.At(dx + c, dy + r), source[c], dest[c]);
    gdi::WritePixels(to, dx, dy + r, columns, dest.data());
  }
  return TRUE;
}
