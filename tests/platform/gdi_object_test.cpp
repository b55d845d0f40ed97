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
