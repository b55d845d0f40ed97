// The test card program: a window "Test card" whose screen shows the card,
// redrawn every frame, until Escape or the close button.
#pragma once

// The whole program from its command line; ends the process (0, or 1 when
// a frame asked for could not be written) and returns only to report a
// command line it does not take (2).
int CardMain(int argc, char** argv);
