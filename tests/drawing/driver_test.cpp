// The device-context driver: its rectangles, colours, modes and pixel paths,
// checked on the pixels of a DIB section the way the screen's back buffer
// would show them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "drawing/test_target.h"
#include "support/test_support.h"

namespace {

using draw_test::Format;
using draw_test::Selected;
using draw_test::Surface;

constexpr uint32_t White = 0xFFFFFF;
constexpr Colour Red = 0x0000C8;
constexpr Colour Green = 0x00C800;
constexpr Colour Blue = 0xC80000;

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

TEST(DrawPixelValue, PacksEachLayout) {
  EXPECT_EQ(PixelValue(PixelFormat8, 0x123456), 0x56u);
  EXPECT_EQ(PixelValue(PixelFormat8, 0xABCDEF), 0xEFu);
  EXPECT_EQ(PixelValue(PixelFormat8888, 0x123456), 0xFF563412u);
  EXPECT_EQ(PixelValue(PixelFormat8888, 0), 0xFF000000u);
  EXPECT_EQ(PixelValue(PixelFormat565, 0xFFFFFF), 0xFFFFu);
  EXPECT_EQ(PixelValue(PixelFormat565, 0x0000FF), 0xF800u);
  EXPECT_EQ(PixelValue(PixelFormat565, 0x00FF00), 0x07E0u);
  EXPECT_EQ(PixelValue(PixelFormat565, 0xFF0000), 0x001Fu);
  EXPECT_EQ(PixelValue(PixelFormat555, 0xFFFFFF), 0x7FFFu);
  EXPECT_EQ(PixelValue(PixelFormat555, 0x0000FF), 0x7C00u);
  EXPECT_EQ(PixelValue(PixelFormat555, 0x00FF00), 0x03E0u);
  EXPECT_EQ(PixelValue(PixelFormat555, 0xFF0000), 0x001Fu);
  EXPECT_EQ(PixelValue(3, 0x123456), 0u);
}

// Colours whose low bits GDI drops, and the extremes.
const Colour kSampleColours[] = {0x000000, 0xFFFFFF, 0x123456, 0x808080, 0x0000FF, 0x00FF00, 0xFF0000,
                                 0x070707, 0x080808, 0xF8FCF8, 0x7F3F1F, 0x010203, 0xC0C0C0, 0x3C8AE5};

// What GDI itself writes for a colour is what the direct path stores.
TEST(DrawPixelValue, MatchesWhatGdiWritesInEachSurfaceFormat) {
  const struct {
    Format format;
    int32_t code;
    uint32_t mask;
  } formats[] = {{Format::X8R8G8B8, PixelFormat8888, 0xFFFFFF},
                 {Format::R5G6B5, PixelFormat565, 0xFFFF},
                 {Format::X1R5G5B5, PixelFormat555, 0x7FFF}};
  for (const auto& f : formats) {
    Surface surface(16, 1, f.format);
    ASSERT_TRUE(surface.usable());
    int x = 0;
    for (Colour c : kSampleColours) {
      SetPixelV(surface.dc, x, 0, static_cast<COLORREF>(c));
      EXPECT_EQ(surface.Raw(x, 0) & f.mask, PixelValue(f.code, c) & f.mask)
          << "format " << f.code << " colour " << std::hex << c;
      ++x;
    }
  }
}

class DrawDriverTest : public RuntimeHeapsTest {
 protected:
  Surface surface{640, 480, Format::X8R8G8B8};
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
  uint32_t At(int x, int y) const {
    const uint32_t raw = surface.Raw(x, y);
    return ((raw & 0xFF) << 16) | (raw & 0xFF00) | ((raw >> 16) & 0xFF);
  }
};

TEST_F(DrawDriverTest, OnePixelRectanglesSetOnePixel) {
  UseColour(Red);
  const struct {
    int32_t w, h, px, py;
  } cases[] = {{1, 1, 100, 50}, {-1, -1, 99, 49}, {1, -1, 100, 49}, {-1, 1, 99, 50}};
  for (const auto& c : cases) {
    surface.FillRaw(White);
    context->slots.PaintRect(context, 100, 50, c.w, c.h);
    EXPECT_EQ(At(c.px, c.py), static_cast<uint32_t>(Red)) << c.w << "," << c.h;
    EXPECT_EQ(surface.CountOther(White), 1) << c.w << "," << c.h;
  }
  // One pixel wide and five high goes through Rectangle.
  surface.FillRaw(White);
  context->slots.PaintRect(context, 100, 50, 1, 5);
  for (int y = 50; y < 55; ++y) EXPECT_EQ(At(100, y), static_cast<uint32_t>(Red)) << y;
  EXPECT_EQ(surface.CountOther(White), 5);
}

TEST_F(DrawDriverTest, RectangleCoversItsPixelsButNotTheRightAndBottomEdges) {
  UseColour(Red);
  context->slots.PaintRect(context, 10, 20, 30, 40);
  EXPECT_EQ(surface.CountOther(White), 30 * 40);
  EXPECT_EQ(At(10, 20), static_cast<uint32_t>(Red));
  EXPECT_EQ(At(39, 59), static_cast<uint32_t>(Red));
  EXPECT_EQ(At(40, 59), White);
  EXPECT_EQ(At(39, 60), White);
  // Corners given the other way round cover the same pixels.
  surface.FillRaw(White);
  context->slots.PaintRect(context, 40, 60, -30, -40);
  EXPECT_EQ(surface.CountOther(White), 30 * 40);
  EXPECT_EQ(At(10, 20), static_cast<uint32_t>(Red));
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
  for (int y = 5; y < 8; ++y)
    for (int x = 5; x < 8; ++x) EXPECT_EQ(At(x, y), 0u) << x << "," << y;
  EXPECT_EQ(surface.CountOther(White), 9);
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
  EXPECT_EQ(At(101, 202), static_cast<uint32_t>(Red));
  EXPECT_EQ(At(103, 205), static_cast<uint32_t>(Red));
  EXPECT_EQ(surface.CountOther(White), 12);
}

TEST_F(DrawDriverTest, OutlineModeDrawsOnlyTheEdgeAndMakesNoBrush) {
  context->slots.ApplyMode(context, ModeOutline);
  EXPECT_EQ(context->mode, ModeOutline);
  EXPECT_EQ(Selected(surface.dc, WHITE_BRUSH), GetStockObject(NULL_BRUSH));
  const HBRUSH brush = context->brush;
  DrawFillRect(10, 10, 20, 20, Red);
  EXPECT_EQ(context->brush, brush);
  EXPECT_EQ(Selected(surface.dc, WHITE_BRUSH), GetStockObject(NULL_BRUSH));
  EXPECT_EQ(At(10, 10), static_cast<uint32_t>(Red));
  EXPECT_EQ(At(29, 29), static_cast<uint32_t>(Red));
  EXPECT_EQ(At(20, 20), White);
  EXPECT_EQ(surface.CountOther(White), 4 * 19);

  // Leaving the mode selects the session's brush again.
  context->slots.ApplyMode(context, 0);
  EXPECT_EQ(Selected(surface.dc, WHITE_BRUSH), context->brush);
  EXPECT_NE(context->brush, brush);
  surface.FillRaw(White);
  DrawFillRect(10, 10, 20, 20, Red);
  EXPECT_EQ(surface.CountOther(White), 20 * 20);
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
  EXPECT_EQ(At(10, 10), static_cast<uint32_t>(Red));
  EXPECT_EQ(At(20, 20), White);
  EXPECT_EQ(surface.CountOther(White), 4 * 19);
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

// The direct path and GDI agree on 16-bit surfaces too.
class DrawPixelColour16Test : public RuntimeHeapsTest, public ::testing::WithParamInterface<Format> {};

TEST_P(DrawPixelColour16Test, DirectPixelsMatchGdiPixels) {
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
    EXPECT_EQ(surface.Raw(x, 0), surface.Raw(x, 1)) << std::hex << c;
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

INSTANTIATE_TEST_SUITE_P(Formats, DrawPixelColour16Test, ::testing::Values(Format::R5G6B5, Format::X1R5G5B5),
                         [](const ::testing::TestParamInfo<Format>& info) {
                           return std::string(info.param == Format::R5G6B5 ? "R5G6B5" : "X1R5G5B5");
                         });

}  // namespace
