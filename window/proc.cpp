#include "runtime/facilities.h"
#include "window/events.h"
#include "window/window.h"

namespace {

const WCHAR PropWindowId[] = TEXT("ZW_WindowID");
const WCHAR PropFocus[] = TEXT("ZW_Focus");

// The low and high 16 bits of a 32-bit message parameter.
uint32_t Low16(WPARAM value) { return static_cast<uint32_t>(value) & 0xFFFF; }
uint32_t High16(WPARAM value) { return (static_cast<uint32_t>(value) >> 16) & 0xFFFF; }

BOOL CALLBACK SendColourChange(HWND child, LPARAM) {
  SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
  return TRUE;
}

bool SameClass(const WCHAR* name, const WCHAR* wanted) {
  for (; *name == *wanted; ++name, ++wanted)
    if (*name == 0) return true;
  return false;
}

struct FocusWalk {
  HWND anchor;
  HWND previous;
  bool takeNext;
  bool done;
};

bool IsTabStop(HWND window) {
  return IsWindowEnabled(window) && IsWindowVisible(window) &&
         (static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & WS_TABSTOP) != 0;
}

BOOL CALLBACK FocusForward(HWND child, LPARAM param) {
  auto* walk = reinterpret_cast<FocusWalk*>(param);
  if (!IsTabStop(child)) return TRUE;
  if (walk->takeNext) {
    SetFocus(child);
    walk->takeNext = false;
    return FALSE;
  }
  if (walk->anchor == nullptr) {
    SetFocus(child);
    return FALSE;
  }
  if (child == walk->anchor) walk->takeNext = true;
  return TRUE;
}

BOOL CALLBACK FocusBackward(HWND child, LPARAM param) {
  auto* walk = reinterpret_cast<FocusWalk*>(param);
  if (!IsTabStop(child)) return TRUE;
  if (child == walk->anchor && walk->previous != nullptr) {
    SetFocus(walk->previous);
    walk->done = true;
    walk->previous = child;
    return FALSE;
  }
  walk->previous = child;
  return TRUE;
}

}  // namespace

LRESULT CALLBACK WindowClassProc(HWND window, UINT message, WPARAM first, LPARAM second) {
  const LRESULT answer = WindowEventProc(window, message, first, second);
  if (message != WM_SIZE) {
    auto client = static_cast<HWND>(GetPropW(window, TEXT("ZW_MDI_Gadget")));
    if (client != nullptr) {
      if (answer == ProcDefault || message == WM_SETFOCUS || message == WM_MENUCHAR)
        return DefFrameProcW(window, client, message, first, second);
      // Menu and accelerator commands reach the frame after the runtime's own handling.
      if (message == WM_COMMAND && second == 0) return DefFrameProcW(window, client, WM_COMMAND, first, 0);
      return answer;
    }
  }
  SetLastError(ERROR_SUCCESS);
  return answer == ProcDefault ? DefWindowProcW(window, message, first, second) : answer;
}

LRESULT WindowEventProc(HWND window, UINT message, WPARAM first, LPARAM second) {
  // Child windows report the number of the numbered window above them.
  ObjectId number = ObjectAny;
  HWND numbered = nullptr;
  for (HWND w = window; w != nullptr; w = GetParent(w)) {
    const auto property = reinterpret_cast<INT_PTR>(GetPropW(w, PropWindowId));
    if (property != 0) {
      numbered = w;
      number = property - 1;
      break;
    }
  }
  WindowRecord* record = nullptr;
  if (numbered != nullptr && WindowTable != nullptr)
    record = static_cast<WindowRecord*>(ObjectGet(WindowTable, number));

  WindowHookFn hook = nullptr;
  if (record != nullptr && record->eventCallback != nullptr)
    hook = record->eventCallback;
  else if (WindowsThread != nullptr && WindowsThread->eventCallback != nullptr)
    hook = WindowsThread->eventCallback;
  if (hook != nullptr) {
    const LRESULT answer = hook(window, message, first, second);
    if (answer != ProcContinue) return answer;
  }

  auto post = [number](int32_t code, ObjectId object = 0, int32_t type = 0) {
    EventAppend(code, object, number, type, 0, nullptr);
  };
  const bool own = record != nullptr && record->window == window;

  switch (message) {
    case WM_MOVE:
      if (own) post(EventMoveWindow, number);
      return 0;

    case WM_SIZE:
      if (numbered == nullptr || window != numbered) return 1;
      if (number == ObjectAny) return ProcDefault;
      switch (first) {
        case SIZE_MINIMIZED:
          if (record != nullptr) record->minMaxState = 1;
          post(EventMinimize);
          break;
        case SIZE_MAXIMIZED:
          if (record != nullptr) record->minMaxState = 1;
          post(EventMaximize);
          post(EventSizeWindow);
          break;
        case SIZE_RESTORED:
          if (record != nullptr && record->minMaxState == 1) {
            record->minMaxState = 0;
            post(EventRestore);
          }
          post(EventSizeWindow);
          break;
        default:
          post(EventSizeWindow);
          break;
      }
      return 0;

    case WM_ACTIVATE:
      if (Low16(first) != 0) {
        // The focus the window had when it was deactivated comes back.
        auto focus = static_cast<HWND>(GetPropW(window, PropFocus));
        if (focus != nullptr) SetFocus(focus);
        post(EventActivate);
      } else {
        SetPropW(window, PropFocus, GetFocus());
        KeyboardCues(window, false);
        post(EventDeactivate);
      }
      return 1;

    case WM_CLOSE:
      // The window stays open: the program decides whether to close it.
      if (own) post(EventCloseWindow, number);
      return 0;

    case WM_ERASEBKGND: {
      LRESULT answer = ProcDefault;
      if (record != nullptr && record->backgroundBrush != nullptr) {
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(first), &client, record->backgroundBrush);
        answer = 1;
      } else if (own && record->eraseCallback != nullptr) {
        answer = record->eraseCallback(reinterpret_cast<HDC>(first), window);
      }
      post(EventRepaint);
      return answer;
    }

    case WM_SYSCOLORCHANGE:
      if (record != nullptr && record->mdiClient == nullptr) EnumChildWindows(window, SendColourChange, 0);
      return ProcDefault;

    case WM_GETMINMAXINFO: {
      if (record == nullptr) return ProcDefault;
      auto* info = reinterpret_cast<MINMAXINFO*>(second);
      if (info == nullptr) return 0;
      if (record->minWidth != 0)
        info->ptMinTrackSize.x = record->minWidth;
      else if (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)
        info->ptMinTrackSize.x = 1;
      if (record->minHeight != 0) info->ptMinTrackSize.y = record->minHeight;
      if (record->maxWidth != 0) info->ptMaxTrackSize.x = record->maxWidth;
      if (record->maxHeight != 0) info->ptMaxTrackSize.y = record->maxHeight;
      return 0;
    }

    case WM_NOTIFY: {
      auto* header = reinterpret_cast<const NMHDR*>(second);
      if (header == nullptr) return ProcDefault;
      return ControlForward(header->hwndFrom, window, message, first, second);
    }

    case WM_NCDESTROY:
      RemovePropW(window, PropFocus);
      return 1;

    case WM_COMMAND: {
      auto control = reinterpret_cast<HWND>(second);
      if (ControlForward(control, window, message, first, second) != ProcDefault) return 0;
      if (control != nullptr) {
        const auto id = static_cast<int32_t>(GetWindowLongPtrW(control, GWLP_ID));
        if (id == ToolbarControlId)
          post(EventMenu, Low16(first));
        else
          post(EventControl, id, static_cast<int32_t>(High16(first)));
      } else if (High16(first) == 0) {
        post(EventMenu, Low16(first));
      } else if (Low16(first) == CommandFocusNext) {
        FocusStep(false);
      } else if (Low16(first) == CommandFocusPrevious) {
        FocusStep(true);
      } else {
        post(EventMenu, Low16(first));
      }
      return 0;
    }

    case WM_TIMER:
      if (record == nullptr) return ProcDefault;
      post(EventTimer, static_cast<ObjectId>(first));
      return 0;

    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case MessageControlRelay:
      return ControlForward(reinterpret_cast<HWND>(second), window, message, first, second);

    case WM_LBUTTONUP:
      post(EventLeftClick);
      return 0;
    case WM_LBUTTONDBLCLK:
      post(EventLeftDoubleClick);
      return 0;
    case WM_RBUTTONUP:
      post(EventRightClick);
      return 0;

    case MessageTrayIcon: {
      int32_t type = -1;
      switch (second) {
        case WM_LBUTTONDOWN: type = 0; break;
        case WM_RBUTTONDOWN: type = 1; break;
        case WM_LBUTTONDBLCLK: type = 2; break;
        case WM_RBUTTONDBLCLK: type = 3; break;
        default: break;
      }
      if (type >= 0) post(EventTrayIcon, static_cast<ObjectId>(first), type);
      // Wakes a retrieval that waits for a message.
      PostMessageW(window, WM_NULL, 0, 0);
      return 0;
    }

    default:
      return ProcDefault;
  }
}

LRESULT ControlForward(HWND control, HWND parent, UINT message, WPARAM first, LPARAM second) {
  if (control == nullptr) return ProcDefault;
  // Only the control facility's controls carry their identifier as a property.
  const auto id = reinterpret_cast<INT_PTR>(GetPropW(control, TEXT("ZW_ID")));
  if (id != GetWindowLongPtrW(control, GWLP_ID)) return ProcDefault;
  if (ControlTable == nullptr) return ProcDefault;
  auto* record = static_cast<ControlRecord*>(ObjectGet(ControlTable, id));
  if (record != nullptr && record->ops != nullptr && record->ops->handler != nullptr)
    return record->ops->handler(record, parent, message, first, second);
  return ProcDefault;
}

void FocusStep(bool backward) {
  HWND container = GetActiveWindow();
  HWND focus = GetFocus();
  FocusWalk walk = {};
  if (container != nullptr && focus != nullptr && IsChild(container, focus)) {
    walk.anchor = focus;
    // Inside a composite control, the control as a whole is the anchor.
    for (HWND w = focus; w != nullptr; w = GetParent(w)) {
      WCHAR className[50] = {};
      GetClassNameW(w, className, 50);
      if (SameClass(className, TEXT("MDI_ChildClass"))) {
        container = w;
        if (w == focus) walk.anchor = nullptr;
      } else if (SameClass(className, TEXT("ComboBoxEx32"))) {
        if (GetWindowLongPtrW(w, GWL_STYLE) & 0x1) walk.anchor = w;
      } else if (SameClass(className, TEXT("SysIPAddress32"))) {
        walk.anchor = w;
      }
    }
  }
  // Nothing to move among without an active window.
  if (container == nullptr) return;
  if (!backward) {
    EnumChildWindows(container, FocusForward, reinterpret_cast<LPARAM>(&walk));
    // The anchor was the last tab stop: wrap round to the first.
    if (walk.takeNext) EnumChildWindows(container, FocusForward, reinterpret_cast<LPARAM>(&walk));
    return;
  }
  EnumChildWindows(container, FocusBackward, reinterpret_cast<LPARAM>(&walk));
  if (!walk.done && walk.previous != nullptr) SetFocus(walk.previous);
}
