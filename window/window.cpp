#include "window/window.h"

// The window facility's start-up and end steps. The facility itself (window
// table, classes, icon and cursor) is built with the windows and events
// work; until then the steps have nothing to set up or release.
void WindowsInit() {}
void WindowsEnd() {}
