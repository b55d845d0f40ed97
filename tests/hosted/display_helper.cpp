// A small program for the display tests, which run it with different
// CUBE_* environments (the display reads them once, at start). It opens a
// top-level window, creates a Direct3D 9 device on it and presents frames
// of a known picture, pumping messages after each, and prints what it saw:
//   d3d9 missing         the library could not be loaded (then it ends)
//   modes N / format F   display modes in the desktop format, and that format
//   client X Y           the window's client origin on the screen
//   escape N|none        presents done when Escape was first seen held
//   close N|none         presents done when WM_CLOSE first arrived
//   presents N           presents made
//   sdl-mapped 0|1       whether SDL2's library is mapped into the process
//   sleeps B:D ...       with --fake-clock: each retrace wait, as the clock
//                        before it and the deadline it slept to
// Arguments: FRAMES [--size W H] [--dest W H] [--fake-clock] [--title UTF-8]
// [--wait] [--exit-process]. --wait keeps presenting the last frame after
// "ready" until WM_CLOSE (then "close N") or until standard input closes,
// and says "escape-seen" as soon as Escape is held, and "activate 0|1",
// "keydown VK" and "paint" on each WM_ACTIVATEAPP, WM_KEYDOWN and WM_PAINT.
// --exit-process ends through ExitProcess, as the program does, instead of
// returning from main.
#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "hosted/hooks.h"
#include "platform.h"

namespace {

// The picture of frame k; the tests compute the same.
uint32_t Pattern(unsigned k, unsigned x, unsigned y) {
  return (((x * 7 + k * 13) & 0xFF) << 16) | (((y * 5 + k * 3) & 0xFF) << 8) | ((x ^ y ^ k) & 0xFF);
}

unsigned presents = 0;
long closeAt = -1;
bool waiting = false;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    if (closeAt < 0) closeAt = static_cast<long>(presents);
    return 0;
  }
  if (waiting) {
    if (message == WM_ACTIVATEAPP) std::printf("activate %d\n", wParam ? 1 : 0);
    if (message == WM_KEYDOWN) std::printf("keydown %u\n", static_cast<unsigned>(wParam));
    if (message == WM_PAINT) {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      std::printf("paint\n");
      std::fflush(stdout);
      return 0;
    }
    std::fflush(stdout);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

uint64_t fakeNow = 5000000;
std::vector<std::pair<uint64_t, uint64_t>> sleeps;
uint64_t FakeNow() { return fakeNow; }
void FakeSleepUntil(uint64_t deadline) {
  sleeps.emplace_back(fakeNow, deadline);
  if (deadline > fakeNow) fakeNow = deadline;
}

std::u16string Utf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t cp = c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra > 0) cp = c & (0x3F >> extra);
    for (int j = 1; j <= extra && i + j < text.size(); ++j) cp = (cp << 6) | (text[i + j] & 0x3F);
    i += 1 + extra;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Draw(IDirect3DDevice9* device, unsigned k, unsigned width, unsigned height) {
  IDirect3DSurface9* back = nullptr;
  if (device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) != D3D_OK) return;
  D3DSURFACE_DESC desc;
  D3DLOCKED_RECT locked;
  if (back->GetDesc(&desc) == D3D_OK && desc.Format == D3DFMT_X8R8G8B8 &&
      back->LockRect(&locked, nullptr, 0) == D3D_OK) {
    for (unsigned y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
      for (unsigned x = 0; x < width; ++x) row[x] = Pattern(k, x, y);
    }
    back->UnlockRect();
  }
  back->Release();
}

bool EscapeHeld() { return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0; }

bool SdlMapped() {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.find("libSDL2") != std::string::npos) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const unsigned frames = static_cast<unsigned>(std::atoi(argv[1]));
  unsigned width = 64, height = 48, destW = 0, destH = 0;
  bool fakeClock = false, wait = false, exitProcess = false;
  std::string title = "Display helper";
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--size" && i + 2 < argc) {
      width = static_cast<unsigned>(std::atoi(argv[++i]));
      height = static_cast<unsigned>(std::atoi(argv[++i]));
    } else if (a == "--dest" && i + 2 < argc) {
      destW = static_cast<unsigned>(std::atoi(argv[++i]));
      destH = static_cast<unsigned>(std::atoi(argv[++i]));
    } else if (a == "--fake-clock") {
      fakeClock = true;
    } else if (a == "--title" && i + 1 < argc) {
      title = argv[++i];
    } else if (a == "--wait") {
      wait = true;
    } else if (a == "--exit-process") {
      exitProcess = true;
    } else {
      return 2;
    }
  }
  if (fakeClock) hosted::SetClock(&FakeNow, &FakeSleepUntil);

  HMODULE module = LoadLibraryW(TEXT("d3d9.dll"));
  if (module == nullptr) {
    std::printf("d3d9 missing\n");
    return 0;
  }
  using CreateFn = IDirect3D9*(WINAPI*)(UINT);
  auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "Direct3DCreate9")));
  IDirect3D9* d3d = create != nullptr ? create(D3D_SDK_VERSION) : nullptr;
  if (d3d == nullptr) return 3;
  D3DDISPLAYMODE mode = {};
  d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
  const UINT modes = d3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, mode.Format);
  std::printf("modes %u\nformat %d\n", modes, static_cast<int>(mode.Format));
  if (modes == 0) {
    d3d->Release();
    return 0;
  }

  WNDCLASSW wc = {};
  wc.lpfnWndProc = Proc;
  wc.lpszClassName = TEXT("DisplayHelper");
  RegisterClassW(&wc);
  RECT r = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
  const std::u16string wideTitle = Utf16(title);
  HWND window = CreateWindowExW(0, TEXT("DisplayHelper"), reinterpret_cast<LPCWSTR>(wideTitle.c_str()),
                                WS_OVERLAPPEDWINDOW, 10, 20, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                nullptr, nullptr);
  if (window == nullptr) return 4;
  ShowWindow(window, SW_SHOWNORMAL);
  POINT client = {0, 0};
  ClientToScreen(window, &client);
  std::printf("client %ld %ld\n", static_cast<long>(client.x), static_cast<long>(client.y));

  D3DPRESENT_PARAMETERS params = {};
  params.BackBufferWidth = width;
  params.BackBufferHeight = height;
  params.BackBufferFormat = D3DFMT_UNKNOWN;
  params.BackBufferCount = 1;
  params.SwapEffect = D3DSWAPEFFECT_DISCARD;
  params.hDeviceWindow = window;
  params.Windowed = TRUE;
  params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
  IDirect3DDevice9* device = nullptr;
  if (d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                        &device) != D3D_OK)
    return 5;

  const RECT dest = {0, 0, static_cast<LONG>(destW), static_cast<LONG>(destH)};
  const RECT* destination = destW > 0 ? &dest : nullptr;
  long escapeAt = EscapeHeld() ? 0 : -1;
  // Work between presents that varies, some longer than a retrace period.
  static const uint64_t kWork[] = {1000, 5000, 17000, 40000};
  for (unsigned k = 0; k < frames; ++k) {
    Draw(device, k, width, height);
    if (fakeClock) fakeNow += kWork[k % 4];
    device->Present(nullptr, destination, nullptr, nullptr);
    ++presents;
    Pump();
    if (escapeAt < 0 && EscapeHeld()) escapeAt = static_cast<long>(presents);
  }
  if (wait) {
    waiting = true;
    std::printf("ready\n");
    std::fflush(stdout);
    // At most a minute; the test closes standard input when it is done.
    for (int i = 0; i < 6000 && closeAt < 0; ++i) {
      pollfd in = {STDIN_FILENO, POLLIN, 0};
      if (poll(&in, 1, 10) > 0) {
        char c;
        if (read(STDIN_FILENO, &c, 1) <= 0) break;
      }
      device->Present(nullptr, destination, nullptr, nullptr);
      Pump();
      if (escapeAt < 0 && EscapeHeld()) {
        escapeAt = static_cast<long>(presents);
        std::printf("escape-seen\n");
        std::fflush(stdout);
      }
    }
  }
  escapeAt >= 0 ? std::printf("escape %ld\n", escapeAt) : std::printf("escape none\n");
  closeAt >= 0 ? std::printf("close %ld\n", closeAt) : std::printf("close none\n");
  std::printf("presents %u\n", presents);
  std::printf("sdl-mapped %d\n", SdlMapped() ? 1 : 0);
  if (fakeClock) {
    std::printf("sleeps");
    for (auto [before, deadline] : sleeps)
      std::printf(" %llu:%llu", static_cast<unsigned long long>(before), static_cast<unsigned long long>(deadline));
    std::printf("\n");
  }
  device->Release();
  d3d->Release();
  DestroyWindow(window);
  if (exitProcess) ExitProcess(0);
  return 0;
}
