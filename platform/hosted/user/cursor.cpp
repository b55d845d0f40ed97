// Cursor confinement of user32. The substitute has no real pointer to
// confine; it keeps the rectangle so that GetClipCursor reports it.
#include <mutex>

#include "platform.h"

namespace user {
namespace {

std::mutex clipLock;
bool clipped = false;
RECT clip = {};

}  // namespace
}  // namespace user

BOOL WINAPI ClipCursor(const RECT* rect) {
  std::lock_guard<std::mutex> guard(user::clipLock);
  user::clipped = rect != nullptr;
  if (rect != nullptr) user::clip = *rect;
  return TRUE;
}

BOOL WINAPI GetClipCursor(LPRECT rect) {
  if (rect == nullptr) return FALSE;
  std::lock_guard<std::mutex> guard(user::clipLock);
  if (user::clipped) {
    *rect = user::clip;
  } else {
    // Unconfined: the whole virtual screen.
    *rect = {0, 0, 1024, 768};
  }
  return TRUE;
}
