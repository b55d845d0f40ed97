// Device contexts over memory the caller owns: how a Direct3D surface hands
// out a device context whose drawing lands in its pixels.
#pragma once

#include "platform.h"

namespace gdi {

enum class PixelFormat { X8R8G8B8, R5G6B5, X1R5G5B5 };

// A bitmap description: pure data, as the rasteriser sees it.
struct Bitmap {
  void* bits;  // first (top) row
  int width;
  int height;
  int pitch;  // bytes from one row to the next
  PixelFormat format;
};

// A device context that draws into target until it is deleted; null when
// the description is unusable. The memory stays the caller's.
HDC CreateSurfaceDC(const Bitmap& target);
// Ends such a device context; false for any other handle.
bool DeleteSurfaceDC(HDC dc);

}  // namespace gdi
