#include "runtime/object.h"

#include <cstring>

#include "runtime/runtime.h"

static_assert(sizeof(void*) != 4 || sizeof(ObjectTable) == 32, "the 32-bit table is eight words");

namespace {

// The identifiers of a table's live dynamic objects, so that a freed or
// invented identifier is recognised without reading the memory it names.
// Open addressing with linear probing; 0 marks an empty cell. The cells come
// from the heap the table was made in, so they go with it.
struct LiveSet {
  HANDLE heap;
  ObjectId* cells;
  uint32_t capacity;  // a power of two, or 0 before the first dynamic object
  uint32_t used;
};

// Every table is made by ObjectTableNew, which places its live set behind it.
struct TableBlock {
  ObjectTable table;
  LiveSet live;
};

LiveSet& LiveOf(ObjectTable* table) { return reinterpret_cast<TableBlock*>(table)->live; }

constexpr uint32_t FirstCapacity = 16;

uint32_t Home(ObjectId id, uint32_t capacity) {
  // Records are at least 8-byte aligned; Fibonacci hashing spreads the rest.
  uint64_t h = (static_cast<uint64_t>(id) >> 3) * 0x9E3779B97F4A7C15ull;
  return static_cast<uint32_t>(h >> 32) & (capacity - 1);
}

// The cell holding id, or the empty cell where it would go.
uint32_t Probe(const LiveSet& set, ObjectId id) {
  uint32_t mask = set.capacity - 1;
  uint32_t i = Home(id, set.capacity);
  while (set.cells[i] != 0 && set.cells[i] != id) i = (i + 1) & mask;
  return i;
}

bool LiveContains(const LiveSet& set, ObjectId id) {
  return set.capacity != 0 && id != 0 && set.cells[Probe(set, id)] == id;
}

// Keeps the load at most one half so that probes stay short. False when the
// heap cannot supply a larger cell array; the set is then unchanged.
bool LiveReserveOne(LiveSet& set) {
  if ((set.used + 1) * 2 <= set.capacity) return true;
  uint32_t capacity = set.capacity ? set.capacity * 2 : FirstCapacity;
  if (capacity < set.capacity || capacity > SIZE_MAX / sizeof(ObjectId)) return false;
  auto* cells = static_cast<ObjectId*>(HeapAlloc(set.heap, HEAP_ZERO_MEMORY, sizeof(ObjectId) * capacity));
  if (!cells) return false;
  LiveSet grown = {set.heap, cells, capacity, 0};
  for (uint32_t i = 0; i < set.capacity; ++i)
    if (set.cells[i]) grown.cells[Probe(grown, set.cells[i])] = set.cells[i];
  grown.used = set.used;
  if (set.cells) HeapFree(set.heap, 0, set.cells);
  set = grown;
  return true;
}

bool LiveInsert(LiveSet& set, ObjectId id) {
  if (!LiveReserveOne(set)) return false;
  set.cells[Probe(set, id)] = id;
  ++set.used;
  return true;
}

// Removal without markers: later members of the same run move back into
// the gap when their home position allows it.
void LiveRemove(LiveSet& set, ObjectId id) {
  uint32_t mask = set.capacity - 1;
  uint32_t gap = Probe(set, id);
  set.cells[gap] = 0;
  --set.used;
  for (uint32_t i = (gap + 1) & mask; set.cells[i] != 0; i = (i + 1) & mask) {
    uint32_t home = Home(set.cells[i], set.capacity);
    // The member may fill the gap when its home is not inside (gap, i].
    bool homeAfterGap = gap <= i ? (home > gap && home <= i) : (home > gap || home <= i);
    if (!homeAfterGap) {
      set.cells[gap] = set.cells[i];
      set.cells[i] = 0;
      gap = i;
    }
  }
}

DynamicObjectNode* NodeOf(ObjectId id) { return reinterpret_cast<DynamicObjectNode*>(id) - 1; }
ObjectId IdOf(DynamicObjectNode* node) { return reinterpret_cast<ObjectId>(node + 1); }

bool IsSlot(const ObjectTable* table, ObjectId id) { return id >= 0 && id < table->slotCount; }

bool HasHandle(const void* record) {
  void* first;
  std::memcpy(&first, record, sizeof first);
  return first != nullptr;
}

void* AllocDynamic(ObjectTable* table) {
  auto* node = static_cast<DynamicObjectNode*>(
      HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(DynamicObjectNode) + static_cast<SIZE_T>(table->recordSize)));
  if (!node) return nullptr;
  if (!LiveInsert(LiveOf(table), IdOf(node))) {
    HeapFree(MainHeap, 0, node);
    return nullptr;
  }
  node->older = table->dynamicHead;
  if (node->older) node->older->newer = node;
  table->dynamicHead = node;
  return node + 1;
}

// Grows the slot array so that number id fits, with growStep to spare.
// False when the heap refuses; the table is then unchanged.
bool GrowSlots(ObjectTable* table, ObjectId id) {
  int64_t count = static_cast<int64_t>(id) + (table->growStep > 0 ? table->growStep : 1);
  if (count > INT32_MAX || static_cast<uint64_t>(count) > SIZE_MAX / sizeof(void*)) return false;
  auto* slots = static_cast<void**>(
      HeapReAlloc(MainHeap, HEAP_ZERO_MEMORY, table->slots, static_cast<SIZE_T>(count) * sizeof(void*)));
  if (!slots) return false;
  table->slots = slots;
  table->slotCount = static_cast<int32_t>(count);
  return true;
}

void FreeDynamic(ObjectTable* table, ObjectId id) {
  DynamicObjectNode* node = NodeOf(id);
  LiveRemove(LiveOf(table), id);
  if (node->newer)
    node->newer->older = node->older;
  else
    table->dynamicHead = node->older;
  if (node->older) node->older->newer = node->newer;
  // An enumeration that was about to hand out this node moves past it.
  if (table->iterNode == node) table->iterNode = node->newer;
  HeapFree(MainHeap, 0, node);
}

}  // namespace

ObjectTable* ObjectTableNew(int32_t recordSize, int32_t initialSlots, ObjectFreeFn freeCallback) {
  // A record must hold at least the handle word that says it exists.
  if (recordSize < static_cast<int32_t>(sizeof(void*)) || initialSlots < 0) return nullptr;
  auto* block = static_cast<TableBlock*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(TableBlock)));
  if (!block) return nullptr;
  auto* slots = static_cast<void**>(
      HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(initialSlots) * sizeof(void*)));
  if (!slots) {
    HeapFree(MainHeap, 0, block);
    return nullptr;
  }
  ObjectTable& table = block->table;
  table.recordSize = recordSize;
  table.growStep = initialSlots;
  table.slotCount = initialSlots;
  table.slots = slots;
  table.freeCallback = freeCallback;
  block->live.heap = MainHeap;
  return &table;
}

void* ObjectAlloc(ObjectTable* table, ObjectId id) {
  if (!table) return nullptr;
  if (id == ObjectAny) return AllocDynamic(table);
  // Neither a number nor ObjectAny; a live dynamic identifier is not a
  // number either and must not be taken as a slot count. Numbers beyond the
  // 32-bit range are refused by the growth.
  if (id < 0 || LiveContains(LiveOf(table), id)) return nullptr;
  if (id >= table->slotCount && !GrowSlots(table, id)) return nullptr;
  if (table->slots[id]) {
    if (table->freeCallback) table->freeCallback(id);
    // Read again: the callback may have grown (moved) the slot array.
    return table->slots[id];
  }
  void* record = HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(table->recordSize));
  if (record) table->slots[id] = record;
  return record;
}

void* ObjectGet(ObjectTable* table, ObjectId id) {
  if (!table) return nullptr;
  void* record = nullptr;
  if (IsSlot(table, id))
    record = table->slots[id];
  else if (LiveContains(LiveOf(table), id))
    record = reinterpret_cast<void*>(id);
  return record && HasHandle(record) ? record : nullptr;
}

void ObjectFree(ObjectTable* table, ObjectId id) {
  if (!table) return;
  if (IsSlot(table, id)) {
    // Numbered records stay allocated so that the number can be reused.
    if (table->slots[id]) std::memset(table->slots[id], 0, static_cast<size_t>(table->recordSize));
    return;
  }
  if (LiveContains(LiveOf(table), id)) FreeDynamic(table, id);
}

void ObjectFreeAll(ObjectTable* table) {
  if (!table || !table->freeCallback) return;
  ObjectIterStart(table);
  ObjectId id;
  while (ObjectIterNext(table, &id)) table->freeCallback(id);
}

void ObjectIterStart(ObjectTable* table) {
  if (!table) return;
  table->iterSlot = 0;
  DynamicObjectNode* node = table->dynamicHead;
  while (node && node->older) node = node->older;
  table->iterNode = node;
}

void* ObjectIterNext(ObjectTable* table, ObjectId* id) {
  if (!table) return nullptr;
  // Each step moves past the object before handing it out, so the caller
  // may free what it was handed.
  while (table->iterSlot >= 0 && table->iterSlot < table->slotCount) {
    int32_t number = table->iterSlot++;
    void* record = table->slots[number];
    if (record && HasHandle(record)) {
      if (id) *id = number;
      return record;
    }
  }
  if (DynamicObjectNode* node = table->iterNode) {
    table->iterNode = node->newer;
    if (id) *id = IdOf(node);
    return node + 1;
  }
  return nullptr;
}
