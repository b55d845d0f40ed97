// The windowed screen.
#pragma once

void ScreenClose();
void ScreenSystemEnd();
void ScreenLibraryEnd();
