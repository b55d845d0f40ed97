// Device contexts: over a surface's memory, or memory DCs that draw into the
// DIB section selected into them. Both carry the same drawing state.
#include <algorithm>

#include "internal.h"
#include "surface.h"

namespace gdi {
namespace {

// A DC ends by DeleteDC (memory DCs) or by its surface (surface DCs); what
// it still holds is let go, so objects deleted while selected go now.
bool EndDc(HDC handle, DWORD type) {
  Dc* dc = Get<Dc>(handle, type);
  if (dc == nullptr) return false;
  const HGDIOBJ held[] = {dc->brush, dc->pen, dc->font, dc->bitmap};
  delete static_cast<Dc*>(Free(handle));
  for (HGDIOBJ h : held)
    if (h != nullptr) Release(h);
  return true;
}

// A DC is never selected into another; DeleteObject ends only memory DCs.
const ObjectFuncs kDcFuncs = {
    [](HGDIOBJ, Dc&) -> HGDIOBJ { return nullptr; },
    [](HGDIOBJ handle) { return EndDc(static_cast<HDC>(handle), OBJ_MEMDC); },
    nullptr,
};

HDC NewDc(const Bitmap& target, bool memory) {
  Dc dc;
  dc.target = target;
  dc.memory = memory;
  dc.brush = GetStockObject(WHITE_BRUSH);
  dc.pen = GetStockObject(BLACK_PEN);
  dc.font = GetStockObject(SYSTEM_FONT);
  if (memory) dc.bitmap = DefaultBitmap();
  HGDIOBJ handle = NewObject(memory ? OBJ_MEMDC : OBJ_DC, kDcFuncs, dc);
  if (handle == nullptr) return nullptr;
  for (HGDIOBJ held : {dc.brush, dc.pen, dc.font, dc.bitmap})
    if (held != nullptr) Retain(held);
  return static_cast<HDC>(handle);
}

bool Usable(const Bitmap& b) {
  const int bytes = BytesPerPixel(b.format);
  return b.bits != nullptr && b.width > 0 && b.height > 0 && (b.pitch >= b.width * bytes || -b.pitch >= b.width * bytes);
}

}  // namespace

Dc* LookupDc(HDC handle) {
  Entry* entry = Lookup(handle);
  if (entry == nullptr || (entry->type != OBJ_DC && entry->type != OBJ_MEMDC)) return nullptr;
  return static_cast<Dc*>(entry->object);
}

HDC CreateSurfaceDC(const Bitmap& target) {
  if (!Usable(target)) return nullptr;
  return NewDc(target, false);
}

bool DeleteSurfaceDC(HDC dc) { return EndDc(dc, OBJ_DC); }

}  // namespace gdi

HDC WINAPI CreateCompatibleDC(HDC) { return gdi::NewDc(gdi::Bitmap{}, true); }

BOOL WINAPI DeleteDC(HDC dc) { return gdi::EndDc(dc, OBJ_MEMDC) ? TRUE : FALSE; }

HGDIOBJ WINAPI SelectObject(HDC dcHandle, HGDIOBJ handle) {
  gdi::Dc* dc = gdi::LookupDc(dcHandle);
  gdi::Entry* entry = gdi::Lookup(handle);
  if (dc == nullptr || entry == nullptr || entry->deletePending) return nullptr;
  return entry->funcs->select(handle, *dc);
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

BOOL WINAPI SetBrushOrgEx(HDC handle, int x, int y, LPPOINT previous) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr) return FALSE;
  if (previous != nullptr) *previous = dc->brushOrigin;
  dc->brushOrigin = {x, y};
  return TRUE;
}

int WINAPI IntersectClipRect(HDC handle, int left, int top, int right, int bottom) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr) return ERROR;
  RECT box = {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  if (dc->clipped) {
    box = {std::max(box.left, dc->clipBox.left), std::max(box.top, dc->clipBox.top),
           std::min(box.right, dc->clipBox.right), std::min(box.bottom, dc->clipBox.bottom)};
  }
  dc->clipped = true;
  dc->clipBox = box;
  return box.left < box.right && box.top < box.bottom ? SIMPLEREGION : NULLREGION;
}

// Only the whole surface (no region) can be selected: there are no region
// objects to select.
int WINAPI SelectClipRgn(HDC handle, HRGN region) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr || region != nullptr) return ERROR;
  dc->clipped = false;
  return SIMPLEREGION;
}
