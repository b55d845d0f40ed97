// AlphaBlend (msimg32): a source rectangle, stretched as COLORONCOLOR stretches
// it, blended onto the destination with a constant alpha, or with the
// source's own premultiplied alpha (32-bit sources only) scaled by the
// constant, rounded as the platform rounds: (s * a + d * (255 - a) + 127) /
// 255 per channel. Channel sums past 255 are not clamped: their carry spills
// into the next channel's lowest bit, as on the platform.
#include <vector>

#include "internal.h"
#include "stretch.h"

namespace gdi {
namespace {

uint32_t Byte(uint32_t value, int shift) { return (value >> shift) & 0xFF; }

// v / 255 for v up to 255 * 255 + 127, without a division.
uint32_t Div255(uint32_t v) { return (v + 1 + (v >> 8)) >> 8; }

uint32_t Mix(uint32_t d, uint32_t s, uint32_t alpha) { return Div255(s * alpha + d * (255 - alpha) + 127); }

// Premultiplied: the source scaled by the constant, then laid over what the
// destination keeps of itself.
uint32_t Over(uint32_t d, uint32_t s, uint32_t alpha) { return s + Div255(d * (255 - alpha) + 127); }

// A 32-bit destination's four bytes; `sourceAlpha` false takes the source's
// fourth byte as 255 (sources converted from other formats).
uint32_t BlendArgb(uint32_t d, uint32_t s, const BLENDFUNCTION& blend, bool sourceAlpha) {
  const uint32_t constant = blend.SourceConstantAlpha;
  if ((blend.AlphaFormat & AC_SRC_ALPHA) == 0) {
    const uint32_t a = sourceAlpha ? Byte(s, 24) : 255;
    return Mix(Byte(d, 0), Byte(s, 0), constant) | Mix(Byte(d, 8), Byte(s, 8), constant) << 8 |
           Mix(Byte(d, 16), Byte(s, 16), constant) << 16 | Mix(Byte(d, 24), a, constant) << 24;
  }
  const auto scale = [&](uint32_t c) { return constant == 255 ? c : Div255(c * constant + 127); };
  const uint32_t alpha = scale(Byte(s, 24));
  return Over(Byte(d, 0), scale(Byte(s, 0)), alpha) | Over(Byte(d, 8), scale(Byte(s, 8)), alpha) << 8 |
         Over(Byte(d, 16), scale(Byte(s, 16)), alpha) << 16 | Over(Byte(d, 24), alpha, alpha) << 24;
}

// Any other destination: its colour (0xRRGGBB) blended, the fourth byte left
// out.
uint32_t BlendRgb(uint32_t d, uint32_t s, const BLENDFUNCTION& blend) {
  const uint32_t constant = blend.SourceConstantAlpha;
  if ((blend.AlphaFormat & AC_SRC_ALPHA) == 0)
    return Mix(Byte(d, 0), Byte(s, 0), constant) | Mix(Byte(d, 8), Byte(s, 8), constant) << 8 |
           Mix(Byte(d, 16), Byte(s, 16), constant) << 16;
  const auto scale = [&](uint32_t c) { return Div255(c * constant + 127); };
  const uint32_t alpha = scale(Byte(s, 24));
  return Over(Byte(d, 0), scale(Byte(s, 0)), alpha) | Over(Byte(d, 8), scale(Byte(s, 8)), alpha) << 8 |
         Over(Byte(d, 16), scale(Byte(s, 16)), alpha) << 16;
}

// Rows of 32-bit source pixels (`pitch` pixels apart) blended onto the
// destination's box.
void BlendRows(const Image& to, const Box& box, const uint32_t* pixels, long long pitch, const BLENDFUNCTION& blend,
               bool sourceAlpha) {
  const int width = static_cast<int>(box.Width());
  static thread_local std::vector<uint32_t> dest;
  dest.resize(static_cast<size_t>(width));
  for (long long r = 0; r < box.Height(); ++r) {
    const uint32_t* __restrict source = pixels + r * pitch;
    const int x = static_cast<int>(box.left), y = static_cast<int>(box.top + r);
    if (to.depth == 32) {
      uint32_t* __restrict row = reinterpret_cast<uint32_t*>(to.bits + static_cast<ptrdiff_t>(y) * to.pitch) + x;
      // The common case, premultiplied pixels at full strength, in a loop
      // the compiler can widen.
      if (blend.AlphaFormat == AC_SRC_ALPHA && blend.SourceConstantAlpha == 255) {
        for (int c = 0; c < width; ++c) {
          const uint32_t s = source[c], d = row[c], a = s >> 24;
          row[c] = Over(Byte(d, 0), Byte(s, 0), a) | Over(Byte(d, 8), Byte(s, 8), a) << 8 |
                   Over(Byte(d, 16), Byte(s, 16), a) << 16 | Over(Byte(d, 24), a, a) << 24;
        }
        continue;
      }
      for (int c = 0; c < width; ++c) row[c] = BlendArgb(row[c], source[c], blend, sourceAlpha);
      continue;
    }
    ReadPixels(to, x, y, width, dest.data());
    for (int c = 0; c < width; ++c) {
      const uint32_t v = BlendRgb(PixelToRgb(to, dest[c]), source[c], blend);
      dest[c] = ColorToPixel(to, RGB(Byte(v, 16), Byte(v, 8), Byte(v, 0)));
    }
    WritePixels(to, x, y, width, dest.data());
  }
}

}  // namespace
}  // namespace gdi

// Refused (FALSE): a source box with a negative origin or size or reaching
// past the source, a negative destination size, overlapping boxes in one
// DC, per-pixel alpha from a source of other than 32 bits (or with bit
// fields), and destinations with a palette. Any BlendOp is taken as
// AC_SRC_OVER. Nothing visible is success.
BOOL WINAPI AlphaBlend(HDC dstHandle, int x, int y, int width, int height, HDC srcHandle, int srcX, int srcY,
                       int srcWidth, int srcHeight, BLENDFUNCTION blend) {
  const gdi::Dc* srcDc = gdi::LookupDc(srcHandle);
  gdi::Paint paint;
  gdi::Image to, from;
  if (srcDc == nullptr || !gdi::StartPaint(dstHandle, paint) || !gdi::DcImage(*srcDc, from)) return FALSE;
  gdi::Coords dst, src;
  dst.Set(x, y, width, height);
  src.Set(srcX, srcY, srcWidth, srcHeight);
  const gdi::Box clip = {paint.clip.left, paint.clip.top, paint.clip.right, paint.clip.bottom};
  const bool visible = gdi::IntersectBoxes(dst.visible, dst.visible, clip) &&
                       gdi::IntersectBoxes(src.visible, src.visible, {0, 0, from.width, from.height}) &&
                       gdi::IntersectVisible(dst, src);
  if (srcX < 0 || srcY < 0 || srcWidth < 0 || srcHeight < 0 || srcWidth > from.width - srcX ||
      srcHeight > from.height - srcY || width < 0 || height < 0)
    return FALSE;
  if (srcDc == paint.dc && src.x + src.width > dst.x && src.x < dst.x + dst.width && src.y + src.height > dst.y &&
      src.y < dst.y + dst.height)
    return FALSE;
  if (!visible) return TRUE;
  const gdi::BitmapObject* bitmap = srcDc->memory ? gdi::LookupBitmap(srcDc->bitmap) : nullptr;
  const bool bitFields = bitmap != nullptr && bitmap->section && bitmap->header.biCompression == BI_BITFIELDS;
  const bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) != 0;
  if (perPixel && (from.depth != 32 || bitFields)) return FALSE;
  if (!gdi::DcImage(*paint.dc, to) || to.depth <= 8) return FALSE;
  // Sources are blended as 32-bit pixels: their own when they are, and
  // converted otherwise (their fourth byte then counting as opaque).
  const bool sourceAlpha = from.depth == 32 && !bitFields;
  if (from.depth == 32 && src.width == dst.width && src.height == dst.height) {
    // Read where they are.
    const auto* first = reinterpret_cast<const uint32_t*>(from.bits + src.visible.top * from.pitch) + src.visible.left;
    gdi::BlendRows(to, dst.visible, first, from.pitch / 4, blend, sourceAlpha);
    return TRUE;
  }
  gdi::Image argb = from;
  if (from.depth != 32) argb = gdi::Image{nullptr, 0, 0, 0, 32, false, nullptr};
  static thread_local std::vector<uint32_t> pixels;
  if (!gdi::StretchPixels(argb, dst, from, nullptr, src, COLORONCOLOR, pixels)) return FALSE;
  gdi::BlendRows(to, dst.visible, pixels.data(), dst.visible.Width(), blend, sourceAlpha);
  return TRUE;
}
