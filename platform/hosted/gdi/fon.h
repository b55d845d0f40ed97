// What the .fon reader keeps of one bitmap font, shared by the reader and
// the fonts realised from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gdi/font_face.h"

namespace gdi {

// Windows-1252's bytes 0x80-0x9F as UTF-16, the character set of face names
// and of ANSI fonts; the other bytes are the code points of the same
// number, and the five bytes it leaves undefined map to themselves.
inline constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct FonFace {
  std::u16string name;
  int points = 0;
  int vertRes = 0;
  int horizRes = 0;
  int ascent = 0;
  int internalLeading = 0;
  int externalLeading = 0;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  int weight = 0;
  int charSet = 0;
  int pixHeight = 0;
  int pitchAndFamily = 0;
  int avgWidth = 0;
  int maxWidth = 0;
  int firstChar = 0;
  int lastChar = 0;
  int defaultChar = 0;  // relative to firstChar, as stored
  int breakChar = 0;    // relative to firstChar, as stored
  // Per character from firstChar: its width and where its picture starts
  // in `bits`, the font resource's bytes (checked to lie inside them): strips
  // 8 pixels wide, each strip's rows in turn, the leftmost pixel in the top
  // bit.
  std::vector<uint16_t> widths;
  std::vector<uint32_t> offsets;
  std::vector<uint8_t> bits;

  bool Pixel(int index, int x, int y) const {
    return bits[offsets[index] + static_cast<size_t>(x / 8) * pixHeight + y] >> (7 - x % 8) & 1;
  }
};

}  // namespace gdi
