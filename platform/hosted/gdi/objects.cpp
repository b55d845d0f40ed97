// GDI object handles: one table for stock and created objects. A handle is
// a slot number and that slot's generation, never an address, so a stale or
// invented handle is answered without touching freed memory.
#include <cstdlib>
#include <iterator>
#include <vector>

#include "hosted/hooks.h"
#include "internal.h"

namespace gdi {
namespace {

struct Stock {
  DWORD type;
  COLORREF color;
  bool null;
};

// Indexed by the GetStockObject index; 9 has never named an object.
constexpr Stock kStock[] = {
    {OBJ_BRUSH, 0xFFFFFF, false}, {OBJ_BRUSH, 0xC0C0C0, false}, {OBJ_BRUSH, 0x808080, false},
    {OBJ_BRUSH, 0x404040, false}, {OBJ_BRUSH, 0x000000, false}, {OBJ_BRUSH, 0, true},
    {OBJ_PEN, 0xFFFFFF, false},   {OBJ_PEN, 0x000000, false},   {OBJ_PEN, 0, true},
    {0, 0, false},
    {OBJ_FONT, 0, false},         {OBJ_FONT, 0, false},         {OBJ_FONT, 0, false},
    {OBJ_FONT, 0, false},         {OBJ_FONT, 0, false},
    {OBJ_PAL, 0, false},
    {OBJ_FONT, 0, false},         {OBJ_FONT, 0, false},
    {OBJ_BRUSH, 0xFFFFFF, false}, {OBJ_PEN, 0x000000, false},
};
static_assert(std::size(kStock) == DC_PEN + 1);
constexpr unsigned kDefaultBitmapSlot = std::size(kStock);
// Slots beyond this many would not fit the handle's slot field.
constexpr size_t kMaxSlots = 1u << 18;

struct Table {
  std::vector<Object> objects;
  std::vector<unsigned> generations;
  std::vector<unsigned> free;
  unsigned live[OBJ_COLORSPACE + 1] = {};

  Table() {
    for (const Stock& stock : kStock) {
      Object object;
      object.type = stock.type;
      object.stock = true;
      object.color = stock.color;
      object.null = stock.null;
      objects.push_back(object);
    }
    // The 1x1 bitmap every memory DC starts with; nothing draws into it.
    Object bitmap;
    bitmap.type = OBJ_BITMAP;
    bitmap.stock = true;
    objects.push_back(bitmap);
    generations.assign(objects.size(), 0);
  }
};

Table& table() {
  static Table t;
  return t;
}

// Low bit clear: window DCs of the substitute are tokens with it set.
HGDIOBJ Encode(unsigned slot, unsigned generation) {
  return reinterpret_cast<HGDIOBJ>((static_cast<uintptr_t>(slot + 1) << 12) | ((generation & 0x7FF) << 1));
}

bool Decode(HGDIOBJ handle, unsigned& slot) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0 || (value & 1) != 0 || (value >> 12) == 0) return false;
  const uintptr_t index = (value >> 12) - 1;
  Table& t = table();
  if (index >= t.objects.size()) return false;
  slot = static_cast<unsigned>(index);
  return ((value >> 1) & 0x7FF) == (t.generations[slot] & 0x7FF) && t.objects[slot].type != 0;
}

}  // namespace

Object* Lookup(HGDIOBJ handle, DWORD type) {
  unsigned slot;
  if (!Decode(handle, slot)) return nullptr;
  Object& object = table().objects[slot];
  if (type != 0 && object.type != type) return nullptr;
  return &object;
}

Dc* LookupDc(HDC handle) {
  Object* object = Lookup(handle);
  if (object == nullptr || (object->type != OBJ_DC && object->type != OBJ_MEMDC)) return nullptr;
  return object->dc;
}

HGDIOBJ Allocate(const Object& object) {
  Table& t = table();
  unsigned slot;
  if (!t.free.empty()) {
    slot = t.free.back();
    t.free.pop_back();
  } else {
    if (t.objects.size() >= kMaxSlots) return nullptr;
    slot = static_cast<unsigned>(t.objects.size());
    t.objects.emplace_back();
    t.generations.push_back(0);
  }
  t.objects[slot] = object;
  ++t.live[object.type];
  return Encode(slot, t.generations[slot]);
}

void Free(HGDIOBJ handle) {
  unsigned slot;
  if (!Decode(handle, slot)) return;
  Table& t = table();
  Object& object = t.objects[slot];
  if (object.stock) return;
  --t.live[object.type];
  std::free(object.owned);
  delete object.dc;
  object = Object{};
  ++t.generations[slot];
  t.free.push_back(slot);
}

void Retain(HGDIOBJ handle) {
  if (Object* object = Lookup(handle)) ++object->selectCount;
}

void Release(HGDIOBJ handle) {
  Object* object = Lookup(handle);
  if (object == nullptr) return;
  if (object->selectCount > 0) --object->selectCount;
  if (object->selectCount == 0 && object->deletePending) Free(handle);
}

HGDIOBJ DefaultBitmap() { return Encode(kDefaultBitmapSlot, 0); }

}  // namespace gdi

unsigned hosted::GdiLiveObjects(DWORD type) {
  if (type > OBJ_COLORSPACE) return 0;
  return gdi::table().live[type];
}

unsigned hosted::GdiLiveObjects() {
  unsigned total = 0;
  for (unsigned count : gdi::table().live) total += count;
  return total;
}

HGDIOBJ WINAPI GetStockObject(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(gdi::kStock)) || gdi::kStock[index].type == 0) return nullptr;
  return gdi::Encode(static_cast<unsigned>(index), 0);
}

DWORD WINAPI GetObjectType(HGDIOBJ object) {
  if (const gdi::Object* found = gdi::Lookup(object)) return found->type;
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

BOOL WINAPI DeleteObject(HGDIOBJ handle) {
  gdi::Object* object = gdi::Lookup(handle);
  if (object == nullptr) return FALSE;
  // Stock objects belong to the system: deleting one succeeds and does nothing.
  if (object->stock) return TRUE;
  // A memory DC deleted this way ends as by DeleteDC; a surface's DC is
  // ended only by its surface.
  if (object->type == OBJ_MEMDC) return DeleteDC(static_cast<HDC>(handle));
  if (object->type == OBJ_DC) return FALSE;
  if (object->selectCount > 0) {
    object->deletePending = true;
    return TRUE;
  }
  gdi::Free(handle);
  return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC dcHandle, HGDIOBJ handle) {
  gdi::Dc* dc = gdi::LookupDc(dcHandle);
  gdi::Object* object = gdi::Lookup(handle);
  if (dc == nullptr || object == nullptr || object->deletePending) return nullptr;
  HGDIOBJ* slot = nullptr;
  switch (object->type) {
    case OBJ_BRUSH: slot = &dc->brush; break;
    case OBJ_PEN: slot = &dc->pen; break;
    case OBJ_FONT: slot = &dc->font; break;
    case OBJ_BITMAP:
      // Only a memory DC draws into a bitmap, and a bitmap into one DC at a time.
      if (!dc->memory) return nullptr;
      if (handle == dc->bitmap) return handle;
      if (!object->stock && object->selectCount > 0) return nullptr;
      slot = &dc->bitmap;
      dc->target = object->bitmap;
      break;
    default: return nullptr;
  }
  HGDIOBJ previous = *slot;
  *slot = handle;
  gdi::Retain(handle);
  gdi::Release(previous);
  return previous;
}
