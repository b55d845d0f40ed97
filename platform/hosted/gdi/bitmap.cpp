// Bitmaps: DIB sections whose pixels we allocate, and the stock 1x1 bitmap
// a memory DC starts with. A bitmap is what a memory DC draws into.
#include <cstdlib>

#include "internal.h"

namespace gdi {
namespace {

HGDIOBJ SelectBitmap(HGDIOBJ handle, Dc& dc) {
  // Only a memory DC draws into a bitmap, and a bitmap into one DC at a time.
  if (!dc.memory) return nullptr;
  if (handle == dc.bitmap) return handle;
  const Entry* entry = Lookup(handle);
  if (!entry->stock && entry->selectCount > 0) return nullptr;
  dc.target = static_cast<const BitmapObject*>(entry->object)->bits;
  return Swap(dc.bitmap, handle);
}

bool DestroyBitmap(HGDIOBJ handle) {
  auto* bitmap = static_cast<BitmapObject*>(Free(handle));
  if (bitmap != nullptr) std::free(bitmap->owned);
  delete bitmap;
  return true;
}

int DescribeBitmap(HGDIOBJ handle, int size, void* buffer) {
  const BitmapObject* bitmap = Get<BitmapObject>(handle, OBJ_BITMAP);
  // The stock bitmap is Windows' 1x1 monochrome one.
  BITMAP description = {0, 1, 1, 2, 1, 1, nullptr};
  if (bitmap->owned != nullptr) {
    const Bitmap& b = bitmap->bits;
    const WORD depth = b.format == PixelFormat::X8R8G8B8 ? 32 : 16;
    description = {0, b.width, b.height, b.pitch < 0 ? -b.pitch : b.pitch, 1, depth, bitmap->owned};
  }
  // A DIB section's DIBSECTION, for buffers that large, is not described
  // yet: they get the BITMAP.
  return DescribeWhole(description, size, buffer);
}

const ObjectFuncs kBitmapFuncs = {SelectBitmap, DestroyBitmap, DescribeBitmap};

}  // namespace

HGDIOBJ DefaultBitmap() {
  // Nothing draws into it: its description has no pixels.
  static const HGDIOBJ handle = MakeStock(NewObject(OBJ_BITMAP, kBitmapFuncs, BitmapObject{}));
  return handle;
}

}  // namespace gdi

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
  if (bits != nullptr) *bits = nullptr;
  if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1) return nullptr;
  gdi::PixelFormat format;
  if (h.biBitCount == 32 && h.biCompression == BI_RGB) {
    format = gdi::PixelFormat::X8R8G8B8;
  } else if (h.biBitCount == 16 && h.biCompression == BI_RGB) {
    format = gdi::PixelFormat::X1R5G5B5;
  } else if (h.biBitCount == 16 && h.biCompression == BI_BITFIELDS) {
    // The masks follow the header.
    const DWORD* masks = reinterpret_cast<const DWORD*>(info->bmiColors);
    if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
      format = gdi::PixelFormat::R5G6B5;
    } else if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) {
      format = gdi::PixelFormat::X1R5G5B5;
    } else {
      return nullptr;
    }
  } else {
    return nullptr;
  }
  const long long width = h.biWidth;
  const long long rows = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  const long long stride = (width * h.biBitCount + 31) / 32 * 4;
  if (stride * rows > 0x40000000LL) return nullptr;
  // DIB sections start zeroed.
  void* memory = std::calloc(static_cast<size_t>(stride * rows), 1);
  if (memory == nullptr) return nullptr;
  // Bottom-up rows: the top row is the last one in memory.
  const bool bottomUp = h.biHeight > 0;
  const gdi::Bitmap description = {static_cast<BYTE*>(memory) + (bottomUp ? stride * (rows - 1) : 0),
                                   static_cast<int>(width), static_cast<int>(rows),
                                   static_cast<int>(bottomUp ? -stride : stride), format};
  HGDIOBJ handle = gdi::NewObject(OBJ_BITMAP, gdi::kBitmapFuncs, gdi::BitmapObject{description, memory});
  if (handle == nullptr) {
    std::free(memory);
    return nullptr;
  }
  if (bits != nullptr) *bits = memory;
  return static_cast<HBITMAP>(handle);
}
