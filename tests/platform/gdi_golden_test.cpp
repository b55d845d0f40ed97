// Which pixels shapes cover, exactly: fixed scenes drawn in each bitmap
// format, compared by a hash of every pixel with what Windows GDI draws.
// The expected hashes were taken under Wine, so on a mismatch only the
// actual picture can be written (as a PNG, where the failure says);
// CUBE_GDI_DUMP=1 writes every scene's picture, for comparing the two lanes
// by eye.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform.h"
#include "support/pixels.h"

namespace {

using pixels::Canvas;

constexpr int kWidth = 32;
constexpr int kHeight = 24;
constexpr COLORREF kBackground = RGB(0x20, 0x40, 0x60);
constexpr COLORREF kRed = RGB(0xFF, 0x00, 0x00);
constexpr COLORREF kBlue = RGB(0x00, 0x00, 0xFF);
constexpr D3DFORMAT kFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};

struct Scene {
  const char* name;
  void (*draw)(HDC dc);
  uint32_t expected[3];  // by format, as kFormats
};

// Every scene starts from the background colour with pen and brush chosen
// by the scene; objects it makes it deletes.
void WithObjects(HDC dc, COLORREF pen, COLORREF brush, bool nullPen, bool nullBrush, void (*shapes)(HDC)) {
  HPEN p = nullPen ? nullptr : CreatePen(PS_SOLID, 1, pen);
  HBRUSH b = nullBrush ? nullptr : CreateSolidBrush(brush);
  HGDIOBJ oldPen = SelectObject(dc, p != nullptr ? static_cast<HGDIOBJ>(p) : GetStockObject(NULL_PEN));
  HGDIOBJ oldBrush = SelectObject(dc, b != nullptr ? static_cast<HGDIOBJ>(b) : GetStockObject(NULL_BRUSH));
  shapes(dc);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  if (p != nullptr) DeleteObject(p);
  if (b != nullptr) DeleteObject(b);
}

// Rectangles of many sizes, both corner orders, and the smallest cases.
void RectangleSet(HDC dc) {
  Rectangle(dc, 2, 3, 12, 10);
  Rectangle(dc, 26, 9, 15, 2);
  Rectangle(dc, 2, 13, 3, 14);
  Rectangle(dc, 5, 13, 7, 15);
  Rectangle(dc, 9, 13, 12, 16);
  Rectangle(dc, 14, 13, 14, 18);
  Rectangle(dc, 16, 13, 20, 13);
  Rectangle(dc, 22, 13, 23, 20);
  Rectangle(dc, 25, 13, 30, 14);
  Rectangle(dc, 2, 18, 6, 22);
  Rectangle(dc, 28, 16, 29, 18);
  Rectangle(dc, 27, 20, 29, 21);
  Rectangle(dc, 9, 19, 10, 20);
}

// Faces of a turning cube as the scene projects them: convex quadrilaterals
// at many angles, four to a picture, in both windings.
const POINT kQuads[3][4][4] = {
    {{{14, 7}, {7, 10}, {2, 5}, {9, 1}}, {{29, 8}, {22, 10}, {19, 4}, {26, 2}}, {{13, 21}, {5, 22}, {3, 15}, {11, 14}}, {{29, 21}, {21, 22}, {19, 15}, {27, 14}}},
    {{{12, 9}, {4, 9}, {4, 3}, {12, 3}}, {{28, 10}, {20, 9}, {20, 2}, {28, 3}}, {{11, 22}, {3, 20}, {5, 14}, {13, 16}}, {{26, 22}, {19, 20}, {22, 14}, {29, 16}}},
    {{{10, 11}, {2, 7}, {6, 1}, {14, 5}}, {{25, 11}, {18, 6}, {23, 1}, {30, 6}}, {{8, 23}, {2, 18}, {8, 13}, {14, 18}}, {{23, 23}, {18, 17}, {25, 13}, {30, 19}}},
};

template <int Set>
void QuadSet(HDC dc) {
  for (int i = 0; i < 4; ++i) {
    if (i % 2 == 0) {
      Polygon(dc, kQuads[Set][i], 4);
    } else {
      const POINT reversed[4] = {kQuads[Set][i][3], kQuads[Set][i][2], kQuads[Set][i][1], kQuads[Set][i][0]};
      Polygon(dc, reversed, 4);
    }
  }
}

// Quadrilaterals with no area: one point four times, points on a line, two
// points twice; and self-intersecting shapes filled by the alternate rule.
void OddPolygons(HDC dc) {
  const POINT point[4] = {{3, 3}, {3, 3}, {3, 3}, {3, 3}};
  const POINT line[4] = {{6, 2}, {10, 4}, {14, 6}, {8, 3}};
  const POINT pair[4] = {{17, 2}, {25, 7}, {17, 2}, {25, 7}};
  const POINT flat[4] = {{2, 9}, {12, 9}, {12, 9}, {2, 9}};
  const POINT bowtie[4] = {{2, 12}, {14, 22}, {14, 12}, {2, 22}};
  const POINT star[5] = {{23, 9}, {27, 22}, {17, 14}, {30, 14}, {19, 22}};
  Polygon(dc, point, 4);
  Polygon(dc, line, 4);
  Polygon(dc, pair, 4);
  Polygon(dc, flat, 4);
  Polygon(dc, bowtie, 4);
  Polygon(dc, star, 5);
}

// Points far outside the bitmap on every side.
void OutsidePolygons(HDC dc) {
  const POINT big[4] = {{-40, 5}, {10, -30}, {60, 8}, {12, 50}};
  const POINT sliver[3] = {{-1000, 20}, {1000, 18}, {1000, 23}};
  const POINT distant[3] = {{-2000000, -1000000}, {2000000, 12}, {-2000000, 1000000}};
  Polygon(dc, big, 4);
  Polygon(dc, sliver, 3);
  Polygon(dc, distant, 3);
}

// Edges from the ends of the coordinate range across the bitmap, as a
// truncation that wraps leaves them: only the part inside is drawn, on the
// same pixels as the whole line would be. Wine fills such polygons a few
// pixels off near the far corners, so the scene draws outlines only.
void EdgesFromTheLimits(HDC dc) {
  constexpr LONG low = INT_MIN, high = INT_MAX;
  const POINT corner[3] = {{low, low}, {20, 12}, {low, low}};
  const POINT across[2] = {{low, low}, {high, high}};
  const POINT flat[3] = {{low, 20}, {25, 23}, {low, 20}};
  const POINT triangle[3] = {{low, low}, {30, 2}, {2, 22}};
  Polygon(dc, corner, 3);
  Polygon(dc, across, 2);
  Polygon(dc, flat, 3);
  Polygon(dc, triangle, 3);
}

// Thin triangles from the middle out in every direction, their sides at
// slopes where the nearest pixel is a tie, to pin down which way ties go.
void LineFan(HDC dc) {
  const POINT ends[] = {{30, 15}, {30, 21}, {25, 23}, {19, 23}, {2, 21}, {2, 15}, {6, 1}, {13, 0},
                        {19, 0},  {24, 1},  {30, 7},  {30, 9},  {2, 9},  {2, 7},  {8, 23}, {12, 23}};
  for (const POINT& end : ends) {
    const POINT triangle[3] = {{16, 12}, end, {16, 12}};
    Polygon(dc, triangle, 3);
  }
}

// Every binary raster operation, pen and brush over the background.
void EveryRop2(HDC dc) {
  for (int rop = R2_BLACK; rop <= R2_WHITE; ++rop) {
    SetROP2(dc, rop);
    const int x = (rop - 1) % 8 * 4, y = (rop - 1) / 8 * 12;
    Rectangle(dc, x, y, x + 4, y + 6);
    const POINT triangle[3] = {{x, y + 7}, {x + 3, y + 11}, {x, y + 11}};
    Polygon(dc, triangle, 3);
  }
  SetROP2(dc, R2_COPYPEN);
}

const Scene kScenes[] = {
    {"RectanglePenAndBrushOneColour", [](HDC dc) { WithObjects(dc, kRed, kRed, false, false, RectangleSet); }, {0x27F8D935, 0xA574E2E5, 0x6CEA354D}},
    {"RectanglePenAndBrushTwoColours", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, false, RectangleSet); }, {0x449C7DB5, 0xAD502719, 0xEF9382ED}},
    {"RectangleNullPen", [](HDC dc) { WithObjects(dc, kRed, kBlue, true, false, RectangleSet); }, {0xD8CEE3C5, 0xBDED7515, 0xAFA35125}},
    {"RectangleNullBrush", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, true, RectangleSet); }, {0x06E45CF5, 0x09D80485, 0xAD162AF5}},
    {"RectangleNot",
     [](HDC dc) {
       SetROP2(dc, R2_NOT);
       WithObjects(dc, kRed, kBlue, false, false, RectangleSet);
       SetROP2(dc, R2_COPYPEN);
     },
     {0x646630A5, 0x1AA64095, 0xFDE76A05}},
    {"RectangleZeroWidthPen",
     [](HDC dc) {
       HPEN pen = CreatePen(PS_SOLID, 0, kRed);
       HGDIOBJ old = SelectObject(dc, pen);
       RectangleSet(dc);
       SelectObject(dc, old);
       DeleteObject(pen);
     },
     {0x41359CF5, 0xC7B07B25, 0x3B226801}},
    {"RectangleClippedAtEdges",
     [](HDC dc) {
       WithObjects(dc, kRed, kBlue, false, false, [](HDC d) {
         Rectangle(d, -5, -4, 8, 6);
         Rectangle(d, 25, 18, 40, 30);
         Rectangle(d, -3, 15, 4, 40);
         Rectangle(d, 28, -9, 33, 4);
       });
     },
     {0xE3B65E45, 0x905CE751, 0x86A2AD5D}},
    {"RectangleHugeCoordinates",
     [](HDC dc) {
       WithObjects(dc, kRed, kBlue, false, false, [](HDC d) {
         Rectangle(d, -1000000, 4, 1000000, 9);
         Rectangle(d, 20, -1000000, 25, 1000000);
         Rectangle(d, -70000, -70000, 70000, 70000);
       });
     },
     {0x1C0005C5, 0x035F81C5, 0x035F81C5}},
    {"PolygonQuadsAt0To22Degrees", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, false, QuadSet<0>); }, {0xAA82BEB2, 0xCDC7AC6F, 0x3F66BB32}},
    {"PolygonQuadsAt30To52Degrees", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, false, QuadSet<1>); }, {0x4CDF07E5, 0x49A25979, 0x4628BA0D}},
    {"PolygonQuadsAt60To83Degrees", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, false, QuadSet<2>); }, {0xFCA3BA8A, 0xDC9FDA64, 0x5EF2B309}},
    {"PolygonQuadsOneColour", [](HDC dc) { WithObjects(dc, kRed, kRed, false, false, QuadSet<1>); }, {0x852261E5, 0xA3AB3485, 0x62CEBD55}},
    {"PolygonQuadsNullPen", [](HDC dc) { WithObjects(dc, kRed, kBlue, true, false, QuadSet<0>); }, {0x8C91AA55, 0x3391AB35, 0x5A01915D}},
    {"PolygonQuadsNullBrush", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, true, QuadSet<2>); }, {0x460F5D95, 0x0E54A445, 0x07100C05}},
    {"PolygonQuadsNot",
     [](HDC dc) {
       SetROP2(dc, R2_NOT);
       WithObjects(dc, kRed, kBlue, false, false, QuadSet<1>);
       SetROP2(dc, R2_COPYPEN);
     },
     {0x162A82F5, 0xB2E77D51, 0x8B88633D}},
    {"PolygonDegenerateAndSelfIntersecting", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, false, OddPolygons); }, {0x1CB8E882, 0xD05E0F27, 0x96A33D42}},
    {"PolygonDegenerateNullPen", [](HDC dc) { WithObjects(dc, kRed, kBlue, true, false, OddPolygons); }, {0xA2C225BA, 0x77A433D0, 0x54202E39}},
    {"PolygonLinesAtTies", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, true, LineFan); }, {0x46243A85, 0xF4390E85, 0xBC1A59B5}},
    {"PolygonLinesAtTiesNot",
     [](HDC dc) {
       SetROP2(dc, R2_NOT);
       WithObjects(dc, kRed, kBlue, false, true, LineFan);
       SetROP2(dc, R2_COPYPEN);
     },
     {0x989659C5, 0x8F7ABAB5, 0x9BAA0ECD}},
    {"EveryRop2", [](HDC dc) { WithObjects(dc, RGB(0xC3, 0x5A, 0x0F), RGB(0x3C, 0xA5, 0xF0), false, false, EveryRop2); }, {0x6651E1FD, 0xEB6E37CD, 0xB6DDE351}},
    {"PolygonPointsOutside", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, false, OutsidePolygons); }, {0x1C0005C5, 0x035F81C5, 0x035F81C5}},
    {"PolygonEdgesFromTheCoordinateLimits", [](HDC dc) { WithObjects(dc, kRed, kBlue, false, true, EdgesFromTheLimits); }, {0xE3D2C6C2, 0x258FE76B, 0x641FC7B2}},
};

TEST(GdiGolden, ScenesCoverExactlyThePixelsWindowsCovers) {
  const bool dump = std::getenv("CUBE_GDI_DUMP") != nullptr;
  for (const Scene& scene : kScenes) {
    for (int f = 0; f < 3; ++f) {
      const std::string name = std::string(scene.name) + "-" + pixels::Name(kFormats[f]);
      Canvas canvas(kWidth, kHeight, kFormats[f]);
      ASSERT_NE(canvas.bits, nullptr);
      HBRUSH background = CreateSolidBrush(kBackground);
      const RECT all = {0, 0, kWidth, kHeight};
      FillRect(canvas.dc, &all, background);
      DeleteObject(background);
      scene.draw(canvas.dc);
      const uint32_t hash = canvas.Hash();
      if (dump || hash != scene.expected[f]) {
        const std::string path = pixels::OutputPath(name, "actual");
        const bool written = pixels::WritePng(path, canvas.Picture());
        EXPECT_EQ(hash, scene.expected[f])
            << name << " 0x" << std::hex << hash << (written ? "; picture in " : "; could not write ") << path;
      }
    }
  }
}

}  // namespace
