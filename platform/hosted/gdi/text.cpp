// Text drawn with the DC's font: placed by the alignment, on an opaque box
// in the background colour unless transparent, glyph by glyph in the text
// colour (grey levels blended, raster operations aside), then underline
// and strike-out filled as polygons under the raster operation. Positions
// are worked out as the platform works them out, truncating where it does.
#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>
#include <vector>

#include "internal.h"

namespace gdi {
namespace {

// A position as the platform keeps it: an int, truncated towards zero and
// held inside the int range.
int Truncate(double value) { return static_cast<int>(std::clamp(value, double{INT_MIN}, double{INT_MAX})); }
int Clamp(long long value) { return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX)); }

RECT Ordered(const RECT& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right), std::max(r.top, r.bottom)};
}

RECT Intersect(const RECT& a, const RECT& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// Fills a rectangle, clipped, with a pixel whatever the raster operation.
void Fill(const Paint& paint, RECT rect, uint32_t pixel) { paint.FillRects(&rect, 1, {0, pixel}); }

void DrawGlyph(const Paint& paint, const GlyphImage& glyph, long long x, long long y, const RECT& clip,
               uint32_t pixel) {
  const long long left = x + glyph.left, top = y + glyph.top;
  const RECT area = Intersect({Clamp(left), Clamp(top), Clamp(left + glyph.width), Clamp(top + glyph.height)}, clip);
  if (Empty(area)) return;
  const uint8_t* levels = glyph.levels.data() + (area.top - top) * glyph.width + (area.left - left);
  paint.funcs->drawGlyph(*paint.target, area, levels, glyph.width, pixel);
}

// A line along the text (underline or strike-out): `size` rows from
// `position + size / 2` above the baseline, turned with the text.
void DrawLine(const Paint& paint, int position, int size, POINT origin, POINT width, double cosine, double sine,
              RopMasks masks) {
  if (size == 0) size = 1;
  const int offset = position + size / 2;
  POINT points[4];
  points[0] = {Truncate(origin.x - offset * sine), Truncate(origin.y - offset * cosine)};
  points[1] = {Truncate(static_cast<double>(origin.x) + width.x - offset * sine),
               Truncate(static_cast<double>(origin.y) + width.y - offset * cosine)};
  points[2] = {Truncate(points[1].x + size * sine), Truncate(points[1].y + size * cosine)};
  points[3] = {Truncate(points[0].x + size * sine), Truncate(points[0].y + size * cosine)};
  std::vector<RECT> spans;
  PolygonSpans(points, 4, paint.clip, spans);
  paint.FillRects(spans.data(), static_cast<int>(spans.size()), masks);
}

}  // namespace

}  // namespace gdi

BOOL WINAPI ExtTextOutW(HDC handle, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                        const INT* dx) {
  gdi::Paint paint;
  if (!gdi::StartPaint(handle, paint) || count > INT_MAX || (text == nullptr && count > 0)) return FALSE;
  gdi::Dc& dc = *paint.dc;
  const gdi::Font* request = gdi::Get<gdi::Font>(dc.font, OBJ_FONT);
  gdi::RealizedFont* realized = gdi::DcFont(dc);
  if (realized == nullptr || request == nullptr) return FALSE;
  gdi::RealFont& font = *realized->font;
  const TEXTMETRICW& tm = font.Metrics();
  const LOGFONTW& lf = request->logFont;
  const UINT align = dc.textAlign;
  if ((align & TA_UPDATECP) != 0) x = dc.position.x, y = dc.position.y;

  // Bitmap fonts are never turned.
  const int escapement = (tm.tmPitchAndFamily & TMPF_VECTOR) != 0 ? lf.lfEscapement : 0;
  const double angle = escapement * std::numbers::pi / 1800;
  const double cosine = escapement != 0 ? std::cos(angle) : 1, sine = escapement != 0 ? std::sin(angle) : 0;

  RECT box{};
  if (rect != nullptr && (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0) {
    box = gdi::Ordered(*rect);
    if (paint.target != nullptr && (options & ETO_OPAQUE) != 0)
      gdi::Fill(paint, box, paint.funcs->colorToPixel(dc.bkColor));
  } else {
    options &= ~static_cast<UINT>(ETO_CLIPPED);
  }
  if (count == 0) return TRUE;

  // Where each character starts, from the text's origin: given widths or
  // turned text place them by the measured widths, each end truncated;
  // otherwise each glyph moves the pen by its own advance, and the text is
  // as wide as it measures.
  std::vector<POINT> deltas;
  POINT width{0, 0};
  if (dx != nullptr || escapement != 0) {
    deltas.resize(count);
    long long total = 0;
    for (UINT i = 0; i < count; ++i) {
      total += dx != nullptr ? dx[i] : font.CharWidth(text[i]);
      const POINT desired{gdi::Truncate(cosine * total), gdi::Truncate(-sine * total)};
      deltas[i] = {gdi::Clamp(1LL * desired.x - width.x), gdi::Clamp(1LL * desired.y - width.y)};
      width = desired;
    }
  } else {
    long long total = 0;
    for (UINT i = 0; i < count; ++i) total += font.CharWidth(text[i]);
    width.x = gdi::Clamp(total);
  }

  switch (align & (TA_LEFT | TA_RIGHT | TA_CENTER)) {
    case TA_LEFT:
      if ((align & TA_UPDATECP) != 0) dc.position = {gdi::Clamp(1LL * x + width.x), gdi::Clamp(1LL * y + width.y)};
      break;
    case TA_CENTER:
      x = gdi::Clamp(x - width.x / 2LL), y = gdi::Clamp(y - width.y / 2LL);
      break;
    case TA_RIGHT:
      x = gdi::Clamp(1LL * x - width.x), y = gdi::Clamp(1LL * y - width.y);
      if ((align & TA_UPDATECP) != 0) dc.position = {x, y};
      break;
  }
  switch (align & (TA_TOP | TA_BOTTOM | TA_BASELINE)) {
    case TA_TOP:
      y = gdi::Truncate(y + tm.tmAscent * cosine), x = gdi::Truncate(x + tm.tmAscent * sine);
      break;
    case TA_BOTTOM:
      y = gdi::Truncate(y - tm.tmDescent * cosine), x = gdi::Truncate(x - tm.tmDescent * sine);
      break;
  }
  if (paint.target == nullptr) return TRUE;

  const bool clipped = (options & ETO_CLIPPED) != 0, opaque = (options & ETO_OPAQUE) != 0;
  if (dc.bkMode != TRANSPARENT && !(clipped && opaque)) {
    const RECT text_box{x, gdi::Clamp(1LL * y - tm.tmAscent), gdi::Clamp(1LL * x + width.x),
                        gdi::Clamp(1LL * y + tm.tmDescent)};
    // An opaque rectangle that holds the whole text box is background
    // enough.
    if (!opaque || rect == nullptr || text_box.left < box.left || text_box.right >= box.right ||
        text_box.top < box.top || text_box.bottom >= box.bottom) {
      const RECT fill = clipped ? gdi::Intersect(text_box, box) : text_box;
      if (!gdi::Empty(fill)) gdi::Fill(paint, fill, paint.funcs->colorToPixel(dc.bkColor));
    }
  }

  const RECT clip = clipped ? gdi::Intersect(paint.clip, box) : paint.clip;
  const uint32_t textPixel = paint.funcs->colorToPixel(dc.textColor);
  long long penX = x, penY = y;
  for (UINT i = 0; i < count; ++i) {
    const gdi::GlyphImage& glyph = font.Glyph(text[i]);
    if (!gdi::Empty(clip)) gdi::DrawGlyph(paint, glyph, penX, penY, clip, textPixel);
    penX += deltas.empty() ? glyph.advanceX : deltas[i].x;
    penY += deltas.empty() ? glyph.advanceY : deltas[i].y;
  }

  if (lf.lfUnderline != 0 || lf.lfStrikeOut != 0) {
    const gdi::TextLines lines = font.Lines();
    const gdi::RopMasks masks = gdi::RopMasksFor(dc.rop2, textPixel);
    if (lf.lfUnderline != 0)
      gdi::DrawLine(paint, lines.underlinePosition, lines.underlineSize, {x, y}, width, cosine, sine, masks);
    if (lf.lfStrikeOut != 0)
      gdi::DrawLine(paint, lines.strikeOutPosition, lines.strikeOutSize, {x, y}, width, cosine, sine, masks);
  }
  return TRUE;
}

BOOL WINAPI TextOutW(HDC dc, int x, int y, LPCWSTR text, int count) {
  if (count < 0) return FALSE;
  return ExtTextOutW(dc, x, y, 0, nullptr, text, static_cast<UINT>(count), nullptr);
}
