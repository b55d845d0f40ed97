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
      for (size_t u = 0; u < n; ++u) {
        uint32_t& d = dst[dstX[u]];
        d = mode == BLACKONWHITE ? d & src[srcX[u]] : d | src[srcX[u]];
      }
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

uint8_t Lerp(uint8_t from, uint8_t to, float delta) {
  return static_cast<uint8_t>(static_cast<float>(from) + static_cast<float>(to - from) * delta + 0.5f);
}

// HALFTONE: each destination pixel of the whole box (mirrored or not) reads
// the source at a position that advances by the size ratio in float steps,
// held inside the source, and mixes the four pixels around it by their
// distances. The result has no fourth byte.
void Halftone(const Image& to, const Coords& dst, const Coords& src, const uint32_t* converted, long long pitch,
              std::vector<uint32_t>& out) {
  Box from, onto;
  IntersectBoxes(from, Bounding(src.x, src.y, src.width, src.height), src.visible);
  IntersectBoxes(onto, Bounding(dst.x, dst.y, dst.width, dst.height), dst.visible);
  const long long dw = onto.Width(), dh = onto.Height();
  const bool mirrorX = (dst.width < 0) != (src.width < 0), mirrorY = (dst.height < 0) != (src.height < 0);
  const float stepX = static_cast<float>(from.Width()) / static_cast<float>(dw) * (mirrorX ? -1.0f : 1.0f);
  const float stepY = static_cast<float>(from.Height()) / static_cast<float>(dh) * (mirrorY ? -1.0f : 1.0f);
  // The source's colours once, and each column's two pixels and weight
  // once: every row steps through the same columns.
  const long long rows = src.visible.Height();
  std::vector<uint32_t> colours(static_cast<size_t>(rows * pitch));
  for (size_t i = 0; i < colours.size(); ++i) colours[i] = PixelToRgb(to, converted[i]);
  const auto held = [](long long v, long long low, long long high) { return std::max(low, std::min(v, high)); };
  std::vector<long long> left(static_cast<size_t>(dw)), right(static_cast<size_t>(dw));
  std::vector<float> across(static_cast<size_t>(dw));
  float fx = static_cast<float>(mirrorX ? from.right - 1 : from.left);
  for (long long x = 0; x < dw; ++x, fx += stepX) {
    fx = std::max(static_cast<float>(from.left), std::min(fx, static_cast<float>(from.right - 1)));
    const auto x0 = static_cast<long long>(fx);
    left[x] = x0 - src.visible.left;
    right[x] = held(x0 + 1, from.left, from.right - 1) - src.visible.left;
    across[x] = fx - static_cast<float>(x0);
  }
  float fy = static_cast<float>(mirrorY ? from.bottom - 1 : from.top);
  for (long long y = 0; y < dh; ++y, fy += stepY) {
    fy = std::max(static_cast<float>(from.top), std::min(fy, static_cast<float>(from.bottom - 1)));
    const auto y0 = static_cast<long long>(fy), y1 = held(y0 + 1, from.top, from.bottom - 1);
    const float dy = fy - static_cast<float>(y0);
    const uint32_t* top = colours.data() + (y0 - src.visible.top) * pitch;
    const uint32_t* bottom = colours.data() + (y1 - src.visible.top) * pitch;
    for (long long x = 0; x < dw; ++x) {
      const float dx = across[x];
      const uint32_t c00 = top[left[x]], c01 = top[right[x]], c10 = bottom[left[x]], c11 = bottom[right[x]];
      uint32_t rgb = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const auto channel = [&](uint32_t c) { return static_cast<uint8_t>(c >> shift); };
        rgb |= uint32_t{Lerp(Lerp(channel(c00), channel(c01), dx), Lerp(channel(c10), channel(c11), dx), dy)} << shift;
      }
      out[y * dw + x] = to.depth == 32 ? rgb : ColorToPixel(to, RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
    }
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
                   std::vector<uint32_t>& out, const Dc* srcDc) {
  // The source's visible part in the destination's format.
  const long long sw = src.visible.Width(), sh = src.visible.Height();
  std::vector<uint32_t> converted(static_cast<size_t>(sw * sh));
  Image reading = from;
  if (mono != nullptr) reading.colors = mono;
  for (long long r = 0; r < sh; ++r) {
    uint32_t* row = converted.data() + r * sw;
    ReadPixels(reading, static_cast<int>(src.visible.left), static_cast<int>(src.visible.top + r), static_cast<int>(sw),
               row);
    if (srcDc != nullptr) ConvertBlitted(reading, to, *srcDc, row, row, static_cast<int>(sw));
    else ConvertPixels(reading, to, row, row, static_cast<int>(sw));
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
  if (mode == HALFTONE) {
    IntersectBoxes(dst.visible, dst.visible, Bounding(dst.x, dst.y, dst.width, dst.height));
    out.assign(static_cast<size_t>(dst.visible.Width() * dst.visible.Height()), 0);
    Halftone(to, dst, src, converted.data(), sw, out);
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

const RGBQUAD* MonoColours(const Image& from, const Image& to, const Dc& dc, RGBQUAD (&mono)[2]) {
  if (!MonoDevice(from) || MonoDevice(to)) return nullptr;
  for (int i = 0; i < 2; ++i) {
    const COLORREF c = i == 0 ? dc.textColor : dc.bkColor;
    mono[i] = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
  }
  return mono;
}

void ConvertBlitted(const Image& from, const Image& to, const Dc& srcDc, const uint32_t* in, uint32_t* out, int count) {
  if (!MonoDevice(to) || MonoDevice(from)) {
    ConvertPixels(from, to, in, out, count);
    return;
  }
  // Compared as raw pixels: a 32-bit pixel with alpha is not the colour.
  const uint32_t background = ColorToPixel(from, srcDc.bkColor);
  for (int i = 0; i < count; ++i) out[i] = in[i] == background ? 1 : 0;
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

namespace {

// For each ternary operation, its result bit for every (pattern at the
// destination pixel, pattern at the skewed pixel, source, destination): bit
// p << 3 | q << 2 | s << 1 | d. Where p and q agree these are the
// operation's own truth table; the rest says which of its steps see the
// skewed pattern. Measured under wine64 by tools/pattern_step_probe.cpp.
constexpr uint16_t kPatternSteps[256] = {
    0x0000, 0x0101, 0x0202, 0x0303, 0x0044, 0x0055, 0x0066, 0x0077,
    0x0088, 0x0099, 0x00AA, 0x00BB, 0x0C0C, 0x00DD, 0x00EE, 0x00FF,
    0x1100, 0x1111, 0x1122, 0x1133, 0x1414, 0x1515, 0x19E6, 0x1717,
    0x1428, 0x1919, 0x15EA, 0x1B1B, 0x11CC, 0x11DD, 0x11EE, 0x11FF,
    0x2020, 0x2211, 0x2222, 0x2233, 0x2424, 0x2AD5, 0x2626, 0x2727,
    0x2828, 0x26D9, 0x2A2A, 0x271B, 0x22CC, 0x22DD, 0x22EE, 0x22FF,
    0x3030, 0x3311, 0x3322, 0x3333, 0x3344, 0x3355, 0x3366, 0x3377,
    0x3388, 0x3399, 0x33AA, 0x33BB, 0x3C3C, 0x33DD, 0x33EE, 0x3F3F,
    0x4400, 0x4141, 0x4422, 0x4433, 0x4444, 0x4545, 0x4466, 0x4477,
    0x4488, 0x4499, 0x4A4A, 0x44BB, 0x44CC, 0x4D4D, 0x41BE, 0x44FF,
    0x5500, 0x5151, 0x5252, 0x5533, 0x5454, 0x5555, 0x5656, 0x5757,
    0x57A8, 0x5959, 0x55AA, 0x5B5B, 0x5C5C, 0x5D5D, 0x5E5E, 0x55FF,
    0x6600, 0x6611, 0x6622, 0x6633, 0x6464, 0x6565, 0x6666, 0x6767,
    0x6688, 0x6699, 0x6A6A, 0x649B, 0x66CC, 0x66DD, 0x6E6E, 0x66FF,
    0x7700, 0x7711, 0x7272, 0x7733, 0x7744, 0x7575, 0x7676, 0x7777,
    0x7788, 0x7799, 0x7A7A, 0x77BB, 0x77CC, 0x7D7D, 0x7E7E, 0x7F7F,
    0x8080, 0x8181, 0x8282, 0x8833, 0x8844, 0x8A75, 0x8866, 0x8877,
    0x8888, 0x8989, 0x8A8A, 0x88BB, 0x88CC, 0x8D8D, 0x88EE, 0x88FF,
    0x9900, 0x9191, 0x9922, 0x9933, 0x9B64, 0x9595, 0x9696, 0x9867,
    0x9898, 0x9999, 0x9A9A, 0x9B9B, 0x99CC, 0x99DD, 0x99EE, 0x99FF,
    0xAA00, 0xAE51, 0xA2A2, 0xA3A3, 0xAB54, 0xAA55, 0xA6A6, 0xA857,
    0xA8A8, 0xA9A9, 0xAAAA, 0xABAB, 0xAACC, 0xADAD, 0xAEAE, 0xAAFF,
    0xBB00, 0xBE41, 0xB2B2, 0xBB33, 0xBB44, 0xB5B5, 0xBB66, 0xBB77,
    0xBB88, 0xBB99, 0xBABA, 0xBBBB, 0xBBCC, 0xBBDD, 0xBEBE, 0xBFBF,
    0xC0C0, 0xCC11, 0xCC22, 0xC3C3, 0xCC44, 0xCC55, 0xCC66, 0xCC77,
    0xCC88, 0xCC99, 0xCACA, 0xCCBB, 0xCCCC, 0xCCDD, 0xCCEE, 0xCFCF,
    0xDD00, 0xDD11, 0xDD22, 0xDD33, 0xD8E4, 0xD5D5, 0xD926, 0xD7D7,
    0xD728, 0xD9D9, 0xDADA, 0xDBDB, 0xDDCC, 0xDDDD, 0xDDEE, 0xDDFF,
    0xEE00, 0xEE11, 0xEE22, 0xEE33, 0xE4E4, 0xEA15, 0xE6E6, 0xEBD7,
    0xE8E8, 0xEE99, 0xEAEA, 0xEBEB, 0xEECC, 0xEEDD, 0xEEEE, 0xEEFF,
    0xFF00, 0xFF11, 0xFF22, 0xF3F3, 0xFF44, 0xFF55, 0xFF66, 0xFF77,
    0xFF88, 0xFF99, 0xFFAA, 0xFBFB, 0xFCFC, 0xFFDD, 0xFFEE, 0xFFFF,
};

uint32_t SkewedTernary(unsigned index, uint32_t p, uint32_t q, uint32_t s, uint32_t d) {
  const unsigned table = kPatternSteps[index];
  uint32_t result = 0;
  for (unsigned i = 0; i < 16; ++i)
    if ((table >> i) & 1)
      result |= ((i & 8) != 0 ? p : ~p) & ((i & 4) != 0 ? q : ~q) & ((i & 2) != 0 ? s : ~s) & ((i & 1) != 0 ? d : ~d);
  return result;
}

}  // namespace

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
    if (source == nullptr) {
      for (int c = 0; c < width; ++c) dest[c] = Ternary(index, pattern.At(x + c, y), 0, dest[c]);
    } else if (pattern.hatch < 0) {
      for (int c = 0; c < width; ++c) dest[c] = Ternary(index, pattern.fore, source[c], dest[c]);
    } else {
      for (int c = 0; c < width; ++c)
        dest[c] = SkewedTernary(index, pattern.At(x + c, y), pattern.At(x + c - pattern.skewX, y - pattern.skewY),
                                source[c], dest[c]);
    }
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

// The DC's brush as a pattern, skewed as the platform reads it with the
// source: the source's pixels sit where they are in their bitmap when they
// are used as they are (same format, same size), otherwise in a copy whose
// corner is 0, 0.
gdi::Pattern SkewedPattern(const gdi::Image& to, const gdi::Dc& dc, const gdi::Coords& dst, const gdi::Coords& src,
                           const gdi::Image& from, const RGBQUAD* mono) {
  gdi::Pattern pattern = gdi::PatternOf(to, dc);
  const bool inPlace = mono == nullptr && src.width == dst.width && src.height == dst.height && gdi::SameFormat(from, to);
  pattern.skewX = 2 * (dst.visible.left - (inPlace ? src.visible.left : 0));
  pattern.skewY = 2 * (dst.visible.top - (inPlace ? src.visible.top : 0));
  return pattern;
}

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
  gdi::Coords dst, src;
  dst.Set(x, y, width, height);
  src.Set(srcX, srcY, srcWidth, srcHeight);
  // Nothing visible is nothing to do, successfully.
  const bool dstVisible = ClipDestination(paint, dst);
  if (!gdi::IntersectBoxes(src.visible, src.visible, {0, 0, from.width, from.height}) || !dstVisible ||
      !gdi::IntersectVisible(dst, src))
    return TRUE;
  // The engine reads one source pixel fewer onto a destination one pixel
  // wide or high.
  if (dst.width == 1 && src.width > 1) --src.width;
  if (dst.height == 1 && src.height > 1) --src.height;
  RGBQUAD mono[2];
  static thread_local std::vector<uint32_t> pixels;
  const RGBQUAD* monoColours = gdi::MonoColours(from, to, *paint.dc, mono);
  if (!gdi::StretchPixels(to, dst, from, monoColours, src, paint.dc->stretchMode, pixels, srcDc)) return FALSE;
  gdi::DrawPixels(to, dst.visible, pixels.data(), index, SkewedPattern(to, *paint.dc, dst, src, from, monoColours));
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
  if (!ClipDestination(paint, dst) || !gdi::IntersectVisible(dst, src)) return answer;
  static thread_local std::vector<uint32_t> pixels;
  if (!gdi::StretchPixels(to, dst, from, nullptr, src, paint.dc->stretchMode, pixels)) return 0;
  gdi::DrawPixels(to, dst.visible, pixels.data(), (rop >> 16) & 0xFF, SkewedPattern(to, *paint.dc, dst, src, from, nullptr));
  return answer;
}
