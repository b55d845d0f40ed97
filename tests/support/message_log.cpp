#include "support/message_log.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

void MessageLog::Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!filter_.empty() && std::find(filter_.begin(), filter_.end(), message) == filter_.end()) return;
  log_.push_back({window, message, wParam, lParam});
}

size_t MessageLog::Count(UINT message) const {
  return static_cast<size_t>(
      std::count_if(log_.begin(), log_.end(), [message](const LoggedMessage& m) { return m.message == message; }));
}

namespace {

struct Subclass {
  HWND window;
  WNDPROC previous;
  MessageLog* log;
};
std::vector<Subclass> subclasses;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  for (const Subclass& s : subclasses) {
    if (s.window != window) continue;
    // Copied first: the log may detach while the message is handled.
    const WNDPROC previous = s.previous;
    s.log->Record(window, message, wParam, lParam);
    return CallWindowProcW(previous, window, message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool Same(const ExpectedMessage& e, const LoggedMessage& m) {
  if (e.message != m.message) return false;
  if ((e.flags & MsgCheckWParam) && e.wParam != m.wParam) return false;
  if ((e.flags & MsgCheckLParam) && e.lParam != m.lParam) return false;
  return true;
}

std::string Describe(UINT message, WPARAM wParam, LPARAM lParam) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, " (w=%#llx l=%#llx)", static_cast<unsigned long long>(wParam),
                static_cast<unsigned long long>(lParam));
  return MessageName(message) + buffer;
}

}  // namespace

::testing::AssertionResult MessageLog::Matches(const ExpectedMessage* expected, size_t count, bool hosted) const {
  size_t got = 0;
  bool ok = true;
  std::ostringstream why;
  for (size_t i = 0; i < count; ++i) {
    const ExpectedMessage& e = expected[i];
    const bool skip = hosted && (e.flags & MsgTodoHosted);
    if (got < log_.size() && Same(e, log_[got])) {
      ++got;
      continue;
    }
    if ((e.flags & MsgOptional) || skip) continue;
    ok = false;
    why << "expected #" << i << " " << Describe(e.message, e.wParam, e.lParam) << " but got "
        << (got < log_.size() ? Describe(log_[got].message, log_[got].wParam, log_[got].lParam) : "nothing") << "\n";
    break;
  }
  if (ok && got != log_.size()) {
    ok = false;
    why << "unexpected " << Describe(log_[got].message, log_[got].wParam, log_[got].lParam) << " after the sequence\n";
  }
  if (ok) return ::testing::AssertionSuccess();
  std::ostringstream all;
  all << why.str() << "expected:\n";
  for (size_t i = 0; i < count; ++i)
    all << "  " << Describe(expected[i].message, expected[i].wParam, expected[i].lParam)
        << ((expected[i].flags & MsgOptional) ? " [optional]" : "")
        << ((expected[i].flags & MsgTodoHosted) ? " [todo hosted]" : "") << "\n";
  all << "got:\n";
  for (const LoggedMessage& m : log_) all << "  " << Describe(m.message, m.wParam, m.lParam) << "\n";
  return ::testing::AssertionFailure() << all.str();
}

void MessageLog::Attach(HWND window) {
  const auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc)));
  if (previous != nullptr) subclasses.push_back({window, previous, this});
}

void MessageLog::DetachAll() {
  for (auto it = subclasses.begin(); it != subclasses.end();) {
    if (it->log != this) {
      ++it;
      continue;
    }
    if (IsWindow(it->window)) SetWindowLongPtrW(it->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->previous));
    it = subclasses.erase(it);
  }
}

std::string MessageName(UINT message) {
  static const struct {
    UINT id;
    const char* name;
  } names[] = {
      {0x0000, "WM_NULL"},         {0x0001, "WM_CREATE"},         {0x0002, "WM_DESTROY"},
      {0x0003, "WM_MOVE"},         {0x0005, "WM_SIZE"},           {0x0006, "WM_ACTIVATE"},
      {0x0007, "WM_SETFOCUS"},     {0x0008, "WM_KILLFOCUS"},      {0x000A, "WM_ENABLE"},
      {0x000C, "WM_SETTEXT"},      {0x000F, "WM_PAINT"},          {0x0010, "WM_CLOSE"},
      {0x0012, "WM_QUIT"},         {0x0014, "WM_ERASEBKGND"},     {0x0015, "WM_SYSCOLORCHANGE"},
      {0x0018, "WM_SHOWWINDOW"},   {0x001C, "WM_ACTIVATEAPP"},    {0x0024, "WM_GETMINMAXINFO"},
      {0x0046, "WM_WINDOWPOSCHANGING"}, {0x0047, "WM_WINDOWPOSCHANGED"}, {0x004E, "WM_NOTIFY"},
      {0x0081, "WM_NCCREATE"},     {0x0082, "WM_NCDESTROY"},      {0x0083, "WM_NCCALCSIZE"},
      {0x0084, "WM_NCHITTEST"},    {0x0085, "WM_NCPAINT"},        {0x0086, "WM_NCACTIVATE"},
      {0x00A1, "WM_NCLBUTTONDOWN"}, {0x00A2, "WM_NCLBUTTONUP"},   {0x0100, "WM_KEYDOWN"},
      {0x0101, "WM_KEYUP"},        {0x0102, "WM_CHAR"},           {0x0104, "WM_SYSKEYDOWN"},
      {0x0105, "WM_SYSKEYUP"},     {0x0111, "WM_COMMAND"},        {0x0112, "WM_SYSCOMMAND"},
      {0x0113, "WM_TIMER"},        {0x0127, "WM_CHANGEUISTATE"},  {0x0128, "WM_UPDATEUISTATE"},
      {0x0129, "WM_QUERYUISTATE"}, {0x0200, "WM_MOUSEMOVE"},      {0x0201, "WM_LBUTTONDOWN"},
      {0x0202, "WM_LBUTTONUP"},    {0x0203, "WM_LBUTTONDBLCLK"},  {0x0205, "WM_RBUTTONUP"},
      {0x0215, "WM_CAPTURECHANGED"}, {0x0231, "WM_ENTERSIZEMOVE"}, {0x0232, "WM_EXITSIZEMOVE"},
  };
  for (const auto& n : names)
    if (n.id == message) return n.name;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "message %u", message);
  return buffer;
}
