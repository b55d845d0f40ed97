#include "support/user_input.h"

#include "hosted/hooks.h"
#include "support/message_log.h"
#include "support/test_support.h"

bool RunningOnSubstitute() { return true; }

namespace user_input {

void KeyDown(BYTE virtualKey) { hosted::InjectKey(virtualKey, true); }
void KeyUp(BYTE virtualKey) { hosted::InjectKey(virtualKey, false); }
void ClickCloseButton(HWND window) { hosted::InjectCaptionClick(window, HTCLOSE); }
void ClickMinimiseButton(HWND window) { hosted::InjectCaptionClick(window, HTMINBUTTON); }
void RestoreFromTaskbar(HWND window) { hosted::InjectRestore(window); }
void ActivateOtherProgram() { hosted::InjectAppActivation(false); }
// The substitute brings back the window that was active before.
void ReturnToProgram(HWND) { hosted::InjectAppActivation(true); }

}  // namespace user_input

size_t LiveHeapBlocks(HANDLE heap) { return hosted::HeapLiveBlocks(heap); }
