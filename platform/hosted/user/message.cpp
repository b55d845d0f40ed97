// The per-thread message queue: posting from any thread, sending, peeking
// and waiting, dispatching, and the paint messages that come from invalid
// regions when nothing else is waiting.
#include <algorithm>
#include <chrono>
#include <map>

#include "display/backend.h"
#include "kernel/clock.h"
#include "user/internal.h"

namespace user {
namespace {

std::map<DWORD, std::shared_ptr<Queue>>& Queues() {
  static std::map<DWORD, std::shared_ptr<Queue>> queues;
  return queues;
}

bool InRange(UINT message, UINT first, UINT last) {
  if (first == 0 && last == 0) return true;
  if (last < first) return message >= first || message <= last;
  return message >= first && message <= last;
}

bool ForFilter(const MSG& m, HWND filter) {
  if (filter == nullptr) return true;
  if (filter == reinterpret_cast<HWND>(-1)) return m.hwnd == nullptr;
  return m.hwnd == filter || IsChild(filter, m.hwnd);
}

// Runs the messages other threads sent to this one.
void ReceiveSent(Queue& q) {
  for (;;) {
    std::shared_ptr<SentMessage> item;
    {
      std::lock_guard<std::mutex> guard(q.lock);
      if (q.sent.empty()) return;
      item = q.sent.front();
      q.sent.pop_front();
    }
    LRESULT result = 0;
    if (WindowRef w = Peek(item->msg.hwnd)) result = Call(w, item->msg.message, item->msg.wParam, item->msg.lParam);
    std::shared_ptr<Queue> sender = QueueOf(item->sender);
    {
      std::lock_guard<std::mutex> guard(sender->lock);
      item->result = result;
      item->done = true;
    }
    sender->wake.notify_all();
  }
}

// The first window of this thread, parents before children, that needs
// painting.
HWND PaintTarget(DWORD thread, HWND filter) {
  if (!AnyPaintPending(thread)) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  std::vector<Window*> pending;
  for (auto& top : TopLevels()) pending.push_back(top.get());
  while (!pending.empty()) {
    Window* w = pending.front();
    pending.erase(pending.begin());
    if (w->threadId != thread || !(w->style & WS_VISIBLE)) continue;
    if (w->hasUpdate && (filter == nullptr || filter == w->handle || IsChild(filter, w->handle))) return w->handle;
    pending.insert(pending.end(), w->children.begin(), w->children.end());
  }
  return nullptr;
}

bool TakeFrom(std::deque<MSG>& list, MSG* out, HWND filter, UINT first, UINT last, bool remove) {
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (!ForFilter(*it, filter) || !InRange(it->message, first, last)) continue;
    *out = *it;
    if (remove) list.erase(it);
    return true;
  }
  return false;
}

bool PeekOnce(Queue& q, MSG* msg, HWND filter, UINT first, UINT last, UINT flags) {
  ReceiveSent(q);
  // The display may have user input waiting for this thread.
  if (const display::Backend* backend = display::Current())
    if (backend->pump) backend->pump();
  const bool remove = (flags & PM_REMOVE) != 0;
  MSG m = {};
  bool found = false;
  bool isInput = false;
  {
    std::lock_guard<std::mutex> guard(q.lock);
    if (TakeFrom(q.posted, &m, filter, first, last, remove)) {
      found = true;
    } else if (q.quit && (filter == nullptr || filter == reinterpret_cast<HWND>(-1)) &&
               InRange(WM_QUIT, first, last)) {
      m = {nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, Now(), {}};
      if (remove) q.quit = false;
      found = true;
    } else if (TakeFrom(q.input, &m, filter, first, last, remove)) {
      found = true;
      isInput = true;
    }
  }
  if (!found && InRange(WM_PAINT, first, last)) {
    HWND target = PaintTarget(q.threadId, filter == reinterpret_cast<HWND>(-1) ? nullptr : filter);
    if (target != nullptr && filter != reinterpret_cast<HWND>(-1)) {
      // WM_PAINT stays until the window is validated.
      m = {target, WM_PAINT, 0, 0, Now(), {}};
      found = true;
    }
  }
  if (!found) return false;
  if (isInput) CookMouse(&m, remove);
  if (isInput && remove) KeyProcessed(m);
  q.messageTime = m.time;
  *msg = m;
  return true;
}

DWORD QueueBits(Queue& q) {
  DWORD bits = 0;
  {
    std::lock_guard<std::mutex> guard(q.lock);
    if (!q.posted.empty() || q.quit) bits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    if (!q.sent.empty()) bits |= QS_SENDMESSAGE;
    for (const MSG& m : q.input) {
      if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) bits |= QS_KEY;
      else if (m.message == WM_MOUSEMOVE || m.message == WM_NCMOUSEMOVE) bits |= QS_MOUSEMOVE;
      else bits |= QS_MOUSEBUTTON;
    }
  }
  if (PaintTarget(q.threadId, nullptr) != nullptr) bits |= QS_PAINT;
  return bits;
}

}  // namespace

DWORD Now() { return GetTickCount(); }

std::shared_ptr<Queue> CurrentQueue() {
  thread_local std::shared_ptr<Queue> mine;
  if (!mine) mine = QueueOf(GetCurrentThreadId());
  return mine;
}

std::shared_ptr<Queue> QueueOf(DWORD threadId) {
  std::lock_guard<std::recursive_mutex> guard(TableLock());
  auto& slot = Queues()[threadId];
  if (!slot) {
    slot = std::make_shared<Queue>();
    slot->threadId = threadId;
  }
  return slot;
}

void Post(const std::shared_ptr<Queue>& queue, const MSG& msg) {
  {
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->posted.push_back(msg);
  }
  queue->wake.notify_all();
}

void PostInput(const std::shared_ptr<Queue>& queue, const MSG& msg) {
  {
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->input.push_back(msg);
  }
  queue->wake.notify_all();
}

LRESULT Call(const WindowRef& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!w || w->destroyed || w->proc == nullptr) return 0;
  Queue& q = *w->queue;
  q.sendDepth++;
  LRESULT result = w->proc(w->handle, message, wParam, lParam);
  q.sendDepth--;
  return result;
}

LRESULT Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRef w = Find(handle);
  if (!w) return 0;
  if (w->threadId == GetCurrentThreadId()) return Call(w, message, wParam, lParam);
  // Another thread's window: its owner runs the procedure while this thread
  // waits, still answering what is sent to it meanwhile.
  auto item = std::make_shared<SentMessage>();
  item->msg = {handle, message, wParam, lParam, Now(), {}};
  item->sender = GetCurrentThreadId();
  {
    std::lock_guard<std::mutex> guard(w->queue->lock);
    w->queue->sent.push_back(item);
  }
  w->queue->wake.notify_all();
  std::shared_ptr<Queue> mine = CurrentQueue();
  for (;;) {
    ReceiveSent(*mine);
    std::unique_lock<std::mutex> lock(mine->lock);
    if (item->done) return item->result;
    mine->wake.wait_for(lock, std::chrono::milliseconds(10));
    if (item->done) return item->result;
    // The receiver died with its window: give up as Windows does.
    if (!Peek(handle)) return 0;
  }
}

}  // namespace user

using user::WindowRef;

LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return user::Send(window, message, wParam, lParam);
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return user::Send(window, message, wParam, lParam);
}

BOOL WINAPI PostMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  if (handle == nullptr) return PostThreadMessageW(GetCurrentThreadId(), message, wParam, lParam);
  WindowRef w = user::Find(handle);
  if (!w) return FALSE;
  POINT pt = {};
  GetCursorPos(&pt);
  user::Post(w->queue, {handle, message, wParam, lParam, user::Now(), pt});
  return TRUE;
}

BOOL WINAPI PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(handle, message, wParam, lParam);
}

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<user::Queue> queue;
  {
    std::lock_guard<std::recursive_mutex> guard(user::TableLock());
    auto it = user::Queues().find(threadId);
    if (it != user::Queues().end()) queue = it->second;
  }
  if (!queue) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  user::Post(queue, {nullptr, message, wParam, lParam, user::Now(), {}});
  return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
  user::Queue& q = *user::CurrentQueue();
  std::lock_guard<std::mutex> guard(q.lock);
  q.quit = true;
  q.quitCode = exitCode;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT flags) {
  if (msg == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  if (window != nullptr && window != reinterpret_cast<HWND>(-1) && !user::Find(window)) return FALSE;
  return user::PeekOnce(*user::CurrentQueue(), msg, window, first, last, flags);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT flags) {
  return PeekMessageW(msg, window, first, last, flags);
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT first, UINT last) {
  if (msg == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return -1;
  }
  if (window != nullptr && window != reinterpret_cast<HWND>(-1) && !user::Find(window)) return -1;
  std::shared_ptr<user::Queue> q = user::CurrentQueue();
  for (;;) {
    if (user::PeekOnce(*q, msg, window, first, last, PM_REMOVE)) return msg->message != WM_QUIT;
    std::unique_lock<std::mutex> lock(q->lock);
    if (q->posted.empty() && q->input.empty() && q->sent.empty() && !q->quit)
      q->wake.wait_for(lock, std::chrono::milliseconds(10));
  }
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT first, UINT last) {
  return GetMessageW(msg, window, first, last);
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE*, BOOL, DWORD milliseconds, DWORD mask) {
  // The queue takes one of the 64 places, as on Windows.
  if (count >= MAXIMUM_WAIT_OBJECTS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  // Only the queue can be waited on: this subset has no waitable kernel
  // objects, so no handle names one.
  if (count > 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::shared_ptr<user::Queue> q = user::CurrentQueue();
  const uint64_t deadline = kernel::NowMicros() + uint64_t{milliseconds} * 1000u;
  for (;;) {
    user::ReceiveSent(*q);
    if (const display::Backend* backend = display::Current())
      if (backend->pump) backend->pump();
    if (user::QueueBits(*q) & mask) return WAIT_OBJECT_0;
    const uint64_t now = kernel::NowMicros();
    if (milliseconds != INFINITE && now >= deadline) return WAIT_TIMEOUT;
    // The display's input is pumped, not notified: look again within 5 ms.
    uint64_t until = now + 5000u;
    if (milliseconds != INFINITE) until = std::min(until, deadline);
    std::unique_lock<std::mutex> lock(q->lock);
    kernel::WaitUntilMicros(q->wake, lock, until);
  }
}

DWORD WINAPI GetQueueStatus(UINT flags) {
  return MAKELONG(user::QueueBits(*user::CurrentQueue()) & flags, user::QueueBits(*user::CurrentQueue()) & flags);
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
  if (msg == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;
  WindowRef w = user::Find(msg->hwnd);
  if (!w) return 0;
  if (w->threadId != GetCurrentThreadId()) {
    SetLastError(ERROR_MESSAGE_SYNC_ONLY);
    return 0;
  }
  return user::Call(w, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) { return DispatchMessageW(msg); }

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (proc == nullptr) return 0;
  return proc(window, message, wParam, lParam);
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(proc, window, message, wParam, lParam);
}

DWORD WINAPI GetMessageTime() { return user::CurrentQueue()->messageTime; }

BOOL WINAPI InSendMessage() { return FALSE; }
