// user32 subset of the hosted substitute.
#pragma once

#include "win/types.h"

#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_INVALID_CURSOR_HANDLE 1402L
#define ERROR_INVALID_ICON_HANDLE 1414L

BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI DestroyIcon(HICON icon);
BOOL WINAPI ClipCursor(const RECT* rect);
BOOL WINAPI GetClipCursor(LPRECT rect);
