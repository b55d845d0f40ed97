// The drawing layer's platform objects, counted by the substitute: every
// object a session makes is deleted exactly once, none is left waiting for
// a DC to let it go, and the caller's objects are never touched.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "drawing/test_target.h"
#include "hosted/hooks.h"
#include "runtime/facilities.h"
#include "support/test_support.h"

namespace {

using draw_test::Surface;

struct GdiCounts {
  unsigned brushes = hosted::GdiLiveObjects(OBJ_BRUSH);
  unsigned pens = hosted::GdiLiveObjects(OBJ_PEN);
  unsigned all = hosted::GdiLiveObjects();
};

class DrawObjectsTest : public RuntimeHeapsTest {
 protected:
  Surface surface{64, 48, D3DFMT_X8R8G8B8};
  GdiCounts start;
  DrawContext* context = nullptr;

  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    draw_test::EnsureContextSlot();
    ASSERT_TRUE(surface.usable());
    start = GdiCounts{};
  }
  void TearDown() override {
    if (currentContext != nullptr) ContextDiscard(currentContext);
    RuntimeHeapsTest::TearDown();
  }
  void Open() {
    context = surface.Provide();
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(DrawBegin(context), surface.dc);
  }
  // Live objects beyond those there before the session.
  unsigned Brushes() const { return hosted::GdiLiveObjects(OBJ_BRUSH) - start.brushes; }
  unsigned Pens() const { return hosted::GdiLiveObjects(OBJ_PEN) - start.pens; }
};

TEST_F(DrawObjectsTest, SessionDeletesEveryObjectItMadeOnce) {
  Open();
  // Base brush and pen, and the black brush held back.
  EXPECT_EQ(Brushes(), 2u);
  EXPECT_EQ(Pens(), 1u);
  const Colour colours[] = {0, 0x0000FF, 0x00FF00, 0x0000FF, 0xFFFFFF};
  for (Colour c : colours) {
    DrawFillRect(1, 1, 10, 10, c);
    EXPECT_EQ(Brushes(), 2u) << c;
    EXPECT_EQ(Pens(), 2u) << c;
  }
  context->slots.ApplyMode(context, ModeOutline | ModeInvert);
  DrawFillRect(1, 1, 10, 10, 0x123456);
  EXPECT_EQ(Brushes(), 2u);
  EXPECT_EQ(Pens(), 2u);
  // The brush a fill makes for itself in outline mode goes with the fill;
  // lines and shapes make nothing.
  EXPECT_TRUE(context->slots.PaintFloodFill(context, 30, 30, -1));
  context->slots.PaintLine(context, 0, 0, 20, 9);
  context->slots.PaintCircle(context, 20, 20, 6);
  context->slots.PaintEllipse(context, 20, 20, 1, 1);
  context->slots.PaintRoundRect(context, 2, 2, 30, 20, 4, 4);
  EXPECT_EQ(Brushes(), 2u);
  EXPECT_EQ(Pens(), 2u);
  EXPECT_EQ(context->mode, ModeOutline | ModeInvert);
  context->slots.ApplyMode(context, 0);
  EXPECT_EQ(Brushes(), 2u);
  EXPECT_EQ(Pens(), 2u);
  // Through a lock and back: the regained DC gets new objects of the mode,
  // the replaced ones go.
  context->slots.MapPixels(context);
  context->slots.ApplyMode(context, ModeTransparentText);
  EXPECT_EQ(surface.acquireCalls, 1);
  EXPECT_EQ(Brushes(), 2u);
  EXPECT_EQ(Pens(), 2u);
  DrawEnd();
  EXPECT_EQ(hosted::GdiLiveObjects(OBJ_BRUSH), start.brushes);
  EXPECT_EQ(hosted::GdiLiveObjects(OBJ_PEN), start.pens);
  EXPECT_EQ(hosted::GdiLiveObjects(), start.all);
}

TEST_F(DrawObjectsTest, CallerObjectsLeftSelectedDoNotHoldTheSessionsBack) {
  Open();
  DrawFillRect(0, 0, 4, 4, 0x0000FF);
  HBRUSH callerBrush = CreateSolidBrush(0x00FF00);
  HPEN callerPen = CreatePen(PS_SOLID, 0, 0x00FF00);
  SelectObject(surface.dc, callerBrush);
  SelectObject(surface.dc, callerPen);
  // Same colour: nothing new; a new colour displaces the caller's objects.
  DrawFillRect(0, 0, 4, 4, 0x0000FF);
  EXPECT_EQ(Brushes(), 3u);
  EXPECT_EQ(Pens(), 3u);
  DrawFillRect(0, 0, 4, 4, 0xFF0000);
  EXPECT_EQ(Brushes(), 3u);
  EXPECT_EQ(Pens(), 3u);
  SelectObject(surface.dc, callerBrush);
  SelectObject(surface.dc, callerPen);
  DrawEnd();
  // Only the caller's two remain, and they are no longer selected.
  EXPECT_EQ(Brushes(), 1u);
  EXPECT_EQ(Pens(), 1u);
  EXPECT_TRUE(DeleteObject(callerBrush));
  EXPECT_TRUE(DeleteObject(callerPen));
  EXPECT_EQ(hosted::GdiLiveObjects(), start.all);
}

// Every image slot frees what it makes (memory DCs, copies, sections),
// also when the nth GDI object it makes, or its pixel buffer, cannot be
// had; a capture's bitmap goes with its record.
TEST_F(DrawObjectsTest, ImageSlotsLeaveNothingEvenWhenACreationFails) {
  ImagesInit();
  ImageDrawingInit();
  ASSERT_NE(ImageDrawing.alphaBlend, nullptr);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 6, -6, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* memory = nullptr;
  HBITMAP alpha = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  ASSERT_NE(memory, nullptr);
  for (int i = 0; i < 36; ++i) static_cast<uint32_t*>(memory)[i] = 0x800000FFu;
  HBITMAP plain = CreateBitmap(6, 6, 1, 24, nullptr);
  const uint16_t maskBits[6] = {};
  ICONINFO iconInfo = {TRUE, 0, 0, CreateBitmap(6, 6, 1, 1, maskBits), plain};
  HICON icon = CreateIconIndirect(&iconInfo);
  DeleteObject(iconInfo.hbmMask);
  ASSERT_NE(icon, nullptr);
  Open();
  const struct {
    const char* slot;
    std::function<void()> run;
  } slots[] = {
      {"PaintImage", [&] { context->slots.PaintImage(context, plain, 1, 1); }},
      {"PaintImageScaled", [&] { context->slots.PaintImageScaled(context, plain, 1, 1, 20, 9); }},
      {"PaintImageScaled to device-independent bits",
       [&] {
         const int32_t kind = context->targetKind;
         context->targetKind = TargetDeviceIndependent;
         context->slots.PaintImageScaled(context, plain, 1, 1, 20, 9);
         context->targetKind = kind;
       }},
      {"PaintImageBlended at constant alpha", [&] { context->slots.PaintImageBlended(context, plain, 1, 1, 128); }},
      {"PaintImageBlended per pixel", [&] { context->slots.PaintImageBlended(context, alpha, 1, 1, 200); }},
      {"PaintImage of an icon", [&] { context->slots.PaintImage(context, icon, 1, 1); }},
      {"CaptureImage",
       [&] {
         auto* record = static_cast<ImageRecord*>(context->slots.CaptureImage(context, ObjectAny, 0, 0, 30, 20));
         if (record != nullptr) ImageRelease(reinterpret_cast<ObjectId>(record));
       }},
  };
  for (const auto& slot : slots) {
    slot.run();  // once whole, so that anything made once for good is made
    const unsigned objects = hosted::GdiLiveObjects();
    const size_t blocks = hosted::HeapLiveBlocks(MainHeap);
    for (unsigned n = 0; n <= 6; ++n) {
      hosted::FailNthGdiObject(n);
      slot.run();
      hosted::FailNthGdiObject(0);
      EXPECT_EQ(hosted::GdiLiveObjects(), objects) << slot.slot << ", object " << n << " failing";
      hosted::FailNthAllocation(n);
      slot.run();
      hosted::FailNthAllocation(0);
      EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), blocks) << slot.slot << ", allocation " << n << " failing";
      EXPECT_EQ(hosted::GdiLiveObjects(), objects) << slot.slot << ", allocation " << n << " failing";
    }
  }
  DrawEnd();
  DestroyIcon(icon);
  DeleteObject(plain);
  DeleteObject(alpha);
  ImagesEnd();
  ImageTable = nullptr;  // it lived in this test's heap
  ImageDrawingEnd();
  EXPECT_EQ(hosted::GdiLiveObjects(), start.all);
}

TEST_F(DrawObjectsTest, SessionEndingLockedLeavesNothing) {
  Open();
  DrawFillRect(0, 0, 4, 4, 0x0000FF);
  context->slots.PaintPixelColor(context, 1, 1, 0x00FF00);
  ASSERT_EQ(context->dcState, DcGivenUpForPixels);
  DrawEnd();
  EXPECT_EQ(hosted::GdiLiveObjects(), start.all);
}

TEST_F(DrawObjectsTest, FailedBeginLeavesNoObjects) {
  context = surface.Provide();
  ASSERT_NE(context, nullptr);
  context->dc = nullptr;
  EXPECT_EQ(DrawBegin(context), nullptr);
  EXPECT_EQ(hosted::GdiLiveObjects(), start.all);
  EXPECT_EQ(surface.releaseFlags, (std::vector<int32_t>{0}));
}

TEST_F(DrawObjectsTest, RefusedRecordChangesNothing) {
  DrawContext* earlier = ContextCreateGdi();
  ASSERT_NE(earlier, nullptr);
  const size_t blocks = hosted::HeapLiveBlocks(MainHeap);
  hosted::FailNthAllocation(1);
  EXPECT_EQ(ContextCreateGdi(), nullptr);
  hosted::FailNthAllocation(1);
  EXPECT_EQ(ContextCreate(sizeof(DrawContext) + 8), nullptr);
  hosted::FailNthAllocation(0);
  EXPECT_EQ(currentContext, earlier);
  EXPECT_EQ(TlsGetValue(contextSlot), earlier);
  EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), blocks);
  // A provider whose context cannot be made hands over none, and a
  // session on none does nothing.
  hosted::FailNthAllocation(1);
  DrawContext* target = surface.Provide();
  hosted::FailNthAllocation(0);
  EXPECT_EQ(target, nullptr);
  EXPECT_FALSE(surface.dcOut);
  EXPECT_EQ(DrawBegin(target), nullptr);
  EXPECT_EQ(currentContext, earlier);
  EXPECT_EQ(hosted::GdiLiveObjects(), start.all);
  ContextDiscard(earlier);
  EXPECT_EQ(currentContext, nullptr);
  EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), blocks - 1);
}

TEST_F(DrawObjectsTest, FillOutsideASessionDrawsNothing) {
  EXPECT_EQ(currentContext, nullptr);
  EXPECT_FALSE(DrawFillRect(0, 0, 4, 4, 0));
  EXPECT_EQ(hosted::GdiLiveObjects(), start.all);
}

}  // namespace
