// Drawing sessions: context creation, the current-context pointers, and the
// order in which DrawBegin and DrawEnd reach the driver and the target.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drawing/test_target.h"
#include "support/test_support.h"

namespace {

using draw_test::Selected;
using draw_test::Surface;

// Calls into the driver and the target, in order, through recorders that
// then call the real ones.
std::vector<std::string> calls;
int32_t seenOutputWidth = 0;
int32_t seenOutputHeight = 0;
void (*realRelease)(DrawContext*, int32_t) = nullptr;

HDC RecordOpen(DrawContext* context) {
  calls.push_back("OpenOutput");
  seenOutputWidth = context->outputWidth;
  seenOutputHeight = context->outputHeight;
  return GdiDriver.OpenOutput(context);
}
void RecordClose(DrawContext* context) {
  calls.push_back("CloseOutput");
  GdiDriver.CloseOutput(context);
}
void RecordRelease(DrawContext* context, int32_t flag) {
  calls.push_back("releaseTarget(" + std::to_string(flag) + ")");
  if (realRelease != nullptr) realRelease(context, flag);
}

class DrawSessionTest : public RuntimeHeapsTest {
 protected:
  Surface surface{640, 480, D3DFMT_X8R8G8B8};

  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    draw_test::EnsureContextSlot();
    ASSERT_TRUE(surface.usable());
    calls.clear();
    seenOutputWidth = seenOutputHeight = 0;
    realRelease = nullptr;
  }
  void TearDown() override {
    // A test that stopped half-way must not leave a record of a heap that
    // is about to go as the current context.
    if (currentContext != nullptr) ContextDiscard(currentContext);
    RuntimeHeapsTest::TearDown();
  }

  // A provided target whose session calls are recorded.
  DrawContext* RecordedTarget() {
    DrawContext* target = surface.Provide();
    if (target == nullptr) return nullptr;
    target->slots.OpenOutput = RecordOpen;
    target->slots.CloseOutput = RecordClose;
    realRelease = target->releaseTarget;
    target->releaseTarget = RecordRelease;
    return target;
  }
};

TEST_F(DrawSessionTest, GdiContextStartsZeroedWithTheDriverAndIsCurrent) {
  DrawContext* context = ContextCreateGdi();
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(currentContext, context);
  EXPECT_EQ(TlsGetValue(contextSlot), context);
  // Static storage: zero, padding included, like the heap's zero fill.
  static DrawContext expected;
  expected.slots = GdiDriver;
  expected.color = -1;
  expected.backColor = -1;
  EXPECT_EQ(std::memcmp(context, &expected, sizeof(DrawContext)), 0);

  // A second creation replaces the first without closing it.
  DrawContext* second = ContextCreateGdi();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, context);
  EXPECT_EQ(currentContext, second);
  EXPECT_EQ(TlsGetValue(contextSlot), second);
  EXPECT_EQ(std::memcmp(context, &expected, sizeof(DrawContext)), 0);
  ContextDiscard(second);
  ContextDiscard(context);
}

TEST_F(DrawSessionTest, ContextOfOwnSizeHasEmptySlotsAndIsDiscardedWithoutHooks) {
  // Smaller than the record: refused, nothing made current.
  DrawContext* earlier = ContextCreateGdi();
  ASSERT_NE(earlier, nullptr);
  EXPECT_EQ(ContextCreate(sizeof(DrawContext) - 1), nullptr);
  EXPECT_EQ(ContextCreate(0), nullptr);
  EXPECT_EQ(currentContext, earlier);
  EXPECT_EQ(TlsGetValue(contextSlot), earlier);
  ContextDiscard(earlier);

  const size_t size = sizeof(DrawContext) + 24;
  DrawContext* context = ContextCreate(size);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(currentContext, context);
  EXPECT_EQ(TlsGetValue(contextSlot), context);
  EXPECT_EQ(context->color, -1);
  EXPECT_EQ(context->backColor, -1);
  static const DrawSlots noSlots{};
  EXPECT_EQ(std::memcmp(&context->slots, &noSlots, sizeof(DrawSlots)), 0);
  const auto* tail = reinterpret_cast<const unsigned char*>(context) + sizeof(DrawContext);
  for (size_t i = 0; i < size - sizeof(DrawContext); ++i) EXPECT_EQ(tail[i], 0) << i;

  context->releaseTarget = RecordRelease;
  ContextDiscard(context);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(currentContext, nullptr);
  EXPECT_EQ(TlsGetValue(contextSlot), nullptr);
}

TEST_F(DrawSessionTest, BeginWithoutTargetChangesNothing) {
  DrawContext* target = RecordedTarget();
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(DrawBegin(nullptr), nullptr);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(currentContext, target);
  EXPECT_EQ(TlsGetValue(contextSlot), target);
  EXPECT_EQ(surface.acquireCalls + surface.lockCalls, 0);
  EXPECT_TRUE(surface.releaseFlags.empty());
}

TEST_F(DrawSessionTest, SessionOpensClosesAndReleasesInOrder) {
  DrawContext* target = RecordedTarget();
  ASSERT_NE(target, nullptr);
  target->mode = 5;
  EXPECT_EQ(DrawBegin(target), surface.dc);
  EXPECT_EQ(calls, (std::vector<std::string>{"OpenOutput"}));
  // The copies are made before the driver opens the output.
  EXPECT_EQ(seenOutputWidth, 640);
  EXPECT_EQ(seenOutputHeight, 480);
  EXPECT_EQ(target->mode, 0);
  EXPECT_EQ(target->dcState, DcHeld);
  EXPECT_EQ(currentContext, target);

  DrawEnd();
  EXPECT_EQ(calls, (std::vector<std::string>{"OpenOutput", "CloseOutput", "releaseTarget(1)"}));
  EXPECT_EQ(surface.releaseFlags, (std::vector<int32_t>{1}));
  EXPECT_EQ(currentContext, nullptr);
  EXPECT_EQ(TlsGetValue(contextSlot), nullptr);

  // Nothing is open any more.
  DrawEnd();
  EXPECT_EQ(calls.size(), 3u);
  EXPECT_EQ(surface.releaseFlags.size(), 1u);
}

TEST_F(DrawSessionTest, BeginWithoutDeviceContextReleasesOnceAndFrees) {
  DrawContext* target = RecordedTarget();
  ASSERT_NE(target, nullptr);
  target->dc = nullptr;
  const size_t blocks = LiveHeapBlocks(MainHeap);
  EXPECT_EQ(DrawBegin(target), nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"OpenOutput", "releaseTarget(0)"}));
  EXPECT_EQ(currentContext, nullptr);
  EXPECT_EQ(TlsGetValue(contextSlot), nullptr);
  EXPECT_EQ(LiveHeapBlocks(MainHeap), blocks - 1);
  DrawEnd();
  EXPECT_EQ(calls.size(), 2u);
}

TEST_F(DrawSessionTest, BeginOnAContextWithoutDriverFails) {
  DrawContext* target = ContextCreate(sizeof(DrawContext));
  ASSERT_NE(target, nullptr);
  target->releaseTarget = RecordRelease;
  target->dc = surface.dc;
  EXPECT_EQ(DrawBegin(target), nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"releaseTarget(0)"}));
  EXPECT_EQ(currentContext, nullptr);
}

TEST_F(DrawSessionTest, EndPutsBackWhatTheDcHeldAndDeletesOnlyTheSessionsObjects) {
  // The DC's owner has objects of its own selected before the session.
  HBRUSH ownerBrush = CreateSolidBrush(RGB(1, 2, 3));
  HPEN ownerPen = CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
  HGDIOBJ ownerFont = GetStockObject(DEFAULT_GUI_FONT);
  HGDIOBJ oldBrush = SelectObject(surface.dc, ownerBrush);
  HGDIOBJ oldPen = SelectObject(surface.dc, ownerPen);
  HGDIOBJ oldFont = SelectObject(surface.dc, ownerFont);

  DrawContext* target = surface.Provide();
  ASSERT_NE(target, nullptr);
  ASSERT_EQ(DrawBegin(target), surface.dc);
  // Open: the base objects and the system font are selected; the black
  // brush is made but held back.
  EXPECT_EQ(Selected(surface.dc, NULL_BRUSH), target->baseBrush);
  EXPECT_EQ(Selected(surface.dc, NULL_PEN), target->basePen);
  EXPECT_EQ(Selected(surface.dc, DEFAULT_GUI_FONT), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(target->font, GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(target->savedBrush, ownerBrush);
  EXPECT_EQ(target->savedPen, ownerPen);
  EXPECT_EQ(target->savedFont, ownerFont);
  EXPECT_EQ(GetObjectType(target->brush), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_NE(target->brush, target->baseBrush);
  EXPECT_EQ(target->pen, nullptr);

  DrawFillRect(0, 0, 4, 4, RGB(200, 0, 0));
  const HGDIOBJ sessionObjects[] = {target->brush, target->pen, target->baseBrush, target->basePen};
  // The caller draws with its own objects and leaves them selected.
  HBRUSH callerBrush = CreateSolidBrush(RGB(0, 200, 0));
  HPEN callerPen = CreatePen(PS_SOLID, 0, RGB(0, 0, 200));
  SelectObject(surface.dc, callerBrush);
  SelectObject(surface.dc, callerPen);

  DrawEnd();
  EXPECT_EQ(Selected(surface.dc, NULL_BRUSH), ownerBrush);
  EXPECT_EQ(Selected(surface.dc, NULL_PEN), ownerPen);
  EXPECT_EQ(Selected(surface.dc, SYSTEM_FONT), ownerFont);
  for (HGDIOBJ object : sessionObjects) EXPECT_EQ(GetObjectType(object), 0u);
  EXPECT_EQ(GetObjectType(callerBrush), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(GetObjectType(callerPen), static_cast<DWORD>(OBJ_PEN));
  EXPECT_TRUE(DeleteObject(callerBrush));
  EXPECT_TRUE(DeleteObject(callerPen));

  SelectObject(surface.dc, oldBrush);
  SelectObject(surface.dc, oldPen);
  SelectObject(surface.dc, oldFont);
  EXPECT_TRUE(DeleteObject(ownerBrush));
  EXPECT_TRUE(DeleteObject(ownerPen));
}

TEST_F(DrawSessionTest, SessionEndingWhileLockedDeletesItsObjectsAndReleasesOnce) {
  DrawContext* target = surface.Provide();
  ASSERT_NE(target, nullptr);
  ASSERT_NE(DrawBegin(target), nullptr);
  DrawFillRect(0, 0, 4, 4, RGB(9, 9, 9));
  const HGDIOBJ sessionObjects[] = {target->brush, target->pen, target->baseBrush, target->basePen};
  ASSERT_EQ(target->slots.MapPixels(target), surface.bits);
  ASSERT_TRUE(surface.locked);
  DrawEnd();
  EXPECT_EQ(surface.acquireCalls, 0);
  EXPECT_EQ(surface.releaseFlags, (std::vector<int32_t>{1}));
  EXPECT_FALSE(surface.locked);
  for (HGDIOBJ object : sessionObjects) EXPECT_EQ(GetObjectType(object), 0u);
  EXPECT_EQ(currentContext, nullptr);
}

}  // namespace
