#include <gtest/gtest.h>

#include "runtime/pool.h"
#include "runtime/stringmap.h"
#include "support/test_support.h"

#include <cstddef>
#include <map>
#include <set>
#include <string>

namespace {

using WString = std::basic_string<WCHAR>;

WString Wide(const std::string& text) { return WString(text.begin(), text.end()); }

struct Binding {
  int32_t first;
  int32_t window;
};

struct Named {
  WCHAR* name;
  int32_t value;
};
const LayoutWord NamedLayout[] = {offsetof(Named, name), LayoutEnd};

struct Nested {
  int32_t tag;
  void* inner;
};
const LayoutWord NestedLayout[] = {LayoutMap, offsetof(Nested, inner), sizeof(int32_t), TypeByte, 0, 8, LayoutEnd};

class StringMapTest : public RuntimeHeapsTest {
 protected:
  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    StringMapsInit();
  }
  StringMap* NewMap(void** var, int32_t elemSize, int32_t buckets = 1024, StructLayout layout = nullptr) {
    return static_cast<StringMap*>(MapAlloc(elemSize, TypeStruct, layout, var, buckets));
  }
};

TEST_F(StringMapTest, InsertFindDelete) {
  void* var = nullptr;
  StringMap* map = NewMap(&var, sizeof(Binding));
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(var, map);
  EXPECT_EQ(map->varAddr, &var);
  EXPECT_EQ(MapFind(map, TEXT("13116:0:-1:-1")), nullptr);

  auto* b = static_cast<Binding*>(MapInsert(map, TEXT("13116:0:-1:-1")));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->first, 0);
  EXPECT_EQ(b->window, 0);
  b->first = 7;
  b->window = 3;
  EXPECT_EQ(MapFind(map, TEXT("13116:0:-1:-1")), b);
  // Inserting a present key hands back the element already there.
  EXPECT_EQ(MapInsert(map, TEXT("13116:0:-1:-1")), b);
  EXPECT_EQ(b->first, 7);
  EXPECT_EQ(map->count, 1);

  EXPECT_EQ(MapDelete(map, TEXT("13116:0:-1:-1")), 1);
  EXPECT_EQ(MapFind(map, TEXT("13116:0:-1:-1")), nullptr);
  EXPECT_EQ(MapDelete(map, TEXT("13116:0:-1:-1")), 0);
  EXPECT_EQ(map->count, 0);

  // A reused entry is zero-filled again.
  auto* again = static_cast<Binding*>(MapInsert(map, TEXT("other")));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->first, 0);
  EXPECT_EQ(again->window, 0);
  MapFree(map);
  EXPECT_EQ(var, nullptr);
}

TEST_F(StringMapTest, KeysMatchWholeAndCaseSensitively) {
  void* var = nullptr;
  // One bucket puts every key in the same chain, so only the comparison
  // tells them apart.
  StringMap* map = NewMap(&var, sizeof(int32_t), 1);
  ASSERT_NE(map, nullptr);
  const WCHAR* keys[] = {TEXT("a"), TEXT("A"), TEXT("ab"), TEXT("abc"), TEXT(""), TEXT("13116:0:-1:-1"),
                         TEXT("13116:0:-1:-10"), TEXT("13116:0:-1:-")};
  int32_t n = 0;
  for (const WCHAR* key : keys) {
    auto* value = static_cast<int32_t*>(MapInsert(map, key));
    ASSERT_NE(value, nullptr);
    *value = ++n;
  }
  EXPECT_EQ(map->count, n);
  n = 0;
  for (const WCHAR* key : keys) {
    auto* value = static_cast<int32_t*>(MapFind(map, key));
    ASSERT_NE(value, nullptr) << "key " << n;
    EXPECT_EQ(*value, ++n);
  }
  EXPECT_EQ(MapFind(map, TEXT("B")), nullptr);
  EXPECT_EQ(MapFind(map, TEXT("abcd")), nullptr);
  EXPECT_EQ(MapFind(map, TEXT("13116:0:-1")), nullptr);
  // A null key is the empty string.
  EXPECT_EQ(MapFind(map, nullptr), MapFind(map, TEXT("")));

  EXPECT_EQ(MapDelete(map, TEXT("A")), 1);
  EXPECT_NE(MapFind(map, TEXT("a")), nullptr);
  EXPECT_EQ(MapFind(map, TEXT("A")), nullptr);
  EXPECT_EQ(MapDelete(map, TEXT("abc")), 1);
  EXPECT_NE(MapFind(map, TEXT("ab")), nullptr);
  MapFree(map);
}

TEST_F(StringMapTest, ManyKeysAcrossBuckets) {
  void* var = nullptr;
  StringMap* map = NewMap(&var, sizeof(Binding));
  ASSERT_NE(map, nullptr);
  constexpr int keys = 5000;
  for (int i = 0; i < keys; ++i) {
    WString key = Wide(std::to_string(13100 + i % 19) + ":" + std::to_string(i) + ":-1:-1");
    auto* b = static_cast<Binding*>(MapInsert(map, key.c_str()));
    ASSERT_NE(b, nullptr);
    b->window = i;
  }
  EXPECT_EQ(map->count, keys);
  int usedBuckets = 0;
  for (int i = 0; i < map->bucketCount; ++i) usedBuckets += map->buckets[i] != nullptr;
  EXPECT_GT(usedBuckets, map->bucketCount / 2);

  for (int i = 0; i < keys; i += 2) {
    WString key = Wide(std::to_string(13100 + i % 19) + ":" + std::to_string(i) + ":-1:-1");
    ASSERT_EQ(MapDelete(map, key.c_str()), 1) << i;
  }
  EXPECT_EQ(map->count, keys / 2);
  for (int i = 0; i < keys; ++i) {
    WString key = Wide(std::to_string(13100 + i % 19) + ":" + std::to_string(i) + ":-1:-1");
    auto* b = static_cast<Binding*>(MapFind(map, key.c_str()));
    if (i % 2 == 0) {
      EXPECT_EQ(b, nullptr) << i;
    } else {
      ASSERT_NE(b, nullptr) << i;
      EXPECT_EQ(b->window, i);
    }
  }
  MapFree(map);
}

TEST_F(StringMapTest, EnumerationSurvivesDeletingTheHandedEntry) {
  void* var = nullptr;
  StringMap* map = NewMap(&var, sizeof(Binding), 16);
  ASSERT_NE(map, nullptr);
  MapIterStart(map);
  EXPECT_EQ(MapIterNext(map, nullptr), nullptr);

  std::map<WString, int32_t> expected;
  for (int i = 0; i < 300; ++i) {
    WString key = Wide("key" + std::to_string(i));
    auto* b = static_cast<Binding*>(MapInsert(map, key.c_str()));
    ASSERT_NE(b, nullptr);
    b->window = i % 5;
    expected[key] = i % 5;
  }
  // Purge window 3 as the binding purge does: delete while enumerating.
  std::map<WString, int> seen;
  MapIterStart(map);
  const WCHAR* key = nullptr;
  while (auto* b = static_cast<Binding*>(MapIterNext(map, &key))) {
    ASSERT_NE(key, nullptr);
    WString text(key);
    ++seen[text];
    EXPECT_EQ(b->window, expected[text]);
    if (b->window == 3) {
      EXPECT_EQ(MapDelete(map, text.c_str()), 1);
    }
  }
  EXPECT_EQ(seen.size(), expected.size());
  for (auto& [text, times] : seen) EXPECT_EQ(times, 1);
  EXPECT_EQ(map->count, 240);
  for (auto& [text, window] : expected) {
    EXPECT_EQ(MapFind(map, text.c_str()) == nullptr, window == 3);
  }
  MapFree(map);

  // Deleting the entry that would come next: in a single bucket, entries
  // come newest first, so key i is followed by key i - 1.
  StringMap* chain = NewMap(&var, sizeof(Binding), 1);
  ASSERT_NE(chain, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_NE(MapInsert(chain, Wide("key" + std::to_string(i)).c_str()), nullptr);
  std::set<WString> handed;
  std::set<WString> deleted;
  MapIterStart(chain);
  while (MapIterNext(chain, &key)) {
    WString text(key);
    EXPECT_EQ(deleted.count(text), 0u);
    EXPECT_TRUE(handed.insert(text).second);
    int index = std::stoi(std::string(text.begin() + 3, text.end()));
    WString partner = Wide("key" + std::to_string(index ^ 1));
    if (!handed.count(partner) && MapDelete(chain, partner.c_str())) deleted.insert(partner);
  }
  EXPECT_EQ(handed.size(), 50u);
  EXPECT_EQ(deleted.size(), 50u);
  EXPECT_EQ(chain->count, 50);
  MapFree(chain);
}

TEST_F(StringMapTest, CopyIsDeep) {
  void* sourceVar = nullptr;
  void* destVar = nullptr;
  StringMap* source = NewMap(&sourceVar, sizeof(Named), 64, NamedLayout);
  StringMap* dest = NewMap(&destVar, sizeof(Named), 8, NamedLayout);
  ASSERT_NE(source, nullptr);
  ASSERT_NE(dest, nullptr);
  for (int i = 0; i < 50; ++i) {
    WString key = Wide("k" + std::to_string(i));
    WString name = Wide("name " + std::to_string(i));
    auto* e = static_cast<Named*>(MapInsert(source, key.c_str()));
    ASSERT_NE(e, nullptr);
    StringAssign(&e->name, name.c_str());
    e->value = i;
  }
  // Whatever the destination held is replaced.
  auto* old = static_cast<Named*>(MapInsert(dest, TEXT("stale")));
  ASSERT_NE(old, nullptr);
  StringAssign(&old->name, TEXT("stale name"));

  ASSERT_EQ(MapCopy(source, dest, 0), 1);
  EXPECT_EQ(dest->count, 50);
  EXPECT_EQ(MapFind(dest, TEXT("stale")), nullptr);
  for (int i = 0; i < 50; ++i) {
    WString key = Wide("k" + std::to_string(i));
    auto* from = static_cast<Named*>(MapFind(source, key.c_str()));
    auto* to = static_cast<Named*>(MapFind(dest, key.c_str()));
    ASSERT_NE(to, nullptr) << i;
    EXPECT_EQ(to->value, i);
    ASSERT_NE(to->name, nullptr);
    EXPECT_NE(to->name, from->name);
    EXPECT_EQ(WString(to->name), Wide("name " + std::to_string(i)));
  }
  // The copy's text outlives the source's.
  MapFree(source);
  EXPECT_EQ(sourceVar, nullptr);
  auto* kept = static_cast<Named*>(MapFind(dest, TEXT("k7")));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(WString(kept->name), Wide("name 7"));
  MapFree(dest);
  EXPECT_EQ(destVar, nullptr);
}

TEST_F(StringMapTest, CopyChecksItsArguments) {
  void* aVar = nullptr;
  void* bVar = nullptr;
  StringMap* a = NewMap(&aVar, 8, 16);
  StringMap* b = NewMap(&bVar, 12, 16);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  *static_cast<int64_t*>(MapInsert(a, TEXT("x"))) = 42;
  *static_cast<int32_t*>(MapInsert(b, TEXT("y"))) = 5;
  EXPECT_EQ(MapCopy(nullptr, b, 0), 0);
  EXPECT_EQ(MapCopy(a, nullptr, 0), 0);
  // Different element sizes: refused, the destination keeps its content.
  EXPECT_EQ(MapCopy(a, b, 0), 0);
  ASSERT_NE(MapFind(b, TEXT("y")), nullptr);
  EXPECT_EQ(*static_cast<int32_t*>(MapFind(b, TEXT("y"))), 5);
  // Reshaping takes the source's element size and its pool.
  EXPECT_EQ(MapCopy(a, b, 1), 1);
  EXPECT_EQ(b->elemSize, 8);
  EXPECT_EQ(b->pool, a->pool);
  EXPECT_EQ(MapFind(b, TEXT("y")), nullptr);
  ASSERT_NE(MapFind(b, TEXT("x")), nullptr);
  EXPECT_EQ(*static_cast<int64_t*>(MapFind(b, TEXT("x"))), 42);
  EXPECT_EQ(MapCopy(a, a, 0), 1);
  EXPECT_EQ(a->count, 1);
  MapFree(a);
  MapFree(b);
}

TEST_F(StringMapTest, MapsOfOneEntrySizeShareAPool) {
  void* aVar = nullptr;
  void* bVar = nullptr;
  void* cVar = nullptr;
  StringMap* a = NewMap(&aVar, sizeof(Binding));
  StringMap* b = NewMap(&bVar, sizeof(Binding), 16);
  StringMap* c = NewMap(&cVar, 40);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(a->pool, b->pool);
  EXPECT_NE(a->pool, c->pool);
  ASSERT_NE(a->pool->registryNode, nullptr);
  EXPECT_EQ(a->pool->registryNode->refCount, 2);
  EXPECT_EQ(a->pool->slotSize, static_cast<int32_t>(sizeof(StringMapEntry) + sizeof(Binding) + PoolSlotHeader));

  ASSERT_NE(MapInsert(a, TEXT("in a")), nullptr);
  ASSERT_NE(MapInsert(b, TEXT("in b")), nullptr);
  MapFree(a);
  // The pool stays for the other map, and its entry with it.
  EXPECT_EQ(b->pool->registryNode->refCount, 1);
  EXPECT_NE(MapFind(b, TEXT("in b")), nullptr);
  ASSERT_NE(MapInsert(b, TEXT("more")), nullptr);
  MapFree(b);
  MapFree(c);
}

TEST_F(StringMapTest, AllocatingIntoAVariableReleasesItsMap) {
  void* var = nullptr;
  StringMap* first = NewMap(&var, 4, 16);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(MapInsert(first, TEXT("one")), nullptr);
  BlockPool* pool = first->pool;
  EXPECT_EQ(pool->registryNode->refCount, 1);
  StringMap* second = NewMap(&var, 4, 16);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(var, second);
  EXPECT_EQ(MapFind(second, TEXT("one")), nullptr);
  // The first map's reference to the pool went with it.
  EXPECT_EQ(second->pool->registryNode->refCount, 1);
  // A bucket count below 1 still gives a working map.
  void* other = nullptr;
  StringMap* defaulted = NewMap(&other, 4, 0);
  ASSERT_NE(defaulted, nullptr);
  EXPECT_GT(defaulted->bucketCount, 0);
  EXPECT_NE(MapInsert(defaulted, TEXT("k")), nullptr);
  EXPECT_EQ(MapAlloc(-4, TypeStruct, nullptr, &other, 16), nullptr);
  EXPECT_EQ(other, nullptr);
  MapFree(second);
  EXPECT_EQ(var, nullptr);
  MapFree(nullptr);
}

TEST_F(StringMapTest, ElementsWithOwningFieldsAreInitialisedAndCopied) {
  void* var = nullptr;
  StringMap* map = NewMap(&var, sizeof(Nested), 16, NestedLayout);
  ASSERT_NE(map, nullptr);
  auto* e = static_cast<Nested*>(MapInsert(map, TEXT("outer")));
  ASSERT_NE(e, nullptr);
  // The layout's map field gets its own map, recorded against the field.
  ASSERT_NE(e->inner, nullptr);
  auto* inner = static_cast<StringMap*>(e->inner);
  EXPECT_EQ(inner->varAddr, &e->inner);
  EXPECT_EQ(inner->bucketCount, 8);
  *static_cast<int32_t*>(MapInsert(inner, TEXT("leaf"))) = 99;

  void* copyVar = nullptr;
  StringMap* copy = NewMap(&copyVar, sizeof(Nested), 16, NestedLayout);
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(MapCopy(map, copy, 0), 1);
  auto* c = static_cast<Nested*>(MapFind(copy, TEXT("outer")));
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->inner, nullptr);
  EXPECT_NE(c->inner, e->inner);
  auto* leaf = static_cast<int32_t*>(MapFind(static_cast<StringMap*>(c->inner), TEXT("leaf")));
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(*leaf, 99);
  MapFree(map);
  MapFree(copy);
}

}  // namespace
