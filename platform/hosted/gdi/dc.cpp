// Device contexts: over a surface's memory, or memory DCs that draw into the
// DIB section selected into them. Both carry the same drawing state.
#include <cstdlib>

#include "internal.h"

namespace gdi {
namespace {

HDC NewDc(const Bitmap& target, bool memory) {
  Object object;
  object.type = memory ? OBJ_MEMDC : OBJ_DC;
  object.dc = new Dc;
  object.dc->target = target;
  object.dc->memory = memory;
  object.dc->brush = GetStockObject(WHITE_BRUSH);
  object.dc->pen = GetStockObject(BLACK_PEN);
  object.dc->font = GetStockObject(SYSTEM_FONT);
  if (memory) object.dc->bitmap = DefaultBitmap();
  HGDIOBJ handle = Allocate(object);
  if (handle == nullptr) {
    delete object.dc;
    return nullptr;
  }
  Retain(object.dc->brush);
  Retain(object.dc->pen);
  Retain(object.dc->font);
  if (memory) Retain(object.dc->bitmap);
  return static_cast<HDC>(handle);
}

bool EndDc(HDC handle, DWORD type) {
  Object* object = Lookup(handle, type);
  if (object == nullptr) return false;
  Dc* dc = object->dc;
  // What the DC still holds is let go, so objects deleted while selected go now.
  const HGDIOBJ held[] = {dc->brush, dc->pen, dc->font, dc->bitmap};
  Free(handle);
  for (HGDIOBJ h : held)
    if (h != nullptr) Release(h);
  return true;
}

bool Usable(const Bitmap& b) {
  const int bytes = b.format == PixelFormat::X8R8G8B8 ? 4 : 2;
  return b.bits != nullptr && b.width > 0 && b.height > 0 && (b.pitch >= b.width * bytes || -b.pitch >= b.width * bytes);
}

}  // namespace

HDC CreateSurfaceDC(const Bitmap& target) {
  if (!Usable(target)) return nullptr;
  return NewDc(target, false);
}

bool DeleteSurfaceDC(HDC dc) { return EndDc(dc, OBJ_DC); }

}  // namespace gdi

HDC WINAPI CreateCompatibleDC(HDC) { return gdi::NewDc(gdi::Bitmap{}, true); }

BOOL WINAPI DeleteDC(HDC dc) { return gdi::EndDc(dc, OBJ_MEMDC) ? TRUE : FALSE; }

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
  gdi::Object bitmap;
  bitmap.type = OBJ_BITMAP;
  bitmap.owned = memory;
  // Bottom-up rows: the top row is the last one in memory.
  const bool bottomUp = h.biHeight > 0;
  bitmap.bitmap = {static_cast<BYTE*>(memory) + (bottomUp ? stride * (rows - 1) : 0), static_cast<int>(width),
                   static_cast<int>(rows), static_cast<int>(bottomUp ? -stride : stride), format};
  HGDIOBJ handle = gdi::Allocate(bitmap);
  if (handle == nullptr) {
    std::free(memory);
    return nullptr;
  }
  if (bits != nullptr) *bits = memory;
  return static_cast<HBITMAP>(handle);
}

namespace {

// One state word of a DC set to value; the previous value, or failure when
// the DC is not a DC or the value is refused.
template <typename T>
T SwapState(HDC handle, T gdi::Dc::*field, T value, T failure, bool valid = true) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr || !valid) return failure;
  const T previous = dc->*field;
  dc->*field = value;
  return previous;
}

}  // namespace

COLORREF WINAPI SetTextColor(HDC handle, COLORREF color) {
  return SwapState(handle, &gdi::Dc::textColor, color, static_cast<COLORREF>(CLR_INVALID));
}

COLORREF WINAPI SetBkColor(HDC handle, COLORREF color) {
  return SwapState(handle, &gdi::Dc::bkColor, color, static_cast<COLORREF>(CLR_INVALID));
}

int WINAPI SetBkMode(HDC handle, int mode) {
  return SwapState(handle, &gdi::Dc::bkMode, mode, 0, mode == TRANSPARENT || mode == OPAQUE);
}

int WINAPI SetROP2(HDC handle, int rop) {
  return SwapState(handle, &gdi::Dc::rop2, rop, 0, rop >= R2_BLACK && rop <= R2_WHITE);
}

UINT WINAPI SetTextAlign(HDC handle, UINT align) {
  return SwapState(handle, &gdi::Dc::textAlign, align, static_cast<UINT>(GDI_ERROR));
}
