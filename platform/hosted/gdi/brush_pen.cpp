// Solid brushes and cosmetic pens: a colour, or nothing for PS_NULL.
#include "internal.h"

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  gdi::Object brush;
  brush.type = OBJ_BRUSH;
  brush.color = color;
  return static_cast<HBRUSH>(gdi::Allocate(brush));
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
  // Only the styles the program draws with; the rest are refused rather than
  // drawn wrongly.
  if ((style != PS_SOLID && style != PS_NULL) || width < 0 || width > 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  gdi::Object pen;
  pen.type = OBJ_PEN;
  pen.color = color;
  pen.null = style == PS_NULL;
  return static_cast<HPEN>(gdi::Allocate(pen));
}
