// The rasteriser: pure primitives over a bitmap description, one table of
// them per pixel format. Nothing here knows of device contexts or handles;
// callers resolve colours and raster operations to pixels and masks first.
#pragma once

#include <cstdint>
#include <vector>

#include "platform.h"

namespace gdi {

enum class PixelFormat { X8R8G8B8, R5G6B5, X1R5G5B5 };

constexpr int BytesPerPixel(PixelFormat format) { return format == PixelFormat::X8R8G8B8 ? 4 : 2; }

// A bitmap description: pure data, as the rasteriser sees it.
struct Bitmap {
  void* bits;  // first (top) row
  int width;
  int height;
  int pitch;  // bytes from one row to the next
  PixelFormat format;
};

// A raster operation with its pen or brush pixel, per pixel:
// dst = (dst & andMask) ^ xorMask.
struct RopMasks {
  uint32_t andMask;
  uint32_t xorMask;
};

// The masks of a binary raster operation (R2_*) drawing pixel.
RopMasks RopMasksFor(int rop2, uint32_t pixel);

struct PrimitiveFuncs {
  // Applies masks to each rectangle in turn; rectangles lie inside the bitmap.
  void (*solidRects)(const Bitmap& bitmap, const RECT* rects, int count, RopMasks masks);
  // A one-pixel line from one point up to, not including, the other, drawn
  // only inside clip, which lies inside the bitmap.
  void (*solidLine)(const Bitmap& bitmap, POINT from, POINT to, const RECT& clip, RopMasks masks);
  // The pixel at a point inside the bitmap.
  uint32_t (*getPixel)(const Bitmap& bitmap, int x, int y);
  // The pixel a colour becomes in the format, and the colour of a pixel.
  uint32_t (*colorToPixel)(COLORREF color);
  COLORREF (*pixelToColor)(uint32_t pixel);
  // The spans, one row high, of the area that reaches (x, y) through
  // neighbours side by side or one above the other, each of whose pixels is
  // `pixel` (or, with `untilBorder`, is not), appended to spans. (x, y) lies
  // inside the bitmap and belongs to the area.
  void (*floodSpans)(const Bitmap& bitmap, int x, int y, uint32_t pixel, bool untilBorder, std::vector<RECT>& spans);
  // A glyph's coverage levels (0-16; `levels` at rect's top-left pixel,
  // rows `levelPitch` apart) laid over rect, inside the bitmap, in the
  // text's pixel: full coverage sets it, partial coverage blends towards
  // it, raster operations aside.
  void (*drawGlyph)(const Bitmap& bitmap, const RECT& rect, const uint8_t* levels, int levelPitch,
                    uint32_t textPixel);
};

const PrimitiveFuncs& PrimitivesFor(PixelFormat format);

// A point of a shape worked out from others, which may lie past the
// 32-bit range.
struct LongPoint {
  long long x;
  long long y;
};

// The spans, one row high and inside clip, that a polygon covers by the
// alternate (even-odd) rule, appended to spans top to bottom.
void PolygonSpans(const POINT* points, int count, const RECT& clip, std::vector<RECT>& spans);
void PolygonSpans(const LongPoint* points, int count, const RECT& clip, std::vector<RECT>& spans);

// A rounded rectangle in box (ordered, at least 3 x 3) with corner arcs of
// a w x h ellipse (3 <= w <= box width, 3 <= h <= box height): the points
// of its closed outline, in drawing order, and the spans, one row high and
// not clipped, that its inside covers.
void RoundRectOutline(const RECT& box, int w, int h, std::vector<POINT>& points);
void RoundRectSpans(const RECT& box, int w, int h, std::vector<RECT>& spans);

// Sets of pixels as spans one row high: normalised, they run top to bottom
// and left to right, and no two of a row overlap or touch.
void NormalizeSpans(std::vector<RECT>& spans);
// Removes from the normalised spans the pixels of the normalised `cut`.
void SubtractSpans(std::vector<RECT>& spans, const std::vector<RECT>& cut);
// Appends the rows of rect that lie inside clip, one span each.
void AddClippedRows(long long left, long long top, long long right, long long bottom, const RECT& clip,
                    std::vector<RECT>& spans);

// The pixels inside clip that a pen `width` (at least 2) pixels wide
// covers along the path through points, closed back to the first when
// `closed`, with round ends and joins: appended to spans, not normalised.
void WidePenSpans(const POINT* points, int count, bool closed, int width, const RECT& clip,
                  std::vector<RECT>& spans);

// The dots a pen `width` pixels wide leaves at points, inside clip.
void PenDotSpans(const POINT* points, int count, int width, const RECT& clip, std::vector<RECT>& spans);

// A rounded rectangle whose w x h corner ellipse is too large to step
// round (more than 2^19 pixels either way), from its corner and size:
// the spans of its inside and of its one-pixel outline (the inside's
// pixels beside an outside one) on the rows of area, inside area. Worked
// out from the ellipse's equation row by row, so only those rows cost.
void LargeRoundRectSpans(LongPoint corner, LongPoint size, long long w, long long h, const RECT& area,
                         std::vector<RECT>& inside, std::vector<RECT>& outline);

}  // namespace gdi
