#include "support/png_file.h"

#include <png.h>

#include <vector>

bool ReadPng(const std::string& path, pixels::Picture* picture, bool* rgb8) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  // The file's own format, before libpng converts it.
  if (rgb8 != nullptr) *rgb8 = png.format == PNG_FORMAT_RGB;
  png.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) return false;
  *picture = pixels::Picture(static_cast<int>(png.width), static_cast<int>(png.height));
  for (size_t i = 0; i < picture->rgb.size(); ++i)
    picture->rgb[i] = (uint32_t{rgb[3 * i]} << 16) | (uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
  return true;
}
