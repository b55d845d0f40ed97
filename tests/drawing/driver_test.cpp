// The device-context driver: its rectangles, colours, modes and pixel paths,
// checked on the pixels of a DIB section the way the screen's back buffer
// would show them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drawing/test_target.h"
#include "runtime/facilities.h"
#include "support/test_support.h"

namespace {

using draw_test::Selected;
using draw_test::Surface;
using pixels::Picture;
using pixels::SamePicture;

constexpr uint32_t White = 0xFFFFFF;
constexpr Colour Red = 0x0000C8;
constexpr Colour Green = 0x00C800;
constexpr Colour Blue = 0xC80000;

// A Colour (0x00BBGGRR) as a picture's 0x00RRGGBB, and back.
uint32_t SwapRedBlue(uint32_t c) { return (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// The 640 x 480 white surface with one rectangle of a colour on it.
Picture WhiteWith(int left, int top, int right, int bottom, Colour colour) {
  return Picture(640, 480, White).Fill(left, top, right, bottom, SwapRedBlue(static_cast<uint32_t>(colour)));
}

TEST(DrawColor, ComponentsPackAndCarryWithoutMasking) {
  EXPECT_EQ(ColorFromRgb(255, 255, 255), 0xFFFFFF);
  EXPECT_EQ(ColorFromRgb(0, 0, 255), 0xFF0000);
  EXPECT_EQ(ColorFromRgb(128, 128, 128), 0x808080);
  EXPECT_EQ(ColorFromRgb(1, 2, 3), 0x030201);
  // Out of range components carry into their neighbours.
  EXPECT_EQ(ColorFromRgb(256, 0, 0), ColorFromRgb(0, 1, 0));
  EXPECT_EQ(ColorFromRgb(0, 256, 0), ColorFromRgb(0, 0, 1));
  EXPECT_EQ(ColorFromRgb(0, 0, 256), 0x1000000);
  EXPECT_EQ(ColorFromRgb(-1, 0, 0), -1);
  EXPECT_EQ(ColorFromRgb(0, -1, 0), -256);
  // 32-bit wrap-around, in both directions.
  EXPECT_EQ(ColorFromRgb(0, 0, 0x10000), 0);
  EXPECT_EQ(ColorFromRgb(0x7FFFFFFF, 1, 0), static_cast<Colour>(0x800000FFu));
  EXPECT_EQ(ColorFromRgb(INT32_MIN, INT32_MIN, INT32_MIN), INT32_MIN);
}

// What GDI cannot show: 32-bit pixels are opaque, the 8-bit layout keeps
// the low byte, and a layout the driver does not know packs to 0.
TEST(DrawPixelValue, OpaqueEightBitAndUnknownLayouts) {
  EXPECT_EQ(PixelValue(PixelFormat8888, 0) >> 24, 0xFFu);
  EXPECT_EQ(PixelValue(PixelFormat8, 0x123456), 0x56u);
  EXPECT_EQ(PixelValue(PixelFormat8, 0xABCDEF), 0xEFu);
  EXPECT_EQ(PixelValue(3, 0x123456), 0u);
}

// Colours whose low bits GDI drops, and the extremes.
const Colour kSampleColours[] = {0x000000, 0xFFFFFF, 0x123456, 0x808080, 0x0000FF, 0x00FF00, 0xFF0000,
                                 0x070707, 0x080808, 0xF8FCF8, 0x7F3F1F, 0x010203, 0xC0C0C0, 0x3C8AE5};

// The overhang Windows' column scan finds for 16-pixel Tahoma italic
// (taken under Wine).
constexpr int32_t kTahomaItalicOverhang = 3;

class DrawDriverTest : public RuntimeHeapsTest {
 protected:
  Surface surface{640, 480, D3DFMT_X8R8G8B8};
  DrawContext* context = nullptr;

  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    draw_test::EnsureContextSlot();
    ASSERT_TRUE(surface.usable());
    surface.FillRaw(White);
    context = surface.Provide();
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(DrawBegin(context), surface.dc);
  }
  void TearDown() override {
    DrawEnd();
    RuntimeHeapsTest::TearDown();
  }

  // The colour the command level would apply before drawing.
  void UseColour(Colour colour) {
    context->color = colour;
    context->slots.ApplyColor(context, colour);
  }
  // The Colour of a pixel of the 32-bit surface (0x00RRGGBB in memory).
  uint32_t At(int x, int y) const { return SwapRedBlue(surface.Raw(x, y) & 0xFFFFFF); }
  // A red outline of 20 x 20 pixels at (10, 10) on white.
  static Picture Outline() { return WhiteWith(10, 10, 30, 30, Red).Fill(11, 11, 29, 29, White); }
};

TEST_F(DrawDriverTest, OnePixelRectanglesSetOnePixel) {
  UseColour(Red);
  const struct {
    int32_t w, h, px, py;
  } cases[] = {{1, 1, 100, 50}, {-1, -1, 99, 49}, {1, -1, 100, 49}, {-1, 1, 99, 50}};
  for (const auto& c : cases) {
    surface.FillRaw(White);
    context->slots.PaintRect(context, 100, 50, c.w, c.h);
    EXPECT_TRUE(SamePicture(surface.Picture(), WhiteWith(c.px, c.py, c.px + 1, c.py + 1, Red),
                            std::to_string(c.w) + "x" + std::to_string(c.h)));
  }
  // One pixel wide and five high goes through Rectangle.
  surface.FillRaw(White);
  context->slots.PaintRect(context, 100, 50, 1, 5);
  EXPECT_TRUE(SamePicture(surface.Picture(), WhiteWith(100, 50, 101, 55, Red), "1x5"));
}

TEST_F(DrawDriverTest, RectangleCoversItsPixelsButNotTheRightAndBottomEdges) {
  UseColour(Red);
  context->slots.PaintRect(context, 10, 20, 30, 40);
  const Picture expected = WhiteWith(10, 20, 40, 60, Red);
  EXPECT_TRUE(SamePicture(surface.Picture(), expected, "forward"));
  // Corners given the other way round cover the same pixels.
  surface.FillRaw(White);
  context->slots.PaintRect(context, 40, 60, -30, -40);
  EXPECT_TRUE(SamePicture(surface.Picture(), expected, "backward"));
}

TEST_F(DrawDriverTest, FullFillOnAFreshSessionBlackensEveryPixel) {
  const HBRUSH openingBrush = context->brush;
  EXPECT_EQ(context->color, -1);
  EXPECT_TRUE(DrawFillRect(0, 0, 640, 480, 0));
  EXPECT_EQ(surface.CountOther(0), 0);
  EXPECT_EQ(context->color, 0);
  // The session's black brush and pen are selected; the brush made when
  // the session opened is gone.
  EXPECT_EQ(Selected(surface.dc, NULL_BRUSH), context->brush);
  EXPECT_EQ(Selected(surface.dc, NULL_PEN), context->pen);
  EXPECT_NE(context->brush, openingBrush);
  EXPECT_EQ(GetObjectType(openingBrush), 0u);
  EXPECT_EQ(GetObjectType(context->pen), static_cast<DWORD>(OBJ_PEN));
  // Pen and brush are both black: a rectangle on white is solid black.
  surface.FillRaw(White);
  context->slots.PaintRect(context, 5, 5, 3, 3);
  EXPECT_TRUE(SamePicture(surface.Picture(), WhiteWith(5, 5, 8, 8, 0)));
}

// ApplyColor, counted on its way to the driver.
int applyColorCalls = 0;
void CountedApplyColor(DrawContext* context, Colour colour) {
  ++applyColorCalls;
  GdiDriver.ApplyColor(context, colour);
}

TEST_F(DrawDriverTest, SameColourAppliesNothingAndDrawsWithWhatIsSelected) {
  applyColorCalls = 0;
  context->slots.ApplyColor = CountedApplyColor;
  DrawFillRect(0, 0, 10, 10, Red);
  const HBRUSH brush = context->brush;
  const HPEN pen = context->pen;
  EXPECT_EQ(applyColorCalls, 1);

  // The caller selects its own objects; the same colour applies nothing.
  HBRUSH callerBrush = CreateSolidBrush(static_cast<COLORREF>(Green));
  HPEN callerPen = CreatePen(PS_SOLID, 0, static_cast<COLORREF>(Blue));
  SelectObject(surface.dc, callerBrush);
  SelectObject(surface.dc, callerPen);
  DrawFillRect(20, 20, 10, 10, Red);
  EXPECT_EQ(applyColorCalls, 1);
  EXPECT_EQ(context->brush, brush);
  EXPECT_EQ(context->pen, pen);
  EXPECT_EQ(At(25, 25), static_cast<uint32_t>(Green));
  EXPECT_EQ(At(20, 20), static_cast<uint32_t>(Blue));
  EXPECT_EQ(At(5, 5), static_cast<uint32_t>(Red));

  // A new colour replaces the session's objects and selects them over the
  // caller's, which stay the caller's.
  DrawFillRect(40, 40, 10, 10, Green);
  EXPECT_EQ(applyColorCalls, 2);
  EXPECT_EQ(GetObjectType(brush), 0u);
  EXPECT_EQ(GetObjectType(pen), 0u);
  EXPECT_EQ(Selected(surface.dc, NULL_BRUSH), context->brush);
  EXPECT_EQ(Selected(surface.dc, NULL_PEN), context->pen);
  EXPECT_EQ(At(40, 40), static_cast<uint32_t>(Green));
  EXPECT_EQ(At(45, 45), static_cast<uint32_t>(Green));
  EXPECT_TRUE(DeleteObject(callerBrush));
  EXPECT_TRUE(DeleteObject(callerPen));
}

TEST_F(DrawDriverTest, FillRectAddsTheOrigin) {
  context->originX = 100;
  context->originY = 200;
  DrawFillRect(1, 2, 3, 4, Red);
  EXPECT_TRUE(SamePicture(surface.Picture(), WhiteWith(101, 202, 104, 206, Red)));
}

TEST_F(DrawDriverTest, OutlineModeDrawsOnlyTheEdgeAndMakesNoBrush) {
  context->slots.ApplyMode(context, ModeOutline);
  EXPECT_EQ(context->mode, ModeOutline);
  EXPECT_EQ(Selected(surface.dc, WHITE_BRUSH), GetStockObject(NULL_BRUSH));
  const HBRUSH brush = context->brush;
  DrawFillRect(10, 10, 20, 20, Red);
  EXPECT_EQ(context->brush, brush);
  EXPECT_EQ(Selected(surface.dc, WHITE_BRUSH), GetStockObject(NULL_BRUSH));
  EXPECT_TRUE(SamePicture(surface.Picture(), Outline(), "outline"));

  // Leaving the mode selects the session's brush again.
  context->slots.ApplyMode(context, 0);
  EXPECT_EQ(Selected(surface.dc, WHITE_BRUSH), context->brush);
  EXPECT_NE(context->brush, brush);
  surface.FillRaw(White);
  DrawFillRect(10, 10, 20, 20, Red);
  EXPECT_TRUE(SamePicture(surface.Picture(), WhiteWith(10, 10, 30, 30, Red), "filled"));
}

TEST_F(DrawDriverTest, InvertModeInvertsWhatIsThere) {
  context->slots.ApplyMode(context, ModeInvert);
  DrawFillRect(10, 10, 10, 10, Red);
  EXPECT_EQ(At(10, 10), 0u);
  EXPECT_EQ(At(15, 15), 0u);
  EXPECT_EQ(surface.CountOther(White), 100);
  DrawFillRect(10, 10, 10, 10, Red);
  EXPECT_EQ(surface.CountOther(White), 0);
  context->slots.ApplyMode(context, 0);
  DrawFillRect(10, 10, 10, 10, Red);
  EXPECT_EQ(At(15, 15), static_cast<uint32_t>(Red));
}

TEST_F(DrawDriverTest, BackColourGoesToTheDcOnly) {
  EXPECT_EQ(context->slots.ApplyBackColor(context, 0x123456), 0xFFFFFF);
  EXPECT_EQ(context->slots.ApplyBackColor(context, 0x654321), 0x123456);
  EXPECT_EQ(context->backColor, -1);
}

TEST_F(DrawDriverTest, PixelAndReadPixelUseTheCurrentColour) {
  UseColour(Blue);
  EXPECT_TRUE(context->slots.PaintPixel(context, 7, 9));
  EXPECT_EQ(context->slots.ReadPixel(context, 7, 9), Blue);
  EXPECT_EQ(context->slots.ReadPixel(context, 8, 9), static_cast<Colour>(White));
  EXPECT_EQ(surface.CountOther(White), 1);
}

// Both end points are drawn, whichever way the line runs; in invert mode
// the end point is inverted with the rest.
TEST_F(DrawDriverTest, LinesDrawBothEndPoints) {
  UseColour(Red);
  EXPECT_TRUE(context->slots.PaintLine(context, 0, 0, 3, 0));
  EXPECT_TRUE(SamePicture(surface.Picture(), WhiteWith(0, 0, 4, 1, Red), "across"));
  surface.FillRaw(White);
  context->slots.PaintLine(context, 5, 9, 5, 2);
  EXPECT_TRUE(SamePicture(surface.Picture(), WhiteWith(5, 2, 6, 10, Red), "up"));
  surface.FillRaw(White);
  context->slots.ApplyMode(context, ModeInvert);
  context->slots.PaintLine(context, 10, 10, 13, 10);
  EXPECT_TRUE(SamePicture(surface.Picture(), WhiteWith(10, 10, 14, 11, 0), "inverted"));
  context->slots.ApplyMode(context, 0);
}

// Inside a red outline on white: the area of the colour found at the point,
// or the area up to a border colour; in outline mode too, and a point off
// the target fills nothing.
TEST_F(DrawDriverTest, FloodFillsTheAreaOfAColourOrUpToABorder) {
  for (int32_t mode : {0, ModeOutline}) {
    for (Colour border : {Colour{-1}, Colour{Red}}) {
      const std::string name = std::to_string(mode) + "," + std::to_string(border);
      surface.FillRaw(White);
      context->slots.ApplyMode(context, ModeOutline);
      DrawFillRect(10, 10, 20, 20, Red);
      context->slots.ApplyMode(context, mode);
      UseColour(Blue);
      EXPECT_TRUE(context->slots.PaintFloodFill(context, 15, 15, border)) << name;
      EXPECT_TRUE(SamePicture(surface.Picture(), Outline().Fill(11, 11, 29, 29, SwapRedBlue(Blue)), name));
      EXPECT_FALSE(context->slots.PaintFloodFill(context, -1, 15, border)) << name;
      EXPECT_EQ(context->mode, mode);
    }
  }
  // The mode is back: a rectangle in outline mode is still only an outline.
  surface.FillRaw(White);
  DrawFillRect(10, 10, 20, 20, Red);
  EXPECT_TRUE(SamePicture(surface.Picture(), Outline(), "outline after the fill"));
}

// Circles and ellipses of radius 0 and 1 are drawn pixel by pixel: the
// neighbours a radius of 1 reaches, and the centre unless outline mode
// leaves it out.
TEST_F(DrawDriverTest, SmallCirclesAndEllipsesAreTheirPixels) {
  using Offsets = std::vector<POINT>;
  const Offsets centre = {{0, 0}}, across = {{-1, 0}, {0, 0}, {1, 0}}, down = {{0, -1}, {0, 0}, {0, 1}};
  const Offsets plus = {{0, -1}, {-1, 0}, {0, 0}, {1, 0}, {0, 1}}, ring = {{0, -1}, {-1, 0}, {1, 0}, {0, 1}};
  const struct {
    bool circle;
    int32_t rx, ry, mode;
    Offsets lit;
  } cases[] = {
      {true, 0, 0, 0, centre},           {true, 0, 0, ModeOutline, centre},  {true, 1, 1, 0, plus},
      {true, 1, 1, ModeOutline, ring},   {false, 0, 0, 0, centre},           {false, 0, 0, ModeOutline, centre},
      {false, 1, 0, 0, across},          {false, 1, 0, ModeOutline, across}, {false, 0, 1, ModeOutline, down},
      {false, 1, 1, 0, plus},            {false, 1, 1, ModeOutline, ring},
  };
  for (const auto& c : cases) {
    const std::string name = std::string(c.circle ? "circle " : "ellipse ") + std::to_string(c.rx) + "," +
                             std::to_string(c.ry) + (c.mode != 0 ? " outline" : "");
    surface.FillRaw(White);
    context->slots.ApplyMode(context, c.mode);
    UseColour(Red);
    if (c.circle) EXPECT_TRUE(context->slots.PaintCircle(context, 100, 50, c.rx)) << name;
    else EXPECT_TRUE(context->slots.PaintEllipse(context, 100, 50, c.rx, c.ry)) << name;
    Picture expected(640, 480, White);
    for (const POINT& p : c.lit) expected.at(100 + p.x, 50 + p.y) = SwapRedBlue(Red);
    EXPECT_TRUE(SamePicture(surface.Picture(), expected, name));
  }
  context->slots.ApplyMode(context, 0);
}

// Larger radii go to the platform's ellipse in the box about the centre,
// and a rounded rectangle's corner radii are doubled into its ellipse.
TEST_F(DrawDriverTest, LargerShapesAreThePlatformsOwn) {
  UseColour(Red);
  context->slots.PaintCircle(context, 100, 50, 7);
  const Picture circle = surface.Picture();
  surface.FillRaw(White);
  Ellipse(surface.dc, 93, 43, 108, 58);
  EXPECT_TRUE(SamePicture(circle, surface.Picture(), "circle"));
  surface.FillRaw(White);
  context->slots.PaintEllipse(context, 100, 50, 9, 4);
  const Picture ellipse = surface.Picture();
  surface.FillRaw(White);
  Ellipse(surface.dc, 91, 46, 110, 55);
  EXPECT_TRUE(SamePicture(ellipse, surface.Picture(), "ellipse"));
  surface.FillRaw(White);
  context->slots.PaintRoundRect(context, 10, 20, 40, 30, 6, 5);
  const Picture rounded = surface.Picture();
  surface.FillRaw(White);
  RoundRect(surface.dc, 10, 20, 50, 50, 12, 10);
  EXPECT_TRUE(SamePicture(rounded, surface.Picture(), "rounded rectangle"));
  EXPECT_GT(surface.CountOther(White), 0);
}

TEST_F(DrawDriverTest, LockedPixelsAndRegainedDcRoundTrip) {
  DrawFillRect(0, 0, 10, 10, Red);
  EXPECT_EQ(context->slots.PixelFormatCode(context), PixelFormat8888);
  // The pitch is known once the pixels are locked.
  EXPECT_EQ(context->slots.PixelPitch(context), 0);

  EXPECT_EQ(context->slots.MapPixels(context), surface.bits);
  EXPECT_EQ(context->dcState, DcGivenUpForPixels);
  EXPECT_EQ(context->dc, nullptr);
  EXPECT_EQ(context->slots.PixelPitch(context), 640 * 4);
  EXPECT_EQ(surface.lockCalls, 1);
  // Already locked: the same pixels, no second lock.
  EXPECT_EQ(context->slots.MapPixels(context), surface.bits);
  EXPECT_EQ(surface.lockCalls, 1);

  // The same colour applies nothing: only the regained state draws red.
  DrawFillRect(20, 20, 10, 10, Red);
  EXPECT_EQ(surface.acquireCalls, 1);
  EXPECT_EQ(context->dcState, DcHeld);
  EXPECT_EQ(context->dc, surface.dc);
  EXPECT_EQ(At(20, 20), static_cast<uint32_t>(Red));
  EXPECT_EQ(At(25, 25), static_cast<uint32_t>(Red));
  // Held: nothing more to regain.
  DrawFillRect(40, 40, 10, 10, Red);
  EXPECT_EQ(surface.acquireCalls, 1);
  EXPECT_EQ(surface.lockCalls, 1);
}

TEST_F(DrawDriverTest, RegainedDcKeepsOutlineMode) {
  context->slots.ApplyMode(context, ModeOutline);
  DrawFillRect(0, 0, 1, 1, Red);
  context->slots.MapPixels(context);
  surface.FillRaw(White);
  DrawFillRect(10, 10, 20, 20, Red);
  EXPECT_EQ(surface.acquireCalls, 1);
  EXPECT_TRUE(SamePicture(surface.Picture(), Outline()));
}

TEST_F(DrawDriverTest, OtherKindsOfTargetHaveNoPixelAccess) {
  context->targetKind = 0;
  EXPECT_EQ(context->slots.MapPixels(context), nullptr);
  EXPECT_EQ(context->slots.PixelPitch(context), 0);
  EXPECT_EQ(context->slots.PixelFormatCode(context), PixelFormatNone);
  // The pixel goes through the device context instead.
  context->slots.PaintPixelColor(context, 3, 4, Green);
  EXPECT_EQ(surface.lockCalls, 0);
  EXPECT_EQ(At(3, 4), static_cast<uint32_t>(Green));
  context->targetKind = TargetLockableSurface;
}

TEST_F(DrawDriverTest, PixelColourWritesLockedMemoryAndLocksOnce) {
  for (int i = 0; i < 50; ++i) context->slots.PaintPixelColor(context, i, 7, Blue);
  EXPECT_EQ(surface.lockCalls, 1);
  EXPECT_EQ(context->dcState, DcGivenUpForPixels);
  EXPECT_EQ(surface.Raw(0, 7), PixelValue(PixelFormat8888, Blue));
  EXPECT_EQ(surface.Raw(49, 7), PixelValue(PixelFormat8888, Blue));
  EXPECT_EQ(surface.CountOther(White), 50);
  // Reading goes through the device context, which is taken back once.
  EXPECT_EQ(context->slots.ReadPixel(context, 49, 7), Blue);
  EXPECT_EQ(surface.acquireCalls, 1);
  // Points off the target are left alone.
  context->slots.PaintPixelColor(context, 640, 0, Blue);
  context->slots.PaintPixelColor(context, -1, 0, Blue);
  context->slots.PaintPixelColor(context, 0, 480, Blue);
  EXPECT_EQ(surface.CountOther(White), 50);
  // A layout without a direct path goes through the device context.
  context->pixelFormat = 8;
  context->slots.PaintPixelColor(context, 60, 7, Red);
  EXPECT_EQ(surface.acquireCalls, 2);
  EXPECT_EQ(At(60, 7), static_cast<uint32_t>(Red));
}

TEST_F(DrawDriverTest, EmptyTextMeasuresZeroWithoutTheDc) {
  context->slots.MapPixels(context);
  const WCHAR empty[] = {0};
  EXPECT_EQ(context->slots.MeasureTextWidth(context, empty), 0);
  EXPECT_EQ(context->slots.MeasureTextWidth(context, nullptr), 0);
  EXPECT_EQ(context->slots.MeasureTextHeight(context, empty), 0);
  EXPECT_EQ(context->dcState, DcGivenUpForPixels);
  EXPECT_EQ(surface.acquireCalls, 0);
}

// The rotated font is made once per angle a turn apart and again for a new
// angle, the old one deleted; ApplyFont drops it, and so does the
// session's end.
TEST_F(DrawDriverTest, RotatedFontIsMadeOncePerAngleAndDroppedWithTheFont) {
  const WCHAR text[] = {'A', 'b', 0};
  ASSERT_TRUE(context->slots.PaintTextAngled(context, 100, 100, text, 0.0f));
  HFONT first = context->angledFont;
  ASSERT_NE(first, nullptr);
  for (float angle : {360.0f, 720.0f, 0.0f}) {
    EXPECT_TRUE(context->slots.PaintTextAngled(context, 100, 100, text, angle));
    EXPECT_EQ(context->angledFont, first) << angle;
  }
  EXPECT_TRUE(context->slots.PaintTextAngled(context, 100, 100, text, 90.0f));
  HFONT second = context->angledFont;
  EXPECT_NE(second, first);
  EXPECT_EQ(GetObjectType(first), 0u) << "the copy for the old angle is deleted";
  LOGFONTW rotated = {};
  ASSERT_EQ(GetObjectW(second, sizeof rotated, &rotated), static_cast<int>(sizeof rotated));
  EXPECT_EQ(rotated.lfEscapement, 900);
  EXPECT_EQ(rotated.lfOrientation, 900);
  EXPECT_EQ(rotated.lfOutPrecision, OUT_TT_ONLY_PRECIS);
  EXPECT_EQ(GetCurrentObject(surface.dc, OBJ_FONT), context->font) << "the session's font is selected again";
  // Empty text draws nothing and makes nothing.
  const WCHAR empty[] = {0};
  EXPECT_FALSE(context->slots.PaintTextAngled(context, 0, 0, empty, 45.0f));
  EXPECT_EQ(context->angledFont, second);
  context->slots.ApplyFont(context, DrawStockFont());
  EXPECT_EQ(context->angledFont, nullptr);
  EXPECT_EQ(GetObjectType(second), 0u);
  EXPECT_EQ(context->font, GetStockObject(SYSTEM_FONT));
  EXPECT_TRUE(context->slots.PaintTextAngled(context, 100, 100, text, 30.0f));
  HFONT third = context->angledFont;
  DrawEnd();
  EXPECT_EQ(GetObjectType(third), 0u);
}

// Text goes at (x, y) and the slot answers the x after it; measures are
// the platform's extent, with an italic font's overhang added to widths.
TEST_F(DrawDriverTest, TextAdvancesAndMeasuresAsThePlatformDoes) {
  const WCHAR text[] = {'H', 'e', 'l', 'l', 'o', 0};
  SIZE extent = {};
  ASSERT_TRUE(GetTextExtentPoint32W(surface.dc, text, 5, &extent));
  EXPECT_EQ(context->slots.PaintText(context, 10, 20, text), 10 + extent.cx);
  EXPECT_EQ(context->slots.MeasureTextWidth(context, text), extent.cx);
  EXPECT_EQ(context->slots.MeasureTextHeight(context, text), extent.cy);
  EXPECT_GT(surface.CountOther(White), 0) << "the text was drawn";
  POINT position = {-1, -1};
  MoveToEx(surface.dc, 0, 0, &position);
  EXPECT_EQ(position.x, 0);
  EXPECT_EQ(position.y, 0);
  // An upright font leans past nothing; an italic one does.
  EXPECT_EQ(context->italicOverhang, 0);
  HFONT italic = CreateFontW(-16, 0, 0, 0, FW_NORMAL, TRUE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, VARIABLE_PITCH, TEXT("Tahoma"));
  ASSERT_NE(italic, nullptr);
  context->slots.ApplyFont(context, italic);
  EXPECT_EQ(context->italicOverhang, kTahomaItalicOverhang);
  ASSERT_TRUE(GetTextExtentPoint32W(surface.dc, text, 5, &extent));
  EXPECT_EQ(context->slots.MeasureTextWidth(context, text), extent.cx + kTahomaItalicOverhang);
  context->slots.ApplyFont(context, DrawStockFont());
  EXPECT_TRUE(DeleteObject(italic));
}

// Images: captures under a dynamic and a chosen number (24 bits on a
// 32-bit target only when asked), drawn back at their size, stretched and
// inverted, blended at constant and per-pixel alpha, and an icon.
TEST_F(DrawDriverTest, ImagesAreCapturedDrawnBackAndBlended) {
  // The table lives in this test's heap, made here and forgotten at the end.
  ImagesInit();
  if (ImageDrawing.msimg32 == nullptr) ImageDrawingInit();
  ASSERT_NE(ImageDrawing.alphaBlend, nullptr);
  UseColour(Red);
  ASSERT_TRUE(context->slots.PaintRect(context, 10, 10, 20, 20));
  BITMAP description = {};

  auto* dynamic = static_cast<ImageRecord*>(context->slots.CaptureImage(context, ObjectAny, 10, 10, 20, 20));
  ASSERT_NE(dynamic, nullptr);
  EXPECT_EQ(ObjectGet(ImageTable, reinterpret_cast<ObjectId>(dynamic)), dynamic);
  ASSERT_EQ(GetObjectW(dynamic->handle, sizeof description, &description), static_cast<int>(sizeof description));
  EXPECT_EQ(std::vector<int>({description.bmWidth, description.bmHeight, description.bmBitsPixel}),
            std::vector<int>({20, 20, 24}));
  EXPECT_EQ(std::vector<int>({dynamic->width, dynamic->height, dynamic->depth}), std::vector<int>({20, 20, 24}));
  context->grabAs24 = 0;
  auto bitmap = static_cast<HBITMAP>(context->slots.CaptureImage(context, 3, 10, 10, 20, 20));
  ASSERT_NE(bitmap, nullptr);
  ASSERT_NE(ObjectGet(ImageTable, 3), nullptr);
  EXPECT_EQ(static_cast<ImageRecord*>(ObjectGet(ImageTable, 3))->handle, bitmap);
  ASSERT_EQ(GetObjectW(bitmap, sizeof description, &description), static_cast<int>(sizeof description));
  EXPECT_EQ(description.bmBitsPixel, 32);

  // Drawn back: copied, stretched (a plain colour stays plain), inverted.
  EXPECT_TRUE(context->slots.PaintImage(context, bitmap, 100, 100));
  EXPECT_TRUE(context->slots.PaintImageScaled(context, dynamic->handle, 200, 100, 40, 40));
  context->slots.ApplyMode(context, ModeInvert);
  EXPECT_TRUE(context->slots.PaintImage(context, bitmap, 300, 100));
  context->slots.ApplyMode(context, 0);
  Picture expected = WhiteWith(10, 10, 30, 30, Red).Fill(100, 100, 120, 120, SwapRedBlue(Red));
  expected.Fill(200, 100, 240, 140, SwapRedBlue(Red)).Fill(300, 100, 320, 120, SwapRedBlue(~Red & 0xFFFFFF));

  // A 24-bit image blended at constant alpha: 0 draws nothing, 255
  // copies, 128 halves. (A 32-bit section would count as carrying its own
  // alpha, all 0 in a capture.)
  EXPECT_TRUE(context->slots.PaintImageBlended(context, dynamic->handle, 400, 100, 0));
  EXPECT_TRUE(context->slots.PaintImageBlended(context, dynamic->handle, 430, 100, 255));
  EXPECT_TRUE(context->slots.PaintImageBlended(context, dynamic->handle, 460, 100, 128));
  expected.Fill(430, 100, 450, 120, SwapRedBlue(Red));
  const uint32_t half = At(470, 110);
  expected.Fill(460, 100, 480, 120, SwapRedBlue(half));
  EXPECT_NEAR(static_cast<int>(half & 0xFF), 0xC8 / 2 + 0xFF / 2, 2) << std::hex << half;
  EXPECT_NEAR(static_cast<int>((half >> 8) & 0xFF), 0x7F, 2) << std::hex << half;
  EXPECT_TRUE(SamePicture(surface.Picture(), expected, "images"));

  // Per-pixel alpha, from a section and from a plain 32-bit bitmap whose
  // alpha bytes are set: half-covered blue over white.
  const uint32_t halfBlue[4] = {0x800000FF, 0x800000FF, 0x800000FF, 0x800000FF};
  HBITMAP plain = CreateBitmap(2, 2, 1, 32, halfBlue);
  ASSERT_NE(plain, nullptr);
  EXPECT_TRUE(context->slots.PaintImageBlended(context, plain, 500, 100, 255));
  const uint32_t blended = At(500, 100);
  EXPECT_NEAR(static_cast<int>((blended >> 16) & 0xFF), 0xFF, 1) << std::hex << blended;
  EXPECT_NEAR(static_cast<int>(blended & 0xFF), 0x7F, 2) << std::hex << blended;
  DeleteObject(plain);

  // An icon is drawn as an icon: its colour where its mask is clear.
  const uint32_t green[16] = {0x0000C800, 0x0000C800, 0x0000C800, 0x0000C800, 0x0000C800, 0x0000C800,
                              0x0000C800, 0x0000C800, 0x0000C800, 0x0000C800, 0x0000C800, 0x0000C800,
                              0x0000C800, 0x0000C800, 0x0000C800, 0x0000C800};
  const uint16_t mask[4] = {0, 0, 0, 0};
  ICONINFO info = {TRUE, 0, 0, CreateBitmap(4, 4, 1, 1, mask), CreateBitmap(4, 4, 1, 32, green)};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(info.hbmMask);
  DeleteObject(info.hbmColor);
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(context->slots.PaintImage(context, icon, 550, 100));
  EXPECT_EQ(At(551, 101), static_cast<uint32_t>(Green));
  DestroyIcon(icon);
  ImagesEnd();
  EXPECT_EQ(ObjectGet(ImageTable, 3), nullptr);
  ImageTable = nullptr;
}

// The direct path stores what PixelValue packs, and its colour is what GDI
// writes and reads back for the same colour, in every surface format.
class DrawPixelColourTest : public RuntimeHeapsTest, public ::testing::WithParamInterface<D3DFORMAT> {};

TEST_P(DrawPixelColourTest, DirectPixelsMatchGdiPixels) {
  draw_test::EnsureContextSlot();
  Surface surface(32, 4, GetParam());
  ASSERT_TRUE(surface.usable());
  DrawContext* context = surface.Provide();
  ASSERT_NE(context, nullptr);
  ASSERT_EQ(DrawBegin(context), surface.dc);
  int x = 0;
  for (Colour c : kSampleColours) {
    context->slots.PaintPixelColor(context, x, 0, c);
    ++x;
  }
  EXPECT_EQ(surface.lockCalls, 1);
  x = 0;
  for (Colour c : kSampleColours) {
    SetPixelV(surface.dc, x, 1, static_cast<COLORREF>(c));
    EXPECT_EQ(surface.Raw(x, 0) & pixels::ColourBits(GetParam()), surface.Raw(x, 1)) << std::hex << c;
    EXPECT_EQ(surface.Raw(x, 0), PixelValue(surface.formatCode(), c)) << std::hex << c;
    ++x;
  }
  x = 0;
  for (Colour c : kSampleColours) {
    EXPECT_EQ(context->slots.ReadPixel(context, x, 0), static_cast<Colour>(GetPixel(surface.dc, x, 1)))
        << std::hex << c;
    ++x;
  }
  EXPECT_EQ(surface.acquireCalls, 1);
  DrawEnd();
}

INSTANTIATE_TEST_SUITE_P(Formats, DrawPixelColourTest,
                         ::testing::Values(D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5),
                         [](const ::testing::TestParamInfo<D3DFORMAT>& info) { return pixels::Name(info.param); });

}  // namespace
