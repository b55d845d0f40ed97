// Windows and icons of user32. No window or icon exists yet, so every
// handle is invalid and is answered as Windows answers one.
#include "platform.h"

namespace user {
namespace {

// Will look handles up once windows and icons are created here.
bool IsWindowHandle(HWND) { return false; }
bool IsIconHandle(HICON) { return false; }

}  // namespace
}  // namespace user

BOOL WINAPI DestroyWindow(HWND window) {
  if (!user::IsWindowHandle(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DestroyIcon(HICON icon) {
  if (!user::IsIconHandle(icon)) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  return TRUE;
}
