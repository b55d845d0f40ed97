// Pixel sets as row spans, and the outline of a pen wider than a pixel: a
// union of pieces (a band along each line, a round dot at each point), each
// pixel of which is drawn once, however many pieces cover it.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "raster.h"

namespace gdi {

void NormalizeSpans(std::vector<RECT>& spans) {
  std::sort(spans.begin(), spans.end(),
            [](const RECT& a, const RECT& b) { return a.top != b.top ? a.top < b.top : a.left < b.left; });
  size_t kept = 0;
  for (const RECT& span : spans) {
    if (kept > 0 && spans[kept - 1].top == span.top && span.left <= spans[kept - 1].right) {
      spans[kept - 1].right = std::max(spans[kept - 1].right, span.right);
    } else {
      spans[kept++] = span;
    }
  }
  spans.resize(kept);
}

void SubtractSpans(std::vector<RECT>& spans, const std::vector<RECT>& cut) {
  std::vector<RECT> kept;
  kept.reserve(spans.size());
  auto next = cut.begin();
  for (RECT span : spans) {
    // The cuts of earlier rows, or ending left of this span, are done with.
    while (next != cut.end() && (next->top < span.top || (next->top == span.top && next->right <= span.left))) ++next;
    for (auto c = next; c != cut.end() && c->top == span.top && c->left < span.right; ++c) {
      if (c->left > span.left) kept.push_back({span.left, span.top, c->left, span.bottom});
      span.left = std::max(span.left, c->right);
    }
    if (span.left < span.right) kept.push_back(span);
  }
  spans.swap(kept);
}

void AddClippedRows(long long left, long long top, long long right, long long bottom, const RECT& clip,
                    std::vector<RECT>& spans) {
  left = std::max<long long>(left, clip.left);
  right = std::min<long long>(right, clip.right);
  top = std::max<long long>(top, clip.top);
  bottom = std::min<long long>(bottom, clip.bottom);
  if (left >= right) return;
  for (long long y = top; y < bottom; ++y)
    spans.push_back({static_cast<LONG>(left), static_cast<LONG>(y), static_cast<LONG>(right), static_cast<LONG>(y + 1)});
}

namespace {

// The band a line from p to q (not the same point) covers: a rectangle
// when the line is straight across or down, otherwise a quadrilateral
// whose sides lie half the width (rounded, the wider half on the
// clockwise side) each way of the line.
void Band(LongPoint p, LongPoint q, int width, const RECT& clip, std::vector<RECT>& spans) {
  const long long dx = q.x - p.x, dy = q.y - p.y;
  if (dy == 0) {
    const long long top = p.y - width / 2;
    AddClippedRows(std::min(p.x, q.x), top, std::max(p.x, q.x), top + width, clip, spans);
    return;
  }
  if (dx == 0) {
    const long long left = p.x - width / 2;
    AddClippedRows(left, std::min(p.y, q.y), left + width, std::max(p.y, q.y), clip, spans);
    return;
  }
  // The pen's width across the line, split along each axis; halves are
  // rounded half away from zero.
  const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
  const double acrossX = static_cast<double>(width * std::llabs(dy)) / length;
  const double acrossY = static_cast<double>(width * std::llabs(dx)) / length;
  const auto half = [](double v) { return static_cast<long long>(v / 2 + 0.5); };
  LongPoint narrow = {half(acrossX), half(acrossY)};
  LongPoint wide = {half(acrossX + 1), half(acrossY + 1)};
  if (dx < 0) {
    narrow.y = -narrow.y;
    wide.y = -wide.y;
  }
  if (dy < 0) {
    std::swap(narrow, wide);
    narrow.x = -narrow.x;
    wide.x = -wide.x;
  }
  const LongPoint corners[4] = {{p.x - narrow.x, p.y + narrow.y},
                                {p.x + wide.x, p.y - wide.y},
                                {q.x + wide.x, q.y - wide.y},
                                {q.x - narrow.x, q.y + narrow.y}};
  long long left = corners[0].x, right = corners[0].x, top = corners[0].y, bottom = corners[0].y;
  for (const LongPoint& c : corners) {
    left = std::min(left, c.x);
    right = std::max(right, c.x);
    top = std::min(top, c.y);
    bottom = std::max(bottom, c.y);
  }
  // Bands wholly off the clip are many on a large outline; skip them early.
  if (right <= clip.left || left >= clip.right || bottom <= clip.top || top >= clip.bottom) return;
  PolygonSpans(corners, 4, clip, spans);
}

}  // namespace

void PenDotSpans(const POINT* points, int count, int width, const RECT& clip, std::vector<RECT>& spans) {
  // An ellipse width pixels across, whose centre pixel, for an even width,
  // is the lower right of the middle four.
  std::vector<RECT> dot;
  const int low = -(width / 2), high = (width + 1) / 2;
  RoundRectSpans({low, low, high, high}, width, width, dot);
  for (int i = 0; i < count; ++i) {
    const LongPoint p = {points[i].x, points[i].y};
    if (i > 0 && points[i].x == points[i - 1].x && points[i].y == points[i - 1].y) continue;
    if (p.x + high <= clip.left || p.x + low >= clip.right || p.y + high <= clip.top || p.y + low >= clip.bottom)
      continue;
    for (const RECT& d : dot) AddClippedRows(p.x + d.left, p.y + d.top, p.x + d.right, p.y + d.bottom, clip, spans);
  }
}

void WidePenSpans(const POINT* points, int count, bool closed, int width, const RECT& clip,
                  std::vector<RECT>& spans) {
  if (count < 1) return;
  // The pen leaves its dot at every point of the path: its ends and each
  // join.
  PenDotSpans(points, count, width, clip, spans);
  const int lines = closed ? count : count - 1;
  for (int i = 0; i < lines; ++i) {
    const POINT& a = points[i];
    const POINT& b = points[(i + 1) % count];
    if (a.x != b.x || a.y != b.y) Band({a.x, a.y}, {b.x, b.y}, width, clip, spans);
  }
}

void LargeRoundRectSpans(LongPoint corner, LongPoint size, long long w, long long h, const RECT& area,
                         std::vector<RECT>& inside, std::vector<RECT>& outline) {
  // The corner ellipse's half axes and the centres of its quarters; a
  // pixel is inside when its centre is.
  const long double rx = w / 2.0L, ry = h / 2.0L;
  const long double centreLeft = corner.x + rx, centreRight = corner.x + size.x - rx;
  const long double centreTop = corner.y + ry, centreBottom = corner.y + size.y - ry;
  // [left, right) of a row, empty (left >= right) off the shape.
  const auto row = [&](long long y) -> std::pair<long long, long long> {
    if (y < corner.y || y >= corner.y + size.y) return {0, 0};
    const long double middle = y + 0.5L;
    const long double dy = middle < centreTop ? centreTop - middle : middle > centreBottom ? middle - centreBottom : 0;
    const long double t = dy / ry;
    if (t > 1) return {0, 0};
    const long double half = rx * std::sqrt(1 - t * t);
    return {static_cast<long long>(std::ceil(centreLeft - half - 0.5L)),
            static_cast<long long>(std::floor(centreRight + half - 0.5L)) + 1};
  };
  // The outline is the inside's pixels beside one outside it: the ends of
  // each row and what the rows above and below do not reach.
  std::pair<long long, long long> above = row(area.top - 1LL), here = row(area.top);
  for (long long y = area.top; y < area.bottom; ++y) {
    const std::pair<long long, long long> below = row(y + 1);
    const auto [left, right] = here;
    if (left < right) {
      AddClippedRows(left, y, right, y + 1, area, inside);
      const long long innerLeft = std::max({left + 1, above.first, below.first});
      const long long innerRight = std::min({right - 1, above.second, below.second});
      if (innerLeft >= innerRight) {
        AddClippedRows(left, y, right, y + 1, area, outline);
      } else {
        AddClippedRows(left, y, innerLeft, y + 1, area, outline);
        AddClippedRows(innerRight, y, right, y + 1, area, outline);
      }
    }
    above = here;
    here = below;
  }
}

}  // namespace gdi
