// What the display's start-up configures in the other parts of the
// substitute before the program's first call (see display/start.cpp).
// Tests reach the same functions through hosted/hooks.h.
#pragma once

#include "platform.h"

namespace hosted {

// The named built-in module cannot be loaded, as if its DLL were not
// installed.
void SetModuleMissing(const char* name, bool missing);
// The adapter's desktop format, and the depth of the display's own bitmaps
// that goes with it (32, or 16 for either 16-bit format).
void SetD3D9DesktopFormat(D3DFORMAT format);
int DisplayDepth();
// The adapter reports no display modes: there is no display to show on.
void SetD3D9ZeroModes(bool zero);

}  // namespace hosted
