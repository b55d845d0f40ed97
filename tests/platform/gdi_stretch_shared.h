// What the stretch table's two test programs share: the recorded answers
// (gdi_stretch_cases.inc), the destination formats, the recording switch,
// random colours and the background every case draws on.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <iterator>

#include "platform.h"
#include "support/random.h"

namespace gdi_stretch {

// A case's answer (what the call returned) and its picture's hash in each
// destination format.
struct Expected {
  int result;
  uint32_t hashes[3];
};
struct IconAnswer {
  const char* name;
  const char* answers;
};
struct IconPicture {
  const char* name;
  int result;
  uint32_t hashes[3];
};

#include "gdi_stretch_cases.inc"

constexpr D3DFORMAT kFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};
inline bool Recording() { return std::getenv("CUBE_GDI_RECORD") != nullptr; }

inline COLORREF Colour(Random& random) {
  static const COLORREF palette[] = {RGB(0xFF, 0, 0), RGB(0, 0, 0xFF), RGB(0xC3, 0x5A, 0x0F), RGB(0x3C, 0xA5, 0xF0),
                                     RGB(0, 0, 0), RGB(0xFF, 0xFF, 0xFF), RGB(0x12, 0x34, 0x56)};
  if (random.OneIn(4)) return static_cast<COLORREF>(random.Next() & 0xFFFFFF);
  return palette[random.Int(0, static_cast<int>(std::size(palette)) - 1)];
}

// Blocks of 8 x 8 pixels in five colours, for raster operations and blends
// that read the destination.
inline void Background(HDC dc, int width, int height) {
  static const COLORREF colours[] = {RGB(0x20, 0x40, 0x60), RGB(0xF0, 0xE0, 0x10), RGB(0x80, 0x80, 0x80),
                                     RGB(0x05, 0xA0, 0x50), RGB(0xFF, 0xFF, 0xFF)};
  for (int y = 0; y < height; y += 8)
    for (int x = 0; x < width; x += 8) {
      HBRUSH brush = CreateSolidBrush(colours[(x / 8 + 2 * (y / 8)) % 5]);
      const RECT block = {x, y, x + 8, y + 8};
      FillRect(dc, &block, brush);
      DeleteObject(brush);
    }
}

}  // namespace gdi_stretch
