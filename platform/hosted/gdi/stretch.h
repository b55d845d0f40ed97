// What StretchBlt, StretchDIBits and AlphaBlend share: the visible parts of
// a destination and a source rectangle, and the source's pixels stepped
// onto the destination's.
#pragma once

#include <cstdint>
#include <vector>

#include "dib.h"

namespace gdi {

struct Box {
  long long left, top, right, bottom;
  bool Empty() const { return left >= right || top >= bottom; }
  long long Width() const { return right - left; }
  long long Height() const { return bottom - top; }
};

// False (with `out` empty or not) when the two do not meet.
bool IntersectBoxes(Box& out, const Box& a, const Box& b);

// A rectangle as the call gives it (origin and signed extents) and the part
// of it that is visible.
struct Coords {
  long long x = 0, y = 0, width = 0, height = 0;
  Box visible{};
  // Sets the rectangle, its visible part the pixels it covers; false when
  // it covers none.
  bool Set(long long x0, long long y0, long long w, long long h);
};

// Narrows each visible part to what the other maps onto (with a pixel of
// slack when stretching); may move the destination's origin for mirrored
// sources cut by their bitmap. False when nothing is left.
bool IntersectVisible(Coords& dst, Coords& src);

// The source's visible pixels in the destination's format, stepped onto the
// destination's visible part, which shrinks to what the steps reach: one
// row after another in `out`. `mono` (may be null) colours a source without
// a colour table; `srcDc` (null for bits that come without a DC) converts
// as ConvertBlitted. False when the steps reach nothing.
struct Dc;
bool StretchPixels(const Image& to, Coords& dst, const Image& from, const RGBQUAD* mono, const Coords& src, int mode,
                   std::vector<uint32_t>& out, const Dc* srcDc = nullptr);

// The colours a monochrome device bitmap takes from the destination DC when
// copied into another format: its 0 bits the text colour, its 1 bits the
// background; null for any other source, or a monochrome device
// destination (whose bits are copied as they are).
const RGBQUAD* MonoColours(const Image& from, const Image& to, const Dc& dc, RGBQUAD (&mono)[2]);
// Converts a row of a blit's source (its colours as MonoColours gave them)
// into the destination's format. Into a monochrome device bitmap from any
// other format, the source DC's background colour becomes 1 and every
// other colour 0.
void ConvertBlitted(const Image& from, const Image& to, const Dc& srcDc, const uint32_t* in, uint32_t* out, int count);

// A DC's brush as the pattern of a raster operation: one pixel, or (hatched)
// the brush's pixel on the hatch's lines and the background's between them,
// repeating every 8 pixels from the brush origin.
struct Pattern {
  uint32_t fore = 0;
  uint32_t back = 0;
  int hatch = -1;
  long long originX = 0, originY = 0;

  // The platform combines the pattern with the source in a buffer of the
  // source's pixels before the result meets the destination, and its
  // pattern origin there is off by twice the distance between the two
  // rectangles: steps that read the pattern with the source see it at the
  // destination pixel less this skew.
  long long skewX = 0, skewY = 0;

  uint32_t At(long long x, long long y) const;
};
Pattern PatternOf(const Image& to, const Dc& dc);

// Rows of pixels (null: none, for operations without a source) meeting the
// destination's box under a ternary raster operation, the pattern read
// where the platform reads it.
void DrawPixels(const Image& to, const Box& box, const uint32_t* pixels, unsigned index, const Pattern& pattern);

}  // namespace gdi
