#include "window/events.h"
#include "window/window.h"

namespace {

bool KeyDown(int key) { return (GetKeyState(key) & 0x80) != 0; }

constexpr UINT UiStateHideFocus = 0x1;  // UISF_HIDEFOCUS
constexpr UINT UiStateHideAccel = 0x2;  // UISF_HIDEACCEL
constexpr WPARAM UiStateClearBoth = 0x30002;  // UIS_CLEAR for both flags
constexpr WPARAM UiStateSetBoth = 0x30001;  // UIS_SET for both flags
constexpr LRESULT RichEditReadOnly = 0x800;  // ECO_READONLY
constexpr UINT RichEditGetOptions = 0x44E;  // EM_GETOPTIONS
// What wakes a timed wait: any input, posted or sent message, timer or paint.
constexpr DWORD WakeMask = QS_ALLINPUT | QS_ALLPOSTMESSAGE;
static_assert(WakeMask == 0x5FF, "raw input belongs to the wake mask");

}  // namespace

int32_t WindowPollEvent() { return WindowWaitEvent(0); }

int32_t WindowWaitEvent(int32_t timeout) {
  const int32_t code = EventFetch();
  if (code != 0) return code;

  MSG msg;
  if (timeout == -1) {
    // 0 means WM_QUIT, which msg then holds like any other message.
    if (GetMessageW(&msg, nullptr, 0, 0) == -1) return 0;
  } else if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
    if (timeout <= 0) return 0;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeout), WakeMask);
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) return 0;
  }
  HWND active = GetActiveWindow();
  HACCEL table = AcceleratorFor(active);
  if (table != nullptr && TranslateAcceleratorW(active, table, &msg)) {
    // Tab or Shift+Tab has moved the focus: let the user see where it went.
    if (active != nullptr) KeyboardCues(active, true);
  } else {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int32_t>(msg.message);
}

HACCEL AcceleratorFor(HWND active) {
  HWND focus = GetFocus();
  const bool shift = KeyDown(VK_SHIFT);
  const bool control = KeyDown(VK_CONTROL);
  const bool alt = KeyDown(VK_MENU);
  if (focus != nullptr && KeyDown(VK_TAB) && !shift && !control && !alt) {
    WCHAR className[5] = {};
    GetClassNameW(focus, className, 5);
    // A plain Tab is typed into an editable rich-edit control.
    const bool rich = className[0] == 'R' && className[1] == 'i' && className[2] == 'c' && className[3] == 'h';
    if (rich && (SendMessageW(focus, RichEditGetOptions, 0, 0) & RichEditReadOnly) == 0) return nullptr;
  }
  if (active != nullptr && (shift || control || alt)) KeyboardCues(active, true);
  // A control that takes Tab for itself.
  if (focus != nullptr && GetPropW(focus, TEXT("ZW_Hotkey")) != nullptr) return nullptr;
  if (active == nullptr) return nullptr;
  const auto property = reinterpret_cast<INT_PTR>(GetPropW(active, TEXT("ZW_WindowID")));
  if (property == 0) return nullptr;
  DWORD process = 0;
  if (GetWindowThreadProcessId(active, &process) == 0 || process != GetCurrentProcessId()) return nullptr;
  if (WindowTable == nullptr) return nullptr;
  auto* record = static_cast<WindowRecord*>(ObjectGet(WindowTable, property - 1));
  return record != nullptr ? record->accelTable : nullptr;
}

void KeyboardCues(HWND window, bool show) {
  const auto state = static_cast<UINT>(SendMessageW(window, WM_QUERYUISTATE, 0, 0));
  const UINT both = UiStateHideFocus | UiStateHideAccel;
  if (show) {
    if (state & both) SendMessageW(window, WM_UPDATEUISTATE, UiStateClearBoth, 0);
  } else {
    if ((state & both) != both) SendMessageW(window, WM_UPDATEUISTATE, UiStateSetBoth, 0);
  }
}
