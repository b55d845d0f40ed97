#include <gtest/gtest.h>

#include "runtime/stringmap.h"
#include "support/test_support.h"
#include "window/events.h"
#include "window/window.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

// Dispatches every message waiting for this thread.
void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

PostedEventBlock* NewBlock(int32_t code, ObjectId object, ObjectId window, int32_t type, INT_PTR data) {
  auto* block = static_cast<PostedEventBlock*>(HeapAlloc(MainHeap, 0, sizeof(PostedEventBlock)));
  if (!block) return nullptr;
  // The receiver must not read the first word.
  block->reserved = static_cast<INT_PTR>(0x5A5A5A5A);
  block->code = code;
  block->object = object;
  block->window = window;
  block->type = type;
  block->data = data;
  return block;
}

// The facility as start-up leaves it: hidden window, message, queue and
// binding table.
class PostedEventsTest : public RuntimeHeapsTest {
 protected:
  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    Globals.instance = GetModuleHandleW(nullptr);
    StringMapsInit();
    PostedEventsInit();
    ASSERT_NE(PostEventWindow, nullptr);
    ASSERT_NE(EventQueue, nullptr);
  }
  void TearDown() override {
    PostedEventsEnd();
    PumpMessages();
    RuntimeHeapsTest::TearDown();
  }
};

TEST_F(PostedEventsTest, InitMakesAHiddenWindowAndRegistersTheMessage) {
  EXPECT_TRUE(IsWindow(PostEventWindow));
  EXPECT_FALSE(IsWindowVisible(PostEventWindow));
  WCHAR className[32] = {};
  ASSERT_GT(GetClassNameW(PostEventWindow, className, 32), 0);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(className)), u"PostEventClass");
  EXPECT_EQ(GetWindowLongW(PostEventWindow, GWL_STYLE) & (WS_CAPTION | WS_VISIBLE), WS_CAPTION);
  EXPECT_EQ(GetParent(PostEventWindow), nullptr);

  EXPECT_GE(PostEventMessage, 0xC000u);
  EXPECT_EQ(PostEventMessage, RegisterWindowMessageA("ZW_PostEventMessage"));

  EXPECT_EQ(EventQueue->head, nullptr);
  EXPECT_EQ(EventBindings->bucketCount, 1024);
  EXPECT_EQ(EventBindings->count, 0);
}

TEST_F(PostedEventsTest, EndDestroysTheWindowAndAStartAfterItWorksAgain) {
  HWND first = PostEventWindow;
  PostedEventsEnd();
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(PostEventWindow, nullptr);

  // The class stays registered, so a second start makes a working window.
  PostedEventsInit();
  ASSERT_NE(PostEventWindow, nullptr);
  EXPECT_TRUE(IsWindow(PostEventWindow));
  PostedEventBlock* block = NewBlock(EventTimer, 1, 2, 0, 0);
  ASSERT_NE(block, nullptr);
  ASSERT_TRUE(PostMessageW(PostEventWindow, PostEventMessage, 0, reinterpret_cast<LPARAM>(block)));
  PumpMessages();
  EXPECT_EQ(EventFetch(), EventTimer);
}

TEST_F(PostedEventsTest, WindowProcAppendsTheBlockAndFreesIt) {
  PostedEventBlock* block = NewBlock(70000, 11, 12, 13, 14);
  ASSERT_NE(block, nullptr);
  const size_t live = LiveHeapBlocks(MainHeap);

  EXPECT_EQ(PostEventWindowProc(PostEventWindow, PostEventMessage, 0, reinterpret_cast<LPARAM>(block)), 0);
  EXPECT_EQ(LiveHeapBlocks(MainHeap), live - 1);
  ASSERT_EQ(EventFetch(), 70000);
  EXPECT_EQ(EventQueue->curObject, 11);
  EXPECT_EQ(EventQueue->curWindow, 12);
  EXPECT_EQ(EventQueue->curType, 13);
  EXPECT_EQ(EventQueue->curData, 14);
  EXPECT_EQ(EventQueue->curRelease, nullptr);
}

TEST_F(PostedEventsTest, WindowProcIgnoresANullBlockAndOtherMessages) {
  EXPECT_EQ(PostEventWindowProc(PostEventWindow, PostEventMessage, 0, 0), 0);
  EXPECT_EQ(PostEventWindowProc(PostEventWindow, WM_USER + 1, 0, 0), 0);
  EXPECT_EQ(EventFetch(), 0);
}

TEST_F(PostedEventsTest, WindowProcLeavesOtherMessagesToTheDefaultProcedure) {
  // The default procedure destroys a window asked to close.
  PostEventWindowProc(PostEventWindow, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(PostEventWindow));
  EXPECT_EQ(EventFetch(), 0);
}

TEST_F(PostedEventsTest, EachPollDispatchesOneBlockAndTheNextReturnsItsEvent) {
  const size_t live = LiveHeapBlocks(MainHeap);
  for (int i = 0; i < 3; ++i) {
    PostedEventBlock* block = NewBlock(EventControl, i, 5, 0, 100 + i);
    ASSERT_NE(block, nullptr);
    ASSERT_TRUE(PostMessageW(PostEventWindow, PostEventMessage, 0, reinterpret_cast<LPARAM>(block)));
  }
  EXPECT_EQ(LiveHeapBlocks(MainHeap), live + 3);
  for (int i = 0; i < 3; ++i) {
    // The poll that retrieves the message appends the event and frees the
    // block; the event itself comes out of the following poll.
    EXPECT_EQ(WindowPollEvent(), static_cast<int32_t>(PostEventMessage)) << i;
    EXPECT_EQ(LiveHeapBlocks(MainHeap), live + 2 - i);
    EXPECT_EQ(WindowPollEvent(), EventControl) << i;
    EXPECT_EQ(EventQueue->curObject, i);
    EXPECT_EQ(EventQueue->curWindow, 5);
    EXPECT_EQ(EventQueue->curData, 100 + i);
  }
  EXPECT_EQ(WindowPollEvent(), 0);
}

TEST_F(PostedEventsTest, EightThreadsPostingWhileTheOwnerPollsLoseNothing) {
  constexpr int Threads = 8;
  constexpr int PerThread = 10000;
  constexpr int32_t BaseCode = 20000;
  const size_t live = LiveHeapBlocks(MainHeap);

  std::atomic<int> postingDone{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < Threads; ++t) {
    senders.emplace_back([t, &postingDone, &failures] {
      for (int i = 0; i < PerThread; ++i) {
        // Object numbers differ from one event to the next, so nothing merges.
        PostedEventBlock* block = NewBlock(BaseCode + t, i, t, 0, t * PerThread + i + 1);
        if (!block) {
          ++failures;
          continue;
        }
        // A full message queue refuses the post; the block is still ours.
        while (!PostMessageW(PostEventWindow, PostEventMessage, 0, reinterpret_cast<LPARAM>(block))) {
          std::this_thread::yield();
        }
      }
      ++postingDone;
    });
  }

  std::vector<int> next(Threads, 0);
  int received = 0;
  int outOfOrder = 0;
  for (;;) {
    const bool allPosted = postingDone == Threads;
    const int32_t code = WindowPollEvent();
    if (code == 0) {
      // Both queues were empty after the last post: nothing more can come.
      if (allPosted) break;
      continue;
    }
    // Native message identifiers (the posted message among them) are not
    // events; a lost or garbled event shows in the count below.
    const int t = code - BaseCode;
    if (t < 0 || t >= Threads) continue;
    ++received;
    if (EventQueue->curWindow != t || EventQueue->curObject != next[t] ||
        EventQueue->curData != t * PerThread + next[t] + 1) {
      ++outOfOrder;
      continue;
    }
    ++next[t];
  }
  for (std::thread& sender : senders) sender.join();

  EXPECT_EQ(failures, 0);
  EXPECT_EQ(outOfOrder, 0);
  EXPECT_EQ(received, Threads * PerThread);
  for (int t = 0; t < Threads; ++t) EXPECT_EQ(next[t], PerThread) << "thread " << t;
  // Every block was freed by the receiver.
  EXPECT_EQ(LiveHeapBlocks(MainHeap), live);
}

}  // namespace
