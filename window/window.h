// Numbered top-level windows.
#pragma once

void WindowsInit();
void WindowsEnd();
