#include "bench/frame_harness_program.h"
#include "card/program.h"

void HarnessProgram() {
  static char name[] = "card";
  char* argv[] = {name, nullptr};
  CardMain(1, argv);
}
