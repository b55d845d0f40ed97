// The window procedure: which native messages become which runtime events,
// what it answers, and what it leaves to the default procedure.
#include <gtest/gtest.h>

#include "runtime/facilities.h"
#include "support/message_log.h"
#include "support/window_class.h"
#include "window_fixture.h"

namespace {

class WindowProcTest : public SceneWindowFixture {
 protected:
  // A window of a class of its own that uses the runtime's procedure but
  // carries no number (a child of parent, or top-level without one).
  HWND Unnumbered(HWND parent) {
    return unnumbered.Make(parent != nullptr ? WS_CHILD | WS_VISIBLE : WS_CAPTION, parent, 0, 0, 0, 50, 50);
  }

  static HWND Child(HWND parent, int id, DWORD style = WS_TABSTOP) {
    return CreateWindowExW(0, TEXT("STATIC"), TEXT(""), WS_CHILD | WS_VISIBLE | style, 0, 0, 20, 20, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Globals.instance, nullptr);
  }

  TestWindowClass unnumbered{TEXT("UnnumberedTestClass"), WindowClassProc};
  MessageLog log;
};

const ExpectedMessage CloseRequest[] = {
    {WM_CLOSE, 0, 0, 0},
};

TEST_F(WindowProcTest, CloseRequestPostsOneEventAndKeepsTheWindow) {
  log.Filter({WM_CLOSE, WM_DESTROY, WM_NCDESTROY});
  log.Attach(window);
  EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 0);
  EXPECT_MESSAGES(log, CloseRequest);
  EXPECT_TRUE(IsWindow(window));
  const std::vector<PolledEvent> expected = {{EventCloseWindow, 0, 0, 0}};
  EXPECT_EQ(Only(Poll(), {EventCloseWindow}), expected);
  EXPECT_TRUE(IsWindow(window));
}

const ExpectedMessage SystemMenuClose[] = {
    {WM_SYSCOMMAND, MsgCheckWParam, SC_CLOSE, 0},
    {WM_CLOSE, 0, 0, 0},
};

TEST_F(WindowProcTest, SystemCloseCommandBecomesTheCloseEvent) {
  log.Filter({WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY});
  log.Attach(window);
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  std::vector<UINT> native;
  const std::vector<PolledEvent> events = Poll(&native);
  ASSERT_FALSE(native.empty());
  EXPECT_EQ(native[0], UINT(WM_SYSCOMMAND)) << "the poll that dispatched it returns its identifier";
  EXPECT_MESSAGES(log, SystemMenuClose);
  const std::vector<PolledEvent> expected = {{EventCloseWindow, 0, 0, 0}};
  EXPECT_EQ(Only(events, {EventCloseWindow}), expected);
  EXPECT_TRUE(IsWindow(window));
}

const ExpectedMessage MinimiseRestore[] = {
    {WM_SIZE, MsgCheckWParam, SIZE_MINIMIZED, 0},
    {WM_SIZE, MsgCheckWParam, SIZE_RESTORED, 0},
};

TEST_F(WindowProcTest, MinimiseThenRestorePostsMinimiseRestoreAndSize) {
  log.Filter({WM_SIZE});
  log.Attach(window);
  ShowWindow(window, SW_MINIMIZE);
  EXPECT_EQ(Record(0)->minMaxState, 1);
  const std::vector<PolledEvent> minimised = {{EventMinimize, 0, 0, 0}};
  EXPECT_EQ(Only(Poll(), {EventMinimize, EventRestore, EventSizeWindow, EventMaximize}), minimised);
  ShowWindow(window, SW_RESTORE);
  EXPECT_EQ(Record(0)->minMaxState, 0);
  const std::vector<PolledEvent> restored = {{EventRestore, 0, 0, 0}, {EventSizeWindow, 0, 0, 0}};
  EXPECT_EQ(Only(Poll(), {EventMinimize, EventRestore, EventSizeWindow, EventMaximize}), restored);
  EXPECT_MESSAGES(log, MinimiseRestore);
}

TEST_F(WindowProcTest, SizeKindsPostTheirEvents) {
  const int32_t codes[] = {EventMinimize, EventMaximize, EventRestore, EventSizeWindow};
  auto sized = [&](WPARAM kind) {
    EXPECT_EQ(SendMessageW(window, WM_SIZE, kind, MAKELPARAM(10, 10)), 0);
    std::vector<int32_t> got;
    for (const PolledEvent& e : Only(Poll(), {codes[0], codes[1], codes[2], codes[3]})) got.push_back(e.code);
    return got;
  };
  EXPECT_EQ(sized(SIZE_RESTORED), (std::vector<int32_t>{EventSizeWindow}));
  EXPECT_EQ(sized(SIZE_MAXIMIZED), (std::vector<int32_t>{EventMaximize, EventSizeWindow}));
  EXPECT_EQ(Record(0)->minMaxState, 1);
  EXPECT_EQ(sized(SIZE_RESTORED), (std::vector<int32_t>{EventRestore, EventSizeWindow}));
  EXPECT_EQ(Record(0)->minMaxState, 0);
  EXPECT_EQ(sized(SIZE_MAXSHOW), (std::vector<int32_t>{EventSizeWindow}));
}

TEST_F(WindowProcTest, ReactivationGivesTheFocusBackToTheChild) {
  HWND first = Child(window, 1);
  HWND second = Child(window, 2);
  ASSERT_NE(second, nullptr);
  SetFocus(second);
  ASSERT_EQ(GetFocus(), second);
  Poll();

  log.Filter({WM_ACTIVATE});
  log.Attach(window);
  HWND other = reinterpret_cast<HWND>(WindowOpen(1, 100, 100, 100, 100, TEXT("other"), 0xCA0000));
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(GetActiveWindow(), other);
  EXPECT_EQ(GetPropW(window, TEXT("ZW_Focus")), static_cast<HANDLE>(second));
  SetActiveWindow(window);
  EXPECT_EQ(GetFocus(), second);
  EXPECT_NE(GetFocus(), first);

  static const ExpectedMessage sequence[] = {
      {WM_ACTIVATE, MsgCheckWParam, WA_INACTIVE, 0},
      {WM_ACTIVATE, MsgCheckWParam, WA_ACTIVE, 0},
  };
  EXPECT_MESSAGES(log, sequence);
  std::vector<PolledEvent> ofScene;
  for (const PolledEvent& e : Only(Poll(), {EventActivate, EventDeactivate}))
    if (e.window == 0) ofScene.push_back(e);
  const std::vector<PolledEvent> expected = {{EventDeactivate, 0, 0, 0}, {EventActivate, 0, 0, 0}};
  EXPECT_EQ(ofScene, expected);
}

TEST_F(WindowProcTest, MessagesWithoutAWindowNumberPostOnlyWhatNeedsNone) {
  HWND loose = Unnumbered(nullptr);
  ASSERT_NE(loose, nullptr);
  Poll();
  EXPECT_EQ(SendMessageW(loose, WM_SIZE, SIZE_RESTORED, MAKELPARAM(5, 5)), 1);
  EXPECT_EQ(SendMessageW(loose, WM_MOVE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(loose, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(loose));
  EXPECT_EQ(SendMessageW(loose, WM_TIMER, 3, 0), 0);
  EXPECT_EQ(SendMessageW(loose, WM_LBUTTONUP, 0, 0), 0);
  EXPECT_EQ(SendMessageW(loose, WM_ACTIVATE, WA_ACTIVE, 0), 1);
  const std::vector<PolledEvent> expected = {{EventLeftClick, 0, -1, 0}, {EventActivate, 0, -1, 0}};
  EXPECT_EQ(Poll(), expected);
  DestroyWindow(loose);
}

TEST_F(WindowProcTest, ChildWindowsReportTheirTopLevelNumber) {
  HWND child = Unnumbered(window);
  ASSERT_NE(child, nullptr);
  Poll();
  EXPECT_EQ(SendMessageW(child, WM_SIZE, SIZE_RESTORED, 0), 1);
  EXPECT_EQ(SendMessageW(child, WM_MOVE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(child, WM_CLOSE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(child, WM_RBUTTONUP, 0, 0), 0);
  EXPECT_EQ(SendMessageW(child, WM_LBUTTONDBLCLK, 0, 0), 0);
  EXPECT_EQ(SendMessageW(child, WM_TIMER, 4, 0), 0);
  const std::vector<PolledEvent> expected = {
      {EventRightClick, 0, 0, 0}, {EventLeftDoubleClick, 0, 0, 0}, {EventTimer, 4, 0, 0}};
  EXPECT_EQ(Poll(), expected);

  EXPECT_EQ(SendMessageW(window, WM_MOVE, 0, 0), 0);
  EXPECT_EQ(Poll(), (std::vector<PolledEvent>{{EventMoveWindow, 0, 0, 0}}));
}

TEST_F(WindowProcTest, CommandsBecomeMenuControlOrFocusSteps) {
  HWND a = Child(window, 7);
  HWND b = Child(window, 8);
  HWND toolbar = Child(window, ToolbarControlId, 0);
  ASSERT_NE(toolbar, nullptr);
  SetFocus(a);
  Poll();

  EXPECT_EQ(SendMessageW(window, WM_COMMAND, 0x1FA01, 0), 0);
  EXPECT_EQ(GetFocus(), b);
  EXPECT_TRUE(Poll().empty()) << "focus steps post nothing";
  EXPECT_EQ(SendMessageW(window, WM_COMMAND, 0x1FA02, 0), 0);
  EXPECT_EQ(GetFocus(), a);

  SendMessageW(window, WM_COMMAND, 0x1002A, 0);  // another accelerator
  SendMessageW(window, WM_COMMAND, 5, 0);  // a menu item
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(7, 3), reinterpret_cast<LPARAM>(a));
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(12, 1), reinterpret_cast<LPARAM>(toolbar));
  const std::vector<PolledEvent> expected = {
      {EventMenu, 42, 0, 0}, {EventMenu, 5, 0, 0}, {EventControl, 7, 0, 3}, {EventMenu, 12, 0, 0}};
  EXPECT_EQ(Only(Poll(), {EventMenu, EventControl}), expected);
}

int handled;
HWND handledParent;
LRESULT HandleControl(ControlRecord*, HWND parent, UINT message, WPARAM, LPARAM) {
  ++handled;
  handledParent = parent;
  return message == WM_HSCROLL ? 77 : 1;
}
const ControlClassOps HandlingOps = {HandleControl};

TEST_F(WindowProcTest, ControlsWithAHandlerAnswerForThemselves) {
  HWND control = Child(window, 3, 0);
  ASSERT_NE(control, nullptr);
  auto* record = static_cast<ControlRecord*>(ObjectAlloc(ControlTable, 3));
  ASSERT_NE(record, nullptr);
  record->window = control;
  record->ops = &HandlingOps;
  handled = 0;

  // Without its identifier as a property, the window is not the facility's.
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(3, 0), reinterpret_cast<LPARAM>(control));
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(Only(Poll(), {EventControl}), (std::vector<PolledEvent>{{EventControl, 3, 0, 0}}));

  SetPropW(control, TEXT("ZW_ID"), reinterpret_cast<HANDLE>(static_cast<INT_PTR>(3)));
  EXPECT_EQ(SendMessageW(window, WM_COMMAND, MAKEWPARAM(3, 0), reinterpret_cast<LPARAM>(control)), 0);
  EXPECT_EQ(SendMessageW(window, WM_HSCROLL, 0, reinterpret_cast<LPARAM>(control)), 77);
  EXPECT_EQ(SendMessageW(window, MessageControlRelay, 0, reinterpret_cast<LPARAM>(control)), 1);
  NMHDR header = {control, 3, 0};
  EXPECT_EQ(SendMessageW(window, WM_NOTIFY, 3, reinterpret_cast<LPARAM>(&header)), 1);
  EXPECT_EQ(handled, 4);
  EXPECT_EQ(handledParent, window);
  EXPECT_TRUE(Only(Poll(), {EventControl}).empty());
  RemovePropW(control, TEXT("ZW_ID"));
  record->window = nullptr;
}

TEST_F(WindowProcTest, TrayIconClicksPostTheirKindAndWakeTheQueue) {
  const struct {
    LPARAM mouse;
    int32_t type;
  } clicks[] = {{WM_LBUTTONDOWN, 0}, {WM_RBUTTONDOWN, 1}, {WM_LBUTTONDBLCLK, 2}, {WM_RBUTTONDBLCLK, 3}, {WM_MOUSEMOVE, -1}};
  for (const auto& click : clicks) {
    EXPECT_EQ(SendMessageW(window, MessageTrayIcon, 9, click.mouse), 0);
    int nulls = 0;
    MSG msg;
    for (int i = 0; i < 50 && PeekMessageW(&msg, window, 0, 0, PM_REMOVE); ++i)
      if (msg.message == WM_NULL) ++nulls;
    EXPECT_EQ(nulls, 1) << "mouse message " << click.mouse;
    const std::vector<PolledEvent> events = Only(Poll(), {EventTrayIcon});
    if (click.type < 0) {
      EXPECT_TRUE(events.empty());
    } else {
      EXPECT_EQ(events, (std::vector<PolledEvent>{{EventTrayIcon, 9, 0, click.type}}));
    }
  }
}

TEST_F(WindowProcTest, TrackingLimitsFillTheMinMaxInfo) {
  MINMAXINFO info = {};
  info.ptMinTrackSize = {11, 12};
  info.ptMaxTrackSize = {13, 14};
  EXPECT_EQ(SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.ptMinTrackSize.x, 11) << "no limits: nothing changes";
  EXPECT_EQ(info.ptMaxTrackSize.y, 14);

  WindowRecord* record = Record(0);
  record->minWidth = 300;
  record->minHeight = 200;
  record->maxWidth = 900;
  record->maxHeight = 700;
  EXPECT_EQ(SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.ptMinTrackSize.x, 300);
  EXPECT_EQ(info.ptMinTrackSize.y, 200);
  EXPECT_EQ(info.ptMaxTrackSize.x, 900);
  EXPECT_EQ(info.ptMaxTrackSize.y, 700);

  // Tool windows may shrink to one pixel's width.
  HWND tool = reinterpret_cast<HWND>(WindowOpen(1, 0, 0, 100, 100, TEXT("tool"), WindowFlagTool));
  ASSERT_NE(tool, nullptr);
  info.ptMinTrackSize = {11, 12};
  EXPECT_EQ(SendMessageW(tool, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.ptMinTrackSize.x, 1);
  EXPECT_EQ(info.ptMinTrackSize.y, 12);
}

HDC erasedDc;
HWND erasedWindow;
LRESULT EraseHook(HDC dc, HWND window) {
  erasedDc = dc;
  erasedWindow = window;
  return 55;
}
int hookCalls;
LRESULT DecliningHook(HWND, UINT, WPARAM, LPARAM) {
  ++hookCalls;
  return ProcContinue;
}
LRESULT TakingHook(HWND, UINT message, WPARAM, LPARAM) {
  ++hookCalls;
  return message == WM_CLOSE ? 9 : ProcContinue;
}

TEST_F(WindowProcTest, EraseAndEventHooksComeFirst) {
  HDC dc = GetDC(window);
  ASSERT_NE(dc, nullptr);
  // Erased by the default procedure with the class background.
  EXPECT_NE(SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 0);
  EXPECT_EQ(Only(Poll(), {EventRepaint}), (std::vector<PolledEvent>{{EventRepaint, 0, 0, 0}}));
  Record(0)->eraseCallback = EraseHook;
  EXPECT_EQ(SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 55);
  EXPECT_EQ(erasedDc, dc);
  EXPECT_EQ(erasedWindow, window);
  EXPECT_EQ(Only(Poll(), {EventRepaint}), (std::vector<PolledEvent>{{EventRepaint, 0, 0, 0}}));
  Record(0)->eraseCallback = nullptr;
  ReleaseDC(window, dc);

  hookCalls = 0;
  WindowsThread->eventCallback = DecliningHook;
  SendMessageW(window, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(hookCalls, 1);
  EXPECT_EQ(Only(Poll(), {EventLeftClick}).size(), 1u);
  // A window's own hook is asked instead of the thread's.
  Record(0)->eventCallback = TakingHook;
  EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 9);
  EXPECT_EQ(hookCalls, 2);
  EXPECT_TRUE(Only(Poll(), {EventCloseWindow}).empty());
  Record(0)->eventCallback = nullptr;
  WindowsThread->eventCallback = nullptr;
}

TEST_F(WindowProcTest, ColourChangesReachEveryDescendant) {
  // Plain children: ones with the runtime's procedure would pass it on again.
  HWND child = Child(window, 1, 0);
  HWND grandchild = Child(child, 2, 0);
  ASSERT_NE(grandchild, nullptr);
  MessageLog childLog;
  childLog.Filter({WM_SYSCOLORCHANGE});
  childLog.Attach(child);
  childLog.Attach(grandchild);
  SendMessageW(window, WM_SYSCOLORCHANGE, 0, 0);
  ASSERT_EQ(childLog.Count(WM_SYSCOLORCHANGE), 2u);
  EXPECT_EQ(childLog.Messages()[0].window, child);
  EXPECT_EQ(childLog.Messages()[1].window, grandchild);
}

}  // namespace
