// The test card program: a window "Test card" whose screen shows the card,
// redrawn every frame, until Escape or the close button.
#pragma once

#include <cstdint>

// One frame: the card drawn on the open screen's back buffer, which is then
// presented. With a path, the drawn picture is also captured and written
// there as a 24-bit BMP first; false when that fails.
bool CardFrame(int32_t frame, const char* savePath);

// The whole program from its command line; ends the process (0, or 1 when
// a frame asked for could not be written) and returns only to report a
// command line it does not take (2).
int CardMain(int argc, char** argv);
