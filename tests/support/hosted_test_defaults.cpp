// Compiled into every hosted test program. Tests run on the headless
// display even when started by hand, and presents keep their pictures for
// the tests to read. The priority puts this before the display's own
// start-up, which reads the variable.
#include <cstdlib>

#include "hosted/hooks.h"

__attribute__((constructor(101))) static void HostedTestDefaults() {
  setenv("CUBE_DISPLAY", "headless", 0);
  hosted::KeepD3D9Pictures(true);
}
