// Shared state of the hosted user32: classes, windows, per-thread queues.
// Windows belong to the thread that created them; only that thread changes
// most of their state. Other threads look handles up (PostMessage,
// IsWindow), which the table lock covers; what they also read or write of
// another thread's window is marked where it is declared.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform.h"

namespace user {

struct Class {
  std::u16string name;  // as registered; looked up without regard to case
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  bool ansi = false;
  int classExtra = 0;
  int windowExtra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HICON iconSmall = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  bool system = false;
  int windows = 0;  // live windows of the class; it cannot go while any exist
};

struct Queue;

struct Property {
  std::u16string name;  // empty when the property is named by an atom
  ATOM atom = 0;
  HANDLE value = nullptr;
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<Class> cls;
  std::shared_ptr<Queue> queue;
  DWORD threadId = 0;
  std::u16string title;
  // Read by other threads: hit testing of input and invalidation walk every
  // window.
  std::atomic<DWORD> style{0};
  DWORD exStyle = 0;
  WNDPROC proc = nullptr;
  bool ansi = false;
  HINSTANCE instance = nullptr;
  LONG_PTR id = 0;
  LONG_PTR userData = 0;
  Window* parent = nullptr;  // null for top-level windows
  Window* owner = nullptr;
  // Children in z-order, topmost first.
  std::vector<Window*> children;
  // Outer rectangle and client rectangle, both in the parent's client
  // coordinates (screen coordinates for top-level windows).
  RECT rect = {};
  RECT client = {};
  // Outer rectangle to return to when restored from minimised or maximised.
  RECT normal = {};
  std::vector<Property> props;
  std::vector<BYTE> extra;
  // Update region, kept as its bounding rectangle in client coordinates.
  // Any thread may invalidate any window, so these four are read and
  // written under the table lock only.
  bool hasUpdate = false;
  bool eraseNeeded = false;
  bool ncPaintNeeded = false;
  RECT update = {};
  WORD uiState = 0;
  // Top-level windows get their first WM_SIZE/WM_MOVE when first shown.
  bool needSize = false;
  bool destroying = false;
  bool destroyed = false;
};

using WindowRef = std::shared_ptr<Window>;

// A message sent from another thread, waiting for the owner to process it.
struct SentMessage {
  MSG msg = {};
  DWORD sender = 0;
  LRESULT result = 0;
  bool done = false;
};

struct Queue {
  DWORD threadId = 0;
  std::mutex lock;
  std::condition_variable wake;
  std::deque<MSG> posted;
  std::deque<MSG> input;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit = false;
  int quitCode = 0;
  // Key state as the thread has processed its input (GetKeyState).
  BYTE keys[256] = {};
  HWND active = nullptr;
  HWND focus = nullptr;
  HWND capture = nullptr;
  DWORD messageTime = 0;
  int sendDepth = 0;
};

// Table lock: handle table, class list, queue list.
std::recursive_mutex& TableLock();

// The calling thread's queue, created on first use.
std::shared_ptr<Queue> CurrentQueue();
std::shared_ptr<Queue> QueueOf(DWORD threadId);

// A live window, or null with ERROR_INVALID_WINDOW_HANDLE.
WindowRef Find(HWND handle);
// A live window without touching the last error.
WindowRef Peek(HWND handle);
// Whether a visible window of the thread has an update region; cheap,
// for the empty-queue path.
bool AnyPaintPending(DWORD thread);
// Every live top-level window, topmost first.
std::vector<WindowRef> TopLevels();
void ForEachWindow(void (*fn)(const WindowRef&, void*), void* context);

std::shared_ptr<Class> FindClass(const std::u16string& name);
std::shared_ptr<Class> FindClassAtom(ATOM atom);
// Class named by a string or an atom (MAKEINTATOM).
std::shared_ptr<Class> FindClassByName(LPCWSTR name);

std::u16string Widen(const char* text);
std::string Narrow(const std::u16string& text);
// Lower case, for case-insensitive name matching (ASCII only).
std::u16string Fold(const std::u16string& text);

// Calls the window's procedure with the message; 0 for a dead window.
LRESULT Call(const WindowRef& window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Posts a message to a thread's queue and wakes it.
void Post(const std::shared_ptr<Queue>& queue, const MSG& msg);
void PostInput(const std::shared_ptr<Queue>& queue, const MSG& msg);

// Outer and client rectangle sizes.
void NonClientInsets(DWORD style, DWORD exStyle, RECT* insets);
void ComputeClient(Window* window);
POINT ClientOrigin(const Window* window);
POINT WindowOrigin(const Window* window);

// Painting: invalidates the whole window (and children without clipping).
void InvalidateAll(Window* window, bool erase);
// Sends WM_NCPAINT and WM_ERASEBKGND for a window whose update region asks
// for them, as a window shown by SetWindowPos gets them at once.
void EraseNow(const WindowRef& window);
// The update state's flags and rectangle, under the table lock: TakeFlag
// clears a flag and says whether it was set.
bool TakeFlag(bool& flag);
void SetFlag(bool& flag);
// Whether the window has an update region; its bounding rectangle (empty
// when none) into update unless null.
bool HasUpdate(const Window* window, RECT* update);
HDC WindowDC(HWND window);

// Activation and focus of the calling thread.
void Activate(const WindowRef& window, bool mouse);
void Deactivate(const WindowRef& window);
HWND ForegroundWindow();
void SetForeground(HWND window);
HWND MoveFocus(Queue& q, HWND to);
// A window going away gives up activation, focus and capture.
void ForgetWindow(Window* window);

// Key state as the thread has processed its input.
void KeyProcessed(const MSG& msg);
// Hit testing and mouse activation of a raw mouse message being taken.
void CookMouse(MSG* msg, bool remove);

// Tells the display backend what changed of a top-level window.
void TellDisplay(const Window* window, bool shown, bool moved, bool sized);

// Position changes with the messages Windows sends.
BOOL MoveTo(const WindowRef& window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL Show(const WindowRef& window, int command);

// Ticks for MSG.time.
DWORD Now();

// Whether `icon` is one of the system's shared icons or cursors.
bool IsStockIcon(HICON icon);

}  // namespace user
