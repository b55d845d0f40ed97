// The gdi32 object model and pixel access, as Windows has them: the same
// calls on a DIB section under Windows and on the substitute.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform.h"
#include "support/pixels.h"

namespace {

using pixels::Canvas;
using pixels::SamePicture;

TEST(GdiObjects, StockObjectsHaveTheirTypesAndSurviveDeletion) {
  const struct {
    int index;
    DWORD type;
  } stock[] = {{WHITE_BRUSH, OBJ_BRUSH}, {BLACK_BRUSH, OBJ_BRUSH}, {NULL_BRUSH, OBJ_BRUSH}, {BLACK_PEN, OBJ_PEN},
               {NULL_PEN, OBJ_PEN},      {WHITE_PEN, OBJ_PEN},     {SYSTEM_FONT, OBJ_FONT}, {DEFAULT_GUI_FONT, OBJ_FONT}};
  for (const auto& s : stock) {
    HGDIOBJ object = GetStockObject(s.index);
    ASSERT_NE(object, nullptr) << s.index;
    EXPECT_EQ(GetObjectType(object), s.type) << s.index;
    EXPECT_TRUE(DeleteObject(object)) << s.index;
    EXPECT_EQ(GetObjectType(object), s.type) << s.index;
    EXPECT_EQ(GetStockObject(s.index), object) << s.index;
  }
  EXPECT_EQ(GetStockObject(9), nullptr);
  EXPECT_EQ(GetStockObject(-1), nullptr);
  EXPECT_EQ(GetStockObject(1000), nullptr);
}

TEST(GdiObjects, CreatedObjectsAreGoneAfterDeletion) {
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
  HPEN thin = CreatePen(PS_SOLID, 0, RGB(4, 5, 6));
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(brush, nullptr);
  ASSERT_NE(pen, nullptr);
  ASSERT_NE(thin, nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
  EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(thin));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_EQ(GetObjectType(brush), 0u);
  EXPECT_EQ(GetObjectType(pen), 0u);
  EXPECT_EQ(GetObjectType(dc), 0u);
  // A second deletion, and handles never issued, fail without harm.
  EXPECT_FALSE(DeleteObject(brush));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_FALSE(DeleteObject(nullptr));
  EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x7FFF1230))));
  // DeleteObject ends a memory DC as DeleteDC does; DeleteDC deletes no brush.
  HDC memoryDc = CreateCompatibleDC(nullptr);
  HBRUSH kept = CreateSolidBrush(0);
  EXPECT_TRUE(DeleteObject(memoryDc));
  EXPECT_EQ(GetObjectType(memoryDc), 0u);
  EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(kept)));
  EXPECT_EQ(GetObjectType(kept), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_TRUE(DeleteObject(kept));
  EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x7FFF1230))), 0u);
}

TEST(GdiObjects, SelectObjectReturnsWhatItDisplaced) {
  Canvas canvas(4, 4, D3DFMT_X8R8G8B8);
  ASSERT_NE(canvas.bitmap, nullptr);
  // A fresh DC holds the white brush, the black pen and the system font.
  HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(40, 50, 60));
  EXPECT_EQ(SelectObject(canvas.dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(canvas.dc, pen), GetStockObject(BLACK_PEN));
  EXPECT_EQ(SelectObject(canvas.dc, GetStockObject(DEFAULT_GUI_FONT)), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(SelectObject(canvas.dc, GetStockObject(NULL_BRUSH)), brush);
  EXPECT_EQ(SelectObject(canvas.dc, GetStockObject(NULL_PEN)), pen);
  EXPECT_EQ(GetObjectType(canvas.previous), static_cast<DWORD>(OBJ_BITMAP));
  // Bad handles: nothing is selected and nothing displaced.
  HBRUSH gone = CreateSolidBrush(0);
  DeleteObject(gone);
  EXPECT_EQ(SelectObject(canvas.dc, gone), nullptr);
  EXPECT_EQ(SelectObject(canvas.dc, nullptr), nullptr);
  EXPECT_EQ(SelectObject(nullptr, brush), nullptr);
  EXPECT_EQ(SelectObject(canvas.dc, GetStockObject(BLACK_BRUSH)), GetStockObject(NULL_BRUSH));
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteObject(pen));
}

TEST(GdiObjects, ObjectDeletedWhileSelectedStaysUsableUntilDeselected) {
  Canvas canvas(4, 4, D3DFMT_X8R8G8B8);
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  SelectObject(canvas.dc, brush);
  EXPECT_TRUE(DeleteObject(brush));
  // Still selected, so the DC still draws with it.
  EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH)), brush);
  EXPECT_EQ(GetObjectType(brush), 0u);
  // The same for the bitmap a DC draws into: it keeps drawing until let go.
  EXPECT_TRUE(DeleteObject(canvas.bitmap));
  EXPECT_EQ(GetObjectType(canvas.bitmap), static_cast<DWORD>(OBJ_BITMAP));
  EXPECT_TRUE(SetPixelV(canvas.dc, 0, 0, RGB(1, 2, 3)));
  EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(1, 2, 3));
  EXPECT_EQ(SelectObject(canvas.dc, canvas.previous), canvas.bitmap);
  EXPECT_EQ(GetObjectType(canvas.bitmap), 0u);
}

TEST(GdiObjects, StateSettersReturnThePreviousValue) {
  Canvas canvas(2, 2, D3DFMT_X8R8G8B8);
  EXPECT_EQ(SetTextColor(canvas.dc, RGB(1, 2, 3)), RGB(0, 0, 0));
  EXPECT_EQ(SetTextColor(canvas.dc, 0), RGB(1, 2, 3));
  EXPECT_EQ(SetBkColor(canvas.dc, RGB(4, 5, 6)), RGB(255, 255, 255));
  EXPECT_EQ(SetBkColor(canvas.dc, 0), RGB(4, 5, 6));
  EXPECT_EQ(SetBkMode(canvas.dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(canvas.dc, OPAQUE), TRANSPARENT);
  EXPECT_EQ(SetROP2(canvas.dc, R2_NOT), R2_COPYPEN);
  EXPECT_EQ(SetROP2(canvas.dc, R2_COPYPEN), R2_NOT);
  EXPECT_EQ(SetTextAlign(canvas.dc, TA_CENTER | TA_BASELINE), static_cast<UINT>(TA_LEFT | TA_TOP));
  EXPECT_EQ(SetTextAlign(canvas.dc, TA_LEFT), static_cast<UINT>(TA_CENTER | TA_BASELINE));
  // On a handle that is no DC, each setter reports its failure value.
  HBRUSH brush = CreateSolidBrush(0);
  EXPECT_EQ(SetTextColor(reinterpret_cast<HDC>(brush), 0), CLR_INVALID);
  EXPECT_EQ(SetBkColor(nullptr, 0), CLR_INVALID);
  EXPECT_EQ(SetBkMode(nullptr, OPAQUE), 0);
  EXPECT_EQ(SetROP2(nullptr, R2_COPYPEN), 0);
  EXPECT_EQ(SetTextAlign(nullptr, TA_LEFT), static_cast<UINT>(GDI_ERROR));
  DeleteObject(brush);
}

// Colours as each format stores and reads them back: the high bits of each
// component, read back with the dropped bits zero.
TEST(GdiPixels, SetPixelVStoresTheFormatsNearestValue) {
  const struct {
    D3DFORMAT format;
    uint32_t stored;
    COLORREF read;
  } cases[] = {
      {D3DFMT_X8R8G8B8, 0x00123456, RGB(0x12, 0x34, 0x56)},
      {D3DFMT_R5G6B5, 0x11AA, RGB(0x10, 0x34, 0x52)},
      {D3DFMT_X1R5G5B5, 0x08CA, RGB(0x10, 0x31, 0x52)},
  };
  for (const auto& c : cases) {
    Canvas canvas(3, 2, c.format);
    ASSERT_NE(canvas.bits, nullptr);
    EXPECT_TRUE(SetPixelV(canvas.dc, 2, 1, RGB(0x12, 0x34, 0x56)));
    EXPECT_EQ(canvas.Raw(2, 1), c.stored);
    EXPECT_EQ(GetPixel(canvas.dc, 2, 1), c.read);
    EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(0, 0, 0));
    // Outside the bitmap the write is clipped away, which is no failure;
    // nothing is read there.
    EXPECT_TRUE(SetPixelV(canvas.dc, 3, 0, RGB(0xFF, 0xFF, 0xFF)));
    EXPECT_TRUE(SetPixelV(canvas.dc, -1, 1, RGB(0xFF, 0xFF, 0xFF)));
    EXPECT_EQ(GetPixel(canvas.dc, 0, 1), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(canvas.dc, 0, 2), CLR_INVALID);
    EXPECT_EQ(GetPixel(canvas.dc, -1, 0), CLR_INVALID);
  }
  // Full intensity stays full.
  Canvas wide(1, 1, D3DFMT_R5G6B5);
  SetPixelV(wide.dc, 0, 0, RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(wide.dc, 0, 0), RGB(255, 255, 255));
  // A memory DC with no bitmap of its own selected reads its 1x1 black one.
  HDC bare = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetPixel(bare, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(bare, 1, 0), CLR_INVALID);
  EXPECT_TRUE(Rectangle(bare, 0, 0, 3, 3));
  DeleteDC(bare);
  EXPECT_FALSE(SetPixelV(nullptr, 0, 0, 0));
  EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
}

TEST(GdiPixels, FillRectCoversLeftTopButNotRightBottomAndIgnoresRop2) {
  Canvas canvas(6, 5, D3DFMT_X8R8G8B8);
  HBRUSH brush = CreateSolidBrush(RGB(0xFF, 0, 0));
  SetROP2(canvas.dc, R2_NOT);
  RECT rect = {1, 2, 4, 4};
  EXPECT_NE(FillRect(canvas.dc, &rect, brush), 0);
  pixels::Picture expected(6, 5);
  EXPECT_TRUE(SamePicture(canvas.Picture(), expected.Fill(1, 2, 4, 4, 0xFF0000), "not"));
  EXPECT_EQ(canvas.Raw(1, 2), 0x00FF0000u) << "the unused byte stays 0";
  // Clipped to the bitmap, never written outside it.
  RECT huge = {-100000, -100000, 100000, 1};
  EXPECT_NE(FillRect(canvas.dc, &huge, brush), 0);
  EXPECT_TRUE(SamePicture(canvas.Picture(), expected.Fill(0, 0, 6, 1, 0xFF0000), "clipped"));
  // A brush that is gone leaves the DC's own brush (white) to fill.
  HBRUSH gone = CreateSolidBrush(0);
  DeleteObject(gone);
  EXPECT_NE(FillRect(canvas.dc, &rect, gone), 0);
  EXPECT_TRUE(SamePicture(canvas.Picture(), expected.Fill(1, 2, 4, 4, 0xFFFFFF), "gone"));
  // A system colour index plus one stands for that colour's brush.
  RECT corner = {5, 4, 6, 5};
  EXPECT_NE(FillRect(canvas.dc, &corner, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_WINDOW + 1))), 0);
  EXPECT_EQ(GetPixel(canvas.dc, 5, 4), GetSysColor(COLOR_WINDOW));
  EXPECT_NE(canvas.Raw(5, 4), 0u);
  DeleteObject(brush);
}

TEST(GdiShapes, BadDeviceContextsAndPointListsFail) {
  const POINT points[3] = {{0, 0}, {3, 0}, {0, 3}};
  HDC gone = CreateCompatibleDC(nullptr);
  DeleteDC(gone);
  HBRUSH brush = CreateSolidBrush(0);
  EXPECT_FALSE(Rectangle(nullptr, 0, 0, 2, 2));
  EXPECT_FALSE(Rectangle(gone, 0, 0, 2, 2));
  EXPECT_FALSE(Rectangle(reinterpret_cast<HDC>(brush), 0, 0, 2, 2));
  EXPECT_FALSE(Polygon(nullptr, points, 3));
  EXPECT_FALSE(Polygon(gone, points, 3));
  Canvas canvas(4, 4, D3DFMT_X8R8G8B8);
  EXPECT_FALSE(Polygon(canvas.dc, points, 1));
  EXPECT_FALSE(Polygon(canvas.dc, points, 0));
  EXPECT_TRUE(Polygon(canvas.dc, points, 3));
  EXPECT_TRUE(Rectangle(canvas.dc, 0, 0, 2, 2));
  for (HDC bad : {static_cast<HDC>(nullptr), gone, reinterpret_cast<HDC>(brush)}) {
    EXPECT_FALSE(Ellipse(bad, 0, 0, 5, 5));
    EXPECT_FALSE(RoundRect(bad, 0, 0, 5, 5, 3, 3));
    EXPECT_FALSE(MoveToEx(bad, 1, 1, nullptr));
    EXPECT_FALSE(LineTo(bad, 2, 2));
    EXPECT_FALSE(ExtFloodFill(bad, 1, 1, 0, FLOODFILLSURFACE));
  }
  // A fill from off the bitmap, or from a point that is not in the area
  // asked for, fills nothing and fails.
  EXPECT_FALSE(ExtFloodFill(canvas.dc, -1, 0, 0, FLOODFILLSURFACE));
  EXPECT_FALSE(ExtFloodFill(canvas.dc, 0, 4, 0, FLOODFILLBORDER));
  EXPECT_FALSE(ExtFloodFill(canvas.dc, 3, 3, RGB(1, 2, 3), FLOODFILLSURFACE));
  EXPECT_FALSE(ExtFloodFill(canvas.dc, 3, 3, GetPixel(canvas.dc, 3, 3), FLOODFILLBORDER));
  // The previous position comes back.
  POINT previous = {-1, -1};
  EXPECT_TRUE(MoveToEx(canvas.dc, 3, 1, nullptr));
  EXPECT_TRUE(MoveToEx(canvas.dc, 0, 2, &previous));
  EXPECT_EQ(previous.x, 3);
  EXPECT_EQ(previous.y, 1);
  // Degenerate boxes draw nothing and succeed.
  EXPECT_TRUE(Ellipse(canvas.dc, 2, 2, 2, 9));
  EXPECT_TRUE(RoundRect(canvas.dc, 1, 3, 9, 3, 4, 4));
  DeleteObject(brush);
}

TEST(GdiBitmaps, BitmapSelectsIntoOneMemoryDcAtATime) {
  Canvas canvas(2, 2, D3DFMT_X1R5G5B5);
  ASSERT_NE(canvas.bitmap, nullptr);
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, canvas.bitmap), nullptr);
  // The DC's own 1x1 bitmap comes back, and the section can then move.
  EXPECT_EQ(SelectObject(canvas.dc, canvas.previous), canvas.bitmap);
  HGDIOBJ otherDefault = SelectObject(other, canvas.bitmap);
  EXPECT_EQ(otherDefault, canvas.previous);
  EXPECT_EQ(SelectObject(other, otherDefault), canvas.bitmap);
  EXPECT_TRUE(DeleteDC(other));
  canvas.previous = SelectObject(canvas.dc, canvas.bitmap);
  EXPECT_NE(canvas.previous, nullptr);
}

}  // namespace
