// Event retrieval: runtime events first, then at most one native message per
// call; Tab and Shift+Tab ride on the active window's accelerators.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "support/message_log.h"
#include "support/user_input.h"
#include "support/window_class.h"
#include "window_fixture.h"

namespace {

class WindowPollTest : public SceneWindowFixture {
 protected:
  HWND TabStop(int id) {
    return CreateWindowExW(0, TEXT("STATIC"), TEXT(""), WS_CHILD | WS_VISIBLE | WS_TABSTOP, id * 30, 0, 20, 20, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Globals.instance, nullptr);
  }

  MessageLog log;
};

TEST_F(WindowPollTest, EmptyQueuesGiveZeroEveryTime) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(WindowPollEvent(), 0);
}

TEST_F(WindowPollTest, RuntimeEventsComeBeforeTheNextNativeMessage) {
  PostMessageW(window, WM_LBUTTONUP, 0, 0);
  EventAppend(EventRepaint, 0, 0, 0, 0, nullptr);
  EventAppend(EventMenu, 4, 0, 0, 0, nullptr);
  EXPECT_EQ(WindowPollEvent(), EventRepaint);
  EXPECT_EQ(WindowPollEvent(), EventMenu);
  EXPECT_EQ(EventQueue->curObject, 4);
  // One native message per call, dispatched: its event comes out next.
  EXPECT_EQ(WindowPollEvent(), WM_LBUTTONUP);
  EXPECT_EQ(WindowPollEvent(), EventLeftClick);
  EXPECT_EQ(EventQueue->curWindow, 0);
  EXPECT_EQ(WindowPollEvent(), 0);
}

TEST_F(WindowPollTest, WakeUpMessageIsTakenAndGivesZero) {
  PostMessageW(window, WM_NULL, 0, 0);
  PostMessageW(window, WM_USER + 1, 0, 0);
  EXPECT_EQ(WindowPollEvent(), 0);
  EXPECT_EQ(WindowPollEvent(), WM_USER + 1);
  EXPECT_EQ(WindowPollEvent(), 0);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(WindowPollTest, TabKeyMovesTheFocusAndIsNotDispatched) {
  HWND a = TabStop(1);
  TabStop(2);
  HWND c = TabStop(3);
  ASSERT_NE(c, nullptr);
  SetFocus(c);
  log.Filter({WM_KEYDOWN, WM_CHAR});
  log.Attach(c);
  Poll();

  PostMessageW(c, WM_KEYDOWN, VK_TAB, 0x000F0001);
  EXPECT_EQ(WindowPollEvent(), WM_KEYDOWN);
  EXPECT_EQ(GetFocus(), a) << "from the last tab stop round to the first";
  EXPECT_TRUE(log.Messages().empty()) << "the key went to the accelerator, not to the control";

  // With the focus outside the window's children, the first tab stop gets it.
  SetFocus(window);
  PostMessageW(window, WM_KEYDOWN, VK_TAB, 0x000F0001);
  EXPECT_EQ(WindowPollEvent(), WM_KEYDOWN);
  EXPECT_EQ(GetFocus(), a);
}

TEST_F(WindowPollTest, FocusStepsSkipWindowsThatAreNoTabStops) {
  HWND a = TabStop(1);
  HWND b = TabStop(2);
  HWND c = TabStop(3);
  HWND plain = CreateWindowExW(0, TEXT("STATIC"), TEXT(""), WS_CHILD | WS_VISIBLE, 0, 40, 20, 20, window, nullptr,
                               Globals.instance, nullptr);
  ASSERT_NE(plain, nullptr);
  EnableWindow(b, FALSE);
  SetFocus(a);
  FocusStep(false);
  EXPECT_EQ(GetFocus(), c);
  FocusStep(false);
  EXPECT_EQ(GetFocus(), a);
  FocusStep(true);
  EXPECT_EQ(GetFocus(), c) << "from the first tab stop back to the last";
  FocusStep(true);
  EXPECT_EQ(GetFocus(), a);
  ShowWindow(c, SW_HIDE);
  FocusStep(true);
  EXPECT_EQ(GetFocus(), a) << "the only tab stop left keeps the focus";
  SetFocus(plain);
  EnableWindow(b, TRUE);
  FocusStep(true);
  EXPECT_EQ(GetFocus(), b) << "from outside the tab stops: the last one";
}

TEST_F(WindowPollTest, AcceleratorsBelongToNumberedWindowsOfThisProcess) {
  EXPECT_EQ(AcceleratorFor(window), Record(0)->accelTable);
  EXPECT_EQ(AcceleratorFor(nullptr), nullptr);
  HWND child = TabStop(1);
  EXPECT_EQ(AcceleratorFor(child), nullptr) << "the property is looked up on the active window only";

  // A control that takes Tab for itself keeps it.
  SetFocus(child);
  SetPropW(child, TEXT("ZW_Hotkey"), reinterpret_cast<HANDLE>(1));
  EXPECT_EQ(AcceleratorFor(window), nullptr);
  RemovePropW(child, TEXT("ZW_Hotkey"));
  EXPECT_EQ(AcceleratorFor(window), Record(0)->accelTable);
}

// A rich-edit control as the poll sees one: its class name begins "Rich"
// and it answers the options query; it keeps the Tab presses it is given.
constexpr UINT kGetOptions = 0x44E;  // EM_GETOPTIONS
constexpr LRESULT kReadOnly = 0x800;  // ECO_READONLY
int tabsTyped = 0;
LRESULT CALLBACK RichProc(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (message == kGetOptions) return GetPropW(window, TEXT("readOnly")) != nullptr ? kReadOnly : 0;
  if (message == WM_KEYDOWN && first == VK_TAB) ++tabsTyped;
  return DefWindowProcW(window, message, first, second);
}

// Tab is typed into an editable rich-edit control; out of a read-only one
// it moves the focus as from any other control.
TEST_F(WindowPollTest, TabIsTypedIntoEditableRichEditControlsOnly) {
  TestWindowClass richClass(TEXT("RichEditTest"), RichProc);
  HWND a = TabStop(1);
  for (bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "read-only" : "editable");
    HWND rich = richClass.Make(WS_CHILD | WS_VISIBLE | WS_TABSTOP, window, 9, 100, 0, 40, 20);
    ASSERT_NE(rich, nullptr);
    if (readOnly) SetPropW(rich, TEXT("readOnly"), reinterpret_cast<HANDLE>(1));
    SetFocus(rich);
    Poll();
    tabsTyped = 0;
    user_input::KeyDown(VK_TAB);
    user_input::KeyUp(VK_TAB);
    Poll();
    EXPECT_EQ(GetFocus(), readOnly ? a : rich);
    EXPECT_EQ(tabsTyped, readOnly ? 0 : 1);
    RemovePropW(rich, TEXT("readOnly"));
    DestroyWindow(rich);
  }
}

// A window whose keyboard-cue state the test chooses.
LRESULT uiState;
LRESULT CALLBACK CueStateProc(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (message == WM_QUERYUISTATE) return uiState;
  return DefWindowProcW(window, message, first, second);
}

TEST_F(WindowPollTest, KeyboardCuesChangeOnlyWhatDiffers) {
  TestWindowClass cueClass(TEXT("CueStateTestClass"), CueStateProc);
  HWND cues = cueClass.Make(WS_CHILD, window, 0, 0, 0, 10, 10);
  ASSERT_NE(cues, nullptr);
  log.Filter({WM_UPDATEUISTATE});
  log.Attach(cues);
  const struct {
    LRESULT state;
    bool show;
    WPARAM sent;  // 0: nothing
  } cases[] = {
      {0, true, 0},       {0, false, 0x30001}, {1, false, 0x30001}, {2, false, 0x30001},
      {3, false, 0},      {3, true, 0x30002},  {1, true, 0x30002},  {2, true, 0x30002},
  };
  for (const auto& c : cases) {
    uiState = c.state;
    log.Clear();
    KeyboardCues(cues, c.show);
    if (c.sent == 0) {
      EXPECT_TRUE(log.Messages().empty()) << "state " << c.state << " show " << c.show;
    } else {
      ASSERT_EQ(log.Messages().size(), 1u) << "state " << c.state << " show " << c.show;
      EXPECT_EQ(log.Messages()[0].wParam, c.sent);
      EXPECT_EQ(log.Messages()[0].lParam, 0);
    }
  }
}

const ExpectedMessage CloseButtonRoad[] = {
    {WM_NCLBUTTONDOWN, MsgCheckWParam, HTCLOSE, 0},
    {WM_SYSCOMMAND, MsgCheckWParam, SC_CLOSE, 0},
    {WM_CLOSE, 0, 0, 0},
};

TEST_F(WindowPollTest, CloseButtonTravelsFromClickToTheCloseEvent) {
  log.Filter({WM_NCLBUTTONDOWN, WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY});
  log.Attach(window);
  user_input::ClickCloseButton(window);
  std::vector<int32_t> codes;
  for (int i = 0; i < 100; ++i) {
    const int32_t code = WindowPollEvent();
    if (code == 0 && EventQueue->head == nullptr) break;
    codes.push_back(code);
  }
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes[0], WM_NCLBUTTONDOWN) << "the press is dispatched by the first call";
  EXPECT_EQ(std::count(codes.begin(), codes.end(), EventCloseWindow), 1);
  EXPECT_MESSAGES(log, CloseButtonRoad);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(WindowPollTest, TabAndShiftTabWrapAroundTheTabStops) {
  HWND a = TabStop(1);
  HWND b = TabStop(2);
  HWND c = TabStop(3);
  ASSERT_NE(c, nullptr);
  SetFocus(c);
  Poll();
  auto press = [&](bool shift) {
    if (shift) user_input::KeyDown(VK_SHIFT);
    user_input::KeyDown(VK_TAB);
    user_input::KeyUp(VK_TAB);
    if (shift) user_input::KeyUp(VK_SHIFT);
    Poll();
    return GetFocus();
  };
  EXPECT_EQ(press(false), a);
  EXPECT_EQ(press(false), b);
  EXPECT_EQ(press(true), a);
  EXPECT_EQ(press(true), c);
  EXPECT_EQ(press(false), a);
}

TEST_F(WindowPollTest, WaitingFormsTakeWhatIsWaitingAndGiveZeroWhenNothingComes) {
  EventAppend(EventMenu, 3, 0, 0, 0, nullptr);
  PostMessageW(window, WM_USER + 1, 0, 0);
  PostMessageW(window, WM_USER + 2, 0, 0);
  EXPECT_EQ(WindowWaitEvent(-1), EventMenu);
  EXPECT_EQ(WindowWaitEvent(-1), WM_USER + 1);
  EXPECT_EQ(WindowWaitEvent(50), WM_USER + 2);
  EXPECT_EQ(WindowWaitEvent(30), 0) << "nothing arrived within the time-out";
  // No other negative time-out waits.
  EXPECT_EQ(WindowWaitEvent(-2), 0);
}

TEST_F(WindowPollTest, WaitingFormsWakeForWhatAnotherThreadPosts) {
  for (const int32_t timeout : {-1, 60000}) {
    std::thread poster([timeout] {
      auto* block = static_cast<PostedEventBlock*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(PostedEventBlock)));
      if (block == nullptr) return;
      block->code = 20000;
      block->object = timeout;
      if (!PostMessageW(PostEventWindow, PostEventMessage, 0, reinterpret_cast<LPARAM>(block)))
        HeapFree(MainHeap, 0, block);
    });
    // The posted message wakes the wait and is dispatched: its event is next.
    const int32_t woke = WindowWaitEvent(timeout);
    poster.join();
    EXPECT_EQ(woke, static_cast<int32_t>(PostEventMessage)) << "time-out " << timeout;
    EXPECT_EQ(WindowPollEvent(), 20000);
    EXPECT_EQ(EventQueue->curObject, timeout);
  }
}

TEST_F(WindowPollTest, TrayMessageWakesAWaitingRetrieval) {
  std::thread tray([this] {
    SendMessageW(window, MessageTrayIcon, 9, WM_LBUTTONDOWN);
    // Behind the wake-up message if there is one; without it, this one ends
    // the wait.
    PostMessageW(window, WM_USER + 7, 0, 0);
  });
  const int32_t woke = WindowWaitEvent(-1);
  tray.join();
  EXPECT_EQ(woke, WM_NULL) << "the tray message's wake-up ends the wait";
  EXPECT_EQ(WindowPollEvent(), EventTrayIcon);
  EXPECT_EQ(WindowPollEvent(), WM_USER + 7);
}

}  // namespace
