// Direct3D 9 as the screen loads it, and the presentation parameters it
// uses, for tests that make devices themselves.
#pragma once

#include <cstring>

#include "platform.h"

// Direct3DCreate9 from "d3d9.dll", loaded at run time; null when the
// library or the call is missing.
inline IDirect3D9* CreateDirect3D9() {
  HMODULE module = LoadLibraryW(TEXT("d3d9.dll"));
  if (!module) return nullptr;
  using CreateFn = IDirect3D9*(WINAPI*)(UINT);
  auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "Direct3DCreate9")));
  return create ? create(D3D_SDK_VERSION) : nullptr;
}

inline D3DPRESENT_PARAMETERS WindowedParameters(HWND window, D3DFORMAT format,
                                                UINT interval = D3DPRESENT_INTERVAL_IMMEDIATE) {
  D3DPRESENT_PARAMETERS p;
  std::memset(&p, 0, sizeof p);
  p.BackBufferWidth = 640;
  p.BackBufferHeight = 480;
  p.BackBufferFormat = format;
  p.BackBufferCount = 1;
  p.SwapEffect = D3DSWAPEFFECT_COPY;
  p.hDeviceWindow = window;
  p.Windowed = TRUE;
  p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  p.PresentationInterval = interval;
  return p;
}
