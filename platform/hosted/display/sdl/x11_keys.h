// The keyboard's physical state straight from the X server, which answers
// whichever window has the focus. Kept apart from the backend: Xlib's
// macros clash with Win32 names.
#pragma once

namespace display::x11 {

// Opens a connection of its own to the default X display; false when there
// is none.
bool OpenKeys();
void CloseKeys();
// Whether Escape is down now; false without a connection.
bool EscapeDown();

}  // namespace display::x11
