// Device contexts over memory the caller owns: how a Direct3D surface hands
// out a device context whose drawing lands in its pixels.
#pragma once

#include "platform.h"
#include "raster.h"

namespace gdi {

// A device context that draws into target until it is deleted; null when
// the description is unusable. The memory stays the caller's.
HDC CreateSurfaceDC(const Bitmap& target);
// Ends such a device context; false for any other handle.
bool DeleteSurfaceDC(HDC dc);

}  // namespace gdi
