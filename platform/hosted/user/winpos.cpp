// Moving, sizing, showing, minimising, maximising and restoring windows,
// with the message order Wine has.
#include "user/internal.h"

namespace user {
namespace {

bool IsMinimiseCommand(int command) {
  return command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == SW_SHOWMINNOACTIVE ||
         command == SW_FORCEMINIMIZE;
}

// Where a maximised window goes: the screen, with the frame just outside it.
RECT MaximisedRect(const WindowRef& w) {
  RECT in;
  NonClientInsets(w->style, w->exStyle, &in);
  // The frame is as wide on every side; the caption stays on the screen.
  const int frame = in.left;
  MINMAXINFO info = {};
  info.ptMaxSize = {GetSystemMetrics(SM_CXSCREEN) + 2 * frame, GetSystemMetrics(SM_CYSCREEN) + 2 * frame};
  info.ptMaxPosition = {-frame, -frame};
  info.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
  info.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
  Call(w, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  return {info.ptMaxPosition.x, info.ptMaxPosition.y, info.ptMaxPosition.x + info.ptMaxSize.x,
          info.ptMaxPosition.y + info.ptMaxSize.y};
}

}  // namespace

BOOL MoveTo(const WindowRef& w, HWND, int x, int y, int cx, int cy, UINT flags) {
  WINDOWPOS pos = {w->handle, nullptr, x, y, cx, cy, flags};
  if (flags & SWP_NOMOVE) {
    pos.x = w->rect.left;
    pos.y = w->rect.top;
  }
  if (flags & SWP_NOSIZE) {
    pos.cx = w->rect.right - w->rect.left;
    pos.cy = w->rect.bottom - w->rect.top;
  }
  const bool show = (flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE);
  const bool hide = (flags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE);
  if (!(pos.flags & SWP_NOSENDCHANGING)) Call(w, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
  if (w->destroyed) return FALSE;
  // Activation comes between the two position messages, as in Wine.
  if (!(flags & SWP_NOACTIVATE) && w->parent == nullptr && ((w->style & WS_VISIBLE) || show)) {
    Activate(w, false);
    if (w->destroyed) return FALSE;
  }
  if (pos.cx < 0) pos.cx = 0;
  if (pos.cy < 0) pos.cy = 0;
  const RECT oldClient = w->client;
  const RECT oldRect = w->rect;
  const bool moved = pos.x != w->rect.left || pos.y != w->rect.top;
  const bool sized = pos.cx != w->rect.right - w->rect.left || pos.cy != w->rect.bottom - w->rect.top;
  w->rect = {pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
  if (sized || (flags & SWP_FRAMECHANGED)) {
    NCCALCSIZE_PARAMS params = {};
    params.rgrc[0] = w->rect;
    params.lppos = &pos;
    Call(w, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
    if (w->destroyed) return FALSE;
    w->client = params.rgrc[0];
  } else {
    // A move keeps the frame: the client area moves with the window.
    const LONG dx = w->rect.left - oldRect.left, dy = w->rect.top - oldRect.top;
    w->client = {oldClient.left + dx, oldClient.top + dy, oldClient.right + dx, oldClient.bottom + dy};
  }
  if (show) w->style |= WS_VISIBLE;
  if (hide) w->style &= ~WS_VISIBLE;
  // What a hidden child covered is its parent's to repaint again.
  if (hide && w->parent != nullptr && !(flags & SWP_NOREDRAW)) InvalidateRect(w->parent->handle, &oldRect, TRUE);
  pos.flags = flags;
  if (!moved && !(flags & SWP_FRAMECHANGED)) pos.flags |= SWP_NOMOVE;
  if (!sized && !(flags & SWP_FRAMECHANGED)) pos.flags |= SWP_NOSIZE;
  if (w->client.left == oldClient.left && w->client.top == oldClient.top) pos.flags |= SWP_NOCLIENTMOVE;
  if (w->client.right - w->client.left == oldClient.right - oldClient.left &&
      w->client.bottom - w->client.top == oldClient.bottom - oldClient.top)
    pos.flags |= SWP_NOCLIENTSIZE;
  if ((show || sized) && (w->style & WS_VISIBLE) && !(flags & SWP_NOREDRAW)) {
    InvalidateAll(w.get(), true);
    SetFlag(w->ncPaintNeeded);
    EraseNow(w);
  }
  TellDisplay(w.get(), show || hide, moved, sized || (flags & SWP_FRAMECHANGED));
  Call(w, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  return TRUE;
}

BOOL Show(const WindowRef& w, int command) {
  const bool wasVisible = (w->style & WS_VISIBLE) != 0;
  const bool wasMinimised = (w->style & WS_MINIMIZE) != 0;
  const bool child = (w->style & WS_CHILD) != 0;
  UINT flags = SWP_NOZORDER;
  RECT target = w->rect;
  bool state = false;
  switch (command) {
    case SW_HIDE:
      if (!wasVisible) return FALSE;
      flags |= SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
      if (wasMinimised && wasVisible) return TRUE;
      if (!wasMinimised && !(w->style & WS_MAXIMIZE)) w->normal = w->rect;
      state = true;
      flags |= SWP_SHOWWINDOW | SWP_FRAMECHANGED;
      // Minimising keeps the activation where it is; only the "show
      // minimised" form activates.
      if (command != SW_SHOWMINIMIZED || child) flags |= SWP_NOACTIVATE;
      target = {-32000, -32000, -32000 + GetSystemMetrics(SM_CXMINIMIZED), -32000 + GetSystemMetrics(SM_CYMINIMIZED)};
      break;
    case SW_SHOWMAXIMIZED:
      if ((w->style & WS_MAXIMIZE) && wasVisible) return TRUE;
      if (!wasMinimised) w->normal = w->rect;
      state = true;
      flags |= SWP_SHOWWINDOW | SWP_FRAMECHANGED;
      break;
    case SW_SHOWNA:
    case SW_SHOW:
      if (wasVisible) return TRUE;
      flags |= SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE;
      if (command == SW_SHOWNA || child) flags |= SWP_NOACTIVATE;
      break;
    case SW_SHOWNORMAL:
    case SW_SHOWNOACTIVATE:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
      flags |= SWP_SHOWWINDOW;
      if (command == SW_SHOWNOACTIVATE || child) flags |= SWP_NOACTIVATE;
      if (wasMinimised || (w->style & WS_MAXIMIZE)) {
        if (wasMinimised && !Call(w, WM_QUERYOPEN, 0, 0)) return wasVisible;
        state = true;
        flags |= SWP_FRAMECHANGED;
        target = w->normal;
      } else {
        if (wasVisible) return TRUE;
        flags |= SWP_NOSIZE | SWP_NOMOVE;
      }
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  if (!wasVisible && command != SW_HIDE) Call(w, WM_SHOWWINDOW, TRUE, 0);
  if (wasVisible && command == SW_HIDE) Call(w, WM_SHOWWINDOW, FALSE, 0);
  if (w->destroyed) return wasVisible;
  // A window that is minimised loses the focus it holds itself; a child
  // of it keeps the focus it has.
  if (IsMinimiseCommand(command) && w->queue->focus == w->handle) {
    MoveFocus(*w->queue, nullptr);
    if (w->destroyed) return wasVisible;
  }
  if (state) {
    w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
    if (IsMinimiseCommand(command)) w->style |= WS_MINIMIZE;
    if (command == SW_SHOWMAXIMIZED) {
      w->style |= WS_MAXIMIZE;
      target = MaximisedRect(w);
    }
    flags |= SWP_STATECHANGED;
  }
  MoveTo(w, nullptr, target.left, target.top, target.right - target.left, target.bottom - target.top, flags);
  if (w->destroyed) return wasVisible;
  if (command == SW_HIDE) {
    Queue& q = *w->queue;
    if (q.focus != nullptr && (q.focus == w->handle || IsChild(w->handle, q.focus))) SetFocus(child && w->parent ? w->parent->handle : nullptr);
    if (!child && q.active == w->handle) Deactivate(w);
  }
  if (w->needSize && command != SW_HIDE) {
    w->needSize = false;
    WPARAM kind = (w->style & WS_MINIMIZE) ? SIZE_MINIMIZED : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED;
    Call(w, WM_SIZE, kind, static_cast<LPARAM>(MAKELONG(w->client.right - w->client.left, w->client.bottom - w->client.top)));
    Call(w, WM_MOVE, 0, static_cast<LPARAM>(MAKELONG(w->client.left, w->client.top)));
  }
  // Coming back from minimised gives the window the focus and a fresh
  // WM_ACTIVATE even when it stayed active.
  if (wasMinimised && !(w->style & WS_MINIMIZE) && !w->destroyed) {
    SetFocus(w->handle);
    if (!child && !(flags & SWP_NOACTIVATE)) Call(w, WM_ACTIVATE, WA_ACTIVE, 0);
  }
  return wasVisible;
}

}  // namespace user

BOOL WINAPI ShowWindow(HWND handle, int command) {
  user::WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  return user::Show(w, command);
}

BOOL WINAPI SetWindowPos(HWND handle, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  user::WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  return user::MoveTo(w, insertAfter, x, y, cx, cy, flags);
}

BOOL WINAPI MoveWindow(HWND handle, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(handle, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}
