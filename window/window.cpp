#include "window/window.h"

#include "runtime/facilities.h"
#include "runtime/runtime.h"
#include "window/events.h"

ObjectTable* WindowTable;
WindowsThreadState* WindowsThread;
void* WindowsSpareState;
HICON WindowClassIcon;
HCURSOR WindowClassCursor;

// The record keeps the 13-word layout it has on 32-bit Windows.
static_assert(sizeof(void*) != 4 || sizeof(WindowRecord) == 52);
static_assert(sizeof(void*) != 4 || sizeof(WindowsThreadState) == 20);

namespace {

constexpr uint32_t StyleCaption = 0xC00000;
// What CreateWindowExW gets: the runtime's own bits and no-activate removed.
constexpr uint32_t NativeStyleMask = 0xFDFFFFF8;
constexpr int32_t DefaultPosition = -65535;

const WCHAR PropWindowId[] = TEXT("ZW_WindowID");
const WCHAR PropDropAccept[] = TEXT("ZW_DropAccept");

int ShowCommand(uint32_t style, bool noActivate) {
  if (style & WindowFlagMaximized) return noActivate ? SW_SHOWNA : SW_SHOWMAXIMIZED;
  if (style & WindowFlagMinimized) return noActivate ? SW_SHOWMINNOACTIVE : SW_SHOWMINIMIZED;
  return noActivate ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL;
}

// Drag and drop registrations live in ole32; when it is not loaded, no
// window can have been registered, so there is nothing to revoke.
void RevokeDrop(HWND window) {
  HMODULE ole = GetModuleHandleW(TEXT("ole32.dll"));
  if (ole == nullptr) return;
  using RevokeFn = HRESULT(WINAPI*)(HWND);
  auto revoke = ProcAs<RevokeFn>(GetProcAddress(ole, "RevokeDragDrop"));
  if (revoke != nullptr) revoke(window);
}

}  // namespace

void WindowClassName(WCHAR* buffer, ObjectId number) {
  static const WCHAR prefix[] = TEXT("WindowClass_");
  int n = 0;
  for (; prefix[n] != 0; ++n) buffer[n] = prefix[n];
  // Through the unsigned type so that the most negative value prints too.
  auto magnitude = static_cast<UINT_PTR>(number);
  if (number < 0) {
    buffer[n++] = '-';
    magnitude = 0 - magnitude;
  }
  WCHAR digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<WCHAR>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) buffer[n++] = digits[--count];
  buffer[n] = 0;
}

void WindowsInit() {
  WindowTable = ObjectTableNew(sizeof(WindowRecord), 16, WindowClose);
  WindowsThread = static_cast<WindowsThreadState*>(StateRecordNew(sizeof(WindowsThreadState), nullptr, nullptr));
  WindowsSpareState = StateRecordNew(92, nullptr, nullptr);
  WindowClassIcon = LoadIconW(Globals.instance, MAKEINTRESOURCEW(1));
  WindowClassCursor = LoadCursorW(nullptr, IDC_ARROW);
}

void WindowsEnd() {
  if (WindowTable != nullptr) ObjectFreeAll(WindowTable);
}

INT_PTR WindowOpen(ObjectId number, int32_t x, int32_t y, int32_t width, int32_t height, const WCHAR* title,
                   uint32_t flags) {
  if (WindowTable == nullptr) return 0;
  auto* record = static_cast<WindowRecord*>(ObjectAlloc(WindowTable, number));
  if (record == nullptr) return 0;
  const bool dynamic = number == ObjectAny;
  if (dynamic) number = reinterpret_cast<ObjectId>(record);

  WCHAR className[WindowClassNameSize];
  WindowClassName(className, number);
  if (title == nullptr) title = TEXT("");

  WNDCLASSW windowClass = {};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowClassProc;
  windowClass.hInstance = Globals.instance;
  windowClass.hIcon = WindowClassIcon;
  windowClass.hCursor = WindowClassCursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = className;
  // A failed registration shows as a failed creation below.
  RegisterClassW(&windowClass);

  const bool noControlParent = (flags & WindowFlagNoControlParent) != 0;
  uint32_t style = flags & ~WindowFlagNoControlParent;
  // A window with no style bits at all still gets a title bar.
  if ((style & ~(WindowFlagCentreScreen | WindowFlagCentreActive | WindowFlagHidden)) == 0) style |= StyleCaption;
  const bool hidden = (style & WindowFlagHidden) != 0;
  style &= ~WindowFlagHidden;
  const bool noActivate = (style & WindowFlagNoActivate) != 0;
  DWORD exStyle = 0;
  if (style & WindowFlagTool) {
    style &= ~(WindowFlagMinimized | WindowFlagMaximized | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    style |= StyleCaption;
    exStyle = WS_EX_TOOLWINDOW;
  }

  // The caller gives the client size; the frame is added around it.
  RECT outer = {0, 0, width, height};
  AdjustWindowRectEx(&outer, style & ~7u, FALSE, exStyle);

  if (x == DefaultPosition || (y == DefaultPosition && (flags & (WindowFlagCentreScreen | WindowFlagCentreActive)) == 0)) {
    x = CW_USEDEFAULT;
    y = CW_USEDEFAULT;
  }

  HWND window = CreateWindowExW(exStyle, className, title, style & NativeStyleMask, x, y, outer.right - outer.left,
                                outer.bottom - outer.top, nullptr, nullptr, Globals.instance, nullptr);
  record->window = window;
  if (window == nullptr) {
    UnregisterClassW(className, Globals.instance);
    ObjectFree(WindowTable, number);
    return 0;
  }

  if (flags & (WindowFlagCentreScreen | WindowFlagCentreActive)) WindowCentre(window, flags);
  if (!hidden) ShowWindow(window, ShowCommand(style, noActivate));
  record->minMaxState = (style & (WindowFlagMaximized | WindowFlagMinimized)) != 0 ? 1 : 0;

  record->accelCount = 2;
  record->accelEntries = static_cast<ACCEL*>(HeapAlloc(MainHeap, 0, 2 * sizeof(ACCEL)));
  if (record->accelEntries != nullptr) {
    record->accelEntries[0] = {FVIRTKEY | FNOINVERT, VK_TAB, CommandFocusNext};
    record->accelEntries[1] = {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, CommandFocusPrevious};
    record->accelTable = CreateAcceleratorTableW(record->accelEntries, 2);
  }
  record->reserved = -1;
  record->mdiClient = nullptr;

  if (!noControlParent) ControlParentSet(window);
  // Last: until now every message of the window found no number.
  SetPropW(window, PropWindowId, reinterpret_cast<HANDLE>(number + 1));
  return dynamic ? number : reinterpret_cast<INT_PTR>(window);
}

void WindowCentre(HWND window, uint32_t flags) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  int32_t w = rect.right - rect.left;
  int32_t h = rect.bottom - rect.top;
  int32_t x;
  int32_t y;
  if (flags & WindowFlagCentreScreen) {
    const int32_t sw = GetSystemMetrics(SM_CXSCREEN);
    const int32_t sh = GetSystemMetrics(SM_CYSCREEN);
    if (w > sw) w = sw;
    if (h > sh) h = sh;
    x = (sw - w) / 2;
    y = (sh - h) / 2;
  } else if (flags & WindowFlagCentreActive) {
    RECT reference;
    HWND active = GetActiveWindow();
    // Without a reference window the window keeps the position it was given.
    if (active == nullptr || !GetWindowRect(active, &reference)) return;
    x = (reference.right - reference.left - w) / 2 + reference.left;
    y = (reference.bottom - reference.top - h) / 2 + reference.top;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
  } else {
    return;
  }
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND WindowNativeHandle(ObjectId number) {
  if (WindowTable == nullptr) return nullptr;
  auto* record = static_cast<WindowRecord*>(ObjectGet(WindowTable, number));
  return record != nullptr ? record->window : nullptr;
}

int32_t WindowClose(ObjectId number) {
  if (WindowTable == nullptr) return 0;
  if (number == ObjectAny) {
    ObjectFreeAll(WindowTable);
    return 1;
  }
  auto* record = static_cast<WindowRecord*>(ObjectGet(WindowTable, number));
  if (record == nullptr) return 0;
  HWND window = record->window;

  HWND owner = GetWindow(window, GW_OWNER);
  if (owner != nullptr && record->mdiClient == nullptr) SetActiveWindow(owner);

  // The messages of the destruction below find no window number.
  RemovePropW(window, PropWindowId);
  if (RemovePropW(window, PropDropAccept) != nullptr) RevokeDrop(window);

  if (record->mdiClient != nullptr) {
    SendMessageW(record->mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
  } else {
    DestroyWindow(window);
    WCHAR className[WindowClassNameSize];
    WindowClassName(className, number);
    UnregisterClassW(className, Globals.instance);
  }
  if (record->accelEntries != nullptr) {
    HeapFree(MainHeap, 0, record->accelEntries);
    DestroyAcceleratorTable(record->accelTable);
  }
  if (record->backgroundBrush != nullptr) DeleteObject(record->backgroundBrush);
  EventPurgeWindow(number);
  BindingsPurgeWindow(number);
  ObjectFree(WindowTable, number);
  return 1;
}
