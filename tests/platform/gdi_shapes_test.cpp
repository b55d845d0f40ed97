// Which pixels each drawing call covers, over a table of cases generated
// from a fixed seed: sizes from nothing to past the bitmap, inverted
// corners, points off the bitmap and at the ends of the coordinate range,
// every raster operation, null, thin and wide pens, null and coloured
// brushes. Each case is drawn in each bitmap format and compared by hash
// with what Windows GDI draws; the expected hashes were taken under Wine and are kept in
// gdi_shapes_hashes.inc. With CUBE_GDI_RECORD=1 the test prints this lane's
// hashes in that file's form instead (scripts/record-gdi-hashes).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform.h"
#include "support/pixels.h"
#include "support/random.h"

namespace {

#include "gdi_shapes_hashes.inc"

using pixels::Canvas;

constexpr int kWidth = 40;
constexpr int kHeight = 30;
constexpr D3DFORMAT kFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};
constexpr int kCases = 300;

// A coordinate on an axis of `size` pixels, on or next to the bitmap.
int Near(Random& random, int size) { return random.Int(-3, size + 2); }

// A coordinate on an axis of `size` pixels: mostly near the bitmap,
// sometimes far off, now and then just past the 16-bit range. (Wine fills
// a polygon row by row from its top, clipped or not, so a case further out
// would cost it seconds; the rasteriser's own tests go to the 32-bit ends.)
int Coordinate(Random& random, int size) {
  switch (random.Int(0, 19)) {
    case 0:
    case 1: return random.Int(-100000, 100000);
    case 2: return random.OneIn(2) ? random.Int(-32770, -32766) : random.Int(32766, 32770);
    default: return Near(random, size);
  }
}

COLORREF Colour(Random& random) {
  static const COLORREF palette[] = {RGB(0xFF, 0, 0), RGB(0, 0, 0xFF), RGB(0xC3, 0x5A, 0x0F), RGB(0x3C, 0xA5, 0xF0),
                                     RGB(0, 0, 0), RGB(0xFF, 0xFF, 0xFF), RGB(0x12, 0x34, 0x56)};
  return palette[random.Int(0, static_cast<int>(sizeof palette / sizeof palette[0]) - 1)];
}

// The pen, brush and raster operation of one case, selected into the DC
// while it lives. Half the cases draw with R2_COPYPEN, a quarter with
// R2_NOT and the rest with any of the sixteen.
class Tools {
 public:
  Tools(HDC dc, Random& random) : dc_(dc) {
    const COLORREF penColour = Colour(random);
    // One pen in three is 2 to 5 pixels wide.
    const int width = random.OneIn(3) ? random.Int(2, 5) : random.Int(0, 1);
    pen_ = random.OneIn(16) ? nullptr : CreatePen(PS_SOLID, width, penColour);
    // Pen and brush in one colour, as the drawing layer leaves them, or two.
    brush_ = random.OneIn(6) ? nullptr : CreateSolidBrush(random.OneIn(2) ? penColour : Colour(random));
    oldPen_ = SelectObject(dc, pen_ != nullptr ? static_cast<HGDIOBJ>(pen_) : GetStockObject(NULL_PEN));
    oldBrush_ = SelectObject(dc, brush_ != nullptr ? static_cast<HGDIOBJ>(brush_) : GetStockObject(NULL_BRUSH));
    const int pick = random.Int(0, 3);
    SetROP2(dc, pick <= 1 ? R2_COPYPEN : pick == 2 ? R2_NOT : random.Int(R2_BLACK, R2_WHITE));
  }
  ~Tools() {
    SetROP2(dc_, R2_COPYPEN);
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
    if (pen_ != nullptr) DeleteObject(pen_);
    if (brush_ != nullptr) DeleteObject(brush_);
  }
  Tools(const Tools&) = delete;
  Tools& operator=(const Tools&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HBRUSH brush_;
  HGDIOBJ oldPen_;
  HGDIOBJ oldBrush_;
};

// Mostly a box of up to `w` x `h` from a corner on the bitmap, either way
// round; otherwise any two corners. (Every number is drawn in its own
// statement or in braces: the order in which a call's arguments are worked
// out differs between compilers.)
RECT Box(Random& random, int w, int h) {
  if (random.Int(0, 3) != 0) {
    const int left = Near(random, kWidth);
    const int top = Near(random, kHeight);
    return {left, top, left + random.Int(-w, w), top + random.Int(-h, h)};
  }
  return {Coordinate(random, kWidth), Coordinate(random, kHeight), Coordinate(random, kWidth),
          Coordinate(random, kHeight)};
}

void Rectangles(HDC dc, Random& random) {
  Tools tools(dc, random);
  for (int n = random.Int(1, 3); n > 0; --n) {
    const RECT box = Box(random, 12, 12);
    Rectangle(dc, box.left, box.top, box.right, box.bottom);
  }
}

void Polygons(HDC dc, Random& random) {
  Tools tools(dc, random);
  POINT points[6];
  const int count = random.Int(2, 6);
  for (int i = 0; i < count; ++i) points[i] = {Coordinate(random, kWidth), Coordinate(random, kHeight)};
  Polygon(dc, points, count);
}

// A path of lines from a moved-to point, each from where the last ended.
void Lines(HDC dc, Random& random) {
  Tools tools(dc, random);
  // Short lines in every octant from a point on the bitmap, or anywhere.
  const bool local = random.Int(0, 2) != 0;
  int x = local ? Near(random, kWidth) : Coordinate(random, kWidth);
  int y = local ? Near(random, kHeight) : Coordinate(random, kHeight);
  MoveToEx(dc, x, y, nullptr);
  for (int n = random.Int(1, 4); n > 0; --n) {
    x = local ? x + random.Int(-15, 15) : Coordinate(random, kWidth);
    y = local ? y + random.Int(-15, 15) : Coordinate(random, kHeight);
    LineTo(dc, x, y);
  }
}

// Wine leaves the last rows of the inside of an ellipse much taller than
// wide unset (they show whatever its memory held), so such corner ellipses
// stay out of the table.
bool TallAndThin(long long w, long long h) { return w >= 3 && 2 * h > w * w; }

void Ellipses(HDC dc, Random& random) {
  Tools tools(dc, random);
  for (int n = random.Int(1, 2); n > 0; --n) {
    const RECT box = Box(random, 30, 25);
    if (TallAndThin(std::llabs(0LL + box.right - box.left), std::llabs(0LL + box.bottom - box.top))) continue;
    Ellipse(dc, box.left, box.top, box.right, box.bottom);
  }
}

// Corners from nothing to past the box, either sign.
void RoundRects(HDC dc, Random& random) {
  Tools tools(dc, random);
  for (int n = random.Int(1, 2); n > 0; --n) {
    const RECT box = Box(random, 30, 25);
    const int cornerWidth = random.Int(-40, 40);
    const int cornerHeight = random.Int(-40, 40);
    if (TallAndThin(std::min(std::llabs(0LL + box.right - box.left), std::llabs(0LL + cornerWidth)),
                    std::min(std::llabs(0LL + box.bottom - box.top), std::llabs(0LL + cornerHeight))))
      continue;
    RoundRect(dc, box.left, box.top, box.right, box.bottom, cornerWidth, cornerHeight);
  }
}

// Single pixels, on the bitmap and off it, in the case's raster operation.
void Pixels(HDC dc, Random& random) {
  Tools tools(dc, random);
  for (int n = random.Int(1, 6); n > 0; --n) {
    const POINT at = {Coordinate(random, kWidth), Coordinate(random, kHeight)};
    SetPixelV(dc, at.x, at.y, Colour(random));
  }
}

// A scene of overlapping outlines and boxes in a few colours, then a fill
// from a point: of the area in the colour found there (now and then in a
// colour not there), or of the area up to a border colour.
void FloodFills(HDC dc, Random& random) {
  static const COLORREF borders[] = {RGB(0xFF, 0, 0), RGB(0, 0, 0xFF), RGB(0x20, 0x40, 0x60)};
  for (int n = random.Int(2, 6); n > 0; --n) {
    const COLORREF colour = borders[random.Int(0, 2)];
    HPEN pen = CreatePen(PS_SOLID, 0, colour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(random.OneIn(3) ? WHITE_BRUSH : NULL_BRUSH));
    const int left = Near(random, kWidth), top = Near(random, kHeight);
    const int right = Near(random, kWidth), bottom = Near(random, kHeight);
    if (random.OneIn(2)) {
      Rectangle(dc, left, top, right, bottom);
    } else {
      const POINT points[3] = {{left, top}, {right, bottom}, {Near(random, kWidth), Near(random, kHeight)}};
      Polygon(dc, points, 3);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
  }
  Tools tools(dc, random);
  const int x = random.OneIn(20) ? Coordinate(random, kWidth) : Near(random, kWidth);
  const int y = random.OneIn(20) ? Coordinate(random, kHeight) : Near(random, kHeight);
  if (random.OneIn(2)) {
    const COLORREF there = GetPixel(dc, x, y);
    ExtFloodFill(dc, x, y, there != CLR_INVALID && !random.OneIn(10) ? there : Colour(random), FLOODFILLSURFACE);
  } else {
    ExtFloodFill(dc, x, y, borders[random.Int(0, 2)], FLOODFILLBORDER);
  }
}

// Four bands of colour for raster operations that read the destination.
void Background(HDC dc) {
  static const COLORREF bands[] = {RGB(0x20, 0x40, 0x60), RGB(0xF0, 0xE0, 0x10), RGB(0x80, 0x80, 0x80),
                                   RGB(0x05, 0xA0, 0x50)};
  for (int i = 0; i < 4; ++i) {
    HBRUSH brush = CreateSolidBrush(bands[i]);
    const RECT band = {0, i * kHeight / 4, kWidth, (i + 1) * kHeight / 4};
    FillRect(dc, &band, brush);
    DeleteObject(brush);
  }
}

struct Primitive {
  const char* name;
  void (*draw)(HDC dc, Random& random);
  const uint32_t (*expected)[3];
};

void PrintTo(const Primitive& primitive, std::ostream* out) { *out << primitive.name; }

class GdiTable : public ::testing::TestWithParam<Primitive> {};

TEST_P(GdiTable, CoverExactlyThePixelsWindowsCovers) {
  const Primitive& primitive = GetParam();
  const bool record = std::getenv("CUBE_GDI_RECORD") != nullptr;
  if (record) std::printf("constexpr uint32_t k%sHashes[][3] = {\n", primitive.name);
  int mismatches = 0;
  for (int c = 0; c < kCases; ++c) {
    uint32_t hashes[3];
    for (int f = 0; f < 3; ++f) {
      Canvas canvas(kWidth, kHeight, kFormats[f]);
      ASSERT_TRUE(canvas.usable());
      Background(canvas.dc);
      // Each case draws from its own seed, so cases can be added, removed
      // or run alone without moving the others.
      Random random(0xC0BE000000000000ull + static_cast<uint64_t>(c));
      primitive.draw(canvas.dc, random);
      hashes[f] = canvas.Hash();
      if (!record && hashes[f] != primitive.expected[c][f] && ++mismatches <= 5) {
        const std::string name = std::string(primitive.name) + "-" + std::to_string(c) + "-" + pixels::Name(kFormats[f]);
        const std::string path = pixels::OutputPath(name, "actual");
        const bool written = pixels::WritePng(path, canvas.Picture());
        ADD_FAILURE() << "case " << c << " in " << pixels::Name(kFormats[f]) << ": 0x" << std::hex << hashes[f]
                      << (written ? "; picture in " : "; could not write ") << path;
      }
    }
    if (record) std::printf("    {0x%08X, 0x%08X, 0x%08X},\n", hashes[0], hashes[1], hashes[2]);
  }
  if (record) std::printf("};\n");
  EXPECT_EQ(mismatches, 0) << "cases drawn otherwise than Windows draws them";
}

INSTANTIATE_TEST_SUITE_P(Shapes, GdiTable,
                         ::testing::Values(Primitive{"Rectangle", Rectangles, kRectangleHashes},
                                           Primitive{"Polygon", Polygons, kPolygonHashes},
                                           Primitive{"Line", Lines, kLineHashes},
                                           Primitive{"Pixel", Pixels, kPixelHashes},
                                           Primitive{"FloodFill", FloodFills, kFloodFillHashes},
                                           Primitive{"Ellipse", Ellipses, kEllipseHashes},
                                           Primitive{"RoundRect", RoundRects, kRoundRectHashes}),
                         [](const ::testing::TestParamInfo<Primitive>& info) { return std::string(info.param.name); });

}  // namespace
