// One headless present of the screen's 640 x 480 32-bit back buffer, beside
// a plain copy of the same frame: what a frame costs the substitute above
// the copy any display needs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "hosted/hooks.h"
#include "platform.h"

namespace {

constexpr int Width = 640;
constexpr int Height = 480;

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

// A 640 x 480 child window and a device on it as the screen makes it, but
// presenting at once instead of on the retrace.
struct Screen {
  HWND parent = nullptr;
  HWND child = nullptr;
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;

  Screen() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = instance;
    wc.lpszClassName = TEXT("PresentBench");
    RegisterClassW(&wc);
    parent = CreateWindowExW(0, TEXT("PresentBench"), TEXT("bench"), WS_OVERLAPPEDWINDOW, 0, 0, 700, 560, nullptr,
                             nullptr, instance, nullptr);
    child = CreateWindowExW(0, TEXT("PresentBench"), TEXT(""), WS_CHILD | WS_VISIBLE, 0, 0, Width, Height, parent,
                            nullptr, instance, nullptr);
    HMODULE module = LoadLibraryW(TEXT("d3d9.dll"));
    using CreateFn = IDirect3D9*(WINAPI*)(UINT);
    auto create = module ? reinterpret_cast<CreateFn>(
                               reinterpret_cast<void (*)()>(GetProcAddress(module, "Direct3DCreate9")))
                         : nullptr;
    d3d = create ? create(D3D_SDK_VERSION) : nullptr;
    if (!d3d || !child) return;
    D3DPRESENT_PARAMETERS p;
    std::memset(&p, 0, sizeof p);
    p.BackBufferWidth = Width;
    p.BackBufferHeight = Height;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    p.hDeviceWindow = child;
    p.Windowed = TRUE;
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if (d3d->CreateDevice(0, D3DDEVTYPE_HAL, child, 0x42, &p, &device) != D3D_OK) device = nullptr;
    // A picture that is not all one value, so nothing can be skipped.
    IDirect3DSurface9* surface = nullptr;
    D3DLOCKED_RECT locked = {};
    if (device && device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface) == D3D_OK &&
        surface->LockRect(&locked, nullptr, 0) == D3D_OK) {
      for (int y = 0; y < Height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < Width; ++x) row[x] = static_cast<uint32_t>(x * 7 + y * 13) * 0x010203u;
      }
      surface->UnlockRect();
    }
    if (surface) surface->Release();
  }
  ~Screen() {
    if (device) device->Release();
    if (d3d) d3d->Release();
    if (parent) DestroyWindow(parent);
    UnregisterClassW(TEXT("PresentBench"), GetModuleHandleW(nullptr));
  }
};

// Argument 0: as the program presents (the display takes the back buffer's
// rows); 1: as under test, the picture kept for reading back (one copy).
void BM_PresentHeadless640x480X8R8G8B8(benchmark::State& state) {
  hosted::KeepD3D9Pictures(state.range(0) != 0);
  Screen screen;
  if (!screen.device) {
    state.SkipWithError("no device");
    return;
  }
  RECT source = {0, 0, Width, Height};
  RECT destination = {0, 0, Width, Height};
  for (auto _ : state) {
    HRESULT hr = screen.device->Present(&source, &destination, nullptr, nullptr);
    benchmark::DoNotOptimize(hr);
    if (hr != D3D_OK) {
      state.SkipWithError("present failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Width * Height * 4);
  hosted::KeepD3D9Pictures(false);
}
BENCHMARK(BM_PresentHeadless640x480X8R8G8B8)->Arg(0)->Arg(1);

// Baseline: one copy of the same frame.
void BM_MemcpyFrame640x480x4(benchmark::State& state) {
  std::vector<uint32_t> from(Width * Height, 0x00123456u);
  std::vector<uint32_t> to(Width * Height);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size() * 4);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Width * Height * 4);
}
BENCHMARK(BM_MemcpyFrame640x480x4);

}  // namespace
