// The presentation parameters the screen uses, for tests that make devices
// themselves.
#pragma once

#include <cstring>

#include "platform.h"

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
