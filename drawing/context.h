// Drawing sessions and the current drawing context.
#pragma once

#include "platform.h"

// Thread-local slot of the current drawing context.
extern DWORD contextSlot;

void DrawContextInit();
