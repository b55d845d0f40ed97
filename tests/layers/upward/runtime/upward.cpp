// A runtime file that reaches up into the window layer: the layer check
// must refuse it.
#include "window/window.h"
