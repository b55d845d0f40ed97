#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/object.h"
#include "support/test_support.h"

namespace {

// The free callback of the tables under test: it records what it is handed
// and, when asked to, frees the object as the facilities' callbacks do.
ObjectTable* callbackTable = nullptr;
std::vector<ObjectId> calls;
bool callbackFrees = false;
ObjectId alsoFree = 0;
ObjectId growTo = -1;

int32_t RecordingCallback(ObjectId id) {
  calls.push_back(id);
  if (growTo >= 0) ObjectAlloc(callbackTable, growTo);
  if (alsoFree) {
    ObjectFree(callbackTable, alsoFree);
    alsoFree = 0;
  }
  if (!ObjectGet(callbackTable, id)) return 0;
  if (callbackFrees) ObjectFree(callbackTable, id);
  return 1;
}

class ObjectTest : public RuntimeHeapsTest {
 protected:
  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    calls.clear();
    callbackFrees = false;
    alsoFree = 0;
    growTo = -1;
    table = callbackTable = ObjectTableNew(52, 16, RecordingCallback);
    ASSERT_NE(table, nullptr);
  }
  ObjectTable* table = nullptr;
};

// Marks a record as an existing object: its first word is the handle.
void* Live(void* record) {
  if (record) *static_cast<void**>(record) = record;
  return record;
}

ObjectId IdOf(void* record) { return reinterpret_cast<ObjectId>(record); }

TEST_F(ObjectTest, NewTableHasItsSlotsAndNothingElse) {
  EXPECT_EQ(table->recordSize, 52);
  EXPECT_EQ(table->growStep, 16);
  EXPECT_EQ(table->slotCount, 16);
  ASSERT_NE(table->slots, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(table->slots[i], nullptr);
  EXPECT_EQ(table->dynamicHead, nullptr);
  for (ObjectId id = 0; id < 16; ++id) EXPECT_EQ(ObjectGet(table, id), nullptr);

  EXPECT_EQ(ObjectTableNew(static_cast<int32_t>(sizeof(void*)) - 1, 16, nullptr), nullptr);
  EXPECT_EQ(ObjectTableNew(52, -1, nullptr), nullptr);
  // A table without initial slots still grows to take its first number.
  ObjectTable* empty = ObjectTableNew(52, 0, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(ObjectAlloc(empty, 0), nullptr);
  EXPECT_EQ(empty->slotCount, 1);
}

TEST_F(ObjectTest, NumberBeyondTheSlotsGrowsToItPlusGrowStep) {
  void* three = ObjectAlloc(table, 3);
  void* twenty = ObjectAlloc(table, 20);
  ASSERT_NE(twenty, nullptr);
  EXPECT_EQ(table->slotCount, 36);
  EXPECT_EQ(table->slots[3], three);
  EXPECT_EQ(table->slots[20], twenty);
  for (int i = 16; i < 36; ++i) {
    if (i != 20) {
      EXPECT_EQ(table->slots[i], nullptr) << i;
    }
  }
  // A number inside the slots grows nothing.
  EXPECT_NE(ObjectAlloc(table, 35), nullptr);
  EXPECT_EQ(table->slotCount, 36);
}

TEST_F(ObjectTest, NumberedRecordIsZeroedOnFreeAndReused) {
  auto* record = static_cast<unsigned char*>(ObjectAlloc(table, 5));
  ASSERT_NE(record, nullptr);
  for (int i = 0; i < 52; ++i) ASSERT_EQ(record[i], 0);
  // An object exists only once its handle word is set.
  EXPECT_EQ(ObjectGet(table, 5), nullptr);
  Live(record);
  std::memset(record + sizeof(void*), 0x77, 52 - sizeof(void*));
  EXPECT_EQ(ObjectGet(table, 5), record);

  ObjectFree(table, 5);
  EXPECT_EQ(ObjectGet(table, 5), nullptr);
  EXPECT_EQ(table->slots[5], record);
  for (int i = 0; i < 52; ++i) ASSERT_EQ(record[i], 0) << i;
  EXPECT_EQ(ObjectAlloc(table, 5), record);
  // The slot still held a record, so its number was offered for release.
  EXPECT_EQ(calls, std::vector<ObjectId>{5});

  ObjectFree(table, 9);
  EXPECT_EQ(table->slots[9], nullptr);
}

TEST_F(ObjectTest, ReallocatingANumberInUseReleasesTheOldObjectFirst) {
  callbackFrees = true;
  void* first = Live(ObjectAlloc(table, 0));
  ASSERT_NE(first, nullptr);
  void* second = ObjectAlloc(table, 0);
  EXPECT_EQ(second, first);
  EXPECT_EQ(calls, std::vector<ObjectId>{0});
  EXPECT_EQ(ObjectGet(table, 0), nullptr);
}

TEST_F(ObjectTest, CallbackThatGrowsTheSlotsStillGetsTheRightRecord) {
  void* record = Live(ObjectAlloc(table, 2));
  ASSERT_NE(record, nullptr);
  growTo = 100;
  EXPECT_EQ(ObjectAlloc(table, 2), record);
  EXPECT_EQ(table->slotCount, 116);
  EXPECT_EQ(table->slots[2], record);
}

TEST_F(ObjectTest, DynamicObjectsAreNamedByTheirRecordAddress) {
  void* a = ObjectAlloc(table, ObjectAny);
  void* b = ObjectAlloc(table, ObjectAny);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  for (void* record : {a, b}) {
    EXPECT_TRUE(IdOf(record) < 0 || IdOf(record) >= table->slotCount);
    auto* bytes = static_cast<unsigned char*>(record);
    for (int i = 0; i < 52; ++i) ASSERT_EQ(bytes[i], 0);
  }
  EXPECT_EQ(ObjectGet(table, IdOf(a)), nullptr);
  Live(a);
  Live(b);
  EXPECT_EQ(ObjectGet(table, IdOf(a)), a);
  EXPECT_EQ(ObjectGet(table, IdOf(b)), b);

  ObjectFree(table, IdOf(a));
  EXPECT_EQ(ObjectGet(table, IdOf(a)), nullptr);
  EXPECT_EQ(ObjectGet(table, IdOf(b)), b);
  // A second free of the same identifier finds nothing to do.
  ObjectFree(table, IdOf(a));
  EXPECT_EQ(ObjectGet(table, IdOf(b)), b);
  ObjectFree(table, IdOf(b));
  EXPECT_EQ(table->dynamicHead, nullptr);
}

TEST_F(ObjectTest, EnumerationGivesNumbersAscendingThenDynamicOldestFirst) {
  callbackFrees = true;
  Live(ObjectAlloc(table, 7));
  Live(ObjectAlloc(table, 1));
  Live(ObjectAlloc(table, 3));
  ObjectAlloc(table, 5);  // allocated but never given a handle: skipped
  void* a = Live(ObjectAlloc(table, ObjectAny));
  void* b = ObjectAlloc(table, ObjectAny);  // handed out whatever its first word
  void* c = Live(ObjectAlloc(table, ObjectAny));
  Live(ObjectAlloc(table, 40));

  ObjectFreeAll(table);
  const std::vector<ObjectId> expected = {1, 3, 7, 40, IdOf(a), IdOf(b), IdOf(c)};
  EXPECT_EQ(calls, expected);
  for (ObjectId id : {1, 3, 7, 40}) EXPECT_EQ(ObjectGet(table, id), nullptr);
  // b had no handle, so the callback could not find it and left it alone.
  EXPECT_EQ(table->dynamicHead, static_cast<DynamicObjectNode*>(b) - 1);
  EXPECT_EQ(table->dynamicHead->older, nullptr);
  EXPECT_EQ(table->dynamicHead->newer, nullptr);
}

TEST_F(ObjectTest, EnumerationSkipsADynamicObjectFreedBeforeItsTurn) {
  void* a = Live(ObjectAlloc(table, ObjectAny));
  void* b = Live(ObjectAlloc(table, ObjectAny));
  void* c = Live(ObjectAlloc(table, ObjectAny));
  alsoFree = IdOf(b);
  ObjectFreeAll(table);
  EXPECT_EQ(calls, (std::vector<ObjectId>{IdOf(a), IdOf(c)}));
  EXPECT_EQ(ObjectGet(table, IdOf(b)), nullptr);
}

TEST_F(ObjectTest, IterationWithoutFreeingVisitsEachObjectOnce) {
  Live(ObjectAlloc(table, 2));
  void* a = Live(ObjectAlloc(table, ObjectAny));
  ObjectIterStart(table);
  ObjectId id = -5;
  EXPECT_EQ(ObjectIterNext(table, &id), table->slots[2]);
  EXPECT_EQ(id, 2);
  EXPECT_EQ(ObjectIterNext(table, &id), a);
  EXPECT_EQ(id, IdOf(a));
  EXPECT_EQ(ObjectIterNext(table, &id), nullptr);
  EXPECT_EQ(ObjectIterNext(table, &id), nullptr);
}

TEST_F(ObjectTest, FreeAllCallsNothingWithoutCallbackOrLiveObjects) {
  ObjectTable* silent = ObjectTableNew(16, 4, nullptr);
  ASSERT_NE(silent, nullptr);
  void* kept = Live(ObjectAlloc(silent, 1));
  void* keptDynamic = Live(ObjectAlloc(silent, ObjectAny));
  ObjectFreeAll(silent);
  EXPECT_EQ(ObjectGet(silent, 1), kept);
  EXPECT_EQ(ObjectGet(silent, IdOf(keptDynamic)), keptDynamic);

  Live(ObjectAlloc(table, 4));
  Live(ObjectAlloc(table, 6));
  ObjectFree(table, 4);
  ObjectFree(table, 6);
  ObjectFreeAll(table);
  EXPECT_TRUE(calls.empty());
}

TEST_F(ObjectTest, IdentifiersThatNameNoObjectGiveNull) {
  Live(ObjectAlloc(table, 3));
  const int32_t slots = table->slotCount;
  EXPECT_EQ(ObjectGet(table, slots), nullptr);
  EXPECT_EQ(ObjectGet(table, slots + 5), nullptr);
  EXPECT_EQ(ObjectGet(table, -2), nullptr);
  EXPECT_EQ(ObjectGet(table, ObjectAny), nullptr);
  // Memory that looks like a live record is still not an object of the table.
  void* impostor[8];
  Live(impostor);
  EXPECT_EQ(ObjectGet(table, IdOf(impostor)), nullptr);
  ObjectFree(table, IdOf(impostor));
  EXPECT_EQ(impostor[0], impostor);
  ObjectFree(table, slots + 5);
  ObjectFree(table, -2);
  EXPECT_EQ(table->slotCount, slots);
  EXPECT_NE(ObjectGet(table, 3), nullptr);

  EXPECT_EQ(ObjectAlloc(table, -2), nullptr);
  EXPECT_EQ(ObjectAlloc(nullptr, 0), nullptr);
  EXPECT_EQ(ObjectGet(nullptr, 0), nullptr);
  // A dynamic identifier is not a number to allocate.
  void* dynamic = Live(ObjectAlloc(table, ObjectAny));
  EXPECT_EQ(ObjectAlloc(table, IdOf(dynamic)), nullptr);
  EXPECT_EQ(table->slotCount, slots);
  EXPECT_EQ(ObjectGet(table, IdOf(dynamic)), dynamic);
}

TEST_F(ObjectTest, IdentifiersOfAnotherTableGiveNull) {
  ObjectTable* other = ObjectTableNew(52, 16, nullptr);
  ASSERT_NE(other, nullptr);
  void* mine = Live(ObjectAlloc(table, ObjectAny));
  EXPECT_EQ(ObjectGet(other, IdOf(mine)), nullptr);
  ObjectFree(other, IdOf(mine));
  EXPECT_EQ(ObjectGet(table, IdOf(mine)), mine);
  EXPECT_EQ(table->dynamicHead, static_cast<DynamicObjectNode*>(mine) - 1);
}

TEST_F(ObjectTest, ManyDynamicObjectsStayFindableThroughGrowthAndRemoval) {
  constexpr int Count = 1000;
  std::vector<void*> records;
  for (int i = 0; i < Count; ++i) {
    void* record = Live(ObjectAlloc(table, ObjectAny));
    ASSERT_NE(record, nullptr);
    records.push_back(record);
  }
  // Free two thirds in a scrambled order; the rest must stay findable.
  std::vector<bool> freed(Count, false);
  for (int step = 0, i = 0; step < Count; ++step) {
    i = (i + 337) % Count;
    if (i % 3 == 0) continue;
    ObjectFree(table, IdOf(records[i]));
    freed[i] = true;
  }
  for (int i = 0; i < Count; ++i)
    ASSERT_EQ(ObjectGet(table, IdOf(records[i])), freed[i] ? nullptr : records[i]) << i;

  // New objects may reuse the freed memory; they must be found as new.
  for (int i = 0; i < Count; ++i)
    if (freed[i]) records[i] = Live(ObjectAlloc(table, ObjectAny));
  for (int i = 0; i < Count; ++i) ASSERT_EQ(ObjectGet(table, IdOf(records[i])), records[i]) << i;

  int visited = 0;
  ObjectId id;
  ObjectIterStart(table);
  while (ObjectIterNext(table, &id)) ++visited;
  EXPECT_EQ(visited, Count);
  for (void* record : records) ObjectFree(table, IdOf(record));
  EXPECT_EQ(table->dynamicHead, nullptr);
}

}  // namespace
