// A memory DC over a top-down DIB section: the one drawing target that
// behaves alike under Windows and on the substitute.
#pragma once

#include <cstdint>

#include "platform.h"

namespace gdi_test {

enum class Format { X8R8G8B8, R5G6B5, X1R5G5B5 };

// A memory DC drawing into a top-down DIB section of one format.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  void* bits = nullptr;

  Canvas(int width, int height, Format format) {
    struct {
      BITMAPINFOHEADER header;
      DWORD masks[3];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = format == Format::X8R8G8B8 ? 32 : 16;
    info.header.biCompression = format == Format::X8R8G8B8 ? BI_RGB : BI_BITFIELDS;
    if (format == Format::R5G6B5) {
      info.masks[0] = 0xF800, info.masks[1] = 0x07E0, info.masks[2] = 0x001F;
    } else if (format == Format::X1R5G5B5) {
      info.masks[0] = 0x7C00, info.masks[1] = 0x03E0, info.masks[2] = 0x001F;
    }
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    previous = SelectObject(dc, bitmap);
  }
  ~Canvas() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
};

}  // namespace gdi_test
