#include "display/sdl/x11_keys.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace display::x11 {
namespace {

Display* connection = nullptr;
KeyCode escape = 0;

}  // namespace

bool OpenKeys() {
  if (connection != nullptr) return true;
  connection = XOpenDisplay(nullptr);
  if (connection == nullptr) return false;
  escape = XKeysymToKeycode(connection, XK_Escape);
  return true;
}

void CloseKeys() {
  if (connection != nullptr) XCloseDisplay(connection);
  connection = nullptr;
}

bool EscapeDown() {
  if (connection == nullptr || escape == 0) return false;
  char keys[32];
  XQueryKeymap(connection, keys);
  return (keys[escape / 8] & (1 << (escape % 8))) != 0;
}

}  // namespace display::x11
