// Solid pens of any width: a colour, or nothing for PS_NULL.
#include <climits>
#include <cstdlib>

#include "internal.h"

namespace gdi {
namespace {

const ObjectFuncs kPenFuncs = {
    [](HGDIOBJ handle, Dc& dc) { return Swap(dc.pen, handle); },
    FreeRecord<Pen>,
    [](HGDIOBJ handle, int size, void* buffer) {
      const Pen* pen = Get<Pen>(handle, OBJ_PEN);
      const LOGPEN description = {pen->null ? UINT{PS_NULL} : UINT{PS_SOLID}, {pen->width, 0}, pen->color};
      return DescribeWhole(description, size, buffer);
    },
};

}  // namespace

HGDIOBJ NewPen(COLORREF color, bool null, int width) {
  return NewObject(OBJ_PEN, kPenFuncs, Pen{color, null, width});
}

}  // namespace gdi

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
  // A style past the known ones is taken as solid, as Windows takes it.
  if (style > PS_INSIDEFRAME) style = PS_SOLID;
  // Dashed and inside-frame pens are refused rather than drawn wrongly.
  if (style != PS_SOLID && style != PS_NULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A negative width counts as its size.
  width = width == INT_MIN ? INT_MAX : std::abs(width);
  // There is one null pen, whatever colour and width are asked for.
  if (style == PS_NULL) return static_cast<HPEN>(GetStockObject(NULL_PEN));
  return static_cast<HPEN>(gdi::NewPen(color, false, width));
}
