// Solid brushes: a colour, or nothing for the null brush.
#include "internal.h"

namespace gdi {
namespace {

const ObjectFuncs kBrushFuncs = {
    [](HGDIOBJ handle, Dc& dc) { return Swap(dc.brush, handle); },
    FreeRecord<Brush>,
    // A short buffer gets what fits of the description.
    [](HGDIOBJ handle, int size, void* buffer) -> int {
      const Brush* brush = Get<Brush>(handle, OBJ_BRUSH);
      const LOGBRUSH description = {brush->null ? UINT{BS_NULL} : UINT{BS_SOLID}, brush->color, 0};
      if (buffer == nullptr) return sizeof description;
      const int count = size < static_cast<int>(sizeof description) ? (size > 0 ? size : 0) : sizeof description;
      std::memcpy(buffer, &description, static_cast<size_t>(count));
      return count;
    },
};

}  // namespace

HGDIOBJ NewBrush(COLORREF color, bool null) {
  return NewObject(OBJ_BRUSH, kBrushFuncs, Brush{color, null});
}

}  // namespace gdi

HBRUSH WINAPI CreateSolidBrush(COLORREF color) { return static_cast<HBRUSH>(gdi::NewBrush(color, false)); }
