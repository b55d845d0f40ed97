#include <gtest/gtest.h>

#include "runtime/pool.h"
#include "runtime/stringmap.h"
#include "support/test_support.h"
#include "window/events.h"

#include <climits>
#include <cstdint>
#include <vector>

namespace {

// A queue with an empty binding table, as start-up leaves it.
class EventQueueTest : public RuntimeHeapsTest {
 protected:
  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    StringMapsInit();
    EventQueueInit();
    ASSERT_NE(EventQueue, nullptr);
    ASSERT_NE(EventBindings, nullptr);
    Released().clear();
    Calls().clear();
  }

  // Releases seen by Record, in order.
  static std::vector<INT_PTR>& Released() {
    static std::vector<INT_PTR> released;
    return released;
  }
  static void Record(INT_PTR data) { Released().push_back(data); }

  // Binding callbacks seen, in order, with the current event at the time.
  struct Call {
    int id;
    int32_t code;
    ObjectId window;
    ObjectId object;
    int32_t type;
    INT_PTR data;
    EventReleaseFn release;
  };
  static std::vector<Call>& Calls() {
    static std::vector<Call> calls;
    return calls;
  }
  template <int Id>
  static void Callback() {
    const EventQueueState* q = EventQueue;
    Calls().push_back({Id, q->curCode, q->curWindow, q->curObject, q->curType, q->curData, q->curRelease});
  }
  static std::vector<int> CallIds() {
    std::vector<int> ids;
    for (const Call& call : Calls()) ids.push_back(call.id);
    return ids;
  }

  static std::vector<EventNode> Queued() {
    std::vector<EventNode> nodes;
    for (EventNode* node = EventQueue->head; node; node = node->next) nodes.push_back(*node);
    return nodes;
  }
};

TEST_F(EventQueueTest, EmptyFetchGivesZeroAndNoTypeButKeepsWindowAndObject) {
  EXPECT_EQ(EventFetch(), 0);
  EXPECT_EQ(EventQueue->curType, -1);

  EventAppend(EventMoveWindow, 7, 5, 3, 0, nullptr);
  EXPECT_EQ(EventFetch(), EventMoveWindow);
  EXPECT_EQ(EventQueue->curType, 3);
  EXPECT_EQ(EventFetch(), 0);
  EXPECT_EQ(EventQueue->curCode, 0);
  EXPECT_EQ(EventQueue->curType, -1);
  EXPECT_EQ(EventQueue->curWindow, 5);
  EXPECT_EQ(EventQueue->curObject, 7);
  EXPECT_EQ(EventQueue->head, nullptr);
  EXPECT_EQ(EventQueue->tail, nullptr);
}

TEST_F(EventQueueTest, FetchGivesOldestFirstWithEveryField) {
  EventAppend(EventActivate, 0, -1, 0, 0, nullptr);
  EventAppend(EventControl, 12, 2, 768, 99, Record);
  EventAppend(EventCloseWindow, 2, 2, 0, 0, nullptr);

  EXPECT_EQ(EventFetch(), EventActivate);
  EXPECT_EQ(EventQueue->curWindow, -1);
  EXPECT_EQ(EventFetch(), EventControl);
  EXPECT_EQ(EventQueue->curObject, 12);
  EXPECT_EQ(EventQueue->curWindow, 2);
  EXPECT_EQ(EventQueue->curType, 768);
  EXPECT_EQ(EventQueue->curData, 99);
  EXPECT_EQ(EventQueue->curRelease, &Record);
  EXPECT_EQ(EventFetch(), EventCloseWindow);
  EXPECT_EQ(EventQueue->curObject, 2);
  EXPECT_EQ(EventFetch(), 0);

  // The queue works again after draining.
  EventAppend(EventRepaint, 0, 1, 0, 0, nullptr);
  EXPECT_EQ(EventQueue->head, EventQueue->tail);
  EXPECT_EQ(EventFetch(), EventRepaint);
}

TEST_F(EventQueueTest, DrainedQueueKeepsItsFirstChunk) {
  const int32_t blocks = EventQueue->pool->totalBlocks;
  EXPECT_EQ(blocks, 16);
  for (int i = 0; i < 3; ++i) {
    EventAppend(EventTimer, i, 0, 0, 0, nullptr);
    EXPECT_EQ(EventFetch(), EventTimer);
  }
  EXPECT_EQ(EventQueue->pool->totalBlocks, blocks);

  // Past the first chunk the pool grows, and gives the growth back once
  // the queue drains.
  for (int i = 0; i < 40; ++i) EventAppend(EventTimer, i, 0, 0, 0, nullptr);
  EXPECT_GT(EventQueue->pool->totalBlocks, blocks);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(EventFetch(), EventTimer);
    EXPECT_EQ(EventQueue->curObject, i);
  }
  EXPECT_EQ(EventQueue->pool->totalBlocks, blocks);
}

TEST_F(EventQueueTest, QueueWithoutAPoolLosesEventsButStillRunsBindings) {
  // What start-up leaves when the pool could not be made.
  BlockPool* pool = EventQueue->pool;
  EventQueue->pool = nullptr;
  ASSERT_EQ(BindingAdd(EventTimer, -1, -1, -1, Callback<1>), 1);
  EventAppend(EventTimer, 1, 2, 0, 0, nullptr);
  EXPECT_EQ(CallIds(), std::vector<int>{1});
  EXPECT_EQ(EventQueue->head, nullptr);
  EXPECT_EQ(EventFetch(), 0);
  EventPurgeWindow(2);
  EventQueue->pool = pool;
}

TEST_F(EventQueueTest, MergeRuleComparesOnlyTheNewestAndSparesHighCodes) {
  struct Event {
    int32_t code;
    ObjectId object;
    ObjectId window;
    int32_t type;
  };
  struct Case {
    const char* name;
    std::vector<Event> posted;
    size_t queued;
  };
  const Case cases[] = {
      {"same close twice", {{13116, 0, 0, 0}, {13116, 0, 0, 0}}, 1},
      {"close, repaint, close", {{13116, 0, 0, 0}, {13115, 0, 0, 0}, {13116, 0, 0, 0}}, 3},
      {"high code twice", {{70000, 0, 0, 0}, {70000, 0, 0, 0}}, 2},
      {"65536 is high", {{65536, 1, 1, 1}, {65536, 1, 1, 1}}, 2},
      {"65535 merges", {{65535, 1, 1, 1}, {65535, 1, 1, 1}}, 1},
      {"negative codes merge", {{-4, 0, 0, 0}, {-4, 0, 0, 0}}, 1},
      {"other object", {{13100, 1, 0, 0}, {13100, 2, 0, 0}}, 2},
      {"other window", {{13117, 0, 1, 0}, {13117, 0, 2, 0}}, 2},
      {"other type", {{13100, 1, 0, 1}, {13100, 1, 0, 2}}, 2},
      {"burst of five", {{13115, 0, 3, 0}, {13115, 0, 3, 0}, {13115, 0, 3, 0}, {13115, 0, 3, 0}, {13115, 0, 3, 0}}, 1},
  };
  for (const Case& c : cases) {
    for (const Event& e : c.posted) EventAppend(e.code, e.object, e.window, e.type, 0, nullptr);
    EXPECT_EQ(Queued().size(), c.queued) << c.name;
    while (EventFetch() != 0) {
    }
  }
}

TEST_F(EventQueueTest, MergedEventKeepsTheFirstDataAndDropsTheSecond) {
  EventAppend(EventRepaint, 0, 0, 0, 11, Record);
  EventAppend(EventRepaint, 0, 0, 0, 22, Record);
  ASSERT_EQ(EventFetch(), EventRepaint);
  EXPECT_EQ(EventQueue->curData, 11);
  EXPECT_EQ(EventFetch(), 0);
  // The dropped data is never released: it was never queued.
  EXPECT_EQ(Released(), std::vector<INT_PTR>{11});
}

TEST_F(EventQueueTest, PurgeKeepsOtherWindowsInOrderAndFixesTail) {
  EventAppend(EventTimer, 1, 0, 0, 101, Record);
  EventAppend(EventTimer, 2, 1, 0, 0, nullptr);
  EventAppend(EventTimer, 3, 0, 0, 103, Record);
  EventAppend(EventTimer, 4, 1, 0, 0, nullptr);

  EventPurgeWindow(0);
  std::vector<EventNode> kept = Queued();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].object, 2);
  EXPECT_EQ(kept[1].object, 4);
  EXPECT_EQ(EventQueue->tail, EventQueue->head->next);
  EXPECT_EQ(EventQueue->tail->next, nullptr);

  // A new event goes behind the fixed tail.
  EventAppend(EventTimer, 5, 1, 0, 0, nullptr);
  for (ObjectId object : {2, 4, 5}) {
    EXPECT_EQ(EventFetch(), EventTimer);
    EXPECT_EQ(EventQueue->curObject, object);
  }
  EXPECT_EQ(EventFetch(), 0);
  // Dropped events' data is not released.
  EXPECT_TRUE(Released().empty());
}

TEST_F(EventQueueTest, PurgeAtEitherEndOrOfEverythingLeavesAConsistentQueue) {
  // Window 7 at the front and the back only.
  EventAppend(EventTimer, 1, 7, 0, 0, nullptr);
  EventAppend(EventTimer, 2, 8, 0, 0, nullptr);
  EventAppend(EventTimer, 3, 9, 0, 0, nullptr);
  EventAppend(EventTimer, 4, 7, 0, 0, nullptr);
  EventPurgeWindow(7);
  std::vector<EventNode> kept = Queued();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].object, 2);
  EXPECT_EQ(kept[1].object, 3);
  EXPECT_EQ(EventQueue->tail->object, 3);

  // An unknown window changes nothing.
  EventPurgeWindow(42);
  EXPECT_EQ(Queued().size(), 2u);
  EXPECT_EQ(EventQueue->tail->object, 3);

  EventPurgeWindow(8);
  EventPurgeWindow(9);
  EXPECT_EQ(EventQueue->head, nullptr);
  EXPECT_EQ(EventQueue->tail, nullptr);
  EXPECT_EQ(EventFetch(), 0);

  // Purging an empty queue, then posting, works as on a fresh queue.
  EventPurgeWindow(0);
  EventAppend(EventRepaint, 0, 0, 0, 0, nullptr);
  EXPECT_EQ(EventQueue->head, EventQueue->tail);
  EXPECT_EQ(EventFetch(), EventRepaint);
}

TEST_F(EventQueueTest, DataIsReleasedByTheFetchAfterTheOneThatReturnedIt) {
  EventAppend(EventControl, 1, 0, 0, 41, Record);
  EventAppend(EventControl, 2, 0, 0, 42, Record);
  EventAppend(EventControl, 3, 0, 0, 0, Record);   // no data: nothing to release
  EventAppend(EventControl, 4, 0, 0, 44, nullptr);  // no release function

  ASSERT_EQ(EventFetch(), EventControl);
  EXPECT_TRUE(Released().empty());
  ASSERT_EQ(EventFetch(), EventControl);
  EXPECT_EQ(Released(), std::vector<INT_PTR>{41});
  ASSERT_EQ(EventFetch(), EventControl);
  EXPECT_EQ(Released(), (std::vector<INT_PTR>{41, 42}));
  ASSERT_EQ(EventFetch(), EventControl);
  EXPECT_EQ(EventFetch(), 0);
  EXPECT_EQ(EventFetch(), 0);
  EXPECT_EQ(Released(), (std::vector<INT_PTR>{41, 42}));

  // The last event's data goes with the empty fetch after it, once.
  EventAppend(EventTimer, 0, 0, 0, 50, Record);
  ASSERT_EQ(EventFetch(), EventTimer);
  EXPECT_EQ(EventFetch(), 0);
  EXPECT_EQ(EventFetch(), 0);
  EXPECT_EQ(Released(), (std::vector<INT_PTR>{41, 42, 50}));
  EXPECT_EQ(EventQueue->curData, 0);
  EXPECT_EQ(EventQueue->curRelease, nullptr);
}

TEST_F(EventQueueTest, BindingsRunForTheFiveKeysInOrder) {
  const int32_t code = EventControl;
  const ObjectId window = 3;
  const ObjectId object = 12;
  const int32_t type = 768;
  ASSERT_EQ(BindingAdd(code, -1, object, type, Callback<5>), 1);
  ASSERT_EQ(BindingAdd(code, -1, -1, -1, Callback<4>), 1);
  ASSERT_EQ(BindingAdd(code, window, -1, -1, Callback<3>), 1);
  ASSERT_EQ(BindingAdd(code, window, object, -1, Callback<2>), 1);
  ASSERT_EQ(BindingAdd(code, window, object, type, Callback<1>), 1);
  // Keys that are none of the five never run.
  ASSERT_EQ(BindingAdd(code, window, -1, type, Callback<90>), 1);
  ASSERT_EQ(BindingAdd(code, -1, -1, type, Callback<91>), 1);
  ASSERT_EQ(BindingAdd(code, -1, object, -1, Callback<92>), 1);
  ASSERT_EQ(BindingAdd(code + 1, window, object, type, Callback<93>), 1);
  ASSERT_EQ(BindingAdd(code, window + 1, object, type, Callback<94>), 1);

  EventAppend(code, object, window, type, 0, nullptr);
  EXPECT_EQ(CallIds(), (std::vector<int>{1, 2, 3, 4, 5}));
  // The event stays queued whatever the callbacks did.
  EXPECT_EQ(Queued().size(), 1u);
}

TEST_F(EventQueueTest, OnlyPresentKeysRunAndEachListRunsInOrder) {
  ASSERT_EQ(BindingAdd(EventTimer, -1, -1, -1, Callback<1>), 1);
  ASSERT_EQ(BindingAdd(EventTimer, -1, -1, -1, Callback<2>), 1);
  ASSERT_EQ(BindingAdd(EventTimer, -1, -1, -1, Callback<3>), 1);
  EventAppend(EventTimer, 9, 4, 0, 0, nullptr);
  EXPECT_EQ(CallIds(), (std::vector<int>{1, 2, 3}));

  // Other codes find nothing.
  Calls().clear();
  EventAppend(EventRepaint, 9, 4, 0, 0, nullptr);
  EXPECT_TRUE(Calls().empty());

  // Bindings run after a merge too.
  Calls().clear();
  EventAppend(EventRepaint, 9, 4, 0, 0, nullptr);
  EventAppend(EventTimer, 9, 4, 0, 0, nullptr);
  EventAppend(EventTimer, 9, 4, 0, 0, nullptr);
  EXPECT_EQ(CallIds(), (std::vector<int>{1, 2, 3, 1, 2, 3}));
  EXPECT_EQ(Queued().size(), 3u);
}

TEST_F(EventQueueTest, UnknownWindowMakesTwoKeysAlikeAndBothLookupsRun) {
  // With window -1 the first and the fifth key are the same text.
  ASSERT_EQ(BindingAdd(EventActivate, -1, 0, 0, Callback<1>), 1);
  EventAppend(EventActivate, 0, -1, 0, 0, nullptr);
  EXPECT_EQ(CallIds(), (std::vector<int>{1, 1}));
}

TEST_F(EventQueueTest, CallbacksSeeThePostedEventAndTheFetchedOneComesBack) {
  EventAppend(EventSizeWindow, 5, 6, 7, 8, Record);
  ASSERT_EQ(EventFetch(), EventSizeWindow);

  ASSERT_EQ(BindingAdd(70001, 2, 3, 4, Callback<1>), 1);
  ASSERT_EQ(BindingAdd(70001, -1, -1, -1, Callback<2>), 1);
  EventAppend(70001, 3, 2, 4, 77, Record);
  ASSERT_EQ(Calls().size(), 2u);
  for (const Call& call : Calls()) {
    EXPECT_EQ(call.code, 70001);
    EXPECT_EQ(call.window, 2);
    EXPECT_EQ(call.object, 3);
    EXPECT_EQ(call.type, 4);
    EXPECT_EQ(call.data, 77);
    EXPECT_EQ(call.release, &Record);
  }
  EXPECT_EQ(EventQueue->curCode, EventSizeWindow);
  EXPECT_EQ(EventQueue->curObject, 5);
  EXPECT_EQ(EventQueue->curWindow, 6);
  EXPECT_EQ(EventQueue->curType, 7);
  EXPECT_EQ(EventQueue->curData, 8);
  EXPECT_EQ(EventQueue->curRelease, &Record);
  // Posting released nothing; the next fetch releases the fetched event.
  EXPECT_TRUE(Released().empty());
  EXPECT_EQ(EventFetch(), 70001);
  EXPECT_EQ(Released(), std::vector<INT_PTR>{8});
}

TEST_F(EventQueueTest, KeysCarryWholePointerSizedValues) {
  // A dynamic window number is a record address: every digit counts.
  const ObjectId window = INTPTR_MAX - 5;
  const ObjectId object = INTPTR_MIN + 3;
  ASSERT_EQ(BindingAdd(EventMoveWindow, window, object, 0, Callback<1>), 1);
  ASSERT_EQ(BindingAdd(EventMoveWindow, window, -1, -1, Callback<2>), 1);
  ASSERT_EQ(BindingAdd(EventMoveWindow, window - 1, -1, -1, Callback<3>), 1);
  EventAppend(EventMoveWindow, object, window, 0, 0, nullptr);
  EXPECT_EQ(CallIds(), (std::vector<int>{1, 2}));
}

// A callback that drops its own window's bindings while its list is walked.
void PurgeOwnWindow() { BindingsPurgeWindow(3); }

TEST_F(EventQueueTest, CallbackMayPurgeTheBindingsBeingRun) {
  ASSERT_EQ(BindingAdd(EventTimer, 3, 1, 0, Callback<1>), 1);
  ASSERT_EQ(BindingAdd(EventTimer, 3, 1, 0, PurgeOwnWindow), 1);
  ASSERT_EQ(BindingAdd(EventTimer, 3, 1, 0, Callback<2>), 1);
  EventAppend(EventTimer, 1, 3, 0, 0, nullptr);
  EXPECT_EQ(CallIds(), (std::vector<int>{1, 2}));
  EXPECT_EQ(EventBindings->count, 0);

  Calls().clear();
  EventAppend(EventTimer, 2, 3, 0, 0, nullptr);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(EventQueueTest, BindingsPurgeWindowRemovesOnlyThatWindowsEntries) {
  ASSERT_EQ(BindingAdd(EventTimer, 3, -1, -1, Callback<1>), 1);
  ASSERT_EQ(BindingAdd(EventTimer, 3, 1, 0, Callback<2>), 1);
  ASSERT_EQ(BindingAdd(EventRepaint, 3, 0, 0, Callback<3>), 1);
  ASSERT_EQ(BindingAdd(EventTimer, 4, -1, -1, Callback<4>), 1);
  ASSERT_EQ(BindingAdd(EventTimer, -1, -1, -1, Callback<5>), 1);
  ASSERT_EQ(BindingAdd(EventTimer, 30, -1, -1, Callback<6>), 1);
  ASSERT_EQ(EventBindings->count, 6);

  BindingsPurgeWindow(3);
  EXPECT_EQ(EventBindings->count, 3);
  EventAppend(EventTimer, 1, 3, 0, 0, nullptr);
  EventAppend(EventRepaint, 0, 3, 0, 0, nullptr);
  EventAppend(EventTimer, 1, 4, 0, 0, nullptr);
  EventAppend(EventTimer, 1, 30, 0, 0, nullptr);
  EXPECT_EQ(CallIds(), (std::vector<int>{5, 4, 5, 6, 5}));

  // The entries of "any window" belong to window -1.
  BindingsPurgeWindow(-1);
  EXPECT_EQ(EventBindings->count, 2);
  BindingsPurgeWindow(99);
  EXPECT_EQ(EventBindings->count, 2);
}

}  // namespace
