// StretchBlt and StretchDIBits: a source rectangle drawn onto a destination
// rectangle of another size, as the platform's DIB engine draws it. The
// visible parts of both are found first (each mapped through the other,
// with a pixel of slack), the source is converted to the destination's
// format, then each axis is stepped like a line from (source start,
// destination start) to their ends: the longer side takes one pixel a step,
// the shorter one advances when the error term says so. Where source rows
// or columns fall on one destination pixel the stretch mode merges them:
// COLORONCOLOR keeps one, BLACKONWHITE ANDs them and WHITEONBLACK ORs them.
// The stretched pixels then meet the destination under the raster
// operation.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "internal.h"
#include "stretch.h"

namespace gdi {
namespace {

Box Bounding(long long x, long long y, long long width, long long height) {
  Box box = {x, y, x + width, y + height};
  // A negative extent covers the pixels from the origin back, the origin
  // included.
  if (box.left > box.right) box = {box.right + 1, box.top, box.left + 1, box.bottom};
  if (box.top > box.bottom) box = {box.left, box.bottom + 1, box.right, box.top + 1};
  return box;
}

Box Ordered(Box box) {
  if (box.left > box.right) std::swap(box.left, box.right);
  if (box.top > box.bottom) std::swap(box.top, box.bottom);
  return box;
}

void Offset(Box& box, long long dx, long long dy) {
  box.left += dx, box.right += dx, box.top += dy, box.bottom += dy;
}

// One axis of a stretch, stepped as a line whose longer side takes a pixel
// a step: after i steps the shorter side has advanced Minor(i) pixels.
struct Axis {
  long long srcStart, srcLength, dstStart, dstLength;
  long long major, minor;  // the longer and the shorter extent
  bool stretch;            // the destination is the longer side

  Axis(long long dStart, long long dLength, long long sStart, long long sLength)
      : srcStart(sStart), srcLength(sLength), dstStart(dStart), dstLength(dLength) {
    const long long dst = std::llabs(dLength), src = std::llabs(sLength);
    stretch = src <= dst;
    major = std::max(dst, src);
    minor = std::min(dst, src);
  }
  // The error term starts at 3 * minor - 2 * major and the shorter side
  // advances on a step where it is positive; this counts those steps.
  long long Minor(long long i) const { return (minor * (2 * i + 1) - 1) / (2 * major); }
  long long Src(long long i) const {
    const long long step = stretch ? Minor(i) : i;
    return srcStart + (srcLength < 0 ? -step : step);
  }
  long long Dst(long long i) const {
    const long long step = stretch ? i : Minor(i);
    return dstStart + (dstLength < 0 ? -step : step);
  }
};

// The steps [first, last) of an axis whose source lies in [srcLow,
// srcHigh) and destination in [dstLow, dstHigh): both move one way as the
// steps go, so those steps are one run.
bool VisibleSteps(const Axis& axis, long long srcLow, long long srcHigh, long long dstLow, long long dstHigh,
                  long long& first, long long& last) {
  const auto inside = [&](long long i, int side) {
    // side < 0: not yet reached the range; side > 0: past it.
    const long long s = axis.Src(i), d = axis.Dst(i);
    const bool sBefore = axis.srcLength < 0 ? s >= srcHigh : s < srcLow;
    const bool dBefore = axis.dstLength < 0 ? d >= dstHigh : d < dstLow;
    const bool sAfter = axis.srcLength < 0 ? s < srcLow : s >= srcHigh;
    const bool dAfter = axis.dstLength < 0 ? d < dstLow : d >= dstHigh;
    return side < 0 ? (sBefore || dBefore) : (sAfter || dAfter);
  };
  // The first step not before the range, then the first past it.
  long long low = 0, high = axis.major;
  while (low < high) {
    const long long mid = low + (high - low) / 2;
    if (inside(mid, -1)) low = mid + 1;
    else high = mid;
  }
  first = low;
  high = axis.major;
  while (low < high) {
    const long long mid = low + (high - low) / 2;
    if (inside(mid, 1)) high = mid;
    else low = mid + 1;
  }
  last = low;
  return first < last;
}

// What the converted source and stepped axes make of one destination row:
// the stepped columns in order, merged by the mode (`merge` with what the
// row holds already).
void StretchRow(const uint32_t* src, uint32_t* dst, const std::vector<long long>& srcX,
                const std::vector<long long>& dstX, bool stretch, int mode, bool merge, uint32_t full) {
  const size_t n = srcX.size();
  if (stretch) {
    // Columns repeat; merging is only of whole rows.
    if (mode == COLORONCOLOR || !merge) {
      for (size_t u = 0; u < n; ++u) dst[dstX[u]] = src[srcX[u]];
    } else {
      for (size_t u = 0; u < n; ++u) dst[dstX[u]] = mode == BLACKONWHITE ? dst[dstX[u]] & src[srcX[u]] : dst[dstX[u]] | src[srcX[u]];
    }
    return;
  }
  for (size_t u = 0; u < n; ++u) {
    const uint32_t s = src[srcX[u]];
    uint32_t& d = dst[dstX[u]];
    // COLORONCOLOR keeps the last column of those that fall together.
    if (mode == COLORONCOLOR) {
      d = s;
      continue;
    }
    const bool fresh = u == 0 || dstX[u] != dstX[u - 1];
    if (fresh && !merge) d = mode == BLACKONWHITE ? full : 0;
    d = mode == BLACKONWHITE ? d & s : d | s;
  }
}

}  // namespace

bool IntersectBoxes(Box& out, const Box& a, const Box& b) {
  out = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  return !out.Empty();
}

bool Coords::Set(long long x0, long long y0, long long w, long long h) {
  x = x0, y = y0, width = w, height = h;
  visible = Bounding(x, y, width, height);
  return !visible.Empty();
}

bool IntersectVisible(Coords& dst, Coords& src) {
  if (src.width == dst.width && src.height == dst.height) {
    Box box = src.visible;
    Offset(box, dst.x - src.x, dst.y - src.y);
    if (!IntersectBoxes(box, box, dst.visible)) return false;
    src.visible = dst.visible = box;
    Offset(src.visible, src.x - dst.x, src.y - dst.y);
    return true;
  }
  // The source's visible part in destination coordinates.
  Box box = src.visible;
  Offset(box, -src.x - (src.width < 0 ? 1 : 0), -src.y - (src.height < 0 ? 1 : 0));
  box = Ordered({box.left * dst.width / src.width, box.top * dst.height / src.height,
                 box.right * dst.width / src.width, box.bottom * dst.height / src.height});
  // A mirrored source cut by its bitmap's edge is drawn unmirrored in
  // place: the destination moves instead.
  if (src.width < 0 && dst.width > 0 &&
      (src.x + src.width + 1 < src.visible.left || src.x > src.visible.right))
    dst.x += (dst.width - box.right) - box.left;
  else if (src.width > 0 && dst.width < 0 && (src.x < src.visible.left || src.x + src.width > src.visible.right))
    dst.x -= box.right - (dst.width - box.left);
  if (src.height < 0 && dst.height > 0 &&
      (src.y + src.height + 1 < src.visible.top || src.y > src.visible.bottom))
    dst.y += (dst.height - box.bottom) - box.top;
  else if (src.height > 0 && dst.height < 0 &&
           (src.y < src.visible.top || src.y + src.height > src.visible.bottom))
    dst.y -= box.bottom - (dst.height - box.top);
  Offset(box, dst.x, dst.y);
  // A pixel of slack each way for the rounding.
  box = {box.left - 1, box.top - 1, box.right + 1, box.bottom + 1};
  if (!IntersectBoxes(dst.visible, box, dst.visible)) return false;
  // And the destination's back in source coordinates.
  box = dst.visible;
  Offset(box, -dst.x - (dst.width < 0 ? 1 : 0), -dst.y - (dst.height < 0 ? 1 : 0));
  box = Ordered({src.x + box.left * src.width / dst.width, src.y + box.top * src.height / dst.height,
                 src.x + box.right * src.width / dst.width, src.y + box.bottom * src.height / dst.height});
  box = {box.left - 1, box.top - 1, box.right + 1, box.bottom + 1};
  return IntersectBoxes(src.visible, box, src.visible);
}

bool StretchPixels(const Image& to, Coords& dst, const Image& from, const RGBQUAD* mono, const Coords& src, int mode,
                   std::vector<uint32_t>& out) {
  // The source's visible part in the destination's format.
  const long long sw = src.visible.Width(), sh = src.visible.Height();
  std::vector<uint32_t> converted(static_cast<size_t>(sw * sh));
  Image reading = from;
  if (mono != nullptr) reading.colors = mono;
  for (long long r = 0; r < sh; ++r) {
    uint32_t* row = converted.data() + r * sw;
    ReadPixels(reading, static_cast<int>(src.visible.left), static_cast<int>(src.visible.top + r), static_cast<int>(sw),
               row);
    ConvertPixels(reading, to, row, row, static_cast<int>(sw));
  }
  const bool stretching = src.width != dst.width || src.height != dst.height;
  if (!stretching) {
    // The destination's visible part, read from the source's corner.
    const long long dw = dst.visible.Width(), dh = dst.visible.Height();
    out.assign(static_cast<size_t>(dw * dh), 0);
    for (long long r = 0; r < std::min(dh, sh); ++r)
      std::copy_n(converted.data() + r * sw, std::min(dw, sw), out.data() + r * dw);
    return true;
  }
  const Axis horizontal(dst.x, dst.width, src.x, src.width), vertical(dst.y, dst.height, src.y, src.height);
  long long hFirst, hLast, vFirst, vLast;
  if (!VisibleSteps(vertical, src.visible.top, src.visible.bottom, dst.visible.top, dst.visible.bottom, vFirst,
                    vLast) ||
      !VisibleSteps(horizontal, src.visible.left, src.visible.right, dst.visible.left, dst.visible.right, hFirst,
                    hLast))
    return false;
  // What the steps reach is what is drawn.
  const long long x0 = horizontal.Dst(hFirst), x1 = horizontal.Dst(hLast - 1);
  const long long y0 = vertical.Dst(vFirst), y1 = vertical.Dst(vLast - 1);
  IntersectBoxes(dst.visible, dst.visible, {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1});
  const long long dw = dst.visible.Width(), dh = dst.visible.Height();
  out.assign(static_cast<size_t>(dw * dh), 0);
  std::vector<long long> srcX, dstX;
  for (long long i = hFirst; i < hLast; ++i) {
    srcX.push_back(horizontal.Src(i) - src.visible.left);
    dstX.push_back(horizontal.Dst(i) - dst.visible.left);
  }
  const uint32_t full = to.depth == 32 ? 0xFFFFFFFFu : (1u << to.depth) - 1;
  if (vertical.stretch) {
    // Rows repeat; columns merge by the mode only when they shrink.
    const int rowMode = horizontal.stretch ? COLORONCOLOR : mode;
    for (long long i = vFirst; i < vLast; ++i)
      StretchRow(converted.data() + (vertical.Src(i) - src.visible.top) * sw,
                 out.data() + (vertical.Dst(i) - dst.visible.top) * dw, srcX, dstX, horizontal.stretch, rowMode, false,
                 full);
    return true;
  }
  // Source rows that fall on one destination row: COLORONCOLOR draws the
  // first, the others merge each into what is there.
  for (long long i = vFirst; i < vLast; ++i) {
    const bool merged = i > vFirst && vertical.Dst(i) == vertical.Dst(i - 1);
    if (mode == COLORONCOLOR && merged) continue;
    StretchRow(converted.data() + (vertical.Src(i) - src.visible.top) * sw,
               out.data() + (vertical.Dst(i) - dst.visible.top) * dw, srcX, dstX, horizontal.stretch, mode, merged,
               full);
  }
  return true;
}

uint32_t Pattern::At(long long x, long long y) const {
  static const BYTE kHatches[6][8] = {
      {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},
      {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},
      {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08}, {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}};
  if (hatch < 0) return fore;
  const BYTE row = kHatches[hatch][(y - originY) & 7];
  return (row & (0x80 >> ((x - originX) & 7))) != 0 ? fore : back;
}

Pattern PatternOf(const Image& to, const Dc& dc) {
  Pattern pattern;
  const Brush* brush = Get<Brush>(dc.brush, OBJ_BRUSH);
  if (brush == nullptr || brush->null) return pattern;
  pattern.fore = ColorToPixel(to, brush->color);
  pattern.hatch = brush->hatch;
  pattern.back = ColorToPixel(to, dc.bkColor);
  pattern.originX = dc.brushOrigin.x;
  pattern.originY = dc.brushOrigin.y;
  return pattern;
}

void DrawPixels(const Image& to, const Box& box, const uint32_t* pixels, unsigned index, const Pattern& pattern) {
  const int width = static_cast<int>(box.Width());
  static thread_local std::vector<uint32_t> dest;
  dest.resize(static_cast<size_t>(width));
  for (long long r = 0; r < box.Height(); ++r) {
    const uint32_t* source = pixels != nullptr ? pixels + r * width : nullptr;
    const int x = static_cast<int>(box.left), y = static_cast<int>(box.top + r);
    if (index == 0xCC && source != nullptr) {
      WritePixels(to, x, y, width, source);
      continue;
    }
    ReadPixels(to, x, y, width, dest.data());
    for (int c = 0; c < width; ++c)
      dest[c] = Ternary(index, pattern.At(x + c, y), source != nullptr ? source[c] : 0, dest[c]);
    WritePixels(to, x, y, width, dest.data());
  }
}

}  // namespace gdi

int WINAPI SetStretchBltMode(HDC handle, int mode) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  const int previous = dc->stretchMode;
  dc->stretchMode = mode;
  return previous;
}

int WINAPI GetStretchBltMode(HDC handle) {
  const gdi::Dc* dc = gdi::LookupDc(handle);
  return dc != nullptr ? dc->stretchMode : 0;
}

namespace {

// The colours a monochrome device bitmap takes from the destination: its 0
// bits the text colour, its 1 bits the background.
const RGBQUAD* MonoColours(const gdi::Image& from, const gdi::Dc& dc, RGBQUAD (&mono)[2]) {
  if (from.depth != 1 || from.colors != nullptr) return nullptr;
  for (int i = 0; i < 2; ++i) {
    const COLORREF c = i == 0 ? dc.textColor : dc.bkColor;
    mono[i] = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
  }
  return mono;
}

// The stretch mode as the stepping knows it; HALFTONE is stepped as
// COLORONCOLOR.
int SteppedMode(const gdi::Dc& dc) { return dc.stretchMode == HALFTONE ? COLORONCOLOR : dc.stretchMode; }

// The destination's visible part: its pixels inside the DC's clip.
bool ClipDestination(const gdi::Paint& paint, gdi::Coords& dst) {
  const gdi::Box clip = {paint.clip.left, paint.clip.top, paint.clip.right, paint.clip.bottom};
  return gdi::IntersectBoxes(dst.visible, dst.visible, clip);
}

}  // namespace

BOOL WINAPI StretchBlt(HDC dstHandle, int x, int y, int width, int height, HDC srcHandle, int srcX, int srcY,
                       int srcWidth, int srcHeight, DWORD rop) {
  const unsigned index = (rop >> 16) & 0xFF;
  if (!gdi::UsesSource(index)) return PatBlt(dstHandle, x, y, width, height, rop);
  gdi::Paint paint;
  const gdi::Dc* srcDc = gdi::LookupDc(srcHandle);
  if (!gdi::StartPaint(dstHandle, paint) || srcDc == nullptr) return FALSE;
  gdi::Image to, from;
  if (!gdi::DcImage(*paint.dc, to) || !gdi::DcImage(*srcDc, from)) return FALSE;
  // Drawn into direct colours only, as BitBlt.
  if (to.depth <= 8) return FALSE;
  gdi::Coords dst, src;
  dst.Set(x, y, width, height);
  src.Set(srcX, srcY, srcWidth, srcHeight);
  // Nothing visible is nothing to do, successfully.
  const bool dstVisible = paint.target != nullptr && ClipDestination(paint, dst);
  if (!gdi::IntersectBoxes(src.visible, src.visible, {0, 0, from.width, from.height}) || !dstVisible ||
      !gdi::IntersectVisible(dst, src))
    return TRUE;
  // The engine reads one source pixel fewer onto a destination one pixel
  // wide or high.
  if (dst.width == 1 && src.width > 1) --src.width;
  if (dst.height == 1 && src.height > 1) --src.height;
  RGBQUAD mono[2];
  static thread_local std::vector<uint32_t> pixels;
  if (!gdi::StretchPixels(to, dst, from, MonoColours(from, *paint.dc, mono), src, SteppedMode(*paint.dc), pixels))
    return FALSE;
  gdi::DrawPixels(to, dst.visible, pixels.data(), index, gdi::PatternOf(to, *paint.dc));
  return TRUE;
}

// Source rows count from the bottom of a bottom-up DIB. The answer is the
// DIB's height for SRCCOPY, otherwise its biHeight (negative top-down), or
// 0 when the source box misses the DIB or the call is refused.
int WINAPI StretchDIBits(HDC handle, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                         int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
  if (bits == nullptr || info == nullptr || usage != DIB_RGB_COLORS) return 0;
  gdi::Image from;
  RGBQUAD table[256];
  gdi::Paint paint;
  gdi::Image to;
  if (!gdi::DibImage(*info, bits, from, table) || !gdi::StartPaint(handle, paint) || !gdi::DcImage(*paint.dc, to) ||
      to.depth <= 8)
    return 0;
  const long long rows = from.height;
  const bool topDown = info->bmiHeader.biHeight < 0;
  gdi::Coords dst, src;
  dst.Set(x, y, width, height);
  src.x = srcX, src.y = srcY, src.width = srcWidth, src.height = srcHeight;
  const bool fromOrigin = srcX == 0 && srcY == 0 && src.width == dst.width && src.height == dst.height;
  if (rop != SRCCOPY || fromOrigin) {
    if (dst.width == 1 && src.width > 1) --src.width;
    if (dst.height == 1 && src.height > 1) --src.height;
  }
  // Mirrored the same way on both sides is not mirrored, and is read a
  // pixel further on, as the platform does.
  if (rop != SRCCOPY) {
    if (dst.width < 0 && dst.width == src.width) {
      dst.x += dst.width, src.x += src.width;
      dst.width = -dst.width, src.width = -src.width;
    }
    if (dst.height < 0 && dst.height == src.height) {
      dst.y += dst.height, src.y += src.height;
      dst.height = -dst.height, src.height = -src.height;
    }
  }
  if (!topDown || (rop == SRCCOPY && !fromOrigin)) src.y = rows - src.y - src.height;
  if (src.y >= rows && src.y + src.height + 1 < rows) src.y = rows - 1;
  else if (src.y > 0 && src.y + src.height + 1 < 0) src.y = -src.height - 1;
  src.Set(src.x, src.y, src.width, src.height);
  if (!gdi::IntersectBoxes(src.visible, src.visible, {0, 0, from.width, rows})) return 0;
  const int answer = rop == SRCCOPY ? static_cast<int>(rows) : static_cast<int>(info->bmiHeader.biHeight);
  dst.Set(dst.x, dst.y, dst.width, dst.height);
  if (paint.target == nullptr || !ClipDestination(paint, dst) || !gdi::IntersectVisible(dst, src)) return answer;
  static thread_local std::vector<uint32_t> pixels;
  if (!gdi::StretchPixels(to, dst, from, nullptr, src, SteppedMode(*paint.dc), pixels)) return 0;
  gdi::DrawPixels(to, dst.visible, pixels.data(), (rop >> 16) & 0xFF, gdi::PatternOf(to, *paint.dc));
  return answer;
}
