// Direct3D 9 subset of the hosted substitute.
#pragma once

#include "win/types.h"
