// What the gdi files share: the generic handle table, each object type's
// record and function table, and the prologue of the painting calls.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform.h"
#include "dib.h"
#include "font_face.h"
#include "raster.h"

namespace gdi {

struct Dc;

// What one type of object does; the handle table calls these and knows no
// type itself.
struct ObjectFuncs {
  // Selects the object into dc: the object it replaces, null when refused.
  HGDIOBJ (*select)(HGDIOBJ handle, Dc& dc);
  // Ends the object and frees its record; false when it cannot be ended by
  // DeleteObject.
  bool (*destroy)(HGDIOBJ handle);
  // GetObjectW: writes the object's description (LOGBRUSH, LOGPEN,
  // BITMAP) into buffer and returns its size; with no buffer, only the
  // size. Null for types that describe nothing (DCs) or nothing yet
  // (fonts, palettes).
  int (*describe)(HGDIOBJ handle, int size, void* buffer);
};

// One live object. Handles name a slot and its generation, so a handle of a
// deleted object never reaches the object that reuses its slot.
struct Entry {
  DWORD type = 0;  // OBJ_*, 0 for a free slot
  const ObjectFuncs* funcs = nullptr;
  void* object = nullptr;  // the type's own record
  bool stock = false;
  // DeleteObject of a selected object waits until the last DC lets go.
  bool deletePending = false;
  int selectCount = 0;
};

// The live entry a handle names; null otherwise.
Entry* Lookup(HGDIOBJ handle);
// The record of the object a handle names when it has this type.
template <typename T>
T* Get(HGDIOBJ handle, DWORD type) {
  Entry* entry = Lookup(handle);
  return entry != nullptr && entry->type == type ? static_cast<T*>(entry->object) : nullptr;
}
// A new object in a free slot; null when the table is full (the record
// stays the caller's then).
HGDIOBJ Allocate(DWORD type, const ObjectFuncs& funcs, void* object);
// A new object holding a copy of record; null when the table is full.
template <typename T>
HGDIOBJ NewObject(DWORD type, const ObjectFuncs& funcs, const T& record) {
  T* copy = new T(record);
  HGDIOBJ handle = Allocate(type, funcs, copy);
  if (handle == nullptr) delete copy;
  return handle;
}
// Makes an object the system's: never deleted, never counted as live.
HGDIOBJ MakeStock(HGDIOBJ handle);
// Frees a slot; the record it held, for its type to delete.
void* Free(HGDIOBJ handle);
// Frees a slot and deletes its record: the destroy entry of most types.
template <typename T>
bool FreeRecord(HGDIOBJ handle) {
  delete static_cast<T*>(Free(handle));
  return true;
}
// GetObjectW's answer for a description that is written whole or not at
// all: its size without a buffer, 0 when the buffer is too small.
template <typename T>
int DescribeWhole(const T& description, int size, void* buffer) {
  if (buffer == nullptr) return sizeof(T);
  if (size < static_cast<int>(sizeof(T))) return 0;
  std::memcpy(buffer, &description, sizeof(T));
  return sizeof(T);
}
// Selection bookkeeping: an object deleted while selected goes when released.
void Retain(HGDIOBJ handle);
void Release(HGDIOBJ handle);
// Puts handle into a DC's slot, keeping the counts; the previous object.
HGDIOBJ Swap(HGDIOBJ& slot, HGDIOBJ handle);

// Solid brushes and pens: a colour, or nothing.
struct Brush {
  COLORREF color = 0;
  bool null = false;
  int hatch = -1;  // HS_*, or -1 for a solid brush
};
struct Pen {
  COLORREF color = 0;
  bool null = false;
  int width = 0;  // as asked for; 0 draws one pixel wide
};
// Bitmaps of every depth: device-independent sections, whose pixels the
// caller sees, and device-dependent bitmaps, whose pixels only GDI reads.
struct BitmapObject {
  Image image{};
  // What a DC draws into: the image when the rasteriser knows its format,
  // otherwise no pixels.
  Bitmap bits{};
  void* owned = nullptr;  // the pixels, to free
  bool section = false;
  // Sections: the header as GetObjectW describes it, and the bit fields.
  BITMAPINFOHEADER header{};
  DWORD masks[3] = {};
  RGBQUAD colors[256] = {};
};
// The bitmap a handle names; null otherwise.
BitmapObject* LookupBitmap(HGDIOBJ handle);
// The pixels a DC holds (a memory DC's bitmap, a surface's memory).
bool DcImage(const Dc& dc, Image& image);
// A realised font and the face name it answers to (a substitute's name
// when one was asked for).
struct RealizedFont {
  std::unique_ptr<RealFont> font;
  std::u16string faceName;
};
// A font: the request, and what the platform made of it once used.
struct Font {
  LOGFONTW logFont{};
  std::shared_ptr<RealizedFont> realized;
};
// Palettes carry nothing.
struct Palette {};

HGDIOBJ NewBrush(COLORREF color, bool null, int hatch = -1);
HGDIOBJ NewPen(COLORREF color, bool null, int width);
HGDIOBJ NewFont(const LOGFONTW& logFont);
HGDIOBJ NewPalette();
// The stock 1x1 bitmap a memory DC starts with.
HGDIOBJ DefaultBitmap();

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
  int stretchMode = BLACKONWHITE;
  // Where hatch patterns start.
  POINT brushOrigin{0, 0};
  // IntersectClipRect's box, when there is one.
  bool clipped = false;
  RECT clipBox{};
  // Where lines (and text aligned to it) start.
  POINT position{0, 0};
};

// The device context a handle names (surface or memory DC).
Dc* LookupDc(HDC handle);

// What every painting call needs from its DC, resolved once: the surface,
// its primitives and clip, and the pen and brush as pixels and as masks
// under the DC's raster operation.
struct Paint {
  Dc* dc = nullptr;
  // Null when the DC's bitmap is not one the rasteriser draws into (1, 4, 8
  // or 24 bits) or it has none.
  const Bitmap* target = nullptr;
  const PrimitiveFuncs* funcs = nullptr;
  // The DC's clip inside its bitmap, whatever the bitmap's depth; empty
  // without one.
  RECT clip{};
  // False for a null pen or brush.
  bool pen = false;
  bool brush = false;
  int penWidth = 0;  // in pixels, at least 1 for a pen that draws
  uint32_t penPixel = 0;
  uint32_t brushPixel = 0;
  RopMasks penMasks{};
  RopMasks brushMasks{};

  // Whether a pixel lies inside the clip.
  bool Inside(int x, int y) const { return x >= clip.left && y >= clip.top && x < clip.right && y < clip.bottom; }
  // Clips the rectangles (changing them), drops the empty ones and fills
  // the rest with masks in one call.
  void FillRects(RECT* rects, int count, RopMasks masks) const;
  // Whether the pen is wider than a pixel: such a pen's outline is worked
  // out whole (Stroke) before anything is drawn.
  bool WidePen() const { return pen && penWidth > 1; }
  // The outline of the wide pen along a path, and inside it what the
  // brush covers (`inside`, spans inside the clip; may be null): every
  // pixel is drawn once, by the pen or the brush.
  void Stroke(const POINT* points, int count, bool closed, std::vector<RECT>* inside) const;
  // Draws the outline's spans with the pen and the inside's (may be null)
  // less the outline with the brush; both inside the clip, not normalised.
  void FillOutlined(std::vector<RECT>& outline, std::vector<RECT>* inside) const;
};

// The font realised for a request, as the platform picks it from its
// fonts; null when there is none at all.
std::shared_ptr<RealizedFont> FindFont(const LOGFONTW& request);
// The realised font selected into a DC; null when none can be made.
RealizedFont* DcFont(const Dc& dc);

// False when handle names no DC.
bool StartPaint(HDC handle, Paint& paint);

// A ternary raster operation's number (bits 16-23 of the code): whether it
// reads the source, and its truth table applied to every bit of pattern,
// source and destination.
bool UsesSource(unsigned index);
uint32_t Ternary(unsigned index, uint32_t p, uint32_t s, uint32_t d);
// The image a device-independent header and its bits describe (rows from
// the top; the colour table copied into `table`); false when refused.
bool DibImage(const BITMAPINFO& info, const void* bits, Image& image, RGBQUAD (&table)[256]);

// RoundRect with corner sizes past the int range: Ellipse's corners are
// its box, which may be.
BOOL RoundRectOf(HDC handle, int left, int top, int right, int bottom, long long cornerWidth, long long cornerHeight);

}  // namespace gdi
