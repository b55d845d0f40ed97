#include "runtime/stringmap.h"

#include "runtime/pool.h"
#include "runtime/runtime.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr int32_t MapDefaultBuckets = 16;
// Elements are records, never bulk data; the bound keeps entry sizes in range.
constexpr int32_t MapMaxElemSize = 0x10000000;
// Entries of every map come from shared pools that grow from 16 entries.
constexpr int32_t MapPoolGrowMin = 16;
constexpr int32_t MapPoolGrowMax = 65536;

// A null string value is the empty string.
const WCHAR* KeyText(const WCHAR* key) { return key ? key : TEXT(""); }

bool KeysEqual(const WCHAR* a, const WCHAR* b) {
  a = KeyText(a);
  b = KeyText(b);
  for (; *a == *b; ++a, ++b) {
    if (*a == 0) return true;
  }
  return false;
}

// FNV-1a over the UTF-16 code units, then a final mix: bucket counts are
// usually powers of two, and FNV's low bits alone spread keys poorly.
uint32_t KeyHash(const WCHAR* key) {
  uint32_t hash = 2166136261u;
  for (const WCHAR* p = KeyText(key); *p; ++p) {
    hash = (hash ^ static_cast<uint16_t>(*p)) * 16777619u;
  }
  hash ^= hash >> 16;
  hash *= 0x7feb352du;
  hash ^= hash >> 15;
  return hash;
}

StringMapEntry** BucketOf(StringMap* map, const WCHAR* key) {
  return &map->buckets[KeyHash(key) % static_cast<uint32_t>(map->bucketCount)];
}

void* ElementOf(StringMapEntry* entry) { return entry + 1; }

BlockPool* EntryPool(int32_t elemSize) {
  return PoolCreate(static_cast<int32_t>(sizeof(StringMapEntry)) + elemSize, MapPoolGrowMin, MapPoolGrowMax,
                    PoolShared);
}

// A new entry with its own copy of key and a zero-filled element, not yet
// in any bucket; null when memory ran out (nothing is left allocated).
StringMapEntry* EntryNew(BlockPool* pool, int32_t elemSize, const WCHAR* key) {
  auto* entry = static_cast<StringMapEntry*>(PoolAlloc(pool));
  if (!entry) return nullptr;
  entry->next = nullptr;
  entry->key = nullptr;
  if (key) {
    StringAssign(&entry->key, key);
    if (!entry->key) {
      PoolFree(pool, entry);
      return nullptr;
    }
  }
  std::memset(ElementOf(entry), 0, static_cast<size_t>(elemSize));
  return entry;
}

void EntryRelease(BlockPool* pool, StructLayout layout, StringMapEntry* entry) {
  if (layout) StructClear(ElementOf(entry), layout);
  StringFree(entry->key);
  PoolFree(pool, entry);
}

// Releases every entry of a bucket array (not the array itself).
void ReleaseEntries(BlockPool* pool, StructLayout layout, StringMapEntry** buckets, int32_t bucketCount) {
  for (int32_t i = 0; i < bucketCount; ++i) {
    StringMapEntry* entry = buckets[i];
    while (entry) {
      StringMapEntry* next = entry->next;
      EntryRelease(pool, layout, entry);
      entry = next;
    }
    buckets[i] = nullptr;
  }
}

StringMapEntry** BucketsNew(int32_t bucketCount) {
  return static_cast<StringMapEntry**>(
      HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(StringMapEntry*) * static_cast<size_t>(bucketCount)));
}

}  // namespace

void* MapAlloc(int32_t elemSize, int32_t typeCode, StructLayout layout, void** var, int32_t bucketCount) {
  if (var && *var) MapFree(*var);
  if (elemSize < 0 || elemSize > MapMaxElemSize) return nullptr;
  if (bucketCount < 1) bucketCount = MapDefaultBuckets;
  auto* map = static_cast<StringMap*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(StringMap)));
  if (!map) return nullptr;
  map->buckets = BucketsNew(bucketCount);
  map->pool = map->buckets ? EntryPool(elemSize) : nullptr;
  if (!map->pool) {
    if (map->buckets) HeapFree(MainHeap, 0, map->buckets);
    HeapFree(MainHeap, 0, map);
    return nullptr;
  }
  map->elemSize = elemSize;
  map->typeCode = typeCode;
  map->layout = layout;
  map->bucketCount = bucketCount;
  map->varAddr = var;
  if (var) *var = map;
  return map;
}

void MapFree(void* handle) {
  auto* map = static_cast<StringMap*>(handle);
  if (!map) return;
  ReleaseEntries(map->pool, map->layout, map->buckets, map->bucketCount);
  HeapFree(MainHeap, 0, map->buckets);
  PoolDestroy(map->pool);
  if (map->varAddr) *map->varAddr = nullptr;
  HeapFree(MainHeap, 0, map);
}

int32_t MapCopy(void* sourceHandle, void* destinationHandle, int32_t reshape) {
  auto* source = static_cast<StringMap*>(sourceHandle);
  auto* destination = static_cast<StringMap*>(destinationHandle);
  if (!source || !destination) return 0;
  if (source == destination) return 1;
  if (!reshape && source->elemSize != destination->elemSize) return 0;

  // The copy is built aside and swapped in only when complete, so a failure
  // leaves the destination as it was.
  bool newPool = source->elemSize != destination->elemSize;
  BlockPool* pool = newPool ? EntryPool(source->elemSize) : destination->pool;
  StringMapEntry** buckets = pool ? BucketsNew(destination->bucketCount) : nullptr;
  if (!buckets) {
    if (newPool) PoolDestroy(pool);
    return 0;
  }
  // Elements are copied as the source describes them, as arrays do.
  StructLayout layout = source->layout;
  for (int32_t i = 0; i < source->bucketCount; ++i) {
    for (StringMapEntry* from = source->buckets[i]; from; from = from->next) {
      StringMapEntry* to = EntryNew(pool, source->elemSize, from->key);
      if (!to) {
        ReleaseEntries(pool, layout, buckets, destination->bucketCount);
        HeapFree(MainHeap, 0, buckets);
        if (newPool) PoolDestroy(pool);
        return 0;
      }
      StructCopy(ElementOf(to), source->elemSize, layout, ElementOf(from));
      StringMapEntry** bucket = &buckets[KeyHash(to->key) % static_cast<uint32_t>(destination->bucketCount)];
      to->next = *bucket;
      *bucket = to;
    }
  }

  ReleaseEntries(destination->pool, destination->layout, destination->buckets, destination->bucketCount);
  HeapFree(MainHeap, 0, destination->buckets);
  if (newPool) PoolDestroy(destination->pool);
  destination->buckets = buckets;
  destination->pool = pool;
  destination->count = source->count;
  destination->iterBucket = 0;
  destination->iterEntry = nullptr;
  if (reshape) {
    destination->elemSize = source->elemSize;
    destination->typeCode = source->typeCode;
    destination->layout = source->layout;
  }
  return 1;
}

void* MapFind(StringMap* map, const WCHAR* key) {
  if (!map) return nullptr;
  for (StringMapEntry* entry = *BucketOf(map, key); entry; entry = entry->next) {
    if (KeysEqual(entry->key, key)) return ElementOf(entry);
  }
  return nullptr;
}

void* MapInsert(StringMap* map, const WCHAR* key) {
  if (!map) return nullptr;
  if (void* found = MapFind(map, key)) return found;
  StringMapEntry* entry = EntryNew(map->pool, map->elemSize, key);
  if (!entry) return nullptr;
  if (LayoutNeedsInit(map->layout)) StructInit(ElementOf(entry), map->layout);
  StringMapEntry** bucket = BucketOf(map, key);
  entry->next = *bucket;
  *bucket = entry;
  ++map->count;
  return ElementOf(entry);
}

int32_t MapDelete(StringMap* map, const WCHAR* key) {
  if (!map) return 0;
  for (StringMapEntry** link = BucketOf(map, key); *link; link = &(*link)->next) {
    StringMapEntry* entry = *link;
    if (!KeysEqual(entry->key, key)) continue;
    *link = entry->next;
    // An enumeration that was about to hand out this entry moves past it.
    if (map->iterEntry == entry) map->iterEntry = entry->next;
    EntryRelease(map->pool, map->layout, entry);
    --map->count;
    return 1;
  }
  return 0;
}

void MapIterStart(StringMap* map) {
  if (!map) return;
  map->iterBucket = 0;
  map->iterEntry = nullptr;
}

void* MapIterNext(StringMap* map, const WCHAR** key) {
  if (!map) return nullptr;
  // iterEntry is the entry to hand out next, so deleting the one just
  // handed out does not disturb the walk.
  while (!map->iterEntry && map->iterBucket < map->bucketCount) {
    map->iterEntry = map->buckets[map->iterBucket++];
  }
  StringMapEntry* entry = map->iterEntry;
  if (!entry) return nullptr;
  map->iterEntry = entry->next;
  if (key) *key = KeyText(entry->key);
  return ElementOf(entry);
}

void StringMapsInit() {
  FieldHandlerTable.mapAlloc = MapAlloc;
  FieldHandlerTable.mapCopy = MapCopy;
  FieldHandlerTable.mapFree = MapFree;
}
