// Classes, window fields, properties, the window tree and geometry. Runs on
// both lanes: against user32 under Wine and against the substitute.
#include <gtest/gtest.h>

#include <vector>

#include "platform.h"
#include "support/message_log.h"
#include "support/window_class.h"

namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(windowClass.atom, 0); }
  HWND Make(DWORD style, HWND parent = nullptr, int id = 0, int x = 0, int y = 0, int w = 100, int h = 80) {
    return windowClass.Make(style, parent, id, x, y, w, h, TEXT("w"));
  }
  TestWindowClass windowClass{TEXT("UserWindowTest"), PlainProc, 0, 16};
};

TEST_F(WindowTest, ClassRegistrationRules) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = Instance();
  wc.lpszClassName = TEXT("userwindowtest");
  SetLastError(0);
  EXPECT_EQ(RegisterClassW(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  WNDCLASSA ansi = {};
  ansi.lpfnWndProc = PlainProc;
  ansi.hInstance = Instance();
  ansi.lpszClassName = "UserWindowTestA";
  const ATOM atom = RegisterClassA(&ansi);
  EXPECT_GE(atom, 0xC000);
  WNDCLASSW info;
  EXPECT_TRUE(GetClassInfoW(Instance(), TEXT("USERWINDOWTESTA"), &info));
  EXPECT_TRUE(UnregisterClassA("UserWindowTestA", Instance()));
  SetLastError(0);
  EXPECT_FALSE(UnregisterClassA("UserWindowTestA", Instance()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
  // A class cannot go while one of its windows lives.
  HWND window = Make(WS_OVERLAPPED);
  ASSERT_NE(window, nullptr);
  SetLastError(0);
  EXPECT_FALSE(UnregisterClassW(TEXT("UserWindowTest"), Instance()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  // The system's static control class is always there.
  EXPECT_TRUE(GetClassInfoW(nullptr, TEXT("STATIC"), &info));
  HWND label = CreateWindowExW(0, TEXT("STATIC"), TEXT("x"), WS_CHILD, 0, 0, 10, 10, window, nullptr, nullptr, nullptr);
  ASSERT_NE(label, nullptr);
  WCHAR name[16] = {};
  EXPECT_EQ(GetClassNameW(label, name, 16), 6);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), u"Static");
  WCHAR small[4] = {};
  EXPECT_EQ(GetClassNameW(window, small, 4), 3);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(small)), u"Use");
}

TEST_F(WindowTest, UnknownClassAndOrphanChildFail) {
  SetLastError(0);
  EXPECT_EQ(CreateWindowExW(0, TEXT("NoSuchClass"), TEXT(""), 0, 0, 0, 1, 1, nullptr, nullptr, Instance(), nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
  SetLastError(0);
  EXPECT_EQ(Make(WS_CHILD), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
}

TEST_F(WindowTest, AdjustedRectangleGivesTheAskedClientArea) {
  struct Case {
    DWORD style;
    DWORD exStyle;
    RECT expected;
  };
  // Wine's frame and caption sizes.
  const Case cases[] = {
      {WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, {-3, -22, 643, 483}},
      {WS_OVERLAPPEDWINDOW, 0, {-4, -23, 644, 484}},
      {WS_CAPTION, WS_EX_TOOLWINDOW, {-3, -19, 643, 483}},
      {WS_POPUP, 0, {0, 0, 640, 480}},
      {WS_CHILD | WS_BORDER, 0, {-1, -1, 641, 481}},
  };
  for (const Case& c : cases) {
    RECT r = {0, 0, 640, 480};
    ASSERT_TRUE(AdjustWindowRectEx(&r, c.style, FALSE, c.exStyle));
    EXPECT_EQ(r.left, c.expected.left) << std::hex << c.style;
    EXPECT_EQ(r.top, c.expected.top) << std::hex << c.style;
    EXPECT_EQ(r.right, c.expected.right) << std::hex << c.style;
    EXPECT_EQ(r.bottom, c.expected.bottom) << std::hex << c.style;
    if (c.style & WS_CHILD) continue;
    HWND window = windowClass.Make(c.style, nullptr, 0, 0, 0, r.right - r.left, r.bottom - r.top, TEXT("w"), c.exStyle);
    ASSERT_NE(window, nullptr);
    RECT client, outer;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 640) << std::hex << c.style;
    EXPECT_EQ(client.bottom, 480) << std::hex << c.style;
    ASSERT_TRUE(GetWindowRect(window, &outer));
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.right, r.right - r.left);
    POINT origin = {0, 0};
    ASSERT_TRUE(ClientToScreen(window, &origin));
    EXPECT_EQ(origin.x, -r.left);
    EXPECT_EQ(origin.y, -r.top);
  }
}

TEST_F(WindowTest, CaptionHitTesting) {
  HWND window = windowClass.MakeForClient(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 640, 480, 0, 0, TEXT("w"));
  ASSERT_NE(window, nullptr);
  auto hit = [&](int x, int y) { return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)); };
  // The window is 646 wide: 3 pixels of frame, then 18-pixel buttons from
  // the right (close, maximise, minimise) and the system menu on the left.
  EXPECT_EQ(hit(1, 12), HTBORDER);
  EXPECT_EQ(hit(10, 12), HTSYSMENU);
  EXPECT_EQ(hit(300, 12), HTCAPTION);
  EXPECT_EQ(hit(588, 12), HTCAPTION);
  EXPECT_EQ(hit(589, 12), HTMINBUTTON);
  EXPECT_EQ(hit(607, 12), HTMAXBUTTON);
  EXPECT_EQ(hit(625, 12), HTCLOSE);
  EXPECT_EQ(hit(642, 12), HTCLOSE);
  EXPECT_EQ(hit(643, 12), HTBORDER);
  EXPECT_EQ(hit(634, 3), HTCLOSE);
  EXPECT_EQ(hit(634, 21), HTNOWHERE);
  EXPECT_EQ(hit(634, 22), HTCLIENT);
  EXPECT_EQ(hit(320, 300), HTCLIENT);
  EXPECT_EQ(hit(700, 12), HTNOWHERE);
}

TEST_F(WindowTest, ScreenMetrics) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
  EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
  EXPECT_EQ(GetSystemMetrics(SM_CXDLGFRAME), 3);
  EXPECT_EQ(GetSystemMetrics(SM_CXFRAME), 4);
  EXPECT_EQ(GetSystemMetrics(SM_CXSIZE), 18);
}

LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto previous = reinterpret_cast<WNDPROC>(GetPropW(window, TEXT("previous")));
  if (message == WM_USER) return 100 + CallWindowProcW(previous, window, message, wParam, lParam);
  return CallWindowProcW(previous, window, message, wParam, lParam);
}

LRESULT CALLBACK AnswerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER) return 5;
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(WindowTest, WindowLongsAndSubclassing) {
  HWND window = Make(WS_OVERLAPPED);
  ASSERT_NE(window, nullptr);
  HWND child = Make(WS_CHILD | WS_TABSTOP, window, 42);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetWindowLongW(child, GWL_ID), 42);
  EXPECT_EQ(SetWindowLongW(child, GWL_ID, 43), 42);
  EXPECT_EQ(GetWindowLongPtrW(child, GWLP_ID), 43);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)) & (WS_CHILD | WS_TABSTOP), WS_CHILD | WS_TABSTOP);
  // Overlapped windows always carry a caption.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
  // Extra bytes hold what is put there, and stop at their end.
  EXPECT_EQ(SetWindowLongPtrW(window, 8, 77), 0);
  EXPECT_EQ(GetWindowLongPtrW(window, 8), 77);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrW(window, 100), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  // Subclassing: the new procedure sees the message first and passes it on.
  auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnswerProc)));
  EXPECT_EQ(old, PlainProc);
  EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 5);
  SetPropW(window, TEXT("previous"), reinterpret_cast<HANDLE>(GetWindowLongPtrW(window, GWLP_WNDPROC)));
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc));
  EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 105);
  RemovePropW(window, TEXT("previous"));
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlainProc));
}

TEST_F(WindowTest, PropertiesByName) {
  HWND window = Make(WS_OVERLAPPED);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetPropW(window, TEXT("ZW_WindowID")), nullptr);
  EXPECT_TRUE(SetPropW(window, TEXT("ZW_WindowID"), reinterpret_cast<HANDLE>(1)));
  EXPECT_TRUE(SetPropW(window, TEXT("ZW_Focus"), reinterpret_cast<HANDLE>(2)));
  // Names match without regard to case; setting again replaces.
  EXPECT_EQ(GetPropW(window, TEXT("zw_windowid")), reinterpret_cast<HANDLE>(1));
  EXPECT_TRUE(SetPropW(window, TEXT("ZW_WINDOWID"), reinterpret_cast<HANDLE>(3)));
  EXPECT_EQ(GetPropW(window, TEXT("ZW_WindowID")), reinterpret_cast<HANDLE>(3));
  EXPECT_EQ(RemovePropW(window, TEXT("ZW_WindowID")), reinterpret_cast<HANDLE>(3));
  EXPECT_EQ(RemovePropW(window, TEXT("ZW_WindowID")), nullptr);
  EXPECT_EQ(GetPropW(window, TEXT("ZW_Focus")), reinterpret_cast<HANDLE>(2));
  EXPECT_EQ(GetPropA(window, "ZW_Focus"), reinterpret_cast<HANDLE>(2));
}

std::vector<HWND>* enumerated = nullptr;

BOOL CALLBACK Collect(HWND window, LPARAM stopAt) {
  enumerated->push_back(window);
  return reinterpret_cast<HWND>(stopAt) != window;
}

TEST_F(WindowTest, TreeQueriesAndEnumerationOrder) {
  HWND top = Make(WS_OVERLAPPED);
  ASSERT_NE(top, nullptr);
  HWND a = Make(WS_CHILD | WS_VISIBLE, top, 1);
  HWND b = Make(WS_CHILD | WS_VISIBLE, top, 2);
  HWND b1 = Make(WS_CHILD | WS_VISIBLE, b, 3);
  HWND c = Make(WS_CHILD | WS_VISIBLE, top, 4);
  HWND owned = Make(WS_POPUP, top);
  ASSERT_TRUE(a && b && b1 && c && owned);
  EXPECT_EQ(GetParent(a), top);
  EXPECT_EQ(GetParent(b1), b);
  EXPECT_EQ(GetParent(top), nullptr);
  EXPECT_EQ(GetWindow(owned, GW_OWNER), top);
  EXPECT_EQ(GetWindow(a, GW_OWNER), nullptr);
  EXPECT_TRUE(IsChild(top, b1));
  EXPECT_FALSE(IsChild(b1, top));
  EXPECT_FALSE(IsChild(top, owned));
  // Children keep creation order: the first created is first in z-order.
  EXPECT_EQ(GetWindow(top, GW_CHILD), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  std::vector<HWND> seen;
  enumerated = &seen;
  EXPECT_TRUE(EnumChildWindows(top, Collect, 0));
  const std::vector<HWND> depthFirst = {a, b, b1, c};
  EXPECT_EQ(seen, depthFirst);
  seen.clear();
  EnumChildWindows(top, Collect, reinterpret_cast<LPARAM>(b));
  EXPECT_EQ(seen, std::vector<HWND>({a, b}));
  enumerated = nullptr;
  DWORD process = 0;
  EXPECT_EQ(GetWindowThreadProcessId(b1, &process), GetCurrentThreadId());
  EXPECT_EQ(process, GetCurrentProcessId());
  // Visibility follows the parents; a disabled window says so.
  EXPECT_FALSE(IsWindowVisible(a));
  EXPECT_TRUE(IsWindowEnabled(a));
  EnableWindow(a, FALSE);
  EXPECT_FALSE(IsWindowEnabled(a));
  // Destroying the parent takes its children and owned windows along.
  ASSERT_TRUE(DestroyWindow(top));
  for (HWND w : {top, a, b, b1, c, owned}) EXPECT_FALSE(IsWindow(w));
}

// A child that goes out of sight, hidden or destroyed, leaves its parent to
// repaint where it was.
TEST_F(WindowTest, AVanishingChildLeavesItsAreaToTheParent) {
  HWND parent = Make(WS_OVERLAPPED | WS_VISIBLE, nullptr, 0, 0, 0, 300, 200);
  ASSERT_NE(parent, nullptr);
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "hidden");
    HWND child = Make(WS_CHILD | WS_VISIBLE, parent, 1, 10, 20, 50, 40);
    ASSERT_NE(child, nullptr);
    UpdateWindow(parent);
    ValidateRect(parent, nullptr);
    if (destroy) DestroyWindow(child);
    else ShowWindow(child, SW_HIDE);
    RECT update{};
    ASSERT_TRUE(GetUpdateRect(parent, &update, FALSE));
    EXPECT_EQ(std::vector<LONG>({update.left, update.top, update.right, update.bottom}),
              std::vector<LONG>({10, 20, 60, 60}));
    if (!destroy) DestroyWindow(child);
  }
}

TEST(BadWindowHandles, WindowCallsFailAsWin32Does) {
  HWND invented = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
  RECT r;
  SetLastError(0);
  HWND parent = GetParent(invented);
  EXPECT_EQ(parent, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrW(invented, GWL_STYLE), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(SetPropW(invented, TEXT("x"), reinterpret_cast<HANDLE>(1)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(ShowWindow(invented, SW_SHOW));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  SetLastError(0);
  EXPECT_EQ(GetWindowThreadProcessId(invented, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(IsWindow(invented));
  EXPECT_FALSE(IsWindowVisible(invented));
  EXPECT_FALSE(GetWindowRect(invented, &r));
  EXPECT_FALSE(GetClientRect(invented, &r));
  EXPECT_FALSE(IsWindow(nullptr));
}

TEST(StockResources, IconsAndCursors) {
  EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
  EXPECT_NE(LoadIconW(nullptr, IDI_APPLICATION), nullptr);
  // The program carries no icon of its own.
  SetLastError(0);
  EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(5)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

}  // namespace
