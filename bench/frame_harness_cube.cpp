#include "bench/frame_harness_program.h"
#include "scene/scene.h"

void HarnessProgram() { CubeMain(); }
