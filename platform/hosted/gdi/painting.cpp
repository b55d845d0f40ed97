// Drawing calls on a device context: one prologue resolves the DC, its
// surface and the pen and brush under the raster operation; each call then
// says which spans, lines or pixels to touch and hands them to the
// primitives of the surface's format.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

#include "internal.h"

namespace gdi {
namespace {

// The largest corner arc stepped round as Windows steps it, in pixels
// each way: the stepping error grows as the cube of the size and must stay
// within 64 bits. Larger arcs are worked out from their equation.
constexpr long long kLargestArc = 1 << 19;

// A pen or brush record's colour as a pixel and masks; false for a null one.
template <typename T>
bool Resolve(const T* record, const PrimitiveFuncs& funcs, int rop2, uint32_t& pixel, RopMasks& masks) {
  if (record == nullptr || record->null) return false;
  pixel = funcs.colorToPixel(record->color);
  masks = RopMasksFor(rop2, pixel);
  return true;
}

}  // namespace

bool StartPaint(HDC handle, Paint& paint) {
  Dc* dc = LookupDc(handle);
  if (dc == nullptr) return false;
  paint.dc = dc;
  // Blits reach bitmaps of every depth, the rasteriser only its formats.
  Image image;
  if (!DcImage(*dc, image)) return true;
  paint.clip = {0, 0, image.width, image.height};
  if (dc->clipped) {
    paint.clip = {std::max(paint.clip.left, dc->clipBox.left), std::max(paint.clip.top, dc->clipBox.top),
                  std::min(paint.clip.right, dc->clipBox.right), std::min(paint.clip.bottom, dc->clipBox.bottom)};
    // An empty clip keeps its corner so that nothing is inside it.
    paint.clip.right = std::max(paint.clip.right, paint.clip.left);
    paint.clip.bottom = std::max(paint.clip.bottom, paint.clip.top);
  }
  if (dc->target.bits == nullptr) return true;
  paint.target = &dc->target;
  paint.funcs = &PrimitivesFor(dc->target.format);
  const Pen* pen = Get<Pen>(dc->pen, OBJ_PEN);
  paint.pen = Resolve(pen, *paint.funcs, dc->rop2, paint.penPixel, paint.penMasks);
  paint.penWidth = paint.pen ? std::max(pen->width, 1) : 0;
  paint.brush = Resolve(Get<Brush>(dc->brush, OBJ_BRUSH), *paint.funcs, dc->rop2, paint.brushPixel, paint.brushMasks);
  return true;
}

void Paint::FillRects(RECT* rects, int count, RopMasks masks) const {
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    RECT r = rects[i];
    r.left = std::max(r.left, clip.left);
    r.top = std::max(r.top, clip.top);
    r.right = std::min(r.right, clip.right);
    r.bottom = std::min(r.bottom, clip.bottom);
    if (r.left < r.right && r.top < r.bottom) rects[kept++] = r;
  }
  if (kept > 0) funcs->solidRects(*target, rects, kept, masks);
}

void Paint::Stroke(const POINT* points, int count, bool closed, std::vector<RECT>* inside) const {
  static thread_local std::vector<RECT> outline;
  outline.clear();
  WidePenSpans(points, count, closed, penWidth, clip, outline);
  FillOutlined(outline, inside);
}

void Paint::FillOutlined(std::vector<RECT>& outline, std::vector<RECT>* inside) const {
  NormalizeSpans(outline);
  if (inside != nullptr && brush) {
    NormalizeSpans(*inside);
    SubtractSpans(*inside, outline);
    if (!inside->empty()) funcs->solidRects(*target, inside->data(), static_cast<int>(inside->size()), brushMasks);
  }
  if (!outline.empty()) funcs->solidRects(*target, outline.data(), static_cast<int>(outline.size()), penMasks);
}

}  // namespace gdi

BOOL WINAPI SetPixelV(HDC handle, int x, int y, COLORREF color) {
  gdi::Paint paint;
  if (!gdi::StartPaint(handle, paint)) return FALSE;
  // Clipped away is not a failure.
  if (paint.target == nullptr || !paint.Inside(x, y)) return TRUE;
  // The colour meets the pixel under the DC's raster operation, as a pen's
  // does.
  const RECT pixel = {x, y, x + 1, y + 1};
  paint.funcs->solidRects(*paint.target, &pixel, 1,
                          gdi::RopMasksFor(paint.dc->rop2, paint.funcs->colorToPixel(color)));
  return TRUE;
}

COLORREF WINAPI GetPixel(HDC handle, int x, int y) {
  gdi::Paint paint;
  if (!gdi::StartPaint(handle, paint)) return CLR_INVALID;
  // A memory DC's own 1x1 bitmap is black.
  if (paint.target == nullptr) return paint.dc->memory && x == 0 && y == 0 ? RGB(0, 0, 0) : CLR_INVALID;
  if (!paint.Inside(x, y)) return CLR_INVALID;
  return paint.funcs->pixelToColor(paint.funcs->getPixel(*paint.target, x, y));
}

BOOL WINAPI Rectangle(HDC handle, int left, int top, int right, int bottom) {
  gdi::Paint paint;
  if (!gdi::StartPaint(handle, paint)) return FALSE;
  if (paint.target == nullptr) return TRUE;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (left == right || top == bottom) return TRUE;
  if (paint.WidePen()) {
    // The pen is centred on the path round the last pixels inside the box;
    // the brush covers what the pen leaves of the box up to that path.
    static thread_local std::vector<RECT> inside;
    inside.clear();
    if (paint.brush) gdi::AddClippedRows(left, top, right - 1, bottom - 1, paint.clip, inside);
    const POINT path[4] = {{right - 1, top}, {left, top}, {left, bottom - 1}, {right - 1, bottom - 1}};
    paint.Stroke(path, 4, true, &inside);
    return TRUE;
  }
  // The brush covers the inside of the outline; without a pen it also takes
  // the outline's top and left edges, never the right and bottom ones.
  if (paint.brush) {
    const int inset = paint.pen ? 1 : 0;
    RECT inside = {left + inset, top + inset, right - 1, bottom - 1};
    paint.FillRects(&inside, 1, paint.brushMasks);
  }
  if (paint.pen) {
    // The outline is a closed path of four lines, each without its end
    // point: every pixel once, except on rectangles one pixel thin, where
    // the lines come back over each other and raster operations that read
    // the destination see it twice.
    RECT outline[4] = {{left, top, right - 1, top + 1},
                       {right - 1, top, right, bottom - 1},
                       {left + 1, bottom - 1, right, bottom},
                       {left, top + 1, left + 1, bottom}};
    paint.FillRects(outline, 4, paint.penMasks);
  }
  return TRUE;
}

BOOL WINAPI Polygon(HDC handle, const POINT* points, int count) {
  gdi::Paint paint;
  if (!gdi::StartPaint(handle, paint) || points == nullptr || count < 2) return FALSE;
  if (paint.target == nullptr) return TRUE;
  // Kept from call to call: a list this size freed and made again every
  // time costs more than the fill.
  static thread_local std::vector<RECT> spans;
  spans.clear();
  if (paint.brush) gdi::PolygonSpans(points, count, paint.clip, spans);
  // The outline closes the path back to the first point.
  if (paint.WidePen()) {
    paint.Stroke(points, count, true, &spans);
    return TRUE;
  }
  if (!spans.empty())
    paint.funcs->solidRects(*paint.target, spans.data(), static_cast<int>(spans.size()), paint.brushMasks);
  if (paint.pen) {
    for (int i = 0; i < count; ++i)
      paint.funcs->solidLine(*paint.target, points[i], points[(i + 1) % count], paint.clip, paint.penMasks);
  }
  return TRUE;
}

namespace {

// A rounded rectangle with corners too large to step round: its visible
// rows worked out from the corner ellipse's equation, so a shape across
// the whole coordinate range costs what its visible part does. The pen's
// one-pixel outline lies on the inside's edge; a wide pen leaves its dot
// on every pixel of that edge.
BOOL LargeRoundRect(const gdi::Paint& paint, const RECT& box, long long w, long long h, std::vector<RECT>& spans) {
  static thread_local std::vector<RECT> edge;
  edge.clear();
  const gdi::LongPoint corner = {box.left, box.top};
  const gdi::LongPoint size = {static_cast<long long>(box.right) - box.left,
                               static_cast<long long>(box.bottom) - box.top};
  if (!paint.WidePen()) {
    gdi::LargeRoundRectSpans(corner, size, w, h, paint.clip, spans, edge);
    if (paint.brush && !spans.empty())
      paint.funcs->solidRects(*paint.target, spans.data(), static_cast<int>(spans.size()), paint.brushMasks);
    if (paint.pen && !edge.empty())
      paint.funcs->solidRects(*paint.target, edge.data(), static_cast<int>(edge.size()), paint.penMasks);
    return TRUE;
  }
  // The edge a dot's width round the clip can reach into it.
  const RECT& clip = paint.clip;
  const RECT area = {clip.left - paint.penWidth, clip.top - paint.penWidth, clip.right + paint.penWidth,
                     clip.bottom + paint.penWidth};
  gdi::LargeRoundRectSpans(corner, size, w, h, area, spans, edge);
  static thread_local std::vector<POINT> points;
  static thread_local std::vector<RECT> outline;
  points.clear();
  outline.clear();
  for (const RECT& span : edge)
    for (LONG x = span.left; x < span.right; ++x) points.push_back({x, span.top});
  gdi::PenDotSpans(points.data(), static_cast<int>(points.size()), paint.penWidth, clip, outline);
  static thread_local std::vector<RECT> inside;
  inside.clear();
  for (const RECT& span : spans) gdi::AddClippedRows(span.left, span.top, span.right, span.bottom, clip, inside);
  paint.FillOutlined(outline, paint.brush ? &inside : nullptr);
  return TRUE;
}

}  // namespace

// Corners rounded by arcs of a cornerWidth x cornerHeight ellipse (no
// larger than the box); corners too small to round give a rectangle.
BOOL WINAPI RoundRect(HDC handle, int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
  return gdi::RoundRectOf(handle, left, top, right, bottom, cornerWidth, cornerHeight);
}

// The ellipse inside the box: a rounded rectangle that is all corner, even
// when the box is wider or higher than an int holds.
BOOL WINAPI Ellipse(HDC handle, int left, int top, int right, int bottom) {
  return gdi::RoundRectOf(handle, left, top, right, bottom, static_cast<long long>(right) - left,
                          static_cast<long long>(bottom) - top);
}

namespace gdi {

BOOL RoundRectOf(HDC handle, int left, int top, int right, int bottom, long long cornerWidth,
                 long long cornerHeight) {
  Paint paint;
  if (!StartPaint(handle, paint)) return FALSE;
  if (paint.target == nullptr) return TRUE;
  const long long boxWidth = std::llabs(static_cast<long long>(right) - left);
  const long long boxHeight = std::llabs(static_cast<long long>(bottom) - top);
  if (boxWidth == 0 || boxHeight == 0) return TRUE;
  const long long w = std::min(boxWidth, std::llabs(cornerWidth));
  const long long h = std::min(boxHeight, std::llabs(cornerHeight));
  if (w <= 2 || h <= 2) return Rectangle(handle, left, top, right, bottom);
  const RECT box = {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  static thread_local std::vector<RECT> spans;
  static thread_local std::vector<POINT> outline;
  spans.clear();
  if (w > kLargestArc || h > kLargestArc) return LargeRoundRect(paint, box, w, h, spans);
  if (paint.brush) RoundRectSpans(box, static_cast<int>(w), static_cast<int>(h), spans);
  if (paint.pen) RoundRectOutline(box, static_cast<int>(w), static_cast<int>(h), outline);
  if (paint.WidePen()) {
    static thread_local std::vector<RECT> inside;
    inside.clear();
    for (const RECT& span : spans) AddClippedRows(span.left, span.top, span.right, span.bottom, paint.clip, inside);
    paint.Stroke(outline.data(), static_cast<int>(outline.size()), true, &inside);
    return TRUE;
  }
  // The inside first, the outline over it, as for polygons.
  if (!spans.empty()) paint.FillRects(spans.data(), static_cast<int>(spans.size()), paint.brushMasks);
  if (paint.pen) {
    for (size_t i = 0; i < outline.size(); ++i)
      paint.funcs->solidLine(*paint.target, outline[i], outline[(i + 1) % outline.size()], paint.clip, paint.penMasks);
  }
  return TRUE;
}

}  // namespace gdi

BOOL WINAPI MoveToEx(HDC handle, int x, int y, LPPOINT previous) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr) return FALSE;
  if (previous != nullptr) *previous = dc->position;
  dc->position = {x, y};
  return TRUE;
}

// From the current position up to, not including, the point, which becomes
// the current position even where nothing is drawn.
BOOL WINAPI LineTo(HDC handle, int x, int y) {
  gdi::Paint paint;
  if (!gdi::StartPaint(handle, paint)) return FALSE;
  const POINT from = paint.dc->position;
  paint.dc->position = {x, y};
  if (paint.target == nullptr || !paint.pen) return TRUE;
  // A wide pen's round ends cover both points, and a line of no length
  // still leaves a dot.
  const POINT path[2] = {from, {x, y}};
  if (paint.WidePen()) paint.Stroke(path, 2, false, nullptr);
  else paint.funcs->solidLine(*paint.target, from, {x, y}, paint.clip, paint.penMasks);
  return TRUE;
}

// The brush over the area around (x, y) of the colour's pixel
// (FLOODFILLSURFACE) or up to it (FLOODFILLBORDER); FALSE when the point is
// off the bitmap or not in such an area.
BOOL WINAPI ExtFloodFill(HDC handle, int x, int y, COLORREF color, UINT type) {
  gdi::Paint paint;
  if (!gdi::StartPaint(handle, paint) || paint.target == nullptr || !paint.Inside(x, y)) return FALSE;
  const uint32_t pixel = paint.funcs->colorToPixel(color);
  const bool untilBorder = type != FLOODFILLSURFACE;
  if ((paint.funcs->getPixel(*paint.target, x, y) == pixel) == untilBorder) return FALSE;
  static thread_local std::vector<RECT> spans;
  spans.clear();
  paint.funcs->floodSpans(*paint.target, x, y, pixel, untilBorder, spans);
  if (paint.brush)
    paint.funcs->solidRects(*paint.target, spans.data(), static_cast<int>(spans.size()), paint.brushMasks);
  return TRUE;
}

BOOL WINAPI GdiFlush() { return TRUE; }
