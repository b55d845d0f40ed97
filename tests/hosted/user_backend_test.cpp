// The display backend as user32 uses it, and the injected input that it
// hands back. Hosted only: it reads what the headless display recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "hosted/hooks.h"
#include "platform.h"
#include "support/child_process.h"
#include "support/window_class.h"

namespace {

LRESULT CALLBACK KeepProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    SetPropW(window, TEXT("closed"), reinterpret_cast<HANDLE>(1));
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = windowClass.MakeForClient(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 640, 480, 5, 6, TEXT("Cube"));
    ASSERT_NE(window, nullptr);
  }
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  TestWindowClass windowClass{TEXT("BackendTest"), KeepProc};
  HWND window = nullptr;
};

TEST_F(BackendTest, HeadlessIsTheDefaultAndKnowsTheScreen) {
  EXPECT_STREQ(hosted::DisplayName(), "headless");
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
}

TEST_F(BackendTest, DisplayHearsOfShowMoveSizeAndDestroy) {
  hosted::DisplayWindow state = hosted::DisplayState(window);
  EXPECT_TRUE(state.known);
  EXPECT_FALSE(state.visible);
  EXPECT_EQ(state.x, 5);
  EXPECT_EQ(state.y, 6);
  EXPECT_EQ(state.clientWidth, 640);
  EXPECT_EQ(state.clientHeight, 480);
  ShowWindow(window, SW_SHOWNORMAL);
  EXPECT_TRUE(hosted::DisplayState(window).visible);
  SetWindowPos(window, nullptr, 50, 60, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
  state = hosted::DisplayState(window);
  EXPECT_EQ(state.x, 50);
  EXPECT_EQ(state.y, 60);
  EXPECT_EQ(state.width, 300);
  EXPECT_EQ(state.height, 200);
  EXPECT_EQ(state.clientWidth, 294);
  EXPECT_EQ(state.clientHeight, 175);
  // Children are not the display's business.
  HWND child = windowClass.Make(WS_CHILD | WS_VISIBLE, window, 0, 0, 0, 10, 10);
  ASSERT_NE(child, nullptr);
  EXPECT_FALSE(hosted::DisplayState(child).known);
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(hosted::DisplayState(window).known);
}

TEST_F(BackendTest, InjectedInputWaitsForTheQueueToBeRead) {
  ShowWindow(window, SW_SHOWNORMAL);
  Pump();
  hosted::InjectKey('Q', true);
  // The hardware state changes at once, the thread's only when it takes
  // the key from its queue.
  EXPECT_NE(GetAsyncKeyState('Q') & 0x8000, 0);
  EXPECT_GE(GetKeyState('Q'), 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('Q'));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_LT(GetKeyState('Q'), 0);
  hosted::InjectKey('Q', false);
  Pump();
  EXPECT_GE(GetKeyState('Q'), 0);
}

TEST_F(BackendTest, CaptionClicksAndTheShellsRestore) {
  ShowWindow(window, SW_SHOWNORMAL);
  Pump();
  // A caption without a system menu has no buttons to click.
  HWND plain = windowClass.Make(WS_CAPTION, nullptr, 0, 0, 0, 100, 100);
  ASSERT_NE(plain, nullptr);
  EXPECT_FALSE(hosted::InjectCaptionClick(plain, HTCLOSE));
  EXPECT_FALSE(hosted::InjectCaptionClick(plain, HTMINBUTTON));
  DestroyWindow(plain);
  ASSERT_TRUE(hosted::InjectCaptionClick(window, HTCLOSE));
  Pump();
  EXPECT_EQ(GetPropW(window, TEXT("closed")), reinterpret_cast<HANDLE>(1));
  EXPECT_TRUE(IsWindow(window));
  ASSERT_TRUE(hosted::InjectCaptionClick(window, HTMINBUTTON));
  Pump();
  EXPECT_TRUE(IsIconic(window));
  hosted::InjectRestore(window);
  Pump();
  EXPECT_FALSE(IsIconic(window));
  // A click released off the button does nothing.
  RemovePropW(window, TEXT("closed"));
  RECT r;
  GetWindowRect(window, &r);
  hosted::InjectMouseButton(r.right - 12, r.top + 12, true);
  hosted::InjectMouseButton(r.right - 300, r.top + 12, false);
  Pump();
  EXPECT_EQ(GetPropW(window, TEXT("closed")), nullptr);
}

TEST_F(BackendTest, AltF4AsksToClose) {
  ShowWindow(window, SW_SHOWNORMAL);
  Pump();
  hosted::InjectKey(VK_MENU, true);
  hosted::InjectKey(VK_F4, true);
  hosted::InjectKey(VK_F4, false);
  hosted::InjectKey(VK_MENU, false);
  std::vector<UINT> taken;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    taken.push_back(msg.message);
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // With Alt held the keys are system keys, Alt's own press and release
  // included.
  const std::vector<UINT> expected = {WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSKEYUP};
  EXPECT_EQ(taken, expected);
  EXPECT_EQ(GetPropW(window, TEXT("closed")), reinterpret_cast<HANDLE>(1));
  // F4 alone does nothing of the kind.
  RemovePropW(window, TEXT("closed"));
  hosted::InjectKey(VK_F4, true);
  hosted::InjectKey(VK_F4, false);
  Pump();
  EXPECT_EQ(GetPropW(window, TEXT("closed")), nullptr);
}

// A signal to stop that comes before any window is shown waits for one:
// the first shown is closed when its thread next reads its queue. A second
// signal ends the process by that signal.
TEST_F(BackendTest, ASignalToStopClosesTheFirstWindowShown) {
  ChildProcess child;
  ASSERT_TRUE(child.Fork([this] {
    raise(SIGTERM);
    Pump();
    std::printf("hidden %d\n", GetPropW(window, TEXT("closed")) != nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    Pump();
    std::printf("shown %d\n", GetPropW(window, TEXT("closed")) != nullptr);
    std::fflush(stdout);
    raise(SIGTERM);
  }));
  EXPECT_EQ(child.Finish(), -1);
  EXPECT_EQ(child.endedBy, SIGTERM);
  EXPECT_EQ(child.out, "hidden 0\nshown 1\n");
}

// The key data tell what the key's state was when it moved: a second press
// is a repeat, a release was down before; Alt held sets the context bit.
TEST_F(BackendTest, KeyDataTellRepeatsReleasesAndAlt) {
  ShowWindow(window, SW_SHOWNORMAL);
  Pump();
  for (bool down : {true, true, false}) hosted::InjectKey('A', down);
  hosted::InjectKey(VK_MENU, true);
  for (bool down : {true, false}) hosted::InjectKey('B', down);
  hosted::InjectKey(VK_MENU, false);
  // Bits 31 (released), 30 (was down) and 29 (Alt held) of each message.
  std::vector<std::pair<UINT, DWORD>> taken;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE))
    if (msg.wParam != VK_MENU) taken.emplace_back(msg.message, static_cast<DWORD>(msg.lParam) >> 29);
  const std::vector<std::pair<UINT, DWORD>> expected = {
      {WM_KEYDOWN, 0}, {WM_KEYDOWN, 2}, {WM_KEYUP, 6}, {WM_SYSKEYDOWN, 1}, {WM_SYSKEYUP, 7}};
  EXPECT_EQ(taken, expected);
}

// Wine under Xvfb leaves maximising to a window manager that is not
// there, so only the substitute can show it: the window covers the screen
// with its frame outside, and restoring gives the old size back.
TEST_F(BackendTest, MaximiseCoversTheScreenAndRestoreGoesBack) {
  SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | WS_THICKFRAME | WS_MAXIMIZEBOX);
  ShowWindow(window, SW_SHOWMAXIMIZED);
  Pump();
  EXPECT_TRUE(IsZoomed(window));
  EXPECT_EQ(GetActiveWindow(), window);
  RECT client, outer;
  ASSERT_TRUE(GetClientRect(window, &client));
  ASSERT_TRUE(GetWindowRect(window, &outer));
  EXPECT_EQ(outer.left, -4);
  EXPECT_EQ(outer.top, -4);
  EXPECT_EQ(client.right, 1024);
  EXPECT_EQ(hosted::DisplayState(window).clientWidth, 1024);
  ShowWindow(window, SW_RESTORE);
  EXPECT_FALSE(IsZoomed(window));
  ASSERT_TRUE(GetWindowRect(window, &outer));
  EXPECT_EQ(outer.left, 5);
  EXPECT_EQ(outer.top, 6);
}

TEST_F(BackendTest, AnotherProgramTakesTheForegroundAndGivesItBack) {
  ShowWindow(window, SW_SHOWNORMAL);
  Pump();
  ASSERT_EQ(GetActiveWindow(), window);
  hosted::InjectAppActivation(false);
  Pump();
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  // Keys typed meanwhile go to the other program.
  hosted::InjectKey('Z', true);
  hosted::InjectKey('Z', false);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  hosted::InjectAppActivation(true);
  Pump();
  EXPECT_EQ(GetActiveWindow(), window);
  EXPECT_EQ(GetFocus(), window);
  EXPECT_EQ(GetForegroundWindow(), window);
}

}  // namespace

namespace {

// Calls that Windows answers with an error for null pointers or dead
// handles; the substitute must answer the same way instead of crashing.
// A clock on which waiting costs nothing.
uint64_t fakeMicros = 1000000;
uint64_t FakeNow() { return fakeMicros; }
void FakeSleepUntil(uint64_t micros) { fakeMicros = std::max(fakeMicros, micros); }

TEST(QueueWait, TimeOutsRunOnTheSubstitutesClock) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  hosted::SetClock(FakeNow, FakeSleepUntil);
  const uint64_t start = fakeMicros;
  const DWORD result = MsgWaitForMultipleObjects(0, nullptr, FALSE, 250, QS_ALLINPUT | QS_ALLPOSTMESSAGE);
  const uint64_t waited = fakeMicros - start;
  hosted::SetClock(nullptr, nullptr);
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(waited, 250000u);
}

TEST(SubstituteRobustness, NullPointersAndDeadHandlesFailCleanly) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = TEXT("Robustness");
  ASSERT_NE(RegisterClassW(&wc), 0);
  HWND dead = CreateWindowExW(0, TEXT("Robustness"), nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr);
  ASSERT_NE(dead, nullptr);
  WCHAR title[8] = {u'x', 0};
  EXPECT_EQ(GetWindowTextW(dead, title, 8), 0);  // a null title reads as empty
  EXPECT_EQ(title[0], 0);
  ASSERT_TRUE(DestroyWindow(dead));

  EXPECT_EQ(RegisterClassW(nullptr), 0);
  EXPECT_EQ(RegisterClassExW(nullptr), 0);
  WNDCLASSW noProc = {};
  noProc.lpszClassName = TEXT("NoProc");
  EXPECT_EQ(RegisterClassW(&noProc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(GetClassInfoW(nullptr, TEXT("Robustness"), nullptr));
  EXPECT_EQ(CreateWindowExW(0, nullptr, nullptr, 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateWindowExA(0, nullptr, nullptr, 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateWindowExW(0, TEXT("Robustness"), nullptr, WS_CHILD, 0, 0, 1, 1, dead, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

  SetLastError(0);
  EXPECT_FALSE(DestroyWindow(dead));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  RECT r = {};
  EXPECT_FALSE(GetWindowRect(dead, &r));
  EXPECT_FALSE(AdjustWindowRectEx(nullptr, WS_CAPTION, FALSE, 0));
  EXPECT_FALSE(SetWindowPos(dead, nullptr, 0, 0, 1, 1, 0));
  EXPECT_EQ(SetWindowLongPtrW(dead, GWLP_WNDPROC, 0), 0);
  EXPECT_EQ(GetPropW(dead, TEXT("x")), nullptr);
  EXPECT_EQ(RemovePropW(dead, TEXT("x")), nullptr);
  EXPECT_FALSE(EnumChildWindows(dead, [](HWND, LPARAM) -> BOOL { return TRUE; }, 0));
  EXPECT_EQ(GetWindow(dead, GW_CHILD), nullptr);
  EXPECT_FALSE(IsChild(dead, dead));
  EXPECT_EQ(SetFocus(dead), nullptr);
  EXPECT_EQ(SetActiveWindow(dead), nullptr);
  EXPECT_FALSE(InvalidateRect(dead, nullptr, TRUE));
  PAINTSTRUCT ps;
  EXPECT_EQ(BeginPaint(dead, &ps), nullptr);
  EXPECT_FALSE(PostMessageW(dead, WM_USER, 0, 0));
  EXPECT_EQ(SendMessageW(dead, WM_USER, 0, 0), 0);
  MSG msg = {dead, WM_USER, 0, 0, 0, {0, 0}};
  EXPECT_EQ(DispatchMessageW(&msg), 0);
  EXPECT_EQ(DispatchMessageW(nullptr), 0);
  EXPECT_FALSE(PeekMessageW(nullptr, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(GetMessageW(nullptr, nullptr, 0, 0), -1);
  EXPECT_FALSE(PeekMessageW(&msg, dead, 0, 0, PM_REMOVE));
  EXPECT_FALSE(TranslateMessage(nullptr));
  EXPECT_EQ(TranslateAcceleratorW(nullptr, nullptr, nullptr), 0);
  ACCEL entry = {FVIRTKEY, VK_TAB, 1};
  EXPECT_EQ(CreateAcceleratorTableW(&entry, 0), nullptr);
  EXPECT_EQ(CreateAcceleratorTableW(nullptr, 1), nullptr);
  EXPECT_FALSE(DestroyAcceleratorTable(reinterpret_cast<HACCEL>(&entry)));
  EXPECT_EQ(CallWindowProcW(nullptr, dead, WM_USER, 0, 0), 0);
  EXPECT_EQ(GetClassNameW(dead, title, 8), 0);
  EXPECT_EQ(GetKeyState(-1), 0);
  EXPECT_EQ(GetAsyncKeyState(1000), 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, nullptr, FALSE, 0, QS_ALLINPUT), static_cast<DWORD>(WAIT_FAILED));
  EXPECT_FALSE(DestroyIcon(nullptr));
  EXPECT_TRUE(UnregisterClassW(TEXT("Robustness"), nullptr));
}

}  // namespace
