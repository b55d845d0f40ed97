// What a user does, simulated: real input events (SendInput) on Windows, the
// substitute's injection hooks on the hosted lane. The same test then drives
// both lanes.
#pragma once

#include "platform.h"

namespace user_input {

// Presses and releases a key (a virtual-key code) while the given modifier
// keys are held down.
void KeyDown(BYTE virtualKey);
void KeyUp(BYTE virtualKey);
// A left click on the caption's close button of a top-level window.
void ClickCloseButton(HWND window);
// A left click on the caption's minimise button of a top-level window.
void ClickMinimiseButton(HWND window);
// The shell restores a minimised window, as a click on its taskbar entry
// does.
void RestoreFromTaskbar(HWND window);
// Another program takes the foreground, as when the user switches away;
// then the user comes back to the given window of this one.
void ActivateOtherProgram();
void ReturnToProgram(HWND window);

}  // namespace user_input
