// Cosmetic pens: a colour, or nothing for PS_NULL.
#include "internal.h"

namespace gdi {
namespace {

const ObjectFuncs kPenFuncs = {
    [](HGDIOBJ handle, Dc& dc) { return Swap(dc.pen, handle); },
    FreeRecord<Pen>,
};

}  // namespace

HGDIOBJ NewPen(COLORREF color, bool null) {
  return NewObject(OBJ_PEN, kPenFuncs, Pen{color, null});
}

}  // namespace gdi

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
  // Only the styles the program draws with; the rest are refused rather than
  // drawn wrongly.
  if ((style != PS_SOLID && style != PS_NULL) || width < 0 || width > 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return static_cast<HPEN>(gdi::NewPen(color, style == PS_NULL));
}
