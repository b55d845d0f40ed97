#include "drawing/context.h"

DWORD contextSlot = TLS_OUT_OF_INDEXES;

void DrawContextInit() { contextSlot = TlsAlloc(); }
