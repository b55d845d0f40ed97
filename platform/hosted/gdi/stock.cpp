// Stock objects: made once, on first use, and never deleted or counted.
#include <array>

#include "internal.h"

HGDIOBJ WINAPI GetStockObject(int index) {
  // Indexed by the GetStockObject index; 9 has never named an object.
  static const std::array<HGDIOBJ, DC_PEN + 1> stock = [] {
    using gdi::NewBrush, gdi::NewPen, gdi::NewFont;
    const std::array<HGDIOBJ, DC_PEN + 1> made = {
        NewBrush(0xFFFFFF, false), NewBrush(0xC0C0C0, false), NewBrush(0x808080, false),
        NewBrush(0x404040, false), NewBrush(0x000000, false), NewBrush(0, true),
        NewPen(0xFFFFFF, false, 0), NewPen(0x000000, false, 0), NewPen(0, true, 1),
        nullptr,
        NewFont(),                 NewFont(),                 NewFont(),
        NewFont(),                 NewFont(),
        gdi::NewPalette(),
        NewFont(),                 NewFont(),
        NewBrush(0xFFFFFF, false), NewPen(0x000000, false, 0),
    };
    for (HGDIOBJ handle : made) gdi::MakeStock(handle);
    return made;
  }();
  if (index < 0 || index >= static_cast<int>(stock.size())) return nullptr;
  return stock[static_cast<size_t>(index)];
}
