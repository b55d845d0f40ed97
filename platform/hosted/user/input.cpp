// Keyboard and mouse input: the display's events become queued messages,
// key state as the thread processed it and as the hardware has it,
// TranslateMessage and accelerator tables.
#include <algorithm>
#include <atomic>
#include <set>
#include <vector>

#include "display/backend.h"
#include "hosted/hooks.h"
#include "user/internal.h"

namespace user {
namespace {

std::atomic<BYTE> asyncKeys[256] = {};
std::atomic<int> cursorX{0}, cursorY{0};
HWND lastActive = nullptr;

struct AccelTable {
  std::vector<ACCEL> entries;
};

std::set<AccelTable*>& AccelTables() {
  static std::set<AccelTable*> tables;
  return tables;
}

AccelTable* FindAccel(HACCEL handle) {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  auto* table = reinterpret_cast<AccelTable*>(handle);
  return AccelTables().count(table) ? table : nullptr;
}

// The deepest visible window under a screen point, top-level windows in
// z-order first.
WindowRef WindowAt(int x, int y) {
  for (auto& top : TopLevels()) {
    if (!(top->style & WS_VISIBLE)) continue;
    if (x < top->rect.left || x >= top->rect.right || y < top->rect.top || y >= top->rect.bottom) continue;
    Window* w = top.get();
    for (bool deeper = true; deeper;) {
      deeper = false;
      POINT o = ClientOrigin(w);
      for (Window* c : w->children) {
        if (!(c->style & WS_VISIBLE)) continue;
        const int cx = x - o.x, cy = y - o.y;
        if (cx >= c->rect.left && cx < c->rect.right && cy >= c->rect.top && cy < c->rect.bottom) {
          w = c;
          deeper = true;
          break;
        }
      }
    }
    return Peek(w->handle);
  }
  return nullptr;
}

// Where keyboard input goes: the foreground thread's focus window, else its
// active window (which then gets the WM_SYS* form).
WindowRef KeyTarget(bool* sys) {
  HWND fg = ForegroundWindow();
  WindowRef top = Peek(fg);
  if (!top) return nullptr;
  Queue& q = *top->queue;
  WindowRef focus = Peek(q.focus);
  *sys = !focus;
  return focus ? focus : Peek(q.active);
}

LPARAM KeyData(BYTE key, bool down, bool wasDown, bool alt) {
  static const BYTE scan[256] = {0};
  LPARAM data = 1 | (static_cast<LPARAM>(scan[key]) << 16);
  if (alt) data |= 1 << 29;
  if (wasDown) data |= 1 << 30;
  if (!down) data |= static_cast<LPARAM>(static_cast<DWORD>(1u << 31));
  return static_cast<LPARAM>(static_cast<DWORD>(data));
}

// Bits of a key's hardware state: down, pressed since GetAsyncKeyState last
// asked (set by every press, auto-repeats too, as Windows does), toggled.
constexpr BYTE kAsyncDown = 0x80;
constexpr BYTE kAsyncPressed = 0x40;
constexpr BYTE kAsyncToggled = 0x01;

// The key state as the hardware has it (GetAsyncKeyState).
bool AsyncDown(BYTE key) { return (asyncKeys[key].load() & kAsyncDown) != 0; }

void SetAsyncKey(BYTE key, bool down) {
  BYTE value = asyncKeys[key].load();
  BYTE next;
  do {
    next = value;
    // The toggle flips on each press, as Caps Lock shows.
    if (down && !(value & kAsyncDown)) next ^= kAsyncToggled;
    next = down ? (next | kAsyncDown | kAsyncPressed) : (next & ~kAsyncDown);
  } while (!asyncKeys[key].compare_exchange_weak(value, next));
}

// A press or release of the left button: the hardware state changes now,
// the message arrives with the next pump.
void InjectLeftButton(int x, int y, bool down) {
  SetAsyncKey(VK_LBUTTON, down);
  display::Inject({.kind = display::InputEvent::MouseButton, .down = down, .x = x, .y = y});
}

}  // namespace

void KeyProcessed(const MSG& msg) {
  Queue& q = *CurrentQueue();
  auto set = [&](BYTE key, bool down) {
    if (down && !(q.keys[key] & 0x80)) q.keys[key] ^= 0x01;
    q.keys[key] = down ? (q.keys[key] | 0x80) : (q.keys[key] & ~0x80);
  };
  switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
      const BYTE key = static_cast<BYTE>(msg.wParam);
      set(key, down);
      // The generic modifier follows either side.
      if (key == VK_LSHIFT || key == VK_RSHIFT) set(VK_SHIFT, down);
      if (key == VK_LCONTROL || key == VK_RCONTROL) set(VK_CONTROL, down);
      if (key == VK_LMENU || key == VK_RMENU) set(VK_MENU, down);
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
      set(VK_LBUTTON, true);
      break;
    case WM_LBUTTONUP:
    case WM_NCLBUTTONUP:
      set(VK_LBUTTON, false);
      break;
    default:
      break;
  }
}

// A raw mouse message becomes client or non-client by hit testing, at the
// time the owning thread takes it; a press on an inactive window activates
// it first.
void CookMouse(MSG* msg, bool remove) {
  WindowRef w = Peek(msg->hwnd);
  if (!w || msg->message < WM_MOUSEFIRST || msg->message > WM_MOUSELAST) return;
  const POINT pt = msg->pt;
  LRESULT hit = Call(w, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
  if (w->queue->capture == w->handle) hit = HTCLIENT;
  if (remove && msg->message == WM_LBUTTONDOWN) {
    Window* root = w.get();
    while (root->parent != nullptr) root = root->parent;
    WindowRef r = Peek(root->handle);
    if (r && w->queue->active != r->handle) {
      LRESULT how = Call(w, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(r->handle),
                         MAKELPARAM(static_cast<WORD>(hit), msg->message));
      if (how == MA_ACTIVATE || how == MA_ACTIVATEANDEAT) Activate(r, true);
    }
    Call(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w->handle), MAKELPARAM(static_cast<WORD>(hit), msg->message));
  }
  if (hit == HTCLIENT) {
    POINT c = pt;
    ScreenToClient(msg->hwnd, &c);
    msg->lParam = MAKELPARAM(c.x, c.y);
  } else {
    msg->message = msg->message - WM_MOUSEFIRST + WM_NCMOUSEMOVE;
    msg->wParam = static_cast<WPARAM>(hit);
    msg->lParam = MAKELPARAM(pt.x, pt.y);
  }
}

// Screen point at the middle of a caption button, or false.
bool CaptionButtonPoint(HWND handle, int hitTest, POINT* out) {
  WindowRef w = Peek(handle);
  if (!w || (w->style & WS_CAPTION) != WS_CAPTION || !(w->style & WS_SYSMENU)) return false;
  RECT in;
  NonClientInsets(w->style, w->exStyle, &in);
  const int frame = in.left;
  const int button = GetSystemMetrics(SM_CXSIZE);
  POINT o = WindowOrigin(w.get());
  const int right = o.x + (w->rect.right - w->rect.left) - frame;
  const int y = o.y + frame + button / 2;
  int slot = 0;
  switch (hitTest) {
    case HTCLOSE: slot = 0; break;
    case HTMAXBUTTON: slot = 1; break;
    case HTMINBUTTON: slot = 2; break;
    default: return false;
  }
  if (slot > 0 && !(w->style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))) return false;
  *out = {right - slot * button - button / 2, y};
  return true;
}

}  // namespace user

namespace display {

bool Deliver(const InputEvent& event) {
  using namespace user;
  switch (event.kind) {
    case InputEvent::Key: {
      bool sys = false;
      WindowRef target = KeyTarget(&sys);
      if (!target) return true;
      // Alt turns keys into system keys, as does F10 and a window without focus.
      if (event.alt || event.key == VK_F10 || event.key == VK_MENU) sys = true;
      UINT message = event.down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
      POINT pt = {cursorX.load(), cursorY.load()};
      const LPARAM data = KeyData(event.key, event.down, event.repeat, event.alt && event.key != VK_MENU);
      PostInput(target->queue, {target->handle, message, event.key, data, Now(), pt});
      return true;
    }
    case InputEvent::KeyState:
      SetAsyncKey(event.key, event.down);
      return true;
    case InputEvent::CaptionClick: {
      POINT p;
      if (!CaptionButtonPoint(event.window, event.hit, &p)) return false;
      // The pointer goes there first, as a user's does.
      Inject({.kind = InputEvent::MouseMove, .x = p.x, .y = p.y});
      InjectLeftButton(p.x, p.y, true);
      InjectLeftButton(p.x, p.y, false);
      return true;
    }
    case InputEvent::MouseMove:
      cursorX = event.x;
      cursorY = event.y;
      return true;
    case InputEvent::MouseButton: {
      cursorX = event.x;
      cursorY = event.y;
      WindowRef target;
      if (WindowRef fg = Peek(ForegroundWindow())) target = Peek(fg->queue->capture);
      if (!target) target = WindowAt(event.x, event.y);
      if (!target) return true;
      const UINT message = event.down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      PostInput(target->queue, {target->handle, message, event.down ? static_cast<WPARAM>(MK_LBUTTON) : 0,
                                MAKELPARAM(event.x, event.y), Now(), {event.x, event.y}});
      return true;
    }
    case InputEvent::SysCommand: {
      if (WindowRef w = Peek(event.window)) Post(w->queue, {w->handle, WM_SYSCOMMAND, event.command, 0, Now(), {}});
      return true;
    }
    case InputEvent::AppActivate: {
      // Only the thread that owns the windows can be told; it is the one
      // whose queue is being looked at.
      std::shared_ptr<Queue> q = CurrentQueue();
      if (!event.down) {
        WindowRef active = Peek(q->active);
        if (!active) return true;
        lastActive = active->handle;
        q->active = nullptr;
        SetForeground(nullptr);
        Call(active, WM_NCACTIVATE, FALSE, 0);
        Call(active, WM_ACTIVATE, WA_INACTIVE, 0);
        Call(active, WM_ACTIVATEAPP, FALSE, 0);
        MoveFocus(*q, nullptr);
      } else {
        WindowRef back = Peek(lastActive);
        if (!back) {
          for (auto& top : TopLevels())
            if (top->queue == q && (top->style & WS_VISIBLE)) {
              back = top;
              break;
            }
        }
        if (back) Activate(back, false);
      }
      return true;
    }
  }
  return true;
}

}  // namespace display

namespace hosted {

void InjectKey(BYTE virtualKey, bool down) {
  const bool wasDown = user::AsyncDown(virtualKey);
  user::SetAsyncKey(virtualKey, down);
  const bool alt = user::AsyncDown(VK_MENU) || virtualKey == VK_MENU;
  display::Inject({.kind = display::InputEvent::Key, .key = virtualKey, .down = down, .repeat = wasDown, .alt = alt});
}

void InjectMouseButton(int x, int y, bool down) { user::InjectLeftButton(x, y, down); }

bool InjectCaptionClick(HWND window, int hitTest) {
  return display::Deliver({.kind = display::InputEvent::CaptionClick, .window = window, .hit = hitTest});
}

void InjectRestore(HWND window) {
  display::Inject({.kind = display::InputEvent::SysCommand, .window = window, .command = SC_RESTORE});
}

void InjectAppActivation(bool active) {
  display::Inject({.kind = display::InputEvent::AppActivate, .down = active});
}

}  // namespace hosted

SHORT WINAPI GetKeyState(int key) {
  if (key < 0 || key > 255) return 0;
  const BYTE value = user::CurrentQueue()->keys[key];
  return static_cast<SHORT>(((value & 0x80) ? 0xFF80 : 0) | (value & 0x01));
}

SHORT WINAPI GetAsyncKeyState(int key) {
  if (key < 0 || key > 255) return 0;
  // Asking takes the "pressed since" bit: the next query sees only new
  // presses.
  const BYTE value = user::asyncKeys[key].fetch_and(static_cast<BYTE>(~user::kAsyncPressed));
  return static_cast<SHORT>(((value & user::kAsyncDown) ? 0x8000 : 0) | ((value & user::kAsyncPressed) ? 1 : 0));
}

BOOL WINAPI GetKeyboardState(BYTE* state) {
  if (state == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  std::copy(std::begin(user::CurrentQueue()->keys), std::end(user::CurrentQueue()->keys), state);
  return TRUE;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
  if (point == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  *point = {user::cursorX.load(), user::cursorY.load()};
  return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (msg == nullptr) return FALSE;
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) {
    return msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
  }
  // Characters of the keys the subset knows: letters, digits and a few
  // control keys, with Shift giving capitals.
  const WPARAM key = msg->wParam;
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  WCHAR ch = 0;
  if (key >= 'A' && key <= 'Z') ch = control ? static_cast<WCHAR>(key - 'A' + 1) : static_cast<WCHAR>(shift ? key : key + 32);
  else if (key >= '0' && key <= '9' && !shift) ch = static_cast<WCHAR>(key);
  else if (key == VK_SPACE || key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE || key == VK_BACK)
    ch = static_cast<WCHAR>(key);
  if (ch == 0) return TRUE;
  const UINT message = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
  if (user::WindowRef w = user::Peek(msg->hwnd))
    user::Post(w->queue, {msg->hwnd, message, ch, msg->lParam, msg->time, msg->pt});
  return TRUE;
}

HACCEL WINAPI CreateAcceleratorTableW(LPACCEL entries, int count) {
  if (count <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (entries == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return nullptr;
  }
  auto* table = new user::AccelTable;
  table->entries.assign(entries, entries + count);
  std::lock_guard<std::recursive_mutex> guard(user::TableLock());
  user::AccelTables().insert(table);
  return reinterpret_cast<HACCEL>(table);
}

BOOL WINAPI DestroyAcceleratorTable(HACCEL handle) {
  std::lock_guard<std::recursive_mutex> guard(user::TableLock());
  user::AccelTable* table = user::FindAccel(handle);
  // Wine leaves the last error alone for a table that does not exist.
  if (table == nullptr) return FALSE;
  user::AccelTables().erase(table);
  delete table;
  return TRUE;
}

int WINAPI CopyAcceleratorTableW(HACCEL handle, LPACCEL entries, int count) {
  user::AccelTable* table = user::FindAccel(handle);
  if (table == nullptr) return 0;
  const int total = static_cast<int>(table->entries.size());
  if (entries == nullptr) return total;
  const int n = std::min(total, count);
  std::copy(table->entries.begin(), table->entries.begin() + std::max(n, 0), entries);
  return n;
}

int WINAPI TranslateAcceleratorW(HWND window, HACCEL handle, LPMSG msg) {
  if (msg == nullptr || window == nullptr) return 0;
  user::AccelTable* table = user::FindAccel(handle);
  if (table == nullptr) return 0;
  const bool keyDown = msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN;
  const bool charMsg = msg->message == WM_CHAR || msg->message == WM_SYSCHAR;
  if (!keyDown && !charMsg) return 0;
  BYTE held = 0;
  if (GetKeyState(VK_SHIFT) & 0x8000) held |= FSHIFT;
  if (GetKeyState(VK_CONTROL) & 0x8000) held |= FCONTROL;
  if (GetKeyState(VK_MENU) & 0x8000) held |= FALT;
  for (const ACCEL& a : table->entries) {
    const bool virt = (a.fVirt & FVIRTKEY) != 0;
    if (virt != keyDown || a.key != msg->wParam) continue;
    // Virtual-key entries name their modifiers exactly; character entries
    // only care about Alt.
    if (virt && (a.fVirt & (FSHIFT | FCONTROL | FALT)) != held) continue;
    if (!virt && ((a.fVirt & FALT) != 0) != ((held & FALT) != 0)) continue;
    if (!user::Find(window)) return 0;
    // High word 1: the command comes from an accelerator.
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
    return 1;
  }
  return 0;
}
