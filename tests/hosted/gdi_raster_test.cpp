// Device contexts over surfaces and the live-object counter: what only the
// substitute has.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/hosted/gdi/surface.h"
#include "hosted/hooks.h"
#include "platform.h"

namespace {

TEST(SurfaceDc, DrawsIntoTheCallersPixelsInEachFormat) {
  const struct {
    gdi::PixelFormat format;
    int bytes;
    uint32_t red;
  } formats[] = {{gdi::PixelFormat::X8R8G8B8, 4, 0x00FF0000u},
                 {gdi::PixelFormat::R5G6B5, 2, 0xF800u},
                 {gdi::PixelFormat::X1R5G5B5, 2, 0x7C00u}};
  for (const auto& f : formats) {
    // Rows padded past the width: the pitch, not the width, steps rows.
    const int width = 5, height = 3, pitch = 8 * f.bytes;
    std::vector<uint8_t> memory(pitch * height, 0xAB);
    HDC dc = gdi::CreateSurfaceDC({memory.data(), width, height, pitch, f.format});
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_DC));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT all = {-10, -10, 100, 100};
    EXPECT_NE(FillRect(dc, &all, red), 0);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < 8; ++x) {
        uint32_t value = 0;
        for (int b = 0; b < f.bytes; ++b) value |= uint32_t{memory[y * pitch + x * f.bytes + b]} << (8 * b);
        const uint32_t padding = f.bytes == 4 ? 0xABABABABu : 0xABABu;
        EXPECT_EQ(value, x < width ? f.red : padding) << x << "," << y;
      }
    }
    // A surface DC starts with the white brush; FillRect selected nothing.
    EXPECT_EQ(SelectObject(dc, red), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), red);
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_TRUE(gdi::DeleteSurfaceDC(dc));
    EXPECT_FALSE(gdi::DeleteSurfaceDC(dc));
    EXPECT_EQ(GetObjectType(dc), 0u);
  }
}

TEST(SurfaceDc, BottomUpPitchAndUnusableDescriptions) {
  std::vector<uint32_t> memory(4 * 2, 0);
  // Negative pitch: the first row named is the last in memory.
  HDC dc = gdi::CreateSurfaceDC({memory.data() + 4, 4, 2, -16, gdi::PixelFormat::X8R8G8B8});
  ASSERT_NE(dc, nullptr);
  EXPECT_TRUE(SetPixelV(dc, 1, 0, RGB(0, 0, 255)));
  EXPECT_EQ(memory[4 + 1], 0x000000FFu);
  EXPECT_TRUE(gdi::DeleteSurfaceDC(dc));
  EXPECT_EQ(gdi::CreateSurfaceDC({nullptr, 4, 2, 16, gdi::PixelFormat::X8R8G8B8}), nullptr);
  EXPECT_EQ(gdi::CreateSurfaceDC({memory.data(), 0, 2, 16, gdi::PixelFormat::X8R8G8B8}), nullptr);
  EXPECT_EQ(gdi::CreateSurfaceDC({memory.data(), 4, 2, 8, gdi::PixelFormat::X8R8G8B8}), nullptr);
  // A memory DC is not a surface DC.
  HDC memoryDc = CreateCompatibleDC(nullptr);
  EXPECT_FALSE(gdi::DeleteSurfaceDC(memoryDc));
  EXPECT_TRUE(DeleteDC(memoryDc));
}

// What Direct3D surfaces get must be what a DIB section gets: the same
// shapes on a surface DC with padded rows and on a memory DC agree pixel for
// pixel in every format.
TEST(SurfaceDc, ShapesMatchTheSameShapesOnADibSection) {
  const struct {
    gdi::PixelFormat format;
    WORD bits;
    DWORD compression;
    DWORD masks[3];
  } formats[] = {{gdi::PixelFormat::X8R8G8B8, 32, BI_RGB, {}},
                 {gdi::PixelFormat::R5G6B5, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}},
                 {gdi::PixelFormat::X1R5G5B5, 16, BI_BITFIELDS, {0x7C00, 0x03E0, 0x001F}}};
  const int width = 40, height = 30;
  auto draw = [](HDC dc) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(200, 10, 30));
    HBRUSH brush = CreateSolidBrush(RGB(20, 120, 250));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Rectangle(dc, -3, 2, 17, 25);
    const POINT quad[4] = {{30, 1}, {45, 14}, {22, 33}, {12, 9}};
    Polygon(dc, quad, 4);
    SetROP2(dc, R2_NOT);
    Rectangle(dc, 5, 5, 35, 12);
    SetROP2(dc, R2_COPYPEN);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
  };
  for (const auto& f : formats) {
    const int bytes = f.bits / 8;
    const int pitch = (width + 3) * bytes;
    std::vector<uint8_t> surface(pitch * height, 0);
    HDC surfaceDc = gdi::CreateSurfaceDC({surface.data(), width, height, pitch, f.format});
    ASSERT_NE(surfaceDc, nullptr);
    draw(surfaceDc);

    struct {
      BITMAPINFOHEADER header;
      DWORD masks[3];
    } info = {};
    info.header = {sizeof(BITMAPINFOHEADER), width, -height, 1, f.bits, f.compression, 0, 0, 0, 0, 0};
    for (int i = 0; i < 3; ++i) info.masks[i] = f.masks[i];
    void* bits = nullptr;
    HDC memoryDc = CreateCompatibleDC(nullptr);
    HBITMAP section =
        CreateDIBSection(memoryDc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    HGDIOBJ old = SelectObject(memoryDc, section);
    draw(memoryDc);

    int differences = 0;
    const int stride = (width * bytes + 3) / 4 * 4;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width * bytes; ++x)
        if (surface[y * pitch + x] != static_cast<const uint8_t*>(bits)[y * stride + x]) ++differences;
    EXPECT_EQ(differences, 0) << "format bits " << f.bits;
    int drawn = 0;
    for (uint8_t byte : surface) drawn += byte != 0;
    EXPECT_GT(drawn, width * height / 2) << "format bits " << f.bits;
    // The padding past each row stays untouched.
    for (int y = 0; y < height; ++y)
      for (int x = width * bytes; x < pitch; ++x) EXPECT_EQ(surface[y * pitch + x], 0) << x << "," << y;

    SelectObject(memoryDc, old);
    DeleteObject(section);
    DeleteDC(memoryDc);
    gdi::DeleteSurfaceDC(surfaceDc);
  }
}

TEST(GdiLiveObjects, CountsEachTypeFromCreationToDeletion) {
  const unsigned brushes = hosted::GdiLiveObjects(OBJ_BRUSH);
  const unsigned pens = hosted::GdiLiveObjects(OBJ_PEN);
  const unsigned total = hosted::GdiLiveObjects();
  std::vector<uint32_t> memory(4, 0);
  HDC dc = gdi::CreateSurfaceDC({memory.data(), 2, 2, 8, gdi::PixelFormat::X8R8G8B8});
  HBRUSH brush = CreateSolidBrush(0);
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  EXPECT_EQ(hosted::GdiLiveObjects(OBJ_BRUSH), brushes + 1);
  EXPECT_EQ(hosted::GdiLiveObjects(OBJ_PEN), pens + 1);
  EXPECT_EQ(hosted::GdiLiveObjects(), total + 3);
  // Stock objects never count, however often they are deleted.
  DeleteObject(GetStockObject(BLACK_BRUSH));
  EXPECT_EQ(hosted::GdiLiveObjects(OBJ_BRUSH), brushes + 1);
  // Deleted while selected: it lives until the DC ends.
  SelectObject(dc, brush);
  SelectObject(dc, pen);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_EQ(hosted::GdiLiveObjects(OBJ_BRUSH), brushes + 1);
  EXPECT_TRUE(gdi::DeleteSurfaceDC(dc));
  EXPECT_EQ(hosted::GdiLiveObjects(OBJ_BRUSH), brushes);
  EXPECT_EQ(hosted::GdiLiveObjects(OBJ_PEN), pens);
  EXPECT_EQ(hosted::GdiLiveObjects(), total);
  EXPECT_EQ(hosted::GdiLiveObjects(1000), 0u);
}

TEST(GdiHandles, ReusedSlotDoesNotReviveAnOldHandle) {
  HBRUSH first = CreateSolidBrush(0);
  DeleteObject(first);
  HBRUSH second = CreateSolidBrush(0);
  EXPECT_NE(first, second);
  EXPECT_EQ(GetObjectType(first), 0u);
  EXPECT_FALSE(DeleteObject(first));
  EXPECT_EQ(GetObjectType(second), static_cast<DWORD>(OBJ_BRUSH));
  // A handle of the wrong type is refused where another is expected.
  RECT rect = {0, 0, 1, 1};
  std::vector<uint32_t> memory(1, 0);
  HDC dc = gdi::CreateSurfaceDC({memory.data(), 1, 1, 4, gdi::PixelFormat::X8R8G8B8});
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  // FillRect then falls back on the DC's white brush.
  EXPECT_NE(FillRect(dc, &rect, reinterpret_cast<HBRUSH>(pen)), 0);
  EXPECT_EQ(memory[0], 0x00FFFFFFu);
  EXPECT_EQ(GetPixel(reinterpret_cast<HDC>(pen), 0, 0), CLR_INVALID);
  DeleteObject(pen);
  DeleteObject(second);
  gdi::DeleteSurfaceDC(dc);
}

}  // namespace
