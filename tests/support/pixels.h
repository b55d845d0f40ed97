// Pictures for pixel tests, in the three formats the screen draws in (named
// by their Direct3D formats on every lane), and a DIB-section canvas to draw
// them with GDI. A picture that differs from the expected one is written as
// <test>-actual.png and <test>-expected.png into $CUBE_TEST_OUTPUT, or the
// current directory when that is not set.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

namespace pixels {

// "X8R8G8B8", "R5G6B5" or "X1R5G5B5".
std::string Name(D3DFORMAT format);
// Bytes of one pixel, and the bits of a pixel that hold its colour.
int BytesPerPixel(D3DFORMAT format);
uint32_t ColourBits(D3DFORMAT format);
// The raw pixel at (x, y) of memory laid out in `format`, unused bits included.
uint32_t RawAt(const void* bits, int pitch, D3DFORMAT format, int x, int y);
// A raw pixel's colour as 0x00RRGGBB, narrow components widened by shifting.
uint32_t RawToRgb(D3DFORMAT format, uint32_t raw);
// The most two 0x00RRGGBB colours differ by in one channel.
int ChannelDifference(uint32_t a, uint32_t b);

// Every pixel as 0x00RRGGBB, row by row from the top.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> rgb;

  Picture(int w, int h, uint32_t fill = 0) : width(w), height(h), rgb(static_cast<size_t>(w) * h, fill) {}
  static Picture FromRaw(const void* bits, int pitch, D3DFORMAT format, int width, int height);
  uint32_t& at(int x, int y) { return rgb[static_cast<size_t>(y) * width + x]; }
  uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
  // Sets the pixels from (left, top) up to but not including (right, bottom).
  Picture& Fill(int left, int top, int right, int bottom, uint32_t colour);
};

// Writes an 8-bit RGB PNG; false when the file cannot be written.
bool WritePng(const std::string& path, const Picture& picture);
// Where the running test's pictures go: <folder>/<suite>.<test>[-<part>]-<kind>.png.
std::string OutputPath(const std::string& part, const char* kind);
// Equal pictures, or a failure naming the first differing pixels and the
// files both pictures were written to. `part` tells apart the pictures of
// one test.
::testing::AssertionResult SamePicture(const Picture& actual, const Picture& expected, const std::string& part = "");

// A memory DC drawing into a top-down DIB section of one format: the one
// drawing target that behaves alike under Windows and on the substitute.
class Canvas {
 public:
  Canvas(int width, int height, D3DFORMAT format);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool usable() const { return dc != nullptr && bitmap != nullptr && bits != nullptr; }
  // The raw pixel at (x, y), unused bits included. These read after
  // GdiFlush, so that whatever Windows has batched is drawn first.
  uint32_t Raw(int x, int y) const;
  pixels::Picture Picture() const;
  // FNV-1a over the bytes of every pixel, row by row (after GdiFlush):
  // what golden tests compare.
  uint32_t Hash() const;
  // Pixels whose colour bits differ from those of `raw`.
  long CountOther(uint32_t raw) const;
  // Every pixel's colour bits set to one raw value.
  void FillRaw(uint32_t raw);

  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  // What the DC held before the section: its own 1x1 bitmap.
  HGDIOBJ previous = nullptr;
  void* bits = nullptr;
  const int width;
  const int height;
  const int pitch;
  const D3DFORMAT format;
};

}  // namespace pixels
