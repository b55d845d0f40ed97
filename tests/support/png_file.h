// Captured frames read back: a PNG file as 0x00RRGGBB pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Picture {
  int width = 0;
  int height = 0;
  // Whether the file itself holds 8-bit RGB without alpha, as captures do.
  bool rgb8 = false;
  std::vector<uint32_t> pixels;  // rows top first
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// False when the file is missing or not a whole PNG.
bool ReadPng(const std::string& path, Picture* picture);
