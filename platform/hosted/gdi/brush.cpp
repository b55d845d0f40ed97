// Solid and hatched brushes: a colour (and a hatch), or nothing for the
// null brush.
#include <algorithm>

#include "internal.h"

namespace gdi {
namespace {

const ObjectFuncs kBrushFuncs = {
    [](HGDIOBJ handle, Dc& dc) { return Swap(dc.brush, handle); },
    FreeRecord<Brush>,
    // A short buffer gets what fits of the description.
    [](HGDIOBJ handle, int size, void* buffer) -> int {
      const Brush* brush = Get<Brush>(handle, OBJ_BRUSH);
      const UINT style = brush->null ? UINT{BS_NULL} : brush->hatch >= 0 ? UINT{BS_HATCHED} : UINT{BS_SOLID};
      const LOGBRUSH description = {style, brush->color, static_cast<ULONG_PTR>(std::max(brush->hatch, 0))};
      if (buffer == nullptr) return sizeof description;
      const int count = size < static_cast<int>(sizeof description) ? (size > 0 ? size : 0) : sizeof description;
      std::memcpy(buffer, &description, static_cast<size_t>(count));
      return count;
    },
};

}  // namespace

HGDIOBJ NewBrush(COLORREF color, bool null, int hatch) {
  return NewObject(OBJ_BRUSH, kBrushFuncs, Brush{color, null, hatch});
}

}  // namespace gdi

HBRUSH WINAPI CreateSolidBrush(COLORREF color) { return static_cast<HBRUSH>(gdi::NewBrush(color, false)); }

// A style past the six is a solid brush, as the platform makes it.
HBRUSH WINAPI CreateHatchBrush(int style, COLORREF color) {
  return static_cast<HBRUSH>(gdi::NewBrush(color, false, style >= HS_HORIZONTAL && style <= HS_DIAGCROSS ? style : -1));
}
