#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "hosted/hooks.h"
#include "runtime/array.h"
#include "runtime/object.h"
#include "support/allocation_sweep.h"
#include "support/test_support.h"

// Every allocation that the arrays and the registry make is refused in turn:
// each must give null or 0, leave its structures usable and leak nothing.
namespace {

class FaultTest : public RuntimeHeapsTest {
 protected:
  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    saved = FieldHandlerTable;
    FieldHandlerTable = {};
    ArraysInit();
  }
  void TearDown() override {
    hosted::FailNthAllocation(0);
    FieldHandlerTable = saved;
    RuntimeHeapsTest::TearDown();
  }
  size_t Live() const { return hosted::HeapLiveBlocks(MainHeap); }
  size_t LiveStrings() const { return hosted::HeapLiveBlocks(StringHeap); }
  FieldHandlers saved{};
};

struct Holder {
  WCHAR* name;
  float* values;
};
const LayoutWord HolderLayout[] = {offsetof(Holder, name), LayoutArray, offsetof(Holder, values), 4, 3, TypeFloat, 0,
                                   LayoutEnd};

TEST_F(FaultTest, TableCreationFailuresLeaveNothingBehind) {
  EXPECT_EQ(SweepAllocationFailures({MainHeap}, [] { return ObjectTableNew(52, 16, nullptr) != nullptr; }), 2u);
}

TEST_F(FaultTest, SlotGrowthFailureLeavesTheTableAsItWas) {
  ObjectTable* table = ObjectTableNew(52, 16, nullptr);
  ASSERT_NE(table, nullptr);
  void* three = ObjectAlloc(table, 3);
  ASSERT_NE(three, nullptr);
  void** slots = table->slots;
  const size_t before = Live();

  hosted::FailNthAllocation(1);
  EXPECT_EQ(ObjectAlloc(table, 20), nullptr);
  EXPECT_EQ(table->slotCount, 16);
  EXPECT_EQ(table->slots, slots);
  EXPECT_EQ(table->slots[3], three);
  EXPECT_EQ(Live(), before);

  EXPECT_NE(ObjectAlloc(table, 20), nullptr);
  EXPECT_EQ(table->slotCount, 36);
  EXPECT_EQ(table->slots[3], three);
}

TEST_F(FaultTest, RecordFailureLeavesTheSlotEmpty) {
  ObjectTable* table = ObjectTableNew(52, 16, nullptr);
  ASSERT_NE(table, nullptr);
  const size_t before = Live();
  hosted::FailNthAllocation(1);
  EXPECT_EQ(ObjectAlloc(table, 3), nullptr);
  EXPECT_EQ(table->slots[3], nullptr);
  EXPECT_EQ(Live(), before);
  EXPECT_NE(ObjectAlloc(table, 3), nullptr);
}

TEST_F(FaultTest, DynamicNodeAndLiveSetFailuresFreeTheNode) {
  ObjectTable* table = ObjectTableNew(52, 16, nullptr);
  ASSERT_NE(table, nullptr);
  // The node itself, then the first cells of the live set.
  void* record = nullptr;
  EXPECT_EQ(SweepAllocationFailures(
                {MainHeap}, [&] { return (record = ObjectAlloc(table, ObjectAny)) != nullptr; },
                [&](unsigned n) { EXPECT_EQ(table->dynamicHead, nullptr) << n; }),
            2u);
  ASSERT_NE(record, nullptr);
  *static_cast<void**>(record) = record;
  EXPECT_EQ(ObjectGet(table, reinterpret_cast<ObjectId>(record)), record);
}

TEST_F(FaultTest, LiveSetGrowthFailureKeepsEveryObjectFindable) {
  ObjectTable* table = ObjectTableNew(52, 16, nullptr);
  ASSERT_NE(table, nullptr);
  std::vector<void*> records;
  int refusals = 0;
  while (records.size() < 100) {
    const size_t before = Live();
    DynamicObjectNode* head = table->dynamicHead;
    // The second allocation of a dynamic object is made only when the live
    // set has to grow.
    hosted::FailNthAllocation(2);
    void* record = ObjectAlloc(table, ObjectAny);
    hosted::FailNthAllocation(0);
    if (!record) {
      ++refusals;
      EXPECT_EQ(Live(), before);
      EXPECT_EQ(table->dynamicHead, head);
      for (void* kept : records) ASSERT_EQ(ObjectGet(table, reinterpret_cast<ObjectId>(kept)), kept);
      record = ObjectAlloc(table, ObjectAny);
      ASSERT_NE(record, nullptr);
    }
    *static_cast<void**>(record) = record;
    records.push_back(record);
  }
  EXPECT_GE(refusals, 3);
  for (void* kept : records) EXPECT_EQ(ObjectGet(table, reinterpret_cast<ObjectId>(kept)), kept);
}

TEST_F(FaultTest, FreeingEveryDynamicObjectReturnsTheirNodes) {
  ObjectTable* table = ObjectTableNew(52, 16, nullptr);
  ASSERT_NE(table, nullptr);
  ASSERT_NE(ObjectAlloc(table, ObjectAny), nullptr);
  const size_t withOne = Live();
  std::vector<ObjectId> ids;
  for (int i = 0; i < 5; ++i) ids.push_back(reinterpret_cast<ObjectId>(ObjectAlloc(table, ObjectAny)));
  EXPECT_EQ(Live(), withOne + 5);
  for (ObjectId id : ids) ObjectFree(table, id);
  EXPECT_EQ(Live(), withOne);
}

TEST_F(FaultTest, ArrayBlockFailureLeavesTheVariableEmpty) {
  const size_t before = Live();
  const size_t stringsBefore = LiveStrings();
  void* var = nullptr;
  auto* old = static_cast<Holder*>(ArrayAlloc(sizeof(Holder), 2, TypeStruct, HolderLayout, &var));
  ASSERT_NE(old, nullptr);
  StringAssign(&old[1].name, TEXT("kept"));
  EXPECT_EQ(Live(), before + 3);

  hosted::FailNthAllocation(1);
  EXPECT_EQ(ArrayAlloc(sizeof(Holder), 2, TypeStruct, HolderLayout, &var), nullptr);
  EXPECT_EQ(var, nullptr);
  EXPECT_EQ(Live(), before);
  EXPECT_EQ(LiveStrings(), stringsBefore);
}

TEST_F(FaultTest, NestedArrayFailureLeavesThatFieldEmpty) {
  const size_t before = Live();
  void* var = nullptr;
  hosted::FailNthAllocation(3);
  auto* holders = static_cast<Holder*>(ArrayAlloc(sizeof(Holder), 3, TypeStruct, HolderLayout, &var));
  ASSERT_NE(holders, nullptr);
  EXPECT_NE(holders[0].values, nullptr);
  EXPECT_EQ(holders[1].values, nullptr);
  EXPECT_NE(holders[2].values, nullptr);
  ArrayFree(holders);
  EXPECT_EQ(Live(), before);
}

TEST_F(FaultTest, SizesThatCannotBeAnArrayAskTheHeapForNothing) {
  void* var = nullptr;
  const unsigned long long calls = hosted::HeapAllocationCalls();
  EXPECT_EQ(ArrayAlloc(4, -1, TypeFloat, nullptr, &var), nullptr);
  EXPECT_EQ(ArrayAlloc(0x10000, 0x10000, TypeByte, nullptr, &var), nullptr);
  struct {
    void* var;
    int32_t dims[2];
  } grid = {nullptr, {100000, 100000}};
  EXPECT_EQ(ArrayAllocDims(2, 4, TypeFloat, nullptr, &grid.var), nullptr);
  EXPECT_EQ(hosted::HeapAllocationCalls(), calls);
}

TEST_F(FaultTest, DimensionedAllocationFailureGivesNull) {
  const size_t before = Live();
  struct {
    void* var;
    int32_t dims[3];
  } grid = {nullptr, {3, 4, 5}};
  hosted::FailNthAllocation(1);
  EXPECT_EQ(ArrayAllocDims(3, 4, TypeFloat, nullptr, &grid.var), nullptr);
  EXPECT_EQ(grid.var, nullptr);
  EXPECT_EQ(Live(), before);
  // The strides were written before the allocation was asked for.
  EXPECT_EQ(grid.dims[0], 20);
  EXPECT_EQ(grid.dims[2], 1);
}

TEST_F(FaultTest, ReshapeFailureReleasesTheDestinationOnly) {
  void* sourceVar = nullptr;
  void* destinationVar = nullptr;
  auto* source = static_cast<float*>(ArrayAlloc(4, 11, TypeFloat, nullptr, &sourceVar));
  ASSERT_NE(ArrayAlloc(4, 10, TypeFloat, nullptr, &destinationVar), nullptr);
  ASSERT_NE(source, nullptr);
  source[10] = 1.5f;
  const size_t before = Live();

  hosted::FailNthAllocation(1);
  EXPECT_EQ(ArrayCopy(source, destinationVar, 1), 0);
  EXPECT_EQ(destinationVar, nullptr);
  EXPECT_EQ(sourceVar, source);
  EXPECT_EQ(source[10], 1.5f);
  EXPECT_EQ(Live(), before - 1);
}

TEST_F(FaultTest, StructCopyFailuresLeaveFieldsEmptyAndLeakNothing) {
  Holder source{}, destination{};
  StructInit(&source, HolderLayout);
  StructInit(&destination, HolderLayout);
  StringAssign(&source.name, TEXT("source"));
  StringAssign(&destination.name, TEXT("old"));
  const size_t before = Live();
  const size_t stringsBefore = LiveStrings();

  // The string copy is refused: the old text is gone, the field is empty.
  hosted::FailNthAllocation(1);
  StructCopy(&destination, sizeof(Holder), HolderLayout, &source);
  EXPECT_EQ(destination.name, nullptr);
  EXPECT_NE(destination.values, nullptr);
  EXPECT_EQ(LiveStrings(), stringsBefore - 1);
  EXPECT_EQ(Live(), before);

  // The nested array is refused: the old one is released, the field empty.
  hosted::FailNthAllocation(2);
  StructCopy(&destination, sizeof(Holder), HolderLayout, &source);
  EXPECT_NE(destination.name, nullptr);
  EXPECT_EQ(destination.values, nullptr);
  EXPECT_EQ(Live(), before - 1);

  StructClear(&source, HolderLayout);
  StructClear(&destination, HolderLayout);
  EXPECT_EQ(LiveStrings(), stringsBefore - 2);
  EXPECT_EQ(Live(), before - 2);
}

TEST_F(FaultTest, ArraysOfStructuresReleaseEverythingTheyOwn) {
  const size_t before = Live();
  const size_t stringsBefore = LiveStrings();
  void* sourceVar = nullptr;
  void* destinationVar = nullptr;
  auto* source = static_cast<Holder*>(ArrayAlloc(sizeof(Holder), 4, TypeStruct, HolderLayout, &sourceVar));
  ASSERT_NE(source, nullptr);
  for (int i = 0; i < 4; ++i) StringAssign(&source[i].name, TEXT("text"));
  ASSERT_NE(ArrayAlloc(sizeof(Holder), 2, TypeStruct, HolderLayout, &destinationVar), nullptr);
  EXPECT_EQ(ArrayCopy(source, destinationVar, 1), 1);
  EXPECT_EQ(Live(), before + 10);
  EXPECT_EQ(LiveStrings(), stringsBefore + 8);
  ArrayFree(destinationVar);
  ArrayFree(source);
  EXPECT_EQ(Live(), before);
  EXPECT_EQ(LiveStrings(), stringsBefore);
}

}  // namespace
