// PNG writing with libpng. libpng reports errors by longjmp; nothing that
// needs a destructor is created between setjmp and the end of the write.
#include "display/headless/png.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace display {
namespace {

// Quiet: a failure is the caller's to report, once.
void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

bool Encode(FILE* file, const uint8_t* bits, int width, int height, int pitch, uint8_t* row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &OnError, &OnWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  // Frames are written while the program runs; speed matters more than
  // size. One fixed filter spares trying all five on every row, and Sub
  // turns the flat runs of a frame into zeros.
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = bits + static_cast<size_t>(y) * static_cast<size_t>(pitch);
    for (int x = 0; x < width; ++x) {
      uint32_t p;
      std::memcpy(&p, src + 4 * x, 4);
      row[3 * x] = static_cast<uint8_t>(p >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(p >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(p);
    }
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng(const std::string& path, const void* pixels, int width, int height, int pitch) {
  if (pixels == nullptr || width <= 0 || height <= 0 || pitch < width * 4) return false;
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = Encode(file, static_cast<const uint8_t*>(pixels), width, height, pitch, row.data());
  ok = std::fflush(file) == 0 && ok && !std::ferror(file);
  if (std::fclose(file) != 0) ok = false;
  // A half-written frame would pass for a frame.
  if (!ok) std::remove(path.c_str());
  return ok;
}

}  // namespace display
