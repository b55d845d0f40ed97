// Stock icons and cursors. The program carries no resources, so only the
// system's own (a null instance with an IDI_/IDC_ number) exist; their
// handles are fixed and never need destroying.
#include "user/internal.h"

namespace user {
namespace {

// Shared system handles: a table of the stock numbers, handed out as
// addresses of its rows so that nothing else can be mistaken for one.
struct Stock {
  WORD id;
  bool cursor;
};

const Stock stock[] = {
    {32512, false}, {32513, false}, {32514, false}, {32515, false}, {32516, false}, {32517, false},
    {32512, true},  {32513, true},  {32514, true},  {32515, true},  {32516, true},  {32642, true},
    {32643, true},  {32644, true},  {32645, true},  {32646, true},  {32648, true},  {32649, true},
    {32650, true},  {32651, true},
};

HICON Load(HINSTANCE instance, LPCWSTR name, bool cursor) {
  if (instance != nullptr) {
    // The program has no resource section at all.
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  if (name != nullptr && IS_INTRESOURCE(name)) {
    const WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    for (const Stock& s : stock)
      if (s.id == id && s.cursor == cursor) return reinterpret_cast<HICON>(const_cast<Stock*>(&s));
  }
  // What Wine answers for a number that user32 does not carry.
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

}  // namespace

bool IsStockIcon(HICON icon) {
  for (const Stock& s : stock)
    if (reinterpret_cast<HICON>(const_cast<Stock*>(&s)) == icon) return true;
  return false;
}

}  // namespace user

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) { return user::Load(instance, name, false); }

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name) { return user::Load(instance, name, true); }

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  static HCURSOR current = nullptr;
  HCURSOR old = current;
  current = cursor;
  return old;
}
