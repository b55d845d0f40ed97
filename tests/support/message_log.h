// Message-order checks: a window procedure records the messages it receives,
// and a test compares them with a named, static sequence.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform.h"

enum ExpectedFlags : unsigned {
  MsgOptional = 1,  // may be absent
  MsgCheckWParam = 2,  // wParam must match
  MsgCheckLParam = 4,  // lParam must match
  // Known to differ on the hosted substitute; still checked on Windows.
  MsgTodoHosted = 8,
};

struct ExpectedMessage {
  UINT message;
  unsigned flags;
  WPARAM wParam;
  LPARAM lParam;
};

struct LoggedMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class MessageLog {
 public:
  MessageLog() = default;
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;
  ~MessageLog() { DetachAll(); }

  // Only these messages are kept; an empty filter keeps every message.
  void Filter(std::initializer_list<UINT> messages) { filter_.assign(messages); }
  void Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Clear() { log_.clear(); }
  const std::vector<LoggedMessage>& Messages() const { return log_; }
  size_t Count(UINT message) const;

  // Records every message that window receives from now on, ahead of the
  // window's own procedure, which still gets each one (the window is
  // subclassed, chaining with CallWindowProcW). DetachAll gives windows that
  // still exist their procedure back.
  void Attach(HWND window);
  void DetachAll();

  // True when the log matches the sequence; otherwise a failure that prints
  // both lists and the caller's file and line.
  ::testing::AssertionResult Matches(const ExpectedMessage* expected, size_t count, bool hosted) const;

 private:
  std::vector<UINT> filter_;
  std::vector<LoggedMessage> log_;
};

// A readable name for a message identifier ("WM_ACTIVATE").
std::string MessageName(UINT message);

// True on the hosted lane (the substitute), false on Windows.
bool RunningOnSubstitute();

#define EXPECT_MESSAGES(log, sequence) \
  EXPECT_TRUE((log).Matches((sequence), sizeof(sequence) / sizeof((sequence)[0]), RunningOnSubstitute()))
