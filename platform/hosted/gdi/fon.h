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
  // Per character from firstChar: its width, and where its pixels start in
  // `pixels` (width x pixHeight, one byte per pixel, 0 or 1, rows first).
  std::vector<uint16_t> widths;
  std::vector<uint32_t> starts;
  std::vector<uint8_t> pixels;
};

}  // namespace gdi
