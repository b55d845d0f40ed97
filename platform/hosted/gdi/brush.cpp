// Solid brushes: a colour, or nothing for the null brush.
#include "internal.h"

namespace gdi {
namespace {

const ObjectFuncs kBrushFuncs = {
    [](HGDIOBJ handle, Dc& dc) { return Swap(dc.brush, handle); },
    FreeRecord<Brush>,
};

}  // namespace

HGDIOBJ NewBrush(COLORREF color, bool null) {
  return NewObject(OBJ_BRUSH, kBrushFuncs, Brush{color, null});
}

}  // namespace gdi

HBRUSH WINAPI CreateSolidBrush(COLORREF color) { return static_cast<HBRUSH>(gdi::NewBrush(color, false)); }
