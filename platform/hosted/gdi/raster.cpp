// The rasteriser's primitives, written once over a pixel format's traits and
// instantiated per format.
#include "raster.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace gdi {
namespace {

// Widens an n-bit field to 8 bits by repeating its top bits, so full
// intensity stays full.
uint32_t Widen(uint32_t field, int bits) { return (field << (8 - bits)) | (field >> (2 * bits - 8)); }

struct X8R8G8B8 {
  using Pixel = uint32_t;
  static uint32_t FromColor(COLORREF c) { return (uint32_t{GetRValue(c)} << 16) | (GetGValue(c) << 8) | GetBValue(c); }
  static COLORREF ToColor(uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }
};

struct R5G6B5 {
  using Pixel = uint16_t;
  static uint32_t FromColor(COLORREF c) {
    return ((uint32_t{GetRValue(c)} >> 3) << 11) | ((GetGValue(c) >> 2) << 5) | (GetBValue(c) >> 3);
  }
  static COLORREF ToColor(uint32_t p) {
    return RGB(Widen((p >> 11) & 0x1F, 5), Widen((p >> 5) & 0x3F, 6), Widen(p & 0x1F, 5));
  }
};

struct X1R5G5B5 {
  using Pixel = uint16_t;
  static uint32_t FromColor(COLORREF c) {
    return ((uint32_t{GetRValue(c)} >> 3) << 10) | ((GetGValue(c) >> 3) << 5) | (GetBValue(c) >> 3);
  }
  static COLORREF ToColor(uint32_t p) {
    return RGB(Widen((p >> 10) & 0x1F, 5), Widen((p >> 5) & 0x1F, 5), Widen(p & 0x1F, 5));
  }
};

BYTE* Row(const Bitmap& b, int y) { return static_cast<BYTE*>(b.bits) + static_cast<ptrdiff_t>(y) * b.pitch; }

// Pixels that are read go through memcpy: a caller's memory need not be
// aligned.
template <typename P>
P Load(const BYTE* at) {
  P v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

template <typename P>
void Apply(BYTE* at, P andMask, P xorMask) {
  const P v = static_cast<P>((Load<P>(at) & andMask) ^ xorMask);
  std::memcpy(at, &v, sizeof v);
}

template <typename F>
void SolidRects(const Bitmap& b, const RECT* rects, int count, RopMasks masks) {
  using P = typename F::Pixel;
  const auto andMask = static_cast<P>(masks.andMask), xorMask = static_cast<P>(masks.xorMask);
  // R2_NOP and its like leave every pixel as it is.
  if (andMask == static_cast<P>(~P{0}) && xorMask == 0) return;
  // Without the destination, a pixel of one repeated byte (black, white) is
  // filled by memset, whose wide stores do not read the lines they overwrite.
  const bool repeatedByte = xorMask == static_cast<P>((xorMask & 0xFFu) * 0x01010101u);
  // Other pixels are copied from a row of them kept from call to call, as
  // memcpy's wide stores are memset's; short spans are not worth a call.
  constexpr size_t kShortest = 64;
  thread_local std::vector<P> pattern;
  for (int i = 0; i < count; ++i) {
    const RECT& r = rects[i];
    if (r.left >= r.right) continue;
    const size_t offset = static_cast<size_t>(r.left) * sizeof(P);
    const size_t span = static_cast<size_t>(r.right - r.left) * sizeof(P);
    if (andMask == 0 && repeatedByte) {
      for (int y = r.top; y < r.bottom; ++y) std::memset(Row(b, y) + offset, xorMask & 0xFF, span);
    } else if (andMask == 0 && span < kShortest * sizeof(P)) {
      for (int y = r.top; y < r.bottom; ++y) {
        P* row = reinterpret_cast<P*>(Row(b, y) + offset);
        std::fill(row, row + (r.right - r.left), xorMask);
      }
    } else if (andMask == 0) {
      if (!pattern.empty() && pattern.front() != xorMask) pattern.clear();
      if (pattern.size() < span / sizeof(P)) pattern.resize(span / sizeof(P), xorMask);
      for (int y = r.top; y < r.bottom; ++y) std::memcpy(Row(b, y) + offset, pattern.data(), span);
    } else {
      for (int y = r.top; y < r.bottom; ++y)
        for (BYTE *at = Row(b, y) + offset, *end = at + span; at < end; at += sizeof(P)) Apply<P>(at, andMask, xorMask);
    }
  }
}

// A first numerator is a product of two spans of 32-bit coordinates (and
// twice that): up to 2^65, past what 64 bits hold. Its quotient fits again.
using Wide = __int128;

// Floor and ceiling of a / b for b > 0.
Wide FloorDiv(Wide a, Wide b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
Wide CeilDiv(Wide a, Wide b) { return -FloorDiv(-a, b); }

// ceil(num / den) for den > 0 while num grows by a fixed step: the same
// values as dividing every time, without a division per row or pixel.
class CeilSteps {
 public:
  CeilSteps(Wide num, long long step, long long den)
      : q_(static_cast<long long>(CeilDiv(num, den))),
        r_(static_cast<long long>(Wide{q_} * den - num)),
        stepQ_(static_cast<long long>(FloorDiv(step, den))),
        stepR_(step - stepQ_ * den),
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

template <typename F>
void SolidLine(const Bitmap& b, POINT from, POINT to, const RECT& clip, RopMasks masks) {
  using P = typename F::Pixel;
  const long long dx = static_cast<long long>(to.x) - from.x, dy = static_cast<long long>(to.y) - from.y;
  const long long adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const auto andMask = static_cast<P>(masks.andMask), xorMask = static_cast<P>(masks.xorMask);
  const auto plot = [&](long long x, long long y) {
    BYTE* at = Row(b, static_cast<int>(y)) + x * static_cast<long long>(sizeof(P));
    // Copying needs nothing from the destination.
    if (andMask == 0) std::memcpy(at, &xorMask, sizeof xorMask);
    else Apply<P>(at, andMask, xorMask);
  };
  // A step to a neighbouring point, of which curved outlines are made, is
  // its first point alone (nothing when both are one): no stepping to set up.
  if (adx <= 1 && ady <= 1) {
    if ((adx | ady) != 0 && from.x >= clip.left && from.y >= clip.top && from.x < clip.right && from.y < clip.bottom)
      plot(from.x, from.y);
    return;
  }
  // One along a row or a column is a rectangle one pixel thin: on each
  // axis [start, start + delta) going up, (start + delta, start] going
  // down, start alone standing still.
  if (dx == 0 || dy == 0) {
    const auto cover = [](long long start, long long delta, LONG low, LONG high) {
      const long long first = delta < 0 ? start + delta + 1 : start, last = delta > 0 ? start + delta : start + 1;
      return std::pair<LONG, LONG>(static_cast<LONG>(std::max<long long>(first, low)),
                                   static_cast<LONG>(std::min<long long>(last, high)));
    };
    const auto [left, right] = cover(from.x, dx, clip.left, clip.right);
    const auto [top, bottom] = cover(from.y, dy, clip.top, clip.bottom);
    const RECT rect = {left, top, right, bottom};
    if (left < right && top < bottom) SolidRects<F>(b, &rect, 1, masks);
    return;
  }
  const long long steps = std::max(adx, ady);
  // Only the steps whose major coordinate lies inside the clip, so far-off
  // end points cost nothing.
  const bool xMajor = adx >= ady;
  const long long start = xMajor ? from.x : from.y, delta = xMajor ? dx : dy;
  const long long low = xMajor ? clip.left : clip.top, high = xMajor ? clip.right : clip.bottom;
  long long first = 0, last = steps;
  if (delta > 0) {
    first = std::max(first, low - start);
    last = std::min(last, high - start);
  } else if (delta < 0) {
    first = std::max(first, start - (high - 1));
    last = std::min(last, start - low + 1);
  }
  if (first >= last) return;
  // Each step along the major axis; the minor coordinate is the nearest
  // one, and a tie takes the smaller: start + ceil((2 i small - big) / 2 big)
  // going up, start - floor((2 i small + big) / 2 big) going down. The end
  // point is left out.
  const long long small = xMajor ? ady : adx, big = steps;
  const long long minorStart = xMajor ? from.y : from.x, minorDelta = xMajor ? dy : dx;
  const Wide twiceRise = Wide{2} * first * small;
  CeilSteps minor = minorDelta >= 0 ? CeilSteps(twiceRise - big, 2 * small, 2 * big)
                                    : CeilSteps(-(twiceRise + big), -2 * small, 2 * big);
  const long long majorStep = delta < 0 ? -1 : 1;
  long long major = start + majorStep * first;
  for (long long i = first; i < last; ++i, major += majorStep, minor.Next()) {
    const long long other = minorStart + minor.value();
    const long long x = xMajor ? major : other, y = xMajor ? other : major;
    if (x < clip.left || y < clip.top || x >= clip.right || y >= clip.bottom) continue;
    plot(x, y);
  }
}

template <typename F>
uint32_t GetPixel(const Bitmap& b, int x, int y) {
  using P = typename F::Pixel;
  return Load<P>(Row(b, y) + static_cast<size_t>(x) * sizeof(P));
}

// The first column from `from` on, before `end`, where whether the pixel
// is `pixel` stops being `same`. Whole chunks are tried first, in loops of
// fixed length that the compiler makes vector compares of.
template <typename P>
int RunEnd(const BYTE* row, int from, int end, P pixel, bool same) {
  constexpr int kChunk = 64;
  const int all = same ? kChunk : 0;
  int x = from;
  for (; end - x >= kChunk; x += kChunk) {
    int matches = 0;
    for (int i = 0; i < kChunk; ++i) matches += Load<P>(row + static_cast<size_t>(x + i) * sizeof(P)) == pixel;
    if (matches != all) break;
  }
  while (x < end && (Load<P>(row + static_cast<size_t>(x) * sizeof(P)) == pixel) == same) ++x;
  return x;
}

template <typename F>
void FloodSpans(const Bitmap& b, int x, int y, uint32_t pixel, bool untilBorder, std::vector<RECT>& spans) {
  using P = typename F::Pixel;
  const P target = static_cast<P>(pixel);
  const bool same = !untilBorder;
  // The area's runs on each row, found when the row is first reached, so
  // that each pixel is read once and the cost stays with the rows reached.
  struct Run {
    int left, right, row;
    bool taken;
  };
  std::vector<Run> runs;
  // Where each reached row's runs lie in runs: rows y, y + 1, ... in below,
  // y - 1, y - 2, ... in above. A row is only reached from its neighbour,
  // so both grow one row at a time.
  std::vector<std::pair<size_t, size_t>> below, above;
  const auto rowRuns = [&](int row) {
    auto& side = row >= y ? below : above;
    const size_t index = static_cast<size_t>(row >= y ? row - y : y - 1 - row);
    if (index < side.size()) return side[index];
    const BYTE* at = Row(b, row);
    const size_t first = runs.size();
    for (int left = RunEnd(at, 0, b.width, target, !same); left < b.width;) {
      const int right = RunEnd(at, left, b.width, target, same);
      runs.push_back({left, right, row, false});
      left = RunEnd(at, right, b.width, target, !same);
    }
    side.emplace_back(first, runs.size());
    return side.back();
  };
  // The first run of a row that ends right of a column.
  const auto firstAfter = [&](std::pair<size_t, size_t> row, int column) {
    const auto end = runs.begin() + static_cast<ptrdiff_t>(row.second);
    const auto found = std::partition_point(runs.begin() + static_cast<ptrdiff_t>(row.first), end,
                                            [column](const Run& run) { return run.right <= column; });
    return static_cast<size_t>(found - runs.begin());
  };
  const auto seedRow = rowRuns(y);
  const size_t seed = firstAfter(seedRow, x);
  if (seed == seedRow.second || runs[seed].left > x) return;
  // Runs touch when they share a column on neighbouring rows; each is taken
  // once, and all are found before anything is painted, as it is drawn over.
  runs[seed].taken = true;
  std::vector<size_t> pending = {seed};
  while (!pending.empty()) {
    const Run run = runs[pending.back()];
    pending.pop_back();
    spans.push_back({run.left, run.row, run.right, run.row + 1});
    for (int row : {run.row - 1, run.row + 1}) {
      if (row < 0 || row >= b.height) continue;
      const auto next = rowRuns(row);
      for (size_t i = firstAfter(next, run.left); i < next.second && runs[i].left < run.right; ++i) {
        if (runs[i].taken) continue;
        runs[i].taken = true;
        pending.push_back(i);
      }
    }
  }
}

// Coverage levels 2 to 15 move each colour component from the
// destination's towards the text's along this ramp, as the platform's
// grey-level text does; 0 and 1 leave the pixel, 16 sets it.
constexpr uint8_t kCoverageRamp[17] = {0,    0x4d, 0x68, 0x7c, 0x8c, 0x9a, 0xa7, 0xb2, 0xbd,
                                       0xc7, 0xd0, 0xd9, 0xe1, 0xe9, 0xf0, 0xf8, 0xff};

uint8_t Cover(uint8_t dst, uint8_t text, int level) {
  if (dst == text) return dst;
  if (dst > text) {
    const unsigned high = kCoverageRamp[16 - level] + (255u - kCoverageRamp[16 - level]) * text / 255;
    return static_cast<uint8_t>(text + (dst - text) * (high - text) / (255u - text));
  }
  const unsigned low = kCoverageRamp[level] * unsigned{text} / 255;
  return static_cast<uint8_t>(text - (text - dst) * (text - low) / text);
}

template <typename F>
void DrawGlyph(const Bitmap& b, const RECT& rect, const uint8_t* levels, int levelPitch, uint32_t textPixel) {
  using P = typename F::Pixel;
  const COLORREF text = F::ToColor(textPixel);
  for (int y = rect.top; y < rect.bottom; ++y, levels += levelPitch) {
    BYTE* at = Row(b, y) + static_cast<size_t>(rect.left) * sizeof(P);
    for (int x = 0; x < rect.right - rect.left; ++x, at += sizeof(P)) {
      const int level = levels[x];
      if (level <= 1) continue;
      P pixel = static_cast<P>(textPixel);
      if (level < 16) {
        const COLORREF dst = F::ToColor(Load<P>(at));
        pixel = static_cast<P>(F::FromColor(RGB(Cover(GetRValue(dst), GetRValue(text), level),
                                                Cover(GetGValue(dst), GetGValue(text), level),
                                                Cover(GetBValue(dst), GetBValue(text), level))));
      }
      std::memcpy(at, &pixel, sizeof pixel);
    }
  }
}

template <typename F>
constexpr PrimitiveFuncs kPrimitives = {SolidRects<F>, SolidLine<F>, GetPixel<F>, F::FromColor, F::ToColor,
                                        FloodSpans<F>, DrawGlyph<F>};

}  // namespace

RopMasks RopMasksFor(int rop2, uint32_t pixel) {
  // R2_* minus one is a truth table over (pen, dst): bit 3 for both set,
  // bit 2 pen only, bit 1 destination only, bit 0 neither. Whatever a pen
  // bit is, the result bit is 0, 1, dst or not dst: dst & and ^ xor.
  const unsigned table = static_cast<unsigned>(rop2 - 1) & 15;
  auto all = [table](int bit) { return ((table >> bit) & 1) != 0 ? ~0u : 0u; };
  auto differ = [table](int a, int b) { return (((table >> a) ^ (table >> b)) & 1) != 0 ? ~0u : 0u; };
  return {(pixel & differ(3, 2)) | (~pixel & differ(1, 0)), (pixel & all(2)) | (~pixel & all(0))};
}

const PrimitiveFuncs& PrimitivesFor(PixelFormat format) {
  switch (format) {
    case PixelFormat::R5G6B5: return kPrimitives<R5G6B5>;
    case PixelFormat::X1R5G5B5: return kPrimitives<X1R5G5B5>;
    case PixelFormat::X8R8G8B8: break;
  }
  return kPrimitives<X8R8G8B8>;
}

namespace {

// An edge of a polygon on the rows it crosses, first to last - 1.
struct Edge {
  long long first;
  long long last;
  long long x0;
  CeilSteps x;
};

}  // namespace

namespace {

template <typename Point>
void PolygonSpansOf(const Point* points, int count, const RECT& clip, std::vector<RECT>& spans) {
  if (count < 3) return;
  long long top = points[0].y, bottom = points[0].y;
  for (int i = 1; i < count; ++i) {
    top = std::min<long long>(top, points[i].y);
    bottom = std::max<long long>(bottom, points[i].y);
  }
  top = std::max<long long>(top, clip.top);
  bottom = std::min<long long>(bottom, clip.bottom);
  if (top >= bottom) return;
  // A pixel is inside when its top-left corner is: edges count on the rows
  // from their upper end up to, not including, their lower end, and a span
  // takes the pixels from its left crossing up to its right one.
  std::vector<Edge> edges;
  edges.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    LongPoint a = {points[i].x, points[i].y}, c = {points[(i + 1) % count].x, points[(i + 1) % count].y};
    if (a.y == c.y) continue;
    if (a.y > c.y) std::swap(a, c);
    const long long first = std::max<long long>(a.y, top), last = std::min<long long>(c.y, bottom);
    if (first >= last) continue;
    const long long dx = c.x - a.x, dy = c.y - a.y;
    edges.push_back({first, last, a.x, CeilSteps(Wide{first - a.y} * dx, dx, dy)});
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
      const long long left = std::max<long long>(xs[i], clip.left), right = std::min<long long>(xs[i + 1], clip.right);
      if (left < right)
        spans.push_back(
            {static_cast<LONG>(left), static_cast<LONG>(y), static_cast<LONG>(right), static_cast<LONG>(y + 1)});
    }
  }
}

}  // namespace

void PolygonSpans(const POINT* points, int count, const RECT& clip, std::vector<RECT>& spans) {
  PolygonSpansOf(points, count, clip, spans);
}

void PolygonSpans(const LongPoint* points, int count, const RECT& clip, std::vector<RECT>& spans) {
  PolygonSpansOf(points, count, clip, spans);
}

namespace {

// Steps around a quarter of a w x h ellipse by the sign of its implicit
// equation's error, one pixel at a time: x moves in from the right, y down
// from the middle row, whichever (or both) keeps the error smallest. The
// error terms grow with the square of the size, so they are 64-bit.
class QuarterArc {
 public:
  QuarterArc(long long w, long long h)
      : a_(w - 1), b_(h - 1), asq_(8 * a_ * a_), bsq_(8 * b_ * b_), dx_(4 * b_ * b_ * (1 - a_)),
        dy_(4 * a_ * a_ * (1 + b_ % 2)), err_(dx_ + dy_ + a_ * a_ * (b_ % 2)) {}
  // Which way the next step goes: x in, y down, or both.
  void Step(bool* inward, bool* down) {
    const long long twice = 2 * err_;
    *inward = twice >= dx_;
    *down = twice <= dy_;
    if (*inward) err_ += dx_ += bsq_;
    if (*down) err_ += dy_ += asq_;
  }

 private:
  long long a_, b_, asq_, bsq_, dx_, dy_, err_;
};

}  // namespace

void RoundRectOutline(const RECT& box, int w, int h, std::vector<POINT>& points) {
  // The quarter from the right end of the middle row round to the middle
  // column, placed in the box's top right corner, drawn upwards.
  points.clear();
  QuarterArc arc(w, h);
  for (int x = w - 1, y = h / 2; x >= w / 2;) {
    points.push_back({box.right - w + x, box.top + h - 1 - y});
    bool inward, down;
    arc.Step(&inward, &down);
    x -= inward;
    y += down;
  }
  // Mirrored left to right, then top to bottom; a point on the axis of a
  // box only as wide (or high) as the ellipse, with an odd size, is kept once.
  const auto mirror = [&](bool once, auto reflect) {
    const size_t count = points.size();
    const size_t end = 2 * count - 1 - (once ? 1 : 0);
    points.resize(end + 1);
    for (size_t i = 0; i < count; ++i) points[end - i] = reflect(points[i]);
  };
  mirror(w % 2 != 0 && w == box.right - box.left,
         [&](POINT p) { return POINT{box.left + box.right - 1 - p.x, p.y}; });
  mirror(h % 2 != 0 && h == box.bottom - box.top,
         [&](POINT p) { return POINT{p.x, box.top + box.bottom - 1 - p.y}; });
}

void RoundRectSpans(const RECT& box, int w, int h, std::vector<RECT>& spans) {
  // Each row's ends, from the middle row down; the rows above mirror them.
  std::vector<std::pair<LONG, LONG>> ends(static_cast<size_t>(h) + 1, {0, 0});
  QuarterArc arc(w, h);
  int x = 0, y = h / 2;
  ends[y] = {box.left, box.right};
  while (x <= w / 2) {
    bool inward, down;
    arc.Step(&inward, &down);
    x += inward;
    if (down && ++y < h + 1) ends[y] = {box.left + x, box.right - x};
  }
  // An ellipse much taller than wide runs out of columns before rows: its
  // tips keep the last, narrowest span.
  for (int row = y + 1; row < h; ++row) ends[row] = ends[y];
  for (int i = 0; i < h; ++i) {
    const auto [left, right] = ends[i < h / 2 ? h - 1 - i : i];
    const LONG top = i < h / 2 ? box.top + i : box.bottom - h + i;
    // The middle row reaches up to the top arc's last row.
    const LONG first = i == h / 2 ? box.top + h / 2 : top;
    if (left < right) spans.push_back({left, first, right, top + 1});
  }
}

}  // namespace gdi
