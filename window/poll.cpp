#include "window/window.h"
