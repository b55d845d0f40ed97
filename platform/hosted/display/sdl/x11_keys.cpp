#include "display/sdl/x11_keys.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "display/sdl/loader.h"

namespace display::x11 {
namespace {

// Xlib's functions used here, from libX11 loaded by the first OpenKeys.
struct Xlib {
  decltype(&::XOpenDisplay) OpenDisplay = nullptr;
  decltype(&::XCloseDisplay) CloseDisplay = nullptr;
  decltype(&::XKeysymToKeycode) KeysymToKeycode = nullptr;
  decltype(&::XQueryKeymap) QueryKeymap = nullptr;
};

Xlib xlib;
Display* connection = nullptr;
KeyCode escape = 0;

bool Load() {
  if (xlib.QueryKeymap != nullptr) return true;
  void* library = OpenLibrary("libX11.so.6");
  Xlib found;
  if (library == nullptr || !ResolveFunction(library, "XOpenDisplay", &found.OpenDisplay) ||
      !ResolveFunction(library, "XCloseDisplay", &found.CloseDisplay) ||
      !ResolveFunction(library, "XKeysymToKeycode", &found.KeysymToKeycode) ||
      !ResolveFunction(library, "XQueryKeymap", &found.QueryKeymap))
    return false;
  xlib = found;
  return true;
}

}  // namespace

bool OpenKeys() {
  if (connection != nullptr) return true;
  if (!Load()) return false;
  connection = xlib.OpenDisplay(nullptr);
  if (connection == nullptr) return false;
  escape = xlib.KeysymToKeycode(connection, XK_Escape);
  return true;
}

void CloseKeys() {
  if (connection != nullptr) xlib.CloseDisplay(connection);
  connection = nullptr;
}

bool EscapeDown() {
  if (connection == nullptr || escape == 0) return false;
  char keys[32];
  xlib.QueryKeymap(connection, keys);
  return (keys[escape / 8] & (1 << (escape % 8))) != 0;
}

}  // namespace display::x11
