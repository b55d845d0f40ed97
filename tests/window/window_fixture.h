// A started runtime for window tests, and a poll loop that keeps what the
// runtime events carried.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "system/startup.h"
#include "window/events.h"
#include "window/window.h"

struct PolledEvent {
  int32_t code;
  ObjectId object;
  ObjectId window;
  int32_t type;
};

inline bool operator==(const PolledEvent& a, const PolledEvent& b) {
  return a.code == b.code && a.object == b.object && a.window == b.window && a.type == b.type;
}

inline std::ostream& operator<<(std::ostream& out, const PolledEvent& e) {
  return out << "{" << e.code << ", object " << e.object << ", window " << e.window << ", type " << e.type << "}";
}

class WindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static const signed char tables[1] = {0};
    RuntimeStart(tables);
    Poll();
  }
  void TearDown() override {
    if (MainHeap != nullptr) RuntimeRelease();
    // Leftovers of destroyed windows must not reach the next test.
    MSG msg;
    for (int i = 0; i < 200 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&msg);
  }

  // Polls until both queues are empty. Runtime events come back in order;
  // the identifiers of native messages go to native when given.
  static std::vector<PolledEvent> Poll(std::vector<UINT>* native = nullptr) {
    std::vector<PolledEvent> events;
    for (int i = 0; i < 500; ++i) {
      const int32_t code = WindowPollEvent();
      if (EventQueue->curCode != 0) {
        events.push_back({code, EventQueue->curObject, EventQueue->curWindow, EventQueue->curType});
        continue;
      }
      MSG msg;
      // 0 is also what WM_NULL gives, so look whether anything is left.
      if (code == 0 && EventQueue->head == nullptr && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) break;
      if (native != nullptr) native->push_back(static_cast<UINT>(code));
    }
    return events;
  }

  // Only the events with one of these codes, in order.
  static std::vector<PolledEvent> Only(const std::vector<PolledEvent>& events, std::initializer_list<int32_t> codes) {
    std::vector<PolledEvent> kept;
    for (const PolledEvent& e : events)
      for (int32_t c : codes)
        if (e.code == c) kept.push_back(e);
    return kept;
  }

  static WindowRecord* Record(ObjectId number) {
    return static_cast<WindowRecord*>(ObjectGet(WindowTable, number));
  }

  static HWND OpenScene() {
    return reinterpret_cast<HWND>(WindowOpen(0, 0, 0, 640, 480, TEXT("Cube"), 0xCA0000));
  }
};

// The same with the scene's window open and the events of its opening taken.
class SceneWindowFixture : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    window = OpenScene();
    ASSERT_NE(window, nullptr);
    Poll();
  }
  HWND window = nullptr;
};
