// Bitmap files written for the decoder's tests and the fuzz corpus: every
// header form, depth and compression the decoder reads, each with the
// pixels it is meant to show, and damaged copies of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BmpFormat {
  const char* name;
  int bpp;
  uint32_t compression;  // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
  uint32_t headerSize;   // 12 (core), 40, 56, 108, 124
  uint32_t colours;      // colour-table entries written; 0 = all 1 << bpp
  uint32_t masks[3];     // red, green, blue, for bit fields
  bool topDown;
};

struct BmpSample {
  std::string name;  // format and size, also the corpus file's name
  std::vector<uint8_t> file;
  int32_t width, height;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows from the top
  bool encoded;                  // run-length encoded
};

// Every format in the sizes that take each through its corners: one pixel,
// rows shorter and longer than their padding, runs longer than 255.
std::vector<BmpSample> BmpCorpus();
BmpSample WriteBmp(const BmpFormat& format, int32_t width, int32_t height);

// A damaged copy, the same for the same seed: the file cut short, bits
// flipped, a header field set to an extreme, or bytes of the pixels
// overwritten.
enum class BmpDamage { Truncated, BitsFlipped, HeaderField, PixelBytes };
struct DamagedBmp {
  std::vector<uint8_t> file;
  BmpDamage damage;
};
DamagedBmp DamageBmp(const std::vector<uint8_t>& file, uint32_t seed);
