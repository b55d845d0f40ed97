// The test card program on the headless display: its frame 0 against the
// picture the Windows build draws under Wine (tests/golden, taken by
// scripts/record-card-golden) on a 32-bit and a 16-bit desktop, and a long
// run that leaves nothing behind.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "card/card.h"
#include "card/program.h"
#include "hosted/hooks.h"
#include "runtime/facilities.h"
#include "hosted/fake_clock_screen.h"
#include "support/child_process.h"

namespace {

namespace fs = std::filesystem;

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// A bottom-up 24-bit BMP, as the card writes them; 0 x 0 when the file is
// not one.
pixels::Picture ReadBmp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M' || bytes[28] != 24) return pixels::Picture(0, 0);
  const auto width = static_cast<int>(Le32(bytes, 18)), height = static_cast<int>(Le32(bytes, 22));
  const size_t offset = Le32(bytes, 10), stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  if (width <= 0 || height <= 0 || bytes.size() < offset + stride * height) return pixels::Picture(0, 0);
  pixels::Picture picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = bytes.data() + offset + (height - 1 - y) * stride + x * 3;
      picture.at(x, y) = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
  return picture;
}

// Runs the card headless on a desktop of `format` and returns its frame 0.
pixels::Picture CardFrameZero(const std::string& format) {
  const fs::path file = fs::temp_directory_path() / ("card-" + std::to_string(getpid()) + "-" + format + ".bmp");
  ChildProcess card;
  const bool started = card.Start({CARD_PROGRAM, "--save-frame", "0", file.string()},
                                  {{"CUBE_DISPLAY", "headless"}, {"CUBE_REFRESH_HZ", "0"}, {"CUBE_DESKTOP_FORMAT", format}});
  const int code = started ? card.Finish() : -2;
  EXPECT_EQ(code, 0) << card.out << card.err;
  pixels::Picture picture = ReadBmp(file);
  fs::remove(file);
  return picture;
}

// Frame 0 on each desktop Wine opens a screen on: every panel pixel for
// pixel, except those whose filter is the platform's own (halftone), where
// at most 5% of the pixels may have a channel off by more than 24.
TEST(CardProgram, FrameZeroIsTheWindowsBuildsPicture) {
  for (const char* format : {"x8r8g8b8", "r5g6b5"}) {
    SCOPED_TRACE(format);
    const pixels::Picture expected = ReadBmp(fs::path(CARD_GOLDEN_DIR) / (std::string("card-") + format + ".bmp"));
    ASSERT_EQ(expected.width, CardWidth) << "golden picture missing: scripts/record-card-golden";
    const pixels::Picture actual = CardFrameZero(format);
    ASSERT_EQ(actual.width, CardWidth);
    ASSERT_EQ(actual.height, CardHeight);
    bool same = true;
    for (int32_t panel = 0; panel < CardPanelCount; ++panel) {
      const CardPanelInfo p = CardPanelAt(panel);
      long differing = 0, far = 0;
      for (int y = p.y; y < p.y + p.height; ++y)
        for (int x = p.x; x < p.x + p.width; ++x) {
          const int difference = pixels::ChannelDifference(actual.at(x, y), expected.at(x, y));
          differing += difference != 0;
          far += difference > 24;
        }
      const long allowed = CardPanelFiltered(panel) ? p.width * p.height / 20 : 0;
      const bool within = CardPanelFiltered(panel) ? far <= allowed : differing == 0;
      EXPECT_TRUE(within) << p.name << ": " << differing << " pixels differ, " << far << " by more than 24";
      same = same && within;
    }
    if (!same) {
      pixels::WritePng(pixels::OutputPath(format, "actual"), actual);
      pixels::WritePng(pixels::OutputPath(format, "expected"), expected);
    }
  }
}

using CardLongRunTest = FakeClockScreenFixture;

// Images registered, numbered and dynamic.
size_t LiveImages() {
  size_t live = 0;
  ObjectId id = 0;
  ObjectIterStart(ImageTable);
  while (ObjectIterNext(ImageTable, &id) != nullptr) ++live;
  return live;
}

// Every slot of the driver, counted on its way to the real one.
DrawSlots realSlots;
int slotCalls[26];

template <auto Slot, int Index>
struct Counted;
template <typename R, typename... A, R (*DrawSlots::*Slot)(A...), int Index>
struct Counted<Slot, Index> {
  static R Call(A... args) {
    ++slotCalls[Index];
    return (realSlots.*Slot)(args...);
  }
};

TEST_F(CardLongRunTest, AFrameUsesEveryOperationOfTheDriver) {
  OpenSceneScreen();
  ASSERT_TRUE(CardSetUp());
  DrawContext* target = ScreenDrawTarget();
  ASSERT_NE(target, nullptr);
  realSlots = target->slots;
  std::fill(std::begin(slotCalls), std::end(slotCalls), 0);
  const char* names[26] = {};
  int index = 0;
#define CARD_COUNT(slot)                                                       \
  names[index] = #slot;                                                        \
  target->slots.slot = &Counted<&DrawSlots::slot, __COUNTER__ - base>::Call; \
  ++index;
  constexpr int base = __COUNTER__ + 1;
  CARD_COUNT(ApplyBackColor) CARD_COUNT(PaintRect) CARD_COUNT(PaintRoundRect) CARD_COUNT(PaintCircle)
  CARD_COUNT(ApplyFont) CARD_COUNT(MapPixels) CARD_COUNT(PixelPitch) CARD_COUNT(PixelFormatCode)
  CARD_COUNT(ApplyMode) CARD_COUNT(PaintImage) CARD_COUNT(PaintImageScaled) CARD_COUNT(PaintImageBlended)
  CARD_COUNT(PaintText) CARD_COUNT(PaintTextAngled) CARD_COUNT(PaintEllipse) CARD_COUNT(PaintFloodFill)
  CARD_COUNT(ApplyColor) CARD_COUNT(CaptureImage) CARD_COUNT(PaintLine) CARD_COUNT(PaintPixel)
  CARD_COUNT(PaintPixelColor) CARD_COUNT(ReadPixel) CARD_COUNT(OpenOutput) CARD_COUNT(CloseOutput)
  CARD_COUNT(MeasureTextHeight) CARD_COUNT(MeasureTextWidth)
#undef CARD_COUNT
  ASSERT_EQ(index, 26);
  ASSERT_NE(DrawBegin(target), nullptr);
  CardDraw(0);
  DrawEnd();
  ScreenFlip();
  for (int i = 0; i < 26; ++i) EXPECT_GT(slotCalls[i], 0) << names[i] << " is not used by the card";
  CardTearDown();
}

TEST_F(CardLongRunTest, TenThousandFramesLeaveNothingBehind) {
  OpenSceneScreen();
  ASSERT_TRUE(CardSetUp());
  ASSERT_TRUE(CardFrame(0, nullptr));
  const unsigned gdi = hosted::GdiLiveObjects();
  const size_t blocks = hosted::HeapLiveBlocks(MainHeap);
  const int d3d = hosted::D3D9LiveObjects();
  const size_t images = LiveImages();
  EXPECT_EQ(images, 1u) << "the capture panel's image";
  for (int32_t frame = 1; frame <= 10000; ++frame) {
    CardFrame(frame, nullptr);
    WindowPollEvent();
  }
  EXPECT_EQ(hosted::GdiLiveObjects(), gdi);
  EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), blocks);
  EXPECT_EQ(hosted::D3D9LiveObjects(), d3d);
  EXPECT_EQ(LiveImages(), images);
  CardTearDown();
}

}  // namespace
