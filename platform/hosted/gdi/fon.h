// What the .fon reader keeps of one bitmap font, shared by the reader and
// the fonts realised from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gdi/font_face.h"

namespace gdi {

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
