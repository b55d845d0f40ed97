// The one platform header of the system, Windows lane.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <d3d9.h>
