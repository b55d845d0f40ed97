// The one platform header of the system, hosted lane: the substitute's
// declarations under the Win32 names.
#pragma once

#include "win/types.h"
#include "win/kernel.h"
#include "win/user.h"
#include "win/gdi.h"
#include "win/commctrl.h"
#include "win/d3d9.h"
