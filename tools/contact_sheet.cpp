// Lays PNG frames out on one sheet: contact_sheet OUT.png COLUMNS FRAME.png...
// Frames are shrunk to half size (2 x 2 pixels averaged) and placed left to
// right, top to bottom, with a gap of grey between them.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // 3 bytes a pixel, rows top first
};

bool Read(const char* path, Image& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path)) {
    std::fprintf(stderr, "contact_sheet: cannot read %s: %s\n", path, png.message);
    return false;
  }
  png.format = PNG_FORMAT_RGB;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.rgb.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) {
    std::fprintf(stderr, "contact_sheet: cannot decode %s: %s\n", path, png.message);
    return false;
  }
  return true;
}

bool Write(const char* path, const Image& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&png, path, 0, image.rgb.data(), 0, nullptr)) {
    std::fprintf(stderr, "contact_sheet: cannot write %s: %s\n", path, png.message);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: contact_sheet OUT.png COLUMNS FRAME.png...\n");
    return 2;
  }
  const int count = argc - 3;
  // Digits only, and no more columns than frames: the sheet's size follows
  // from it, so a stray value must not become a huge allocation.
  const std::string text = argv[2];
  int columns = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || columns > count) {
      columns = 0;
      break;
    }
    columns = columns * 10 + (c - '0');
  }
  if (columns < 1 || columns > count) {
    std::fprintf(stderr, "contact_sheet: COLUMNS must be a number from 1 to the number of frames (%d), not \"%.64s\"\n",
                 count, argv[2]);
    return 2;
  }
  std::vector<Image> frames(static_cast<size_t>(count));
  int cellW = 0, cellH = 0;
  for (int i = 0; i < count; ++i) {
    if (!Read(argv[3 + i], frames[static_cast<size_t>(i)])) return 1;
    cellW = std::max(cellW, frames[static_cast<size_t>(i)].width / 2);
    cellH = std::max(cellH, frames[static_cast<size_t>(i)].height / 2);
  }
  const int gap = 4;
  const int rows = (count + columns - 1) / columns;
  Image sheet;
  sheet.width = columns * cellW + (columns + 1) * gap;
  sheet.height = rows * cellH + (rows + 1) * gap;
  sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 0x40);
  for (int i = 0; i < count; ++i) {
    const Image& f = frames[static_cast<size_t>(i)];
    const int ox = gap + (i % columns) * (cellW + gap);
    const int oy = gap + (i / columns) * (cellH + gap);
    for (int y = 0; y < f.height / 2; ++y)
      for (int x = 0; x < f.width / 2; ++x)
        for (int c = 0; c < 3; ++c) {
          int sum = 0;
          for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx)
              sum += f.rgb[(static_cast<size_t>(2 * y + dy) * f.width + (2 * x + dx)) * 3 + c];
          sheet.rgb[(static_cast<size_t>(oy + y) * sheet.width + (ox + x)) * 3 + c] = static_cast<unsigned char>(sum / 4);
        }
  }
  return Write(argv[1], sheet) ? 0 : 1;
}
