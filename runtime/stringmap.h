// String-keyed maps: elements of one size, found by the exact text of their
// key (case matters). Entries come from a shared block pool; keys are string
// values. A map variable holds the map's address.
#pragma once

#include "runtime/array.h"

struct StringMapEntry {
  StringMapEntry* next;  // next entry of the same bucket
  WCHAR* key;            // string value owned by the entry
  // the element follows
};

struct StringMap {
  int32_t elemSize;
  int32_t typeCode;
  StructLayout layout;
  int32_t bucketCount;
  int32_t count;
  StringMapEntry** buckets;
  struct BlockPool* pool;
  void** varAddr;
  int32_t iterBucket;
  StringMapEntry* iterEntry;
};

// Creates an empty map into *var, releasing the map the variable held.
// Returns the map, or null when memory ran out (the variable is then 0).
void* MapAlloc(int32_t elemSize, int32_t typeCode, StructLayout layout, void** var, int32_t bucketCount);
// Releases every element's owning fields, every key and the map; sets the
// map's variable to 0. Null does nothing.
void MapFree(void* map);
// Replaces destination's content by a deep copy of source's. Returns 1, or 0
// when either is null, the element sizes differ, or memory ran out.
int32_t MapCopy(void* source, void* destination, int32_t reshape);

// The element stored under key, or null.
void* MapFind(StringMap* map, const WCHAR* key);
// The element stored under key, created (zero-filled and initialised from
// the layout) when absent; null when memory ran out.
void* MapInsert(StringMap* map, const WCHAR* key);
// Removes key's element; 1 when it was present.
int32_t MapDelete(StringMap* map, const WCHAR* key);
// Enumeration; the caller may delete the entry it was just handed.
void MapIterStart(StringMap* map);
void* MapIterNext(StringMap* map, const WCHAR** key);

void StringMapsInit();
