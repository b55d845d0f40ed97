// GetObjectW: what each kind of object describes of itself, as Windows
// answers it; the same calls on both lanes.
#include <gtest/gtest.h>

#include <cstring>

#include "platform.h"

namespace {

// Brushes and pens: the answer without a buffer, with room to spare and
// with one byte too few (a brush gives what fits, a pen nothing).
TEST(GdiGetObject, BrushesAndPensDescribeStyleColourAndWidth) {
  HBRUSH solid = CreateSolidBrush(RGB(1, 2, 3));
  HPEN one = CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
  HPEN thin = CreatePen(PS_SOLID, 0, RGB(7, 8, 9));
  HPEN wide = CreatePen(PS_SOLID, 5, RGB(1, 1, 1));
  // A negative width counts as its size; a style past the known ones (here
  // an end-cap flag, which only extended pens take) as solid.
  HPEN negative = CreatePen(PS_SOLID, -3, RGB(2, 2, 2));
  HPEN unknown = CreatePen(PS_SOLID | PS_ENDCAP_FLAT, 2, RGB(3, 3, 3));
  // There is only one null pen: asking for another gives it.
  HPEN none = CreatePen(PS_NULL, 0, RGB(10, 11, 12));
  EXPECT_EQ(none, GetStockObject(NULL_PEN));
  const struct {
    HGDIOBJ object;
    LOGBRUSH brush;
    LOGPEN pen;
  } cases[] = {
      {solid, {BS_SOLID, RGB(1, 2, 3), 0}, {}},
      {GetStockObject(WHITE_BRUSH), {BS_SOLID, RGB(255, 255, 255), 0}, {}},
      {GetStockObject(NULL_BRUSH), {BS_NULL, 0, 0}, {}},
      {one, {}, {PS_SOLID, {1, 0}, RGB(4, 5, 6)}},
      {thin, {}, {PS_SOLID, {0, 0}, RGB(7, 8, 9)}},
      {wide, {}, {PS_SOLID, {5, 0}, RGB(1, 1, 1)}},
      {negative, {}, {PS_SOLID, {3, 0}, RGB(2, 2, 2)}},
      {unknown, {}, {PS_SOLID, {2, 0}, RGB(3, 3, 3)}},
      {GetStockObject(BLACK_PEN), {}, {PS_SOLID, {0, 0}, 0}},
      {none, {}, {PS_NULL, {1, 0}, 0}},
  };
  for (const auto& c : cases) {
    const bool brush = GetObjectType(c.object) == OBJ_BRUSH;
    const int size = brush ? static_cast<int>(sizeof(LOGBRUSH)) : static_cast<int>(sizeof(LOGPEN));
    EXPECT_EQ(GetObjectW(c.object, 0, nullptr), size);
    unsigned char buffer[64];
    std::memset(buffer, 0xAB, sizeof buffer);
    ASSERT_EQ(GetObjectW(c.object, sizeof buffer, buffer), size);
    EXPECT_EQ(buffer[size], 0xAB) << "nothing written past the description";
    if (brush) {
      LOGBRUSH got;
      std::memcpy(&got, buffer, sizeof got);
      EXPECT_EQ(got.lbStyle, c.brush.lbStyle);
      EXPECT_EQ(got.lbColor, c.brush.lbColor);
      EXPECT_EQ(got.lbHatch, c.brush.lbHatch);
    } else {
      LOGPEN got;
      std::memcpy(&got, buffer, sizeof got);
      EXPECT_EQ(got.lopnStyle, c.pen.lopnStyle);
      EXPECT_EQ(got.lopnWidth.x, c.pen.lopnWidth.x);
      EXPECT_EQ(got.lopnColor, c.pen.lopnColor);
    }
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(GetObjectW(c.object, size - 1, buffer), brush ? size - 1 : 0);
    EXPECT_EQ(buffer[size - 1], 0xAB);
  }
  DeleteObject(solid);
  for (HPEN pen : {one, thin, wide, negative, unknown}) EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(none));
  EXPECT_EQ(GetObjectType(none), static_cast<DWORD>(OBJ_PEN));
}

// DIB sections give their size, whole rows in bytes and their pixels; a
// memory DC's first bitmap is the 1x1 monochrome one.
TEST(GdiGetObject, BitmapsDescribeTheirSizeRowsAndBits) {
  const struct {
    int width, height, bits;
    DWORD compression;
    LONG widthBytes;
  } cases[] = {{5, 3, 32, BI_RGB, 20}, {5, -3, 32, BI_RGB, 20}, {5, 3, 16, BI_RGB, 12}, {3, 2, 16, BI_BITFIELDS, 8}};
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  for (const auto& c : cases) {
    struct {
      BITMAPINFOHEADER header;
      DWORD masks[3];
    } info = {};
    info.header = {sizeof info.header, c.width, c.height, 1, static_cast<WORD>(c.bits), c.compression, 0, 0, 0, 0, 0};
    info.masks[0] = 0xF800;
    info.masks[1] = 0x07E0;
    info.masks[2] = 0x001F;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(GetObjectW(bitmap, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    BITMAP got;
    EXPECT_EQ(GetObjectW(bitmap, sizeof got - 1, &got), 0);
    ASSERT_EQ(GetObjectW(bitmap, sizeof got, &got), static_cast<int>(sizeof got));
    EXPECT_EQ(got.bmType, 0);
    EXPECT_EQ(got.bmWidth, c.width);
    EXPECT_EQ(got.bmHeight, c.height < 0 ? -c.height : c.height);
    EXPECT_EQ(got.bmWidthBytes, c.widthBytes);
    EXPECT_EQ(got.bmPlanes, 1);
    EXPECT_EQ(got.bmBitsPixel, c.bits);
    EXPECT_EQ(got.bmBits, bits);

    HGDIOBJ first = SelectObject(dc, bitmap);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(GetObjectW(first, sizeof got, &got), static_cast<int>(sizeof got));
    EXPECT_EQ(got.bmWidth, 1);
    EXPECT_EQ(got.bmHeight, 1);
    EXPECT_EQ(got.bmWidthBytes, 2);
    EXPECT_EQ(got.bmBitsPixel, 1);
    EXPECT_EQ(got.bmBits, nullptr);
    SelectObject(dc, first);
    DeleteObject(bitmap);
  }
  DeleteDC(dc);
}

// Device-dependent bitmaps (CreateBitmap's depths rounded up to the kept
// ones, CreateCompatibleBitmap of a fresh memory DC monochrome, of the
// screen 32 bits) give rows of whole 16-bit words and no pixels; a
// compatible bitmap of a DC holding a section is a section like it. Only
// sections describe a DIBSECTION, and only into a buffer that large.
TEST(GdiGetObject, DeviceBitmapsAndSectionsDescribeAsThePlatformDoes) {
  HDC memory = CreateCompatibleDC(nullptr);
  HDC holding = CreateCompatibleDC(nullptr);
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info = {{sizeof(BITMAPINFOHEADER), 4, -2, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0}, {0xF800, 0x07E0, 0x001F}};
  HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, nullptr, nullptr, 0);
  HGDIOBJ previous = SelectObject(holding, section);
  const struct {
    const char* name;
    HBITMAP bitmap;
    LONG width, height, widthBytes;
    WORD bitsPixel;
    bool section;
  } cases[] = {
      {"CreateBitmap 1", CreateBitmap(10, 2, 1, 1, nullptr), 10, 2, 2, 1, false},
      {"CreateBitmap 32", CreateBitmap(3, 2, 1, 32, nullptr), 3, 2, 12, 32, false},
      {"CreateBitmap 24", CreateBitmap(3, 2, 1, 24, nullptr), 3, 2, 10, 24, false},
      {"CreateBitmap 16", CreateBitmap(3, 2, 1, 16, nullptr), 3, 2, 6, 16, false},
      {"CreateBitmap 5", CreateBitmap(3, 2, 1, 5, nullptr), 3, 2, 4, 8, false},
      {"compatible, fresh memory DC", CreateCompatibleBitmap(memory, 10, 3), 10, 3, 2, 1, false},
      {"compatible, section's DC", CreateCompatibleBitmap(holding, 3, 3), 3, 3, 8, 16, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(c.bitmap, nullptr);
    DIBSECTION got;
    std::memset(&got, 0, sizeof got);
    const int size = c.section ? static_cast<int>(sizeof(DIBSECTION)) : static_cast<int>(sizeof(BITMAP));
    EXPECT_EQ(GetObjectW(c.bitmap, sizeof got, &got), size);
    EXPECT_EQ(got.dsBm.bmWidth, c.width);
    EXPECT_EQ(got.dsBm.bmHeight, c.height);
    EXPECT_EQ(got.dsBm.bmWidthBytes, c.widthBytes);
    EXPECT_EQ(got.dsBm.bmBitsPixel, c.bitsPixel);
    EXPECT_EQ(got.dsBm.bmBits != nullptr, c.section);
    if (c.section) {
      EXPECT_EQ(got.dsBitfields[0], 0xF800u);
      EXPECT_EQ(got.dsBitfields[1], 0x07E0u);
    }
    DeleteObject(c.bitmap);
  }
  // A top-down 8-bit section: its height as a size, its whole palette, no
  // bit fields; a 16-bit one without fields holds and says 5-5-5.
  const struct {
    WORD bits;
    DWORD compression, clrUsed, sizeImage, field0;
  } sections[] = {{8, BI_RGB, 256, 12, 0}, {16, BI_BITFIELDS, 0, 24, 0x7C00}, {32, BI_RGB, 0, 36, 0}};
  for (const auto& c : sections) {
    // Room for a whole palette, black.
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[256];
    } described = {{sizeof(BITMAPINFOHEADER), 3, -3, 1, c.bits, BI_RGB, 0, 0, 0, 0, 0}, {}};
    HBITMAP bitmap =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&described), DIB_RGB_COLORS, nullptr, nullptr, 0);
    DIBSECTION got;
    EXPECT_EQ(GetObjectW(bitmap, sizeof got - 1, &got), static_cast<int>(sizeof(BITMAP))) << c.bits;
    ASSERT_EQ(GetObjectW(bitmap, sizeof got, &got), static_cast<int>(sizeof got)) << c.bits;
    EXPECT_EQ(got.dsBmih.biHeight, 3) << c.bits;
    EXPECT_EQ(got.dsBmih.biCompression, c.compression) << c.bits;
    EXPECT_EQ(got.dsBmih.biClrUsed, c.clrUsed) << c.bits;
    EXPECT_EQ(got.dsBmih.biSizeImage, c.sizeImage) << c.bits;
    EXPECT_EQ(got.dsBitfields[0], c.field0) << c.bits;
    DeleteObject(bitmap);
  }
  SelectObject(holding, previous);
  DeleteObject(section);
  DeleteDC(holding);
  DeleteDC(memory);
}

TEST(GdiGetObject, HandlesThatDescribeNothingAnswerZero) {
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  DeleteObject(brush);
  HDC dc = CreateCompatibleDC(nullptr);
  unsigned char buffer[64];
  const HGDIOBJ handles[] = {nullptr, brush, dc, reinterpret_cast<HGDIOBJ>(static_cast<INT_PTR>(0x12340))};
  for (HGDIOBJ handle : handles) {
    EXPECT_EQ(GetObjectW(handle, sizeof buffer, buffer), 0) << handle;
    EXPECT_EQ(GetObjectW(handle, 0, nullptr), 0) << handle;
  }
  DeleteDC(dc);
}

}  // namespace
