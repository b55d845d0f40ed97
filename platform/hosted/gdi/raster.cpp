// The rasteriser: pure functions over a bitmap description. They know
// nothing of device contexts or handles; callers clip nothing in advance.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "internal.h"

namespace gdi::raster {
namespace {

BYTE* Row(const Bitmap& b, int y) { return static_cast<BYTE*>(b.bits) + static_cast<ptrdiff_t>(y) * b.pitch; }

// Widens an n-bit field to 8 bits by repeating its top bits, so full
// intensity stays full.
uint32_t Widen(uint32_t field, int bits) { return (field << (8 - bits)) | (field >> (2 * bits - 8)); }

}  // namespace

uint32_t ColorToPixel(PixelFormat format, COLORREF color) {
  const uint32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  switch (format) {
    case PixelFormat::X8R8G8B8: return (r << 16) | (g << 8) | b;
    case PixelFormat::R5G6B5: return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    case PixelFormat::X1R5G5B5: return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
  }
  return 0;
}

COLORREF PixelToColor(PixelFormat format, uint32_t pixel) {
  switch (format) {
    case PixelFormat::X8R8G8B8: return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    case PixelFormat::R5G6B5:
      return RGB(Widen((pixel >> 11) & 0x1F, 5), Widen((pixel >> 5) & 0x3F, 6), Widen(pixel & 0x1F, 5));
    case PixelFormat::X1R5G5B5:
      return RGB(Widen((pixel >> 10) & 0x1F, 5), Widen((pixel >> 5) & 0x1F, 5), Widen(pixel & 0x1F, 5));
  }
  return 0;
}

uint32_t ReadPixel(const Bitmap& b, int x, int y) {
  if (b.format == PixelFormat::X8R8G8B8) {
    uint32_t v;
    std::memcpy(&v, Row(b, y) + x * 4, 4);
    return v;
  }
  uint16_t v;
  std::memcpy(&v, Row(b, y) + x * 2, 2);
  return v;
}

void WritePixel(const Bitmap& b, int x, int y, uint32_t pixel) {
  if (b.format == PixelFormat::X8R8G8B8) {
    std::memcpy(Row(b, y) + x * 4, &pixel, 4);
  } else {
    const uint16_t v = static_cast<uint16_t>(pixel);
    std::memcpy(Row(b, y) + x * 2, &v, 2);
  }
}

uint32_t Combine(PixelFormat format, int rop2, uint32_t pen, uint32_t dst) {
  // R2_* minus one is a truth table over (pen, dst): bit 3 for both set,
  // bit 2 pen only, bit 1 destination only, bit 0 neither.
  const unsigned table = static_cast<unsigned>(rop2 - 1) & 15;
  uint32_t out = 0;
  if (table & 8) out |= pen & dst;
  if (table & 4) out |= pen & ~dst;
  if (table & 2) out |= ~pen & dst;
  if (table & 1) out |= ~pen & ~dst;
  const uint32_t mask = format == PixelFormat::X8R8G8B8 ? 0xFFFFFFFFu : 0xFFFFu;
  return out & mask;
}

void FillRect(const Bitmap& b, int left, int top, int right, int bottom, int rop2, uint32_t pixel) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, b.width);
  bottom = std::min(bottom, b.height);
  if (left >= right || top >= bottom || rop2 == R2_NOP) return;
  // A pixel of one repeated byte (black, white) is filled by memset, whose
  // wide stores do not read the lines they overwrite.
  const int bytes = b.format == PixelFormat::X8R8G8B8 ? 4 : 2;
  const uint32_t mask = bytes == 4 ? 0xFFFFFFFFu : 0xFFFFu;
  if (rop2 == R2_COPYPEN && (pixel & mask) == ((pixel & 0xFF) * 0x01010101u & mask)) {
    const size_t span = static_cast<size_t>(right - left) * static_cast<size_t>(bytes);
    for (int y = top; y < bottom; ++y) std::memset(Row(b, y) + left * bytes, static_cast<int>(pixel & 0xFF), span);
    return;
  }
  for (int y = top; y < bottom; ++y) {
    if (rop2 == R2_COPYPEN && b.format == PixelFormat::X8R8G8B8) {
      uint32_t* row = reinterpret_cast<uint32_t*>(Row(b, y));
      std::fill(row + left, row + right, pixel);
    } else if (rop2 == R2_COPYPEN) {
      uint16_t* row = reinterpret_cast<uint16_t*>(Row(b, y));
      std::fill(row + left, row + right, static_cast<uint16_t>(pixel));
    } else {
      for (int x = left; x < right; ++x) WritePixel(b, x, y, Combine(b.format, rop2, pixel, ReadPixel(b, x, y)));
    }
  }
}

}  // namespace gdi::raster

namespace gdi::raster {
namespace {

// Floor and ceiling of a / b for b > 0.
long long FloorDiv(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
long long CeilDiv(long long a, long long b) { return -FloorDiv(-a, b); }

// ceil(num / den) for den > 0 while num grows by a fixed step: the same
// values as dividing every time, without a division per row or pixel.
class CeilSteps {
 public:
  CeilSteps(long long num, long long step, long long den)
      : q_(CeilDiv(num, den)), r_(q_ * den - num), stepQ_(FloorDiv(step, den)), stepR_(step - stepQ_ * den),
        den_(den) {}
  long long value() const { return q_; }
  void Next() {
    // num + step = (q + stepQ) * den - (r - stepR), with 0 <= r, stepR < den.
    q_ += stepQ_;
    r_ -= stepR_;
    if (r_ < 0) {
      r_ += den_;
      ++q_;
    }
  }

 private:
  long long q_, r_;  // num = q * den - r, 0 <= r < den
  long long stepQ_, stepR_;
  long long den_;
};

void Plot(const Bitmap& b, long long x, long long y, int rop2, uint32_t pixel) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return;
  const int ix = static_cast<int>(x), iy = static_cast<int>(y);
  // Copying the pen needs nothing from the destination.
  if (rop2 == R2_COPYPEN) WritePixel(b, ix, iy, pixel);
  else WritePixel(b, ix, iy, Combine(b.format, rop2, pixel, ReadPixel(b, ix, iy)));
}

// An edge of a polygon on the rows it crosses, first to last - 1.
struct Edge {
  long long first;
  long long last;
  long long x0;
  CeilSteps x;
};

}  // namespace

void FillPolygonAlternate(const Bitmap& b, const POINT* points, int count, int rop2, uint32_t pixel) {
  if (count < 3) return;
  long long top = points[0].y, bottom = points[0].y;
  for (int i = 1; i < count; ++i) {
    top = std::min<long long>(top, points[i].y);
    bottom = std::max<long long>(bottom, points[i].y);
  }
  top = std::max<long long>(top, 0);
  bottom = std::min<long long>(bottom, b.height);
  if (top >= bottom) return;
  // A pixel is inside when its top-left corner is: edges count on the rows
  // from their upper end up to, not including, their lower end, and a span
  // takes the pixels from its left crossing up to its right one.
  std::vector<Edge> edges;
  edges.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    POINT a = points[i], c = points[(i + 1) % count];
    if (a.y == c.y) continue;
    if (a.y > c.y) std::swap(a, c);
    const long long first = std::max<long long>(a.y, top), last = std::min<long long>(c.y, bottom);
    if (first >= last) continue;
    const long long dx = static_cast<long long>(c.x) - a.x, dy = static_cast<long long>(c.y) - a.y;
    edges.push_back({first, last, a.x, CeilSteps((first - a.y) * dx, dx, dy)});
  }
  std::vector<long long> xs;
  xs.reserve(edges.size());
  for (long long y = top; y < bottom; ++y) {
    xs.clear();
    for (Edge& e : edges) {
      if (y < e.first || y >= e.last) continue;
      xs.push_back(e.x0 + e.x.value());
      e.x.Next();
    }
    // Mostly two crossings, in either order: ordered without a branch.
    if (xs.size() == 2) {
      const long long low = std::min(xs[0], xs[1]), high = std::max(xs[0], xs[1]);
      xs[0] = low;
      xs[1] = high;
    } else {
      for (size_t i = 1; i < xs.size(); ++i)
        for (size_t j = i; j > 0 && xs[j] < xs[j - 1]; --j) std::swap(xs[j], xs[j - 1]);
    }
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
      const long long left = std::max<long long>(xs[i], 0), right = std::min<long long>(xs[i + 1], b.width);
      if (left < right)
        FillRect(b, static_cast<int>(left), static_cast<int>(y), static_cast<int>(right), static_cast<int>(y) + 1, rop2,
                 pixel);
    }
  }
}

void Line(const Bitmap& b, POINT from, POINT to, int rop2, uint32_t pixel) {
  const long long dx = static_cast<long long>(to.x) - from.x, dy = static_cast<long long>(to.y) - from.y;
  const long long adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const long long steps = std::max(adx, ady);
  // Only the steps whose major coordinate lies inside the bitmap, so far-off
  // end points cost nothing.
  const bool xMajor = adx >= ady;
  const long long start = xMajor ? from.x : from.y, delta = xMajor ? dx : dy;
  const long long size = xMajor ? b.width : b.height;
  long long first = 0, last = steps;
  if (delta > 0) {
    first = std::max(first, -start);
    last = std::min(last, size - start);
  } else if (delta < 0) {
    first = std::max(first, start - (size - 1));
    last = std::min(last, start + 1);
  }
  if (first >= last) return;
  // Each step along the major axis; the minor coordinate is the nearest
  // one, and a tie takes the smaller: start + ceil((2 i small - big) / 2 big)
  // going up, start - floor((2 i small + big) / 2 big) going down. The end
  // point is left out.
  const long long small = xMajor ? ady : adx, big = steps;
  const long long minorStart = xMajor ? from.y : from.x, minorDelta = xMajor ? dy : dx;
  CeilSteps minor = minorDelta >= 0 ? CeilSteps(2 * first * small - big, 2 * small, 2 * big)
                                    : CeilSteps(-(2 * first * small + big), -2 * small, 2 * big);
  const long long majorStep = delta < 0 ? -1 : 1;
  long long major = start + majorStep * first;
  for (long long i = first; i < last; ++i, major += majorStep, minor.Next()) {
    const long long other = minorStart + minor.value();
    if (xMajor) Plot(b, major, other, rop2, pixel);
    else Plot(b, other, major, rop2, pixel);
  }
}

}  // namespace gdi::raster
