// The rasteriser's primitives, device contexts over surfaces and the
// live-object counter: what only the substitute has.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "hosted/hooks.h"
#include "platform.h"
#include "platform/hosted/gdi/surface.h"
#include "support/pixels.h"

namespace {

constexpr gdi::PixelFormat kFormats[] = {gdi::PixelFormat::X8R8G8B8, gdi::PixelFormat::R5G6B5,
                                         gdi::PixelFormat::X1R5G5B5};

// What each binary raster operation makes of pen p and destination d, as
// its name says, in R2_* order.
constexpr uint32_t (*kRop2[16])(uint32_t p, uint32_t d) = {
    [](uint32_t, uint32_t) { return 0u; },             [](uint32_t p, uint32_t d) { return ~(p | d); },
    [](uint32_t p, uint32_t d) { return ~p & d; },     [](uint32_t p, uint32_t) { return ~p; },
    [](uint32_t p, uint32_t d) { return p & ~d; },     [](uint32_t, uint32_t d) { return ~d; },
    [](uint32_t p, uint32_t d) { return p ^ d; },      [](uint32_t p, uint32_t d) { return ~(p & d); },
    [](uint32_t p, uint32_t d) { return p & d; },      [](uint32_t p, uint32_t d) { return ~(p ^ d); },
    [](uint32_t, uint32_t d) { return d; },            [](uint32_t p, uint32_t d) { return ~p | d; },
    [](uint32_t p, uint32_t) { return p; },            [](uint32_t p, uint32_t d) { return p | ~d; },
    [](uint32_t p, uint32_t d) { return p | d; },      [](uint32_t, uint32_t) { return ~0u; },
};

// Spans and lines under every raster operation in every format: rows 0-1
// get a span over x 1..70, row 2 a line from x 2 towards 9 clipped at x 6.
TEST(Primitives, SpansAndLinesApplyEachRop2AsDefined) {
  const int width = 72, height = 3;
  for (gdi::PixelFormat format : kFormats) {
    const gdi::PrimitiveFuncs& funcs = gdi::PrimitivesFor(format);
    const int bytes = gdi::BytesPerPixel(format);
    const uint32_t mask = bytes == 4 ? 0xFFFFFFFFu : 0xFFFFu;
    const uint32_t pen = funcs.colorToPixel(RGB(0x5A, 0xC3, 0x96));
    for (int rop = R2_BLACK; rop <= R2_WHITE; ++rop) {
      std::vector<uint8_t> memory(width * height * bytes);
      for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i * 37 + 11);
      const std::vector<uint8_t> before = memory;
      const gdi::Bitmap bitmap = {memory.data(), width, height, width * bytes, format};
      const RECT span = {1, 0, 71, 2}, clip = {0, 0, 6, 3};
      funcs.solidRects(bitmap, &span, 1, gdi::RopMasksFor(rop, pen));
      funcs.solidLine(bitmap, {2, 2}, {9, 2}, clip, gdi::RopMasksFor(rop, pen));
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
          uint32_t was = 0, now = 0;
          std::memcpy(&was, &before[(y * width + x) * bytes], bytes);
          std::memcpy(&now, &memory[(y * width + x) * bytes], bytes);
          const bool drawn = y < 2 ? x >= 1 && x < 71 : x >= 2 && x < 6;
          EXPECT_EQ(now, drawn ? kRop2[rop - 1](pen, was) & mask : was) << bytes << " bytes, R2 " << rop << ", " << x
                                                                         << "," << y;
          EXPECT_EQ(funcs.getPixel(bitmap, x, y), now);
        }
    }
  }
}

// Edges between the ends of the coordinate range: the one from (INT_MIN,
// INT_MIN) to (INT_MAX, INT_MAX) is x = y, so on every row the triangle
// below it ends at x = y and the one above it starts there.
TEST(Primitives, PolygonSpansOfEdgesAcrossTheWholeCoordinateRange) {
  const RECT clip = {0, 0, 32, 24};
  const POINT below[3] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}};
  const POINT above[3] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MAX, INT_MIN}};
  std::vector<std::array<LONG, 4>> expectedBelow, expectedAbove;
  for (LONG y = 0; y < clip.bottom; ++y) {
    if (y > 0) expectedBelow.push_back({0, y, y, y + 1});
    expectedAbove.push_back({y, y, clip.right, y + 1});
  }
  auto spansOf = [&](const POINT* points) {
    std::vector<RECT> spans;
    gdi::PolygonSpans(points, 3, clip, spans);
    std::vector<std::array<LONG, 4>> edges;
    for (const RECT& r : spans) edges.push_back({r.left, r.top, r.right, r.bottom});
    return edges;
  };
  EXPECT_EQ(spansOf(below), expectedBelow);
  EXPECT_EQ(spansOf(above), expectedAbove);
}

// Flood fills on scenes of three colours, in rows wider than the scan's
// chunks and padded past their end: the spans must cover the area that a
// search pixel by pixel finds, each pixel once.
TEST(Primitives, FloodSpansCoverTheConnectedAreaOnce) {
  const int width = 75, height = 23;
  // Colour 0 mostly, 1 and 2 scattered; a one-pixel corridor spiralling in
  // from a corner between walls of 1, blocked here and there by 2; 0 alone.
  std::vector<int> scenes[3];
  for (std::vector<int>& scene : scenes) scene.resize(width * height);
  for (int i = 0; i < width * height; ++i) {
    uint32_t hash = static_cast<uint32_t>(i) * 0x9E3779B9u;
    hash = (hash ^ (hash >> 16)) * 0x85EBCA6Bu;
    hash = (hash ^ (hash >> 13)) >> 24;
    scenes[0][i] = hash < 150 ? 0 : hash < 230 ? 1 : 2;
    scenes[1][i] = hash < 16 ? 2 : 0;
  }
  // Sides of w - 1, h - 1 and w - 1 pixels, then each two shorter than the
  // one two before it.
  int lengths[2] = {width - 1, height - 1};
  for (int x = 0, y = 0, dx = 1, dy = 0, turn = 0; lengths[turn % 2] > 0; ++turn) {
    for (int i = 0; i < lengths[turn % 2]; ++i, x += dx, y += dy) scenes[1][y * width + x] = 1;
    if (turn > 0) lengths[turn % 2] -= 2;
    std::swap(dx, dy);
    dx = -dx;
  }
  const POINT seeds[] = {{0, 0}, {1, 1}, {width / 2, height / 2}, {width - 2, 1}, {3, height - 2}, {width - 1, 0}};
  for (gdi::PixelFormat format : kFormats) {
    const gdi::PrimitiveFuncs& funcs = gdi::PrimitivesFor(format);
    const int bytes = gdi::BytesPerPixel(format), pitch = (width + 3) * bytes;
    const uint32_t colours[3] = {funcs.colorToPixel(RGB(0x10, 0x20, 0x30)), funcs.colorToPixel(RGB(0xFF, 0, 0)),
                                 funcs.colorToPixel(RGB(0, 0xC0, 0x40))};
    for (const std::vector<int>& scene : scenes) {
      // The padding is in the first colour, which the fill must not reach.
      std::vector<uint8_t> memory(static_cast<size_t>(pitch) * height);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width + 3; ++x)
          std::memcpy(&memory[y * pitch + x * bytes], &colours[x < width ? scene[y * width + x] : 0], bytes);
      const gdi::Bitmap bitmap = {memory.data(), width, height, pitch, format};
      for (const POINT seed : seeds)
        for (bool untilBorder : {false, true}) {
          // Until the second colour, or over the colour at the seed.
          const uint32_t pixel = untilBorder ? colours[1] : funcs.getPixel(bitmap, seed.x, seed.y);
          auto inArea = [&](int x, int y) { return (funcs.getPixel(bitmap, x, y) == pixel) != untilBorder; };
          if (!inArea(seed.x, seed.y)) continue;
          std::vector<int> expected(width * height, 0), covered(width * height, 0);
          std::vector<POINT> pending = {seed};
          expected[seed.y * width + seed.x] = 1;
          while (!pending.empty()) {
            const POINT p = pending.back();
            pending.pop_back();
            for (const POINT n : {POINT{p.x - 1, p.y}, POINT{p.x + 1, p.y}, POINT{p.x, p.y - 1}, POINT{p.x, p.y + 1}}) {
              if (n.x < 0 || n.y < 0 || n.x >= width || n.y >= height || expected[n.y * width + n.x] != 0) continue;
              if (!inArea(n.x, n.y)) continue;
              expected[n.y * width + n.x] = 1;
              pending.push_back(n);
            }
          }
          std::vector<RECT> spans;
          funcs.floodSpans(bitmap, seed.x, seed.y, pixel, untilBorder, spans);
          for (const RECT& span : spans) {
            ASSERT_TRUE(span.left >= 0 && span.left < span.right && span.right <= width && span.top >= 0 &&
                        span.bottom == span.top + 1 && span.top < height);
            for (int x = span.left; x < span.right; ++x) ++covered[span.top * width + x];
          }
          EXPECT_EQ(covered, expected) << bytes << " bytes, scene " << (&scene - scenes) << ", seed " << seed.x << ","
                                       << seed.y << (untilBorder ? ", until border" : "");
        }
    }
  }
}

TEST(SurfaceDc, BottomUpPitchLifetimeAndUnusableDescriptions) {
  std::vector<uint32_t> memory(4 * 2, 0);
  // Negative pitch: the first row named is the last in memory.
  HDC dc = gdi::CreateSurfaceDC({memory.data() + 4, 4, 2, -16, gdi::PixelFormat::X8R8G8B8});
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_DC));
  EXPECT_TRUE(SetPixelV(dc, 1, 0, RGB(0, 0, 255)));
  EXPECT_EQ(memory[4 + 1], 0x000000FFu);
  // PatBlt without a source is a binary operation (DSTINVERT); one with a
  // source (SRCCOPY) has none to read.
  EXPECT_TRUE(PatBlt(dc, 1, 0, 1, 1, 0x00550009));
  EXPECT_EQ(memory[4 + 1], 0xFFFFFF00u);
  EXPECT_FALSE(PatBlt(dc, 0, 0, 1, 1, 0x00CC0020));
  EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_BRUSH)), GetStockObject(WHITE_BRUSH));
  // Only its surface ends it.
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_FALSE(DeleteObject(dc));
  EXPECT_TRUE(gdi::DeleteSurfaceDC(dc));
  EXPECT_FALSE(gdi::DeleteSurfaceDC(dc));
  EXPECT_EQ(GetObjectType(dc), 0u);
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
  const D3DFORMAT canvasFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};
  const int width = 40, height = 30;
  auto draw = [](HDC dc) {
    HGDIOBJ oldPen = SelectObject(dc, CreatePen(PS_SOLID, 1, RGB(200, 10, 30)));
    HGDIOBJ oldBrush = SelectObject(dc, CreateSolidBrush(RGB(20, 120, 250)));
    // Over the right edge: the rows' padding must stay untouched.
    RECT edge = {30, -5, 60, 8};
    FillRect(dc, &edge, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_WINDOW + 1)));
    Rectangle(dc, -3, 2, 17, 25);
    const POINT quad[4] = {{30, 1}, {45, 14}, {22, 33}, {12, 9}};
    Polygon(dc, quad, 4);
    SetROP2(dc, R2_NOT);
    Rectangle(dc, 5, 5, 35, 12);
    SetROP2(dc, R2_COPYPEN);
    DeleteObject(SelectObject(dc, oldPen));
    DeleteObject(SelectObject(dc, oldBrush));
  };
  for (int f = 0; f < 3; ++f) {
    const int bytes = gdi::BytesPerPixel(kFormats[f]), pitch = (width + 3) * bytes;
    std::vector<uint8_t> surface(pitch * height, 0);
    HDC surfaceDc = gdi::CreateSurfaceDC({surface.data(), width, height, pitch, kFormats[f]});
    ASSERT_NE(surfaceDc, nullptr);
    draw(surfaceDc);
    pixels::Canvas canvas(width, height, canvasFormats[f]);
    ASSERT_NE(canvas.bits, nullptr);
    draw(canvas.dc);

    int differences = 0, drawn = 0;
    const int stride = (width * bytes + 3) / 4 * 4;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < pitch; ++x) {
        const uint8_t byte = surface[y * pitch + x];
        if (x >= width * bytes) EXPECT_EQ(byte, 0) << x << "," << y;
        else differences += byte != static_cast<const uint8_t*>(canvas.bits)[y * stride + x];
        drawn += byte != 0;
      }
    EXPECT_EQ(differences, 0) << bytes << " bytes";
    EXPECT_GT(drawn, width * height / 2) << bytes << " bytes";
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

namespace {

// Ellipses and rounded rectangles with corners too large to step round
// (over 2^19 pixels) are worked out from the ellipse's equation on the
// visible rows only: across the whole coordinate range they end at once,
// under the sanitizers too. The right tip of an ellipse 2^31 wide and 2^31
// high at x = 8 is straight for a few rows each side of its middle: the
// brush left of it, the pen's outline on its last column (a wide pen's
// dots centred there), nothing right of it.
TEST(FarShapes, HugeArcsDrawTheirVisiblePart) {
  constexpr COLORREF kBrush = RGB(0, 0, 255), kPen = RGB(255, 0, 0);
  const struct {
    RECT box;
    int cornerWidth, cornerHeight;  // 0: an ellipse
    int penWidth;
    int brushUpTo, penUpTo;  // columns [0, brushUpTo) brush, then pen up to penUpTo
  } cases[] = {
      {{INT_MIN, -(1 << 30), 8, 1 << 30}, 0, 0, 1, 7, 8},
      {{INT_MIN, -(1 << 30), 8, 1 << 30}, 0, 0, 5, 5, 10},
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 0, 0, 3, 16, 16},
      {{INT_MIN, -5, INT_MAX, 20}, INT_MAX, INT_MAX, 1, 16, 16},
  };
  for (const auto& c : cases) {
    pixels::Canvas canvas(16, 12, D3DFMT_X8R8G8B8);
    canvas.FillRaw(0);
    HBRUSH brush = CreateSolidBrush(kBrush);
    HPEN pen = CreatePen(PS_SOLID, c.penWidth, kPen);
    HGDIOBJ oldBrush = SelectObject(canvas.dc, brush), oldPen = SelectObject(canvas.dc, pen);
    const RECT& b = c.box;
    EXPECT_TRUE(c.cornerWidth == 0 ? Ellipse(canvas.dc, b.left, b.top, b.right, b.bottom)
                                   : RoundRect(canvas.dc, b.left, b.top, b.right, b.bottom, c.cornerWidth,
                                               c.cornerHeight));
    for (int y = 0; y < canvas.height; ++y)
      for (int x = 0; x < canvas.width; ++x)
        EXPECT_EQ(canvas.Raw(x, y), x < c.brushUpTo ? 0x0000FFu : x < c.penUpTo ? 0xFF0000u : 0u)
            << "(" << x << ", " << y << ") with a pen " << c.penWidth << " wide";
    SelectObject(canvas.dc, oldBrush);
    SelectObject(canvas.dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
  }
}

// Wide pens between the ends of the coordinate range (where Windows' own
// arithmetic overflows) draw the band the same line draws between near
// points, and cost only its visible rows. A 5-pixel pen along x = y
// covers [y - 4, y + 4) on each row (its sides lie 2 pixels off the
// diagonal, rounded each way); along a row or column, the width centred
// with the odd pixel above or left.
TEST(FarShapes, WidePensAcrossTheWholeRangeDrawTheirVisibleBand) {
  struct Case {
    POINT from, to;
    int width;
    bool (*covers)(int x, int y);
  };
  const Case cases[] = {
      {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, 5, [](int x, int y) { return x >= y - 4 && x < y + 4; }},
      {{INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}, 5, [](int x, int y) { return x >= y - 4 && x < y + 4; }},
      {{-100, -100}, {100, 100}, 5, [](int x, int y) { return x >= y - 4 && x < y + 4; }},
      {{INT_MIN, 5}, {INT_MAX, 5}, 4, [](int, int y) { return y >= 3 && y < 7; }},
      {{7, INT_MAX}, {7, INT_MIN}, 3, [](int x, int) { return x >= 6 && x < 9; }},
  };
  for (const Case& c : cases) {
    pixels::Canvas canvas(16, 12, D3DFMT_X8R8G8B8);
    canvas.FillRaw(0);
    HPEN pen = CreatePen(PS_SOLID, c.width, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(canvas.dc, pen);
    MoveToEx(canvas.dc, c.from.x, c.from.y, nullptr);
    EXPECT_TRUE(LineTo(canvas.dc, c.to.x, c.to.y));
    for (int y = 0; y < canvas.height; ++y)
      for (int x = 0; x < canvas.width; ++x)
        EXPECT_EQ(canvas.Raw(x, y), c.covers(x, y) ? 0xFFFFFFu : 0u)
            << "(" << x << ", " << y << ") of the line from (" << c.from.x << ", " << c.from.y << ")";
    SelectObject(canvas.dc, old);
    DeleteObject(pen);
  }
}

}  // namespace
