#include "support/user_input.h"

#include <atomic>
#include <thread>

#include "support/message_log.h"
#include "support/test_support.h"
#include "support/window_class.h"

bool RunningOnSubstitute() { return false; }

namespace user_input {
namespace {

void Key(BYTE virtualKey, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof input);
}

// Screen point in the middle of the caption button counted from the right
// (0 close, 1 maximise, 2 minimise).
POINT CaptionButton(HWND window, int slot) {
  RECT r = {};
  GetWindowRect(window, &r);
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const int frame = GetSystemMetrics((style & WS_THICKFRAME) ? SM_CXFRAME : SM_CXDLGFRAME);
  const int button = GetSystemMetrics(SM_CXSIZE);
  return {r.right - frame - slot * button - button / 2, r.top + frame + button / 2};
}

// Under Xvfb without a window manager the caption is not part of the X
// window, so a real click there never reaches the program. The click is
// therefore given as the messages that hit testing makes of it: the
// non-client press, and the release that the default procedure's button
// tracking waits for.
void ClickCaptionButton(HWND window, int slot, WPARAM hit) {
  const POINT p = CaptionButton(window, slot);
  SetCursorPos(p.x, p.y);
  PostMessageW(window, WM_NCLBUTTONDOWN, hit, MAKELPARAM(p.x, p.y));
  POINT c = p;
  ScreenToClient(window, &c);
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(c.x, c.y));
}

// The other program is a window of another thread: activation between
// threads is what activation between programs is to the queue.
struct OtherProgram {
  std::thread thread;
  std::atomic<bool> ready{false};
  std::atomic<bool> stop{false};
};
OtherProgram* other = nullptr;

// Waits while answering what other threads send to this one, without
// taking any posted message from the caller's queue.
void WaitFor(const std::atomic<bool>& flag) {
  MSG msg;
  while (!flag) {
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_NOYIELD);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_SENDMESSAGE);
  }
}

}  // namespace

void ActivateOtherProgram() {
  if (other != nullptr) return;
  other = new OtherProgram;
  other->thread = std::thread([] {
    TestWindowClass otherClass(TEXT("UserInputOtherProgram"));
    HWND window = otherClass.Make(WS_CAPTION | WS_SYSMENU, nullptr, 0, 600, 0, 200, 150, TEXT("other"));
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    other->ready = true;
    MSG msg;
    while (!other->stop) {
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
  });
  WaitFor(other->ready);
}

void ReturnToProgram(HWND window) {
  SetForegroundWindow(window);
  if (other == nullptr) return;
  other->stop = true;
  other->thread.join();
  delete other;
  other = nullptr;
}

void KeyDown(BYTE virtualKey) { Key(virtualKey, false); }
void KeyUp(BYTE virtualKey) { Key(virtualKey, true); }
void ClickCloseButton(HWND window) { ClickCaptionButton(window, 0, HTCLOSE); }
void ClickMinimiseButton(HWND window) { ClickCaptionButton(window, 2, HTMINBUTTON); }
void RestoreFromTaskbar(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0); }

}  // namespace user_input

size_t LiveHeapBlocks(HANDLE heap) {
  size_t count = 0;
  PROCESS_HEAP_ENTRY entry = {};
  HeapLock(heap);
  while (HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++count;
  }
  HeapUnlock(heap);
  return count;
}
