// A window class of the test program's own, registered while the object
// lives. Windows made through it are destroyed, and what their destruction
// queued is dispatched, before the class is unregistered; a class that
// cannot go then (a window of it outlived the test) fails the test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform.h"

class TestWindowClass {
 public:
  explicit TestWindowClass(const WCHAR* className, WNDPROC proc = DefWindowProcW, UINT style = 0, int windowExtra = 0,
                           HBRUSH background = nullptr)
      : name(className) {
    WNDCLASSW wc = {};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = windowExtra;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    atom = RegisterClassW(&wc);
  }
  ~TestWindowClass() {
    for (HWND window : windows_)
      if (IsWindow(window)) DestroyWindow(window);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (atom != 0) {
      EXPECT_TRUE(UnregisterClassW(name, GetModuleHandleW(nullptr))) << "a window of the class lives on";
    }
  }
  TestWindowClass(const TestWindowClass&) = delete;
  TestWindowClass& operator=(const TestWindowClass&) = delete;

  // A window of the class; `id` is a child's identifier.
  HWND Make(DWORD style, HWND parent = nullptr, int id = 0, int x = 0, int y = 0, int width = 100, int height = 80,
            const WCHAR* title = TEXT(""), DWORD exStyle = 0) {
    HWND window =
        CreateWindowExW(exStyle, name, title, style, x, y, width, height, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) windows_.push_back(window);
    return window;
  }
  // A window whose client area is width x height, its frame at (x, y).
  HWND MakeForClient(DWORD style, int width, int height, int x = 0, int y = 0, const WCHAR* title = TEXT(""),
                     HWND parent = nullptr) {
    RECT r = {0, 0, width, height};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    return Make(style, parent, 0, x, y, r.right - r.left, r.bottom - r.top, title);
  }

  const WCHAR* const name;
  // 0 when the class could not be registered.
  ATOM atom = 0;

 private:
  std::vector<HWND> windows_;
};
