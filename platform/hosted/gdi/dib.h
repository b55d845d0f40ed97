// Bitmaps of every depth GDI keeps (1, 4, 8, 16, 24 and 32 bits) as rows
// of raw pixels, and the conversions between them: what copies between
// bitmaps (BitBlt, GetDIBits, SetDIBits) share. The rasteriser draws only
// into the formats of raster.h; these are read and written whole pixels
// at a time.
#pragma once

#include <cstdint>

#include "platform.h"
#include "raster.h"

namespace gdi {

struct Image {
  BYTE* bits = nullptr;  // the top row
  int width = 0;
  int height = 0;
  int pitch = 0;  // bytes from one row to the next
  int depth = 0;  // 1, 4, 8, 16, 24 or 32
  // 16 bits: 5-6-5 fields rather than 5-5-5.
  bool rgb565 = false;
  // Depths up to 8: the colour of each index, 1 << depth of them; null for
  // a device-dependent monochrome bitmap, whose bits are black and white
  // except where a blit gives them the destination's colours.
  const RGBQUAD* colors = nullptr;
};

// A device-dependent monochrome bitmap: 1 bit and no colour table.
inline bool MonoDevice(const Image& image) { return image.depth == 1 && image.colors == nullptr; }

// Bytes in a row of a device-independent bitmap: whole 32-bit words.
long long DibStride(long long width, int depth);
// The colour table GDI gives a depth (1, 4 or 8) when none is asked for.
const RGBQUAD* DefaultColors(int depth);
// Whether a depth is one the conversions read and write.
bool KnownDepth(int depth);
// The rasteriser's format for an image it can draw into; false otherwise.
bool DrawableFormat(const Image& image, PixelFormat& format);
// The image of a drawable bitmap description.
Image ImageOf(const Bitmap& bitmap);

// count raw pixels of row y from x, all inside the image.
void ReadPixels(const Image& image, int x, int y, int count, uint32_t* out);
void WritePixels(const Image& image, int x, int y, int count, const uint32_t* in);
// A raw pixel's colour as 0x00RRGGBB, and a colour (COLORREF) as a pixel:
// truncated fields, or the nearest entry of the colour table.
uint32_t PixelToRgb(const Image& image, uint32_t pixel);
uint32_t ColorToPixel(const Image& image, COLORREF color);
// count raw pixels of `from` as pixels of `to`, converted as GDI converts
// them: unchanged between equal formats (unused bits too), otherwise
// through their colour, palettes matched to the nearest entry.
void ConvertPixels(const Image& from, const Image& to, const uint32_t* in, uint32_t* out, int count);
// Whether raw pixels mean the same in both.
bool SameFormat(const Image& a, const Image& b);

}  // namespace gdi
