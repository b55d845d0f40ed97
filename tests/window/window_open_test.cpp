// Window creation: the scene's window, the flag table, reuse of a number,
// and what closing leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <string>

#include "runtime/facilities.h"
#include "window_fixture.h"

namespace {

std::u16string ClassOf(HWND window) {
  WCHAR name[64] = {};
  GetClassNameW(window, name, 64);
  return std::u16string(reinterpret_cast<const char16_t*>(name));
}

std::u16string TitleOf(HWND window) {
  WCHAR text[64] = {};
  GetWindowTextW(window, text, 64);
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

SIZE ClientSize(HWND window) {
  RECT r = {};
  GetClientRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)); }
DWORD ExStyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)); }

bool ClassExists(const WCHAR* name) {
  WNDCLASSW info;
  return GetClassInfoW(Globals.instance, name, &info) != 0;
}

HWND Open(ObjectId number, uint32_t flags, int32_t x = 10, int32_t y = 20, const WCHAR* title = TEXT("t")) {
  return reinterpret_cast<HWND>(WindowOpen(number, x, y, 300, 200, title, flags));
}

using WindowOpenTest = WindowFixture;

TEST_F(WindowOpenTest, SceneWindowHasItsClientAreaCornerClassAndNumber) {
  HWND window = OpenScene();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowNativeHandle(0), window);
  EXPECT_TRUE(IsWindowVisible(window));

  const SIZE client = ClientSize(window);
  EXPECT_EQ(client.cx, 640);
  EXPECT_EQ(client.cy, 480);
  RECT outer = {};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_EQ(ClassOf(window), u"WindowClass_0");
  EXPECT_EQ(TitleOf(window), u"Cube");
  EXPECT_EQ(reinterpret_cast<INT_PTR>(GetPropW(window, TEXT("ZW_WindowID"))), 1);

  const DWORD style = StyleOf(window);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), DWORD(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0u);
  EXPECT_EQ(ExStyleOf(window) & WS_EX_TOOLWINDOW, 0u);
  EXPECT_EQ(GetActiveWindow(), window);

  WindowRecord* record = Record(0);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->accelCount, 2);
  EXPECT_NE(record->accelTable, nullptr);
  ASSERT_NE(record->accelEntries, nullptr);
  EXPECT_EQ(record->accelEntries[0].key, VK_TAB);
  EXPECT_EQ(record->accelEntries[0].cmd, 0xFA01);
  EXPECT_EQ(record->accelEntries[1].fVirt, FVIRTKEY | FNOINVERT | FSHIFT);
  EXPECT_EQ(record->accelEntries[1].cmd, 0xFA02);
  EXPECT_EQ(record->reserved, -1);
  EXPECT_EQ(record->minMaxState, 0);
  EXPECT_EQ(Controls->currentParent, window);
}

TEST_F(WindowOpenTest, FirstPollsGiveTheActivationWithoutAWindowNumber) {
  ASSERT_NE(OpenScene(), nullptr);
  // Runtime events queued while the window was created and shown come out
  // before any native message, and none of them knew the window's number.
  std::vector<PolledEvent> before;
  for (int i = 0; i < 20; ++i) {
    const int32_t code = WindowPollEvent();
    if (EventQueue->curCode == 0) break;
    before.push_back({code, EventQueue->curObject, EventQueue->curWindow, EventQueue->curType});
  }
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(before[0], (PolledEvent{EventActivate, 0, -1, 0}));
  for (const PolledEvent& e : before) EXPECT_EQ(e.window, -1) << e;
}

TEST_F(WindowOpenTest, OpeningANumberAgainReplacesTheWindow) {
  HWND first = OpenScene();
  ASSERT_NE(first, nullptr);
  WindowRecord* record = Record(0);
  HWND second = OpenScene();
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_TRUE(IsWindow(second));
  EXPECT_EQ(WindowNativeHandle(0), second);
  EXPECT_EQ(Record(0), record) << "a number keeps its record";
  EXPECT_EQ(ClassOf(second), u"WindowClass_0");
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetClassLongPtrW(second, GCLP_WNDPROC)), WindowClassProc);
}

TEST_F(WindowOpenTest, FlagsGiveCaptionVisibilityAndPlacement) {
  // No style bits at all: a caption but no system menu, shown normally.
  HWND plain = Open(1, 0);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(StyleOf(plain) & WS_CAPTION, DWORD(WS_CAPTION));
  EXPECT_EQ(StyleOf(plain) & WS_SYSMENU, 0u);
  EXPECT_TRUE(IsWindowVisible(plain));
  EXPECT_EQ(ClientSize(plain).cx, 300);
  EXPECT_EQ(ClientSize(plain).cy, 200);

  HWND hidden = Open(2, WindowFlagHidden);
  ASSERT_NE(hidden, nullptr);
  EXPECT_FALSE(IsWindowVisible(hidden));
  EXPECT_EQ(StyleOf(hidden) & WS_CAPTION, DWORD(WS_CAPTION));

  // Centred on the screen by the outer size.
  HWND centred = Open(3, WindowFlagCentreScreen);
  ASSERT_NE(centred, nullptr);
  EXPECT_EQ(StyleOf(centred) & WS_CAPTION, DWORD(WS_CAPTION));
  RECT r = {};
  GetWindowRect(centred, &r);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);

  // y = -65535 is a position of its own once centring is asked for.
  HWND centredToo = Open(4, WindowFlagCentreScreen | WS_CAPTION, 5, -65535);
  ASSERT_NE(centredToo, nullptr);
  GetWindowRect(centredToo, &r);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);

  // Tool windows never start maximised and still get the exact client size.
  HWND tool = Open(5, WindowFlagTool | WindowFlagMaximized | WS_SYSMENU | WS_MAXIMIZEBOX | WS_MINIMIZEBOX);
  ASSERT_NE(tool, nullptr);
  EXPECT_NE(ExStyleOf(tool) & WS_EX_TOOLWINDOW, 0u);
  EXPECT_FALSE(IsZoomed(tool));
  EXPECT_EQ(StyleOf(tool) & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX), 0u);
  EXPECT_EQ(ClientSize(tool).cx, 300);
  EXPECT_EQ(ClientSize(tool).cy, 200);
  EXPECT_EQ(Record(5)->minMaxState, 0);

  HWND minimised = Open(6, WindowFlagMinimized | 0xCA0000);
  ASSERT_NE(minimised, nullptr);
  EXPECT_TRUE(IsIconic(minimised));
  EXPECT_EQ(Record(6)->minMaxState, 1);

  HWND maximised = Open(7, WindowFlagMaximized | WS_OVERLAPPEDWINDOW);
  ASSERT_NE(maximised, nullptr);
  EXPECT_TRUE(IsZoomed(maximised));
  EXPECT_EQ(Record(7)->minMaxState, 1);
}

TEST_F(WindowOpenTest, DefaultPositionActivationAndControlParentFlags) {
  HWND active = Open(1, 0xCA0000);
  ASSERT_NE(active, nullptr);
  ASSERT_EQ(GetActiveWindow(), active);

  // Passed through unchanged, -65535 would put the window far off screen.
  HWND placed = Open(2, 0xCA0000 | WindowFlagNoControlParent, -65535, 20);
  ASSERT_NE(placed, nullptr);
  RECT r = {};
  GetWindowRect(placed, &r);
  EXPECT_GT(r.left, -1000);
  EXPECT_EQ(Controls->currentParent, active) << "0x8 keeps the current control parent";

  HWND quiet = Open(3, 0xCA0000 | WindowFlagNoActivate);
  ASSERT_NE(quiet, nullptr);
  EXPECT_TRUE(IsWindowVisible(quiet));
  EXPECT_EQ(StyleOf(quiet) & WindowFlagNoActivate, 0u) << "the flag is not a native style here";
  EXPECT_NE(GetActiveWindow(), quiet);

  HWND untitled = Open(4, 0xCA0000, 10, 20, nullptr);
  ASSERT_NE(untitled, nullptr);
  EXPECT_EQ(GetWindowTextLengthW(untitled), 0);
}

TEST_F(WindowOpenTest, CentresOnTheActiveWindow) {
  HWND reference = reinterpret_cast<HWND>(WindowOpen(1, 100, 60, 500, 400, TEXT("r"), 0xCA0000));
  ASSERT_NE(reference, nullptr);
  ASSERT_EQ(GetActiveWindow(), reference);
  HWND centred = Open(2, WindowFlagCentreActive | 0xCA0000, 0, 0);
  ASSERT_NE(centred, nullptr);
  RECT outer = {};
  RECT inner = {};
  GetWindowRect(reference, &outer);
  GetWindowRect(centred, &inner);
  const int w = inner.right - inner.left;
  const int h = inner.bottom - inner.top;
  EXPECT_EQ(inner.left, (outer.right - outer.left - w) / 2 + outer.left);
  EXPECT_EQ(inner.top, (outer.bottom - outer.top - h) / 2 + outer.top);

  // A window larger than its reference would start left of the screen: 0.
  HWND wide = reinterpret_cast<HWND>(WindowOpen(3, 0, 0, 900, 700, TEXT("w"), WindowFlagCentreActive | 0xCA0000));
  ASSERT_NE(wide, nullptr);
  GetWindowRect(wide, &inner);
  EXPECT_EQ(inner.left, 0);
  EXPECT_EQ(inner.top, 0);
}

TEST_F(WindowOpenTest, DynamicWindowsAreNumberedByTheirRecord) {
  const INT_PTR number = WindowOpen(ObjectAny, 10, 10, 100, 80, TEXT("d"), 0xCA0000);
  ASSERT_NE(number, 0);
  EXPECT_FALSE(number >= 0 && number < WindowTable->slotCount);
  HWND window = WindowNativeHandle(number);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(reinterpret_cast<INT_PTR>(GetPropW(window, TEXT("ZW_WindowID"))), number + 1);
  WCHAR expected[WindowClassNameSize];
  WindowClassName(expected, number);
  EXPECT_EQ(ClassOf(window), std::u16string(reinterpret_cast<const char16_t*>(expected)));

  EXPECT_EQ(WindowClose(number), 1);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(ClassExists(expected));
}

TEST_F(WindowOpenTest, ClassNamesPrintSignedNumbers) {
  WCHAR name[WindowClassNameSize];
  WindowClassName(name, 0);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), u"WindowClass_0");
  WindowClassName(name, 1234567);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), u"WindowClass_1234567");
  WindowClassName(name, -42);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), u"WindowClass_-42");
  // The longest names, with a unit past the buffer that must stay as it was.
  for (INT_PTR number : {std::numeric_limits<INT_PTR>::min(), std::numeric_limits<INT_PTR>::max()}) {
    WCHAR longest[WindowClassNameSize + 1];
    std::fill(std::begin(longest), std::end(longest), WCHAR{0x7777});
    WindowClassName(longest, number);
    const std::string digits = std::to_string(number);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(longest)),
              u"WindowClass_" + std::u16string(digits.begin(), digits.end()));
    EXPECT_EQ(longest[WindowClassNameSize], 0x7777) << digits;
  }
}

TEST_F(WindowOpenTest, UnknownNumbersNameNoWindow) {
  EXPECT_EQ(WindowNativeHandle(5), nullptr);
  EXPECT_EQ(WindowClose(5), 0);
  ASSERT_NE(OpenScene(), nullptr);
  EXPECT_EQ(WindowNativeHandle(1), nullptr);
  EXPECT_EQ(WindowClose(1), 0);
  EXPECT_NE(WindowNativeHandle(0), nullptr);
}

TEST_F(WindowOpenTest, FailedCreationLeavesTheNumberFree) {
  // A style the platform refuses for a top-level window: a child without parent.
  EXPECT_EQ(WindowOpen(3, 0, 0, 100, 100, TEXT("x"), WS_CHILD | WS_CAPTION), 0);
  EXPECT_EQ(WindowNativeHandle(3), nullptr);
  EXPECT_FALSE(ClassExists(TEXT("WindowClass_3")));
}

TEST_F(WindowOpenTest, CloseLeavesNoWindowClassOrAcceleratorBehind) {
  HWND window = OpenScene();
  ASSERT_NE(window, nullptr);
  HACCEL table = Record(0)->accelTable;
  ASSERT_NE(table, nullptr);
  HWND other = Open(1, 0xCA0000);
  ASSERT_NE(other, nullptr);
  Poll();
  // Queued events of the closed window go with it; the others stay in order.
  EventAppend(EventRepaint, 0, 0, 0, 0, nullptr);
  EventAppend(EventRepaint, 0, 1, 0, 0, nullptr);
  EventAppend(EventMoveWindow, 0, 0, 0, 0, nullptr);
  EventAppend(EventMoveWindow, 1, 1, 0, 0, nullptr);

  EXPECT_EQ(WindowClose(0), 1);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(ClassExists(TEXT("WindowClass_0")));
  EXPECT_FALSE(DestroyAcceleratorTable(table)) << "the table was destroyed already";
  EXPECT_EQ(WindowNativeHandle(0), nullptr);
  EXPECT_EQ(Record(0), nullptr);
  const std::vector<PolledEvent> left = Only(Poll(), {EventRepaint, EventMoveWindow});
  const std::vector<PolledEvent> expected = {{EventRepaint, 0, 1, 0}, {EventMoveWindow, 1, 1, 0}};
  EXPECT_EQ(left, expected);
  EXPECT_TRUE(IsWindow(other));
}

TEST_F(WindowOpenTest, WindowsEndClosesEveryWindow) {
  WindowsEnd();  // nothing open: nothing to do
  HWND scene = OpenScene();
  HWND second = Open(9, 0xCA0000);
  const INT_PTR dynamic = WindowOpen(ObjectAny, 0, 0, 50, 50, nullptr, 0xCA0000);
  ASSERT_NE(scene, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(dynamic, 0);
  HWND third = WindowNativeHandle(dynamic);
  WCHAR dynamicClass[WindowClassNameSize];
  WindowClassName(dynamicClass, dynamic);

  WindowsEnd();
  EXPECT_FALSE(IsWindow(scene));
  EXPECT_FALSE(IsWindow(second));
  EXPECT_FALSE(IsWindow(third));
  EXPECT_FALSE(ClassExists(TEXT("WindowClass_0")));
  EXPECT_FALSE(ClassExists(TEXT("WindowClass_9")));
  EXPECT_FALSE(ClassExists(dynamicClass));
  EXPECT_EQ(WindowNativeHandle(0), nullptr);
  EXPECT_EQ(WindowNativeHandle(9), nullptr);
}

}  // namespace
