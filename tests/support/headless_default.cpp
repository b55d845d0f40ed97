// Compiled into every hosted test program: tests run on the headless
// display even when started by hand. The priority puts this before the
// display's own start-up, which reads the variable.
#include <cstdlib>

__attribute__((constructor(101))) static void HeadlessByDefault() { setenv("CUBE_DISPLAY", "headless", 0); }
