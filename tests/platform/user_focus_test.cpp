// Focus and activation: which window has them after each call and which
// messages say so. Runs on both lanes: against user32 under Wine and
// against the substitute.
#include <gtest/gtest.h>

#include <vector>

#include "platform.h"
#include "support/message_log.h"
#include "support/user_input.h"
#include "support/window_class.h"

namespace {

MessageLog* recording = nullptr;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (recording != nullptr) recording->Record(window, message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

class FocusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(windowClass.atom, 0);
    recording = &log;
    log.Filter({WM_ACTIVATEAPP, WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS});
  }
  void TearDown() override { recording = nullptr; }
  HWND Top(int x) { return windowClass.Make(WS_CAPTION | WS_SYSMENU, nullptr, 0, x, 0, 200, 150, TEXT("t")); }
  HWND Child(HWND parent, int id) {
    return windowClass.Make(WS_CHILD | WS_VISIBLE | WS_TABSTOP, parent, id, 0, id * 20, 50, 20, TEXT("c"));
  }
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  TestWindowClass windowClass{TEXT("FocusTest"), RecordingProc};
  MessageLog log;
};

TEST_F(FocusTest, FocusMovesBetweenChildren) {
  HWND top = Top(0);
  ASSERT_NE(top, nullptr);
  HWND a = Child(top, 1);
  HWND b = Child(top, 2);
  ShowWindow(top, SW_SHOWNORMAL);
  Pump();
  EXPECT_EQ(GetFocus(), top);
  log.Clear();
  EXPECT_EQ(SetFocus(a), top);
  EXPECT_EQ(SetFocus(b), a);
  EXPECT_EQ(GetFocus(), b);
  static const ExpectedMessage moves[] = {
      {WM_KILLFOCUS, 0, 0, 0},
      {WM_SETFOCUS, 0, 0, 0},
      {WM_KILLFOCUS, 0, 0, 0},
      {WM_SETFOCUS, 0, 0, 0},
  };
  EXPECT_MESSAGES(log, moves);
  ASSERT_EQ(log.Messages().size(), 4u);
  EXPECT_EQ(log.Messages()[0].window, top);
  EXPECT_EQ(log.Messages()[1].window, a);
  EXPECT_EQ(log.Messages()[1].wParam, reinterpret_cast<WPARAM>(top));
  EXPECT_EQ(log.Messages()[2].window, a);
  EXPECT_EQ(log.Messages()[3].window, b);
  // Setting the focus where it is sends nothing.
  log.Clear();
  EXPECT_EQ(SetFocus(b), b);
  EXPECT_EQ(log.Messages().size(), 0u);
  // A bad handle changes nothing.
  SetLastError(0);
  EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234))), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(GetFocus(), b);
}

TEST_F(FocusTest, DestroyingTheFocusedChildLeavesTheFocusWithItsParent) {
  HWND top = Top(0);
  ASSERT_NE(top, nullptr);
  HWND a = Child(top, 1);
  ShowWindow(top, SW_SHOWNORMAL);
  Pump();
  SetFocus(a);
  ASSERT_TRUE(DestroyWindow(a));
  EXPECT_EQ(GetFocus(), top);
  EXPECT_EQ(GetActiveWindow(), top);
}

TEST_F(FocusTest, ActivationMovesBetweenTopLevelWindows) {
  HWND first = Top(0);
  HWND second = Top(300);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ShowWindow(first, SW_SHOWNORMAL);
  Pump();
  log.Clear();
  ShowWindow(second, SW_SHOWNORMAL);
  Pump();
  EXPECT_EQ(GetActiveWindow(), second);
  EXPECT_EQ(GetFocus(), second);
  // Within one program: no WM_ACTIVATEAPP, the old window goes inactive
  // before the new one is told.
  static const ExpectedMessage change[] = {
      {WM_NCACTIVATE, MsgCheckWParam, FALSE, 0},
      {WM_ACTIVATE, MsgCheckWParam, WA_INACTIVE, 0},
      {WM_NCACTIVATE, MsgCheckWParam, TRUE, 0},
      {WM_ACTIVATE, MsgCheckWParam, WA_ACTIVE, 0},
      {WM_KILLFOCUS, 0, 0, 0},
      {WM_SETFOCUS, 0, 0, 0},
  };
  EXPECT_MESSAGES(log, change);
  ASSERT_GE(log.Messages().size(), 4u);
  EXPECT_EQ(log.Messages()[0].window, first);
  EXPECT_EQ(log.Messages()[1].lParam, reinterpret_cast<LPARAM>(second));
  EXPECT_EQ(log.Messages()[3].window, second);
  EXPECT_EQ(log.Messages()[3].lParam, reinterpret_cast<LPARAM>(first));
  // SetActiveWindow goes back and answers the window it replaced.
  EXPECT_EQ(SetActiveWindow(first), second);
  EXPECT_EQ(GetActiveWindow(), first);
  EXPECT_EQ(GetFocus(), first);
  // Destroying the active window hands activation to the other one.
  ASSERT_TRUE(DestroyWindow(first));
  Pump();
  EXPECT_EQ(GetActiveWindow(), second);
}

TEST_F(FocusTest, SwitchingToAnotherProgramAndBack) {
  HWND top = Top(0);
  ASSERT_NE(top, nullptr);
  HWND a = Child(top, 1);
  ShowWindow(top, SW_SHOWNORMAL);
  Pump();
  SetFocus(a);
  log.Clear();
  user_input::ActivateOtherProgram();
  Pump();
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(GetFocus(), nullptr);
  static const ExpectedMessage away[] = {
      {WM_NCACTIVATE, MsgCheckWParam, FALSE, 0},
      {WM_ACTIVATE, MsgCheckWParam, WA_INACTIVE, 0},
      {WM_ACTIVATEAPP, MsgCheckWParam, FALSE, 0},
      {WM_KILLFOCUS, MsgCheckWParam, 0, 0},
  };
  EXPECT_MESSAGES(log, away);
  ASSERT_EQ(log.Messages().size(), 4u);
  EXPECT_EQ(log.Messages()[3].window, a);
  log.Clear();
  user_input::ReturnToProgram(top);
  Pump();
  EXPECT_EQ(GetActiveWindow(), top);
  // The default procedure gives the focus to the window itself.
  EXPECT_EQ(GetFocus(), top);
  static const ExpectedMessage back[] = {
      {WM_ACTIVATEAPP, MsgCheckWParam, TRUE, 0},
      {WM_NCACTIVATE, MsgCheckWParam, TRUE, 0},
      {WM_ACTIVATE, MsgCheckWParam, WA_ACTIVE, 0},
      {WM_SETFOCUS, 0, 0, 0},
  };
  EXPECT_MESSAGES(log, back);
}

TEST_F(FocusTest, HiddenWindowsAreNotActivatedByShowNoActivate) {
  HWND top = Top(0);
  ASSERT_NE(top, nullptr);
  log.Clear();
  ShowWindow(top, SW_SHOWNOACTIVATE);
  Pump();
  EXPECT_TRUE(IsWindowVisible(top));
  EXPECT_NE(GetActiveWindow(), top);
  EXPECT_EQ(log.Count(WM_ACTIVATE), 0u);
  ShowWindow(top, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(top));
}

}  // namespace
