// Activation and keyboard focus. Both are kept per thread, as each thread's
// queue has its own active and focus window; the foreground is the active
// window of the thread that last activated one.
#include "user/internal.h"

namespace user {
namespace {

HWND& Foreground() {
  static HWND foreground = nullptr;
  return foreground;
}

WindowRef RootOf(const WindowRef& w) {
  Window* p = w.get();
  while (p->parent != nullptr) p = p->parent;
  return Peek(p->handle);
}

}  // namespace

// Sends the messages of a focus change; the window must be of this thread.
HWND MoveFocus(Queue& q, HWND to) {
  HWND old = q.focus;
  if (old == to) return old;
  q.focus = to;
  if (WindowRef o = Peek(old)) Call(o, WM_KILLFOCUS, reinterpret_cast<WPARAM>(to), 0);
  // A handler may have moved the focus on; only a focus still here is told.
  if (q.focus == to) {
    if (WindowRef n = Peek(to)) Call(n, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  }
  return old;
}

void Activate(const WindowRef& w, bool mouse) {
  Queue& q = *CurrentQueue();
  if (w->destroyed || w->destroying || q.active == w->handle) return;
  const HWND previous = q.active;
  const bool appWasActive = previous != nullptr;
  if (WindowRef old = Peek(previous)) {
    Call(old, WM_NCACTIVATE, FALSE, 0);
    Call(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(w->handle));
  }
  q.active = w->handle;
  Foreground() = w->handle;
  if (!appWasActive) Call(w, WM_ACTIVATEAPP, TRUE, 0);
  if (q.active != w->handle) return;
  Call(w, WM_NCACTIVATE, TRUE, 0);
  if (q.active != w->handle) return;
  Call(w, WM_ACTIVATE, mouse ? WA_CLICKACTIVE : WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
  // The old window's focus goes when nothing in the new one took it.
  if (q.active == w->handle && q.focus != nullptr && q.focus != w->handle && !IsChild(w->handle, q.focus))
    MoveFocus(q, nullptr);
}

void Deactivate(const WindowRef& w) {
  Queue& q = *CurrentQueue();
  if (q.active != w->handle) return;
  // Another visible top-level window of the thread takes over if there is one.
  for (auto& other : TopLevels()) {
    if (other != w && other->queue.get() == &q && (other->style & WS_VISIBLE) && !(other->style & WS_DISABLED) &&
        !other->destroying) {
      Activate(other, false);
      return;
    }
  }
  q.active = nullptr;
  if (Foreground() == w->handle) Foreground() = nullptr;
  Call(w, WM_NCACTIVATE, FALSE, 0);
  Call(w, WM_ACTIVATE, WA_INACTIVE, 0);
  Call(w, WM_ACTIVATEAPP, FALSE, 0);
  if (q.active == nullptr) MoveFocus(q, nullptr);
}

void ForgetWindow(Window* w) {
  Queue& q = *w->queue;
  WindowRef self = Peek(w->handle);
  if (!self) return;
  if (q.active == w->handle) Deactivate(self);
  if (q.focus != nullptr && (q.focus == w->handle || IsChild(w->handle, q.focus))) {
    // The focus goes to the parent of a child window, else nowhere.
    HWND to = (w->parent != nullptr && !w->parent->destroying) ? w->parent->handle : nullptr;
    MoveFocus(q, to);
  }
  if (q.active == w->handle) q.active = nullptr;
  if (q.focus == w->handle) q.focus = nullptr;
  if (q.capture == w->handle) q.capture = nullptr;
  if (Foreground() == w->handle) Foreground() = nullptr;
}

HWND ForegroundWindow() { return Foreground(); }

void SetForeground(HWND window) { Foreground() = window; }

}  // namespace user

HWND WINAPI SetFocus(HWND handle) {
  user::Queue& q = *user::CurrentQueue();
  if (handle == nullptr) return user::MoveFocus(q, nullptr);
  user::WindowRef w = user::Find(handle);
  if (!w) return nullptr;
  if (w->threadId != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // A window inside a hidden or disabled parent cannot take the focus.
  for (user::Window* p = w.get(); p != nullptr; p = p->parent)
    if (p->style & WS_DISABLED) return nullptr;
  user::WindowRef root = user::RootOf(w);
  if (root && q.active != root->handle) user::Activate(root, false);
  if (w->destroyed) return nullptr;
  HWND old = q.focus;
  user::MoveFocus(q, handle);
  return old;
}

HWND WINAPI GetFocus() { return user::CurrentQueue()->focus; }

HWND WINAPI GetActiveWindow() { return user::CurrentQueue()->active; }

HWND WINAPI SetActiveWindow(HWND handle) {
  user::Queue& q = *user::CurrentQueue();
  HWND old = q.active;
  if (handle == nullptr) {
    if (user::WindowRef a = user::Peek(old)) user::Deactivate(a);
    return old;
  }
  user::WindowRef w = user::Find(handle);
  if (!w) return nullptr;
  if (w->threadId != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (w->style & WS_CHILD) return old;
  user::Activate(w, false);
  return old;
}

HWND WINAPI GetForegroundWindow() { return user::ForegroundWindow(); }

BOOL WINAPI SetForegroundWindow(HWND handle) {
  user::WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  if (w->threadId == GetCurrentThreadId()) user::Activate(user::RootOf(w), false);
  return TRUE;
}

HWND WINAPI GetCapture() { return user::CurrentQueue()->capture; }

HWND WINAPI SetCapture(HWND handle) {
  user::Queue& q = *user::CurrentQueue();
  HWND old = q.capture;
  if (handle != nullptr && !user::Find(handle)) return nullptr;
  q.capture = handle;
  if (old != nullptr && old != handle) user::Send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(handle));
  return old;
}

BOOL WINAPI ReleaseCapture() {
  user::Queue& q = *user::CurrentQueue();
  HWND old = q.capture;
  q.capture = nullptr;
  if (old != nullptr) user::Send(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}
