#include "screen/screen.h"

#include "drawing/context.h"
#include "runtime/runtime.h"

ScreenState Screen;

static_assert(sizeof(void*) != 4 || sizeof(SpriteRecord) == 168, "sprite records are 168 bytes on 32-bit x86");

namespace {

using Direct3DCreate9Fn = IDirect3D9*(WINAPI*)(UINT sdkVersion);

const WCHAR* const kBaseClassName = TEXT("MultimediaBase Class");
const WCHAR* const kSubclassedMark = TEXT("zw_dxsize");

// Set by a successful ScreenSystemInit: the end step then has something to
// release.
bool systemEndArmed;

void MakeBaseWindow() {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof(WNDCLASSEXW);
  cls.style = CS_DBLCLKS;
  cls.lpfnWndProc = BaseWindowProc;
  cls.hInstance = Globals.instance;
  // The program has no icon resource, so the class gets none.
  cls.hIcon = LoadIconW(Globals.instance, MAKEINTRESOURCEW(1));
  cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  cls.lpszClassName = kBaseClassName;
  if (RegisterClassExW(&cls) == 0) return;
  Screen.baseWindow = CreateWindowExW(0, kBaseClassName, TEXT(""), WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      Globals.instance, nullptr);
  if (Screen.baseWindow != nullptr) Screen.baseWindowReady = 1;
}

// The failure road of an open: sprites go, everything recorded so far stays.
int32_t OpenFailed() {
  ObjectFreeAll(Screen.spriteTable);
  return 0;
}

WNDPROC Subclass(HWND window, WNDPROC procedure) {
  return reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

}  // namespace

int32_t ScreenFormatDepth(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R8G8B8:
      return 24;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_G16R16:
      return 32;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_X4R4G4B4:
      return 16;
    case D3DFMT_R3G3B2:
    case D3DFMT_A8:
      return 8;
    case D3DFMT_A16B16G16R16:
      return 64;
    default:
      return 0;
  }
}

// Only the layouts the drawing layer writes exactly as the device stores
// them; every other format (A8B8G8R8 among them: red and blue swapped) is
// drawn through the device context.
int32_t ScreenFormatCode(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_X8R8G8B8:
      return PixelFormat8888;
    case D3DFMT_R5G6B5:
      return PixelFormat565;
    case D3DFMT_X1R5G5B5:
      return PixelFormat555;
    default:
      return PixelFormatNone;
  }
}

ObjectTable* ScreenSystemInit() {
  if (Screen.spriteTable != nullptr) return Screen.spriteTable;
  if (Screen.baseWindowReady == 0 && Screen.parentWindow == nullptr) MakeBaseWindow();
  if (Screen.baseWindowReady == 0) return nullptr;

  // The library stays loaded for the life of the process.
  HMODULE library = LoadLibraryW(TEXT("d3d9.dll"));
  if (library == nullptr) return nullptr;
  auto create = ProcAs<Direct3DCreate9Fn>(GetProcAddress(library, "Direct3DCreate9"));
  if (create == nullptr) return nullptr;
  Screen.d3d = create(D3D_SDK_VERSION);
  if (Screen.d3d == nullptr) return nullptr;

  // Any of the three desktop formats will do.
  const int32_t modes = static_cast<int32_t>(Screen.d3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X1R5G5B5) +
                                             Screen.d3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_R5G6B5) +
                                             Screen.d3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8));
  if (modes <= 0) {
    Screen.d3d->Release();
    Screen.d3d = nullptr;
    return nullptr;
  }
  Screen.spriteTable = ObjectTableNew(sizeof(SpriteRecord), 64, SpriteRelease);
  if (Screen.spriteTable == nullptr) {
    // Without the table the facility is not initialised; a later call
    // starts again and must not leak this interface.
    Screen.d3d->Release();
    Screen.d3d = nullptr;
    return nullptr;
  }
  systemEndArmed = true;
  return Screen.spriteTable;
}

LRESULT CALLBACK BaseWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
  switch (message) {
    case WM_ACTIVATE:
      if (Screen.windowed == 0) Screen.deviceActive = LOWORD(first) != 0 ? 1 : 0;
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 1;
    }
    case WM_CLOSE:
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return 0;
    default:
      return DefWindowProcW(window, message, first, second);
  }
}

int32_t SpriteRelease(ObjectId id) {
  if (Screen.spriteTable == nullptr) return 0;
  if (id == ObjectAny) {
    ObjectFreeAll(Screen.spriteTable);
    return 1;
  }
  auto* sprite = static_cast<SpriteRecord*>(ObjectGet(Screen.spriteTable, id));
  if (sprite == nullptr) return 0;
  sprite->texture->Release();
  if (sprite->pixels != nullptr) HeapFree(MainHeap, 0, sprite->pixels);
  ObjectFree(Screen.spriteTable, id);
  return 1;
}

void ScreenClose() {
  if (Screen.screenOpen == 0) return;
  ObjectFreeAll(Screen.spriteTable);
  if (Screen.device != nullptr) {
    if (Screen.backBuffer != nullptr) Screen.backBuffer->Release();
    Screen.device->Release();
    Screen.backBuffer = nullptr;
    Screen.device = nullptr;
  }
  Screen.screenWidth = 0;
  Screen.screenHeight = 0;
  Screen.screenDepth = 0;
  if (Screen.windowed == 1) {
    Screen.windowed = 0;
    DestroyWindow(Screen.childWindow);
    Screen.childWindow = nullptr;
    // The parent repaints where the picture was.
    InvalidateRect(Screen.parentWindow, nullptr, TRUE);
  }
  Screen.screenOpen = 0;
}

void ScreenSystemEnd() {
  if (!systemEndArmed) return;
  ScreenClose();
  Screen.d3d->Release();
  Screen.d3d = nullptr;
  // The table lives in MainHeap, which goes right after the end steps.
  Screen.spriteTable = nullptr;
  systemEndArmed = false;
}

// An extra library of the screen facility: nothing in this system loads it,
// so the handle stays null and the step frees nothing.
static HMODULE screenExtraLibrary;

void ScreenLibraryEnd() {
  if (screenExtraLibrary != nullptr) {
    FreeLibrary(screenExtraLibrary);
    screenExtraLibrary = nullptr;
  }
}

int32_t ScreenOpenInWindow(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t autoStretch,
                           int32_t rightOffset, int32_t bottomOffset) {
  return ScreenOpenInWindowEx(parent, x, y, width, height, autoStretch, rightOffset, bottomOffset, 1);
}

int32_t ScreenOpenInWindowEx(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t autoStretch,
                             int32_t rightOffset, int32_t bottomOffset, int32_t waitVsync) {
  ScreenClose();
  // Without the screen system there is no device to make: refused before
  // anything is made or recorded, so nothing is left behind.
  if (parent == nullptr || Screen.d3d == nullptr) return OpenFailed();

  Screen.screenX = x;
  Screen.screenY = y;
  Screen.rightOffset = rightOffset;
  Screen.bottomOffset = bottomOffset;
  Screen.autoStretch = autoStretch;
  Screen.windowed = 1;
  Screen.parentWindow = parent;
  Screen.screenWidth = width;
  Screen.screenHeight = height;
  Screen.screenDepth = 0;

  Screen.childWindow = CreateWindowExW(0, TEXT("STATIC"), TEXT(""), WS_CHILD | WS_VISIBLE, x, y, width, height,
                                       parent, nullptr, Globals.instance, nullptr);
  if (Screen.childWindow == nullptr) return OpenFailed();
  ScreenFitChild();
  Screen.oldChildProc = Subclass(Screen.childWindow, ChildWindowProc);

  D3DPRESENT_PARAMETERS& params = Screen.presentParams;
  params = D3DPRESENT_PARAMETERS{};
  params.BackBufferWidth = static_cast<UINT>(width);
  params.BackBufferHeight = static_cast<UINT>(height);
  D3DDISPLAYMODE desktop{};
  if (FAILED(Screen.d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop))) return OpenFailed();
  params.BackBufferFormat = desktop.Format;
  params.BackBufferCount = 1;
  params.SwapEffect = D3DSWAPEFFECT_COPY;
  params.hDeviceWindow = Screen.childWindow;
  params.Windowed = TRUE;
  params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  params.PresentationInterval = waitVsync != 0 ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;

  D3DCAPS9 caps{};
  if (FAILED(Screen.d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps))) return OpenFailed();
  // FPU_PRESERVE keeps the device away from the thread's float precision.
  const DWORD behaviour = (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0
                              ? D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE
                              : D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
  if (FAILED(Screen.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Screen.childWindow, behaviour, &params,
                                      &Screen.device))) {
    Screen.device = nullptr;
    return OpenFailed();
  }

  // A format without a layout of its own must not inherit the last
  // screen's: direct writes in it would land in the wrong channels.
  Screen.pixelFormatCode = ScreenFormatCode(params.BackBufferFormat);
  Screen.screenDepth = ScreenFormatDepth(params.BackBufferFormat);
  Screen.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &Screen.backBuffer);
  Screen.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0.0f, 0);

  // The mark keeps a second screen in the same window from subclassing it
  // twice.
  if (GetPropW(parent, kSubclassedMark) == nullptr) {
    Screen.oldParentProc = Subclass(parent, ParentWindowProc);
    SetPropW(parent, kSubclassedMark, reinterpret_cast<HANDLE>(1));
  }

  Screen.device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  Screen.device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  Screen.device->SetSoftwareVertexProcessing(FALSE);
  Screen.device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  Screen.device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
  Screen.device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);

  Screen.screenOpen = 1;
  Screen.deviceActive = 1;
  return 1;
}

void ScreenFitChild() {
  if (Screen.autoStretch == 0 || Screen.childWindow == nullptr) return;
  RECT client{};
  GetClientRect(Screen.parentWindow, &client);
  SetWindowPos(Screen.childWindow, nullptr, 0, 0, client.right - Screen.rightOffset - Screen.screenX,
               client.bottom - Screen.bottomOffset - Screen.screenY,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER);
}

LRESULT CALLBACK ChildWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (Screen.screenOpen == 1) {
    if (message == WM_PAINT) {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      if (Screen.screenWidth != 0) ScreenFlip();
      return 0;
    }
    // Never erase over the presented picture.
    if (message == WM_ERASEBKGND) return 1;
  }
  return CallWindowProcW(Screen.oldChildProc, window, message, first, second);
}

LRESULT CALLBACK ParentWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (Screen.screenOpen == 1 && message == WM_SIZE) {
    ScreenFitChild();
    if (Screen.screenWidth != 0) ScreenFlip();
  }
  return CallWindowProcW(Screen.oldParentProc, window, message, first, second);
}
