// The default window procedure: what Windows does with a message that the
// window's own procedure passes on.
#include <algorithm>

#include "user/internal.h"

namespace user {
namespace {

// Caption buttons are SM_CXSIZE wide and fill the caption but for its
// last line, at the right end (close, maximise, minimise) and the left end
// (system menu), as Wine lays them out.
int HitTest(const Window* w, POINT screen) {
  POINT o = WindowOrigin(w);
  const int width = w->rect.right - w->rect.left;
  const int height = w->rect.bottom - w->rect.top;
  const int x = screen.x - o.x;
  const int y = screen.y - o.y;
  if (x < 0 || y < 0 || x >= width || y >= height) return HTNOWHERE;
  POINT c = ClientOrigin(w);
  const int cx = screen.x - c.x;
  const int cy = screen.y - c.y;
  if (cx >= 0 && cy >= 0 && cx < w->client.right - w->client.left && cy < w->client.bottom - w->client.top)
    return HTCLIENT;
  RECT in;
  NonClientInsets(w->style, w->exStyle, &in);
  const int frame = in.left;
  if ((w->style & WS_CAPTION) == WS_CAPTION && x >= frame && x < width - frame && y >= frame && y < in.top) {
    if (y == in.top - 1) return HTNOWHERE;
    const int button = GetSystemMetrics(SM_CXSIZE);
    const int right = width - frame;
    if (w->style & WS_SYSMENU) {
      if (x >= right - button) return HTCLOSE;
      if (w->style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) {
        if (x >= right - 2 * button) return HTMAXBUTTON;
        if (x >= right - 3 * button) return HTMINBUTTON;
      }
      if (x < frame + button) return HTSYSMENU;
    }
    return HTCAPTION;
  }
  if (w->style & WS_THICKFRAME) {
    if (y < frame) return x < frame ? HTTOPLEFT : x >= width - frame ? HTTOPRIGHT : HTTOP;
    if (y >= height - frame) return x < frame ? HTBOTTOMLEFT : x >= width - frame ? HTBOTTOMRIGHT : HTBOTTOM;
    if (x < frame) return HTLEFT;
    if (x >= width - frame) return HTRIGHT;
  }
  return HTBORDER;
}

// The close button acts on release: the button-up that ends the click is
// taken from the queue, and only a release over the button closes.
void TrackButton(const WindowRef& w, int hit, WPARAM command, LPARAM point) {
  std::shared_ptr<Queue> q = w->queue;
  MSG up = {};
  bool released = false;
  {
    std::lock_guard<std::mutex> guard(q->lock);
    for (auto it = q->input.begin(); it != q->input.end(); ++it) {
      if (it->message == WM_LBUTTONUP || it->message == WM_NCLBUTTONUP) {
        up = *it;
        q->input.erase(it);
        released = true;
        break;
      }
    }
  }
  if (!released) return;
  // The mouse is captured while the button is held.
  SetCapture(w->handle);
  KeyProcessed(up);
  ReleaseCapture();
  POINT pt = up.pt;
  if (HitTest(w.get(), pt) != hit) return;
  Call(w, WM_SYSCOMMAND, command, point);
}

LRESULT SysCommand(const WindowRef& w, WPARAM command, LPARAM lParam) {
  switch (command & 0xFFF0) {
    case SC_CLOSE:
      return Call(w, WM_CLOSE, 0, 0);
    case SC_MINIMIZE:
      Show(w, SW_MINIMIZE);
      return 0;
    case SC_MAXIMIZE:
      Show(w, SW_MAXIMIZE);
      return 0;
    case SC_RESTORE:
      Show(w, SW_RESTORE);
      return 0;
    default:
      (void)lParam;
      return 0;
  }
}

// Keyboard cue state changes: set or clear the given flags.
WORD ApplyUiState(WORD state, WPARAM wParam) {
  const WORD action = LOWORD(wParam);
  const WORD flags = HIWORD(wParam) & (UISF_HIDEFOCUS | UISF_HIDEACCEL | UISF_ACTIVE);
  if (action == UIS_SET) return state | flags;
  if (action == UIS_CLEAR) return state & ~flags;
  return state;
}

BOOL CALLBACK UpdateChildUiState(HWND child, LPARAM wParam) {
  if (WindowRef c = Peek(child)) Call(c, WM_UPDATEUISTATE, static_cast<WPARAM>(wParam), 0);
  return TRUE;
}

LRESULT DefProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, bool ansi) {
  WindowRef w = Peek(handle);
  if (!w) return 0;
  switch (message) {
    case WM_NCCREATE: {
      if (lParam != 0) {
        if (ansi) {
          auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
          w->title = Widen(cs->lpszName != nullptr && !IS_INTRESOURCE(cs->lpszName) ? cs->lpszName : "");
        } else {
          auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
          w->title = cs->lpszName != nullptr && !IS_INTRESOURCE(cs->lpszName) ? cs->lpszName : u"";
        }
      }
      return TRUE;
    }
    case WM_NCCALCSIZE: {
      auto* r = reinterpret_cast<RECT*>(lParam);
      if (r == nullptr) return 0;
      if (w->style & WS_MINIMIZE) {
        // A minimised window has no client area.
        r->right = r->left;
        r->bottom = r->top;
        return 0;
      }
      RECT in;
      NonClientInsets(w->style, w->exStyle, &in);
      r->left += in.left;
      r->top += in.top;
      r->right = std::max(r->left, r->right - in.right);
      r->bottom = std::max(r->top, r->bottom - in.bottom);
      return 0;
    }
    case WM_NCHITTEST:
      return HitTest(w.get(), {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_NCACTIVATE:
      return TRUE;
    case WM_NCLBUTTONDOWN:
      switch (wParam) {
        case HTCLOSE:
          TrackButton(w, HTCLOSE, SC_CLOSE, lParam);
          break;
        case HTMINBUTTON:
          TrackButton(w, HTMINBUTTON, SC_MINIMIZE, lParam);
          break;
        case HTMAXBUTTON:
          TrackButton(w, HTMAXBUTTON, (w->style & WS_MAXIMIZE) ? SC_RESTORE : SC_MAXIMIZE, lParam);
          break;
        case HTCAPTION:
          if (!(w->style & WS_CHILD)) SetActiveWindow(handle);
          break;
        default:
          break;
      }
      return 0;
    case WM_MOUSEACTIVATE:
      return MA_ACTIVATE;
    case WM_QUERYOPEN:
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_SETCURSOR:
      return FALSE;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !(w->style & WS_MINIMIZE)) SetFocus(handle);
      return 0;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      if (pos != nullptr && !(pos->flags & SWP_NOSIZE) &&
          ((w->style & WS_THICKFRAME) || !(w->style & (WS_POPUP | WS_CHILD)))) {
        MINMAXINFO info = {};
        info.ptMaxSize = {GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED)};
        info.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
        info.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
        Call(w, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
      }
      return 0;
    }
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      if (pos == nullptr) return 0;
      if (!(pos->flags & SWP_NOCLIENTMOVE)) Call(w, WM_MOVE, 0, static_cast<LPARAM>(MAKELONG(w->client.left, w->client.top)));
      if (!(pos->flags & SWP_NOCLIENTSIZE) || (pos->flags & SWP_STATECHANGED)) {
        WPARAM kind = (w->style & WS_MINIMIZE) ? SIZE_MINIMIZED : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                                                                            : SIZE_RESTORED;
        Call(w, WM_SIZE, kind, static_cast<LPARAM>(MAKELONG(w->client.right - w->client.left, w->client.bottom - w->client.top)));
      }
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(handle);
      return 0;
    case WM_SYSCOMMAND:
      return SysCommand(w, wParam, lParam);
    case WM_SYSKEYDOWN:
      // Alt+F4 asks the top-level window to close.
      if (wParam == VK_F4 && (HIWORD(lParam) & 0x2000)) {
        Window* root = w.get();
        while (root->parent != nullptr) root = root->parent;
        if (WindowRef r = Peek(root->handle)) Call(r, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(handle, &ps);
      EndPaint(handle, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush = w->cls->background;
      if (brush == nullptr) return 0;
      RECT r;
      GetClientRect(handle, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
      return 1;
    }
    case WM_SETTEXT:
      if (ansi) w->title = Widen(reinterpret_cast<const char*>(lParam));
      else w->title = lParam != 0 ? reinterpret_cast<const WCHAR*>(lParam) : u"";
      return TRUE;
    case WM_GETTEXT: {
      if (wParam == 0 || lParam == 0) return 0;
      const size_t n = std::min<size_t>(w->title.size(), static_cast<size_t>(wParam) - 1);
      if (ansi) {
        std::string text = Narrow(w->title);
        text.copy(reinterpret_cast<char*>(lParam), n);
        reinterpret_cast<char*>(lParam)[n] = 0;
      } else {
        std::char_traits<char16_t>::copy(reinterpret_cast<WCHAR*>(lParam), w->title.data(), n);
        reinterpret_cast<WCHAR*>(lParam)[n] = 0;
      }
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->title.size());
    case WM_QUERYUISTATE:
      return w->uiState;
    case WM_UPDATEUISTATE: {
      const WORD next = ApplyUiState(w->uiState, wParam);
      if (next == w->uiState && LOWORD(wParam) != UIS_INITIALIZE) return 0;
      w->uiState = next;
      // The new state goes down to every child.
      std::vector<HWND> children;
      for (Window* c : w->children) children.push_back(c->handle);
      for (HWND c : children) UpdateChildUiState(c, static_cast<LPARAM>(wParam));
      return 0;
    }
    case WM_CHANGEUISTATE: {
      // A child hands the change up; the top sends the update down.
      if (w->parent != nullptr && (w->style & WS_CHILD)) return Send(w->parent->handle, WM_CHANGEUISTATE, wParam, 0);
      if (ApplyUiState(w->uiState, wParam) != w->uiState) Call(w, WM_UPDATEUISTATE, wParam, 0);
      return 0;
    }
    case WM_GETMINMAXINFO:
    case WM_SHOWWINDOW:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    default:
      return 0;
  }
}

}  // namespace
}  // namespace user

LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return user::DefProc(window, message, wParam, lParam, false);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return user::DefProc(window, message, wParam, lParam, true);
}

LRESULT WINAPI DefFrameProcW(HWND window, HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  // No MDI client exists in this subset; the frame behaves as a plain window.
  return DefWindowProcW(window, message, wParam, lParam);
}
