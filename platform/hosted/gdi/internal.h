// What the gdi files share: the handle table, the device-context record and
// the rasteriser's entry points.
#pragma once

#include <cstdint>

#include "platform.h"
#include "surface.h"

namespace gdi {

struct Dc;

// One live object. Handles name a slot and its generation, so a handle of a
// deleted object never reaches the object that reuses its slot.
struct Object {
  DWORD type = 0;  // OBJ_*, 0 for a free slot
  bool stock = false;
  // DeleteObject of a selected object waits until the last DC lets go.
  bool deletePending = false;
  int selectCount = 0;
  // Brushes and pens.
  COLORREF color = 0;
  bool null = false;
  // Bitmaps: the pixels and, when they are ours, the block to free.
  Bitmap bitmap{};
  void* owned = nullptr;
  // Device contexts.
  Dc* dc = nullptr;
};

struct Dc {
  Bitmap target{};
  bool memory = false;
  HGDIOBJ brush = nullptr;
  HGDIOBJ pen = nullptr;
  HGDIOBJ font = nullptr;
  HGDIOBJ bitmap = nullptr;  // memory DCs only
  COLORREF textColor = 0;
  COLORREF bkColor = 0x00FFFFFF;
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
  UINT textAlign = TA_LEFT | TA_TOP | TA_NOUPDATECP;
};

// The live object a handle names, optionally of one type; null otherwise.
Object* Lookup(HGDIOBJ handle, DWORD type = 0);
// The device context a handle names (surface or memory DC).
Dc* LookupDc(HDC handle);
// A new object in a free slot; null when the table is full.
HGDIOBJ Allocate(const Object& object);
// Frees a slot, releasing what it owns.
void Free(HGDIOBJ handle);
// Selection bookkeeping: an object deleted while selected goes when released.
void Retain(HGDIOBJ handle);
void Release(HGDIOBJ handle);
// Handle of the stock 1x1 bitmap a memory DC starts with.
HGDIOBJ DefaultBitmap();

// The rasteriser: pure functions over a bitmap description.
namespace raster {
// The pixel value a colour becomes in a format, and back.
uint32_t ColorToPixel(PixelFormat format, COLORREF color);
COLORREF PixelToColor(PixelFormat format, uint32_t pixel);
uint32_t ReadPixel(const Bitmap& bitmap, int x, int y);
void WritePixel(const Bitmap& bitmap, int x, int y, uint32_t pixel);
// Combines a pen or brush pixel with the destination under a binary raster
// operation (R2_*).
uint32_t Combine(PixelFormat format, int rop2, uint32_t pen, uint32_t dst);
// Fills [left, right) x [top, bottom), clipped to the bitmap.
void FillRect(const Bitmap& bitmap, int left, int top, int right, int bottom, int rop2, uint32_t pixel);
// Fills a polygon by the alternate (even-odd) rule, clipped to the bitmap.
void FillPolygonAlternate(const Bitmap& bitmap, const POINT* points, int count, int rop2, uint32_t pixel);
// A one-pixel line from one point up to, not including, the other.
void Line(const Bitmap& bitmap, POINT from, POINT to, int rop2, uint32_t pixel);
}  // namespace raster

// FillRect of a DC of ours: false when dc is not one.
bool FillRectDc(HDC dc, const RECT& rect, HBRUSH brush);

}  // namespace gdi
