#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/stringmap.h"
#include "support/test_support.h"

namespace {

LayoutWord Ref(const LayoutWord* layout) { return reinterpret_cast<LayoutWord>(layout); }

std::u16string Text(const WCHAR* value) {
  return value ? std::u16string(reinterpret_cast<const char16_t*>(value)) : std::u16string();
}

// Records every array the walkers release, then releases it.
std::vector<void*> freedArrays;
void SpyArrayFree(void* data) {
  freedArrays.push_back(data);
  ArrayFree(data);
}

class ArrayTest : public RuntimeHeapsTest {
 protected:
  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    saved = FieldHandlerTable;
    FieldHandlerTable = {};
    ArraysInit();
    freedArrays.clear();
  }
  void TearDown() override {
    FieldHandlerTable = saved;
    RuntimeHeapsTest::TearDown();
  }
  FieldHandlers saved{};
};

// A structure with a string, a nested three-float array and plain fields
// before, between and after them.
struct Named {
  int32_t before;
  WCHAR* name;
  int32_t between;
  float* values;
  int32_t after;
};
const LayoutWord NamedLayout[] = {offsetof(Named, name), LayoutArray, offsetof(Named, values), 4, 3, TypeFloat, 0,
                                  LayoutEnd};
const LayoutWord NamesOnly[] = {offsetof(Named, name), LayoutEnd};

TEST_F(ArrayTest, FreshArrayReadsZeroWhateverTheHeapHeld) {
  const SIZE_T bytes = sizeof(ArrayHeader) + 24 * sizeof(float);
  void* dirty = HeapAlloc(MainHeap, 0, bytes);
  ASSERT_NE(dirty, nullptr);
  std::memset(dirty, 0xAB, bytes);
  HeapFree(MainHeap, 0, dirty);

  void* var = nullptr;
  auto* data = static_cast<unsigned char*>(ArrayAlloc(4, 24, TypeFloat, nullptr, &var));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(var, data);
  for (size_t i = 0; i < 24 * sizeof(float); ++i) ASSERT_EQ(data[i], 0) << "byte " << i;

  const ArrayHeader* header = ArrayHeaderOf(data);
  EXPECT_EQ(header->dimCount, 1);
  EXPECT_EQ(header->elemSize, 4);
  EXPECT_EQ(header->layout, nullptr);
  EXPECT_EQ(header->varAddr, &var);
  EXPECT_EQ(header->count, 24);
  EXPECT_EQ(header->typeCode, TypeFloat);
  // The block is exactly header plus elements, and starts with the header.
  EXPECT_EQ(HeapSize(MainHeap, 0, header), bytes);

  ArrayFree(data);
  EXPECT_EQ(var, nullptr);
  ArrayFree(nullptr);
}

TEST_F(ArrayTest, CountZeroIsAHeaderOnlyBlock) {
  void* var = nullptr;
  void* data = ArrayAlloc(8, 0, TypeStruct, nullptr, &var);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(ArrayHeaderOf(data)->count, 0);
  EXPECT_EQ(HeapSize(MainHeap, 0, ArrayHeaderOf(data)), sizeof(ArrayHeader));
  ArrayFree(data);
  EXPECT_EQ(var, nullptr);
}

TEST_F(ArrayTest, ReallocationReleasesTheOldArrayAndItsOwningFields) {
  FieldHandlerTable.arrayFree = SpyArrayFree;
  void* var = nullptr;
  auto* first = static_cast<Named*>(ArrayAlloc(sizeof(Named), 3, TypeStruct, NamedLayout, &var));
  ASSERT_NE(first, nullptr);
  std::vector<void*> nested;
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(first[i].values, nullptr);
    EXPECT_EQ(ArrayHeaderOf(first[i].values)->count, 3);
    EXPECT_EQ(ArrayHeaderOf(first[i].values)->varAddr, reinterpret_cast<void**>(&first[i].values));
    nested.push_back(first[i].values);
  }

  auto* second = static_cast<Named*>(ArrayAlloc(sizeof(Named), 2, TypeStruct, NamedLayout, &var));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(var, second);
  EXPECT_EQ(freedArrays, nested);

  // A request that cannot be met still releases what the variable held.
  freedArrays.clear();
  EXPECT_EQ(ArrayAlloc(sizeof(Named), -1, TypeStruct, NamedLayout, &var), nullptr);
  EXPECT_EQ(var, nullptr);
  EXPECT_EQ(freedArrays.size(), 2u);
}

TEST_F(ArrayTest, SizesThatCannotBeAnArrayGiveNull) {
  void* var = nullptr;
  EXPECT_EQ(ArrayAlloc(4, -1, TypeFloat, nullptr, &var), nullptr);
  EXPECT_EQ(ArrayAlloc(-4, 1, TypeFloat, nullptr, &var), nullptr);
  // 2^32 bytes of elements wrap a 32-bit size.
  EXPECT_EQ(ArrayAlloc(0x10000, 0x10000, TypeByte, nullptr, &var), nullptr);
  EXPECT_EQ(ArrayAlloc(4, 0x3FFFFFFF, TypeFloat, nullptr, &var), nullptr);
  EXPECT_EQ(var, nullptr);
  EXPECT_EQ(ArrayAlloc(4, 1, TypeFloat, nullptr, nullptr), nullptr);

  ASSERT_NE(ArrayAlloc(4, 4, TypeFloat, nullptr, &var), nullptr);
  EXPECT_EQ(ArrayAlloc(0x10000, 0x10000, TypeByte, nullptr, &var), nullptr);
  EXPECT_EQ(var, nullptr);
}

struct Dims3 {
  void* var;
  int32_t dims[3];
};

TEST_F(ArrayTest, DimensionSizesBecomeStrides) {
  Dims3 grid = {nullptr, {3, 4, 5}};
  void* data = ArrayAllocDims(3, 4, TypeFloat, nullptr, &grid.var);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(grid.var, data);
  EXPECT_EQ(ArrayHeaderOf(data)->count, 60);
  EXPECT_EQ(ArrayHeaderOf(data)->dimCount, 3);
  EXPECT_EQ(grid.dims[0], 20);
  EXPECT_EQ(grid.dims[1], 5);
  EXPECT_EQ(grid.dims[2], 1);
  EXPECT_EQ(HeapSize(MainHeap, 0, ArrayHeaderOf(data)), sizeof(ArrayHeader) + 60 * 4);
  ArrayFree(data);
  EXPECT_EQ(grid.var, nullptr);
}

TEST_F(ArrayTest, DimensionSizesThatCannotBeAnArrayGiveNull) {
  Dims3 grid = {nullptr, {2, 2, 2}};
  ASSERT_NE(ArrayAllocDims(3, 4, TypeFloat, nullptr, &grid.var), nullptr);

  // A later size of 0 still leaves a stride of 10^10 for the first one.
  grid.dims[0] = 7;
  grid.dims[1] = 100000;
  grid.dims[2] = 100000;
  EXPECT_EQ(ArrayAllocDims(3, 4, TypeFloat, nullptr, &grid.var), nullptr);
  EXPECT_EQ(grid.var, nullptr);
  EXPECT_EQ(grid.dims[0], 7);
  EXPECT_EQ(grid.dims[1], 100000);

  grid.dims[0] = 2;
  grid.dims[1] = -3;
  grid.dims[2] = 2;
  EXPECT_EQ(ArrayAllocDims(3, 4, TypeFloat, nullptr, &grid.var), nullptr);
  EXPECT_EQ(grid.dims[1], -3);
  EXPECT_EQ(ArrayAllocDims(0, 4, TypeFloat, nullptr, &grid.var), nullptr);
  EXPECT_EQ(grid.var, nullptr);

  Dims3 empty = {nullptr, {0, 100000, 100000}};
  EXPECT_EQ(ArrayAllocDims(3, 4, TypeFloat, nullptr, &empty.var), nullptr);
}

float* FloatArray(void** var, int32_t count, float first) {
  auto* data = static_cast<float*>(ArrayAlloc(4, count, TypeFloat, nullptr, var));
  if (data)
    for (int32_t i = 0; i < count; ++i) data[i] = first + static_cast<float>(i);
  return data;
}

TEST_F(ArrayTest, CopyRefusesNullThenDimensionsThenCounts) {
  void* tenVar = nullptr;
  void* elevenVar = nullptr;
  float* ten = FloatArray(&tenVar, 10, 100.0f);
  float* eleven = FloatArray(&elevenVar, 11, 0.0f);
  ASSERT_NE(ten, nullptr);
  ASSERT_NE(eleven, nullptr);
  struct {
    void* var;
    int32_t dims[2];
  } flat = {nullptr, {2, 5}};
  ASSERT_NE(ArrayAllocDims(2, 4, TypeFloat, nullptr, &flat.var), nullptr);

  EXPECT_EQ(ArrayCopy(nullptr, ten, 1), 0);
  EXPECT_EQ(ArrayCopy(ten, nullptr, 1), 0);
  // Different dimension counts are refused before any reshape.
  EXPECT_EQ(ArrayCopy(eleven, flat.var, 1), 0);
  EXPECT_EQ(ArrayCopy(flat.var, eleven, 1), 0);
  EXPECT_EQ(elevenVar, eleven);
  EXPECT_EQ(ArrayHeaderOf(flat.var)->count, 10);

  EXPECT_EQ(ArrayCopy(ten, eleven, 0), 0);
  EXPECT_EQ(eleven[0], 0.0f);
  EXPECT_EQ(ArrayCopy(eleven, ten, 0), 0);
  EXPECT_EQ(ten[0], 100.0f);

  // Reshaping replaces the ten by a fresh array of the eleven's shape.
  EXPECT_EQ(ArrayCopy(eleven, ten, 1), 1);
  auto* reshaped = static_cast<float*>(tenVar);
  ASSERT_NE(reshaped, nullptr);
  EXPECT_EQ(ArrayHeaderOf(reshaped)->count, 11);
  EXPECT_EQ(ArrayHeaderOf(reshaped)->varAddr, &tenVar);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(reshaped[i], static_cast<float>(i));
}

TEST_F(ArrayTest, CopyRefusesElementsOfAnotherSize) {
  void* floatsVar = nullptr;
  void* bytesVar = nullptr;
  float* floats = FloatArray(&floatsVar, 4, 1.0f);
  auto* bytes = static_cast<unsigned char*>(ArrayAlloc(1, 4, TypeByte, nullptr, &bytesVar));
  ASSERT_NE(floats, nullptr);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(ArrayCopy(floats, bytes, 0), 0);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(ArrayCopy(floats, bytes, 1), 1);
  EXPECT_EQ(ArrayHeaderOf(bytesVar)->elemSize, 4);
  EXPECT_EQ(static_cast<float*>(bytesVar)[3], 4.0f);
}

TEST_F(ArrayTest, CopyCarriesStridesEvenWhenCountsDiffer) {
  struct {
    void* var;
    int32_t dims[2];
  } source = {nullptr, {2, 3}}, destination = {nullptr, {2, 4}};
  ASSERT_NE(ArrayAllocDims(2, 4, TypeFloat, nullptr, &source.var), nullptr);
  ASSERT_NE(ArrayAllocDims(2, 4, TypeFloat, nullptr, &destination.var), nullptr);
  static_cast<float*>(source.var)[5] = 6.5f;

  EXPECT_EQ(ArrayCopy(source.var, destination.var, 0), 0);
  EXPECT_EQ(destination.dims[0], 3);
  EXPECT_EQ(destination.dims[1], 1);
  EXPECT_EQ(ArrayHeaderOf(destination.var)->count, 8);

  EXPECT_EQ(ArrayCopy(source.var, destination.var, 1), 1);
  EXPECT_EQ(ArrayHeaderOf(destination.var)->count, 6);
  EXPECT_EQ(ArrayHeaderOf(destination.var)->dimCount, 2);
  EXPECT_EQ(static_cast<float*>(destination.var)[5], 6.5f);
}

TEST_F(ArrayTest, CopyOntoItselfKeepsTheArray) {
  void* var = nullptr;
  float* data = FloatArray(&var, 5, 1.0f);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(ArrayCopy(data, data, 1), 1);
  EXPECT_EQ(var, data);
  EXPECT_EQ(data[4], 5.0f);
}

TEST_F(ArrayTest, StructCopyDeepCopiesStringsAndNestedArrays) {
  FieldHandlerTable.arrayFree = SpyArrayFree;
  Named source, destination;
  std::memset(&source, 0x5A, sizeof source);
  std::memset(&destination, 0, sizeof destination);
  source.name = nullptr;
  source.values = nullptr;
  source.before = 1;
  source.between = 2;
  source.after = 3;
  StructInit(&source, NamedLayout);
  StructInit(&destination, NamedLayout);
  ASSERT_NE(source.values, nullptr);
  ASSERT_NE(destination.values, nullptr);
  for (int i = 0; i < 3; ++i) source.values[i] = 0.5f + static_cast<float>(i);
  StringAssign(&source.name, TEXT("abc"));
  StringAssign(&destination.name, TEXT("old"));
  float* oldValues = destination.values;

  StructCopy(&destination, sizeof(Named), NamedLayout, &source);
  ASSERT_NE(destination.name, nullptr);
  EXPECT_NE(destination.name, source.name);
  EXPECT_EQ(Text(destination.name), u"abc");
  ASSERT_NE(destination.values, nullptr);
  EXPECT_NE(destination.values, source.values);
  EXPECT_EQ(ArrayHeaderOf(destination.values)->varAddr, reinterpret_cast<void**>(&destination.values));
  EXPECT_EQ(ArrayHeaderOf(destination.values)->count, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(destination.values[i], source.values[i]);
  EXPECT_EQ(freedArrays, std::vector<void*>{oldValues});
  // Every byte outside the owning fields, padding included, is the source's.
  const auto* d = reinterpret_cast<const unsigned char*>(&destination);
  const auto* s = reinterpret_cast<const unsigned char*>(&source);
  EXPECT_EQ(std::memcmp(d, s, offsetof(Named, name)), 0);
  size_t gap = offsetof(Named, name) + sizeof(WCHAR*);
  EXPECT_EQ(std::memcmp(d + gap, s + gap, offsetof(Named, values) - gap), 0);
  gap = offsetof(Named, values) + sizeof(float*);
  EXPECT_EQ(std::memcmp(d + gap, s + gap, sizeof(Named) - gap), 0);

  // A null source string leaves the destination's field null.
  StringFree(source.name);
  source.name = nullptr;
  StructCopy(&destination, sizeof(Named), NamedLayout, &source);
  EXPECT_EQ(destination.name, nullptr);

  StructClear(&source, NamedLayout);
  StructClear(&destination, NamedLayout);
  EXPECT_EQ(source.values, nullptr);
  EXPECT_EQ(destination.values, nullptr);
}

TEST_F(ArrayTest, ArrayCopyDeepCopiesEveryElement) {
  void* sourceVar = nullptr;
  void* destinationVar = nullptr;
  auto* source = static_cast<Named*>(ArrayAlloc(sizeof(Named), 4, TypeStruct, NamesOnly, &sourceVar));
  auto* destination = static_cast<Named*>(ArrayAlloc(sizeof(Named), 4, TypeStruct, NamesOnly, &destinationVar));
  ASSERT_NE(source, nullptr);
  ASSERT_NE(destination, nullptr);
  const WCHAR* texts[] = {TEXT("zero"), TEXT("one"), nullptr, TEXT("three")};
  for (int i = 0; i < 4; ++i) {
    StringAssign(&source[i].name, texts[i]);
    source[i].after = i * 10;
  }
  StringAssign(&destination[2].name, TEXT("replaced"));

  EXPECT_EQ(ArrayCopy(source, destination, 0), 1);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Text(destination[i].name), Text(texts[i])) << i;
    if (texts[i]) {
      EXPECT_NE(destination[i].name, source[i].name) << i;
    }
    EXPECT_EQ(destination[i].after, i * 10);
  }
  EXPECT_EQ(destination[2].name, nullptr);
  ArrayFree(source);
  ArrayFree(destination);
  EXPECT_EQ(sourceVar, nullptr);
  EXPECT_EQ(destinationVar, nullptr);
}

struct Inner {
  int32_t tag;
  WCHAR* label;
  float* data;
};
struct Outer {
  Inner one;
  int32_t plain;
  Inner many[2];
};
const LayoutWord InnerLayout[] = {offsetof(Inner, label), LayoutArray, offsetof(Inner, data), 4, 2, TypeFloat, 0,
                                  LayoutEnd};
const LayoutWord OuterLayout[] = {LayoutStruct, offsetof(Outer, one), sizeof(Inner), Ref(InnerLayout),
                                  LayoutFixedArray, 2, offsetof(Outer, many), sizeof(Inner), Ref(InnerLayout),
                                  LayoutEnd};

TEST_F(ArrayTest, NestedStructuresAndInlineArraysAreWalked) {
  FieldHandlerTable.arrayFree = SpyArrayFree;
  Outer source{}, destination{};
  StructInit(&source, OuterLayout);
  Inner* sourceInner[] = {&source.one, &source.many[0], &source.many[1]};
  for (Inner* inner : sourceInner) {
    ASSERT_NE(inner->data, nullptr);
    EXPECT_EQ(ArrayHeaderOf(inner->data)->count, 2);
    inner->data[1] = 7.0f;
    inner->tag = 9;
    StringAssign(&inner->label, TEXT("in"));
  }
  source.plain = 42;

  StructCopy(&destination, sizeof(Outer), OuterLayout, &source);
  EXPECT_EQ(destination.plain, 42);
  Inner* copied[] = {&destination.one, &destination.many[0], &destination.many[1]};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(copied[i]->tag, 9);
    EXPECT_EQ(Text(copied[i]->label), u"in");
    EXPECT_NE(copied[i]->label, sourceInner[i]->label);
    ASSERT_NE(copied[i]->data, nullptr);
    EXPECT_NE(copied[i]->data, sourceInner[i]->data);
    EXPECT_EQ(copied[i]->data[1], 7.0f);
  }

  freedArrays.clear();
  StructClear(&destination, OuterLayout);
  EXPECT_EQ(freedArrays.size(), 3u);
  StructClear(&source, OuterLayout);
  EXPECT_EQ(freedArrays.size(), 6u);
}

struct Grid {
  int32_t id;
  void* cells;
  int32_t dims[2];
};
const LayoutWord GridLayout[] = {LayoutArrayDims, offsetof(Grid, cells), 2, 4, TypeFloat, 0, 3, 4, LayoutEnd};

TEST_F(ArrayTest, DimensionedArrayFieldsKeepTheirShapeThroughACopy) {
  Grid source{}, destination{};
  StructInit(&source, GridLayout);
  ASSERT_NE(source.cells, nullptr);
  EXPECT_EQ(ArrayHeaderOf(source.cells)->count, 12);
  EXPECT_EQ(ArrayHeaderOf(source.cells)->dimCount, 2);
  EXPECT_EQ(source.dims[0], 4);
  EXPECT_EQ(source.dims[1], 1);
  static_cast<float*>(source.cells)[11] = 3.0f;
  source.id = 5;

  StructCopy(&destination, sizeof(Grid), GridLayout, &source);
  ASSERT_NE(destination.cells, nullptr);
  EXPECT_NE(destination.cells, source.cells);
  EXPECT_EQ(ArrayHeaderOf(destination.cells)->dimCount, 2);
  EXPECT_EQ(destination.dims[0], 4);
  EXPECT_EQ(destination.dims[1], 1);
  EXPECT_EQ(static_cast<float*>(destination.cells)[11], 3.0f);
  EXPECT_EQ(destination.id, 5);
  StructClear(&source, GridLayout);
  StructClear(&destination, GridLayout);
}

TEST_F(ArrayTest, OnlyFieldsThatAllocateNeedInit) {
  const LayoutWord strings[] = {0, 8, LayoutEnd};
  const LayoutWord stringStruct[] = {LayoutStruct, 0, 16, Ref(strings), LayoutFixedArray, 2, 16, 16, Ref(strings),
                                     LayoutEnd};
  const LayoutWord array[] = {LayoutArray, 0, 4, 1, TypeFloat, 0, LayoutEnd};
  const LayoutWord map[] = {LayoutMap, 0, 4, TypeFloat, 0, 16, LayoutEnd};
  const LayoutWord list[] = {LayoutList, 0, 1, 2, 3, LayoutEnd};
  const LayoutWord dims[] = {LayoutArrayDims, 0, 1, 4, TypeFloat, 0, 2, LayoutEnd};
  const LayoutWord deepArray[] = {0, LayoutStruct, 8, 8, Ref(array), LayoutEnd};
  const LayoutWord deepMap[] = {LayoutFixedArray, 3, 0, 8, Ref(map), LayoutEnd};

  EXPECT_EQ(LayoutNeedsInit(nullptr), 0);
  EXPECT_EQ(LayoutNeedsInit(strings), 0);
  EXPECT_EQ(LayoutNeedsInit(stringStruct), 0);
  EXPECT_EQ(LayoutNeedsInit(array), 1);
  EXPECT_EQ(LayoutNeedsInit(map), 1);
  EXPECT_EQ(LayoutNeedsInit(list), 1);
  EXPECT_EQ(LayoutNeedsInit(dims), 1);
  EXPECT_EQ(LayoutNeedsInit(deepArray), 1);
  EXPECT_EQ(LayoutNeedsInit(deepMap), 1);
}

// A stand-in map facility that records how the walkers call it.
struct MapCall {
  std::string what;
  const void* first;
  const void* second;
};
std::vector<MapCall> mapCalls;
StringMap fakeMaps[4];
int fakeMapsUsed = 0;
void* FakeMapAlloc(int32_t elemSize, int32_t typeCode, StructLayout layout, void** var, int32_t bucketCount) {
  StringMap* map = &fakeMaps[fakeMapsUsed++];
  *map = {};
  map->elemSize = elemSize;
  map->typeCode = typeCode;
  map->layout = layout;
  map->bucketCount = bucketCount;
  map->varAddr = var;
  *var = map;
  mapCalls.push_back({"alloc", map, var});
  return map;
}
int32_t FakeMapCopy(void* source, void* destination, int32_t) {
  mapCalls.push_back({"copy", source, destination});
  return 1;
}
void FakeMapFree(void* map) {
  if (!map) return;
  mapCalls.push_back({"free", map, nullptr});
  *static_cast<StringMap*>(map)->varAddr = nullptr;
}

struct WithMap {
  int32_t a;
  void* map;
  int32_t b;
};
const LayoutWord WithMapLayout[] = {LayoutMap, offsetof(WithMap, map), 12, TypeStruct, 0, 32, LayoutEnd};

TEST_F(ArrayTest, MapFieldsAreReachedThroughTheHandlerTable) {
  fakeMapsUsed = 0;
  mapCalls.clear();
  FieldHandlerTable.mapAlloc = FakeMapAlloc;
  FieldHandlerTable.mapCopy = FakeMapCopy;
  FieldHandlerTable.mapFree = FakeMapFree;

  WithMap source{1, nullptr, 2}, destination{};
  StructInit(&source, WithMapLayout);
  StructInit(&destination, WithMapLayout);
  ASSERT_EQ(mapCalls.size(), 2u);
  EXPECT_EQ(fakeMaps[0].elemSize, 12);
  EXPECT_EQ(fakeMaps[0].typeCode, TypeStruct);
  EXPECT_EQ(fakeMaps[0].bucketCount, 32);
  EXPECT_EQ(source.map, &fakeMaps[0]);
  // The copy takes the source map's own parameters, not the layout's.
  fakeMaps[0].elemSize = 20;
  fakeMaps[0].bucketCount = 64;

  mapCalls.clear();
  StructCopy(&destination, sizeof(WithMap), WithMapLayout, &source);
  ASSERT_EQ(mapCalls.size(), 3u);
  EXPECT_EQ(mapCalls[0].what, "free");
  EXPECT_EQ(mapCalls[0].first, &fakeMaps[1]);
  EXPECT_EQ(mapCalls[1].what, "alloc");
  EXPECT_EQ(mapCalls[1].second, &destination.map);
  EXPECT_EQ(mapCalls[2].what, "copy");
  EXPECT_EQ(mapCalls[2].first, &fakeMaps[0]);
  EXPECT_EQ(mapCalls[2].second, &fakeMaps[2]);
  EXPECT_EQ(destination.map, &fakeMaps[2]);
  EXPECT_EQ(fakeMaps[2].elemSize, 20);
  EXPECT_EQ(fakeMaps[2].bucketCount, 64);
  EXPECT_EQ(destination.a, 1);
  EXPECT_EQ(destination.b, 2);

  mapCalls.clear();
  StructClear(&destination, WithMapLayout);
  ASSERT_EQ(mapCalls.size(), 1u);
  EXPECT_EQ(mapCalls[0].first, &fakeMaps[2]);
}

TEST_F(ArrayTest, FieldsWithoutAFacilityAreLeftAlone) {
  // No map facility: the map field is neither created, released nor copied.
  WithMap source{1, nullptr, 2};
  StructInit(&source, WithMapLayout);
  EXPECT_EQ(source.map, nullptr);
  int marker = 0;
  source.map = &marker;
  WithMap destination{0, nullptr, 0};
  StructCopy(&destination, sizeof(WithMap), WithMapLayout, &source);
  EXPECT_EQ(destination.map, nullptr);
  EXPECT_EQ(destination.a, 1);
  EXPECT_EQ(destination.b, 2);
  StructClear(&source, WithMapLayout);
  EXPECT_EQ(source.map, &marker);

  const LayoutWord listLayout[] = {LayoutList, 0, 1, 2, 3, LayoutEnd};
  void* list[2] = {nullptr, nullptr};
  StructInit(list, listLayout);
  EXPECT_EQ(list[0], nullptr);
}

TEST_F(ArrayTest, ArraysInitFillsOnlyTheArrayEntries) {
  FieldHandlerTable = {};
  FieldHandlerTable.mapFree = FakeMapFree;
  ArraysInit();
  EXPECT_EQ(FieldHandlerTable.arrayAlloc, &ArrayAlloc);
  EXPECT_EQ(FieldHandlerTable.arrayAllocDims, &ArrayAllocDims);
  EXPECT_EQ(FieldHandlerTable.arrayCopy, &ArrayCopy);
  EXPECT_EQ(FieldHandlerTable.arrayFree, &ArrayFree);
  EXPECT_EQ(FieldHandlerTable.mapFree, &FakeMapFree);
  EXPECT_EQ(FieldHandlerTable.mapAlloc, nullptr);
  EXPECT_EQ(FieldHandlerTable.listAlloc, nullptr);
  EXPECT_EQ(FieldHandlerTable.listCopy, nullptr);
  EXPECT_EQ(FieldHandlerTable.listFree, nullptr);
}

}  // namespace
