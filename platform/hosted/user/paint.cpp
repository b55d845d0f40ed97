// Invalid regions and painting. The update region is kept as a bounding
// rectangle; WM_PAINT comes from the queue while it is not empty, and the
// background is erased by BeginPaint when the invalidation asked for it.
// Any thread may invalidate any window, so the update state is touched
// under the table lock, which is never held while a window procedure runs.
#include <algorithm>
#include <utility>

#include "user/internal.h"

namespace user {
namespace {

// Brush handle values up to here are system colour indexes plus one.
constexpr uintptr_t kSystemColourBrushes = 31;

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

void Unite(RECT* into, const RECT& r) {
  into->left = std::min(into->left, r.left);
  into->top = std::min(into->top, r.top);
  into->right = std::max(into->right, r.right);
  into->bottom = std::max(into->bottom, r.bottom);
}

RECT ClientBox(const Window* w) { return {0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top}; }

void Invalidate(Window* w, const RECT* rect, bool erase, bool children) {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  RECT box = ClientBox(w);
  RECT r = rect ? *rect : box;
  r.left = std::max(r.left, box.left);
  r.top = std::max(r.top, box.top);
  r.right = std::min(r.right, box.right);
  r.bottom = std::min(r.bottom, box.bottom);
  if (!Empty(r)) {
    if (w->hasUpdate) Unite(&w->update, r);
    else w->update = r;
    w->hasUpdate = true;
    if (erase) w->eraseNeeded = true;
  }
  // Children are painted over their parent unless the parent clips them.
  if (!children || (w->style & WS_CLIPCHILDREN)) return;
  for (Window* c : w->children) {
    if (!(c->style & WS_VISIBLE)) continue;
    const RECT cr = c->rect;
    if (r.right <= cr.left || r.left >= cr.right || r.bottom <= cr.top || r.top >= cr.bottom) continue;
    c->ncPaintNeeded = true;
    Invalidate(c, nullptr, erase, true);
  }
}

}  // namespace

void InvalidateAll(Window* w, bool erase) { Invalidate(w, nullptr, erase, true); }

void EraseNow(const WindowRef& w) {
  if (w->destroyed || !IsWindowVisible(w->handle)) return;
  if (TakeFlag(w->ncPaintNeeded)) Call(w, WM_NCPAINT, 1, 0);
  if (TakeFlag(w->eraseNeeded)) Call(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(WindowDC(w->handle)), 0);
}

bool TakeFlag(bool& flag) {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  return std::exchange(flag, false);
}

void SetFlag(bool& flag) {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  flag = true;
}

bool HasUpdate(const Window* w, RECT* update) {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  if (update != nullptr) *update = w->hasUpdate ? w->update : RECT{0, 0, 0, 0};
  return w->hasUpdate;
}

HDC WindowDC(HWND window) {
  // Device contexts of windows are tokens: drawing goes to the display
  // backend through other calls.
  return reinterpret_cast<HDC>(reinterpret_cast<uintptr_t>(window) | 1);
}

}  // namespace user

using user::WindowRef;

BOOL WINAPI InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
  if (handle == nullptr) {
    for (auto& w : user::TopLevels()) user::Invalidate(w.get(), nullptr, erase != FALSE, true);
    return TRUE;
  }
  WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  // A hidden window has nothing to repaint.
  if (!IsWindowVisible(handle)) return TRUE;
  user::Invalidate(w.get(), rect, erase != FALSE, true);
  return TRUE;
}

BOOL WINAPI ValidateRect(HWND handle, const RECT*) {
  WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  // Partial validation keeps the bounding rectangle; only a whole
  // validation empties it.
  std::lock_guard<std::recursive_mutex> guard(user::TableLock());
  w->hasUpdate = false;
  w->eraseNeeded = false;
  return TRUE;
}

BOOL WINAPI RedrawWindow(HWND handle, const RECT* rect, HRGN, UINT flags) {
  WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  if (flags & RDW_INVALIDATE) {
    if (IsWindowVisible(handle))
      user::Invalidate(w.get(), rect, (flags & RDW_ERASE) != 0, !(flags & RDW_NOCHILDREN));
    if (flags & RDW_FRAME) user::SetFlag(w->ncPaintNeeded);
  }
  if (flags & RDW_VALIDATE) ValidateRect(handle, rect);
  if (flags & (RDW_ERASENOW | RDW_UPDATENOW)) user::EraseNow(w);
  if (flags & RDW_UPDATENOW) UpdateWindow(handle);
  return TRUE;
}

BOOL WINAPI UpdateWindow(HWND handle) {
  WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  if (user::HasUpdate(w.get(), nullptr) && IsWindowVisible(handle)) user::Call(w, WM_PAINT, 0, 0);
  std::vector<HWND> children;
  for (user::Window* c : w->children) children.push_back(c->handle);
  for (HWND c : children)
    if (user::Peek(c)) UpdateWindow(c);
  return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND handle, LPRECT rect, BOOL erase) {
  WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  const bool invalid = user::HasUpdate(w.get(), rect);
  if (erase && invalid) user::EraseNow(w);
  return invalid;
}

HDC WINAPI BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
  WindowRef w = user::Find(handle);
  if (!w) return nullptr;
  if (paint == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return nullptr;
  }
  *paint = {};
  paint->hdc = user::WindowDC(handle);
  bool erase = false;
  {
    std::lock_guard<std::recursive_mutex> guard(user::TableLock());
    paint->rcPaint = w->hasUpdate ? w->update : RECT{0, 0, 0, 0};
    erase = std::exchange(w->eraseNeeded, false);
    w->hasUpdate = false;
  }
  if (user::TakeFlag(w->ncPaintNeeded)) user::Call(w, WM_NCPAINT, 1, 0);
  // fErase tells the caller that the background still needs erasing.
  if (erase) paint->fErase = user::Call(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0) == 0;
  return paint->hdc;
}

BOOL WINAPI EndPaint(HWND handle, const PAINTSTRUCT* paint) {
  if (!user::Find(handle)) return FALSE;
  return paint != nullptr;
}

HDC WINAPI GetDC(HWND handle) {
  if (handle == nullptr) return user::WindowDC(GetDesktopWindow());
  if (!user::Find(handle)) return nullptr;
  return user::WindowDC(handle);
}

int WINAPI ReleaseDC(HWND, HDC dc) { return dc != nullptr ? 1 : 0; }

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  // Window DCs are tokens with the low bit set and draw nothing yet.
  const bool windowDc = (reinterpret_cast<uintptr_t>(dc) & 1) != 0;
  if (dc == nullptr || rect == nullptr || (windowDc && brush == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (windowDc) return 1;
  // Small values name a system colour plus one, as in window classes: a
  // brush of that colour for this call.
  const uintptr_t value = reinterpret_cast<uintptr_t>(brush);
  HBRUSH made = nullptr;
  if (value >= 1 && value <= user::kSystemColourBrushes) {
    made = CreateSolidBrush(GetSysColor(static_cast<int>(value - 1)));
    if (made == nullptr) return 0;
    brush = made;
  }
  // A handle that is no brush leaves the DC's own brush to fill; whatever the
  // selection replaced goes back after. PATCOPY ignores the DC's ROP2.
  HGDIOBJ previous = SelectObject(dc, brush);
  const auto width = static_cast<int>(static_cast<unsigned>(rect->right) - static_cast<unsigned>(rect->left));
  const auto height = static_cast<int>(static_cast<unsigned>(rect->bottom) - static_cast<unsigned>(rect->top));
  const BOOL drawn = PatBlt(dc, rect->left, rect->top, width, height, PATCOPY);
  if (previous != nullptr) SelectObject(dc, previous);
  if (made != nullptr) DeleteObject(made);
  if (!drawn) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return 1;
}

DWORD WINAPI GetSysColor(int index) {
  // Wine's default colours for the few indexes the program uses.
  switch (index) {
    case COLOR_BTNFACE: return 0x00F0F0F0;
    case COLOR_WINDOW: return 0x00FFFFFF;
    case COLOR_WINDOWTEXT: return 0x00000000;
    default: return 0x00C0C0C0;
  }
}
