// Raw pixels of every depth and the conversions between them.
#include "dib.h"

#include <cstring>

namespace gdi {
namespace {

int TableSize(const Image& image) { return image.depth <= 8 ? 1 << image.depth : 0; }

const RGBQUAD* Colors(const Image& image) {
  return image.colors != nullptr ? image.colors : DefaultColors(image.depth);
}

// An n-bit field widened to 8 bits by repeating its top bits.
uint32_t Widen(uint32_t field, int bits) { return ((field << (8 - bits)) | (field >> (2 * bits - 8))) & 0xFF; }

uint32_t Nearest(const Image& image, uint32_t rgb) {
  const int r = static_cast<int>(rgb >> 16 & 0xFF), g = static_cast<int>(rgb >> 8 & 0xFF),
            b = static_cast<int>(rgb & 0xFF);
  const RGBQUAD* table = Colors(image);
  uint32_t best = 0;
  long bestDistance = -1;
  // The first of equally near entries wins.
  for (int i = 0; i < TableSize(image); ++i) {
    const long dr = r - table[i].rgbRed, dg = g - table[i].rgbGreen, db = b - table[i].rgbBlue;
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<uint32_t>(i);
      if (distance == 0) break;
    }
  }
  return best;
}

uint32_t RgbToPixel(const Image& image, uint32_t rgb) {
  const uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
  switch (image.depth) {
    case 32:
    case 24: return rgb & 0xFFFFFF;
    case 16: return image.rgb565 ? (r >> 3) << 11 | (g >> 2) << 5 | b >> 3 : (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    default: return Nearest(image, rgb);
  }
}

}  // namespace

long long DibStride(long long width, int depth) { return (width * depth + 31) / 32 * 4; }

bool KnownDepth(int depth) {
  return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

const RGBQUAD* DefaultColors(int depth) {
  static const RGBQUAD kMono[2] = {{0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0}};
  // The 16 colours of the VGA, as blue, green, red.
  static const RGBQUAD kVga[16] = {
      {0x00, 0x00, 0x00, 0}, {0x00, 0x00, 0x80, 0}, {0x00, 0x80, 0x00, 0}, {0x00, 0x80, 0x80, 0},
      {0x80, 0x00, 0x00, 0}, {0x80, 0x00, 0x80, 0}, {0x80, 0x80, 0x00, 0}, {0x80, 0x80, 0x80, 0},
      {0xC0, 0xC0, 0xC0, 0}, {0x00, 0x00, 0xFF, 0}, {0x00, 0xFF, 0x00, 0}, {0x00, 0xFF, 0xFF, 0},
      {0xFF, 0x00, 0x00, 0}, {0xFF, 0x00, 0xFF, 0}, {0xFF, 0xFF, 0x00, 0}, {0xFF, 0xFF, 0xFF, 0}};
  // 8 levels of red and green by 4 of blue, the system's 20 colours over
  // the first and last ten.
  static const auto k256 = [] {
    static RGBQUAD table[256];
    for (int i = 0; i < 256; ++i)
      table[i] = {static_cast<BYTE>((i >> 6) * 0x40), static_cast<BYTE>((i >> 3 & 7) * 0x20),
                  static_cast<BYTE>((i & 7) * 0x20), 0};
    static const COLORREF kSystem[20] = {
        RGB(0, 0, 0),          RGB(0x80, 0, 0),       RGB(0, 0x80, 0),       RGB(0x80, 0x80, 0),
        RGB(0, 0, 0x80),       RGB(0x80, 0, 0x80),    RGB(0, 0x80, 0x80),    RGB(0xC0, 0xC0, 0xC0),
        RGB(0xC0, 0xDC, 0xC0), RGB(0xA6, 0xCA, 0xF0), RGB(0xFF, 0xFB, 0xF0), RGB(0xA0, 0xA0, 0xA4),
        RGB(0x80, 0x80, 0x80), RGB(0xFF, 0, 0),       RGB(0, 0xFF, 0),       RGB(0xFF, 0xFF, 0),
        RGB(0, 0, 0xFF),       RGB(0xFF, 0, 0xFF),    RGB(0, 0xFF, 0xFF),    RGB(0xFF, 0xFF, 0xFF)};
    for (int i = 0; i < 20; ++i)
      table[i < 10 ? i : 236 + i] = {GetBValue(kSystem[i]), GetGValue(kSystem[i]), GetRValue(kSystem[i]), 0};
    return table;
  }();
  switch (depth) {
    case 1: return kMono;
    case 4: return kVga;
    case 8: return k256;
    default: return nullptr;
  }
}

bool DrawableFormat(const Image& image, PixelFormat& format) {
  if (image.depth == 32) format = PixelFormat::X8R8G8B8;
  else if (image.depth == 16) format = image.rgb565 ? PixelFormat::R5G6B5 : PixelFormat::X1R5G5B5;
  else return false;
  return true;
}

Image ImageOf(const Bitmap& b) {
  Image image;
  image.bits = static_cast<BYTE*>(b.bits);
  image.width = b.width;
  image.height = b.height;
  image.pitch = b.pitch;
  image.depth = b.format == PixelFormat::X8R8G8B8 ? 32 : 16;
  image.rgb565 = b.format == PixelFormat::R5G6B5;
  return image;
}

void ReadPixels(const Image& image, int x, int y, int count, uint32_t* out) {
  const BYTE* row = image.bits + static_cast<ptrdiff_t>(y) * image.pitch;
  switch (image.depth) {
    case 32: std::memcpy(out, row + static_cast<ptrdiff_t>(x) * 4, static_cast<size_t>(count) * 4); return;
    case 24:
      for (int i = 0; i < count; ++i) {
        const BYTE* p = row + static_cast<ptrdiff_t>(x + i) * 3;
        out[i] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
      }
      return;
    case 16:
      for (int i = 0; i < count; ++i) {
        uint16_t v;
        std::memcpy(&v, row + static_cast<ptrdiff_t>(x + i) * 2, 2);
        out[i] = v;
      }
      return;
    case 8:
      for (int i = 0; i < count; ++i) out[i] = row[x + i];
      return;
    case 4:
      for (int i = 0; i < count; ++i) out[i] = (row[(x + i) / 2] >> ((x + i) % 2 != 0 ? 0 : 4)) & 0xF;
      return;
    default:
      for (int i = 0; i < count; ++i) out[i] = (row[(x + i) / 8] >> (7 - (x + i) % 8)) & 1;
      return;
  }
}

void WritePixels(const Image& image, int x, int y, int count, const uint32_t* in) {
  BYTE* row = image.bits + static_cast<ptrdiff_t>(y) * image.pitch;
  switch (image.depth) {
    case 32: std::memcpy(row + static_cast<ptrdiff_t>(x) * 4, in, static_cast<size_t>(count) * 4); return;
    case 24:
      for (int i = 0; i < count; ++i) {
        BYTE* p = row + static_cast<ptrdiff_t>(x + i) * 3;
        p[0] = static_cast<BYTE>(in[i]);
        p[1] = static_cast<BYTE>(in[i] >> 8);
        p[2] = static_cast<BYTE>(in[i] >> 16);
      }
      return;
    case 16:
      for (int i = 0; i < count; ++i) {
        const auto v = static_cast<uint16_t>(in[i]);
        std::memcpy(row + static_cast<ptrdiff_t>(x + i) * 2, &v, 2);
      }
      return;
    case 8:
      for (int i = 0; i < count; ++i) row[x + i] = static_cast<BYTE>(in[i]);
      return;
    case 4:
      for (int i = 0; i < count; ++i) {
        BYTE& at = row[(x + i) / 2];
        const int shift = (x + i) % 2 != 0 ? 0 : 4;
        at = static_cast<BYTE>((at & ~(0xF << shift)) | (in[i] & 0xF) << shift);
      }
      return;
    default:
      for (int i = 0; i < count; ++i) {
        BYTE& at = row[(x + i) / 8];
        const int bit = 7 - (x + i) % 8;
        at = static_cast<BYTE>((at & ~(1 << bit)) | (in[i] & 1) << bit);
      }
      return;
  }
}

uint32_t PixelToRgb(const Image& image, uint32_t pixel) {
  switch (image.depth) {
    case 32:
    case 24: return pixel & 0xFFFFFF;
    case 16:
      if (image.rgb565)
        return Widen(pixel >> 11 & 0x1F, 5) << 16 | Widen(pixel >> 5 & 0x3F, 6) << 8 | Widen(pixel & 0x1F, 5);
      return Widen(pixel >> 10 & 0x1F, 5) << 16 | Widen(pixel >> 5 & 0x1F, 5) << 8 | Widen(pixel & 0x1F, 5);
    default: {
      const RGBQUAD& c = Colors(image)[pixel & (TableSize(image) - 1)];
      return uint32_t{c.rgbRed} << 16 | uint32_t{c.rgbGreen} << 8 | c.rgbBlue;
    }
  }
}

uint32_t ColorToPixel(const Image& image, COLORREF color) {
  return RgbToPixel(image, uint32_t{GetRValue(color)} << 16 | uint32_t{GetGValue(color)} << 8 | GetBValue(color));
}

bool SameFormat(const Image& a, const Image& b) {
  if (a.depth != b.depth) return false;
  if (a.depth == 16) return a.rgb565 == b.rgb565;
  if (a.depth > 8) return true;
  return std::memcmp(Colors(a), Colors(b), sizeof(RGBQUAD) * static_cast<size_t>(TableSize(a))) == 0;
}

void ConvertPixels(const Image& from, const Image& to, const uint32_t* in, uint32_t* out, int count) {
  if (SameFormat(from, to)) {
    if (in != out) std::memcpy(out, in, sizeof(uint32_t) * static_cast<size_t>(count));
    return;
  }
  // 24 and 32 bits hold the same colour bits.
  if ((from.depth == 24 || from.depth == 32) && (to.depth == 24 || to.depth == 32)) {
    for (int i = 0; i < count; ++i) out[i] = in[i] & 0xFFFFFF;
    return;
  }
  // Direct colours matched into a 256-colour table are first cut to 5 bits
  // and centred, as the platform does (a lookup of 32 levels per field).
  const bool coarse = to.depth == 8 && from.depth > 8;
  for (int i = 0; i < count; ++i) {
    uint32_t rgb = PixelToRgb(from, in[i]);
    if (coarse) rgb = (rgb & 0xF8F8F8) + 0x040404;
    out[i] = RgbToPixel(to, rgb);
  }
}

}  // namespace gdi
