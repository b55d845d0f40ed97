// Numbered top-level windows, event retrieval and the window procedure.
#pragma once

#include "platform.h"
#include "runtime/object.h"

// Answers of the translation step.
constexpr LRESULT ProcDefault = static_cast<LRESULT>(0xD0D0D0D1u);
constexpr LRESULT ProcContinue = static_cast<LRESULT>(0xE0E0E0E1u);

// Flag bits of WindowOpen that are not native style bits.
constexpr uint32_t WindowFlagCentreScreen = 0x1;
constexpr uint32_t WindowFlagCentreActive = 0x2;
constexpr uint32_t WindowFlagTool = 0x4;
constexpr uint32_t WindowFlagNoControlParent = 0x8;
constexpr uint32_t WindowFlagMaximized = 0x1000000;
constexpr uint32_t WindowFlagNoActivate = 0x2000000;
constexpr uint32_t WindowFlagHidden = 0x10000000;
constexpr uint32_t WindowFlagMinimized = 0x20000000;

// Accelerator commands of every window: Tab and Shift+Tab.
constexpr WORD CommandFocusNext = 0xFA01;
constexpr WORD CommandFocusPrevious = 0xFA02;

// Runtime messages: the notification-area icon, and one relayed to the
// control named by its second parameter.
constexpr UINT MessageTrayIcon = 12501;
constexpr UINT MessageControlRelay = 13120;

// A toolbar's control identifier: its commands are menu commands.
constexpr int32_t ToolbarControlId = -10000;

// A hook that sees a window's messages before the runtime does; it answers
// ProcContinue to let the runtime go on.
using WindowHookFn = LRESULT (*)(HWND window, UINT message, WPARAM first, LPARAM second);
// Custom background erase: (device context, window) -> answer.
using WindowEraseFn = LRESULT (*)(HDC dc, HWND window);

struct WindowRecord {
  HWND window;  // nonzero while the window is open
  ACCEL* accelEntries;
  HACCEL accelTable;
  WindowHookFn eventCallback;
  int32_t accelCount;
  int32_t reserved;
  HBRUSH backgroundBrush;
  HWND mdiClient;
  WindowEraseFn eraseCallback;
  uint16_t minWidth;
  uint16_t minHeight;
  uint16_t maxWidth;
  uint16_t maxHeight;
  int32_t minMaxState;  // 1 while minimised or maximised
  int32_t spare;  // keeps the record at its 13 words
};

// The thread's window state: its event hook, consulted after a window's own.
struct WindowsThreadState {
  WindowHookFn eventCallback;
  int32_t reserved[4];
};

extern ObjectTable* WindowTable;
extern WindowsThreadState* WindowsThread;
extern void* WindowsSpareState;
extern HICON WindowClassIcon;
extern HCURSOR WindowClassCursor;

void WindowsInit();
void WindowsEnd();

// Opens a top-level window with a client area of width x height whose outer
// corner is at (x, y). Returns the native handle (fixed number) or the new
// dynamic number (number -1); 0 on failure.
INT_PTR WindowOpen(ObjectId number, int32_t x, int32_t y, int32_t width, int32_t height, const WCHAR* title,
                   uint32_t flags);
HWND WindowNativeHandle(ObjectId number);
// The window table's free callback; -1 closes every window.
int32_t WindowClose(ObjectId number);
void WindowCentre(HWND window, uint32_t flags);
// "WindowClass_<number>" as a signed decimal, into a buffer of
// WindowClassNameSize characters: room for the most negative 64-bit number
// and the terminating zero.
constexpr int WindowClassNameSize = 12 + 1 + 19 + 1;
void WindowClassName(WCHAR* buffer, ObjectId number);

// One event: a runtime event, else the identifier of one native message,
// which has been dispatched; 0 when there is neither. Never waits.
int32_t WindowPollEvent();
// The same, waiting when both queues are empty: timeout -1 waits for the
// next message without end, a positive timeout up to that many
// milliseconds for input or a message (0 when none came); 0 or any other
// negative value does not wait.
int32_t WindowWaitEvent(int32_t timeout);
HACCEL AcceleratorFor(HWND active);
void KeyboardCues(HWND window, bool show);

LRESULT CALLBACK WindowClassProc(HWND window, UINT message, WPARAM first, LPARAM second);
LRESULT WindowEventProc(HWND window, UINT message, WPARAM first, LPARAM second);
LRESULT ControlForward(HWND control, HWND parent, UINT message, WPARAM first, LPARAM second);
void FocusStep(bool backward);
