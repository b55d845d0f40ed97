// Windows: the handle table, creation and destruction with the messages
// Windows sends, the window's fields, its tree and its geometry.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "display/backend.h"
#include "user/internal.h"

namespace user {
namespace {

std::unordered_map<uintptr_t, WindowRef>& Table() {
  static std::unordered_map<uintptr_t, WindowRef> table;
  return table;
}

// Handles are never reused, so a stale handle stays invalid.
HWND NewHandle() {
  static uintptr_t next = 0x10020;
  next += 4;
  return reinterpret_cast<HWND>(next);
}

void Unlink(Window* w) {
  if (w->parent != nullptr) {
    auto& siblings = w->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
  }
}

void TellDestroyed(const Window* w) {
  const display::Backend* backend = display::Current();
  if (w->parent == nullptr && backend != nullptr && backend->destroyed) backend->destroyed(w->handle);
}

HWND Create(DWORD exStyle, const std::shared_ptr<Class>& cls, const std::u16string& title, bool titleNull,
            const void* ansiTitle, const void* ansiClass, bool ansiCall, LPCWSTR classArg, DWORD style, int x,
            int y, int width, int height, HWND parentHandle, HMENU menu, HINSTANCE instance, LPVOID param) {
  WindowRef parent;
  if (parentHandle != nullptr && parentHandle != HWND_MESSAGE) {
    parent = Find(parentHandle);
    if (!parent) return nullptr;
  }
  if ((style & WS_CHILD) && !parent) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  auto w = std::make_shared<Window>();
  w->cls = cls;
  w->queue = CurrentQueue();
  w->threadId = GetCurrentThreadId();
  w->title = title;
  w->exStyle = exStyle;
  w->proc = cls->proc;
  w->ansi = cls->ansi;
  w->instance = instance;
  w->extra.assign(static_cast<size_t>(cls->windowExtra), 0);
  if (style & WS_CHILD) {
    w->parent = parent.get();
    w->id = reinterpret_cast<LONG_PTR>(menu);
  } else if (parent) {
    // A top-level window's "parent" is its owner, the owner's root.
    Window* root = parent.get();
    while (root->parent != nullptr) root = root->parent;
    w->owner = root;
  }
  // Overlapped windows always have a caption and a border.
  if (!(style & (WS_CHILD | WS_POPUP))) style |= WS_CLIPSIBLINGS | WS_CAPTION;
  if ((style & WS_CAPTION) == WS_CAPTION || (exStyle & WS_EX_DLGMODALFRAME)) w->exStyle |= WS_EX_WINDOWEDGE;
  w->style = style & ~WS_VISIBLE;
  // Placement: default position and size are chosen here for top-level
  // windows, as the window manager would.
  if (!(style & WS_CHILD)) {
    if (x == CW_USEDEFAULT) {
      x = 26;
      y = 26;
    }
    if (width == CW_USEDEFAULT) {
      width = 768;
      height = 576;
    }
  } else {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) width = height = 0;
  }
  w->needSize = !(style & WS_CHILD);
  {
    std::lock_guard<std::recursive_mutex> guard(TableLock());
    w->handle = NewHandle();
    Table().emplace(reinterpret_cast<uintptr_t>(w->handle), w);
    cls->windows++;
    // A new child goes to the bottom of its siblings, so z-order is
    // creation order (and so is tab order).
    if (w->parent != nullptr) w->parent->children.push_back(w.get());
  }
  // The window manager's size limits come first.
  if (!(style & WS_CHILD) || (style & WS_THICKFRAME)) {
    MINMAXINFO info = {};
    info.ptMaxSize = {GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED)};
    info.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    info.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    Call(w, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    if (!(style & WS_CHILD)) {
      width = std::min<int>(width, info.ptMaxTrackSize.x);
      height = std::min<int>(height, info.ptMaxTrackSize.y);
    }
  }
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  w->rect = {x, y, x + width, y + height};
  w->normal = w->rect;
  // The creation record; the A form carries the caller's ANSI texts.
  CREATESTRUCTW cs = {param,
                      instance,
                      menu,
                      parentHandle,
                      height,
                      width,
                      y,
                      x,
                      static_cast<LONG>(style),
                      titleNull ? nullptr : w->title.c_str(),
                      classArg,
                      exStyle};
  CREATESTRUCTA csa = {param, instance, menu, parentHandle, height, width, y, x, static_cast<LONG>(style),
                       static_cast<LPCSTR>(ansiTitle), static_cast<LPCSTR>(ansiClass), exStyle};
  const LPARAM create = ansiCall ? reinterpret_cast<LPARAM>(&csa) : reinterpret_cast<LPARAM>(&cs);
  auto fail = [&]() -> HWND {
    if (!w->destroyed) DestroyWindow(w->handle);
    return nullptr;
  };
  if (!Call(w, WM_NCCREATE, 0, create)) return fail();
  if (w->destroyed) return nullptr;
  RECT calc = w->rect;
  Call(w, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&calc));
  w->client = calc;
  if (Call(w, WM_CREATE, 0, create) == -1) return fail();
  if (w->destroyed) return nullptr;
  if (!w->needSize) {
    Call(w, WM_SIZE, SIZE_RESTORED,
         static_cast<LPARAM>(MAKELONG(w->client.right - w->client.left, w->client.bottom - w->client.top)));
    Call(w, WM_MOVE, 0, static_cast<LPARAM>(MAKELONG(w->client.left, w->client.top)));
  }
  if (w->parent != nullptr && !(w->exStyle & WS_EX_NOPARENTNOTIFY)) {
    Send(w->parent->handle, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, w->id),
         reinterpret_cast<LPARAM>(w->handle));
  }
  if (w->destroyed) return nullptr;
  TellDisplay(w.get(), false, true, true);
  if (style & WS_VISIBLE) {
    if (style & WS_MINIMIZE) Show(w, SW_SHOWMINIMIZED);
    else if (style & WS_MAXIMIZE) Show(w, SW_SHOWMAXIMIZED);
    else Show(w, SW_SHOW);
  }
  return w->destroyed ? nullptr : w->handle;
}

// Wine sends WM_DESTROY parent first and WM_NCDESTROY children first.
void SendDestroy(const WindowRef& w) {
  Call(w, WM_DESTROY, 0, 0);
  std::vector<WindowRef> children;
  for (Window* c : w->children) children.push_back(Peek(c->handle));
  for (auto& c : children)
    if (c) SendDestroy(c);
}

void FreeWindow(const WindowRef& w) {
  std::vector<WindowRef> children;
  for (Window* c : w->children) children.push_back(Peek(c->handle));
  for (auto& c : children)
    if (c && !c->destroyed) FreeWindow(c);
  w->destroying = true;
  Call(w, WM_NCDESTROY, 0, 0);
  {
    std::lock_guard<std::recursive_mutex> guard(TableLock());
    w->destroyed = true;
    w->cls->windows--;
    Unlink(w.get());
    // Owned windows lose their owner.
    for (auto& entry : Table())
      if (entry.second->owner == w.get()) entry.second->owner = nullptr;
    Table().erase(reinterpret_cast<uintptr_t>(w->handle));
  }
  // Drop its posted messages, as Windows does.
  {
    std::lock_guard<std::mutex> guard(w->queue->lock);
    auto& posted = w->queue->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(), [&](const MSG& m) { return m.hwnd == w->handle; }),
                 posted.end());
    auto& input = w->queue->input;
    input.erase(std::remove_if(input.begin(), input.end(), [&](const MSG& m) { return m.hwnd == w->handle; }),
                input.end());
  }
  TellDestroyed(w.get());
}

}  // namespace

// The display only hears of top-level windows; children are drawn by
// whoever owns the top-level surface.
void TellDisplay(const Window* w, bool shown, bool moved, bool sized) {
  if (w->parent != nullptr) return;
  const display::Backend* backend = display::Current();
  if (backend == nullptr) return;
  if (moved && backend->moved) backend->moved(w->handle, w->rect.left, w->rect.top);
  if (sized && backend->sized)
    backend->sized(w->handle, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top,
                   w->client.right - w->client.left, w->client.bottom - w->client.top);
  if (shown && backend->shown) backend->shown(w->handle, (w->style & WS_VISIBLE) != 0);
}

std::recursive_mutex& TableLock() {
  static std::recursive_mutex lock;
  return lock;
}

WindowRef Peek(HWND handle) {
  if (handle == nullptr) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  auto it = Table().find(reinterpret_cast<uintptr_t>(handle));
  if (it == Table().end() || it->second->destroyed) return nullptr;
  return it->second;
}

WindowRef Find(HWND handle) {
  WindowRef w = Peek(handle);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

bool AnyPaintPending(DWORD thread) {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  for (auto& entry : Table()) {
    const Window& w = *entry.second;
    if (w.threadId == thread && w.hasUpdate && (w.style & WS_VISIBLE)) return true;
  }
  return false;
}

std::vector<WindowRef> TopLevels() {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  std::vector<WindowRef> out;
  for (auto& entry : Table())
    if (entry.second->parent == nullptr && !entry.second->destroyed) out.push_back(entry.second);
  // Newest first stands in for z-order among top-level windows.
  std::sort(out.begin(), out.end(), [](const WindowRef& a, const WindowRef& b) { return a->handle > b->handle; });
  return out;
}

void NonClientInsets(DWORD style, DWORD exStyle, RECT* insets) {
  int frame = 0;
  if (style & WS_THICKFRAME) frame = GetSystemMetrics(SM_CXFRAME);
  else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) frame = GetSystemMetrics(SM_CXDLGFRAME);
  else if (style & WS_BORDER) frame = GetSystemMetrics(SM_CXBORDER);
  if (exStyle & WS_EX_CLIENTEDGE) frame += GetSystemMetrics(SM_CXEDGE);
  *insets = {frame, frame, frame, frame};
  if ((style & WS_CAPTION) == WS_CAPTION)
    insets->top += (exStyle & WS_EX_TOOLWINDOW) ? GetSystemMetrics(SM_CYSMCAPTION) : GetSystemMetrics(SM_CYCAPTION);
}

void ComputeClient(Window* w) {
  RECT in;
  NonClientInsets(w->style, w->exStyle, &in);
  w->client = {w->rect.left + in.left, w->rect.top + in.top, w->rect.right - in.right, w->rect.bottom - in.bottom};
  if (w->client.right < w->client.left) w->client.right = w->client.left;
  if (w->client.bottom < w->client.top) w->client.bottom = w->client.top;
}

POINT WindowOrigin(const Window* w) {
  POINT p = {w->rect.left, w->rect.top};
  if (w->parent != nullptr) {
    POINT o = ClientOrigin(w->parent);
    p.x += o.x;
    p.y += o.y;
  }
  return p;
}

POINT ClientOrigin(const Window* w) {
  POINT p = {w->client.left, w->client.top};
  if (w->parent != nullptr) {
    POINT o = ClientOrigin(w->parent);
    p.x += o.x;
    p.y += o.y;
  }
  return p;
}

}  // namespace user

using user::Find;
using user::WindowRef;

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  auto cls = user::FindClassByName(className);
  if (!cls) {
    // Wine's answer; Windows itself says ERROR_CANNOT_FIND_WND_CLASS.
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return nullptr;
  }
  return user::Create(exStyle, cls, title ? std::u16string(title) : std::u16string(), title == nullptr, nullptr,
                      nullptr, false, className, style, x, y, width, height, parent, menu, instance, param);
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (className == nullptr) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return nullptr;
  }
  std::u16string wideClass = IS_INTRESOURCE(className) ? std::u16string() : user::Widen(className);
  LPCWSTR classArg = IS_INTRESOURCE(className) ? reinterpret_cast<LPCWSTR>(className) : wideClass.c_str();
  auto cls = user::FindClassByName(classArg);
  if (!cls) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return nullptr;
  }
  return user::Create(exStyle, cls, user::Widen(title), title == nullptr, title, className, true, classArg, style, x,
                      y, width, height, parent, menu, instance, param);
}

BOOL WINAPI DestroyWindow(HWND handle) {
  WindowRef w = Find(handle);
  if (!w) return FALSE;
  if (w->threadId != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (w->destroying) return TRUE;
  w->destroying = true;
  // Owned windows go first, as Windows destroys them with their owner.
  for (auto& other : user::TopLevels())
    if (other->owner == w.get()) DestroyWindow(other->handle);
  if (w->style & WS_VISIBLE) {
    user::MoveTo(w, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
  }
  user::ForgetWindow(w.get());
  if (w->parent != nullptr && !(w->exStyle & WS_EX_NOPARENTNOTIFY))
    user::Send(w->parent->handle, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, w->id), reinterpret_cast<LPARAM>(handle));
  user::SendDestroy(w);
  user::FreeWindow(w);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND handle) { return user::Peek(handle) != nullptr; }

BOOL WINAPI IsWindowVisible(HWND handle) {
  WindowRef w = user::Peek(handle);
  if (!w) return FALSE;
  for (user::Window* p = w.get(); p != nullptr; p = p->parent)
    if (!(p->style & WS_VISIBLE)) return FALSE;
  return TRUE;
}

BOOL WINAPI IsWindowEnabled(HWND handle) {
  WindowRef w = Find(handle);
  return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI EnableWindow(HWND handle, BOOL enable) {
  WindowRef w = Find(handle);
  if (!w) return FALSE;
  const BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
  if (enable && wasDisabled) {
    w->style &= ~WS_DISABLED;
    user::Call(w, WM_ENABLE, TRUE, 0);
  } else if (!enable && !wasDisabled) {
    user::Call(w, WM_CANCELMODE, 0, 0);
    w->style |= WS_DISABLED;
    if (GetFocus() == handle) SetFocus(nullptr);
    user::Call(w, WM_ENABLE, FALSE, 0);
  }
  return wasDisabled;
}

BOOL WINAPI IsIconic(HWND handle) {
  WindowRef w = user::Peek(handle);
  return w && (w->style & WS_MINIMIZE);
}

BOOL WINAPI IsZoomed(HWND handle) {
  WindowRef w = user::Peek(handle);
  return w && (w->style & WS_MAXIMIZE);
}

BOOL WINAPI IsChild(HWND parent, HWND handle) {
  WindowRef w = user::Peek(handle);
  if (!w || parent == nullptr) return FALSE;
  for (user::Window* p = w->parent; p != nullptr; p = p->parent)
    if (p->handle == parent) return TRUE;
  return FALSE;
}

HWND WINAPI GetParent(HWND handle) {
  WindowRef w = Find(handle);
  if (!w) return nullptr;
  if (w->style & WS_CHILD) return w->parent ? w->parent->handle : nullptr;
  if (w->style & WS_POPUP) return w->owner ? w->owner->handle : nullptr;
  return nullptr;
}

HWND WINAPI GetAncestor(HWND handle, UINT flags) {
  WindowRef w = Find(handle);
  if (!w) return nullptr;
  user::Window* p = w.get();
  switch (flags) {
    case GA_PARENT:
      return p->parent ? p->parent->handle : GetDesktopWindow();
    case GA_ROOT:
      while (p->parent != nullptr) p = p->parent;
      return p->handle;
    case GA_ROOTOWNER:
      while (p->parent != nullptr) p = p->parent;
      while (p->owner != nullptr) p = p->owner;
      return p->handle;
    default:
      return nullptr;
  }
}

HWND WINAPI GetDesktopWindow() {
  // The desktop is not a window of this process; a fixed value stands in.
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010));
}

HWND WINAPI GetWindow(HWND handle, UINT command) {
  WindowRef w = Find(handle);
  if (!w) return nullptr;
  if (command == GW_OWNER) return w->owner ? w->owner->handle : nullptr;
  if (command == GW_CHILD) return w->children.empty() ? nullptr : w->children.front()->handle;
  if (command > GW_ENABLEDPOPUP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<HWND> siblings;
  if (w->parent != nullptr) {
    for (user::Window* c : w->parent->children) siblings.push_back(c->handle);
  } else {
    for (auto& t : user::TopLevels()) siblings.push_back(t->handle);
  }
  auto it = std::find(siblings.begin(), siblings.end(), handle);
  switch (command) {
    case GW_HWNDFIRST: return siblings.empty() ? nullptr : siblings.front();
    case GW_HWNDLAST: return siblings.empty() ? nullptr : siblings.back();
    case GW_HWNDNEXT: return (it == siblings.end() || it + 1 == siblings.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == siblings.end() || it == siblings.begin()) ? nullptr : *(it - 1);
    default: return nullptr;
  }
}

namespace {

// Depth first in z-order; the list is taken first so that the callback may
// create or destroy windows.
bool EnumTree(const user::Window* w, WNDENUMPROC proc, LPARAM param) {
  std::vector<HWND> children;
  for (user::Window* c : w->children) children.push_back(c->handle);
  for (HWND c : children) {
    WindowRef child = user::Peek(c);
    if (!child) continue;
    if (!proc(c, param)) return false;
    if (!EnumTree(child.get(), proc, param)) return false;
  }
  return true;
}

}  // namespace

BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param) {
  if (proc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (parent == nullptr) return EnumWindows(proc, param);
  WindowRef w = Find(parent);
  if (!w) return FALSE;
  // Windows reports success in either case for child enumeration.
  EnumTree(w.get(), proc, param);
  return TRUE;
}

BOOL WINAPI EnumWindows(WNDENUMPROC proc, LPARAM param) {
  if (proc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (auto& w : user::TopLevels())
    if (!proc(w->handle, param)) return FALSE;
  return TRUE;
}

DWORD WINAPI GetWindowThreadProcessId(HWND handle, LPDWORD processId) {
  WindowRef w = Find(handle);
  if (!w) return 0;
  if (processId != nullptr) *processId = GetCurrentProcessId();
  return w->threadId;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND handle, int index) {
  WindowRef w = Find(handle);
  if (!w) return 0;
  if (index >= 0) {
    if (static_cast<size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, w->extra.data() + index, sizeof value);
    return value;
  }
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(GetParent(handle));
    case GWLP_ID: return w->id;
    case GWLP_USERDATA: return w->userData;
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND handle, int index, LONG_PTR value) {
  WindowRef w = Find(handle);
  if (!w) return 0;
  LONG_PTR old = 0;
  if (index >= 0) {
    if (static_cast<size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    std::memcpy(&old, w->extra.data() + index, sizeof old);
    std::memcpy(w->extra.data() + index, &value, sizeof value);
    return old;
  }
  switch (index) {
    case GWLP_WNDPROC:
      if (value == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      w->ansi = false;
      return old;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(value);
      return old;
    case GWLP_ID:
      old = w->id;
      w->id = value;
      return old;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = value;
      return old;
    case GWL_STYLE:
    case GWL_EXSTYLE: {
      // The window hears of the change before and after; the procedure may
      // adjust the new style in the record while it is changing.
      const bool isStyle = index == GWL_STYLE;
      old = static_cast<LONG>(isStyle ? w->style.load() : w->exStyle);
      STYLESTRUCT change = {static_cast<DWORD>(old), static_cast<DWORD>(value)};
      user::Call(w, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&change));
      if (w->destroyed) return old;
      // WS_CHILD keeps its meaning only through SetParent.
      if (isStyle) change.styleNew = (change.styleNew & ~WS_CHILD) | (w->style & WS_CHILD);
      if (isStyle) w->style = change.styleNew;
      else w->exStyle = change.styleNew;
      user::Call(w, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&change));
      return old;
    }
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND handle, int index) { return GetWindowLongPtrW(handle, index); }
LONG_PTR WINAPI SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
  LONG_PTR old = SetWindowLongPtrW(handle, index, value);
  if (index == GWLP_WNDPROC && old != 0) {
    if (WindowRef w = user::Peek(handle)) w->ansi = true;
  }
  return old;
}

// The window's extra bytes holding the LONG at index, or null (with
// ERROR_INVALID_INDEX) when it does not fit.
static unsigned char* ExtraLong(const WindowRef& w, int index) {
  if (static_cast<size_t>(index) + sizeof(LONG) > w->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return nullptr;
  }
  return w->extra.data() + index;
}

LONG WINAPI GetWindowLongW(HWND handle, int index) {
  if (index >= 0) {
    WindowRef w = Find(handle);
    unsigned char* at = w ? ExtraLong(w, index) : nullptr;
    if (!at) return 0;
    LONG value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
  return static_cast<LONG>(GetWindowLongPtrW(handle, index));
}

LONG WINAPI SetWindowLongW(HWND handle, int index, LONG value) {
  if (index >= 0) {
    WindowRef w = Find(handle);
    unsigned char* at = w ? ExtraLong(w, index) : nullptr;
    if (!at) return 0;
    LONG old;
    std::memcpy(&old, at, sizeof old);
    std::memcpy(at, &value, sizeof value);
    return old;
  }
  // A 32-bit GWL_WNDPROC cannot carry a 64-bit address; Windows refuses it.
  if (index == GWL_WNDPROC && sizeof(LONG_PTR) > sizeof(LONG)) {
    if (!Find(handle)) return 0;
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  return static_cast<LONG>(SetWindowLongPtrW(handle, index, value));
}

LONG WINAPI GetWindowLongA(HWND handle, int index) { return GetWindowLongW(handle, index); }
LONG WINAPI SetWindowLongA(HWND handle, int index, LONG value) { return SetWindowLongW(handle, index, value); }

BOOL WINAPI SetWindowTextW(HWND handle, LPCWSTR text) {
  WindowRef w = Find(handle);
  if (!w) return FALSE;
  return user::Call(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

int WINAPI GetWindowTextW(HWND handle, LPWSTR buffer, int size) {
  if (buffer != nullptr && size > 0) buffer[0] = 0;
  WindowRef w = Find(handle);
  if (!w || buffer == nullptr || size <= 0) return 0;
  return static_cast<int>(user::Call(w, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextLengthW(HWND handle) {
  WindowRef w = Find(handle);
  if (!w) return 0;
  return static_cast<int>(user::Call(w, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI GetWindowRect(HWND handle, LPRECT rect) {
  WindowRef w = Find(handle);
  if (!w) return FALSE;
  if (rect == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  POINT o = user::WindowOrigin(w.get());
  *rect = {o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND handle, LPRECT rect) {
  WindowRef w = Find(handle);
  if (!w) return FALSE;
  if (rect == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  *rect = {0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  return TRUE;
}

BOOL WINAPI ClientToScreen(HWND handle, LPPOINT point) {
  WindowRef w = Find(handle);
  if (!w || point == nullptr) return FALSE;
  POINT o = user::ClientOrigin(w.get());
  point->x += o.x;
  point->y += o.y;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND handle, LPPOINT point) {
  WindowRef w = Find(handle);
  if (!w || point == nullptr) return FALSE;
  POINT o = user::ClientOrigin(w.get());
  point->x -= o.x;
  point->y -= o.y;
  return TRUE;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
  if (rect == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  // Overlapped windows always get a caption, whatever the style says.
  if (!(style & (WS_POPUP | WS_CHILD))) style |= WS_CAPTION;
  RECT in;
  user::NonClientInsets(style, exStyle, &in);
  rect->left -= in.left;
  rect->top -= in.top;
  rect->right += in.right;
  rect->bottom += in.bottom;
  if (menu) rect->top -= GetSystemMetrics(SM_CYMENU);
  return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) { return AdjustWindowRectEx(rect, style, menu, 0); }

HWND WINAPI SetParent(HWND handle, HWND parent) {
  WindowRef w = Find(handle);
  if (!w) return nullptr;
  WindowRef p;
  if (parent != nullptr) {
    p = Find(parent);
    if (!p) return nullptr;
    for (user::Window* a = p.get(); a != nullptr; a = a->parent)
      if (a == w.get()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
  }
  HWND old = w->parent ? w->parent->handle : GetDesktopWindow();
  std::lock_guard<std::recursive_mutex> guard(user::TableLock());
  user::Unlink(w.get());
  w->parent = p.get();
  if (p) p->children.push_back(w.get());
  return old;
}
