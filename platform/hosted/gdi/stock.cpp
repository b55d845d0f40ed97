// Stock objects: made once, on first use, and never deleted or counted.
#include <array>

#include "internal.h"

namespace {

// The stock fonts' requests, as the platform describes them.
HGDIOBJ StockFont(LONG height, LONG width, LONG weight, BYTE charSet, BYTE pitchAndFamily, const char16_t* face) {
  LOGFONTW logFont = {};
  logFont.lfHeight = height;
  logFont.lfWidth = width;
  logFont.lfWeight = weight;
  logFont.lfCharSet = charSet;
  logFont.lfPitchAndFamily = pitchAndFamily;
  for (int i = 0; face[i] != u'\0'; ++i) logFont.lfFaceName[i] = face[i];
  return gdi::NewFont(logFont);
}

}  // namespace

HGDIOBJ WINAPI GetStockObject(int index) {
  // Indexed by the GetStockObject index; 9 has never named an object.
  static const std::array<HGDIOBJ, DC_PEN + 1> stock = [] {
    using gdi::NewBrush, gdi::NewPen;
    constexpr BYTE kFixed = FIXED_PITCH | FF_MODERN, kVariable = VARIABLE_PITCH | FF_SWISS;
    const std::array<HGDIOBJ, DC_PEN + 1> made = {
        NewBrush(0xFFFFFF, false), NewBrush(0xC0C0C0, false), NewBrush(0x808080, false),
        NewBrush(0x404040, false), NewBrush(0x000000, false), NewBrush(0, true),
        NewPen(0xFFFFFF, false, 0), NewPen(0x000000, false, 0), NewPen(0, true, 1),
        nullptr,
        StockFont(12, 0, FW_NORMAL, OEM_CHARSET, kFixed, u""),
        StockFont(12, 0, FW_NORMAL, ANSI_CHARSET, kFixed, u"Courier"),
        StockFont(12, 0, FW_NORMAL, ANSI_CHARSET, kVariable, u"MS Sans Serif"),
        StockFont(16, 7, FW_BOLD, ANSI_CHARSET, kVariable, u"System"),
        StockFont(16, 0, FW_BOLD, ANSI_CHARSET, kVariable, u"System"),
        gdi::NewPalette(),
        StockFont(16, 0, FW_NORMAL, ANSI_CHARSET, kFixed, u"Courier"),
        StockFont(-11, 0, FW_NORMAL, ANSI_CHARSET, kVariable, u"MS Shell Dlg"),
        NewBrush(0xFFFFFF, false), NewPen(0x000000, false, 0),
    };
    for (HGDIOBJ handle : made) gdi::MakeStock(handle);
    return made;
  }();
  if (index < 0 || index >= static_cast<int>(stock.size())) return nullptr;
  return stock[static_cast<size_t>(index)];
}
