// The process entry. On Windows the program is linked for the GUI
// subsystem, whose start-up code calls main as well.
#include "scene/scene.h"

int main() { CubeMain(); }
