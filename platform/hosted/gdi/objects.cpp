// GDI object handles. So far only the stock objects exist: fixed records
// whose addresses are their handles, compared but never followed, so an
// unknown handle is answered without touching memory.
#include <iterator>

#include "platform.h"

namespace gdi {
namespace {

struct StockObject {
  DWORD type;
};

// Indexed by the GetStockObject index; 9 has never named an object.
constexpr StockObject kStock[] = {
    {OBJ_BRUSH}, {OBJ_BRUSH}, {OBJ_BRUSH}, {OBJ_BRUSH}, {OBJ_BRUSH}, {OBJ_BRUSH},  // WHITE_BRUSH..NULL_BRUSH
    {OBJ_PEN},   {OBJ_PEN},   {OBJ_PEN},                                           // WHITE_PEN..NULL_PEN
    {0},                                                                           // unused
    {OBJ_FONT},  {OBJ_FONT},  {OBJ_FONT}, {OBJ_FONT}, {OBJ_FONT},                  // OEM_FIXED_FONT..DEVICE_DEFAULT_FONT
    {OBJ_PAL},                                                                     // DEFAULT_PALETTE
    {OBJ_FONT},  {OBJ_FONT},                                                       // SYSTEM_FIXED_FONT, DEFAULT_GUI_FONT
    {OBJ_BRUSH}, {OBJ_PEN},                                                        // DC_BRUSH, DC_PEN
};
static_assert(std::size(kStock) == DC_PEN + 1);

const StockObject* FindStock(HGDIOBJ object) {
  for (const StockObject& stock : kStock) {
    if (&stock == object && stock.type != 0) return &stock;
  }
  return nullptr;
}

}  // namespace
}  // namespace gdi

HGDIOBJ WINAPI GetStockObject(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(gdi::kStock)) || gdi::kStock[index].type == 0) return nullptr;
  return const_cast<gdi::StockObject*>(&gdi::kStock[index]);
}

DWORD WINAPI GetObjectType(HGDIOBJ object) {
  if (const gdi::StockObject* stock = gdi::FindStock(object)) return stock->type;
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  // Stock objects belong to the system: deleting one succeeds and does nothing.
  return gdi::FindStock(object) != nullptr ? TRUE : FALSE;
}
