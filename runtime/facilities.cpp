#include "runtime/facilities.h"

#include <cstdint>
#include <cstring>

#include "runtime/runtime.h"

static_assert(sizeof(void*) != 4 || sizeof(ImageRecord) == 20, "image records are 20 bytes on 32-bit x86");
static_assert(sizeof(void*) != 4 || sizeof(ControlRecord) == 32, "control records are 32 bytes on 32-bit x86");
static_assert(sizeof(void*) != 4 || sizeof(ControlsState) == 80, "the controls state is 80 bytes on 32-bit x86");

// ---- images ---------------------------------------------------------------

ObjectTable* ImageTable;

int32_t ImageRelease(ObjectId id) {
  if (ImageTable == nullptr) return 0;
  if (id == ObjectAny) {
    ObjectFreeAll(ImageTable);
    return 1;
  }
  auto* image = static_cast<ImageRecord*>(ObjectGet(ImageTable, id));
  if (image == nullptr) return 0;
  if (GetObjectType(image->handle) == OBJ_BITMAP)
    DeleteObject(image->handle);
  else
    DestroyIcon(static_cast<HICON>(image->handle));
  ObjectFree(ImageTable, id);
  return 1;
}

BITMAPINFO DibInfo(int32_t width, int32_t height, WORD depth) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = depth;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

void* ImageLoad(ObjectId number, const void* data, int32_t size) {
  if (ImageTable == nullptr) return nullptr;
  int32_t width = 0, height = 0;
  uint32_t* decoded = ImageDecode(data, size, &width, &height);
  if (decoded == nullptr) return nullptr;
  BITMAPINFO info = DibInfo(width, -height, 32);
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  // Decoded rows are the section's rows: 32 bits, top first, no padding.
  if (bitmap != nullptr) std::memcpy(pixels, decoded, static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  HeapFree(MainHeap, 0, decoded);
  auto* record = bitmap != nullptr ? static_cast<ImageRecord*>(ObjectAlloc(ImageTable, number)) : nullptr;
  if (record == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    return nullptr;
  }
  record->handle = bitmap;
  record->width = static_cast<int16_t>(width);
  record->height = static_cast<int16_t>(height);
  record->depth = 32;
  return number == ObjectAny ? static_cast<void*>(record) : static_cast<void*>(bitmap);
}

void* ImageLoadFile(ObjectId number, const WCHAR* path) {
  if (ImageTable == nullptr || path == nullptr) return nullptr;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  void* image = nullptr;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= INT32_MAX) {
    const auto bytes = static_cast<DWORD>(size.QuadPart);
    void* data = HeapAlloc(MainHeap, 0, bytes);
    DWORD read = 0;
    // A file that shrank while being read is not taken half.
    if (data != nullptr && ReadFile(file, data, bytes, &read, nullptr) && read == bytes)
      image = ImageLoad(number, data, static_cast<int32_t>(bytes));
    if (data != nullptr) HeapFree(MainHeap, 0, data);
  }
  CloseHandle(file);
  return image;
}

void ImagesInit() { ImageTable = ObjectTableNew(sizeof(ImageRecord), 16, ImageRelease); }

void ImagesEnd() {
  if (ImageTable != nullptr) ObjectFreeAll(ImageTable);
}

// ---- image drawing --------------------------------------------------------

ImageDrawingState ImageDrawing;

using IsAppThemedFn = BOOL(WINAPI*)();

// Version of the common controls library as major << 16 | minor; 1 when it
// cannot be asked.
static int32_t CommonControlsVersion() {
  int32_t version = 1;
  HMODULE library = LoadLibraryW(TEXT("COMCTL32.DLL"));
  if (library == nullptr) return version;
  auto getVersion = ProcAs<DLLGETVERSIONPROC>(GetProcAddress(library, "DllGetVersion"));
  if (getVersion != nullptr) {
    DLLVERSIONINFO info = {};
    info.cbSize = 20;
    if (SUCCEEDED(getVersion(&info)))
      version = static_cast<int32_t>((info.dwMajorVersion & 0xFFFF) << 16 | (info.dwMinorVersion & 0xFFFF));
  }
  FreeLibrary(library);
  return version;
}

// Themes are on when the application is themed and the common controls are
// version 6 or later.
static int32_t ThemesActive() {
  const int32_t version = CommonControlsVersion();
  int32_t themed = 0;
  HMODULE library = LoadLibraryW(TEXT("uxtheme.dll"));
  if (library != nullptr) {
    auto isAppThemed = ProcAs<IsAppThemedFn>(GetProcAddress(library, "IsAppThemed"));
    themed = isAppThemed != nullptr && isAppThemed() != 0 && version >= 0x60000;
    FreeLibrary(library);
  }
  return themed;
}

void ImageDrawingInit() {
  ImageDrawing.msimg32 = LoadLibraryW(TEXT("msimg32.dll"));
  ImageDrawing.alphaBlend = nullptr;
  if (ImageDrawing.msimg32 != nullptr)
    ImageDrawing.alphaBlend = ProcAs<AlphaBlendFn>(GetProcAddress(ImageDrawing.msimg32, "AlphaBlend"));

  ImageDrawing.themed = 1;
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = 276;
  if (GetVersionExW(&version)) {
    // Windows 9x, NT before 5 and Windows 2000 have no visual themes.
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ||
        (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion < 5) ||
        (version.dwMajorVersion == 5 && version.dwMinorVersion == 0))
      ImageDrawing.themed = 0;
  }
  if (ImageDrawing.themed == 1) ImageDrawing.themed = ThemesActive();
}

void ImageDrawingEnd() {
  if (ImageDrawing.msimg32 != nullptr) FreeLibrary(ImageDrawing.msimg32);
  ImageDrawing.msimg32 = nullptr;
  ImageDrawing.alphaBlend = nullptr;
}

// ---- user-interface controls ----------------------------------------------

ObjectTable* ControlTable;
ControlsState* Controls;
CRITICAL_SECTION ControlsLock;
HGDIOBJ DefaultControlFont;

// Destroys a control's window; the record stays as it is.
int32_t ControlRelease(ObjectId id) {
  if (ControlTable == nullptr) return 0;
  if (id == ObjectAny) {
    ObjectFreeAll(ControlTable);
    return 1;
  }
  auto* control = static_cast<ControlRecord*>(ObjectGet(ControlTable, id));
  if (control == nullptr) return 0;
  DestroyWindow(control->window);
  return 1;
}

static void ControlsStateInit(void* record) {
  static_cast<ControlsState*>(record)->font = static_cast<HFONT>(DefaultControlFont);
}

static void ControlsStateEnd(void* record) {
  auto* state = static_cast<ControlsState*>(record);
  if (state->toolTip != nullptr) DestroyWindow(state->toolTip);
  state->toolTip = nullptr;
}

void ControlsInit() {
  InitializeCriticalSection(&ControlsLock);
  DefaultControlFont = GetStockObject(DEFAULT_GUI_FONT);
  ControlTable = ObjectTableNew(sizeof(ControlRecord), 50, ControlRelease);
  Controls = static_cast<ControlsState*>(StateRecordNew(sizeof(ControlsState), ControlsStateInit, ControlsStateEnd));
  INITCOMMONCONTROLSEX init = {};
  init.dwSize = sizeof init;
  init.dwICC = ICC_TAB_CLASSES | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES;
  InitCommonControlsEx(&init);
}

void ControlParentSet(HWND window) {
  if (Controls != nullptr) Controls->currentParent = window;
}

void ControlsEnd() {
  if (Controls != nullptr && Controls->toolTip != nullptr) DestroyWindow(Controls->toolTip);
}

// ---- keyboard and mouse ---------------------------------------------------

InputDevice Keyboard;
InputDevice Mouse;
SharedInput DirectInputShared;

// Drops one user of the shared input object; the last user releases it and
// unloads its library.
void SharedInputRelease() {
  if (DirectInputShared.users <= 0) return;
  DirectInputShared.users -= 1;
  if (DirectInputShared.users > 0) return;
  if (DirectInputShared.object != nullptr && DirectInputShared.release != nullptr)
    DirectInputShared.release(DirectInputShared.object);
  if (DirectInputShared.library != nullptr) FreeLibrary(DirectInputShared.library);
  DirectInputShared = {};
}

void KeyboardEnd() {
  if (Keyboard.device == nullptr) return;
  Keyboard.ops->unacquire(Keyboard.device);
  Keyboard.ops->release(Keyboard.device);
  Keyboard = {};
  SharedInputRelease();
}

void MouseEnd() {
  if (Mouse.device == nullptr) return;
  ClipCursor(nullptr);
  Mouse.ops->release(Mouse.device);
  Mouse = {};
  SharedInputRelease();
}
