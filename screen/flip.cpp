#include "screen/screen.h"

namespace {

// How long a lost device is waited for before presenting is given up.
constexpr DWORD kLostDeviceWaitMs = 32;

int32_t GiveUp() {
  Screen.deviceActive = 0;
  return 0;
}

}  // namespace

int32_t ScreenFlip() {
  // Without a windowed screen nobody else retrieves messages for the base
  // window; with one, the program's own event poll is the only retrieval.
  if (Screen.windowed == 0) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  // A closed screen keeps deviceActive as it was; its device is gone.
  if (Screen.deviceActive == 0 || Screen.device == nullptr) return 1;

  HRESULT hr = Screen.device->TestCooperativeLevel();
  if (hr == D3DERR_DRIVERINTERNALERROR) return GiveUp();
  if (hr == D3DERR_DEVICELOST) {
    const DWORD start = GetTickCount();
    for (;;) {
      Sleep(1);
      hr = Screen.device->TestCooperativeLevel();
      if (hr == D3DERR_DRIVERINTERNALERROR) return GiveUp();
      if (hr == D3DERR_DEVICENOTRESET || hr == D3D_OK) break;
      // Unsigned, so that a wrap of the tick counter still measures right.
      if (GetTickCount() - start >= kLostDeviceWaitMs) break;
    }
    if (hr == D3DERR_DEVICELOST) return GiveUp();
  }
  if (hr == D3DERR_DEVICENOTRESET) {
    // Direct3D 9 refuses to reset a device while the program still holds
    // its back buffer, so the reference goes first.
    if (Screen.backBuffer != nullptr) Screen.backBuffer->Release();
    Screen.backBuffer = nullptr;
    if (FAILED(Screen.device->Reset(&Screen.presentParams))) return GiveUp();
    Screen.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &Screen.backBuffer);
  }

  if (Screen.windowed == 1) {
    RECT source = {0, 0, Screen.screenWidth, Screen.screenHeight};
    RECT destination{};
    GetClientRect(Screen.childWindow, &destination);
    hr = Screen.device->Present(&source, &destination, nullptr, nullptr);
  } else {
    hr = Screen.device->Present(nullptr, nullptr, nullptr, nullptr);
  }
  Screen.deviceActive = hr == D3D_OK ? 1 : 0;
  return 1;
}
